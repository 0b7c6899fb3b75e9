// A D2XX driver that does no work: every function answers at once. Queries give a constant,
// opening gives a fixed handle, reads copy from and writes copy into one static block. Measured
// on it, a binding's cost is the binding's own and not a driver's; the simulated driver's lock
// and bookkeeping cost two to four bare JNI calls and would hide it.
#include <cstdint>
#include <cstring>

// Declared visible here, so that the definitions below leave the library despite the
// build's hidden default; the version script keeps everything else in.
#pragma GCC visibility push(default)
#include "d2xx.h"
#pragma GCC visibility pop

namespace {

// The most one read or write moves; larger requests are answered with this count, short.
constexpr uint32_t kBlockSize = 65536;
// What the receive queue always holds: enough that a stream read never waits.
constexpr uint32_t kQueued = kBlockSize;

unsigned char block[kBlockSize];
// Any non-null value: the bridge and the bindings only pass it back.
unsigned char handleTarget;

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
    std::memcpy(buffer, block, count);
    *bytesReturned = count;
    return FT_OK;
}

FT_STATUS FT_API FT_Write(FT_HANDLE, void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten) {
    const uint32_t count = clamped(bytesToWrite);
    std::memcpy(block, buffer, count);
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

// No devices: enumeration is measured on the simulated driver, which has some to list.
FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t* deviceCount) {
    *deviceCount = 0;
    return FT_OK;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE*, uint32_t* deviceCount) {
    *deviceCount = 0;
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

}  // extern "C"
