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

    // No bound on the replies a call may append.
    static constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);

    // Takes the bytes written into the command buffer (the chip kind's size) and runs them, as
    // long as there is room; returns how many it took. A command may be split across calls (the
    // rest waits for the next one; a data write starts before all its bytes are there), and so
    // do all bytes after a wait on GPIOL1 until the pin gets there. Replies are appended to
    // `replies` in order, at most `replyRoom` of them: with no room for the next reply byte
    // the engine pauses, takes no more bytes once its buffer is full, and goes on in resume.
    std::size_t write(const uint8_t* bytes, std::size_t length, std::vector<uint8_t>& replies,
                      std::size_t replyRoom = kUnbounded);
    // Goes on after a pause: replies found room, or the pins changed from outside (a wait on
    // GPIOL1 or RTCK may end). Appends replies as write.
    void resume(std::vector<uint8_t>& replies, std::size_t replyRoom = kUnbounded);
    void pinsChanged(std::vector<uint8_t>& replies) { resume(replies); }
    // Bytes in the command buffer not run yet.
    std::size_t buffered() const { return pending_.size() - head_; }
    // The engine's power-on state: no partial command or wait, defaults for clock, loopback,
    // three-phase and adaptive clocking, and no drive-zero pins. Pins keep their levels.
    void reset();
    bool waiting() const;

private:
    // A command that clocks (data, TMS, clocks without data), run pulse by pulse so that it
    // can stop half way for adaptive clocking or GPIOL1 and go on later.
    struct Clocking {
        uint64_t pulses = 0;         // to run; kUnbounded for 0x94/0x95
        uint64_t done = 0;           // pulses completed
        int stage = 0;               // 0 before the pulse, 1 after the first edge, 2 after both
        bool writesTdi = false;
        bool writesTms = false;
        bool reads = false;
        bool msbFirst = false;
        bool byteReplies = false;    // a reply byte per 8 bits, else one byte at the end
        bool outOnFirstEdge = false;
        bool inOnFirstEdge = false;
        bool idleHigh = false;
        int stopLevel = -1;          // stop before a pulse when GPIOL1 shows it (0 or 1)
        bool streamsData = false;    // byte-form TDI data, taken from the command buffer per byte
        uint8_t out = 0;             // the byte being sent: TDI data, or the TMS byte
        uint8_t in = 0;              // bits sampled, shifted in
        int inBits = 0;
    };

    // Runs the pending bytes until they run out, a command is incomplete, or something holds.
    void runPending(std::vector<uint8_t>& replies);
    // Lets this call append at most replyRoom replies to those already in `replies`.
    void limitReplies(const std::vector<uint8_t>& replies, std::size_t replyRoom);
    // Whether `count` more replies fit in this run.
    bool replyFits(const std::vector<uint8_t>& replies, std::size_t count) const;
    // Reply bytes a command that does not clock produces: 1 for a pin read, 2 for a bad one.
    std::size_t replyBytes(uint8_t opcode) const;
    // The length of the command at `at`, or 0 when more bytes are needed to run it.
    std::size_t commandLength(const uint8_t* at, std::size_t available) const;
    void execute(const uint8_t* command, std::vector<uint8_t>& replies);
    void startClocking(Clocking clocking, std::vector<uint8_t>& replies);
    // Goes on with the clocking command; false while it waits for RTCK or GPIOL1.
    bool runClocking(std::vector<uint8_t>& replies);
    void presentData(const Clocking& clocking);
    // Shifts in TDO (or TDI in loopback) as it was: `levels` and `chipValues` as they stood.
    void sample(Clocking& clocking, PinMask levels, PinMask chipValues, std::vector<uint8_t>& replies);
    bool supports(uint8_t opcode) const;
    void setPin(int pin, bool high);
    void advanceHalfPeriods(uint64_t halves);

    const ChipKind& kind_;
    PinBus& bus_;
    // The command buffer: bytes from head_ on are not run yet (a command not complete yet,
    // data still to shift, or bytes held by a wait or a pause).
    std::vector<uint8_t> pending_;
    std::size_t head_ = 0;
    // Where replies of the current run must stop (replies.size() may not pass it).
    std::size_t replyEnd_ = kUnbounded;
    uint16_t divisor_ = 0;
    bool divideBy5_ = true;
    bool threePhase_ = false;
    bool adaptive_ = false;
    bool loopback_ = false;
    int waitingFor_ = -1;  // -1 none, 0 GPIOL1 low, 1 GPIOL1 high
    bool clocking_ = false;  // current_ is a clocking command that has not finished
    Clocking current_;
    // Simulated time not yet handed to the bus, in thirds of a nanosecond.
    uint64_t timeRemainder_ = 0;
};

}  // namespace sim

#endif  // SIM_MPSSE_ENGINE_H
