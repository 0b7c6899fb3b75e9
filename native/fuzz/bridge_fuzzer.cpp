// libFuzzer target: drives the bridge's 29 exports through the stand-in VM with arguments taken
// from the fuzz input (handles, lengths, offsets, array sizes, strings of any UTF-16 units,
// VM calls that fail) against the scripted driver, whose answers come from the input too. After
// every call it checks what must hold whatever the input: no JNI misuse, local references
// balanced, failures negative, counts within the request, the array touched only where the
// driver delivered, and the driver handed exactly what the Java caller gave.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "d2xx.h"
#include "d2xx_exports.h"
#include "fake_jni.h"
#include "scripted_driver.h"

namespace {

using fakejni::FakeVm;
using fuzz::DriverCall;

// Longer lists and arrays fail with OutOfMemoryError in the stand-in VM, which keeps every
// allocation of the bridge small while still reaching its out-of-memory paths.
constexpr jsize kVmArrayLimit = 512;
constexpr int kMaxCallsPerInput = 24;
constexpr size_t kSerialNumberChars = 16;
constexpr size_t kDescriptionChars = 64;

[[noreturn]] void violated(const char* condition, int line) {
    std::fprintf(stderr, "bridge invariant violated at line %d: %s\n", line, condition);
    std::abort();
}

#define REQUIRE(condition) ((condition) ? void(0) : violated(#condition, __LINE__))

const char* const kFailingVmCalls[] = {
    "FindClass",    "GetMethodID",     "NewObject",       "NewObjectArray",
    "NewByteArray", "GetStringLength", "GetStringUTFRegion", "SetObjectArrayElement",
};

const char* const kVmExceptions[] = {
    "java/lang/NullPointerException",  "java/lang/ArrayIndexOutOfBoundsException",
    "java/lang/OutOfMemoryError",      "java/lang/NoClassDefFoundError",
    "java/lang/NoSuchMethodError",     "java/lang/StringIndexOutOfBoundsException",
    "java/lang/ArrayStoreException",
};

// The exports that take only a handle, with the one driver function each calls.
struct HandleExport {
    const char* driverFunction;
    jint(JNICALL* call)(JNIEnv*, jclass, jlong);
};

const HandleExport kHandleQueries[] = {
    {"FT_GetDriverVersion", Java_nl_tamsel_ftdi_usb_D2XX_getDriverVersion},
    {"FT_GetComPortNumber", Java_nl_tamsel_ftdi_usb_D2XX_getComPortNumber},
    {"FT_GetModemStatus", Java_nl_tamsel_ftdi_usb_D2XX_getModemStatus},
    {"FT_GetQueueStatus", Java_nl_tamsel_ftdi_usb_D2XX_getQueueStatus},
    {"FT_GetLatencyTimer", Java_nl_tamsel_ftdi_usb_D2XX_getLatencyTimer},
};

const HandleExport kHandleActions[] = {
    {"FT_Close", Java_nl_tamsel_ftdi_usb_D2XX_close},
    {"FT_ResetDevice", Java_nl_tamsel_ftdi_usb_D2XX_reset},
};

bool isVmException(const std::string& className) {
    return std::find(std::begin(kVmExceptions), std::end(kVmExceptions), className) !=
           std::end(kVmExceptions);
}

// A failure must read as failure: negative, and minus the status whenever that fits an int.
void requireError(jlong result, FT_STATUS status) {
    REQUIRE(status != FT_OK);
    REQUIRE(result < 0);
    if (status <= static_cast<FT_STATUS>(INT32_MAX)) {
        REQUIRE(result == -static_cast<jlong>(status));
    }
}

// The single driver call an export made.
DriverCall onlyCall(const std::vector<DriverCall>& calls, const char* function, jlong handle) {
    REQUIRE(calls.size() == 1);
    REQUIRE(calls[0].function == function);
    REQUIRE(calls[0].handle == static_cast<uint64_t>(handle));
    return calls[0];
}

// A driver text field as the bridge must pass it on: up to the first byte 0-31 or the end.
std::string fieldText(const char* field, size_t size) {
    size_t end = 0;
    while (end < size && !(field[end] >= 0 && field[end] <= 31)) {
        ++end;
    }
    return std::string(field, end);
}

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : in_(input) {
        vm_.limitArrayLength(kVmArrayLimit);
        fuzz::scriptDriver(&in_);
    }

