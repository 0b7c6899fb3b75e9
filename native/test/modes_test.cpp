// The modes library's JNI functions called through the stand-in VM, against a stand-in driver
// that has every function but FT_CyclePort. Run under AddressSanitizer and
// UndefinedBehaviorSanitizer, these also prove that no path reads or writes past a buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fake_jni.h"
#include "fake_modes_driver.h"
#include "modes_exports.h"

#define J(name) Java_nl_tamsel_ftdi_usb_D2XXModes_##name

namespace {

constexpr jlong kHandle = 0x7FEDCBA987654321LL;
constexpr const char* kNpe = "java/lang/NullPointerException";
constexpr const char* kAioobe = "java/lang/ArrayIndexOutOfBoundsException";
constexpr jint kNotSupported = -17;
constexpr jint kInvalidParameter = -6;
constexpr jint kPatientMillis = 600000;  // never ends a wait that expects a signal

using Call = std::function<jint(fakejni::FakeVm&, JNIEnv*)>;

std::vector<jbyte> filled(size_t size) {
    return std::vector<jbyte>(size, 0x55);
}

// A byte array of 0x55s, or null for a negative size.
jbyteArray bytes(fakejni::FakeVm& vm, jsize size) {
    return size < 0 ? nullptr : vm.newByteArray(filled(size_t(size)));
}

jint deviceInfo(fakejni::FakeVm& vm, JNIEnv* env, jsize ids, jsize serial, jsize description) {
    jintArray idArray = ids < 0 ? nullptr : vm.newIntArray(std::vector<jint>(size_t(ids), 7));
    return J(getDeviceInfo)(env, nullptr, kHandle, idArray, bytes(vm, serial), bytes(vm, description));
}

class ModesTest : public ::testing::Test {
protected:
    void SetUp() override { fakeModesReset(); }
    void TearDown() override {
        for (const std::string& misuse : vm.misuses()) {
            ADD_FAILURE() << misuse;
        }
    }

