// The control entry points for a JTAG scan chain on the chip's pins: attaching one, reading its
// devices' TAP states and instructions, and scripting the programmable memory. Each finds its
// device under the driver lock, as the other control functions do.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "driver_state.h"
#include "peripherals/jtag_chain.h"
#include "sim_control.h"

namespace {

constexpr uint32_t kMaxDevices = 256;
constexpr int kFirstTrstPin = 4;

sim::JtagDeviceSpec toSpec(const SimJtagDeviceSpec& in) {
    sim::JtagDeviceSpec spec;
    // Clamped so that a huge length cannot wrap into a valid int; JtagDevice::valid refuses it.
    spec.irLength = static_cast<int>(std::min<uint32_t>(in.irLength, 1000));
    spec.irCapture = in.irCapture;
    spec.hasIdcode = in.hasIdcode != 0;
    spec.idcode = in.idcode;
    spec.idcodeInstruction = in.idcodeInstruction;
    spec.hasUsercode = in.hasUsercode != 0;
    spec.usercode = in.usercode;
    spec.usercodeInstruction = in.usercodeInstruction;
    spec.hasMemory = in.hasMemory != 0;
    return spec;
}

// Runs action(JtagDevice&) on device `index` of the chain under the driver lock; its result,
// or -1 when the device, the chain or the index is unknown.
template <typename Result, typename Action>
Result onJtagDevice(int32_t id, int32_t chain, int32_t index, Action action) {
    sim::DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    sim::Device* device = state.device(id);
    if (device == nullptr || chain < 0 || index < 0) {
        return -1;
    }
    auto* found = dynamic_cast<sim::JtagChain*>(device->pins.peripheral(static_cast<std::size_t>(chain)));
    if (found == nullptr || static_cast<std::size_t>(index) >= found->size()) {
        return -1;
    }
    return action(found->device(static_cast<std::size_t>(index)));
}

template <typename Action>
int32_t onJtagMemory(int32_t id, int32_t chain, int32_t index, Action action) {
    return onJtagDevice<int32_t>(id, chain, index, [&](sim::JtagDevice& device) -> int32_t {
        sim::JtagMemory* memory = device.memory();
        return memory == nullptr ? -1 : action(*memory);
    });
}

}  // namespace

extern "C" {

int32_t simAttachJtagChain(int32_t device, const SimJtagDeviceSpec* devices, uint32_t count,
                           int32_t trstPin) {
    if (devices == nullptr || count == 0 || count > kMaxDevices ||
        !(trstPin == -1 || (trstPin >= kFirstTrstPin && trstPin < sim::kPinCount))) {
        return -1;
    }
    std::vector<sim::JtagDeviceSpec> specs;
    for (uint32_t i = 0; i < count; ++i) {
        specs.push_back(toSpec(devices[i]));
        if (!sim::JtagDevice::valid(specs.back())) {
            return -1;
        }
    }
    sim::DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    sim::Device* target = state.device(device);
    if (target == nullptr) {
        return -1;
    }
    sim::PinBus& bus = target->pins;
    sim::JtagPins pins;
    pins.trst = trstPin;
    bus.setPinName(pins.tck, "TCK");
    bus.setPinName(pins.tdi, "TDI");
    bus.setPinName(pins.tdo, "TDO");
    bus.setPinName(pins.tms, "TMS");
    if (trstPin >= 0) {
        bus.setPinName(trstPin, "TRST");
    }
    return static_cast<int32_t>(bus.addPeripheral(std::make_unique<sim::JtagChain>(bus.newOwner(), pins, specs)));
}

int32_t simJtagState(int32_t device, int32_t chain, int32_t index) {
    return onJtagDevice<int32_t>(device, chain, index,
                                 [](sim::JtagDevice& found) { return static_cast<int32_t>(found.state()); });
}

int64_t simJtagInstruction(int32_t device, int32_t chain, int32_t index) {
    return onJtagDevice<int64_t>(device, chain, index,
                                 [](sim::JtagDevice& found) { return static_cast<int64_t>(found.instruction()); });
}

int32_t simJtagMemorySetWords(int32_t device, int32_t chain, int32_t index, uint32_t offset,
                              const uint16_t* words, uint32_t count) {
    return onJtagMemory(device, chain, index, [&](sim::JtagMemory& memory) -> int32_t {
        std::vector<uint16_t>& contents = memory.words();
        if ((words == nullptr && count > 0) || offset > contents.size() || count > contents.size() - offset) {
            return -1;
        }
        std::copy_n(words, count, contents.begin() + static_cast<std::ptrdiff_t>(offset));
        return 0;
    });
}

int32_t simJtagMemoryGetWords(int32_t device, int32_t chain, int32_t index, uint16_t* out,
                              uint32_t capacity) {
    return onJtagMemory(device, chain, index, [&](sim::JtagMemory& memory) {
        const std::vector<uint16_t>& contents = memory.words();
        if (out != nullptr) {
            std::copy_n(contents.begin(), std::min<std::size_t>(capacity, contents.size()), out);
        }
        return static_cast<int32_t>(contents.size());
    });
}

int32_t simJtagMemoryStatus(int32_t device, int32_t chain, int32_t index) {
    return onJtagMemory(device, chain, index, [](sim::JtagMemory& memory) { return int32_t{memory.status()}; });
}

int32_t simJtagSetBusyClocks(int32_t device, int32_t chain, int32_t index, uint64_t eraseClocks,
                             uint64_t programClocks) {
    return onJtagMemory(device, chain, index, [&](sim::JtagMemory& memory) {
        memory.setBusyClocks(eraseClocks, programClocks);
        return 0;
    });
}

}  // extern "C"
