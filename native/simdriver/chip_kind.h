// What each kind of chip can do beyond the serial line, by its FT_DEVICE type: the bit modes
// it accepts, its MPSSE engine's extras, its CBUS pins and its EEPROM.
#ifndef SIM_CHIP_KIND_H
#define SIM_CHIP_KIND_H

#include <cstddef>
#include <cstdint>

namespace sim {

// FT_DEVICE values.
constexpr uint32_t kTypeBM = 0;
constexpr uint32_t kTypeAM = 1;
constexpr uint32_t kType100AX = 2;
constexpr uint32_t kTypeUnknown = 3;
constexpr uint32_t kType2232C = 4;
constexpr uint32_t kType232R = 5;
constexpr uint32_t kType2232H = 6;
constexpr uint32_t kType4232H = 7;
constexpr uint32_t kType232H = 8;
constexpr uint32_t kTypeXSeries = 9;

struct ChipKind {
    // Bit modes (FT_BITMODE_* bits) accepted on every channel, and those only on the channels
    // in mpsseChannels (MPSSE, and the 2232's sync FIFO on channel A).
    uint8_t modes;
    // Channels (bit 0 = A) whose engine is an MPSSE.
    uint8_t mpsseChannels;
    // The engine runs from 60 MHz with divide-by-5 on by default and knows the H-series
    // commands (0x8A-0x8F, 0x94-0x97, 0x9C, 0x9D).
    bool hiSpeed;
    // Knows 0x9E, drive-zero (open drain) per pin.
    bool driveZero;
    // GPIOH pins on the high byte (ACBUS/BCBUS): 8 on the 232H and 2232H, 4 on the 2232D.
    uint8_t highPins;
    // CBUS bit-bang pins (0 when the chip has no CBUS bit-bang).
    uint8_t cbusPins;
    // EEPROM size in 16-bit words, and whether FT_EraseEE may wipe it (an internal one cannot).
    uint32_t eepromWords;
    bool eepromErasable;
    // Words the configuration and its strings may take; the user area is what they leave.
    uint32_t configWords;
    // MPSSE command buffers of one channel in bytes (out: to the chip; in: replies).
    uint32_t outBuffer;
    uint32_t inBuffer;
};

// The kind for an FT_DEVICE type; unknown types can do nothing but the serial line.
const ChipKind& chipKind(uint32_t type);

// The channel of a device by the letter that ends its description (" A" = 0 ... " D" = 3),
// 0 for a single-channel device.
int channelOf(const char* description, std::size_t size);

// Whether FT_SetBitMode accepts `mode` on this channel: 0, or one mode bit the kind has, MPSSE
// only on its MPSSE channels and the sync FIFO only on channel A of those.
bool acceptsMode(const ChipKind& kind, int channel, uint8_t mode);

}  // namespace sim

#endif  // SIM_CHIP_KIND_H
