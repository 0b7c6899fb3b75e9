// The control entry points that tests use to script the simulated driver.
#include "sim_control.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "d2xx_modes.h"
#include "driver_function.h"
#include "driver_state.h"

namespace {

using sim::Device;
using sim::DriverState;

// Runs action(Device&) under the driver lock; 0, or -1 for an unknown device id.
template <typename Action>
int32_t onDevice(int32_t id, Action action) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    Device* device = state.device(id);
    if (device == nullptr) {
        return -1;
    }
    action(*device);
    return 0;
}

template <std::size_t N>
bool storeField(std::array<char, N>& field, const uint8_t* bytes, uint32_t length) {
    if (length > N || (bytes == nullptr && length > 0)) {
        return false;
    }
    field.fill('\0');
    if (length > 0) {
        std::memcpy(field.data(), bytes, length);
    }
    return true;
}

// Runs action(DriverFunction) under the driver lock for a known name; 0, or -1 if unknown.
template <typename Action>
int32_t onFunction(const char* name, Action action) {
    const auto function = sim::driverFunctionNamed(name);
    if (!function) {
        return -1;
    }
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return action(state, *function);
}

}  // namespace

extern "C" {

void simReset(void) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.reset();
}

int32_t simAddDevice(uint32_t flags, uint32_t type, uint32_t id, uint32_t locId,
                     const uint8_t* serial, uint32_t serialLength, const uint8_t* description,
                     uint32_t descriptionLength) {
    sim::DeviceIdentity identity;
    identity.flags = flags;
    identity.type = type;
    identity.id = id;
    identity.locId = locId;
    if (!storeField(identity.serial, serial, serialLength) ||
        !storeField(identity.description, description, descriptionLength)) {
        return -1;
    }
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.devices.push_back(std::make_shared<Device>(identity));
    state.arrive(*state.devices.back());
    return static_cast<int32_t>(state.devices.size() - 1);
}

int32_t simDeviceCount(void) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return static_cast<int32_t>(state.devices.size());
}

int32_t simUnplug(int32_t device) {
    return onDevice(device, [](Device& unplugged) {
        unplugged.attached = false;
        unplugged.wakeup.notify_all();
        // A thread waiting on the handle's event wakes to find every call failing; the event
        // is forgotten, as its registration went with the device.
        unplugged.notifier.signalAndForget();
    });
}

int32_t simSetOpenedElsewhere(int32_t device, int32_t opened) {
    return onDevice(device, [&](Device& target) { target.openedElsewhere = opened != 0; });
}

int32_t simSetLoopback(int32_t device, int32_t on) {
    return onDevice(device, [&](Device& target) { target.loopback = on != 0; });
}

int32_t simSetDriverVersion(int32_t device, uint32_t version) {
    return onDevice(device, [&](Device& target) { target.driverVersion = version; });
}

int32_t simSetComPort(int32_t device, int32_t port) {
    return onDevice(device, [&](Device& target) { target.comPort = port; });
}

int32_t simSetModemInputs(int32_t device, uint32_t lines) {
    return onDevice(device, [&](Device& target) {
        const uint32_t before = target.modemInputs;
        target.modemInputs = lines & sim::kModemLines;
        if (target.modemInputs != before) {
            target.raiseEvents(FT_EVENT_MODEM_STATUS);
        }
    });
}

int32_t simRaiseLineErrors(int32_t device, uint32_t errors) {
    return onDevice(device, [&](Device& target) {
        target.pendingLineErrors |= errors & 0xFFU;
        if ((errors & 0xFFU) != 0) {
            target.raiseEvents(FT_EVENT_LINE_STATUS);
        }
    });
}

int32_t simInject(int32_t device, const uint8_t* bytes, uint32_t length) {
    if (bytes == nullptr && length > 0) {
        return -1;
    }
    return onDevice(device, [&](Device& target) { target.receive(bytes, length); });
}

