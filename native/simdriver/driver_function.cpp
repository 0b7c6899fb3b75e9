#include "driver_function.h"

#include <array>
#include <cstring>

namespace sim {
namespace {

// In the order of DriverFunction.
constexpr std::array<const char*, kDriverFunctionCount> kNames = {
    "FT_Open",
    "FT_Close",
    "FT_Read",
    "FT_Write",
    "FT_ResetDevice",
    "FT_SetBaudRate",
    "FT_SetDataCharacteristics",
    "FT_SetFlowControl",
    "FT_SetDtr",
    "FT_ClrDtr",
    "FT_SetRts",
    "FT_ClrRts",
    "FT_GetModemStatus",
    "FT_SetChars",
    "FT_Purge",
    "FT_SetTimeouts",
    "FT_GetQueueStatus",
    "FT_SetBreakOn",
    "FT_SetBreakOff",
    "FT_OpenEx",
    "FT_SetLatencyTimer",
    "FT_GetLatencyTimer",
    "FT_SetUSBParameters",
    "FT_CreateDeviceInfoList",
    "FT_GetDeviceInfoList",
    "FT_GetDriverVersion",
    "FT_GetLibraryVersion",
    "FT_GetComPortNumber",
    "FT_SetBitMode",
    "FT_GetBitMode",
    "FT_GetDeviceInfo",
    "FT_GetStatus",
    "FT_ReadEE",
    "FT_WriteEE",
    "FT_EraseEE",
    "FT_EE_UASize",
    "FT_EE_UARead",
    "FT_EE_UAWrite",
    "FT_SetEventNotification",
    "FT_ResetPort",
    "FT_CyclePort",
};

}  // namespace

std::optional<DriverFunction> driverFunctionNamed(const char* name) {
    if (name == nullptr) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (std::strcmp(kNames[i], name) == 0) {
            return static_cast<DriverFunction>(i);
        }
    }
    return std::nullopt;
}

bool reportsCount(DriverFunction function) {
    switch (function) {
        case DriverFunction::Read:
        case DriverFunction::Write:
        case DriverFunction::GetQueueStatus:
        case DriverFunction::CreateDeviceInfoList:
        case DriverFunction::GetDeviceInfoList:
            return true;
        default:
            return false;
    }
}

}  // namespace sim
