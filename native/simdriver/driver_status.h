// The driver's status codes that the simulated driver returns, beside the few d2xx.h names.
#ifndef SIM_DRIVER_STATUS_H
#define SIM_DRIVER_STATUS_H

#include "d2xx.h"

namespace sim {

// FT_OK as a plain FT_STATUS, so that lambdas returning it and an error deduce one type.
constexpr FT_STATUS kOk = FT_OK;
constexpr FT_STATUS kInvalidHandle = 1;
constexpr FT_STATUS kDeviceNotFound = 2;
constexpr FT_STATUS kDeviceNotOpened = 3;
constexpr FT_STATUS kIoError = 4;
constexpr FT_STATUS kInvalidParameter = 6;
constexpr FT_STATUS kInvalidBaudRate = 7;

}  // namespace sim

#endif  // SIM_DRIVER_STATUS_H
