// The driver functions the modes library calls, found by name in the driver that is already
// loaded (the one the bridge links to). A function the driver lacks is reported, not fatal: only
// the calls that need it fail.
#ifndef MODES_DRIVER_FUNCTIONS_H
#define MODES_DRIVER_FUNCTIONS_H

#include <cstdint>

#include "d2xx_modes.h"

// In the order of the bits of availableFunctions().
enum class DriverFunction : unsigned {
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
    Count,
};

// The function's address in the loaded driver, or null when the driver (or the function) is
// not there. A found address is kept for good; a failed lookup is tried again on the next call.
void* findDriverFunction(DriverFunction function);

// Bit i set when function i is found.
uint32_t availableDriverFunctions();

// The address typed as the driver's declaration (Signature = decltype(&FT_...), which names the
// declaration without referring to it), so a call through it is checked like a direct call.
template <typename Signature>
Signature driverFunction(DriverFunction function) {
    return reinterpret_cast<Signature>(findDriverFunction(function));
}

#endif  // MODES_DRIVER_FUNCTIONS_H
