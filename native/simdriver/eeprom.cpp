#include "eeprom.h"

#include <algorithm>

namespace sim {

namespace {

constexpr uint16_t kStringDescriptorType = 3;
const char* const kManufacturer = "FTDI";

uint32_t descriptorWords(const std::string& text) {
    return 1 + static_cast<uint32_t>(text.size());
}

}  // namespace

Eeprom::Eeprom(const ChipKind& kind, uint32_t id, const std::string& description,
               const std::string& serial)
    : words_(kind.eepromWords, kErasedWord), erasable_(kind.eepromErasable) {
    const uint32_t configEnd = std::min<uint32_t>(kEepromConfigWords, size());
    std::fill_n(words_.begin(), configEnd, uint16_t{0});
    if (size() > 2) {
        words_[1] = static_cast<uint16_t>(id >> 16);
        words_[2] = static_cast<uint16_t>(id & 0xFFFF);
    }
    const uint32_t stringsEnd = std::min(size(), configEnd + kind.configWords);
    uint32_t at = configEnd;
    at = appendString(at, kManufacturer, stringsEnd);
    at = appendString(at, description, stringsEnd);
    at = appendString(at, serial, stringsEnd);
    userAreaStart_ = at;
    userAreaBytes_ = (stringsEnd - at) * 2;
}

// Writes the descriptor if it fits before `limit`; returns the word after it (or `at`).
uint32_t Eeprom::appendString(uint32_t at, const std::string& text, uint32_t limit) {
    const uint32_t needed = descriptorWords(text);
    if (needed > limit - at) {
        // Strings longer than the area leave no user area; the rest is not stored.
        return limit;
    }
    words_[at] = static_cast<uint16_t>((kStringDescriptorType << 8) | ((needed * 2) & 0xFF));
    for (std::size_t i = 0; i < text.size(); ++i) {
        words_[at + 1 + i] = static_cast<uint8_t>(text[i]);
    }
    return at + needed;
}

bool Eeprom::read(uint32_t offset, uint16_t& value) const {
    if (offset >= size()) {
        return false;
    }
    value = words_[offset];
    return true;
}

bool Eeprom::write(uint32_t offset, uint16_t value) {
    if (offset >= size()) {
        return false;
    }
    words_[offset] = value;
    return true;
}

bool Eeprom::erase() {
    if (!erasable_) {
        return false;
    }
    std::fill(words_.begin(), words_.end(), kErasedWord);
    return true;
}

uint32_t Eeprom::readUserArea(uint8_t* out, uint32_t length) const {
    const uint32_t count = std::min(length, userAreaBytes_);
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t word = words_[userAreaStart_ + i / 2];
        out[i] = static_cast<uint8_t>(i % 2 == 0 ? word & 0xFF : word >> 8);
    }
    return count;
}

bool Eeprom::writeUserArea(const uint8_t* bytes, uint32_t length) {
    if (length > userAreaBytes_) {
        return false;
    }
    for (uint32_t i = 0; i < length; ++i) {
        uint16_t& word = words_[userAreaStart_ + i / 2];
        word = i % 2 == 0 ? static_cast<uint16_t>((word & 0xFF00) | bytes[i])
                          : static_cast<uint16_t>((word & 0x00FF) | (bytes[i] << 8));
    }
    return true;
}

}  // namespace sim
