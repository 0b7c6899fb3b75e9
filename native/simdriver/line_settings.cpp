#include "line_settings.h"

#include <algorithm>

namespace sim {
namespace {

constexpr uint64_t kFullSpeedClock = 3'000'000;
constexpr uint64_t kHiSpeedClock = 12'000'000;
constexpr uint64_t kMinDivisorEighths = 2 * 8;
constexpr uint64_t kMaxDivisorEighths = 16383 * 8 + 7;
constexpr uint64_t kTolerancePercent = 3;

// |achieved - requested| <= 3% of requested, with achieved = numerator / denominator.
bool withinTolerance(uint64_t numerator, uint64_t denominator, uint64_t requested) {
    const uint64_t scaledRequest = requested * denominator;
    const uint64_t difference =
        numerator > scaledRequest ? numerator - scaledRequest : scaledRequest - numerator;
    return difference * 100 <= kTolerancePercent * scaledRequest;
}

bool clockReaches(uint64_t clock, uint64_t requested) {
    if (withinTolerance(clock, 1, requested) || withinTolerance(2 * clock, 3, requested)) {
        return true;
    }
    // Rate = clock * 8 / eighths: the nearest divisors lie either side of the exact quotient,
    // or at the end of the divisor range that the quotient falls beyond.
    const uint64_t eighths = clock * 8 / requested;
    for (uint64_t candidate : {eighths, eighths + 1}) {
        const uint64_t divisor = std::clamp(candidate, kMinDivisorEighths, kMaxDivisorEighths);
        if (withinTolerance(clock * 8, divisor, requested)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool isHiSpeedType(uint32_t deviceType) {
    return deviceType == 6 || deviceType == 7 || deviceType == 8;
}

bool baudRateSupported(uint32_t deviceType, uint32_t baudRate) {
    const bool hiSpeed = isHiSpeedType(deviceType);
    const uint64_t maximum = hiSpeed ? kHiSpeedClock : kFullSpeedClock;
    if (baudRate == 0 || baudRate > maximum) {
        return false;
    }
    return clockReaches(kFullSpeedClock, baudRate) ||
           (hiSpeed && clockReaches(kHiSpeedClock, baudRate));
}

bool dataCharacteristicsValid(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    return (wordLength == 7 || wordLength == 8) && (stopBits == 0 || stopBits == 2) && parity <= 4;
}

bool flowControlValid(uint16_t flowControl) {
    return flowControl == 0x0000 || flowControl == 0x0100 || flowControl == 0x0200 ||
           flowControl == 0x0400;
}

bool latencyTimerValid(uint8_t milliseconds) {
    return milliseconds >= 2;
}

bool inTransferSizeValid(uint32_t bytes) {
    return bytes >= 64 && bytes <= 65536 && bytes % 64 == 0;
}

}  // namespace sim
