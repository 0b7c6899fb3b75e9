// The configuration EEPROM of one simulated channel: 16-bit words as FT_ReadEE and FT_WriteEE
// address them, a default configuration with the device's strings, and the user area that the
// strings leave free.
//
// Layout (ours; the vendor's exact layout is not modelled): words 0..9 hold the configuration
// (word 1 the vendor ID, word 2 the product ID, zeros elsewhere); from word 10 the strings
// manufacturer ("FTDI"), description and serial number follow as USB string descriptors, each
// one header word (byte length, descriptor type 3) and one word per character. The strings and
// the user area share the chip kind's configWords; the user area starts right after the
// serial number:
//     user-area bytes = (configWords - string words) * 2
// (for a 232R: configWords = 48). Whether the vendor counts a string's length in characters or
// in descriptor words is not known for sure; we count descriptor words, header included.
// The user area and every word past it start erased (0xFFFF, as 93Cxx parts read when erased:
// not known for sure either).
#ifndef SIM_EEPROM_H
#define SIM_EEPROM_H

#include <cstdint>
#include <string>
#include <vector>

#include "chip_kind.h"

namespace sim {

constexpr uint32_t kEepromConfigWords = 10;
constexpr uint16_t kErasedWord = 0xFFFF;

class Eeprom {
public:
    // `id` is (vendor ID << 16) | product ID.
    Eeprom(const ChipKind& kind, uint32_t id, const std::string& description,
           const std::string& serial);

    uint32_t size() const { return static_cast<uint32_t>(words_.size()); }
    // False for an offset past the end.
    bool read(uint32_t offset, uint16_t& value) const;
    bool write(uint32_t offset, uint16_t value);
    // Every word to 0xFFFF, user area included; false (nothing changes) for an internal EEPROM.
    bool erase();

    uint32_t userAreaBytes() const { return userAreaBytes_; }
    // Copies min(length, user-area bytes) bytes, byte 2k in the low byte of word k; returns
    // how many.
    uint32_t readUserArea(uint8_t* out, uint32_t length) const;
    // False (nothing changes) when length exceeds the user area.
    bool writeUserArea(const uint8_t* bytes, uint32_t length);

private:
    uint32_t appendString(uint32_t at, const std::string& text, uint32_t limit);

    std::vector<uint16_t> words_;
    bool erasable_;
    uint32_t userAreaStart_ = 0;  // word offset
    uint32_t userAreaBytes_ = 0;
};

}  // namespace sim

#endif  // SIM_EEPROM_H
