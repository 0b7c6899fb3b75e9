// The 28 driver functions of the serial line. Each one locks the driver, records the call, applies an injected
// failure if one is set (and then changes nothing), and only then acts.

// The driver functions are this library's interface: export them. This must be the first
// declaration of them in this file, so d2xx.h comes before every other header.
#pragma GCC visibility push(default)
#include "d2xx.h"
#pragma GCC visibility pop

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "driver_call.h"
#include "instant_transfer.h"
#include "line_settings.h"

namespace {

using sim::bits;
using sim::Device;
using sim::DriverCall;
using sim::DriverFunction;
using sim::DriverState;
using sim::injectedFailure;
using sim::lookUp;
using sim::onDevice;
using sim::OpenDevice;
using sim::query;
using sim::setChecked;

uint64_t zeroExtended(int32_t value) {
    return static_cast<uint32_t>(value);
}

// The text matches the field when they agree up to the text's terminator and the field's
// first zero (or its end); the text is never read past its terminator.
template <std::size_t N>
bool textMatches(const char* text, const std::array<char, N>& field) {
    for (std::size_t i = 0; i <= N; ++i) {
        const char expected = i < N ? field[i] : '\0';
        if (text[i] != expected) {
            return false;
        }
        if (expected == '\0') {
            return true;
        }
    }
    return true;
}

std::shared_ptr<Device> findForOpenEx(const DriverState& state, void* argument, uint32_t mode) {
    for (const auto& device : state.devices) {
        if (!device->attached) {
            continue;
        }
        const sim::DeviceIdentity& identity = device->identity;
        const bool matches =
            (mode == FT_OPEN_BY_SERIAL_NUMBER &&
             textMatches(static_cast<const char*>(argument), identity.serial)) ||
            (mode == FT_OPEN_BY_DESCRIPTION &&
             textMatches(static_cast<const char*>(argument), identity.description)) ||
            (mode == FT_OPEN_BY_LOCATION && static_cast<uint32_t>(bits(argument)) == identity.locId);
        if (matches) {
            return device;
        }
    }
    return nullptr;
}

FT_STATUS openDevice(DriverState& state, const std::shared_ptr<Device>& device, FT_HANDLE* handle) {
    if (!device) {
        return sim::kDeviceNotFound;
    }
    if (device->isOpen() || device->openedElsewhere) {
        return sim::kDeviceNotOpened;
    }
    *handle = reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(state.handles.open(device)));
    return sim::kOk;
}

// Waits, with the lock of `call` held between wake-ups, until `wanted` bytes have come or
// the read timeout has passed, copying them into out. Returns FT_OK with *done set, or the
// status of a close (FT_INVALID_HANDLE) or of an unplug or reset (FT_IO_ERROR).
FT_STATUS waitAndRead(DriverCall& call, const std::shared_ptr<Device>& keep, uint8_t* out,
                      uint32_t wanted, uint32_t& done) {
    Device& device = *keep;
    const uint64_t handle = device.handle;
    const uint64_t opens = device.opens;
    const auto stillOpen = [&] { return device.handle == handle && device.opens == opens; };
    const uint64_t purgesAtStart = device.receivePurges;
    const uint32_t timeout = device.settings.readTimeout;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    done = 0;
    for (;;) {
        const uint32_t remaining = wanted - done;
        // Take the bytes once all have come, or in portions when they fill the queue or the
        // receive buffer (the chip waits for room to send more).
        if (device.received.size() >= remaining || device.received.full() ||
            device.received.size() >= device.receiveBuffer) {
            done += static_cast<uint32_t>(device.received.pop(out + done, remaining));
            device.repliesTaken();
            if (done == wanted) {
                return sim::kOk;
            }
            continue;
        }
        if (device.receivePurges != purgesAtStart) {
            return sim::kOk;
        }
        if (timeout == 0) {
            device.wakeup.wait(call.lock);
        } else if (device.wakeup.wait_until(call.lock, deadline) == std::cv_status::timeout) {
            if (device.attached && stillOpen()) {
                done += static_cast<uint32_t>(device.received.pop(out + done, wanted - done));
                device.repliesTaken();
                return sim::kOk;
            }
        }
        if (!device.attached) {
            return sim::kIoError;
        }
        if (!stillOpen()) {
            return sim::kInvalidHandle;
        }
    }
}

