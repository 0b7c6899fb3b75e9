// What the chip does with its pins in each bit mode: entering a mode, and the bytes FT_Write
// hands it. Callers hold the driver lock.
#ifndef SIM_BIT_BANG_H
#define SIM_BIT_BANG_H

#include <cstddef>
#include <cstdint>

namespace sim {

struct Device;

// Simulated time one bit-bang byte takes: one step of the baud generator's pin rate,
// 16 x baud (the multiplier is not known for sure; reports say 16, 32 or 80 by chip).
constexpr uint64_t kBitBangRateMultiplier = 16;
uint64_t bitBangStepNanos(uint32_t baudRate);

// Enters the mode (already checked against the chip kind) with this mask.
void enterBitMode(Device& device, uint8_t mask, uint8_t mode);
// Takes written bytes in the current mode: the UART (echoed when looped back), async or sync
// bit-bang on the low pins, or the MPSSE engine. Does not log them. Returns how many it took:
// sync bit-bang takes only as many as the receive buffer has room for samples, the MPSSE
// engine as many as fit in its command buffer.
std::size_t takeWritten(Device& device, const uint8_t* bytes, std::size_t length);
// What FT_GetBitMode reports: the low pins' levels, or in CBUS bit-bang the CBUS pins' levels
// in the low nibble (which the driver gives there is not known for sure).
uint8_t pinReading(const Device& device);
// The MPSSE engine may have waited on a pin that changed from outside: let it go on.
void pinsChangedOutside(Device& device);
// Lets a paused MPSSE engine go on with the room its replies have now.
void resumeChip(Device& device);

}  // namespace sim

#endif  // SIM_BIT_BANG_H
