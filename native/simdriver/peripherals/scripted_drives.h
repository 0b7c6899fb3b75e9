// Levels driven onto pins from outside the chip, as a test script does: one driver of the
// bus that answers nothing, only holds what it was told.
#ifndef SIM_PERIPHERALS_SCRIPTED_DRIVES_H
#define SIM_PERIPHERALS_SCRIPTED_DRIVES_H

#include "../pin_bus.h"

namespace sim {

class ScriptedDrives : public Peripheral {
public:
    explicit ScriptedDrives(int owner) : owner_(owner) {}
    void onLevels(PinBus&, PinMask, PinMask) override {}
    int owner() const { return owner_; }

private:
    int owner_;
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_SCRIPTED_DRIVES_H