// One write's waits, with the lock of `call` held between wake-ups: while the device's writes
// are stalled, or while the chip's command buffer is full, for at most the write timeout in
// all (for ever when it is 0).
class WriteWait {
public:
    WriteWait(DriverCall& call, Device& device)
        : call_(call),
          device_(device),
          handle_(device.handle),
          opens_(device.opens),
          purgesAtStart_(device.transmitPurges),
          timeout_(device.settings.writeTimeout),
          deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_)) {}

    // Waits for one wake-up. FT_OK with *over set once the timeout passed or a transmit purge
    // ended the write, else FT_OK to look again; or the status of a close (FT_INVALID_HANDLE)
    // or of an unplug or reset (FT_IO_ERROR).
    FT_STATUS once(bool& over) {
        over = device_.transmitPurges != purgesAtStart_;
        if (over) {
            return sim::kOk;
        }
        if (timeout_ == 0) {
            device_.wakeup.wait(call_.lock);
        } else if (device_.wakeup.wait_until(call_.lock, deadline_) == std::cv_status::timeout) {
            over = true;
        }
        if (!device_.attached) {
            return sim::kIoError;
        }
        if (device_.handle != handle_ || device_.opens != opens_) {
            return sim::kInvalidHandle;
        }
        over = over || device_.transmitPurges != purgesAtStart_;
        return sim::kOk;
    }

private:
    DriverCall& call_;
    Device& device_;
    uint64_t handle_;
    uint64_t opens_;
    uint64_t purgesAtStart_;
    uint32_t timeout_;
    std::chrono::steady_clock::time_point deadline_;
};

// Sends `length` bytes as the device takes them, waiting while it is stalled or its command
// buffer is full; *sent counts what went out by the end (the timeout, a purge). Returns FT_OK,
// or the status of a close or unplug met while waiting.
FT_STATUS sendAll(DriverCall& call, const std::shared_ptr<Device>& keep, const uint8_t* bytes,
                  uint32_t length, uint32_t& sent) {
    Device& device = *keep;
    WriteWait wait(call, device);
    sent = 0;
    if (length == 0) {
        return sim::kOk;
    }
    for (;;) {
        if (!device.writesStalled) {
            sent += static_cast<uint32_t>(device.transmit(bytes + sent, length - sent));
            if (sent == length) {
                return sim::kOk;
            }
        }
        bool over = false;
        const FT_STATUS status = wait.once(over);
        if (status != FT_OK || over) {
            return status;
        }
    }
}

}  // namespace

