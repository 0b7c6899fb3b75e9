#include "jtag_memory.h"

#include <algorithm>

namespace sim {

JtagMemory::JtagMemory() : words_(kWords, 0xFFFF) {}

void JtagMemory::clock() {
    if (remainingClocks_ > 0) {
        --remainingClocks_;
    }
}

bool JtagMemory::start(uint64_t clocks) {
    if (!enabled_ || busy()) {
        error_ = true;
        return false;
    }
    remainingClocks_ = clocks;
    return true;
}

void JtagMemory::instructionUpdated(uint32_t instruction) {
    switch (instruction) {
    case kEnable:
        enabled_ = true;
        error_ = false;
        break;
    case kDisable:
        enabled_ = false;
        break;
    case kErase:
        if (start(eraseClocks_)) {
            std::fill(words_.begin(), words_.end(), uint16_t{0xFFFF});
        }
        break;
    default:
        break;
    }
}

void JtagMemory::dataUpdated(uint32_t instruction, uint32_t value) {
    const uint8_t address = static_cast<uint8_t>(value & 0xFF);
    if (instruction == kProgram) {
        if (start(programClocks_)) {
            words_[address] = static_cast<uint16_t>(words_[address] & (value >> 8));
        }
    } else if (instruction == kRead) {
        readAddress_ = address;
    }
}

uint32_t JtagMemory::capture(uint32_t instruction) const {
    switch (instruction) {
    case kRead:
        return (uint32_t{words_[readAddress_]} << 8) | readAddress_;
    case kStatus:
        return status();
    default:
        return 0;
    }
}

uint8_t JtagMemory::status() const {
    return static_cast<uint8_t>((busy() ? kStatusBusy : 0) | (enabled_ ? kStatusEnabled : 0) |
                                (error_ ? kStatusError : 0));
}

}  // namespace sim
