// An I2C target with a register file: the first byte written sets the register pointer, the
// bytes after it are stored from there; reads return the registers from the pointer on. The
// pointer advances after every byte and wraps at the end of the file.
#ifndef SIM_PERIPHERALS_I2C_TARGET_H
#define SIM_PERIPHERALS_I2C_TARGET_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "i2c_target_link.h"

namespace sim {

class I2cTarget : public I2cTargetLink {
public:
    // registerCount 1..65536 (larger counts still take a one-byte pointer).
    I2cTarget(int owner, I2cPins pins, uint16_t address, bool tenBit, std::size_t registerCount);

    std::vector<uint8_t>& registers() { return registers_; }
    const std::vector<uint8_t>& registers() const { return registers_; }
    std::size_t pointer() const { return pointer_; }

protected:
    void writeStarted(uint8_t address7) override;
    bool writeByte(int index, uint8_t byte) override;
    void readStarted(uint8_t address7) override;
    uint8_t readByte() override;
    void stopped(const PinBus& bus) override;

private:
    void advance();

    std::vector<uint8_t> registers_;
    std::size_t pointer_ = 0;
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_I2C_TARGET_H
