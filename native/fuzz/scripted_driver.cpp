#include "scripted_driver.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <initializer_list>
#include <type_traits>

namespace fuzz {
namespace {

FuzzedDataProvider* input = nullptr;
std::vector<DriverCall> calls;

uint64_t bits(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

DriverCall& record(const char* function, FT_HANDLE handle, std::initializer_list<uint64_t> args) {
    DriverCall call;
    call.function = function;
    call.handle = bits(handle);
    call.args = args;
    calls.push_back(std::move(call));
    return calls.back();
}

// Mostly success, then the published statuses, then values no driver publishes: those whose
// negation does not fit a negative Java int among them.
FT_STATUS pickStatus() {
    const uint8_t selector = input->ConsumeIntegral<uint8_t>();
    if (selector < 160) {
        return FT_OK;
    }
    if (selector < 220) {
        return 1u + selector % 19u;
    }
    if (selector < 240) {
        return input->PickValueInArray({20u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFFu});
    }
    return input->ConsumeIntegral<uint32_t>();
}

// A well-behaved driver writes out-values only on success; this one sometimes does anyway.
bool writesOutValues(FT_STATUS status) {
    return status == FT_OK || input->ConsumeBool();
}

// A count for a request of `asked`: exact, short, larger than asked, or anything at all.
uint32_t pickCount(uint32_t asked) {
    switch (input->ConsumeIntegralInRange<int>(0, 4)) {
        case 0:
            return asked;
        case 1:
            return input->ConsumeIntegralInRange<uint32_t>(0, asked);
        case 2:
            return asked + input->ConsumeIntegralInRange<uint32_t>(1, 1000);
        case 3:
            return input->ConsumeIntegral<uint32_t>();
        default:
            return 0xFFFFFFFFu;
    }
}

// Fills every byte of the buffer, so that a buffer shorter than announced is caught.
void scribble(uint8_t* buffer, uint32_t length, std::vector<uint8_t>& copy) {
    const uint8_t seed = input->ConsumeIntegral<uint8_t>();
    for (uint32_t i = 0; i < length; ++i) {
        buffer[i] = static_cast<uint8_t>(seed + i * 31u);
    }
    copy.assign(buffer, buffer + length);
}

FT_STATUS action(const char* function, FT_HANDLE handle, std::initializer_list<uint64_t> args) {
    DriverCall& call = record(function, handle, args);
    call.status = pickStatus();
    return call.status;
}

template <typename Value>
FT_STATUS queryValue(const char* function, FT_HANDLE handle, Value* out) {
    DriverCall& call = record(function, handle, {});
    call.status = pickStatus();
    if (writesOutValues(call.status)) {
        const Value value = input->ConsumeIntegral<Value>();
        *out = value;
        call.outValue = static_cast<std::make_unsigned_t<Value>>(value);
    }
    return call.status;
}

FT_STATUS openWith(DriverCall& call, FT_HANDLE* handle) {
    call.status = pickStatus();
    if (writesOutValues(call.status)) {
        const uint64_t value = input->ConsumeIntegral<uint64_t>();
        *handle = reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(value));
        call.outValue = value;
    }
    return call.status;
}

// Small lists mostly; sometimes one near or past what the VM can hold, or any count at all.
uint32_t pickDeviceCount() {
    switch (input->ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
        case 1:
            return input->ConsumeIntegralInRange<uint32_t>(0, 8);
        case 2:
            return input->ConsumeIntegralInRange<uint32_t>(500, 520);
        default:
            return input->ConsumeIntegral<uint32_t>();
    }
}

// The first records come from the input byte for byte; the rest repeat the last of them.
void fillRecords(FT_DEVICE_LIST_INFO_NODE* list, uint32_t capacity,
                 std::vector<FT_DEVICE_LIST_INFO_NODE>& copy) {
    FT_DEVICE_LIST_INFO_NODE node{};
    for (uint32_t i = 0; i < capacity; ++i) {
        if (i < 8) {
            input->ConsumeData(&node, sizeof node);
        }
        std::memcpy(&list[i], &node, sizeof node);
    }
    copy.assign(list, list + capacity);
}

}  // namespace

void scriptDriver(FuzzedDataProvider* provider) {
    input = provider;
    calls.clear();
}

std::vector<DriverCall> takeDriverCalls() {
    std::vector<DriverCall> taken;
    taken.swap(calls);
    return taken;
}

}  // namespace fuzz

using fuzz::action;
using fuzz::queryValue;

extern "C" {

FT_STATUS FT_API FT_Open(int32_t deviceNumber, FT_HANDLE* handle) {
    return fuzz::openWith(fuzz::record("FT_Open", nullptr, {static_cast<uint32_t>(deviceNumber)}),
                          handle);
}

FT_STATUS FT_API FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle) {
    fuzz::DriverCall& call = fuzz::record("FT_OpenEx", nullptr, {fuzz::bits(arg), flags});
    if (flags == FT_OPEN_BY_SERIAL_NUMBER || flags == FT_OPEN_BY_DESCRIPTION) {
        // Reads up to the terminator, as the driver does: an unterminated text is caught here.
        const char* text = static_cast<const char*>(arg);
        call.bytes.assign(text, text + std::strlen(text));
    }
    return fuzz::openWith(call, handle);
}

FT_STATUS FT_API FT_Close(FT_HANDLE handle) {
    return action("FT_Close", handle, {});
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE handle) {
    return action("FT_ResetDevice", handle, {});
}

