// The modes library's JNI functions called through the stand-in VM, against a stand-in driver
// that has every function but FT_CyclePort. Run under AddressSanitizer and
// UndefinedBehaviorSanitizer, these also prove that no path reads or writes past a buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake_jni.h"
#include "fake_modes_driver.h"
#include "modes_exports.h"

namespace {

constexpr jlong kHandle = 0x7FEDCBA987654321LL;
constexpr const char* kNpe = "java/lang/NullPointerException";
constexpr const char* kAioobe = "java/lang/ArrayIndexOutOfBoundsException";
constexpr jint kNotSupported = -17;
constexpr jint kInvalidParameter = -6;
// Long enough never to end a wait in a test that expects a signal; never asserted on.
constexpr jint kPatientMillis = 600000;

class ModesTest : public ::testing::Test {
protected:
    void SetUp() override { fakeModesReset(); }

    void TearDown() override {
        std::string misuses;
        for (const std::string& misuse : vm.misuses()) {
            misuses += misuse + "\n";
        }
        EXPECT_TRUE(misuses.empty()) << misuses;
    }

    std::vector<jbyte> filled(size_t size, jbyte value = 0x55) {
        return std::vector<jbyte>(size, value);
    }

    fakejni::FakeVm vm;
    JNIEnv* env = vm.env();
};

// ---- Broken contracts: exception, driver not called, arrays untouched ----

struct BrokenCall {
    const char* name;
    std::function<jint(fakejni::FakeVm&, JNIEnv*)> call;
    const char* exception;
};

void PrintTo(const BrokenCall& call, std::ostream* out) {
    *out << call.name;
}

class BrokenContractTest : public ModesTest,
                           public ::testing::WithParamInterface<BrokenCall> {};

jint deviceInfo(fakejni::FakeVm& vm, JNIEnv* env, jsize ids, jsize serial, jsize description) {
    return Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(
        env, nullptr, kHandle, ids < 0 ? nullptr : vm.newIntArray(std::vector<jint>(size_t(ids), 7)),
        serial < 0 ? nullptr : vm.newByteArray(std::vector<jbyte>(size_t(serial), 7)),
        description < 0 ? nullptr : vm.newByteArray(std::vector<jbyte>(size_t(description), 7)));
}

using Transfer = jint (*)(JNIEnv*, jclass, jlong, jbyteArray, jint, jint);

BrokenCall region(const char* name, Transfer transfer, jsize size, jint offset, jint length) {
    return {name,
            [=](fakejni::FakeVm& vm, JNIEnv* env) {
                jbyteArray array = size < 0 ? nullptr : vm.newByteArray(std::vector<jbyte>(size_t(size), 7));
                return transfer(env, nullptr, kHandle, array, offset, length);
            },
            size < 0 ? kNpe : kAioobe};
}

std::vector<BrokenCall> brokenCalls() {
    std::vector<BrokenCall> calls = {
        {"deviceInfoNullIds", [](auto& vm, auto env) { return deviceInfo(vm, env, -1, 16, 64); }, kNpe},
        {"deviceInfoNullSerial", [](auto& vm, auto env) { return deviceInfo(vm, env, 2, -1, 64); }, kNpe},
        {"deviceInfoNullDescription", [](auto& vm, auto env) { return deviceInfo(vm, env, 2, 16, -1); }, kNpe},
        {"deviceInfoShortIds", [](auto& vm, auto env) { return deviceInfo(vm, env, 1, 16, 64); }, kAioobe},
        {"deviceInfoShortSerial", [](auto& vm, auto env) { return deviceInfo(vm, env, 2, 15, 64); }, kAioobe},
        {"deviceInfoShortDescription", [](auto& vm, auto env) { return deviceInfo(vm, env, 2, 16, 63); }, kAioobe},
        {"deviceInfoEmptyIds", [](auto& vm, auto env) { return deviceInfo(vm, env, 0, 16, 64); }, kAioobe},
        {"statusNull",
         [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(env, nullptr, kHandle, nullptr); },
         kNpe},
        {"statusShort",
         [](auto& vm, auto env) {
             return Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(env, nullptr, kHandle, vm.newIntArray({1, 2}));
         },
         kAioobe},
    };
    const struct {
        const char* name;
        Transfer transfer;
    } transfers[] = {{"uaRead", Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead},
                     {"uaWrite", Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite}};
    const struct {
        const char* suffix;
        jsize size;
        jint offset;
        jint length;
    } regions[] = {
        {"Null", -1, 0, 0},
        {"NegativeOffset", 8, -1, 1},
        {"NegativeLength", 8, 0, -1},
        {"PastTheEnd", 8, 4, 5},
        {"OffsetAtMaxInt", 8, INT_MAX, 1},
        {"LengthAtMaxInt", 8, 1, INT_MAX},
        {"BothAtMaxInt", 8, INT_MAX, INT_MAX},
        {"OffsetAtMinInt", 8, INT_MIN, 4},
        {"EmptyArrayOffsetOne", 0, 1, 0},
    };
    static std::vector<std::string> names;  // keeps the generated names alive
    names.reserve(std::size(transfers) * std::size(regions));
    for (const auto& transfer : transfers) {
        for (const auto& r : regions) {
            names.push_back(std::string(transfer.name) + r.suffix);
            calls.push_back(region(names.back().c_str(), transfer.transfer, r.size, r.offset, r.length));
        }
    }
    return calls;
}

TEST_P(BrokenContractTest, ThrowsAndLeavesTheDriverAlone) {
    const jint result = GetParam().call(vm, env);

    EXPECT_EQ(0, result);
    EXPECT_EQ(GetParam().exception, vm.exceptionClass()) << vm.exceptionMessage();
    EXPECT_EQ(0u, fakeModesTotalCalls());
    vm.clearException();
}

INSTANTIATE_TEST_SUITE_P(Modes, BrokenContractTest, ::testing::ValuesIn(brokenCalls()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(ModesTest, ShortArraysAreLeftUntouched) {
    jintArray ids = vm.newIntArray({7});
    jbyteArray serial = vm.newByteArray(filled(16));
    jbyteArray description = vm.newByteArray(filled(64));

    Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(env, nullptr, kHandle, ids, serial, description);

    EXPECT_EQ(std::vector<jint>{7}, vm.intsOf(ids));
    EXPECT_EQ(filled(16), vm.bytesOf(serial));
    EXPECT_EQ(filled(64), vm.bytesOf(description));
    vm.clearException();
}

// ---- Value or error ----

struct ValueCall {
    const char* name;
    std::function<void(FakeModesScript&)> script;
    std::function<jint(fakejni::FakeVm&, JNIEnv*)> call;
    jint expected;
};

void PrintTo(const ValueCall& call, std::ostream* out) {
    *out << call.name;
}

class ValueOrErrorTest : public ModesTest, public ::testing::WithParamInterface<ValueCall> {};

std::vector<ValueCall> valueCalls() {
    auto none = [](FakeModesScript&) {};
    return {
        {"setBitMode", none, [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_setBitMode(env, nullptr, kHandle, 0xFF, 2); }, 0},
        // Pins above 0x7F stay positive: the byte is unsigned.
        {"getBitModeHighPins", [](auto& s) { s.pins = 0xA5; },
         [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_getBitMode(env, nullptr, kHandle); }, 0xA5},
        {"readEEAllOnes", [](auto& s) { s.word = 0xFFFF; },
         [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_readEE(env, nullptr, kHandle, 3); }, 0xFFFF},
        {"writeEE", none, [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_writeEE(env, nullptr, kHandle, 3, 9); }, 0},
        {"eraseEE", none, [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_eraseEE(env, nullptr, kHandle); }, 0},
        {"eeUASize", [](auto& s) { s.userAreaSize = 0x7FFFFFFF; },
         [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_eeUASize(env, nullptr, kHandle); }, 0x7FFFFFFF},
        {"eeUARead", none,
         [](auto& vm, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead(env, nullptr, kHandle, vm.newByteArray(std::vector<jbyte>(10)), 2, 5); }, 5},
        {"eeUAWrite", none,
         [](auto& vm, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite(env, nullptr, kHandle, vm.newByteArray(std::vector<jbyte>(10)), 2, 5); }, 0},
        {"getStatus", none,
         [](auto& vm, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(env, nullptr, kHandle, vm.newIntArray({0, 0, 0})); }, 0},
        {"getDeviceInfo", none,
         [](auto& vm, auto env) { return deviceInfo(vm, env, 2, 16, 64); }, 0},
        {"setEventNotification", none,
         [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_setEventNotification(env, nullptr, kHandle, 1, 0); }, 0},
        {"resetPort", none, [](auto&, auto env) { return Java_nl_tamsel_ftdi_usb_D2XXModes_resetPort(env, nullptr, kHandle); }, 0},
    };
}

TEST_P(ValueOrErrorTest, SuccessGivesTheValue) {
    GetParam().script(fakeModesScript());

    EXPECT_EQ(GetParam().expected, GetParam().call(vm, env));
    EXPECT_EQ(1u, fakeModesTotalCalls());
    EXPECT_EQ(reinterpret_cast<FT_HANDLE>(kHandle), fakeModesRecord().handle);
}

TEST_P(ValueOrErrorTest, FailureGivesTheNegatedStatus) {
    const struct {
        FT_STATUS status;
        jint expected;
    } failures[] = {{4, -4}, {17, -17}, {0x7FFFFFFF, -0x7FFFFFFF}, {0x80000001u, INT_MIN}, {0xFFFFFFFFu, INT_MIN}};
    for (const auto& failure : failures) {
        GetParam().script(fakeModesScript());
        fakeModesScript().status = failure.status;
        EXPECT_EQ(failure.expected, GetParam().call(vm, env)) << "status " << failure.status;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ValueOrErrorTest, ::testing::ValuesIn(valueCalls()),
                         [](const auto& test) { return std::string(test.param.name); });

// ---- Arguments and outputs ----

TEST_F(ModesTest, NumbersAreCutToTheDriversWidths) {
    const struct {
        const char* name;
        std::function<void()> call;
        uint32_t first;
        uint32_t second;
    } cases[] = {
        {"bit mode", [&] { Java_nl_tamsel_ftdi_usb_D2XXModes_setBitMode(env, nullptr, kHandle, 0x1F0, 0x240); }, 0xF0, 0x40},
        {"negative offset", [&] { Java_nl_tamsel_ftdi_usb_D2XXModes_readEE(env, nullptr, kHandle, -1); }, 0xFFFFFFFFu, 0},
        {"word value", [&] { Java_nl_tamsel_ftdi_usb_D2XXModes_writeEE(env, nullptr, kHandle, 0x40, 0x12345); }, 0x40, 0x2345},
        {"event mask", [&] { Java_nl_tamsel_ftdi_usb_D2XXModes_setEventNotification(env, nullptr, kHandle, -1, 0); }, 0xFFFFFFFFu, 0},
    };
    for (const auto& c : cases) {
        c.call();
        EXPECT_EQ(c.first, fakeModesRecord().first) << c.name;
        EXPECT_EQ(c.second, fakeModesRecord().second) << c.name;
    }
}

TEST_F(ModesTest, DeviceInfoFillsTheFieldsAsTheDriverWroteThemAndNoMore) {
    FakeModesScript& script = fakeModesScript();
    script.type = 8;
    script.id = 0x04036014;
    std::memcpy(script.serialNumber, "FT4ABCDEFGHIJKLM", 16);  // no terminator: all 16 bytes
    std::strcpy(script.description, "Single RS232-HS");
    jintArray ids = vm.newIntArray({-1, -1, -1});
    jbyteArray serial = vm.newByteArray(filled(18));
    jbyteArray description = vm.newByteArray(filled(66));

    ASSERT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(env, nullptr, kHandle, ids, serial,
                                                                 description));

    EXPECT_EQ((std::vector<jint>{8, 0x04036014, -1}), vm.intsOf(ids));
    std::vector<jbyte> expectedSerial(script.serialNumber, script.serialNumber + 16);
    expectedSerial.insert(expectedSerial.end(), {0x55, 0x55});
    EXPECT_EQ(expectedSerial, vm.bytesOf(serial));
    std::vector<jbyte> expectedDescription(script.description, script.description + 64);
    expectedDescription.insert(expectedDescription.end(), {0x55, 0x55});
    EXPECT_EQ(expectedDescription, vm.bytesOf(description));
    EXPECT_EQ(nullptr, fakeModesRecord().pointer) << "the reserved argument must be null";
}

TEST_F(ModesTest, FailedQueriesLeaveTheArraysUntouched) {
    fakeModesScript().status = 4;
    jintArray ids = vm.newIntArray({-1, -1});
    jbyteArray serial = vm.newByteArray(filled(16));
    jbyteArray description = vm.newByteArray(filled(64));
    jintArray status = vm.newIntArray({-1, -1, -1});
    jbyteArray ua = vm.newByteArray(filled(8));

    Java_nl_tamsel_ftdi_usb_D2XXModes_getDeviceInfo(env, nullptr, kHandle, ids, serial, description);
    Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(env, nullptr, kHandle, status);
    Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead(env, nullptr, kHandle, ua, 0, 8);

    EXPECT_EQ((std::vector<jint>{-1, -1}), vm.intsOf(ids));
    EXPECT_EQ(filled(16), vm.bytesOf(serial));
    EXPECT_EQ(filled(64), vm.bytesOf(description));
    EXPECT_EQ((std::vector<jint>{-1, -1, -1}), vm.intsOf(status));
    EXPECT_EQ(filled(8), vm.bytesOf(ua));
}

TEST_F(ModesTest, StatusGivesQueuesAndEventBits) {
    fakeModesScript().rxBytes = 0x80000000u;
    fakeModesScript().txBytes = 3;
    fakeModesScript().eventBits = FT_EVENT_RXCHAR | FT_EVENT_LINE_STATUS;
    jintArray values = vm.newIntArray({0, 0, 0, 9});

    ASSERT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_getStatus(env, nullptr, kHandle, values));

    EXPECT_EQ((std::vector<jint>{INT_MIN, 3, 5, 9}), vm.intsOf(values));
}

TEST_F(ModesTest, UserAreaReadLandsInTheRegionAndIsClampedToIt) {
    for (int i = 0; i < 512; ++i) {
        fakeModesScript().userArea[i] = static_cast<uint8_t>(i + 1);
    }
    const struct {
        const char* name;
        jint length;  // the heap path starts above 256
        bool overReport;
        jint expected;
    } cases[] = {{"stack", 5, false, 5}, {"heap", 300, false, 300}, {"over-reported", 5, true, 5}};
    for (const auto& c : cases) {
        fakeModesScript().reportBytesRead = c.overReport;
        fakeModesScript().bytesRead = 1000;
        jbyteArray array = vm.newByteArray(filled(static_cast<size_t>(c.length) + 3));

        EXPECT_EQ(c.expected, Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead(env, nullptr, kHandle, array, 2, c.length))
            << c.name;

        std::vector<jbyte> expected = filled(static_cast<size_t>(c.length) + 3);
        for (jint i = 0; i < c.length; ++i) {
            expected[static_cast<size_t>(i) + 2] = static_cast<jbyte>(i + 1);
        }
        EXPECT_EQ(expected, vm.bytesOf(array)) << c.name;
        EXPECT_EQ(static_cast<uint32_t>(c.length), fakeModesRecord().first) << c.name;
    }
}

TEST_F(ModesTest, UserAreaWriteSendsTheRegion) {
    for (const jint length : {4, 300}) {
        std::vector<jbyte> bytes(static_cast<size_t>(length) + 2);
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<jbyte>(i);
        }

        EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite(env, nullptr, kHandle, vm.newByteArray(bytes), 1, length));

        EXPECT_EQ(static_cast<uint32_t>(length), fakeModesRecord().first);
        EXPECT_EQ(0, std::memcmp(bytes.data() + 1, fakeModesRecord().written, static_cast<size_t>(length)));
    }
}

