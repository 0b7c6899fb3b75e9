#include "mpsse_engine.h"

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

constexpr uint64_t kUnbounded = std::numeric_limits<uint64_t>::max();
// 0x94/0x95 clock until GPIOL1 gets there; when the peripherals do not take it there within
// this many pulses, the engine stops simulating pulses and holds like 0x88/0x89 until the pin
// changes from outside (or a reset).
constexpr uint64_t kMaxPulsesUntilGpiol1 = 65536;

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

void MpsseEngine::write(const uint8_t* bytes, std::size_t length, std::vector<uint8_t>& replies) {
    pending_.insert(pending_.end(), bytes, bytes + length);
    runPending(replies);
}

void MpsseEngine::pinsChanged(std::vector<uint8_t>& replies) {
    runPending(replies);
}

// Power-on state. The divisor after power-on is not documented (UNSURE); 0 is chosen, as the
// register's cleared value. Divide-by-5 is on (12 MHz, as documented for H chips), three-phase,
// adaptive clocking and loopback off, and no pin drives zero only.
void MpsseEngine::reset() {
    pending_.clear();
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

void MpsseEngine::runPending(std::vector<uint8_t>& replies) {
    std::size_t head = 0;
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
        if (head == pending_.size()) {
            break;
        }
        const std::size_t length = commandLength(&pending_[head], pending_.size() - head);
        if (length == 0) {
            break;
        }
        // The command runs from a copy: a clocking command keeps what it needs.
        const std::vector<uint8_t> command(pending_.begin() + static_cast<std::ptrdiff_t>(head),
                                           pending_.begin() + static_cast<std::ptrdiff_t>(head + length));
        head += length;
        execute(command.data(), replies);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(head));
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
            length = 3 + ((op & kWriteTdi) != 0 ? littleEndian(at + 1) + std::size_t{1} : 0);
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
            if (shift.writesTdi) {
                shift.out.assign(command + 3, command + 3 + shift.pulses / 8);
            }
        } else {
            // Bit lengths above 7 (TMS: above 6) are not documented (UNSURE): the low three
            // bits count, so TMS length 7 clocks bit 7 out on TMS too, while TDI holds it.
            shift.pulses = (command[1] & 0x07u) + uint64_t{1};
            if (shift.writesTdi || tms) {
                shift.out.push_back(command[2]);
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
            clocks.pulses = kUnbounded;
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
        setPin(kTms, ((unsigned{clocking.out[0]} >> bit) & 1u) != 0);
    } else if (clocking.writesTdi) {
        const uint8_t byte = clocking.out[static_cast<std::size_t>(bit / 8)];
        const uint64_t index = bit % 8;
        setPin(kTdi, ((unsigned{byte} >> (clocking.msbFirst ? 7 - index : index)) & 1u) != 0);
    }
}

void MpsseEngine::sample(Clocking& clocking, std::vector<uint8_t>& replies) {
    if (!clocking.reads) {
        return;
    }
    // Loopback feeds TDI/DO to TDO/DI inside the chip, off the pins.
    const bool bit = loopback_ ? (bus_.chipValues() & pinBit(kTdi)) != 0 : bus_.level(kTdo);
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
bool MpsseEngine::runClocking(std::vector<uint8_t>& replies) {
    Clocking& c = current_;
    // Going on after an edge that waited for RTCK.
    if (adaptive_ && c.stage != 0 && bus_.level(kRtck) != (c.stage == 1 ? !c.idleHigh : c.idleHigh)) {
        return false;
    }
    for (;;) {
        if (c.stage == 0) {
            if (c.done == c.pulses) {
                break;
            }
            if (c.stopLevel >= 0 && static_cast<int>(bus_.level(kGpiol1)) == c.stopLevel) {
                break;
            }
            if (c.pulses == kUnbounded && c.done == kMaxPulsesUntilGpiol1) {
                // Hold like 0x88/0x89 from here.
                waitingFor_ = c.stopLevel;
                break;
            }
            if (threePhase_ || !c.outOnFirstEdge) {
                presentData(c);
            }
            advanceHalfPeriods(1);
            setPin(kTck, !c.idleHigh);
            if (!threePhase_ && c.outOnFirstEdge) {
                presentData(c);
            }
            if (c.inOnFirstEdge) {
                sample(c, replies);
            }
            c.stage = 1;
            if (adaptive_ && bus_.level(kRtck) == c.idleHigh) {
                return false;
            }
        }
        if (c.stage == 1) {
            advanceHalfPeriods(1);
            setPin(kTck, c.idleHigh);
            if (!c.inOnFirstEdge) {
                sample(c, replies);
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
