// libFuzzer target: drives the modes library's JNI functions through the stand-in VM with
// arguments from the fuzz input (handles, masks, offsets, lengths, array sizes, null arrays,
// event timeouts) against the stand-in driver, whose status and outputs come from the input too.
// After every call it checks what must hold whatever the input: no JNI misuse, an exception only
// for a broken contract and then no driver call, failures negative, counts within the request,
// and the array touched only inside its region.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fake_jni.h"
#include "fake_modes_driver.h"
#include "modes_exports.h"

namespace {

using fakejni::FakeVm;

constexpr int kMaxCallsPerInput = 24;
constexpr jsize kMaxArray = 600;

[[noreturn]] void violated(const char* condition, int line) {
    std::fprintf(stderr, "modes invariant violated at line %d: %s\n", line, condition);
    std::abort();
}

#define REQUIRE(condition) ((condition) ? void(0) : violated(#condition, __LINE__))

void scriptDriver(FuzzedDataProvider& input) {
    FakeModesScript& script = fakeModesScript();
    script.status = input.ConsumeBool() ? 0 : input.ConsumeIntegral<uint32_t>();
    script.pins = input.ConsumeIntegral<uint8_t>();
    script.type = input.ConsumeIntegral<uint32_t>();
    script.id = input.ConsumeIntegral<uint32_t>();
    script.rxBytes = input.ConsumeIntegral<uint32_t>();
    script.word = input.ConsumeIntegral<uint16_t>();
    script.userAreaSize = input.ConsumeIntegral<uint32_t>();
    script.reportBytesRead = input.ConsumeBool();
    script.bytesRead = input.ConsumeIntegral<uint32_t>();
}

// A length near an edge more often than a uniform pick would give.
jint fuzzedInt(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return input.ConsumeIntegralInRange<jint>(-2, 2);
    case 1:
        return input.PickValueInArray({INT32_MIN, INT32_MAX, INT32_MAX - 1, 255, 256, 257});
    default:
        return input.ConsumeIntegralInRange<jint>(-4, kMaxArray + 4);
    }
}

jbyteArray fuzzedBytes(FakeVm& vm, FuzzedDataProvider& input) {
    if (input.ConsumeIntegralInRange(0, 9) == 0) {
        return nullptr;
    }
    return vm.newByteArray(std::vector<jbyte>(input.ConsumeIntegralInRange<size_t>(0, kMaxArray), 0x55));
}

jintArray fuzzedInts(FakeVm& vm, FuzzedDataProvider& input) {
    if (input.ConsumeIntegralInRange(0, 9) == 0) {
        return nullptr;
    }
    return vm.newIntArray(std::vector<jint>(input.ConsumeIntegralInRange<size_t>(0, 5), -7));
}

// A transfer: an exception exactly when the region is broken, and then no driver call; else a
// count within the region (or 0 for a write) or a negative status, and bytes only in the region.
void checkTransfer(FakeVm& vm, FuzzedDataProvider& input, bool reading) {
    jbyteArray array = fuzzedBytes(vm, input);
    const jint offset = fuzzedInt(input);
    const jint length = fuzzedInt(input);
    const uint32_t callsBefore = fakeModesTotalCalls();
    const auto call = reading ? Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead : Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite;
    const jint result = call(vm.env(), nullptr, 1, array, offset, length);
    const jsize size = array == nullptr ? 0 : static_cast<jsize>(vm.bytesOf(array).size());
    const bool broken = array == nullptr || offset < 0 || length < 0 || length > size - offset;
    REQUIRE(vm.exceptionPending() == broken);
    if (broken) {
        REQUIRE(result == 0 && fakeModesTotalCalls() == callsBefore);
        vm.clearException();
        return;
    }
    REQUIRE(result <= (reading ? length : 0));
    if (length == 0) {
        REQUIRE(result == 0 && fakeModesTotalCalls() == callsBefore);
    }
    const std::vector<jbyte> bytes = vm.bytesOf(array);
    const jint written = reading && result > 0 ? result : 0;
    for (jsize i = 0; i < size; ++i) {
        if (i < offset || i >= offset + written) {
            REQUIRE(bytes[static_cast<size_t>(i)] == 0x55);
        }
    }
}

