// The part of FTDI's D2XX driver interface that the bridge calls, declared with fixed-width
// types so that every size is the same on 64-bit Windows (where long is 32 bits) and on Linux.
#ifndef D2XX_H
#define D2XX_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define FT_API __stdcall
#else
#define FT_API
#endif

extern "C" {

typedef void* FT_HANDLE;
typedef uint32_t FT_STATUS;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_NOT_SUPPORTED = 17,
};

enum : uint32_t {
    FT_OPEN_BY_SERIAL_NUMBER = 1,
    FT_OPEN_BY_DESCRIPTION = 2,
    FT_OPEN_BY_LOCATION = 4,
};

// The driver's device-list record: the same fields everywhere, the handle a pointer at offset 96,
// so the record is 104 bytes where pointers are 8 bytes and 100 bytes where they are 4 (32-bit
// ARM Linux). Declared once; the checks below pin each layout.
struct FT_DEVICE_LIST_INFO_NODE {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Flags) == 0, "Flags at 0");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Type) == 4, "Type at 4");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ID) == 8, "ID at 8");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, LocId) == 12, "LocId at 12");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16, "SerialNumber at 16");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32, "Description at 32");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96, "ftHandle at 96");
#if UINTPTR_MAX == UINT64_MAX
static_assert(sizeof(FT_HANDLE) == 8, "8-byte handles on 64-bit targets");
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "device-list record is 104 bytes on 64-bit");
#elif UINTPTR_MAX == UINT32_MAX
static_assert(sizeof(FT_HANDLE) == 4, "4-byte handles on 32-bit targets");
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 100, "device-list record is 100 bytes on 32-bit");
#else
#error "the driver interface is declared for 32-bit and 64-bit targets only"
#endif

// Ordinals in FTD2XX.dll are given beside each function; the Windows build imports by them.
FT_STATUS FT_API FT_Open(int32_t deviceNumber, FT_HANDLE* handle);                          // 1
FT_STATUS FT_API FT_Close(FT_HANDLE handle);                                                // 2
FT_STATUS FT_API FT_Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                         uint32_t* bytesReturned);                                          // 3
FT_STATUS FT_API FT_Write(FT_HANDLE handle, void* buffer, uint32_t bytesToWrite,
                          uint32_t* bytesWritten);                                          // 4
FT_STATUS FT_API FT_ResetDevice(FT_HANDLE handle);                                          // 6
FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate);                       // 7
FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                           uint8_t stopBits, uint8_t parity);               // 8
FT_STATUS FT_API FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                   uint8_t xoff);                                           // 9
FT_STATUS FT_API FT_SetDtr(FT_HANDLE handle);                                               // 10
FT_STATUS FT_API FT_ClrDtr(FT_HANDLE handle);                                               // 11
FT_STATUS FT_API FT_SetRts(FT_HANDLE handle);                                               // 12
FT_STATUS FT_API FT_ClrRts(FT_HANDLE handle);                                               // 13
FT_STATUS FT_API FT_GetModemStatus(FT_HANDLE handle, uint32_t* modemStatus);                // 14
FT_STATUS FT_API FT_SetChars(FT_HANDLE handle, uint8_t eventChar, uint8_t eventCharEnabled,
                             uint8_t errorChar, uint8_t errorCharEnabled);                  // 15
FT_STATUS FT_API FT_Purge(FT_HANDLE handle, uint32_t mask);                                 // 16
FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE handle, uint32_t readTimeout,
                                uint32_t writeTimeout);                                     // 17
FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes);                    // 18
FT_STATUS FT_API FT_SetBreakOn(FT_HANDLE handle);                                           // 22
FT_STATUS FT_API FT_SetBreakOff(FT_HANDLE handle);                                          // 23
FT_STATUS FT_API FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle);                   // 27
FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latency);                     // 29
FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE handle, uint8_t* latency);                    // 30
FT_STATUS FT_API FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                                     uint32_t outTransferSize);                             // 33
FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t* deviceCount);                            // 70
FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list,
                                      uint32_t* deviceCount);                               // 71
FT_STATUS FT_API FT_GetDriverVersion(FT_HANDLE handle, uint32_t* version);                  // 75
FT_STATUS FT_API FT_GetLibraryVersion(uint32_t* version);                                   // 76
FT_STATUS FT_API FT_GetComPortNumber(FT_HANDLE handle, int32_t* comPortNumber);             // 80

}  // extern "C"

#endif  // D2XX_H