TEST_F(ModesTest, EmptyUserAreaTransfersDoNotReachTheDriver) {
    jbyteArray array = vm.newByteArray(filled(4));

    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_eeUARead(env, nullptr, kHandle, array, 4, 0));
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_eeUAWrite(env, nullptr, kHandle, array, 0, 0));

    EXPECT_EQ(0u, fakeModesTotalCalls());
}

// ---- A driver without a function ----

TEST_F(ModesTest, MissingFunctionIsNotSupportedAndItsBitIsClear) {
    EXPECT_EQ(0x0FFF, Java_nl_tamsel_ftdi_usb_D2XXModes_availableFunctions(env, nullptr));
    EXPECT_EQ(kNotSupported, Java_nl_tamsel_ftdi_usb_D2XXModes_cyclePort(env, nullptr, kHandle));
    // Asked again, the lookup fails again: nothing was cached for it.
    EXPECT_EQ(kNotSupported, Java_nl_tamsel_ftdi_usb_D2XXModes_cyclePort(env, nullptr, kHandle));
    EXPECT_EQ(0x0FFF, Java_nl_tamsel_ftdi_usb_D2XXModes_availableFunctions(env, nullptr));
}

// ---- Events ----

// What the simulated driver does when an enabled event occurs.
void signalAsTheDriverDoes(jlong event) {
    FT_EVENT_HANDLE* handle = reinterpret_cast<FT_EVENT_HANDLE*>(event);
    pthread_mutex_lock(&handle->eMutex);
    handle->iVar = 1;
    pthread_cond_signal(&handle->eCondVar);
    pthread_mutex_unlock(&handle->eMutex);
}

