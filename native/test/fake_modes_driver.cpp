#include "fake_modes_driver.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <numeric>

namespace {

FakeModesScript script;
FakeModesRecord record;

// Records the call; answers the scripted status.
FT_STATUS enter(FakeModesFunction function, FT_HANDLE handle, uint32_t first = 0,
                uint32_t second = 0, void* pointer = nullptr) {
    ++record.calls[function];
    record.handle = handle;
    record.first = first;
    record.second = second;
    record.pointer = pointer;
    return script.status;
}

}  // namespace

void fakeModesReset() {
    script = FakeModesScript{};
    record = FakeModesRecord{};
}

FakeModesScript& fakeModesScript() { return script; }

const FakeModesRecord& fakeModesRecord() { return record; }

uint32_t fakeModesTotalCalls() {
    return std::accumulate(std::begin(record.calls), std::end(record.calls), 0u);
}

extern "C" {

FAKE_MODES_EXPORT FT_STATUS FT_API FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode) {
    return enter(kFakeSetBitMode, handle, mask, mode);
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_GetBitMode(FT_HANDLE handle, uint8_t* pins) {
    const FT_STATUS status = enter(kFakeGetBitMode, handle);
    if (status == FT_OK) *pins = script.pins;
    return status;
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_GetDeviceInfo(FT_HANDLE handle, uint32_t* type, uint32_t* id,
                                                    char* serialNumber, char* description,
                                                    void* reserved) {
    const FT_STATUS status = enter(kFakeGetDeviceInfo, handle, 0, 0, reserved);
    if (status == FT_OK) {
        *type = script.type;
        *id = script.id;
        std::memcpy(serialNumber, script.serialNumber, sizeof script.serialNumber);
        std::memcpy(description, script.description, sizeof script.description);
    }
    return status;
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_GetStatus(FT_HANDLE handle, uint32_t* rxBytes,
                                                uint32_t* txBytes, uint32_t* eventBits) {
    const FT_STATUS status = enter(kFakeGetStatus, handle);
    if (status == FT_OK) {
        *rxBytes = script.rxBytes;
        *txBytes = script.txBytes;
        *eventBits = script.eventBits;
    }
    return status;
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_ReadEE(FT_HANDLE handle, uint32_t wordOffset, uint16_t* value) {
    const FT_STATUS status = enter(kFakeReadEE, handle, wordOffset);
    if (status == FT_OK) *value = script.word;
    return status;
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_WriteEE(FT_HANDLE handle, uint32_t wordOffset, uint16_t value) {
    return enter(kFakeWriteEE, handle, wordOffset, value);
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_EraseEE(FT_HANDLE handle) { return enter(kFakeEraseEE, handle); }

FAKE_MODES_EXPORT FT_STATUS FT_API FT_EE_UASize(FT_HANDLE handle, uint32_t* bytes) {
    const FT_STATUS status = enter(kFakeEEUASize, handle);
    if (status == FT_OK) *bytes = script.userAreaSize;
    return status;
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_EE_UARead(FT_HANDLE handle, uint8_t* buffer, uint32_t length,
                                                uint32_t* bytesRead) {
    const FT_STATUS status = enter(kFakeEEUARead, handle, length);
    if (status == FT_OK) {
        const uint32_t copied = std::min<uint32_t>(length, sizeof script.userArea);
        std::memcpy(buffer, script.userArea, copied);
        *bytesRead = script.reportBytesRead ? script.bytesRead : copied;
    }
    return status;
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_EE_UAWrite(FT_HANDLE handle, uint8_t* buffer, uint32_t length) {
    std::memcpy(record.written, buffer, std::min<uint32_t>(length, sizeof record.written));
    return enter(kFakeEEUAWrite, handle, length);
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_SetEventNotification(FT_HANDLE handle, uint32_t mask,
                                                           void* argument) {
    return enter(kFakeSetEventNotification, handle, mask, 0, argument);
}

FAKE_MODES_EXPORT FT_STATUS FT_API FT_ResetPort(FT_HANDLE handle) { return enter(kFakeResetPort, handle); }

}  // extern "C"
