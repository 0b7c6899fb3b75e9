// A JTAG scan chain on the chip's pins: TCK, TDI into the first device, TDO out of the last,
// TMS shared by all, and an optional TRST* (active low). Every device samples TMS and TDI on
// TCK's rising edge and changes its TDO on the falling edge; the last device drives the TDO pin
// only in Shift-DR and Shift-IR and leaves it floating (pulled up, reading 1) elsewhere.
#ifndef SIM_PERIPHERALS_JTAG_CHAIN_H
#define SIM_PERIPHERALS_JTAG_CHAIN_H

#include <cstddef>
#include <vector>

#include "../pin_bus.h"
#include "jtag_device.h"

namespace sim {

struct JtagPins {
    int tck = 0;
    int tdi = 1;
    int tdo = 2;
    int tms = 3;
    int trst = -1;  // none
};

class JtagChain : public Peripheral {
public:
    // The devices from TDI to TDO; every spec must be JtagDevice::valid.
    JtagChain(int owner, JtagPins pins, const std::vector<JtagDeviceSpec>& fromTdiToTdo);

    void onLevels(PinBus& bus, PinMask previous, PinMask now) override;
    // A reset of the chip leaves the devices as they are; only the bus's drives are gone.
    void reset() override;

    std::size_t size() const { return devices_.size(); }
    JtagDevice& device(std::size_t index) { return devices_[index]; }
    const JtagPins& pins() const { return pins_; }

private:
    void risingEdge(PinMask levels);
    void fallingEdge();
    void applyTdo(PinBus& bus);

    int owner_;
    JtagPins pins_;
    std::vector<JtagDevice> devices_;
    // Each device's TDO as its falling edge left it: -1 floating, else the level.
    std::vector<int> tdo_;
    Drive tdoDriven_ = Drive::Released;
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_JTAG_CHAIN_H
