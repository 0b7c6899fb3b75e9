// What every driver function does first: lock the driver, record the call, apply an injected
// failure, find the device of the handle. Shared by the serial-line functions (ft_api.cpp) and
// those beyond it (ft_modes_api.cpp); include only from those.
#ifndef SIM_DRIVER_CALL_H
#define SIM_DRIVER_CALL_H

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>

#include "d2xx.h"
#include "driver_function.h"
#include "driver_state.h"
#include "driver_status.h"

namespace sim {

inline uint64_t bits(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

// Holds the driver lock for one call, which it has recorded; `failure` is the injected
// status the call must return, if any.
struct DriverCall {
    DriverCall(DriverFunction function, std::initializer_list<uint64_t> arguments)
        : state(driverState()), lock(state.mutex) {
        state.calls.record(function, arguments);
        failure = state.faults.takeFailure(function);
    }

    DriverState& state;
    std::unique_lock<std::mutex> lock;
    std::optional<FT_STATUS> failure;
};

// The failure injected for this call, if any; a call that it answers still counts as made with
// a closed handle when the handle is one.
inline std::optional<FT_STATUS> injectedFailure(const DriverCall& call, FT_HANDLE handle) {
    if (call.failure) {
        call.state.handles.countIfClosed(bits(handle));
    }
    return call.failure;
}

// The device of an open handle, or the status for a handle that is not (FT_INVALID_HANDLE,
// counted when it is a closed one) or whose device is gone (FT_IO_ERROR).
struct OpenDevice {
    const std::shared_ptr<Device>* device = nullptr;
    FT_STATUS status = FT_OK;
};

inline OpenDevice lookUp(DriverState& state, FT_HANDLE handle) {
    const std::shared_ptr<Device>* device = state.handles.find(bits(handle));
    if (device == nullptr) {
        state.handles.countIfClosed(bits(handle));
        return {nullptr, kInvalidHandle};
    }
    if (!(*device)->attached) {
        return {nullptr, kIoError};
    }
    return {device, FT_OK};
}

// Runs action(Device&) on the device of an open handle, after recording the call and
// applying faults.
template <typename Action>
FT_STATUS onDevice(DriverFunction function, FT_HANDLE handle,
                   std::initializer_list<uint64_t> arguments, Action action) {
    DriverCall call(function, arguments);
    if (const auto failure = injectedFailure(call, handle)) {
        return *failure;
    }
    const OpenDevice open = lookUp(call.state, handle);
    if (open.status != FT_OK) {
        return open.status;
    }
    return action(**open.device);
}

// Sets one value of a device after a validity check.
template <typename Valid, typename Apply>
FT_STATUS setChecked(DriverFunction function, FT_HANDLE handle,
                     std::initializer_list<uint64_t> arguments, Valid valid, Apply apply) {
    return onDevice(function, handle, arguments, [&](Device& device) {
        if (!valid(device)) {
            return kInvalidParameter;
        }
        apply(device);
        return kOk;
    });
}

// Reads a value of a device into an out-parameter.
template <typename Out, typename Query>
FT_STATUS query(DriverFunction function, FT_HANDLE handle, Out* out, Query value) {
    return onDevice(function, handle, {bits(handle), bits(out)}, [&](Device& device) {
        if (out == nullptr) {
            return kInvalidParameter;
        }
        *out = value(device);
        return kOk;
    });
}

}  // namespace sim

#endif  // SIM_DRIVER_CALL_H