class EventTest : public ModesTest {
protected:
    void SetUp() override {
        ModesTest::SetUp();
        event = Java_nl_tamsel_ftdi_usb_D2XXModes_createEvent(env, nullptr);
        ASSERT_GT(event, 0);
    }
    void TearDown() override {
        EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(env, nullptr, event));
        ModesTest::TearDown();
    }
    jint wait(jint millis) { return Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(env, nullptr, event, millis); }
    jint signal() { return Java_nl_tamsel_ftdi_usb_D2XXModes_signalEvent(env, nullptr, event); }

    jlong event = 0;
};

TEST_F(EventTest, WaitWithoutSignalTimesOut) {
    EXPECT_EQ(0, wait(0));
    EXPECT_EQ(0, wait(5));
}

TEST_F(EventTest, SignalBeforeTheWaitIsKeptOnceAutoReset) {
    EXPECT_EQ(0, signal());
    EXPECT_EQ(0, signal());  // two signals before a wait are one

    EXPECT_EQ(1, wait(kPatientMillis));
    EXPECT_EQ(0, wait(0));
}

TEST_F(EventTest, DriverSignalWhileNobodyWaitsIsKept) {
    signalAsTheDriverDoes(event);

    EXPECT_EQ(1, wait(kPatientMillis));
    EXPECT_EQ(0, wait(1));
}

