// Placeholder until the pin bus is written: compiles and links, models nothing.
#include "pin_bus.h"

namespace sim {

PinBus::PinBus() : drives_(1, std::vector<Drive>(kPinCount, Drive::Released)), names_(kPinCount) {
    for (int pin = 0; pin < kPinCount; ++pin) {
        net_[pin] = pin;
    }
}

void PinBus::setChipPins(PinMask values, PinMask outputs) {
    chipValues_ = values;
    chipOutputs_ = outputs;
}
void PinBus::setOpenDrain(PinMask mask) { openDrain_ = mask; }
int PinBus::newOwner() { return owners_++; }
void PinBus::drive(int, int, Drive) {}
void PinBus::connect(int, int) {}
std::size_t PinBus::addPeripheral(std::unique_ptr<Peripheral> peripheral) {
    peripherals_.push_back(std::move(peripheral));
    return peripherals_.size() - 1;
}
Peripheral* PinBus::peripheral(std::size_t index) const {
    return index < peripherals_.size() ? peripherals_[index].get() : nullptr;
}
void PinBus::resetPeripherals() {}
void PinBus::setPinName(int, const std::string&) {}
void PinBus::setRecording(bool on, std::size_t maxChanges) {
    recording_ = on;
    maxChanges_ = maxChanges;
}
std::string PinBus::waveformVcd(std::size_t* dropped) const {
    if (dropped != nullptr) {
        *dropped = dropped_;
    }
    return {};
}
void PinBus::clearWaveform() { changes_.clear(); }
void PinBus::resolve() {}

}  // namespace sim
