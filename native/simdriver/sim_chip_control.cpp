// The control entry points that script the simulated chip beyond the serial line: its EEPROM
// and its pins. Peripherals and the waveform get their own sections below.
#include <algorithm>
#include <mutex>

#include "bit_bang.h"
#include "driver_state.h"
#include "sim_control.h"

namespace {

using sim::Device;

// Runs action(Device&) under the driver lock; its result, or -1 for an unknown device id.
template <typename Action>
int32_t withDevice(int32_t id, Action action) {
    sim::DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    Device* device = state.device(id);
    if (device == nullptr) {
        return -1;
    }
    return action(*device);
}

}  // namespace

extern "C" {

// ---- EEPROM ----------------------------------------------------------------------------------

int32_t simSetEepromWord(int32_t device, uint32_t offset, uint16_t value) {
    return withDevice(device, [&](Device& target) {
        return target.eeprom.write(offset, value) ? 0 : -1;
    });
}

int32_t simGetEepromWords(int32_t device, uint16_t* out, uint32_t capacity) {
    if (out == nullptr && capacity > 0) {
        return -1;
    }
    return withDevice(device, [&](Device& target) {
        const uint32_t size = target.eeprom.size();
        for (uint32_t i = 0; i < std::min(size, capacity); ++i) {
            target.eeprom.read(i, out[i]);
        }
        return static_cast<int32_t>(size);
    });
}

// ---- Pins ------------------------------------------------------------------------------------

int32_t simSetPinInputs(int32_t device, uint32_t mask, uint32_t levels) {
    return withDevice(device, [&](Device& target) {
        for (int pin = 0; pin < sim::kPinCount; ++pin) {
            const uint32_t bit = 1u << pin;
            const sim::Drive drive = (mask & bit) == 0 ? sim::Drive::Released
                                     : (levels & bit) != 0 ? sim::Drive::High
                                                           : sim::Drive::Low;
            target.pins.drive(target.outsideDriver, pin, drive);
        }
        sim::pinsChangedOutside(target);
        return 0;
    });
}

int32_t simGetPinLevels(int32_t device) {
    return withDevice(device, [](Device& target) { return static_cast<int32_t>(target.pins.levels()); });
}

int32_t simGetBitMode(int32_t device) {
    return withDevice(device, [](Device& target) {
        return static_cast<int32_t>(target.bitMode | (target.bitMask << 8));
    });
}

int32_t simGetPortResets(int32_t device, uint32_t* resets, uint32_t* cycles) {
    if (resets == nullptr || cycles == nullptr) {
        return -1;
    }
    return withDevice(device, [&](Device& target) {
        *resets = target.portResets;
        *cycles = target.portCycles;
        return 0;
    });
}

}  // extern "C"