    void run() {
        for (int i = 0; i < kMaxCallsPerInput && in_.remaining_bytes() > 0; ++i) {
            if (in_.ConsumeIntegralInRange<int>(0, 7) == 0) {
                vm_.failCall(in_.PickValueInArray(kFailingVmCalls),
                             in_.ConsumeIntegralInRange<int>(1, 6));
            }
            const size_t refsBefore = vm_.liveLocalRefs();
            newArguments_ = 0;
            const bool returnedObject = callOne(in_.ConsumeIntegralInRange<int>(0, 28));
            REQUIRE(vm_.misuses().empty());
            // Only the caller's arguments and the returned object are still referenced.
            REQUIRE(vm_.liveLocalRefs() == refsBefore + newArguments_ + (returnedObject ? 1 : 0));
            if (vm_.exceptionPending()) {
                REQUIRE(isVmException(vm_.exceptionClass()));
                vm_.clearException();
            }
        }
    }

private:
    jlong pickHandle() {
        if (in_.ConsumeBool()) {
            return in_.PickValueInArray<jlong>({0, -1, 1, LLONG_MIN, LLONG_MAX});
        }
        return in_.ConsumeIntegral<jlong>();
    }

    jint pickInt() {
        if (in_.ConsumeBool()) {
            return in_.PickValueInArray<jint>(
                {0, -1, 1, 255, 256, 257, 300, 0x108, INT_MIN, INT_MAX});
        }
        return in_.ConsumeIntegral<jint>();
    }

    // Mostly inside the array (so that transfers reach the driver), sometimes anything.
    jint pickRegionValue(jsize arraySize) {
        if (in_.ConsumeIntegralInRange<int>(0, 3) == 0) {
            return pickInt();
        }
        return in_.ConsumeIntegralInRange<jint>(0, arraySize);
    }

    // Null, or an array of any size from empty past the bridge's stack buffer.
    jbyteArray pickArray() {
        const int kind = in_.ConsumeIntegralInRange<int>(0, 15);
        if (kind == 0) {
            return nullptr;
        }
        const size_t size = kind < 10   ? in_.ConsumeIntegralInRange<size_t>(0, 300)
                            : kind < 15 ? in_.ConsumeIntegralInRange<size_t>(0, 5000)
                                        : in_.ConsumeIntegralInRange<size_t>(60000, 70000);
        std::vector<jbyte> bytes(size);
        const auto seed = in_.ConsumeIntegral<uint8_t>();
        for (size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<jbyte>(seed + i * 7);
        }
        ++newArguments_;
        return vm_.newByteArray(bytes);
    }

    // Any UTF-16 units, unpaired surrogates and zeros included; sometimes 10,000 of them.
    std::u16string pickText() {
        std::u16string text;
        if (in_.ConsumeIntegralInRange<int>(0, 15) == 0) {
            text.assign(10000, static_cast<char16_t>(in_.ConsumeIntegral<uint16_t>()));
            return text;
        }
        const size_t length = in_.ConsumeIntegralInRange<size_t>(0, 80);
        for (size_t i = 0; i < length && in_.remaining_bytes() > 0; ++i) {
            text += static_cast<char16_t>(in_.ConsumeIntegral<uint16_t>());
        }
        return text;
    }

