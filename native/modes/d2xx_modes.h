// The part of FTDI's D2XX driver interface beyond the serial line: bit modes, device details
// and status, the EEPROM, event notification and port recovery. The modes library never links
// to these: it looks each one up by name in the driver already loaded, so a driver that lacks
// one fails only the call that needs it. The simulated driver defines them, checked against
// these declarations.
#ifndef D2XX_MODES_H
#define D2XX_MODES_H

#include <cstdint>

#include "d2xx.h"

extern "C" {

FT_STATUS FT_API FT_SetBitMode(FT_HANDLE handle, uint8_t mask, uint8_t mode);
// The pins' instantaneous levels, not the mode number.
FT_STATUS FT_API FT_GetBitMode(FT_HANDLE handle, uint8_t* pins);
// type is an FT_DEVICE value, id is (vendor ID << 16) | product ID; serialNumber takes 16 bytes
// and description 64, each zero-terminated; reserved must be null.
FT_STATUS FT_API FT_GetDeviceInfo(FT_HANDLE handle, uint32_t* type, uint32_t* id,
                                  char* serialNumber, char* description, void* reserved);
FT_STATUS FT_API FT_GetStatus(FT_HANDLE handle, uint32_t* rxBytes, uint32_t* txBytes,
                              uint32_t* eventBits);
FT_STATUS FT_API FT_ReadEE(FT_HANDLE handle, uint32_t wordOffset, uint16_t* value);
FT_STATUS FT_API FT_WriteEE(FT_HANDLE handle, uint32_t wordOffset, uint16_t value);
FT_STATUS FT_API FT_EraseEE(FT_HANDLE handle);
FT_STATUS FT_API FT_EE_UASize(FT_HANDLE handle, uint32_t* bytes);
FT_STATUS FT_API FT_EE_UARead(FT_HANDLE handle, uint8_t* buffer, uint32_t length,
                              uint32_t* bytesRead);
FT_STATUS FT_API FT_EE_UAWrite(FT_HANDLE handle, uint8_t* buffer, uint32_t length);
// On Windows argument is a Win32 event handle; on Linux and macOS a pointer to an
// FT_EVENT_HANDLE that the caller initialised.
FT_STATUS FT_API FT_SetEventNotification(FT_HANDLE handle, uint32_t mask, void* argument);
FT_STATUS FT_API FT_ResetPort(FT_HANDLE handle);
FT_STATUS FT_API FT_CyclePort(FT_HANDLE handle);

}  // extern "C"

// Event-notification mask bits, also the event bits of FT_GetStatus.
constexpr uint32_t FT_EVENT_RXCHAR = 1;
constexpr uint32_t FT_EVENT_MODEM_STATUS = 2;
constexpr uint32_t FT_EVENT_LINE_STATUS = 4;

// Bit modes of FT_SetBitMode.
constexpr uint8_t FT_BITMODE_RESET = 0x00;
constexpr uint8_t FT_BITMODE_ASYNC_BITBANG = 0x01;
constexpr uint8_t FT_BITMODE_MPSSE = 0x02;
constexpr uint8_t FT_BITMODE_SYNC_BITBANG = 0x04;
constexpr uint8_t FT_BITMODE_MCU_HOST = 0x08;
constexpr uint8_t FT_BITMODE_FAST_SERIAL = 0x10;
constexpr uint8_t FT_BITMODE_CBUS_BITBANG = 0x20;
constexpr uint8_t FT_BITMODE_SYNC_FIFO = 0x40;

#if !defined(_WIN32)
#include <pthread.h>
// What FT_SetEventNotification takes on Linux and macOS: the driver locks eMutex and signals
// eCondVar when an enabled event occurs; iVar is not the driver's.
struct FT_EVENT_HANDLE {
    pthread_cond_t eCondVar;
    pthread_mutex_t eMutex;
    int iVar;
};
#endif

#endif  // D2XX_MODES_H