TEST_F(EventTest, WaitIsWokenByAnotherThreadsSignal) {
    // Whether the signal comes before the wait starts or during it, the wait sees it.
    jint result = -99;
    std::thread waiter([&] {
        fakejni::FakeVm threadVm;
        result = Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(threadVm.env(), nullptr, event, kPatientMillis);
    });
    EXPECT_EQ(0, signal());
    waiter.join();

    EXPECT_EQ(1, result);
    EXPECT_EQ(0, wait(0));
}

TEST_F(EventTest, EventIsHandedToTheDriverAsItsEventHandle) {
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_setEventNotification(env, nullptr, kHandle, 7, event));

    EXPECT_EQ(reinterpret_cast<void*>(event), fakeModesRecord().pointer);
    EXPECT_EQ(7u, fakeModesRecord().first);
}

TEST_F(EventTest, NegativeTimeoutIsRefused) {
    EXPECT_EQ(0, signal());
    EXPECT_EQ(kInvalidParameter, wait(-1));
    EXPECT_EQ(kInvalidParameter, wait(INT_MIN));
    EXPECT_EQ(1, wait(0)) << "a refused wait takes no signal";
}

TEST_F(ModesTest, NullEventIsAnInvalidParameter) {
    EXPECT_EQ(kInvalidParameter, Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(env, nullptr, 0, 0));
    EXPECT_EQ(kInvalidParameter, Java_nl_tamsel_ftdi_usb_D2XXModes_signalEvent(env, nullptr, 0));
    EXPECT_EQ(kInvalidParameter, Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(env, nullptr, 0));
}

TEST_F(ModesTest, EventsAreDistinctAndIndependent) {
    const jlong first = Java_nl_tamsel_ftdi_usb_D2XXModes_createEvent(env, nullptr);
    const jlong second = Java_nl_tamsel_ftdi_usb_D2XXModes_createEvent(env, nullptr);
    ASSERT_NE(first, second);

    Java_nl_tamsel_ftdi_usb_D2XXModes_signalEvent(env, nullptr, first);

    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(env, nullptr, second, 0));
    EXPECT_EQ(1, Java_nl_tamsel_ftdi_usb_D2XXModes_waitEvent(env, nullptr, first, 0));
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(env, nullptr, first));
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XXModes_freeEvent(env, nullptr, second));
}

}  // namespace
