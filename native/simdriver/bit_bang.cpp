#include "bit_bang.h"

#include <algorithm>
#include <vector>

#include "d2xx_modes.h"
#include "device.h"

namespace sim {

namespace {

constexpr PinMask kLowPins = 0x00FF;
constexpr PinMask kHighPins = 0xFF00;
constexpr int kFirstCbusPin = 8;

// Drives the low byte as an output where the mask has a 1, keeping the high pins as they are.
void driveLowPins(PinBus& pins, uint8_t value, uint8_t mask) {
    pins.setChipPins(static_cast<PinMask>((pins.chipValues() & kHighPins) | value),
                     static_cast<PinMask>((pins.chipOutputs() & kHighPins) | mask));
}

void driveBytes(Device& device, const uint8_t* bytes, std::size_t length, bool sample) {
    const uint64_t step = bitBangStepNanos(device.settings.baudRate);
    std::vector<uint8_t> samples;
    if (sample) {
        samples.reserve(length);
    }
    for (std::size_t i = 0; i < length; ++i) {
        // Sync bit-bang reads the pins before it drives the byte: reads lag one byte.
        if (sample) {
            samples.push_back(static_cast<uint8_t>(device.pins.levels() & kLowPins));
        }
        driveLowPins(device.pins, bytes[i], device.bitMask);
        device.pins.advance(step);
    }
    if (!samples.empty()) {
        device.receive(samples.data(), samples.size());
    }
}

}  // namespace

uint64_t bitBangStepNanos(uint32_t baudRate) {
    const uint64_t rate = kBitBangRateMultiplier * (baudRate == 0 ? 1 : baudRate);
    return (1000000000ULL + rate / 2) / rate;
}

void enterBitMode(Device& device, uint8_t mask, uint8_t mode) {
    const bool mpsseBefore = device.bitMode == FT_BITMODE_MPSSE;
    device.bitMode = mode;
    device.bitMask = mask;
    if (mpsseBefore || mode == FT_BITMODE_MPSSE) {
        device.mpsse.reset();
        // The commands it held are gone: a write waiting for room may go on.
        device.wakeup.notify_all();
    }
    PinBus& pins = device.pins;
    switch (mode) {
    case FT_BITMODE_ASYNC_BITBANG:
    case FT_BITMODE_SYNC_BITBANG:
        // A pin that becomes an output keeps the level it showed until a byte is written (the
        // chip's level before the first write is not documented; this keeps the pins' example
        // of sync bit-bang: pulled up to 0xFF, writes 0x55, 0xAA read back 0xFF, 0x55).
        driveLowPins(pins, static_cast<uint8_t>(pins.levels() & kLowPins), mask);
        break;
    case FT_BITMODE_CBUS_BITBANG: {
        // High nibble: directions; low nibble: levels; on the CBUS pins the chip has.
        const auto cbus = static_cast<PinMask>(((1u << device.kind().cbusPins) - 1) << kFirstCbusPin);
        const auto outputs = static_cast<PinMask>(((mask >> 4) << kFirstCbusPin) & cbus);
        const auto values = static_cast<PinMask>(((mask & 0x0F) << kFirstCbusPin) & cbus);
        pins.setChipPins(values, outputs);
        break;
    }
    default:
        // Back to the UART (pins released), or a mode whose pins the simulation does not drive;
        // MPSSE drives them by its own commands.
        pins.setChipPins(0, 0);
        break;
    }
}

std::size_t takeWritten(Device& device, const uint8_t* bytes, std::size_t length) {
    switch (device.bitMode) {
    case FT_BITMODE_RESET:
    case FT_BITMODE_CBUS_BITBANG:  // CBUS pins change through FT_SetBitMode; writes go to the UART
        if (device.loopback) {
            device.receive(bytes, length);
        }
        break;
    case FT_BITMODE_ASYNC_BITBANG:
        driveBytes(device, bytes, length, false);
        break;
    case FT_BITMODE_SYNC_BITBANG: {
        // Each byte gives a sample; output waits for room for it.
        const std::size_t queued = device.received.size();
        const std::size_t room = queued < device.receiveBuffer ? device.receiveBuffer - queued : 0;
        const std::size_t taken = std::min(length, room);
        driveBytes(device, bytes, taken, true);
        return taken;
    }
    case FT_BITMODE_MPSSE: {
        std::vector<uint8_t> replies;
        const std::size_t taken = device.mpsse.write(bytes, length, replies, device.replyRoom());
        device.deliverReplies(replies);
        return taken;
    }
    default:
        // MCU host bus, fast serial and sync FIFO are not modelled: the bytes are only logged.
        break;
    }
    return length;
}

uint8_t pinReading(const Device& device) {
    const PinMask levels = device.pins.levels();
    if (device.bitMode == FT_BITMODE_CBUS_BITBANG) {
        return static_cast<uint8_t>((levels >> kFirstCbusPin) & 0x0F);
    }
    return static_cast<uint8_t>(levels & kLowPins);
}

void pinsChangedOutside(Device& device) {
    resumeChip(device);
}

void resumeChip(Device& device) {
    if (device.bitMode != FT_BITMODE_MPSSE) {
        return;
    }
    const std::size_t before = device.mpsse.buffered();
    std::vector<uint8_t> replies;
    device.mpsse.resume(replies, device.replyRoom());
    device.deliverReplies(replies);
    // Commands ran: a write waiting for room in the command buffer may go on.
    if (device.mpsse.buffered() != before) {
        device.wakeup.notify_all();
    }
}

}  // namespace sim