    // Returns whether the export returned a new local reference.
    bool callOne(int which) {
        JNIEnv* env = vm_.env();
        switch (which) {
            case 0:
                return query("FT_GetLibraryVersion", 0,
                             Java_nl_tamsel_ftdi_usb_D2XX_getLibraryVersion(env, nullptr));
            case 1:
            case 2:
            case 3:
            case 4:
            case 5: {
                const HandleExport& entry = kHandleQueries[which - 1];
                const jlong h = pickHandle();
                return query(entry.driverFunction, h, entry.call(env, nullptr, h));
            }
            case 6:
                return notSupported(
                    Java_nl_tamsel_ftdi_usb_D2XX_setVIDPID(env, nullptr, pickInt(), pickInt()));
            case 7:
                return notSupported(Java_nl_tamsel_ftdi_usb_D2XX_getVID(env, nullptr));
            case 8:
                return notSupported(Java_nl_tamsel_ftdi_usb_D2XX_getPID(env, nullptr));
            case 9: {
                const jint index = pickInt();
                const jlong result = Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(env, nullptr, index);
                const DriverCall call = onlyCall(fuzz::takeDriverCalls(), "FT_Open", 0);
                REQUIRE(call.args.at(0) == static_cast<uint32_t>(index));
                requireHandleOrError(result, call);
                return false;
            }
            case 10:
                return openByText(true);
            case 11:
                return openByText(false);
            case 12: {
                const jint location = pickInt();
                const jlong result =
                    Java_nl_tamsel_ftdi_usb_D2XX_openByLocationId(env, nullptr, location);
                const DriverCall call = onlyCall(fuzz::takeDriverCalls(), "FT_OpenEx", 0);
                REQUIRE(call.args.at(0) == static_cast<uint64_t>(static_cast<int64_t>(location)));
                REQUIRE(call.args.at(1) == FT_OPEN_BY_LOCATION);
                requireHandleOrError(result, call);
                return false;
            }
            case 13:
            case 14: {
                const HandleExport& entry = kHandleActions[which - 13];
                const jlong h = pickHandle();
                return action(entry.call(env, nullptr, h), entry.driverFunction, h, {});
            }
            case 15:
                return deviceList();
            case 16:
                return transfer(true);
            case 17:
                return transfer(false);
            default:
                return setting(which);
        }
    }

    static bool query(const char* function, jlong handle, jint result) {
        const DriverCall made = onlyCall(fuzz::takeDriverCalls(), function, handle);
        if (made.status == FT_OK) {
            // The value travels bit for bit; the latency timer is one unsigned byte.
            REQUIRE(result == static_cast<jint>(static_cast<uint32_t>(made.outValue)));
        } else {
            requireError(result, made.status);
        }
        return false;
    }

    static bool notSupported(jint result) {
        REQUIRE(result == -17);
        REQUIRE(fuzz::takeDriverCalls().empty());
        return false;
    }

    static void requireHandleOrError(jlong result, const DriverCall& call) {
        if (call.status == FT_OK) {
            REQUIRE(static_cast<uint64_t>(result) == call.outValue);
        } else {
            requireError(result, call.status);
        }
    }

    static bool action(jint result, const char* function, jlong handle,
                       const std::vector<uint64_t>& args) {
        const DriverCall call = onlyCall(fuzz::takeDriverCalls(), function, handle);
        REQUIRE(call.args == args);
        if (call.status == FT_OK) {
            REQUIRE(result == 0);
        } else {
            requireError(result, call.status);
        }
        return false;
    }

    bool openByText(bool bySerialNumber) {
        JNIEnv* env = vm_.env();
        const bool isNull = in_.ConsumeIntegralInRange<int>(0, 15) == 0;
        const std::u16string chars = isNull ? std::u16string() : pickText();
        jstring text = isNull ? nullptr : vm_.newString(chars);
        newArguments_ += isNull ? 0 : 1;
        const jlong result =
            bySerialNumber ? Java_nl_tamsel_ftdi_usb_D2XX_openBySerialNumber(env, nullptr, text)
                           : Java_nl_tamsel_ftdi_usb_D2XX_openByDescription(env, nullptr, text);
        const std::vector<DriverCall> calls = fuzz::takeDriverCalls();
        if (isNull || vm_.exceptionPending()) {
            REQUIRE(vm_.exceptionPending());
            REQUIRE(calls.empty());
            return false;
        }
        const DriverCall call = onlyCall(calls, "FT_OpenEx", 0);
        const size_t limit = bySerialNumber ? kSerialNumberChars : kDescriptionChars;
        const std::string expected = fakejni::toModifiedUtf8(chars.substr(0, limit));
        REQUIRE(call.args.at(1) == (bySerialNumber ? FT_OPEN_BY_SERIAL_NUMBER
                                                   : FT_OPEN_BY_DESCRIPTION));
        REQUIRE(std::string(call.bytes.begin(), call.bytes.end()) == expected);
        requireHandleOrError(result, call);
        return false;
    }

