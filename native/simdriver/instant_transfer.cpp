#include "instant_transfer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace sim {
namespace {

using Block = std::array<uint8_t, kInstantPatternSize>;

const Block& pattern() {
    static const Block block = [] {
        Block filled{};
        for (std::size_t i = 0; i < filled.size(); ++i) {
            filled[i] = instantPatternByte(i);
        }
        return filled;
    }();
    return block;
}

Block sink;

}  // namespace

void fillFromPattern(uint8_t* out, std::size_t length) {
    const Block& source = pattern();
    for (std::size_t done = 0; done < length;) {
        const std::size_t run = std::min(length - done, source.size());
        std::memcpy(out + done, source.data(), run);
        done += run;
    }
}

void copyToSink(const uint8_t* bytes, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        const std::size_t run = std::min(length - done, sink.size());
        std::memcpy(sink.data(), bytes + done, run);
        done += run;
    }
}

}  // namespace sim
