// A D2XX driver that does no work: every function answers at once. Queries give a constant,
// opening gives a fixed handle, reads copy from and writes copy into one static block. Measured
// on it, a binding's cost is the binding's own and not a driver's; the simulated driver's lock
// and bookkeeping cost two to four bare JNI calls and would hide it.
//
// For the typed API's MPSSE masters it also has the least of the bit modes: after
// FT_SetBitMode(mask, 0x02) writes land in a block of their own and reads copy zero bytes (an
// I2C acknowledge bit of 0 means acknowledged, so every transaction succeeds), except that the
// bad opcode 0xAA, written on its own, is answered 0xFA 0xAA as the chip answers it, which the
// masters' start-up waits for. No other benchmark sets a bit mode, so theirs see the driver as
// before. One thread at a time, as every benchmark calls it.
#include <cstdint>
#include <cstring>

// Declared visible here, so that the definitions below leave the library despite the
// build's hidden default; the version script keeps everything else in.
#pragma GCC visibility push(default)
#include "d2xx.h"
#include "d2xx_modes.h"
#pragma GCC visibility pop

namespace {

// The most one read or write moves; larger requests are answered with this count, short.
constexpr uint32_t kBlockSize = 65536;
// What the receive queue always holds: enough that a stream read never waits.
constexpr uint32_t kQueued = kBlockSize;

unsigned char block[kBlockSize];
// Any non-null value: the bridge and the bindings only pass it back.
unsigned char handleTarget;

// MPSSE mode: its writes' sink and its replies, all zero.
constexpr uint8_t kBadOpcode = 0xAA;
constexpr uint8_t kBadCommandReply = 0xFA;
bool mpsseMode;
bool badCommandAnswerPending;
unsigned char mpsseCommands[kBlockSize];
const unsigned char mpsseReplies[kBlockSize] = {};

// The device the typed API sees: an FT232H, which has an MPSSE.
constexpr uint32_t kDeviceType = 8;
constexpr uint32_t kDeviceId = 0x04036014;
const char kSerialNumber[] = "NULL0001";
const char kDescription[] = "Null driver device";

FT_HANDLE theHandle() {
    return &handleTarget;
}

uint32_t clamped(uint32_t bytes) {
    return bytes < kBlockSize ? bytes : kBlockSize;
}

}  // namespace

extern "C" {

FT_STATUS FT_API FT_Open(int32_t, FT_HANDLE* handle) {
    *handle = theHandle();
    return FT_OK;
}

FT_STATUS FT_API FT_OpenEx(void*, uint32_t, FT_HANDLE* handle) {
    *handle = theHandle();
    return FT_OK;
}

FT_STATUS FT_API FT_Close(FT_HANDLE) { return FT_OK; }

FT_STATUS FT_API FT_Read(FT_HANDLE, void* buffer, uint32_t bytesToRead, uint32_t* bytesReturned) {
    const uint32_t count = clamped(bytesToRead);
    if (!mpsseMode) {
        std::memcpy(buffer, block, count);
    } else {
        std::memcpy(buffer, mpsseReplies, count);
        if (badCommandAnswerPending && count >= 2) {
            static_cast<unsigned char*>(buffer)[0] = kBadCommandReply;
            static_cast<unsigned char*>(buffer)[1] = kBadOpcode;
            badCommandAnswerPending = false;
        }
    }
    *bytesReturned = count;
    return FT_OK;
}

FT_STATUS FT_API FT_Write(FT_HANDLE, void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten) {
    const uint32_t count = clamped(bytesToWrite);
    if (!mpsseMode) {
        std::memcpy(block, buffer, count);
    } else {
        std::memcpy(mpsseCommands, buffer, count);
        badCommandAnswerPending = count == 1 && mpsseCommands[0] == kBadOpcode;
    }
    *bytesWritten = count;
    return FT_OK;
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE, uint32_t* rxBytes) {
    *rxBytes = kQueued;
    return FT_OK;
}

FT_STATUS FT_API FT_GetModemStatus(FT_HANDLE, uint32_t* modemStatus) {
    *modemStatus = 0;
    return FT_OK;
}

FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE, uint8_t* latency) {
    *latency = 16;
    return FT_OK;
}

FT_STATUS FT_API FT_GetDriverVersion(FT_HANDLE, uint32_t* version) {
    *version = 0x00030216;
    return FT_OK;
}

FT_STATUS FT_API FT_GetLibraryVersion(uint32_t* version) {
    *version = 0x00030216;
    return FT_OK;
}

FT_STATUS FT_API FT_GetComPortNumber(FT_HANDLE, int32_t* comPortNumber) {
    *comPortNumber = -1;
    return FT_OK;
}

// Eight devices, as a bench with a few adapters shows them: what a device watcher's rescan
// reads. Enumeration as the list grows is measured on the simulated driver.
constexpr uint32_t kListedDevices = 8;

FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t* deviceCount) {
    *deviceCount = kListedDevices;
    return FT_OK;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, uint32_t* deviceCount) {
    const uint32_t count = *deviceCount < kListedDevices ? *deviceCount : kListedDevices;
    for (uint32_t i = 0; i < count; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = list[i];
        node = FT_DEVICE_LIST_INFO_NODE{};
        node.Type = kDeviceType;
        node.ID = kDeviceId;
        node.LocId = 0x1001 + i;
        std::memcpy(node.SerialNumber, "NULL0000", 8);
        node.SerialNumber[7] = static_cast<char>('0' + i);
        std::memcpy(node.Description, kDescription, sizeof kDescription);
    }
    *deviceCount = count;
    return FT_OK;
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE, uint32_t) { return FT_OK; }
FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE, uint8_t, uint8_t, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_SetFlowControl(FT_HANDLE, uint16_t, uint8_t, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_SetDtr(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_ClrDtr(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetRts(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_ClrRts(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetChars(FT_HANDLE, uint8_t, uint8_t, uint8_t, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_Purge(FT_HANDLE, uint32_t) { return FT_OK; }
FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE, uint32_t, uint32_t) { return FT_OK; }
FT_STATUS FT_API FT_SetBreakOn(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetBreakOff(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_SetUSBParameters(FT_HANDLE, uint32_t, uint32_t) { return FT_OK; }

// Of the functions beyond the serial line, those the typed API's MPSSE masters call.
FT_STATUS FT_API FT_SetBitMode(FT_HANDLE, uint8_t, uint8_t mode) {
    mpsseMode = mode == FT_BITMODE_MPSSE;
    badCommandAnswerPending = false;
    return FT_OK;
}

FT_STATUS FT_API FT_GetBitMode(FT_HANDLE, uint8_t* pins) {
    *pins = 0;
    return FT_OK;
}

FT_STATUS FT_API FT_GetDeviceInfo(FT_HANDLE, uint32_t* type, uint32_t* id, char* serialNumber,
                                  char* description, void*) {
    *type = kDeviceType;
    *id = kDeviceId;
    std::memcpy(serialNumber, kSerialNumber, sizeof kSerialNumber);
    std::memcpy(description, kDescription, sizeof kDescription);
    return FT_OK;
}

FT_STATUS FT_API FT_GetStatus(FT_HANDLE, uint32_t* rxBytes, uint32_t* txBytes, uint32_t* eventBits) {
    *rxBytes = kQueued;
    *txBytes = 0;
    *eventBits = 0;
    return FT_OK;
}

}  // extern "C"
