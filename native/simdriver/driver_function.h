// The driver functions (the 28 of the serial line, then the 13 of the chip beyond it) as an index, so that faults and call records live in fixed arrays
// and cost no allocation or string work on the call path.
#ifndef SIM_DRIVER_FUNCTION_H
#define SIM_DRIVER_FUNCTION_H

#include <cstddef>
#include <optional>

namespace sim {

enum class DriverFunction : std::size_t {
    Open,
    Close,
    Read,
    Write,
    ResetDevice,
    SetBaudRate,
    SetDataCharacteristics,
    SetFlowControl,
    SetDtr,
    ClrDtr,
    SetRts,
    ClrRts,
    GetModemStatus,
    SetChars,
    Purge,
    SetTimeouts,
    GetQueueStatus,
    SetBreakOn,
    SetBreakOff,
    OpenEx,
    SetLatencyTimer,
    GetLatencyTimer,
    SetUSBParameters,
    CreateDeviceInfoList,
    GetDeviceInfoList,
    GetDriverVersion,
    GetLibraryVersion,
    GetComPortNumber,
    // Beyond the serial line, in the order of the modes library's availableFunctions bits.
    SetBitMode,
    GetBitMode,
    GetDeviceInfo,
    GetStatus,
    ReadEE,
    WriteEE,
    EraseEE,
    EEUASize,
    EEUARead,
    EEUAWrite,
    SetEventNotification,
    ResetPort,
    CyclePort,
};

constexpr std::size_t kDriverFunctionCount = static_cast<std::size_t>(DriverFunction::CyclePort) + 1;

constexpr std::size_t indexOf(DriverFunction function) {
    return static_cast<std::size_t>(function);
}

// Looks a function up by its exported name ("FT_Read"); null or unknown names give nothing.
std::optional<DriverFunction> driverFunctionNamed(const char* name);

// The functions whose reported count simReportNextCount may override.
bool reportsCount(DriverFunction function);

}  // namespace sim

#endif  // SIM_DRIVER_FUNCTION_H
