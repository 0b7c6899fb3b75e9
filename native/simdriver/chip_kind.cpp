#include "chip_kind.h"

#include "d2xx_modes.h"

namespace sim {

namespace {

constexpr uint8_t kBitBang = FT_BITMODE_RESET | FT_BITMODE_ASYNC_BITBANG;
constexpr uint8_t kSync = FT_BITMODE_SYNC_BITBANG;
// MCU host bus emulation and fast opto-isolated serial are accepted where the driver lists
// them, but the simulated chip models neither beyond taking the mode.
constexpr uint8_t kHostAndOpto = FT_BITMODE_MCU_HOST | FT_BITMODE_FAST_SERIAL;

//                                    modes                                       mpsse hi   0x9E  high cbus words erasable config out   in
constexpr ChipKind kSerialOnly{FT_BITMODE_RESET,                                  0,   false, false, 0, 0, 64,  true,  48, 0,    0};
constexpr ChipKind kBm{kBitBang,                                                   0,   false, false, 0, 0, 64,  true,  48, 0,    0};
constexpr ChipKind k2232C{kBitBang | kSync | FT_BITMODE_MPSSE | kHostAndOpto,      0x1, false, false, 4, 0, 64,  true,  48, 128,  384};
constexpr ChipKind k232R{kBitBang | kSync | FT_BITMODE_CBUS_BITBANG,               0,   false, false, 0, 4, 64,  false, 48, 0,    0};
constexpr ChipKind k2232H{kBitBang | kSync | FT_BITMODE_MPSSE | kHostAndOpto | FT_BITMODE_SYNC_FIFO,
                                                                                   0x3, true,  false, 8, 0, 128, true,  96, 4096, 4096};
constexpr ChipKind k4232H{kBitBang | kSync | FT_BITMODE_MPSSE | kHostAndOpto,      0x3, true,  false, 0, 0, 128, true,  96, 2048, 2048};
constexpr ChipKind k232H{kBitBang | kSync | FT_BITMODE_MPSSE | kHostAndOpto | FT_BITMODE_CBUS_BITBANG |
                         FT_BITMODE_SYNC_FIFO,                                     0x1, true,  true,  8, 4, 128, true,  96, 1024, 1024};
// FT-X: the programmer's guide omits sync bit-bang and CBUS bit-bang, a later note adds both.
constexpr ChipKind kXSeries{kBitBang | kSync | FT_BITMODE_CBUS_BITBANG,            0,   false, false, 0, 4, 1024, false, 96, 0,    0};

}  // namespace

const ChipKind& chipKind(uint32_t type) {
    switch (type) {
    case kTypeBM:
    case kTypeAM:
    case kType100AX:
        return kBm;
    case kType2232C:
        return k2232C;
    case kType232R:
        return k232R;
    case kType2232H:
        return k2232H;
    case kType4232H:
        return k4232H;
    case kType232H:
        return k232H;
    case kTypeXSeries:
        return kXSeries;
    default:
        return kSerialOnly;
    }
}

int channelOf(const char* description, std::size_t size) {
    std::size_t length = 0;
    while (length < size && description[length] != '\0') {
        ++length;
    }
    if (length < 2 || description[length - 2] != ' ') {
        return 0;
    }
    const char letter = description[length - 1];
    return letter >= 'A' && letter <= 'D' ? letter - 'A' : 0;
}

bool acceptsMode(const ChipKind& kind, int channel, uint8_t mode) {
    if (mode == FT_BITMODE_RESET) {
        return true;
    }
    // One mode at a time: a combination of mode bits is no mode.
    if ((mode & (mode - 1)) != 0 || (kind.modes & mode) == 0) {
        return false;
    }
    const bool mpsseChannel = channel < 8 && (kind.mpsseChannels & (1u << channel)) != 0;
    if (mode == FT_BITMODE_MPSSE) {
        return mpsseChannel;
    }
    if (mode == FT_BITMODE_SYNC_FIFO) {
        // Only channel A of a 2232H (the 232H has only A).
        return mpsseChannel && channel == 0;
    }
    return true;
}

}  // namespace sim