void checkFixedOutputs(FakeVm& vm, FuzzedDataProvider& input, bool deviceInfo) {
    jintArray ints = fuzzedInts(vm, input);
    jbyteArray serial = deviceInfo ? fuzzedBytes(vm, input) : nullptr;
    jbyteArray description = deviceInfo ? fuzzedBytes(vm, input) : nullptr;
    const uint32_t callsBefore = fakeModesTotalCalls();
    const jint result =
        deviceInfo ? Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(vm.env(), nullptr, 1, ints, serial, description)
                   : Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(vm.env(), nullptr, 1, ints);
    auto shorter = [&](jarray array, size_t minimum) {
        if (array == nullptr) {
            return true;
        }
        const size_t size = deviceInfo && array != ints ? vm.bytesOf(static_cast<jbyteArray>(array)).size()
                                                        : vm.intsOf(static_cast<jintArray>(array)).size();
        return size < minimum;
    };
    const bool broken = deviceInfo ? shorter(ints, 2) || shorter(serial, 16) || shorter(description, 64)
                                   : shorter(ints, 3);
    REQUIRE(vm.exceptionPending() == broken);
    if (broken) {
        REQUIRE(result == 0 && fakeModesTotalCalls() == callsBefore);
        vm.clearException();
        return;
    }
    REQUIRE(result <= 0);
    if (result < 0) {
        for (jint value : vm.intsOf(ints)) {
            REQUIRE(value == -7);
        }
    }
}

void checkEvent(FakeVm& vm, FuzzedDataProvider& input) {
    const jlong event = Java_nl_tamsel_ftdi_usb_D2XXModes_createEvent(vm.env(), nullptr);
    REQUIRE(event > 0);
    bool pending = false;
    for (int step = input.ConsumeIntegralInRange(0, 4); step > 0; --step) {
        if (input.ConsumeBool()) {
            REQUIRE(Java_nl_tamsel_ftdi_usb_D2XXModes_signalEvent(vm.env(), nullptr, event) == 0);
            pending = true;
        } else {
            // Only an empty or negative timeout: a pending signal decides the result at once.
            const jint timeout = input.ConsumeBool() ? 0 : -input.ConsumeIntegralInRange<jint>(1, 5);
            const jint result = Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(vm.env(), nullptr, event, timeout);
            if (timeout < 0) {
                REQUIRE(result == -6);
            } else {
                REQUIRE(result == (pending ? 1 : 0));
                pending = false;
            }
        }
    }
    REQUIRE(Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(vm.env(), nullptr, event) == 0);
}

void checkScalarCall(FakeVm& vm, FuzzedDataProvider& input) {
    const jlong handle = input.ConsumeIntegral<jlong>();
    const jint a = input.ConsumeIntegral<jint>();
    const jint b = input.ConsumeIntegral<jint>();
    JNIEnv* env = vm.env();
    const bool failing = fakeModesScript().status != 0;
    jint result = 0;
    jint highest = 0;
    switch (input.ConsumeIntegralInRange(0, 9)) {
    case 0: result = Java_nl_tamsel_ftdi_usb_D2XXModes_setBitMode(env, nullptr, handle, a, b); break;
    case 1: result = Java_nl_tamsel_ftdi_usb_D2XXModes_getBitMode(env, nullptr, handle); highest = 0xFF; break;
    case 2: result = Java_nl_tamsel_ftdi_usb_D2XXModes_readEE(env, nullptr, handle, a); highest = 0xFFFF; break;
    case 3: result = Java_nl_tamsel_ftdi_usb_D2XXModes_writeEE(env, nullptr, handle, a, b); break;
    case 4: result = Java_nl_tamsel_ftdi_usb_D2XXModes_eraseEE(env, nullptr, handle); break;
    case 5: result = Java_nl_tamsel_ftdi_usb_D2XXModes_eeUASize(env, nullptr, handle); highest = INT32_MAX; break;
    case 6: result = Java_nl_tamsel_ftdi_usb_D2XXModes_setEventNotification(env, nullptr, handle, a, 0); break;
    case 7: result = Java_nl_tamsel_ftdi_usb_D2XXModes_resetPort(env, nullptr, handle); break;
    case 8: REQUIRE(Java_nl_tamsel_ftdi_usb_D2XXModes_cyclePort(env, nullptr, handle) == -17); return;
    default: REQUIRE(Java_nl_tamsel_ftdi_usb_D2XXModes_availableFunctions(env, nullptr) == 0x0FFF); return;
    }
    REQUIRE(!vm.exceptionPending());
    if (failing) {
        REQUIRE(result < 0);
    } else if (highest != INT32_MAX) {
        // eeUASize passes the size on unchanged, so above INT32_MAX it reads negative.
        REQUIRE(result >= 0 && result <= highest);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    fakeModesReset();
    FakeVm vm;
    for (int call = 0; call < kMaxCallsPerInput && input.remaining_bytes() > 0; ++call) {
        scriptDriver(input);
        switch (input.ConsumeIntegralInRange(0, 5)) {
        case 0: checkTransfer(vm, input, true); break;
        case 1: checkTransfer(vm, input, false); break;
        case 2: checkFixedOutputs(vm, input, true); break;
        case 3: checkFixedOutputs(vm, input, false); break;
        case 4: checkEvent(vm, input); break;
        default: checkScalarCall(vm, input); break;
        }
        REQUIRE(vm.misuses().empty());
    }
    return 0;
}
