// A serial NOR flash on SPI: takes MOSI on SCK's rising edge and shifts MISO out on the
// falling edge, so that modes 0 and 3 both work; MISO is driven only while CS is low.
// Commands: 0x9F JEDEC ID, 0x03 read, 0x06 / 0x04 write enable / disable, 0x02 page program
// (wraps in its 256-byte page, can only clear bits), 0x20 4 KiB sector erase, 0x05 status
// (bit 0 busy for a simulated time after program and erase, bit 1 write enable latch).
// Program, erase and the latch commands take effect when CS rises, after whole bytes.
#ifndef SIM_PERIPHERALS_SPI_FLASH_H
#define SIM_PERIPHERALS_SPI_FLASH_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../pin_bus.h"

namespace sim {

struct SpiPins {
    int sck = 0;
    int mosi = 1;
    int miso = 2;
    int cs = 3;
};

class SpiFlash : public Peripheral {
public:
    static constexpr std::size_t kPageBytes = 256;
    static constexpr std::size_t kSectorBytes = 4096;
    // Shorter than a real chip's, so that a test polling the status is quick.
    static constexpr uint64_t kDefaultProgramNanos = 100'000;
    static constexpr uint64_t kDefaultEraseNanos = 1'000'000;

    // jedecId: manufacturer, memory type, capacity as 0xMMTTCC; erased contents read 0xFF.
    SpiFlash(int owner, SpiPins pins, uint32_t jedecId, std::size_t sizeBytes);

    void onLevels(PinBus& bus, PinMask previous, PinMask now) override;
    void reset() override;

    std::vector<uint8_t>& contents() { return memory_; }
    const std::vector<uint8_t>& contents() const { return memory_; }
    uint32_t jedecId() const { return jedecId_; }
    bool writeEnabled() const { return writeEnabled_; }
    const SpiPins& pins() const { return pins_; }
    void setBusyNanos(uint64_t program, uint64_t erase) {
        programNanos_ = program;
        eraseNanos_ = erase;
    }

private:
    void selected();
    void deselected(const PinBus& bus);
    void byteReceived(uint8_t byte, const PinBus& bus);
    // The byte to shift out after `byteCount_` bytes, or -1 for none (MISO released).
    int nextOutput(const PinBus& bus);
    bool busy(const PinBus& bus) const { return bus.nowNanos() < busyUntil_; }
    uint32_t address() const;
    void applyMiso(PinBus& bus);

    int owner_;
    SpiPins pins_;
    uint32_t jedecId_;
    std::vector<uint8_t> memory_;
    uint64_t programNanos_ = kDefaultProgramNanos;
    uint64_t eraseNanos_ = kDefaultEraseNanos;
    bool writeEnabled_ = false;
    uint64_t busyUntil_ = 0;

    // The transaction since CS fell.
    bool active_ = false;
    int bits_ = 0;            // bits of the byte in progress
    uint8_t shift_ = 0;
    std::size_t byteCount_ = 0;
    uint8_t command_ = 0;
    bool ignored_ = false;     // a command refused while busy: the chip stays quiet
    uint8_t addressBytes_[3] = {0, 0, 0};
    std::size_t cursor_ = 0;   // read address of 0x03
    std::vector<uint8_t> pageData_;
    int outByte_ = -1;
    Drive misoWanted_ = Drive::Released;
    Drive misoDriven_ = Drive::Released;
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_SPI_FLASH_H
