// Control interface of the simulated D2XX driver: lets tests script the devices it models,
// inject faults and read back what the driver was asked to do. Exported by the simulated
// libftd2xx.so beside the 28 driver functions; the vendor's driver has none of these.
#ifndef SIM_CONTROL_H
#define SIM_CONTROL_H

#include <cstdint>

#if defined(_WIN32)
#define SIM_API __declspec(dllexport)
#else
#define SIM_API __attribute__((visibility("default")))
#endif

extern "C" {

// What one device looks like to its user right now: its line settings, signals and queues.
struct SimDeviceState {
    uint32_t open;             // 1 while a handle of this process is open on it
    uint32_t baudRate;
    uint32_t wordLength;
    uint32_t stopBits;
    uint32_t parity;
    uint32_t flowControl;
    uint32_t xon;
    uint32_t xoff;
    uint32_t readTimeout;      // milliseconds, 0 = wait for all requested bytes
    uint32_t writeTimeout;
    uint32_t latencyTimer;
    uint32_t inTransferSize;
    uint32_t outTransferSize;
    uint32_t eventChar;
    uint32_t eventCharEnabled;
    uint32_t errorChar;
    uint32_t errorCharEnabled;
    uint32_t dtr;
    uint32_t rts;
    uint32_t breakOn;
    uint32_t rxQueued;         // bytes waiting in the receive queue
    uint32_t writtenQueued;    // bytes written and not yet taken by simTakeWritten
    uint32_t resetCount;
    uint32_t purgeRxCount;
    uint32_t purgeTxCount;
};

// Removes every device, invalidates every handle (a blocked read returns), clears faults,
// count overrides and call records, and restores every default.
SIM_API void simReset(void);

// Attaches a device at the end of the list and returns its id (0, 1, ...; stable until
// simReset), or -1 when a field is longer than its record field (16 and 64 bytes). The text
// fields are stored byte for byte; a field shorter than its record is zero-padded, a full one
// has no terminator. New devices echo what is written (loopback), have COM port -1, driver
// version 0x00021216 and the driver's default settings.
SIM_API int32_t simAddDevice(uint32_t flags, uint32_t type, uint32_t id, uint32_t locId,
                             const uint8_t* serial, uint32_t serialLength,
                             const uint8_t* description, uint32_t descriptionLength);

// Each of these returns 0, or -1 for an unknown device id.
SIM_API int32_t simUnplug(int32_t device);  // gone from the list; its open handle fails from now on
SIM_API int32_t simSetOpenedElsewhere(int32_t device, int32_t opened);
SIM_API int32_t simSetLoopback(int32_t device, int32_t on);
SIM_API int32_t simSetDriverVersion(int32_t device, uint32_t version);
SIM_API int32_t simSetComPort(int32_t device, int32_t port);
SIM_API int32_t simSetModemInputs(int32_t device, uint32_t lines);     // CTS/DSR/RI/DCD bits when not looped back
SIM_API int32_t simRaiseLineErrors(int32_t device, uint32_t errors);   // line-status bits, cleared once reported
SIM_API int32_t simInject(int32_t device, const uint8_t* bytes, uint32_t length);
SIM_API int32_t simGetDeviceState(int32_t device, SimDeviceState* state);
// Reads and writes complete at once without queues: reads deliver a fixed pattern, writes
// are copied and dropped. For measuring the cost of the layers above the driver.
SIM_API int32_t simSetInstantTransfers(int32_t device, int32_t on);

// Moves up to capacity bytes of what was written to the device into out; returns the count.
SIM_API int32_t simTakeWritten(int32_t device, uint8_t* out, uint32_t capacity);

SIM_API void simSetLibraryVersion(uint32_t version);
// Handles issued from now on carry these bits above a small per-open offset.
SIM_API void simSetHandleBase(uint64_t base);
// The handle bits of the device's open handle, 0 when it is not open.
SIM_API uint64_t simHandleOf(int32_t device);

// Faults, by driver function name ("FT_Read"). Each returns 0, or -1 for an unknown name.
SIM_API int32_t simFailNext(const char* function, uint32_t status);    // the next call only
SIM_API int32_t simFailAlways(const char* function, uint32_t status);  // until simClearFaults
// The next successful call of FT_Read, FT_Write, FT_GetQueueStatus, FT_CreateDeviceInfoList or
// FT_GetDeviceInfoList reports this count. Never more bytes or records than the caller's
// buffer holds are written, whatever count is reported.
SIM_API int32_t simReportNextCount(const char* function, uint32_t count);
SIM_API void simClearFaults(void);

// Call records since simReset.
SIM_API uint32_t simCallCount(const char* function);
// The arguments of the last call, each as passed: handles and pointers as their bits,
// narrow values zero-extended, an in/out count as it was on entry. Returns how many it
// wrote, or -1 when the function was not called (or the name is unknown).
SIM_API int32_t simLastArgs(const char* function, uint64_t* args, int32_t capacity);
// The bytes of the text handed to the last FT_OpenEx in mode 1 or 2, through its terminating
// zero. Returns the count written, or -1 when there was no such call.
SIM_API int32_t simLastOpenText(uint8_t* out, int32_t capacity);

}  // extern "C"

#endif  // SIM_CONTROL_H
