// Transfers for benchmarks: reads copy a fixed pattern, writes copy into a sink and are
// dropped. No queue, no waiting, no allocation.
#ifndef SIM_INSTANT_TRANSFER_H
#define SIM_INSTANT_TRANSFER_H

#include <cstddef>
#include <cstdint>

namespace sim {

// The pattern is 65536 bytes, byte i being i % 251; longer reads repeat it from its start.
constexpr std::size_t kInstantPatternSize = 65536;
constexpr uint8_t instantPatternByte(std::size_t offset) {
    return static_cast<uint8_t>(offset % kInstantPatternSize % 251);
}

// Safe without the driver lock: the pattern never changes once built.
void fillFromPattern(uint8_t* out, std::size_t length);
// Needs the driver lock: all devices share the sink.
void copyToSink(const uint8_t* bytes, std::size_t length);

}  // namespace sim

#endif  // SIM_INSTANT_TRANSFER_H