    bool deviceList() {
        jobjectArray list = Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(vm_.env(), nullptr);
        const std::vector<DriverCall> calls = fuzz::takeDriverCalls();
        REQUIRE(!calls.empty() && calls.size() <= 2);
        const DriverCall& create = calls[0];
        REQUIRE(create.function == "FT_CreateDeviceInfoList");
        if (create.status != FT_OK || create.outValue > INT32_MAX) {
            REQUIRE(list == nullptr);
            REQUIRE(calls.size() == 1);
            return false;
        }
        const auto first = static_cast<uint32_t>(create.outValue);
        const DriverCall* get = calls.size() == 2 ? &calls[1] : nullptr;
        if (get != nullptr) {
            REQUIRE(get->function == "FT_GetDeviceInfoList");
            // The second call is told how many records the buffer holds: the first count.
            REQUIRE(get->args.at(0) == first);
        }
        if (list == nullptr) {
            REQUIRE(vm_.exceptionPending() || (get != nullptr && get->status != FT_OK));
            return false;
        }
        REQUIRE(vm_.isDeviceInfoArray(list));
        const std::vector<jobject> elements = vm_.elementsOf(list);
        REQUIRE(elements.size() == first);
        REQUIRE((first == 0) == (get == nullptr));
        if (get == nullptr) {
            return true;
        }
        REQUIRE(get->status == FT_OK);
        const uint32_t filled = vm_.exceptionPending()
                                    ? 0
                                    : std::min(static_cast<uint32_t>(get->outValue), first);
        for (uint32_t i = 0; i < first; ++i) {
            if (i >= filled) {
                REQUIRE(elements[i] == nullptr);
                continue;
            }
            REQUIRE(elements[i] != nullptr);
            const fakejni::DeviceInfoArgs info = vm_.deviceInfoOf(elements[i]);
            const FT_DEVICE_LIST_INFO_NODE& node = get->records.at(i);
            REQUIRE(info.flags == static_cast<jint>(node.Flags));
            REQUIRE(info.type == static_cast<jint>(node.Type));
            REQUIRE(info.id == static_cast<jint>(node.ID));
            REQUIRE(info.locationId == static_cast<jint>(node.LocId));
            REQUIRE(info.serialNumber == fieldText(node.SerialNumber, kSerialNumberChars));
            REQUIRE(info.description == fieldText(node.Description, kDescriptionChars));
            REQUIRE(static_cast<uint64_t>(info.handle) ==
                    reinterpret_cast<uintptr_t>(node.ftHandle));
        }
        return true;
    }