    fakejni::FakeVm vm;
    JNIEnv* env = vm.env();
};

// ---- Broken contracts: every native with nulls and extremes throws, answers 0, calls nothing ----

struct BrokenCall {
    std::string name;
    Call call;
    const char* exception;
};

void PrintTo(const BrokenCall& call, std::ostream* out) {
    *out << call.name;
}

class BrokenContractTest : public ModesTest, public ::testing::WithParamInterface<BrokenCall> {};

std::vector<BrokenCall> brokenCalls() {
    std::vector<BrokenCall> calls = {
        {"statusNull", [](auto&, auto env) { return J(getStatus)(env, nullptr, kHandle, nullptr); }, kNpe},
        {"statusShort", [](auto& vm, auto env) { return J(getStatus)(env, nullptr, kHandle, vm.newIntArray({1, 2})); }, kAioobe},
    };
    const struct {
        const char* name;
        jsize ids, serial, description;
    } infos[] = {{"NullIds", -1, 16, 64},  {"NullSerial", 2, -1, 64}, {"NullDescription", 2, 16, -1},
                 {"EmptyIds", 0, 16, 64},  {"ShortIds", 1, 16, 64},   {"ShortSerial", 2, 15, 64},
                 {"ShortDescription", 2, 16, 63}};
    for (const auto& i : infos) {
        calls.push_back({std::string("deviceInfo") + i.name,
                         [=](auto& vm, auto env) { return deviceInfo(vm, env, i.ids, i.serial, i.description); },
                         i.ids < 0 || i.serial < 0 || i.description < 0 ? kNpe : kAioobe});
    }
    using Transfer = jint (*)(JNIEnv*, jclass, jlong, jbyteArray, jint, jint);
    const std::pair<const char*, Transfer> transfers[] = {{"uaRead", J(eeUARead)}, {"uaWrite", J(eeUAWrite)}};
    const struct {
        const char* name;
        jsize size;
        jint offset, length;
    } regions[] = {{"Null", -1, 0, 0},           {"NegativeOffset", 8, -1, 1},   {"NegativeLength", 8, 0, -1},
                   {"PastTheEnd", 8, 4, 5},      {"OffsetAtMaxInt", 8, INT_MAX, 1}, {"LengthAtMaxInt", 8, 1, INT_MAX},
                   {"BothAtMaxInt", 8, INT_MAX, INT_MAX}, {"OffsetAtMinInt", 8, INT_MIN, 4},
                   {"EmptyArrayOffsetOne", 0, 1, 0}};
    for (const auto& entry : transfers) {
        const auto transfer = entry.second;
        for (const auto& r : regions) {
            calls.push_back({std::string(entry.first) + r.name,
                             [=](auto& vm, auto env) {
                                 return transfer(env, nullptr, kHandle, bytes(vm, r.size), r.offset, r.length);
                             },
                             r.size < 0 ? kNpe : kAioobe});
        }
    }
    return calls;
}

TEST_P(BrokenContractTest, ThrowsAndLeavesTheDriverAlone) {
    EXPECT_EQ(0, GetParam().call(vm, env));
    EXPECT_EQ(GetParam().exception, vm.exceptionClass()) << vm.exceptionMessage();
    EXPECT_EQ(0u, fakeModesTotalCalls());
    vm.clearException();
}

INSTANTIATE_TEST_SUITE_P(Modes, BrokenContractTest, ::testing::ValuesIn(brokenCalls()),
                         [](const auto& test) { return test.param.name; });

// ---- One driver call each: its value and arguments, or the negated status ----

struct ValueCall {
    const char* name;
    std::function<void(FakeModesScript&)> script;
    Call call;
    jint expected;
    uint32_t first, second;  // as the driver received them: numbers cut to its widths
    uintptr_t pointer;
};

void PrintTo(const ValueCall& call, std::ostream* out) {
    *out << call.name;
}

class ValueOrErrorTest : public ModesTest, public ::testing::WithParamInterface<ValueCall> {};

std::vector<ValueCall> valueCalls() {
    auto none = [](FakeModesScript&) {};
    return {
        {"setBitMode", none, [](auto&, auto env) { return J(setBitMode)(env, nullptr, kHandle, 0x1F0, 0x240); }, 0, 0xF0, 0x40, 0},
        {"getBitModeHighPins", [](auto& s) { s.pins = 0xA5; },  // unsigned: stays positive
         [](auto&, auto env) { return J(getBitMode)(env, nullptr, kHandle); }, 0xA5, 0, 0, 0},
        {"readEENegativeOffset", [](auto& s) { s.word = 0xFFFF; },
         [](auto&, auto env) { return J(readEE)(env, nullptr, kHandle, -1); }, 0xFFFF, 0xFFFFFFFFu, 0, 0},
        {"writeEEWideValue", none, [](auto&, auto env) { return J(writeEE)(env, nullptr, kHandle, 0x40, 0x12345); }, 0, 0x40, 0x2345, 0},
        {"eraseEE", none, [](auto&, auto env) { return J(eraseEE)(env, nullptr, kHandle); }, 0, 0, 0, 0},
        {"eeUASize", [](auto& s) { s.userAreaSize = 0x7FFFFFFF; },
         [](auto&, auto env) { return J(eeUASize)(env, nullptr, kHandle); }, 0x7FFFFFFF, 0, 0, 0},
        {"eeUARead", none, [](auto& vm, auto env) { return J(eeUARead)(env, nullptr, kHandle, bytes(vm, 10), 2, 5); }, 5, 5, 0, 0},
        {"eeUAWrite", none, [](auto& vm, auto env) { return J(eeUAWrite)(env, nullptr, kHandle, bytes(vm, 10), 2, 5); }, 0, 5, 0, 0},
        {"getStatus", none, [](auto& vm, auto env) { return J(getStatus)(env, nullptr, kHandle, vm.newIntArray({0, 0, 0})); }, 0, 0, 0, 0},
        // The reserved argument must be null.
        {"getDeviceInfo", none, [](auto& vm, auto env) { return deviceInfo(vm, env, 2, 16, 64); }, 0, 0, 0, 0},
        // The event goes to the driver as its event handle.
        {"setEventNotification", none,
         [](auto&, auto env) { return J(setEventNotification)(env, nullptr, kHandle, -1, 0x1234); }, 0, 0xFFFFFFFFu, 0, 0x1234},
        {"resetPort", none, [](auto&, auto env) { return J(resetPort)(env, nullptr, kHandle); }, 0, 0, 0, 0},
    };
}

TEST_P(ValueOrErrorTest, SuccessGivesTheValue) {
    GetParam().script(fakeModesScript());

    EXPECT_EQ(GetParam().expected, GetParam().call(vm, env));
    const FakeModesRecord& record = fakeModesRecord();
    EXPECT_EQ(1u, fakeModesTotalCalls());
    EXPECT_EQ(reinterpret_cast<FT_HANDLE>(kHandle), record.handle);
    EXPECT_EQ(GetParam().first, record.first);
    EXPECT_EQ(GetParam().second, record.second);
    EXPECT_EQ(reinterpret_cast<void*>(GetParam().pointer), record.pointer);
}

TEST_P(ValueOrErrorTest, FailureGivesTheNegatedStatus) {
    const std::pair<FT_STATUS, jint> failures[] = {
        {4, -4}, {17, -17}, {0x7FFFFFFF, -0x7FFFFFFF}, {0x80000001u, INT_MIN}, {0xFFFFFFFFu, INT_MIN}};
    for (const auto& [status, expected] : failures) {
        GetParam().script(fakeModesScript());
        fakeModesScript().status = status;
        EXPECT_EQ(expected, GetParam().call(vm, env)) << "status " << status;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ValueOrErrorTest, ::testing::ValuesIn(valueCalls()),
                         [](const auto& test) { return std::string(test.param.name); });

// ---- Outputs: what the driver wrote, only on success, and no more ----

TEST_F(ModesTest, QueriesCopyTheDriversOutputsOnlyOnSuccess) {
    FakeModesScript& script = fakeModesScript();
    script.type = 8;
    script.id = 0x04036014;
    std::memcpy(script.serialNumber, "FT4ABCDEFGHIJKLM", 16);  // no terminator: all 16 bytes
    std::strcpy(script.description, "Single RS232-HS");
    script.rxBytes = 0x80000000u;
    script.txBytes = 3;
    script.eventBits = FT_EVENT_RXCHAR | FT_EVENT_LINE_STATUS;
    for (const FT_STATUS status : {4u, 0u}) {
        script.status = status;
        jintArray ids = vm.newIntArray({-1, -1, -1});
        jbyteArray serial = bytes(vm, 18);
        jbyteArray description = bytes(vm, 66);
        jintArray values = vm.newIntArray({-1, -1, -1, 9});

        J(getDeviceInfo)(env, nullptr, kHandle, ids, serial, description);
        J(getStatus)(env, nullptr, kHandle, values);

        std::vector<jbyte> serialBytes = filled(18), descriptionBytes = filled(66);
        if (status == FT_OK) {
            std::copy_n(script.serialNumber, 16, serialBytes.begin());
            std::copy_n(script.description, 64, descriptionBytes.begin());
        }
        using Ints = std::vector<jint>;
        EXPECT_EQ((status ? Ints{-1, -1, -1} : Ints{8, 0x04036014, -1}), vm.intsOf(ids));
        EXPECT_EQ(serialBytes, vm.bytesOf(serial));
        EXPECT_EQ(descriptionBytes, vm.bytesOf(description));
        EXPECT_EQ((status ? Ints{-1, -1, -1, 9} : Ints{INT_MIN, 3, 5, 9}), vm.intsOf(values));
    }
}

// Lengths up to 256 go through the stack, longer ones through the heap.
TEST_F(ModesTest, UserAreaReadLandsInTheRegionAndIsClampedToIt) {
    const struct {
        jint length;
        bool overReport;  // the driver claims 1000 bytes
        FT_STATUS status;
    } cases[] = {{5, false, FT_OK}, {300, false, FT_OK}, {5, true, FT_OK}, {5, false, 4}};
    for (const auto& c : cases) {
        FakeModesScript& script = fakeModesScript();
        script.reportBytesRead = c.overReport;
        script.bytesRead = 1000;
        script.status = c.status;
        for (int i = 0; i < 512; ++i) {
            script.userArea[i] = static_cast<uint8_t>(i + 1);
        }
        jbyteArray array = bytes(vm, c.length + 3);

        EXPECT_EQ(c.status ? -4 : c.length, J(eeUARead)(env, nullptr, kHandle, array, 2, c.length)) << c.length;

        std::vector<jbyte> expected = filled(size_t(c.length) + 3);
        for (jint i = 0; i < c.length && c.status == FT_OK; ++i) {
            expected[size_t(i) + 2] = static_cast<jbyte>(i + 1);
        }
        EXPECT_EQ(expected, vm.bytesOf(array)) << c.length;
        EXPECT_EQ(uint32_t(c.length), fakeModesRecord().first) << c.length;
    }
}

TEST_F(ModesTest, UserAreaWriteSendsTheRegion) {
    for (const jint length : {4, 300}) {
        std::vector<jbyte> written(size_t(length) + 2);
        for (size_t i = 0; i < written.size(); ++i) {
            written[i] = static_cast<jbyte>(i);
        }

        EXPECT_EQ(0, J(eeUAWrite)(env, nullptr, kHandle, vm.newByteArray(written), 1, length));

        EXPECT_EQ(uint32_t(length), fakeModesRecord().first);
        EXPECT_EQ(0, std::memcmp(written.data() + 1, fakeModesRecord().written, size_t(length)));
    }
}

TEST_F(ModesTest, EmptyUserAreaTransfersDoNotReachTheDriver) {
    jbyteArray array = bytes(vm, 4);

    EXPECT_EQ(0, J(eeUARead)(env, nullptr, kHandle, array, 4, 0));
    EXPECT_EQ(0, J(eeUAWrite)(env, nullptr, kHandle, array, 0, 0));
    EXPECT_EQ(0u, fakeModesTotalCalls());
}

TEST_F(ModesTest, MissingFunctionIsNotSupportedAndItsBitIsClear) {
    for (int round = 0; round < 2; ++round) {  // the failed lookup is not cached
        EXPECT_EQ(0x0FFF, J(availableFunctions)(env, nullptr));
        EXPECT_EQ(kNotSupported, J(cyclePort)(env, nullptr, kHandle));
    }
}

// ---- Events ----

class EventTest : public ModesTest {
protected:
    void SetUp() override {
        ModesTest::SetUp();
        event = J(createEvent)(env, nullptr);
        ASSERT_GT(event, 0);
    }
    void TearDown() override {
        EXPECT_EQ(0, J(freeEvent)(env, nullptr, event));
        ModesTest::TearDown();
    }
    jint wait(jint millis) { return J(waitEvent)(env, nullptr, event, millis); }

    jlong event = 0;
};

TEST_F(EventTest, ASignalIsKeptUntilOneWaitTakesIt) {
    EXPECT_EQ(0, wait(0));
    EXPECT_EQ(0, wait(5));
    EXPECT_EQ(0, J(signalEvent)(env, nullptr, event));
    EXPECT_EQ(0, J(signalEvent)(env, nullptr, event));  // two signals before a wait are one
    EXPECT_EQ(kInvalidParameter, wait(-1));              // refused, and takes no signal
    EXPECT_EQ(kInvalidParameter, wait(INT_MIN));
    EXPECT_EQ(1, wait(kPatientMillis));
    EXPECT_EQ(0, wait(0));

    auto* handle = reinterpret_cast<FT_EVENT_HANDLE*>(event);  // as the simulated driver signals
    pthread_mutex_lock(&handle->eMutex);
    handle->iVar = 1;
    pthread_cond_signal(&handle->eCondVar);
    pthread_mutex_unlock(&handle->eMutex);
    EXPECT_EQ(1, wait(kPatientMillis));
    EXPECT_EQ(0, wait(1));
}

TEST_F(EventTest, WaitIsWokenByAnotherThreadsSignal) {
    jint result = -99;  // the signal may come before the wait starts or during it
    std::thread waiter([&] {
        fakejni::FakeVm threadVm;
        result = J(waitEvent)(threadVm.env(), nullptr, event, kPatientMillis);
    });
    EXPECT_EQ(0, J(signalEvent)(env, nullptr, event));
    waiter.join();

    EXPECT_EQ(1, result);
    EXPECT_EQ(0, wait(0));
}

TEST_F(EventTest, EventsAreDistinctAndANullOneIsAnInvalidParameter) {
    const jlong other = J(createEvent)(env, nullptr);
    ASSERT_NE(event, other);
    J(signalEvent)(env, nullptr, other);
    EXPECT_EQ(0, wait(0));
    EXPECT_EQ(1, J(waitEvent)(env, nullptr, other, 0));
    EXPECT_EQ(0, J(freeEvent)(env, nullptr, other));

    EXPECT_EQ(kInvalidParameter, J(waitEvent)(env, nullptr, 0, 0));
    EXPECT_EQ(kInvalidParameter, J(signalEvent)(env, nullptr, 0));
    EXPECT_EQ(kInvalidParameter, J(freeEvent)(env, nullptr, 0));
}

}  // namespace
