#include "i2c_eeprom.h"

namespace sim {

namespace {

constexpr std::size_t kOneByteAddressLimit = 2048;
constexpr std::size_t kBlockBytes = 256;

}  // namespace

I2cEeprom::I2cEeprom(int owner, I2cPins pins, uint8_t address, std::size_t sizeBytes,
                     std::size_t pageBytes)
    : I2cTargetLink(owner, pins, address, false),
      memory_(sizeBytes == 0 ? 1 : sizeBytes, 0xFF),
      pageBytes_(pageBytes == 0 || pageBytes > memory_.size() ? memory_.size() : pageBytes),
      addressBytes_(memory_.size() > kOneByteAddressLimit ? 2 : 1),
      blockMask_(static_cast<uint8_t>(addressBytes_ == 1 && memory_.size() > kBlockBytes
                                          ? (memory_.size() + kBlockBytes - 1) / kBlockBytes - 1
                                          : 0)) {}

bool I2cEeprom::matches7(uint8_t address7) const {
    return (address7 & ~blockMask_) == (address() & ~blockMask_);
}

void I2cEeprom::writeStarted(uint8_t address7) {
    block_ = address7 & blockMask_;
    pending_.clear();
    wordAddress_ = 0;
}

bool I2cEeprom::writeByte(int index, uint8_t byte) {
    if (index < addressBytes_) {
        wordAddress_ = (wordAddress_ << 8) | byte;
        if (index == addressBytes_ - 1) {
            const std::size_t word = addressBytes_ == 1 ? block_ * kBlockBytes + wordAddress_ : wordAddress_;
            pointer_ = word % memory_.size();
        }
        return true;
    }
    pending_.emplace_back(pointer_, byte);
    // The address counter rolls over inside the page, as a page write does.
    const std::size_t pageStart = pointer_ - pointer_ % pageBytes_;
    pointer_ = pageStart + (pointer_ % pageBytes_ + 1) % pageBytes_;
    if (pointer_ >= memory_.size()) {
        pointer_ = pageStart;
    }
    return true;
}

void I2cEeprom::readStarted(uint8_t) {}

uint8_t I2cEeprom::readByte() {
    const uint8_t byte = memory_[pointer_];
    pointer_ = (pointer_ + 1) % memory_.size();
    return byte;
}

void I2cEeprom::stopped(const PinBus& bus) {
    if (pending_.empty()) {
        return;
    }
    for (const auto& [where, byte] : pending_) {
        memory_[where] = byte;
    }
    pending_.clear();
    busyUntil_ = bus.nowNanos() + writeCycleNanos_;
}

bool I2cEeprom::busy(const PinBus& bus) const {
    return bus.nowNanos() < busyUntil_;
}

}  // namespace sim