extern "C" {

FT_STATUS FT_API FT_Open(int32_t deviceNumber, FT_HANDLE* handle) {
    DriverCall call(DriverFunction::Open, {zeroExtended(deviceNumber), bits(handle)});
    if (call.failure) {
        return *call.failure;
    }
    if (handle == nullptr) {
        return sim::kInvalidParameter;
    }
    return openDevice(call.state, call.state.attachedAt(deviceNumber), handle);
}

FT_STATUS FT_API FT_OpenEx(void* argument, uint32_t flags, FT_HANDLE* handle) {
    DriverCall call(DriverFunction::OpenEx, {bits(argument), flags, bits(handle)});
    const bool byText = flags == FT_OPEN_BY_SERIAL_NUMBER || flags == FT_OPEN_BY_DESCRIPTION;
    if (byText) {
        call.state.calls.recordOpenText(static_cast<const char*>(argument));
    }
    if (call.failure) {
        return *call.failure;
    }
    if (handle == nullptr || (byText && argument == nullptr)) {
        return sim::kInvalidParameter;
    }
    if (!byText && flags != FT_OPEN_BY_LOCATION) {
        return sim::kInvalidParameter;
    }
    return openDevice(call.state, findForOpenEx(call.state, argument, flags), handle);
}

FT_STATUS FT_API FT_Close(FT_HANDLE handle) {
    DriverCall call(DriverFunction::Close, {bits(handle)});
    if (const auto failure = injectedFailure(call, handle)) {
        return *failure;
    }
    // A thread waiting on the handle's event wakes: the handle is gone.
    if (const std::shared_ptr<Device>* device = call.state.handles.find(bits(handle))) {
        (*device)->notifier.signalAndForget();
    }
    // An unplugged device's handle still closes: that is how its owner lets go of it.
    if (call.state.handles.close(bits(handle))) {
        return FT_OK;
    }
    call.state.handles.countIfClosed(bits(handle));
    return sim::kInvalidHandle;
}

FT_STATUS FT_API FT_Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                         uint32_t* bytesReturned) {
    DriverCall call(DriverFunction::Read,
                    {bits(handle), bits(buffer), bytesToRead, bits(bytesReturned)});
    if (const auto failure = injectedFailure(call, handle)) {
        return *failure;
    }
    const OpenDevice open = lookUp(call.state, handle);
    if (open.status != FT_OK) {
        return open.status;
    }
    if (bytesReturned == nullptr || (buffer == nullptr && bytesToRead > 0)) {
        return sim::kInvalidParameter;
    }
    Device& device = **open.device;
    auto* out = static_cast<uint8_t*>(buffer);
    if (const auto reported = call.state.faults.takeReportedCount(DriverFunction::Read)) {
        const uint32_t copied = std::min(*reported, bytesToRead);
        if (device.instantTransfers) {
            sim::fillFromPattern(out, copied);
        } else {
            device.received.pop(out, copied);
            device.repliesTaken();
        }
        *bytesReturned = *reported;
        return sim::kOk;
    }
    if (device.instantTransfers) {
        call.lock.unlock();
        sim::fillFromPattern(out, bytesToRead);
        *bytesReturned = bytesToRead;
        return sim::kOk;
    }
    // Keep the device alive across the wait: a reset may drop the driver's references.
    const std::shared_ptr<Device> keep = *open.device;
    uint32_t done = 0;
    const FT_STATUS status = waitAndRead(call, keep, out, bytesToRead, done);
    if (status == FT_OK) {
        *bytesReturned = done;
    }
    return status;
}

