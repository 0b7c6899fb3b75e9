// The 13 driver functions beyond the serial line: bit modes, device details and status, the
// EEPROM, event notification and port recovery. Like the serial line's, each one locks the
// driver, records the call, applies an injected failure (and then changes nothing), checks
// the handle (FT_INVALID_HANDLE; FT_IO_ERROR once unplugged) and only then acts.

// The driver functions are this library's interface: export them. This must be the first
// declaration of them in this file, so d2xx_modes.h comes before every other header.
#pragma GCC visibility push(default)
#include "d2xx_modes.h"
#pragma GCC visibility pop

#include <algorithm>
#include <array>
#include <cstring>

#include "bit_bang.h"
#include "driver_call.h"

namespace {

using sim::bits;
using sim::Device;
using sim::DriverFunction;
using sim::onDevice;
using sim::query;

constexpr FT_STATUS kEepromEraseFailed = 13;
constexpr std::size_t kSerialBytes = 16;
constexpr std::size_t kDescriptionBytes = 64;

// Copies a device-list field as zero-terminated text into a buffer of `size` bytes, padded
// with zeros; text as long as the buffer is cut to leave room for the terminator.
template <std::size_t N>
void copyText(char* out, std::size_t size, const std::array<char, N>& field) {
    std::size_t length = 0;
    while (length < N && length + 1 < size && field[length] != '\0') {
        ++length;
    }
    std::memcpy(out, field.data(), length);
    std::memset(out + length, 0, size - length);
}

}  // namespace

extern "C" {

FT_STATUS FT_API FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode) {
    return onDevice(DriverFunction::SetBitMode, handle, {bits(handle), mask, mode},
                    [&](Device& device) {
        // A mode the chip (or this channel) lacks is refused as an invalid parameter: the
        // vendor's status for it is not documented.
        if (!sim::acceptsMode(device.kind(), device.channel, mode)) {
            return sim::kInvalidParameter;
        }
        sim::enterBitMode(device, mask, mode);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_GetBitMode(FT_HANDLE handle, uint8_t* pins) {
    return query(DriverFunction::GetBitMode, handle, pins,
                 [](Device& device) { return sim::pinReading(device); });
}

FT_STATUS FT_API FT_GetDeviceInfo(FT_HANDLE handle, uint32_t* type, uint32_t* id,
                                  char* serialNumber, char* description, void* reserved) {
    return onDevice(DriverFunction::GetDeviceInfo, handle,
                    {bits(handle), bits(type), bits(id), bits(serialNumber), bits(description)},
                    [&](Device& device) {
        // `reserved` is not the caller's to use; the driver ignores it.
        static_cast<void>(reserved);
        if (type == nullptr || id == nullptr || serialNumber == nullptr || description == nullptr) {
            return sim::kInvalidParameter;
        }
        *type = device.identity.type;
        *id = device.identity.id;
        copyText(serialNumber, kSerialBytes, device.identity.serial);
        copyText(description, kDescriptionBytes, device.identity.description);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_GetStatus(FT_HANDLE handle, uint32_t* rxBytes, uint32_t* txBytes,
                              uint32_t* eventBits) {
    return onDevice(DriverFunction::GetStatus, handle,
                    {bits(handle), bits(rxBytes), bits(txBytes), bits(eventBits)},
                    [&](Device& device) {
        if (rxBytes == nullptr || txBytes == nullptr || eventBits == nullptr) {
            return sim::kInvalidParameter;
        }
        *rxBytes = static_cast<uint32_t>(device.received.size());
        // The simulated chip takes written bytes at once: nothing waits to be sent.
        *txBytes = 0;
        *eventBits = device.takeEvents();
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_ReadEE(FT_HANDLE handle, uint32_t wordOffset, uint16_t* value) {
    return onDevice(DriverFunction::ReadEE, handle, {bits(handle), wordOffset, bits(value)},
                    [&](Device& device) {
        // An offset past the EEPROM is refused as an invalid parameter (our choice).
        if (value == nullptr || !device.eeprom.read(wordOffset, *value)) {
            return sim::kInvalidParameter;
        }
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_WriteEE(FT_HANDLE handle, uint32_t wordOffset, uint16_t value) {
    return onDevice(DriverFunction::WriteEE, handle, {bits(handle), wordOffset, value},
                    [&](Device& device) {
        return device.eeprom.write(wordOffset, value) ? sim::kOk : sim::kInvalidParameter;
    });
}

FT_STATUS FT_API FT_EraseEE(FT_HANDLE handle) {
    return onDevice(DriverFunction::EraseEE, handle, {bits(handle)}, [](Device& device) {
        // An internal EEPROM (232R, and by our choice the X series' MTP memory) cannot be
        // erased; the status the vendor's driver returns then is not documented.
        return device.eeprom.erase() ? sim::kOk : kEepromEraseFailed;
    });
}

FT_STATUS FT_API FT_EE_UASize(FT_HANDLE handle, uint32_t* bytes) {
    return query(DriverFunction::EEUASize, handle, bytes,
                 [](Device& device) { return device.eeprom.userAreaBytes(); });
}

FT_STATUS FT_API FT_EE_UARead(FT_HANDLE handle, uint8_t* buffer, uint32_t length,
                              uint32_t* bytesRead) {
    return onDevice(DriverFunction::EEUARead, handle,
                    {bits(handle), bits(buffer), length, bits(bytesRead)}, [&](Device& device) {
        if (bytesRead == nullptr || (buffer == nullptr && length > 0)) {
            return sim::kInvalidParameter;
        }
        *bytesRead = device.eeprom.readUserArea(buffer, length);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_EE_UAWrite(FT_HANDLE handle, uint8_t* buffer, uint32_t length) {
    return onDevice(DriverFunction::EEUAWrite, handle, {bits(handle), bits(buffer), length},
                    [&](Device& device) {
        // Longer than the user area: a caller error, reported as an invalid parameter (the
        // vendor's code for it is not documented).
        if ((buffer == nullptr && length > 0) || !device.eeprom.writeUserArea(buffer, length)) {
            return sim::kInvalidParameter;
        }
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_SetEventNotification(FT_HANDLE handle, uint32_t mask, void* argument) {
    return onDevice(DriverFunction::SetEventNotification, handle,
                    {bits(handle), mask, bits(argument)}, [&](Device& device) {
        if (mask != 0 && argument == nullptr) {
            return sim::kInvalidParameter;
        }
        device.notifier.set(mask, argument);
        return sim::kOk;
    });
}

// Both are documented for Windows only; the simulated driver offers them everywhere, as newer
// Linux and macOS drivers may (not known for sure). A reset port keeps everything as it is.
FT_STATUS FT_API FT_ResetPort(FT_HANDLE handle) {
    return onDevice(DriverFunction::ResetPort, handle, {bits(handle)}, [](Device& device) {
        ++device.portResets;
        return sim::kOk;
    });
}

// A real cycle is an unplug and replug after which the user must close the handle; the
// simulated device stays usable through the old handle and only counts the cycle.
FT_STATUS FT_API FT_CyclePort(FT_HANDLE handle) {
    return onDevice(DriverFunction::CyclePort, handle, {bits(handle)}, [](Device& device) {
        ++device.portCycles;
        return sim::kOk;
    });
}

}  // extern "C"
