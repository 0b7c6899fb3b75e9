#include "i2c_target.h"

namespace sim {

I2cTarget::I2cTarget(int owner, I2cPins pins, uint16_t address, bool tenBit,
                     std::size_t registerCount)
    : I2cTargetLink(owner, pins, address, tenBit), registers_(registerCount == 0 ? 1 : registerCount) {}

void I2cTarget::writeStarted(uint8_t) {}

bool I2cTarget::writeByte(int index, uint8_t byte) {
    if (index == 0) {
        pointer_ = byte % registers_.size();
        return true;
    }
    registers_[pointer_] = byte;
    advance();
    return true;
}

void I2cTarget::readStarted(uint8_t) {}

uint8_t I2cTarget::readByte() {
    const uint8_t byte = registers_[pointer_];
    advance();
    return byte;
}

void I2cTarget::stopped(const PinBus&) {}

void I2cTarget::advance() {
    pointer_ = (pointer_ + 1) % registers_.size();
}

}  // namespace sim
