// The control entry points for the chip's pins: peripherals, wires, scripted levels, time and
// the waveform. Each finds its device under the driver lock, as the other control functions do.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bit_bang.h"
#include "driver_state.h"
#include "peripherals/i2c_eeprom.h"
#include "peripherals/i2c_target.h"
#include "peripherals/spi_flash.h"
#include "sim_control.h"

namespace {

using sim::Device;
using sim::PinBus;

constexpr uint32_t kMaxRegisters = 1u << 16;
constexpr uint32_t kMaxEepromBytes = 1u << 16;
constexpr uint32_t kMaxFlashBytes = 16u << 20;
constexpr sim::I2cPins kI2cPins{0, 1};
constexpr int kSdaInPin = 2;
constexpr sim::SpiPins kSpiPins{0, 1, 2, 3};

bool validPin(int32_t pin) {
    return pin >= 0 && pin < sim::kPinCount;
}

// Runs action(PinBus&) under the driver lock; its result, or -1 for an unknown device.
template <typename Action>
auto onBus(int32_t id, Action action) -> decltype(action(std::declval<PinBus&>())) {
    sim::DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    Device* device = state.device(id);
    if (device == nullptr) {
        return -1;
    }
    return action(device->pins);
}

// The peripheral with this id if it is a T, or null.
template <typename T>
T* peripheralAs(const PinBus& bus, int32_t id) {
    if (id < 0) {
        return nullptr;
    }
    return dynamic_cast<T*>(bus.peripheral(static_cast<std::size_t>(id)));
}

template <typename T>
int32_t attach(PinBus& bus, std::unique_ptr<T> peripheral) {
    return static_cast<int32_t>(bus.addPeripheral(std::move(peripheral)));
}

void wireI2c(PinBus& bus) {
    bus.connect(kI2cPins.sda, kSdaInPin);
    bus.setPinName(kI2cPins.scl, "SCL");
    bus.setPinName(kI2cPins.sda, "SDA");
    bus.setPinName(kSdaInPin, "SDA_IN");
}

// Copies bytes into memory at offset; 0, or -1 when they do not fit.
int32_t store(std::vector<uint8_t>& memory, uint32_t offset, const uint8_t* bytes, uint32_t length) {
    if ((bytes == nullptr && length > 0) || offset > memory.size() || length > memory.size() - offset) {
        return -1;
    }
    if (length > 0) {
        std::memcpy(memory.data() + offset, bytes, length);
    }
    return 0;
}

// Copies up to capacity bytes into out and returns the full size.
int32_t load(const std::vector<uint8_t>& memory, uint8_t* out, uint32_t capacity) {
    const std::size_t count = out == nullptr ? 0 : std::min<std::size_t>(capacity, memory.size());
    if (count > 0) {
        std::memcpy(out, memory.data(), count);
    }
    return static_cast<int32_t>(memory.size());
}

template <typename T, typename Action>
int32_t onPeripheral(int32_t device, int32_t id, Action action) {
    return onBus(device, [&](PinBus& bus) -> int32_t {
        T* peripheral = peripheralAs<T>(bus, id);
        return peripheral == nullptr ? -1 : action(bus, *peripheral);
    });
}

}  // namespace

