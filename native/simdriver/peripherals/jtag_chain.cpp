#include "jtag_chain.h"

namespace sim {

namespace {

bool isHigh(PinMask levels, int pin) {
    return (levels & pinBit(pin)) != 0;
}

}  // namespace

JtagChain::JtagChain(int owner, JtagPins pins, const std::vector<JtagDeviceSpec>& fromTdiToTdo)
    : owner_(owner), pins_(pins), devices_(fromTdiToTdo.begin(), fromTdiToTdo.end()),
      tdo_(fromTdiToTdo.size(), -1) {}

void JtagChain::onLevels(PinBus& bus, PinMask previous, PinMask now) {
    if (pins_.trst >= 0 && !isHigh(now, pins_.trst)) {
        // TRST* holds every device in Test-Logic-Reset, whatever TCK does.
        for (JtagDevice& device : devices_) {
            device.reset();
        }
        fallingEdge();  // out of the Shift states every TDO floats
    } else if (!isHigh(previous, pins_.tck) && isHigh(now, pins_.tck)) {
        risingEdge(now);
    } else if (isHigh(previous, pins_.tck) && !isHigh(now, pins_.tck)) {
        fallingEdge();
    }
    applyTdo(bus);
}

void JtagChain::reset() {
    tdoDriven_ = Drive::Released;  // the bus releases every peripheral drive with the reset
}

void JtagChain::risingEdge(PinMask levels) {
    const bool tms = isHigh(levels, pins_.tms);
    // Every device samples what its neighbour showed before this edge: a floating TDO between
    // two devices reads 1, as the pin does.
    bool tdi = isHigh(levels, pins_.tdi);
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const bool next = tdo_[i] != 0;
        devices_[i].risingEdge(tms, tdi);
        tdi = next;
    }
}

void JtagChain::fallingEdge() {
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        tdo_[i] = devices_[i].tdoAfterFallingEdge();
    }
}

void JtagChain::applyTdo(PinBus& bus) {
    const int last = tdo_.empty() ? -1 : tdo_.back();
    const Drive wanted = last < 0 ? Drive::Released : last != 0 ? Drive::High : Drive::Low;
    if (wanted != tdoDriven_) {
        tdoDriven_ = wanted;
        bus.drive(owner_, pins_.tdo, wanted);
    }
}

}  // namespace sim
