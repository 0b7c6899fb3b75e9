// The small programmable memory a simulated JTAG device may carry: 256 words of 16 bits behind
// instructions of its own. Erase and program keep it busy for a number of TCK clocks, and
// while it is busy (or not enabled) further erases and programs are refused and flagged, so
// that a sequence that waits too little loses its writes as on a real part.
#ifndef SIM_PERIPHERALS_JTAG_MEMORY_H
#define SIM_PERIPHERALS_JTAG_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class JtagMemory {
public:
    static constexpr std::size_t kWords = 256;
    static constexpr uint64_t kDefaultEraseClocks = 10'000;
    static constexpr uint64_t kDefaultProgramClocks = 100;

    // Instructions (8-bit values; the device's higher IR bits are 0).
    static constexpr uint32_t kEnable = 0xC0;
    static constexpr uint32_t kDisable = 0xC1;
    static constexpr uint32_t kErase = 0xC2;
    static constexpr uint32_t kProgram = 0xC3;
    static constexpr uint32_t kRead = 0xC4;
    static constexpr uint32_t kStatus = 0xC5;

    // Data register lengths: address in bits 0-7 and a word in bits 8-23; status in 8 bits.
    static constexpr int kDataBits = 24;
    static constexpr int kStatusBits = 8;

    static constexpr uint8_t kStatusBusy = 0x01;
    static constexpr uint8_t kStatusEnabled = 0x02;
    static constexpr uint8_t kStatusError = 0x04;

    JtagMemory();

    static bool isInstruction(uint32_t instruction) {
        return instruction >= kEnable && instruction <= kStatus;
    }

    // One rising edge of TCK has passed: a running operation comes closer to its end.
    void clock();
    // Update-IR made one of the memory's instructions current.
    void instructionUpdated(uint32_t instruction);
    // Update-DR latched `value` into the data register of `instruction`.
    void dataUpdated(uint32_t instruction, uint32_t value);
    // What Capture-DR loads into the data register of `instruction`.
    uint32_t capture(uint32_t instruction) const;

    bool busy() const { return remainingClocks_ > 0; }
    uint8_t status() const;
    std::vector<uint16_t>& words() { return words_; }
    const std::vector<uint16_t>& words() const { return words_; }
    void setBusyClocks(uint64_t erase, uint64_t program) {
        eraseClocks_ = erase;
        programClocks_ = program;
    }

private:
    // Starts an erase or program unless the memory is not enabled or busy; false if refused.
    bool start(uint64_t clocks);

    std::vector<uint16_t> words_;
    uint64_t eraseClocks_ = kDefaultEraseClocks;
    uint64_t programClocks_ = kDefaultProgramClocks;
    uint64_t remainingClocks_ = 0;
    bool enabled_ = false;
    bool error_ = false;
    uint8_t readAddress_ = 0;
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_JTAG_MEMORY_H
