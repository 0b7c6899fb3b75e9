#include "i2c_target_link.h"

namespace sim {

namespace {

// The first byte of a 10-bit address: 11110, the two high address bits, R/W.
constexpr uint8_t kTenBitPrefix = 0x78;
constexpr uint8_t kTenBitPrefixMask = 0x7C;

bool isHigh(PinMask levels, int pin) {
    return (levels & pinBit(pin)) != 0;
}

}  // namespace

I2cTargetLink::I2cTargetLink(int owner, I2cPins pins, uint16_t address, bool tenBit)
    : owner_(owner), pins_(pins), address_(address), tenBit_(tenBit) {}

void I2cTargetLink::onLevels(PinBus& bus, PinMask previous, PinMask now) {
    const bool sclBefore = isHigh(previous, pins_.scl);
    const bool sclNow = isHigh(now, pins_.scl);
    const bool sdaBefore = isHigh(previous, pins_.sda);
    const bool sdaNow = isHigh(now, pins_.sda);
    if (sclBefore && sclNow && sdaBefore != sdaNow) {
        if (!sdaNow) {
            onStart(phase_ != Phase::Idle);
        } else {
            if (inTransaction_) {
                stopped(bus);
            }
            phase_ = Phase::Idle;
            inTransaction_ = false;
            tenBitSelected_ = false;
            sdaLow_ = false;
        }
    } else if (!sclBefore && sclNow) {
        onRising(sdaNow, bus);
    } else if (sclBefore && !sclNow) {
        onFalling();
    }
    applySda(bus);
}

void I2cTargetLink::reset() {
    phase_ = Phase::Idle;
    afterAck_ = Phase::Ignore;
    inTransaction_ = false;
    tenBitSelected_ = false;
    clocks_ = 0;
    shift_ = 0;
    acking_ = false;
    sdaLow_ = false;
    driven_ = false;  // the bus releases every peripheral drive with the reset
}

void I2cTargetLink::setHoldSdaLow(PinBus& bus, bool on) {
    holdSdaLow_ = on;
    applySda(bus);
}

bool I2cTargetLink::matches7(uint8_t address7) const {
    return !tenBit_ && address7 == address_;
}

bool I2cTargetLink::busy(const PinBus&) const {
    return false;
}

void I2cTargetLink::onStart(bool repeated) {
    // Only a repeated START keeps a 10-bit selection, for the 11110AA + read that follows.
    if (!repeated) {
        tenBitSelected_ = false;
    }
    phase_ = Phase::Address;
    afterAck_ = Phase::Ignore;
    inTransaction_ = false;
    clocks_ = 0;
    shift_ = 0;
    acking_ = false;
    sdaLow_ = false;
}

void I2cTargetLink::onRising(bool sda, const PinBus& bus) {
    if (phase_ == Phase::Idle || phase_ == Phase::Ignore) {
        return;
    }
    ++clocks_;
    if (clocks_ <= 8) {
        if (phase_ != Phase::Read) {
            shift_ = static_cast<uint8_t>((shift_ << 1) | (sda ? 1 : 0));
            if (clocks_ == 8) {
                byteReceived(shift_, bus);
            }
        }
    } else if (phase_ == Phase::Read) {
        // The master's ACK (low) asks for another byte; its NACK ends the read.
        afterAck_ = sda ? Phase::Ignore : Phase::Read;
    }
}

void I2cTargetLink::onFalling() {
    if (phase_ == Phase::Idle || phase_ == Phase::Ignore) {
        return;
    }
    if (clocks_ == 8) {
        // Our ACK goes out during the ninth clock; in a read the master answers instead.
        sdaLow_ = phase_ != Phase::Read && acking_;
    } else if (clocks_ >= 9) {
        clocks_ = 0;
        shift_ = 0;
        acking_ = false;
        phase_ = afterAck_;
        if (phase_ == Phase::Read) {
            outByte_ = readByte();
            sdaLow_ = (outByte_ & 0x80) == 0;
        } else {
            sdaLow_ = false;
        }
    } else if (phase_ == Phase::Read && clocks_ > 0) {
        sdaLow_ = ((outByte_ >> (7 - clocks_)) & 1) == 0;
    }
}

void I2cTargetLink::byteReceived(uint8_t byte, const PinBus& bus) {
    acking_ = false;
    afterAck_ = Phase::Ignore;
    const auto address7 = static_cast<uint8_t>(byte >> 1);
    const bool read = (byte & 1) != 0;
    switch (phase_) {
    case Phase::Address:
        if (nackAddress_ || busy(bus)) {
            return;
        }
        if (tenBit_) {
            const bool prefixMatches = (address7 & kTenBitPrefixMask) == kTenBitPrefix &&
                                       (address7 & 3) == ((address_ >> 8) & 3);
            if (!prefixMatches) {
                return;
            }
            if (!read) {
                acking_ = true;
                afterAck_ = Phase::SecondAddress;
            } else if (tenBitSelected_) {
                acking_ = true;
                inTransaction_ = true;
                readStarted(address7);
                afterAck_ = Phase::Read;
            }
            return;
        }
        if (!matches7(address7)) {
            return;
        }
        acking_ = true;
        inTransaction_ = true;
        if (read) {
            readStarted(address7);
            afterAck_ = Phase::Read;
        } else {
            writeStarted(address7);
            dataIndex_ = 0;
            afterAck_ = Phase::Write;
        }
        return;
    case Phase::SecondAddress:
        if (byte != (address_ & 0xFF)) {
            tenBitSelected_ = false;
            return;
        }
        acking_ = true;
        inTransaction_ = true;
        tenBitSelected_ = true;
        writeStarted(static_cast<uint8_t>(kTenBitPrefix | ((address_ >> 8) & 3)));
        dataIndex_ = 0;
        afterAck_ = Phase::Write;
        return;
    case Phase::Write: {
        const int index = dataIndex_++;
        if (index == nackAtByte_ || !writeByte(index, byte)) {
            return;
        }
        acking_ = true;
        afterAck_ = Phase::Write;
        return;
    }
    default:
        return;
    }
}

void I2cTargetLink::applySda(PinBus& bus) {
    const bool low = holdSdaLow_ || sdaLow_;
    if (low != driven_) {
        driven_ = low;
        bus.drive(owner_, pins_.sda, low ? Drive::Low : Drive::Released);
    }
}

}  // namespace sim
