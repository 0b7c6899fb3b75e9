// A 24C-kind serial EEPROM: up to 2 KiB it takes a one-byte word address and, above 256
// bytes, the address's high bits from the low bits of its device address (as a 24C04..24C16
// does, answering to a block of device addresses); larger ones take a two-byte word address.
// Reads run on across the whole array and wrap; writes go to a page buffer that wraps inside
// the page and is written on STOP, after which the chip may stay busy (ignoring its address)
// for a write cycle of simulated time.
#ifndef SIM_PERIPHERALS_I2C_EEPROM_H
#define SIM_PERIPHERALS_I2C_EEPROM_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "i2c_target_link.h"

namespace sim {

class I2cEeprom : public I2cTargetLink {
public:
    // sizeBytes 1..65536, pageBytes 1..sizeBytes; erased contents read 0xFF.
    I2cEeprom(int owner, I2cPins pins, uint8_t address, std::size_t sizeBytes,
              std::size_t pageBytes);

    std::vector<uint8_t>& contents() { return memory_; }
    const std::vector<uint8_t>& contents() const { return memory_; }
    std::size_t pointer() const { return pointer_; }
    int addressBytes() const { return addressBytes_; }
    // A 24C part's write cycle takes at most 5 ms (typical datasheet figure).
    static constexpr uint64_t kDefaultWriteCycleNanos = 5'000'000;
    // The write cycle after a STOP that wrote, in simulated ns (0: ready at once).
    void setWriteCycleNanos(uint64_t nanos) { writeCycleNanos_ = nanos; }

protected:
    bool matches7(uint8_t address7) const override;
    void writeStarted(uint8_t address7) override;
    bool writeByte(int index, uint8_t byte) override;
    void readStarted(uint8_t address7) override;
    uint8_t readByte() override;
    void stopped(const PinBus& bus) override;
    bool busy(const PinBus& bus) const override;

private:
    std::vector<uint8_t> memory_;
    std::size_t pageBytes_;
    int addressBytes_;
    uint8_t blockMask_;  // device-address bits that carry word-address bits 8..10
    std::size_t block_ = 0;
    std::size_t pointer_ = 0;
    std::size_t wordAddress_ = 0;
    // Page-buffer writes (address, byte) in order, written on STOP.
    std::vector<std::pair<std::size_t, uint8_t>> pending_;
    uint64_t writeCycleNanos_ = kDefaultWriteCycleNanos;
    uint64_t busyUntil_ = 0;
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_I2C_EEPROM_H