FT_STATUS FT_API FT_Write(FT_HANDLE handle, void* buffer, uint32_t bytesToWrite,
                          uint32_t* bytesWritten) {
    DriverCall call(DriverFunction::Write,
                    {bits(handle), bits(buffer), bytesToWrite, bits(bytesWritten)});
    if (const auto failure = injectedFailure(call, handle)) {
        return *failure;
    }
    const OpenDevice open = lookUp(call.state, handle);
    if (open.status != FT_OK) {
        return open.status;
    }
    if (bytesWritten == nullptr || (buffer == nullptr && bytesToWrite > 0)) {
        return sim::kInvalidParameter;
    }
    Device& device = **open.device;
    // A reported count below the length models a partial write: only that much goes out.
    const auto reported = call.state.faults.takeReportedCount(DriverFunction::Write);
    const uint32_t toSend = std::min(reported.value_or(bytesToWrite), bytesToWrite);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (device.instantTransfers) {
        sim::copyToSink(bytes, toSend);
        *bytesWritten = reported.value_or(bytesToWrite);
        return sim::kOk;
    }
    // Keep the device alive across a wait: a reset may drop the driver's references.
    const std::shared_ptr<Device> keep = *open.device;
    uint32_t sent = 0;
    const FT_STATUS status = sendAll(call, keep, bytes, toSend, sent);
    if (status == FT_OK) {
        // A write that ended early reports what went out, as the driver does at its timeout.
        *bytesWritten = sent < toSend ? sent : reported.value_or(bytesToWrite);
    }
    return status;
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE handle) {
    return onDevice(DriverFunction::ResetDevice, handle, {bits(handle)}, [](Device& device) {
        device.resetToDefaults();
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate) {
    return onDevice(DriverFunction::SetBaudRate, handle, {bits(handle), baudRate},
                    [&](Device& device) {
        if (!sim::baudRateSupported(device.identity.type, baudRate)) {
            return sim::kInvalidBaudRate;
        }
        device.settings.baudRate = baudRate;
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                           uint8_t stopBits, uint8_t parity) {
    return setChecked(
        DriverFunction::SetDataCharacteristics, handle,
        {bits(handle), wordLength, stopBits, parity},
        [&](const Device&) { return sim::dataCharacteristicsValid(wordLength, stopBits, parity); },
        [&](Device& device) {
            device.settings.wordLength = wordLength;
            device.settings.stopBits = stopBits;
            device.settings.parity = parity;
        });
}

FT_STATUS FT_API FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                   uint8_t xoff) {
    return setChecked(
        DriverFunction::SetFlowControl, handle, {bits(handle), flowControl, xon, xoff},
        [&](const Device&) { return sim::flowControlValid(flowControl); },
        [&](Device& device) {
            device.settings.flowControl = flowControl;
            device.settings.xon = xon;
            device.settings.xoff = xoff;
        });
}

FT_STATUS FT_API FT_SetDtr(FT_HANDLE handle) {
    return onDevice(DriverFunction::SetDtr, handle, {bits(handle)}, [](Device& device) {
        device.setLine(device.dtr, true);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_ClrDtr(FT_HANDLE handle) {
    return onDevice(DriverFunction::ClrDtr, handle, {bits(handle)}, [](Device& device) {
        device.setLine(device.dtr, false);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_SetRts(FT_HANDLE handle) {
    return onDevice(DriverFunction::SetRts, handle, {bits(handle)}, [](Device& device) {
        device.setLine(device.rts, true);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_ClrRts(FT_HANDLE handle) {
    return onDevice(DriverFunction::ClrRts, handle, {bits(handle)}, [](Device& device) {
        device.setLine(device.rts, false);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_SetBreakOn(FT_HANDLE handle) {
    return onDevice(DriverFunction::SetBreakOn, handle, {bits(handle)}, [](Device& device) {
        device.setBreak(device.breakOn, true);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_SetBreakOff(FT_HANDLE handle) {
    return onDevice(DriverFunction::SetBreakOff, handle, {bits(handle)}, [](Device& device) {
        device.setBreak(device.breakOn, false);
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_GetModemStatus(FT_HANDLE handle, uint32_t* modemStatus) {
    return query(DriverFunction::GetModemStatus, handle, modemStatus,
                 [](Device& device) { return device.takeModemStatus(); });
}

FT_STATUS FT_API FT_SetChars(FT_HANDLE handle, uint8_t eventChar, uint8_t eventCharEnabled,
                             uint8_t errorChar, uint8_t errorCharEnabled) {
    return onDevice(DriverFunction::SetChars, handle,
                    {bits(handle), eventChar, eventCharEnabled, errorChar, errorCharEnabled},
                    [&](Device& device) {
        device.settings.eventChar = eventChar;
        device.settings.eventCharEnabled = eventCharEnabled;
        device.settings.errorChar = errorChar;
        device.settings.errorCharEnabled = errorCharEnabled;
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_Purge(FT_HANDLE handle, uint32_t mask) {
    constexpr uint32_t kPurgeRx = 1;
    constexpr uint32_t kPurgeTx = 2;
    return onDevice(DriverFunction::Purge, handle, {bits(handle), mask}, [&](Device& device) {
        if ((mask & ~(kPurgeRx | kPurgeTx)) != 0) {
            return sim::kInvalidParameter;
        }
        if ((mask & kPurgeRx) != 0) {
            device.purgeReceiveQueue();
        }
        if ((mask & kPurgeTx) != 0) {
            // Written bytes leave at once, so there is nothing to drop; a stalled write gives up.
            ++device.purgeTxCount;
            ++device.transmitPurges;
            device.wakeup.notify_all();
        }
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE handle, uint32_t readTimeout, uint32_t writeTimeout) {
    return onDevice(DriverFunction::SetTimeouts, handle, {bits(handle), readTimeout, writeTimeout},
                    [&](Device& device) {
        device.settings.readTimeout = readTimeout;
        device.settings.writeTimeout = writeTimeout;
        return sim::kOk;
    });
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes) {
    return query(DriverFunction::GetQueueStatus, handle, rxBytes, [](Device& device) {
        const auto reported =
            sim::driverState().faults.takeReportedCount(DriverFunction::GetQueueStatus);
        return reported.value_or(static_cast<uint32_t>(device.received.size()));
    });
}

FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latency) {
    return setChecked(
        DriverFunction::SetLatencyTimer, handle, {bits(handle), latency},
        [&](const Device&) { return sim::latencyTimerValid(latency); },
        [&](Device& device) { device.settings.latencyTimer = latency; });
}

FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE handle, uint8_t* latency) {
    return query(DriverFunction::GetLatencyTimer, handle, latency,
                 [](Device& device) { return device.settings.latencyTimer; });
}

FT_STATUS FT_API FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                                     uint32_t outTransferSize) {
    return setChecked(
        DriverFunction::SetUSBParameters, handle, {bits(handle), inTransferSize, outTransferSize},
        [&](const Device&) { return sim::inTransferSizeValid(inTransferSize); },
        [&](Device& device) {
            device.settings.inTransferSize = inTransferSize;
            device.settings.outTransferSize = outTransferSize;
        });
}

FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t* deviceCount) {
    DriverCall call(DriverFunction::CreateDeviceInfoList, {bits(deviceCount)});
    if (call.failure) {
        return *call.failure;
    }
    if (deviceCount == nullptr) {
        return sim::kInvalidParameter;
    }
    call.state.listSnapshot = call.state.currentList();
    const auto reported = call.state.faults.takeReportedCount(DriverFunction::CreateDeviceInfoList);
    *deviceCount = reported.value_or(static_cast<uint32_t>(call.state.listSnapshot->size()));
    return sim::kOk;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, uint32_t* deviceCount) {
    // The count is recorded as it was on entry (0 for a null pointer).
    DriverCall call(DriverFunction::GetDeviceInfoList,
                    {bits(list), deviceCount != nullptr ? *deviceCount : 0U});
    if (call.failure) {
        return *call.failure;
    }
    if (deviceCount == nullptr || (list == nullptr && *deviceCount > 0)) {
        return sim::kInvalidParameter;
    }
    const auto records = call.state.listSnapshot ? *call.state.listSnapshot
                                                 : call.state.currentList();
    const std::size_t written = std::min<std::size_t>(*deviceCount, records.size());
    if (written > 0) {
        std::memcpy(list, records.data(), written * sizeof(FT_DEVICE_LIST_INFO_NODE));
    }
    const auto reported = call.state.faults.takeReportedCount(DriverFunction::GetDeviceInfoList);
    *deviceCount = reported.value_or(static_cast<uint32_t>(written));
    return sim::kOk;
}

FT_STATUS FT_API FT_GetDriverVersion(FT_HANDLE handle, uint32_t* version) {
    return query(DriverFunction::GetDriverVersion, handle, version,
                 [](Device& device) { return device.driverVersion; });
}

FT_STATUS FT_API FT_GetLibraryVersion(uint32_t* version) {
    DriverCall call(DriverFunction::GetLibraryVersion, {bits(version)});
    if (call.failure) {
        return *call.failure;
    }
    if (version == nullptr) {
        return sim::kInvalidParameter;
    }
    *version = call.state.libraryVersion;
    return sim::kOk;
}

FT_STATUS FT_API FT_GetComPortNumber(FT_HANDLE handle, int32_t* comPortNumber) {
    return query(DriverFunction::GetComPortNumber, handle, comPortNumber,
                 [](Device& device) { return device.comPort; });
}

}  // extern "C"
