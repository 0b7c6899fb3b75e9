// The MPSSE engine of one channel: runs the command bytes written to it against the pins,
// with the clock settings giving each step its simulated time, and queues the replies.
#ifndef SIM_MPSSE_ENGINE_H
#define SIM_MPSSE_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chip_kind.h"
#include "pin_bus.h"

namespace sim {

class MpsseEngine {
public:
    MpsseEngine(const ChipKind& kind, PinBus& bus);

    // Runs the bytes written; a command may be split across calls (the rest waits for the next
    // one), and so do all bytes after a wait on GPIOL1 until the pin gets there. Replies are
    // appended to `replies` in order.
    void write(const uint8_t* bytes, std::size_t length, std::vector<uint8_t>& replies);
    // Re-checks a wait on GPIOL1 after the pins changed from outside; appends replies as write.
    void pinsChanged(std::vector<uint8_t>& replies);
    // The engine's power-on state: no partial command or wait, defaults for clock, loopback,
    // three-phase and adaptive clocking, and no drive-zero pins. Pins keep their levels.
    void reset();
    bool waiting() const;

private:
    struct State;
    const ChipKind& kind_;
    PinBus& bus_;
    std::vector<uint8_t> pending_;  // bytes of a command not complete yet, or held by a wait
    // Implementation-defined members follow (clock divisor, flags, wait state).
    uint16_t divisor_ = 0;
    bool divideBy5_ = true;
    bool threePhase_ = false;
    bool adaptive_ = false;
    bool loopback_ = false;
    int waitingFor_ = -1;  // -1 none, 0 GPIOL1 low, 1 GPIOL1 high
};

}  // namespace sim

#endif  // SIM_MPSSE_ENGINE_H