extern "C" {

int32_t simAttachI2cTarget(int32_t device, uint32_t address, int32_t tenBit, uint32_t registerCount) {
    const uint32_t addressLimit = tenBit != 0 ? 0x3FF : 0x7F;
    if (address > addressLimit || registerCount == 0 || registerCount > kMaxRegisters) {
        return -1;
    }
    return onBus(device, [&](PinBus& bus) {
        wireI2c(bus);
        return attach(bus, std::make_unique<sim::I2cTarget>(bus.newOwner(), kI2cPins,
                                                            static_cast<uint16_t>(address),
                                                            tenBit != 0, registerCount));
    });
}

int32_t simI2cTargetSetRegisters(int32_t device, int32_t target, uint32_t offset,
                                 const uint8_t* bytes, uint32_t length) {
    return onPeripheral<sim::I2cTarget>(device, target, [&](PinBus&, sim::I2cTarget& found) {
        return store(found.registers(), offset, bytes, length);
    });
}

int32_t simI2cTargetGetRegisters(int32_t device, int32_t target, uint8_t* out, uint32_t capacity) {
    return onPeripheral<sim::I2cTarget>(device, target, [&](PinBus&, sim::I2cTarget& found) {
        return load(found.registers(), out, capacity);
    });
}

int32_t simI2cTargetNackAddress(int32_t device, int32_t target, int32_t on) {
    return onPeripheral<sim::I2cTargetLink>(device, target, [&](PinBus&, sim::I2cTargetLink& found) {
        found.setNackAddress(on != 0);
        return 0;
    });
}

int32_t simI2cTargetNackAtByte(int32_t device, int32_t target, int32_t k) {
    if (k < -1) {
        return -1;
    }
    return onPeripheral<sim::I2cTargetLink>(device, target, [&](PinBus&, sim::I2cTargetLink& found) {
        found.setNackAtByte(k);
        return 0;
    });
}

int32_t simI2cHoldSda(int32_t device, int32_t target, int32_t on) {
    return onPeripheral<sim::I2cTargetLink>(device, target, [&](PinBus& bus, sim::I2cTargetLink& found) {
        found.setHoldSdaLow(bus, on != 0);
        return 0;
    });
}

int32_t simAttachI2cEeprom(int32_t device, uint32_t address, uint32_t sizeBytes, uint32_t pageBytes) {
    if (address > 0x7F || sizeBytes == 0 || sizeBytes > kMaxEepromBytes || pageBytes == 0 ||
        pageBytes > sizeBytes) {
        return -1;
    }
    return onBus(device, [&](PinBus& bus) {
        wireI2c(bus);
        return attach(bus, std::make_unique<sim::I2cEeprom>(bus.newOwner(), kI2cPins,
                                                            static_cast<uint8_t>(address), sizeBytes,
                                                            pageBytes));
    });
}

int32_t simI2cEepromSetContents(int32_t device, int32_t eeprom, uint32_t offset, const uint8_t* bytes,
                                uint32_t length) {
    return onPeripheral<sim::I2cEeprom>(device, eeprom, [&](PinBus&, sim::I2cEeprom& found) {
        return store(found.contents(), offset, bytes, length);
    });
}

int32_t simI2cEepromGetContents(int32_t device, int32_t eeprom, uint8_t* out, uint32_t capacity) {
    return onPeripheral<sim::I2cEeprom>(device, eeprom, [&](PinBus&, sim::I2cEeprom& found) {
        return load(found.contents(), out, capacity);
    });
}

int32_t simI2cEepromSetWriteCycle(int32_t device, int32_t eeprom, uint64_t nanos) {
    return onPeripheral<sim::I2cEeprom>(device, eeprom, [&](PinBus&, sim::I2cEeprom& found) {
        found.setWriteCycleNanos(nanos);
        return 0;
    });
}

int32_t simAttachSpiFlash(int32_t device, int32_t csPin, uint32_t jedecId, uint32_t sizeBytes) {
    if (!validPin(csPin) || csPin < kSpiPins.cs || jedecId > 0xFFFFFF || sizeBytes == 0 ||
        sizeBytes > kMaxFlashBytes || sizeBytes % sim::SpiFlash::kSectorBytes != 0) {
        return -1;
    }
    return onBus(device, [&](PinBus& bus) {
        sim::SpiPins pins = kSpiPins;
        pins.cs = csPin;
        bus.setPinName(pins.sck, "SCK");
        bus.setPinName(pins.mosi, "MOSI");
        bus.setPinName(pins.miso, "MISO");
        bus.setPinName(pins.cs, "CS");
        return attach(bus, std::make_unique<sim::SpiFlash>(bus.newOwner(), pins, jedecId, sizeBytes));
    });
}

int32_t simSpiFlashSetContents(int32_t device, int32_t flash, uint32_t offset, const uint8_t* bytes,
                               uint32_t length) {
    return onPeripheral<sim::SpiFlash>(device, flash, [&](PinBus&, sim::SpiFlash& found) {
        return store(found.contents(), offset, bytes, length);
    });
}

int32_t simSpiFlashGetContents(int32_t device, int32_t flash, uint8_t* out, uint32_t capacity) {
    return onPeripheral<sim::SpiFlash>(device, flash, [&](PinBus&, sim::SpiFlash& found) {
        return load(found.contents(), out, capacity);
    });
}

int32_t simConnectPins(int32_t device, int32_t pinA, int32_t pinB) {
    if (!validPin(pinA) || !validPin(pinB)) {
        return -1;
    }
    return onBus(device, [&](PinBus& bus) {
        bus.connect(pinA, pinB);
        return 0;
    });
}

int32_t simDrivePin(int32_t device, int32_t pin, int32_t level) {
    if (!validPin(pin) || level < -1 || level > 1) {
        return -1;
    }
    const sim::Drive drive = level < 0 ? sim::Drive::Released : level == 0 ? sim::Drive::Low : sim::Drive::High;
    sim::DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    Device* target = state.device(device);
    if (target == nullptr) {
        return -1;
    }
    // The same outside driver as simSetPinInputs, and like it a change that may end an MPSSE
    // wait on GPIOL1.
    target->pins.drive(target->outsideDriver, pin, drive);
    sim::pinsChangedOutside(*target);
    return 0;
}

int32_t simSetWaveformRecording(int32_t device, int32_t on) {
    return onBus(device, [&](PinBus& bus) {
        bus.setRecording(on != 0);
        return 0;
    });
}

int32_t simWaveformVcd(int32_t device, char* out, uint32_t capacity) {
    return onBus(device, [&](PinBus& bus) {
        const std::string vcd = bus.waveformVcd();
        if (out != nullptr) {
            std::memcpy(out, vcd.data(), std::min<std::size_t>(capacity, vcd.size()));
        }
        return static_cast<int32_t>(std::min<std::size_t>(vcd.size(), INT32_MAX));
    });
}

int64_t simBusNanos(int32_t device) {
    return onBus(device, [](PinBus& bus) { return static_cast<int64_t>(bus.nowNanos()); });
}

}  // extern "C"
