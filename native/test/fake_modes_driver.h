// A stand-in driver for the modes library's tests and fuzzing: a shared library that defines 12
// of the 13 functions of d2xx_modes.h (FT_CyclePort is missing on purpose, to show what a driver
// without a function does to the library). Each function records its call and answers from a
// script the test sets.
#ifndef FAKE_MODES_DRIVER_H
#define FAKE_MODES_DRIVER_H

#include <cstdint>

#include "d2xx_modes.h"

#if defined(_WIN32)
#define FAKE_MODES_EXPORT __declspec(dllexport)
#else
#define FAKE_MODES_EXPORT __attribute__((visibility("default")))
#endif

// In the order of the modes library's availableFunctions() bits.
enum FakeModesFunction : unsigned {
    kFakeSetBitMode,
    kFakeGetBitMode,
    kFakeGetDeviceInfo,
    kFakeGetStatus,
    kFakeReadEE,
    kFakeWriteEE,
    kFakeEraseEE,
    kFakeEEUASize,
    kFakeEEUARead,
    kFakeEEUAWrite,
    kFakeSetEventNotification,
    kFakeResetPort,
    kFakeCyclePort,
    kFakeFunctionCount,
};

struct FakeModesScript {
    FT_STATUS status;                  // what every function answers
    // Outputs, written only when status is FT_OK.
    uint8_t pins;
    uint32_t type;
    uint32_t id;
    char serialNumber[16];
    char description[64];
    uint32_t rxBytes;
    uint32_t txBytes;
    uint32_t eventBits;
    uint16_t word;
    uint32_t userAreaSize;
    uint8_t userArea[512];             // what FT_EE_UARead copies (up to its length)
    bool reportBytesRead;              // report bytesRead below instead of the copied count
    uint32_t bytesRead;
};

struct FakeModesRecord {
    uint32_t calls[kFakeFunctionCount];
    FT_HANDLE handle;                  // of the last call
    uint32_t first;                    // the last call's first number: mask, offset, length
    uint32_t second;                   // its second: mode, value
    void* pointer;                     // the event argument, or GetDeviceInfo's reserved pointer
    uint8_t written[512];              // what FT_EE_UAWrite received (up to its length)
};

// Resets script and record to zero: every call answers FT_OK with zero outputs.
FAKE_MODES_EXPORT void fakeModesReset();
FAKE_MODES_EXPORT FakeModesScript& fakeModesScript();
FAKE_MODES_EXPORT const FakeModesRecord& fakeModesRecord();
FAKE_MODES_EXPORT uint32_t fakeModesTotalCalls();

#endif  // FAKE_MODES_DRIVER_H
