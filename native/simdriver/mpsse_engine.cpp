#include "mpsse_engine.h"

#include <algorithm>
#include <limits>

namespace sim {

namespace {

// Pins of the engine on the low byte.
constexpr int kTck = 0;
constexpr int kTdi = 1;
constexpr int kTdo = 2;
constexpr int kTms = 3;
constexpr int kGpiol1 = 5;
constexpr int kRtck = 7;  // GPIOL3, the returned clock of adaptive clocking

// Flag bits of the data-shifting and TMS opcodes.
constexpr uint8_t kOutOnNegative = 0x01;
constexpr uint8_t kBitForm = 0x02;
constexpr uint8_t kInOnNegative = 0x04;
constexpr uint8_t kLsbFirst = 0x08;
constexpr uint8_t kWriteTdi = 0x10;
constexpr uint8_t kReadTdo = 0x20;
constexpr uint8_t kWriteTms = 0x40;

constexpr uint8_t kBadCommand = 0xFA;

constexpr uint64_t kEndless = std::numeric_limits<uint64_t>::max();
// 0x94/0x95 clock until GPIOL1 gets there; when the peripherals do not take it there within
// this many pulses, the engine stops simulating pulses and holds like 0x88/0x89 until the pin
// changes from outside (or a reset).
constexpr uint64_t kMaxPulsesUntilGpiol1 = 65536;

constexpr std::size_t kFallbackCommandBuffer = 1024;

// Time runs in units of one 60 MHz cycle (50/3 ns), kept in thirds of a nanosecond.
constexpr uint64_t kThirdNanosPerUnit = 50;

// One of the 24 opcodes of the data-shifting table: TDI and/or TDO; a write alone has no
// input edge, a read alone no output edge, and a duplex shift outputs and samples on
// opposite edges (0x30, 0x35 and their bit and LSB forms are not commands).
bool isDataOpcode(uint8_t op) {
    if ((op & 0xC0) != 0) {
        return false;
    }
    const bool writes = (op & kWriteTdi) != 0;
    const bool reads = (op & kReadTdo) != 0;
    const bool outNegative = (op & kOutOnNegative) != 0;
    const bool inNegative = (op & kInOnNegative) != 0;
    if (writes && reads) {
        return outNegative != inNegative;
    }
    if (writes) {
        return !inNegative;
    }
    return reads && !outNegative;
}

// 0x4A, 0x4B (write TMS), 0x6A, 0x6B, 0x6E, 0x6F (and read TDO).
bool isTmsOpcode(uint8_t op) {
    const bool reads = (op & kReadTdo) != 0;
    return (op & ~(kOutOnNegative | kInOnNegative | kReadTdo)) == 0x4A &&
           (reads || (op & kInOnNegative) == 0);
}

uint16_t littleEndian(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

}  // namespace

MpsseEngine::MpsseEngine(const ChipKind& kind, PinBus& bus) : kind_(kind), bus_(bus) {}

std::size_t MpsseEngine::write(const uint8_t* bytes, std::size_t length,
                               std::vector<uint8_t>& replies, std::size_t replyRoom) {
    // A kind without an MPSSE has no documented buffer; its engine (never run by the driver)
    // gets the smallest H-series one.
    const std::size_t capacity = kind_.outBuffer != 0 ? kind_.outBuffer : kFallbackCommandBuffer;
    limitReplies(replies, replyRoom);
    std::size_t taken = 0;
    // Running frees room in the buffer: take more until all is in or nothing runs any more.
    while (taken < length) {
        const std::size_t room = capacity > buffered() ? capacity - buffered() : 0;
        if (room == 0) {
            break;
        }
        const std::size_t portion = std::min(room, length - taken);
        pending_.insert(pending_.end(), bytes + taken, bytes + taken + portion);
        taken += portion;
        runPending(replies);
    }
    return taken;
}

void MpsseEngine::resume(std::vector<uint8_t>& replies, std::size_t replyRoom) {
    limitReplies(replies, replyRoom);
    runPending(replies);
}

void MpsseEngine::limitReplies(const std::vector<uint8_t>& replies, std::size_t replyRoom) {
    replyEnd_ = replyRoom > kUnbounded - replies.size() ? kUnbounded : replies.size() + replyRoom;
}

// Power-on state. The divisor after power-on is not documented (UNSURE); 0 is chosen, as the
// register's cleared value. Divide-by-5 is on (12 MHz, as documented for H chips), three-phase,
// adaptive clocking and loopback off, and no pin drives zero only.
void MpsseEngine::reset() {
    pending_.clear();
    head_ = 0;
    divisor_ = 0;
    divideBy5_ = true;
    threePhase_ = false;
    adaptive_ = false;
    loopback_ = false;
    waitingFor_ = -1;
    clocking_ = false;
    current_ = Clocking{};
    timeRemainder_ = 0;
    bus_.setOpenDrain(0);
}

bool MpsseEngine::waiting() const { return waitingFor_ >= 0 || clocking_; }

bool MpsseEngine::replyFits(const std::vector<uint8_t>& replies, std::size_t count) const {
    return replyEnd_ >= replies.size() && replyEnd_ - replies.size() >= count;
}

void MpsseEngine::runPending(std::vector<uint8_t>& replies) {
    for (;;) {
        if (clocking_ && !runClocking(replies)) {
            break;
        }
        if (waitingFor_ >= 0) {
            if (static_cast<int>(bus_.level(kGpiol1)) != waitingFor_) {
                break;
            }
            waitingFor_ = -1;
        }
        if (head_ == pending_.size()) {
            break;
        }
        const std::size_t length = commandLength(&pending_[head_], pending_.size() - head_);
        if (length == 0 || !replyFits(replies, replyBytes(pending_[head_]))) {
            break;
        }
        // The command runs from a copy of its (at most three) bytes: a data write takes its
        // data from the buffer as it shifts it out.
        uint8_t command[3] = {};
        std::copy(pending_.begin() + static_cast<std::ptrdiff_t>(head_),
                  pending_.begin() + static_cast<std::ptrdiff_t>(head_ + length), command);
        head_ += length;
        execute(command, replies);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
}

std::size_t MpsseEngine::replyBytes(uint8_t op) const {
    if (op == 0x81 || op == 0x83) {
        return 1;
    }
    if (!isDataOpcode(op) && !isTmsOpcode(op) && !supports(op) && (op & 0x80) != 0) {
        return 2;
    }
    // A clocking command checks for room before each byte it reads.
    return 0;
}

// H-series commands exist on hiSpeed chips only, 0x9E on chips with drive-zero. What the
// other chips answer is not documented (UNSURE): they answer 0xFA like any unknown opcode.
// The MCU host commands 0x90-0x93 belong to MCU host bus emulation, which the simulated chip
// does not model: in MPSSE mode they are bad commands too.
bool MpsseEngine::supports(uint8_t op) const {
    switch (op) {
    case 0x80: case 0x81: case 0x82: case 0x83: case 0x84: case 0x85: case 0x86: case 0x87:
    case 0x88: case 0x89:
        return true;
    case 0x8A: case 0x8B: case 0x8C: case 0x8D: case 0x8E: case 0x8F:
    case 0x94: case 0x95: case 0x96: case 0x97: case 0x9C: case 0x9D:
        return kind_.hiSpeed;
    case 0x9E:
        return kind_.driveZero;
    default:
        return false;
    }
}

std::size_t MpsseEngine::commandLength(const uint8_t* at, std::size_t available) const {
    const uint8_t op = at[0];
    std::size_t length = 1;
    if (isDataOpcode(op)) {
        if ((op & kBitForm) != 0) {
            length = (op & kWriteTdi) != 0 ? 3 : 2;
        } else {
            if (available < 3) {
                return 0;
            }
            // A data write's data follows in the buffer and is taken as it is shifted out.
            length = 3;
        }
    } else if (isTmsOpcode(op)) {
        length = 3;
    } else if (supports(op)) {
        switch (op) {
        case 0x80: case 0x82: case 0x86: case 0x8F: case 0x9C: case 0x9D: case 0x9E:
            length = 3;
            break;
        case 0x8E:
            length = 2;
            break;
        default:
            break;
        }
    }
    // Any other opcode, bad or not, is just the opcode: its would-be arguments run as commands.
    return available >= length ? length : 0;
}

void MpsseEngine::execute(const uint8_t* command, std::vector<uint8_t>& replies) {
    const uint8_t op = command[0];
    if (isDataOpcode(op) || isTmsOpcode(op)) {
        Clocking shift;
        const bool tms = (op & kWriteTms) != 0;
        shift.writesTdi = !tms && (op & kWriteTdi) != 0;
        shift.writesTms = tms;
        shift.reads = (op & kReadTdo) != 0;
        shift.msbFirst = !tms && (op & kLsbFirst) == 0;
        shift.idleHigh = (bus_.chipValues() & pinBit(kTck)) != 0;
        // Idle low, the first edge of a pulse rises; idle high, it falls.
        shift.outOnFirstEdge = ((op & kOutOnNegative) != 0) == shift.idleHigh;
        shift.inOnFirstEdge = ((op & kInOnNegative) != 0) == shift.idleHigh;
        if ((op & kBitForm) == 0) {
            shift.pulses = (littleEndian(command + 1) + uint64_t{1}) * 8;
            shift.byteReplies = true;
            shift.streamsData = shift.writesTdi;
        } else {
            // Bit lengths above 7 (TMS: above 6) are not documented (UNSURE): the low three
            // bits count, so TMS length 7 clocks bit 7 out on TMS too, while TDI holds it.
            shift.pulses = (command[1] & 0x07u) + uint64_t{1};
            if (shift.writesTdi || tms) {
                shift.out = command[2];
            }
        }
        if (tms) {
            // Bit 7 of the TMS byte goes on TDI/DO before the first clock and stays there.
            setPin(kTdi, (command[2] & 0x80) != 0);
        }
        startClocking(std::move(shift), replies);
        return;
    }
    if (!supports(op)) {
        // Bad command: only opcodes with bit 7 set answer. The chip's answer to the invalid
        // opcodes with bit 7 clear is not documented (UNSURE): they are taken silently.
        if ((op & 0x80) != 0) {
            replies.push_back(kBadCommand);
            replies.push_back(op);
        }
        advanceHalfPeriods(1);
        return;
    }
    const PinMask highPins = static_cast<PinMask>(((1u << kind_.highPins) - 1u) << 8);
    switch (op) {
    case 0x80:
        bus_.setChipPins(static_cast<PinMask>((bus_.chipValues() & 0xFF00) | command[1]),
                         static_cast<PinMask>((bus_.chipOutputs() & 0xFF00) | command[2]));
        break;
    case 0x82:
        // Only the chip's GPIOH pins exist; the others stay inputs.
        bus_.setChipPins(static_cast<PinMask>((bus_.chipValues() & 0x00FF) | (command[1] << 8)),
                         static_cast<PinMask>((bus_.chipOutputs() & 0x00FF) |
                                              ((command[2] << 8) & highPins)));
        break;
    case 0x81:
        replies.push_back(static_cast<uint8_t>(bus_.levels() & 0xFF));
        break;
    case 0x83:
        // Pins the chip lacks read 0 (UNSURE).
        replies.push_back(static_cast<uint8_t>((bus_.levels() & highPins) >> 8));
        break;
    case 0x84:
    case 0x85:
        loopback_ = op == 0x84;
        break;
    case 0x86:
        divisor_ = littleEndian(command + 1);
        break;
    case 0x87:
        // Replies go to the host at once here: nothing to flush.
        break;
    case 0x88:
    case 0x89:
        waitingFor_ = op == 0x88 ? 1 : 0;
        break;
    case 0x8A:
    case 0x8B:
        divideBy5_ = op == 0x8B;
        break;
    case 0x8C:
    case 0x8D:
        threePhase_ = op == 0x8C;
        break;
    case 0x96:
    case 0x97:
        adaptive_ = op == 0x96;
        break;
    case 0x9E:
        bus_.setOpenDrain(static_cast<PinMask>(command[1] | ((command[2] << 8) & highPins)));
        break;
    default: {
        // Clocks without data: 0x8E, 0x8F, 0x94, 0x95, 0x9C, 0x9D.
        Clocking clocks;
        clocks.idleHigh = (bus_.chipValues() & pinBit(kTck)) != 0;
        if (op == 0x8E) {
            clocks.pulses = (command[1] & 0x07u) + uint64_t{1};
        } else if (op == 0x94 || op == 0x95) {
            clocks.pulses = kEndless;
            clocks.stopLevel = op == 0x94 ? 1 : 0;
        } else {
            clocks.pulses = (littleEndian(command + 1) + uint64_t{1}) * 8;
            if (op != 0x8F) {
                clocks.stopLevel = op == 0x9C ? 1 : 0;
            }
        }
        startClocking(std::move(clocks), replies);
        return;
    }
    }
    advanceHalfPeriods(1);
}

void MpsseEngine::startClocking(Clocking clocking, std::vector<uint8_t>& replies) {
    current_ = std::move(clocking);
    clocking_ = true;
    runClocking(replies);
}

void MpsseEngine::presentData(const Clocking& clocking) {
    const uint64_t bit = clocking.done;
    if (clocking.writesTms) {
        setPin(kTms, ((unsigned{clocking.out} >> bit) & 1u) != 0);
    } else if (clocking.writesTdi) {
        const uint64_t index = bit % 8;
        setPin(kTdi, ((unsigned{clocking.out} >> (clocking.msbFirst ? 7 - index : index)) & 1u) != 0);
    }
}

void MpsseEngine::sample(Clocking& clocking, PinMask levels, PinMask chipValues,
                         std::vector<uint8_t>& replies) {
    if (!clocking.reads) {
        return;
    }
    // Loopback feeds TDI/DO to TDO/DI inside the chip, off the pins.
    const bool bit = ((loopback_ ? chipValues & pinBit(kTdi) : levels & pinBit(kTdo))) != 0;
    // MSB first shifts in from bit 0 up, LSB first from bit 7 down.
    if (clocking.msbFirst) {
        clocking.in = static_cast<uint8_t>((clocking.in << 1) | (bit ? 1 : 0));
    } else {
        clocking.in = static_cast<uint8_t>((clocking.in >> 1) | (bit ? 0x80 : 0));
    }
    ++clocking.inBits;
    if (clocking.byteReplies ? clocking.inBits == 8
                             : static_cast<uint64_t>(clocking.inBits) == clocking.pulses) {
        replies.push_back(clocking.in);
        clocking.in = 0;
        clocking.inBits = 0;
    }
}

// Each pulse: data presented (before the first edge, or right after it when the output edge
// is the first one), a half period, the first edge, a half period, the edge back to idle.
// Three-phase: data before the first edge, and a third half period after the second edge,
// so data stays valid across both. Adaptive clocking: after each edge the pulse goes on only
// once RTCK (GPIOL3) shows the clock's level; while it does not (nothing drives it: it reads
// 1), the command and every byte after it wait as for 0x88, until the pins change or a reset.
// A pulse starts only with room for the reply byte it begins and with the data byte it sends
// in the buffer; else the command pauses there until resume.
//
// A sample at an edge sees the levels from before that edge: parts answer an edge a few
// nanoseconds after it, too late for a sample taken at it. With three-phase clocking the
// sample is taken after the edge's answers, as before; whether the chip samples later then is
// not documented (UNSURE): data held across both edges, as I2C has it, reads the same either way.
bool MpsseEngine::runClocking(std::vector<uint8_t>& replies) {
    Clocking& c = current_;
    // Going on after an edge that waited for RTCK.
    if (adaptive_ && c.stage != 0 && bus_.level(kRtck) != (c.stage == 1 ? !c.idleHigh : c.idleHigh)) {
        return false;
    }
    // The clock goes to `high`; the sample, when this is the input edge, sees the levels before it.
    const auto edge = [&](bool high, bool input) {
        const PinMask levels = bus_.levels();
        const PinMask chipValues = bus_.chipValues();
        setPin(kTck, high);
        if (input && !threePhase_) {
            sample(c, levels, chipValues, replies);
        }
    };
    for (;;) {
        if (c.stage == 0) {
            if (c.done == c.pulses) {
                break;
            }
            if (c.stopLevel >= 0 && static_cast<int>(bus_.level(kGpiol1)) == c.stopLevel) {
                break;
            }
            if (c.pulses == kEndless && c.done == kMaxPulsesUntilGpiol1) {
                // Hold like 0x88/0x89 from here.
                waitingFor_ = c.stopLevel;
                break;
            }
            if (c.reads && c.inBits == 0 && !replyFits(replies, 1)) {
                return false;
            }
            if (c.streamsData && c.done % 8 == 0) {
                if (head_ == pending_.size()) {
                    return false;
                }
                c.out = pending_[head_++];
            }
            if (threePhase_ || !c.outOnFirstEdge) {
                presentData(c);
            }
            advanceHalfPeriods(1);
            edge(!c.idleHigh, c.inOnFirstEdge);
            if (!threePhase_ && c.outOnFirstEdge) {
                presentData(c);
            }
            if (threePhase_ && c.inOnFirstEdge) {
                sample(c, bus_.levels(), bus_.chipValues(), replies);
            }
            c.stage = 1;
            if (adaptive_ && bus_.level(kRtck) == c.idleHigh) {
                return false;
            }
        }
        if (c.stage == 1) {
            advanceHalfPeriods(1);
            edge(c.idleHigh, !c.inOnFirstEdge);
            if (threePhase_ && !c.inOnFirstEdge) {
                sample(c, bus_.levels(), bus_.chipValues(), replies);
            }
            c.stage = 2;
            if (adaptive_ && bus_.level(kRtck) != c.idleHigh) {
                return false;
            }
        }
        if (threePhase_) {
            advanceHalfPeriods(1);
        }
        c.stage = 0;
        ++c.done;
    }
    clocking_ = false;
    current_ = Clocking{};
    return true;
}

void MpsseEngine::setPin(int pin, bool high) {
    const PinMask bit = pinBit(pin);
    const PinMask values = bus_.chipValues();
    const PinMask next = static_cast<PinMask>(high ? values | bit : values & ~bit);
    if (next != values) {
        bus_.setChipPins(next, bus_.chipOutputs());
    }
}

// f = base / ((1 + divisor) * 2): half a period is (1 + divisor) cycles of the base clock,
// 60 MHz on H chips with divide-by-5 off, else 12 MHz (five 60 MHz cycles).
void MpsseEngine::advanceHalfPeriods(uint64_t halves) {
    const uint64_t unitsPerCycle = kind_.hiSpeed && !divideBy5_ ? 1 : 5;
    const uint64_t thirds =
        timeRemainder_ + halves * (divisor_ + uint64_t{1}) * unitsPerCycle * kThirdNanosPerUnit;
    bus_.advance(thirds / 3);
    timeRemainder_ = thirds % 3;
}

}  // namespace sim