FT_STATUS FT_API FT_Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead,
                         uint32_t* bytesReturned) {
    fuzz::DriverCall& call = fuzz::record("FT_Read", handle, {bytesToRead});
    call.status = fuzz::pickStatus();
    fuzz::scribble(static_cast<uint8_t*>(buffer), bytesToRead, call.bytes);
    if (fuzz::writesOutValues(call.status)) {
        *bytesReturned = fuzz::pickCount(bytesToRead);
        call.outValue = *bytesReturned;
    }
    return call.status;
}

FT_STATUS FT_API FT_Write(FT_HANDLE handle, void* buffer, uint32_t bytesToWrite,
                          uint32_t* bytesWritten) {
    fuzz::DriverCall& call = fuzz::record("FT_Write", handle, {bytesToWrite});
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    call.bytes.assign(bytes, bytes + bytesToWrite);
    call.status = fuzz::pickStatus();
    if (fuzz::writesOutValues(call.status)) {
        *bytesWritten = fuzz::pickCount(bytesToWrite);
        call.outValue = *bytesWritten;
    }
    return call.status;
}

FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate) {
    return action("FT_SetBaudRate", handle, {baudRate});
}

FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength,
                                           uint8_t stopBits, uint8_t parity) {
    return action("FT_SetDataCharacteristics", handle, {wordLength, stopBits, parity});
}

FT_STATUS FT_API FT_SetFlowControl(FT_HANDLE handle, uint16_t flowControl, uint8_t xon,
                                   uint8_t xoff) {
    return action("FT_SetFlowControl", handle, {flowControl, xon, xoff});
}

FT_STATUS FT_API FT_SetDtr(FT_HANDLE handle) {
    return action("FT_SetDtr", handle, {});
}

FT_STATUS FT_API FT_ClrDtr(FT_HANDLE handle) {
    return action("FT_ClrDtr", handle, {});
}

FT_STATUS FT_API FT_SetRts(FT_HANDLE handle) {
    return action("FT_SetRts", handle, {});
}

FT_STATUS FT_API FT_ClrRts(FT_HANDLE handle) {
    return action("FT_ClrRts", handle, {});
}

FT_STATUS FT_API FT_GetModemStatus(FT_HANDLE handle, uint32_t* modemStatus) {
    return queryValue("FT_GetModemStatus", handle, modemStatus);
}

FT_STATUS FT_API FT_SetChars(FT_HANDLE handle, uint8_t eventChar, uint8_t eventCharEnabled,
                             uint8_t errorChar, uint8_t errorCharEnabled) {
    return action("FT_SetChars", handle,
                  {eventChar, eventCharEnabled, errorChar, errorCharEnabled});
}

FT_STATUS FT_API FT_Purge(FT_HANDLE handle, uint32_t mask) {
    return action("FT_Purge", handle, {mask});
}

FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE handle, uint32_t readTimeout, uint32_t writeTimeout) {
    return action("FT_SetTimeouts", handle, {readTimeout, writeTimeout});
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE handle, uint32_t* rxBytes) {
    return queryValue("FT_GetQueueStatus", handle, rxBytes);
}

FT_STATUS FT_API FT_SetBreakOn(FT_HANDLE handle) {
    return action("FT_SetBreakOn", handle, {});
}

FT_STATUS FT_API FT_SetBreakOff(FT_HANDLE handle) {
    return action("FT_SetBreakOff", handle, {});
}

FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE handle, uint8_t latency) {
    return action("FT_SetLatencyTimer", handle, {latency});
}

FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE handle, uint8_t* latency) {
    return queryValue("FT_GetLatencyTimer", handle, latency);
}

FT_STATUS FT_API FT_SetUSBParameters(FT_HANDLE handle, uint32_t inTransferSize,
                                     uint32_t outTransferSize) {
    return action("FT_SetUSBParameters", handle, {inTransferSize, outTransferSize});
}

FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t* deviceCount) {
    fuzz::DriverCall& call = fuzz::record("FT_CreateDeviceInfoList", nullptr, {});
    call.status = fuzz::pickStatus();
    if (fuzz::writesOutValues(call.status)) {
        *deviceCount = fuzz::pickDeviceCount();
        call.outValue = *deviceCount;
    }
    return call.status;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, uint32_t* deviceCount) {
    const uint32_t capacity = *deviceCount;
    fuzz::DriverCall& call = fuzz::record("FT_GetDeviceInfoList", nullptr, {capacity});
    call.status = fuzz::pickStatus();
    // The count is chosen before the records take what is left of the input.
    const bool writesCount = fuzz::writesOutValues(call.status);
    const uint32_t count = writesCount ? fuzz::pickCount(capacity) : 0;
    fuzz::fillRecords(list, capacity, call.records);
    if (writesCount) {
        *deviceCount = count;
        call.outValue = count;
    }
    return call.status;
}

FT_STATUS FT_API FT_GetDriverVersion(FT_HANDLE handle, uint32_t* version) {
    return queryValue("FT_GetDriverVersion", handle, version);
}

FT_STATUS FT_API FT_GetLibraryVersion(uint32_t* version) {
    return queryValue("FT_GetLibraryVersion", nullptr, version);
}

FT_STATUS FT_API FT_GetComPortNumber(FT_HANDLE handle, int32_t* comPortNumber) {
    return queryValue("FT_GetComPortNumber", handle, comPortNumber);
}

}  // extern "C"