    bool transfer(bool isRead) {
        const jlong handle = pickHandle();
        jbyteArray array = pickArray();
        const auto bytesOf = [&] {
            return array != nullptr ? vm_.bytesOf(array) : std::vector<jbyte>();
        };
        const std::vector<jbyte> before = bytesOf();
        const auto size = static_cast<jsize>(before.size());
        const jint offset = pickRegionValue(size);
        const jint length = pickRegionValue(size);
        const auto exported =
            isRead ? Java_nl_tamsel_ftdi_usb_D2XX_read : Java_nl_tamsel_ftdi_usb_D2XX_write;
        const jint result = exported(vm_.env(), nullptr, handle, array, offset, length);
        const std::vector<DriverCall> calls = fuzz::takeDriverCalls();
        const std::vector<jbyte> after = bytesOf();
        const bool inside = array != nullptr && offset >= 0 && length >= 0 &&
                            static_cast<int64_t>(offset) + length <= size;
        if (!inside || length == 0) {
            // Never reaches the driver; a broken region raises, an empty one returns 0.
            REQUIRE(calls.empty());
            REQUIRE(after == before);
            REQUIRE(result == 0);
            REQUIRE(inside != vm_.exceptionPending());
            return false;
        }
        REQUIRE(!vm_.exceptionPending());
        const DriverCall call = onlyCall(calls, isRead ? "FT_Read" : "FT_Write", handle);
        REQUIRE(call.args.at(0) == static_cast<uint32_t>(length));
        const auto regionStart = before.begin() + offset;
        if (!isRead) {
            REQUIRE(std::equal(regionStart, regionStart + length, call.bytes.begin(),
                               call.bytes.end(),
                               [](jbyte a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
        }
        if (call.status != FT_OK) {
            requireError(result, call.status);
            REQUIRE(after == before);
            return false;
        }
        const auto count =
            static_cast<jint>(std::min<uint64_t>(call.outValue, static_cast<uint64_t>(length)));
        REQUIRE(result == count);
        std::vector<jbyte> expected = before;
        if (isRead) {
            std::transform(call.bytes.begin(), call.bytes.begin() + count,
                           expected.begin() + offset,
                           [](uint8_t b) { return static_cast<jbyte>(b); });
        }
        REQUIRE(after == expected);
        return false;
    }

    bool setting(int which) {
        JNIEnv* env = vm_.env();
        const jlong h = pickHandle();
        const jint a = pickInt();
        const jint b = pickInt();
        const auto byte = [](jint v) -> uint64_t { return static_cast<uint8_t>(v); };
        const auto word = [](jint v) -> uint64_t { return static_cast<uint32_t>(v); };
        const auto flag = [](jint v) { return static_cast<jboolean>(v); };
        const bool on = flag(a) != JNI_FALSE;
        switch (which) {
            case 18:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setBaudrate(env, nullptr, h, a),
                              "FT_SetBaudRate", h, {word(a)});
            case 19: {
                const jint c = pickInt();
                return action(
                    Java_nl_tamsel_ftdi_usb_D2XX_setDataCharacteristics(env, nullptr, h, a, b, c),
                    "FT_SetDataCharacteristics", h, {byte(a), byte(b), byte(c)});
            }
            case 20:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setTimeouts(env, nullptr, h, a, b),
                              "FT_SetTimeouts", h, {word(a), word(b)});
            case 21:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setFlowControl(env, nullptr, h, a),
                              "FT_SetFlowControl", h, {static_cast<uint16_t>(a), 0x11, 0x13});
            case 22: {
                const auto eventChar = static_cast<jbyte>(pickInt());
                const auto errorChar = static_cast<jbyte>(pickInt());
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setChars(env, nullptr, h, eventChar,
                                                                    flag(a), errorChar, flag(b)),
                              "FT_SetChars", h,
                              {static_cast<uint8_t>(eventChar), on ? 1u : 0u,
                               static_cast<uint8_t>(errorChar), flag(b) != JNI_FALSE ? 1u : 0u});
            }
            case 23:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setDTR(env, nullptr, h, flag(a)),
                              on ? "FT_SetDtr" : "FT_ClrDtr", h, {});
            case 24:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setRTS(env, nullptr, h, flag(a)),
                              on ? "FT_SetRts" : "FT_ClrRts", h, {});
            case 25:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setBreak(env, nullptr, h, flag(a)),
                              on ? "FT_SetBreakOn" : "FT_SetBreakOff", h, {});
            case 26:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_purge(env, nullptr, h, a), "FT_Purge", h,
                              {word(a)});
            case 27:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setLatencyTimer(env, nullptr, h, a),
                              "FT_SetLatencyTimer", h, {byte(a)});
            default:
                return action(Java_nl_tamsel_ftdi_usb_D2XX_setUSBParameters(env, nullptr, h, a),
                              "FT_SetUSBParameters", h, {word(a), 0});
        }
    }

    FuzzedDataProvider& in_;
    FakeVm vm_;
    size_t newArguments_ = 0;  // local references the fuzzer made for the current call
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Session(input).run();
    return 0;
}
