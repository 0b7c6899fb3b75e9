// A device's line settings, their power-on defaults, and the checks the driver applies before
// it changes one. A rejected value leaves the settings as they were.
#ifndef SIM_LINE_SETTINGS_H
#define SIM_LINE_SETTINGS_H

#include <cstdint>

namespace sim {

struct LineSettings {
    uint32_t baudRate = 9600;
    uint8_t wordLength = 8;
    uint8_t stopBits = 0;
    uint8_t parity = 0;
    uint16_t flowControl = 0;
    uint8_t xon = 0x11;
    uint8_t xoff = 0x13;
    uint32_t readTimeout = 0;
    uint32_t writeTimeout = 0;
    uint8_t latencyTimer = 16;
    uint32_t inTransferSize = 4096;
    uint32_t outTransferSize = 4096;
    uint8_t eventChar = 0;
    uint8_t eventCharEnabled = 0;
    uint8_t errorChar = 0;
    uint8_t errorCharEnabled = 0;
};

// The 2232H, 4232H and 232H types, which have a 12 MHz baud clock besides the 3 MHz one.
bool isHiSpeedType(uint32_t deviceType);

// Whether the device's baud generator reaches the rate within 3%: a clock divided by a
// divisor in eighths from 2 up to 16383.875, or by the two special divisors that give the
// clock itself and two thirds of it.
bool baudRateSupported(uint32_t deviceType, uint32_t baudRate);

bool dataCharacteristicsValid(uint8_t wordLength, uint8_t stopBits, uint8_t parity);
bool flowControlValid(uint16_t flowControl);
bool latencyTimerValid(uint8_t milliseconds);
bool inTransferSizeValid(uint32_t bytes);

}  // namespace sim

#endif  // SIM_LINE_SETTINGS_H