int32_t simGetDeviceState(int32_t device, SimDeviceState* out) {
    if (out == nullptr) {
        return -1;
    }
    return onDevice(device, [&](Device& target) {
        const sim::LineSettings& settings = target.settings;
        *out = SimDeviceState{
            target.isOpen() ? 1U : 0U,
            settings.baudRate,
            settings.wordLength,
            settings.stopBits,
            settings.parity,
            settings.flowControl,
            settings.xon,
            settings.xoff,
            settings.readTimeout,
            settings.writeTimeout,
            settings.latencyTimer,
            settings.inTransferSize,
            settings.outTransferSize,
            settings.eventChar,
            settings.eventCharEnabled,
            settings.errorChar,
            settings.errorCharEnabled,
            target.dtr ? 1U : 0U,
            target.rts ? 1U : 0U,
            target.breakOn ? 1U : 0U,
            static_cast<uint32_t>(target.received.size()),
            static_cast<uint32_t>(target.written.size()),
            target.resetCount,
            target.purgeRxCount,
            target.purgeTxCount,
        };
    });
}

int32_t simSetInstantTransfers(int32_t device, int32_t on) {
    return onDevice(device, [&](Device& target) { target.instantTransfers = on != 0; });
}

int32_t simSetWritesStalled(int32_t device, int32_t on) {
    return onDevice(device, [&](Device& target) {
        target.writesStalled = on != 0;
        target.wakeup.notify_all();
    });
}

int32_t simTakeWritten(int32_t device, uint8_t* out, uint32_t capacity) {
    if (out == nullptr && capacity > 0) {
        return -1;
    }
    // The log is bounded well below 2^31 bytes, so the count fits the result.
    std::size_t taken = 0;
    const int32_t status =
        onDevice(device, [&](Device& target) { taken = target.written.pop(out, capacity); });
    return status < 0 ? status : static_cast<int32_t>(taken);
}

int64_t simWrittenTotal(int32_t device) {
    uint64_t total = 0;
    const int32_t status = onDevice(device, [&](Device& target) { total = target.writtenTotal; });
    return status < 0 ? status : static_cast<int64_t>(total);
}

void simSetLibraryVersion(uint32_t version) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.libraryVersion = version;
}

void simSetHandleBase(uint64_t base) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.handles.setBase(base);
}

void simSetHandleReuse(int32_t on) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.handles.setReuse(on != 0);
}

uint32_t simClosedHandleCalls(uint64_t handle) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.handles.closedCalls(handle);
}

int32_t simClosedHandleCallList(uint64_t* handles, uint32_t* counts, int32_t capacity) {
    if ((handles == nullptr || counts == nullptr) && capacity > 0) {
        return -1;
    }
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.handles.closedCallList(handles, counts, capacity);
}

uint64_t simHandleOf(int32_t device) {
    uint64_t handle = 0;
    onDevice(device, [&](Device& target) { handle = target.handle; });
    return handle;
}

int32_t simFailNext(const char* function, uint32_t status) {
    return onFunction(function, [&](DriverState& state, sim::DriverFunction target) {
        state.faults.failNext(target, status);
        return 0;
    });
}

int32_t simFailAlways(const char* function, uint32_t status) {
    return onFunction(function, [&](DriverState& state, sim::DriverFunction target) {
        state.faults.failAlways(target, status);
        return 0;
    });
}

int32_t simReportNextCount(const char* function, uint32_t count) {
    return onFunction(function, [&](DriverState& state, sim::DriverFunction target) {
        if (!sim::reportsCount(target)) {
            return -1;
        }
        state.faults.reportNextCount(target, count);
        return 0;
    });
}

void simClearFaults(void) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.faults.clear();
}

uint32_t simCallCount(const char* function) {
    const auto target = sim::driverFunctionNamed(function);
    if (!target) {
        return 0;
    }
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.calls.callCount(*target);
}

int32_t simLastArgs(const char* function, uint64_t* args, int32_t capacity) {
    return onFunction(function, [&](DriverState& state, sim::DriverFunction target) {
        return state.calls.lastArguments(target, args, capacity);
    });
}

int32_t simLastOpenText(uint8_t* out, int32_t capacity) {
    DriverState& state = sim::driverState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.calls.lastOpenText(out, capacity);
}

}  // extern "C"
