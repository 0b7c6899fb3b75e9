#include "spi_flash.h"

#include <algorithm>

namespace sim {

namespace {

constexpr uint8_t kReadJedecId = 0x9F;
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kWriteDisable = 0x04;
constexpr uint8_t kPageProgram = 0x02;
constexpr uint8_t kSectorErase = 0x20;
constexpr uint8_t kReadStatus = 0x05;
constexpr uint8_t kStatusBusy = 0x01;
constexpr uint8_t kStatusWriteEnabled = 0x02;
constexpr std::size_t kAddressEnd = 4;  // command byte + three address bytes

bool isHigh(PinMask levels, int pin) {
    return (levels & pinBit(pin)) != 0;
}

bool takesAddress(uint8_t command) {
    return command == kRead || command == kPageProgram || command == kSectorErase;
}

// A whole number of sectors, at least one.
std::size_t flashSize(std::size_t requested) {
    const std::size_t sectors = std::max<std::size_t>(1, (requested + SpiFlash::kSectorBytes - 1) /
                                                             SpiFlash::kSectorBytes);
    return sectors * SpiFlash::kSectorBytes;
}

}  // namespace

SpiFlash::SpiFlash(int owner, SpiPins pins, uint32_t jedecId, std::size_t sizeBytes)
    : owner_(owner), pins_(pins), jedecId_(jedecId & 0xFFFFFF), memory_(flashSize(sizeBytes), 0xFF) {}

void SpiFlash::onLevels(PinBus& bus, PinMask previous, PinMask now) {
    const bool csBefore = isHigh(previous, pins_.cs);
    const bool csNow = isHigh(now, pins_.cs);
    const bool sckBefore = isHigh(previous, pins_.sck);
    const bool sckNow = isHigh(now, pins_.sck);
    if (csBefore && !csNow) {
        selected();
    } else if (!csBefore && csNow) {
        deselected(bus);
    } else if (active_ && !csNow) {
        if (!sckBefore && sckNow) {
            shift_ = static_cast<uint8_t>((shift_ << 1) | (isHigh(now, pins_.mosi) ? 1 : 0));
            if (++bits_ == 8) {
                byteReceived(shift_, bus);
                ++byteCount_;
                bits_ = 0;
                shift_ = 0;
                outByte_ = nextOutput(bus);
            }
        } else if (sckBefore && !sckNow) {
            misoWanted_ = outByte_ < 0 ? Drive::Released
                                       : (((outByte_ >> (7 - bits_)) & 1) != 0 ? Drive::High : Drive::Low);
        }
    }
    applyMiso(bus);
}

void SpiFlash::reset() {
    active_ = false;
    misoWanted_ = Drive::Released;
    misoDriven_ = Drive::Released;  // the bus releases every peripheral drive with the reset
}

void SpiFlash::selected() {
    active_ = true;
    bits_ = 0;
    shift_ = 0;
    byteCount_ = 0;
    command_ = 0;
    ignored_ = false;
    cursor_ = 0;
    pageData_.assign(kPageBytes, 0xFF);
    // Nothing to say before the command is known: MISO stays released until then.
    outByte_ = -1;
    misoWanted_ = Drive::Released;
}

void SpiFlash::deselected(const PinBus& bus) {
    const bool wholeBytes = bits_ == 0;
    active_ = false;
    misoWanted_ = Drive::Released;
    if (!wholeBytes || ignored_) {
        return;
    }
    if (command_ == kWriteEnable && byteCount_ == 1) {
        writeEnabled_ = true;
    } else if (command_ == kWriteDisable && byteCount_ == 1) {
        writeEnabled_ = false;
    } else if (command_ == kPageProgram && byteCount_ > kAddressEnd && writeEnabled_) {
        const std::size_t page = (address() % memory_.size()) / kPageBytes * kPageBytes;
        for (std::size_t i = 0; i < kPageBytes; ++i) {
            memory_[page + i] &= pageData_[i];  // programming only clears bits
        }
        writeEnabled_ = false;
        busyUntil_ = bus.nowNanos() + programNanos_;
    } else if (command_ == kSectorErase && byteCount_ == kAddressEnd && writeEnabled_) {
        const std::size_t sector = (address() % memory_.size()) / kSectorBytes * kSectorBytes;
        std::fill_n(memory_.begin() + static_cast<std::ptrdiff_t>(sector), kSectorBytes, uint8_t{0xFF});
        writeEnabled_ = false;
        busyUntil_ = bus.nowNanos() + eraseNanos_;
    }
}

void SpiFlash::byteReceived(uint8_t byte, const PinBus& bus) {
    if (byteCount_ == 0) {
        command_ = byte;
        // A busy chip answers only its status.
        ignored_ = busy(bus) && byte != kReadStatus;
        return;
    }
    if (ignored_) {
        return;
    }
    if (takesAddress(command_) && byteCount_ < kAddressEnd) {
        addressBytes_[byteCount_ - 1] = byte;
        if (byteCount_ == kAddressEnd - 1 && command_ == kRead) {
            cursor_ = address() % memory_.size();
        }
    } else if (command_ == kPageProgram) {
        const std::size_t offset = (address() + (byteCount_ - kAddressEnd)) % kPageBytes;
        pageData_[offset] = byte;
    }
}

int SpiFlash::nextOutput(const PinBus& bus) {
    if (ignored_) {
        return -1;
    }
    switch (command_) {
    case kReadJedecId:
        if (byteCount_ >= 1 && byteCount_ <= 3) {
            return static_cast<int>((jedecId_ >> (8 * (3 - byteCount_))) & 0xFF);
        }
        return -1;
    case kReadStatus:
        return (busy(bus) ? kStatusBusy : 0) | (writeEnabled_ ? kStatusWriteEnabled : 0);
    case kRead:
        if (byteCount_ >= kAddressEnd) {
            const uint8_t byte = memory_[cursor_];
            cursor_ = (cursor_ + 1) % memory_.size();
            return byte;
        }
        return -1;
    default:
        return -1;
    }
}

uint32_t SpiFlash::address() const {
    return (static_cast<uint32_t>(addressBytes_[0]) << 16) |
           (static_cast<uint32_t>(addressBytes_[1]) << 8) | addressBytes_[2];
}

void SpiFlash::applyMiso(PinBus& bus) {
    if (misoWanted_ != misoDriven_) {
        misoDriven_ = misoWanted_;
        bus.drive(owner_, pins_.miso, misoWanted_);
    }
}

}  // namespace sim
