#include "pin_bus.h"

#include <algorithm>

namespace sim {

namespace {

// Peripherals answering each other could go on for ever (a ring oscillator of wires); after
// this many rounds the bus keeps the levels it has.
constexpr int kMaxSettleRounds = 16;

std::string defaultPinName(int pin) {
    return (pin < 8 ? "AD" : "AC") + std::to_string(pin % 8);
}

// VCD identifiers: one printable character per pin, from '!'.
char vcdId(int pin) { return static_cast<char>('!' + pin); }

bool validPin(int pin) { return pin >= 0 && pin < kPinCount; }

}  // namespace

PinBus::PinBus() : drives_(1, std::vector<Drive>(kPinCount, Drive::Released)), names_(kPinCount) {
    for (int pin = 0; pin < kPinCount; ++pin) {
        netMask_[pin] = pinBit(pin);
    }
}

void PinBus::setChipPins(PinMask values, PinMask outputs) {
    chipValues_ = values;
    chipOutputs_ = outputs;
    settle();
}

void PinBus::setOpenDrain(PinMask mask) {
    openDrain_ = mask;
    settle();
}

int PinBus::newOwner() {
    drives_.emplace_back(kPinCount, Drive::Released);
    return owners_++;
}

void PinBus::drive(int owner, int pin, Drive drive) {
    // Owner 0 is the chip, which drives through setChipPins only.
    if (owner <= 0 || owner >= owners_ || !validPin(pin)) {
        return;
    }
    Drive& current = drives_[static_cast<std::size_t>(owner)][static_cast<std::size_t>(pin)];
    if (current == drive) {
        return;
    }
    current = drive;
    settle();
}

void PinBus::connect(int pinA, int pinB) {
    if (!validPin(pinA) || !validPin(pinB)) {
        return;
    }
    const PinMask joined = static_cast<PinMask>(netMask_[pinA] | netMask_[pinB]);
    for (int pin = 0; pin < kPinCount; ++pin) {
        if ((joined & pinBit(pin)) != 0) {
            netMask_[pin] = joined;
        }
    }
    settle();
}

std::size_t PinBus::addPeripheral(std::unique_ptr<Peripheral> peripheral) {
    peripherals_.push_back(std::move(peripheral));
    return peripherals_.size() - 1;
}

Peripheral* PinBus::peripheral(std::size_t index) const {
    return index < peripherals_.size() ? peripherals_[index].get() : nullptr;
}

void PinBus::resetPeripherals() {
    for (const auto& peripheral : peripherals_) {
        peripheral->reset();
    }
    for (std::size_t owner = 1; owner < drives_.size(); ++owner) {
        std::fill(drives_[owner].begin(), drives_[owner].end(), Drive::Released);
    }
    settle();
}

PinMask PinBus::resolveLevels() const {
    // A chip output drives its value, except that an open-drain pin floats on a 1.
    PinMask low = static_cast<PinMask>(chipOutputs_ & ~chipValues_);
    for (std::size_t owner = 1; owner < drives_.size(); ++owner) {
        for (int pin = 0; pin < kPinCount; ++pin) {
            if (drives_[owner][static_cast<std::size_t>(pin)] == Drive::Low) {
                low = static_cast<PinMask>(low | pinBit(pin));
            }
        }
    }
    // Any low on a net wins; otherwise a high drive or the pull-up makes it 1, so a net's level
    // depends on its low drives alone.
    PinMask levels = 0;
    for (int pin = 0; pin < kPinCount; ++pin) {
        if ((low & netMask_[pin]) == 0) {
            levels = static_cast<PinMask>(levels | pinBit(pin));
        }
    }
    return levels;
}

void PinBus::settle() {
    // A peripheral driving from onLevels lands here again: the loop below picks its drive up.
    if (settling_) {
        return;
    }
    settling_ = true;
    for (int round = 0; round < kMaxSettleRounds; ++round) {
        const PinMask now = resolveLevels();
        if (now == levels_) {
            break;
        }
        const PinMask previous = levels_;
        levels_ = now;
        record(now);
        for (const auto& peripheral : peripherals_) {
            peripheral->onLevels(*this, previous, now);
        }
    }
    settling_ = false;
}

void PinBus::record(PinMask levels) {
    if (!recording_) {
        return;
    }
    if (!changes_.empty() && changes_.back().time == now_) {
        changes_.back().levels = levels;
        return;
    }
    if (changes_.size() >= maxChanges_) {
        ++dropped_;
        return;
    }
    changes_.push_back(Change{now_, levels});
}

void PinBus::setPinName(int pin, const std::string& name) {
    if (validPin(pin)) {
        names_[static_cast<std::size_t>(pin)] = name;
    }
}

void PinBus::setRecording(bool on, std::size_t maxChanges) {
    if (on) {
        clearWaveform();
        maxChanges_ = maxChanges;
    }
    recording_ = on;
}

std::string PinBus::waveformVcd(std::size_t* dropped) const {
    if (dropped != nullptr) {
        *dropped = dropped_;
    }
    PinMask changed = 0;
    PinMask last = recordStart_;
    for (const Change& change : changes_) {
        changed = static_cast<PinMask>(changed | (change.levels ^ last));
        last = change.levels;
    }
    PinMask shown = changed;
    for (int pin = 0; pin < kPinCount; ++pin) {
        if (!names_[static_cast<std::size_t>(pin)].empty()) {
            shown = static_cast<PinMask>(shown | pinBit(pin));
        }
    }

    std::string vcd = "$timescale 1ns $end\n$scope module ftdi $end\n";
    for (int pin = 0; pin < kPinCount; ++pin) {
        if ((shown & pinBit(pin)) != 0) {
            const std::string& name = names_[static_cast<std::size_t>(pin)];
            vcd += "$var wire 1 ";
            vcd += vcdId(pin);
            vcd += ' ' + (name.empty() ? defaultPinName(pin) : name) + " $end\n";
        }
    }
    vcd += "$upscope $end\n$enddefinitions $end\n";
    auto appendValues = [&](PinMask levels, PinMask pins) {
        for (int pin = 0; pin < kPinCount; ++pin) {
            if ((pins & pinBit(pin)) != 0) {
                vcd += (levels & pinBit(pin)) != 0 ? '1' : '0';
                vcd += vcdId(pin);
                vcd += '\n';
            }
        }
    };
    vcd += '#' + std::to_string(recordStartTime_) + "\n$dumpvars\n";
    appendValues(recordStart_, shown);
    vcd += "$end\n";
    last = recordStart_;
    uint64_t lastTime = recordStartTime_;
    bool stamped = false;
    for (const Change& change : changes_) {
        const PinMask differ = static_cast<PinMask>((change.levels ^ last) & shown);
        last = change.levels;
        // Changes merged at one time may have come back to where they were.
        if (differ == 0) {
            continue;
        }
        // A change at the very start (the first command after recording began) shows 1 ns
        // after it, so that the levels before it last long enough for a decoder to see the edge.
        const uint64_t time = std::max(change.time, recordStartTime_ + 1);
        if (!stamped || time != lastTime) {
            vcd += '#' + std::to_string(time) + '\n';
        }
        stamped = true;
        lastTime = time;
        appendValues(change.levels, differ);
    }
    // The record ends at the bus's present time, not at its last change, so a decoder sees the
    // last levels held: a STOP as the last change is otherwise cut off.
    if (now_ > lastTime) {
        vcd += '#' + std::to_string(now_) + '\n';
    }
    return vcd;
}

void PinBus::clearWaveform() {
    changes_.clear();
    dropped_ = 0;
    recordStart_ = levels_;
    recordStartTime_ = now_;
}

}  // namespace sim
