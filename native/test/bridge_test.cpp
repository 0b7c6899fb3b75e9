// The bridge's exports called through the stand-in VM, against the simulated driver. Run under
// AddressSanitizer and UndefinedBehaviorSanitizer, these also prove that no path reads or
// writes past a buffer, whatever the driver or the VM answers.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "d2xx_exports.h"
#include "fake_jni.h"
#include "sim_control.h"

namespace {

constexpr uint32_t kInvalidHandle = 1;
constexpr uint32_t kDeviceNotFound = 2;
constexpr uint32_t kIoError = 4;
constexpr uint32_t kInvalidBaudRate = 7;

const char* const kDriverFunctions[] = {
    "FT_Open", "FT_Close", "FT_Read", "FT_Write", "FT_ResetDevice", "FT_SetBaudRate",
    "FT_SetDataCharacteristics", "FT_SetFlowControl", "FT_SetDtr", "FT_ClrDtr", "FT_SetRts",
    "FT_ClrRts", "FT_GetModemStatus", "FT_SetChars", "FT_Purge", "FT_SetTimeouts",
    "FT_GetQueueStatus", "FT_SetBreakOn", "FT_SetBreakOff", "FT_OpenEx", "FT_SetLatencyTimer",
    "FT_GetLatencyTimer", "FT_SetUSBParameters", "FT_CreateDeviceInfoList",
    "FT_GetDeviceInfoList", "FT_GetDriverVersion", "FT_GetLibraryVersion",
    "FT_GetComPortNumber",
};

uint32_t totalDriverCalls() {
    uint32_t total = 0;
    for (const char* function : kDriverFunctions) {
        total += simCallCount(function);
    }
    return total;
}

std::vector<uint64_t> lastArgs(const char* function) {
    std::vector<uint64_t> args(8);
    const int32_t count = simLastArgs(function, args.data(), static_cast<int32_t>(args.size()));
    args.resize(count < 0 ? 0 : static_cast<size_t>(count));
    return args;
}

std::string lastOpenText() {
    std::vector<uint8_t> text(1024);
    const int32_t count = simLastOpenText(text.data(), static_cast<int32_t>(text.size()));
    return count < 0 ? std::string("<none>") : std::string(text.begin(), text.begin() + count);
}

int32_t addDevice(const std::string& serial, const std::string& description,
                  uint32_t locId = 0x11, uint32_t flags = 0, uint32_t type = 5,
                  uint32_t id = 0x04036001) {
    return simAddDevice(flags, type, id, locId, reinterpret_cast<const uint8_t*>(serial.data()),
                        static_cast<uint32_t>(serial.size()),
                        reinterpret_cast<const uint8_t*>(description.data()),
                        static_cast<uint32_t>(description.size()));
}

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override { simReset(); }

    void TearDown() override {
        std::string misuses;
        for (const std::string& misuse : vm.misuses()) {
            misuses += misuse + "\n";
        }
        EXPECT_TRUE(misuses.empty()) << misuses;
    }

    jlong openLoopbackDevice() {
        addDevice("LOOP0001", "Loopback cable");
        const jlong handle = Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(env, nullptr, 0);
        EXPECT_GT(handle, 0);
        EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_setTimeouts(env, nullptr, handle, 20, 20));
        return handle;
    }

    fakejni::FakeVm vm;
    JNIEnv* env = vm.env();
};

// ---- Status queries ----

struct Query {
    const char* driverFunction;
    bool takesHandle;
    std::function<jint(JNIEnv*, jlong)> call;
};

class QueryTest : public BridgeTest, public ::testing::WithParamInterface<Query> {};

TEST_P(QueryTest, FailureReturnsTheNegatedStatus) {
    const jlong handle = openLoopbackDevice();
    simFailNext(GetParam().driverFunction, kIoError);
    EXPECT_EQ(-4, GetParam().call(env, handle));
    if (GetParam().takesHandle) {
        EXPECT_EQ(-static_cast<jint>(kInvalidHandle), GetParam().call(env, handle + 16));
    }
}

#define D2XX(method) Java_nl_tamsel_ftdi_usb_D2XX_##method

INSTANTIATE_TEST_SUITE_P(
    AllQueries, QueryTest,
    ::testing::Values(
        Query{"FT_GetLibraryVersion", false,
              [](JNIEnv* e, jlong) { return D2XX(getLibraryVersion)(e, nullptr); }},
        Query{"FT_GetDriverVersion", true,
              [](JNIEnv* e, jlong h) { return D2XX(getDriverVersion)(e, nullptr, h); }},
        Query{"FT_GetComPortNumber", true,
              [](JNIEnv* e, jlong h) { return D2XX(getComPortNumber)(e, nullptr, h); }},
        Query{"FT_GetModemStatus", true,
              [](JNIEnv* e, jlong h) { return D2XX(getModemStatus)(e, nullptr, h); }},
        Query{"FT_GetQueueStatus", true,
              [](JNIEnv* e, jlong h) { return D2XX(getQueueStatus)(e, nullptr, h); }},
        Query{"FT_GetLatencyTimer", true,
              [](JNIEnv* e, jlong h) { return D2XX(getLatencyTimer)(e, nullptr, h); }}),
    [](const ::testing::TestParamInfo<Query>& p) { return std::string(p.param.driverFunction); });

TEST_F(BridgeTest, QueryValuesTravelBitForBit) {
    const jlong handle = openLoopbackDevice();
    simSetLibraryVersion(0x00030215);
    simSetDriverVersion(0, 0x80000001u);
    simSetComPort(0, -1);
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_setLatencyTimer(env, nullptr, handle, 255));
    const uint8_t bytes[] = {1, 2, 3};
    simInject(0, bytes, sizeof bytes);

    EXPECT_EQ(0x00030215, Java_nl_tamsel_ftdi_usb_D2XX_getLibraryVersion(env, nullptr));
    EXPECT_EQ(static_cast<jint>(0x80000001u),
              Java_nl_tamsel_ftdi_usb_D2XX_getDriverVersion(env, nullptr, handle));
    EXPECT_EQ(-1, Java_nl_tamsel_ftdi_usb_D2XX_getComPortNumber(env, nullptr, handle));
    EXPECT_EQ(255, Java_nl_tamsel_ftdi_usb_D2XX_getLatencyTimer(env, nullptr, handle));
    EXPECT_EQ(3, Java_nl_tamsel_ftdi_usb_D2XX_getQueueStatus(env, nullptr, handle));
}

TEST_F(BridgeTest, VidPidMethodsAnswerNotSupportedWithoutCallingTheDriver) {
    EXPECT_EQ(-17, Java_nl_tamsel_ftdi_usb_D2XX_setVIDPID(env, nullptr, 0x0403, 0x6001));
    EXPECT_EQ(-17, Java_nl_tamsel_ftdi_usb_D2XX_getVID(env, nullptr));
    EXPECT_EQ(-17, Java_nl_tamsel_ftdi_usb_D2XX_getPID(env, nullptr));
    EXPECT_EQ(0u, totalDriverCalls());
}

// ---- Opening and closing ----

// A handle is the pointer's bits as an unsigned number: on 64-bit targets all 64 of them, on
// 32-bit targets the low 32, zero-extended, so a handle at or above 2 GiB is positive there too.
TEST_F(BridgeTest, HandleBitsTravelUnchangedBothWays) {
    const uint64_t pointerMask = sizeof(void*) == 8 ? ~0ull : 0xFFFFFFFFull;
    const uint64_t bases[] = {0x8123456700000000ull, 0x0000000080000000ull, 0x00000000FFFFF000ull,
                              0x000000007FFFFFF0ull};
    for (const uint64_t base : bases) {
        SCOPED_TRACE(testing::Message() << "handle base 0x" << std::hex << base);
        simReset();
        addDevice("A1", "first");
        simSetHandleBase(base);
        const jlong handle = Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(env, nullptr, 0);
        EXPECT_EQ((base + 0x10) & pointerMask, static_cast<uint64_t>(handle));
        EXPECT_EQ(static_cast<uint64_t>(handle), simHandleOf(0));
        if (sizeof(void*) == 4) {
            EXPECT_GT(handle, 0);
        }

        jobjectArray list = Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(env, nullptr);
        ASSERT_NE(nullptr, list);
        EXPECT_EQ(handle, vm.deviceInfoOf(vm.elementsOf(list).at(0)).handle);

        EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_reset(env, nullptr, handle));
        EXPECT_EQ(std::vector<uint64_t>{static_cast<uint64_t>(handle)}, lastArgs("FT_ResetDevice"));
        EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_close(env, nullptr, handle));
        EXPECT_EQ(-1, Java_nl_tamsel_ftdi_usb_D2XX_close(env, nullptr, handle));
    }
}

TEST_F(BridgeTest, OpenFailuresReturnMinusTheStatusAsLong) {
    addDevice("A1", "first", 0x21);
    EXPECT_EQ(-2LL, Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(env, nullptr, 5));
    EXPECT_EQ(-2LL, Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(env, nullptr, -1));
    EXPECT_EQ(-2LL, Java_nl_tamsel_ftdi_usb_D2XX_openBySerialNumber(env, nullptr, vm.newString(u"B2")));
    EXPECT_EQ(-2LL, Java_nl_tamsel_ftdi_usb_D2XX_openByDescription(env, nullptr, vm.newString(u"second")));
    EXPECT_EQ(-2LL, Java_nl_tamsel_ftdi_usb_D2XX_openByLocationId(env, nullptr, 0x22));
    simFailNext("FT_OpenEx", 18);
    EXPECT_EQ(-18LL, Java_nl_tamsel_ftdi_usb_D2XX_openByLocationId(env, nullptr, 0x21));
    EXPECT_GT(Java_nl_tamsel_ftdi_usb_D2XX_openByLocationId(env, nullptr, 0x21), 0);
}

TEST_F(BridgeTest, LocationWordIsSignExtendedIntoThePointerArgument) {
    addDevice("A1", "first", 0x80000001u);
    EXPECT_GT(Java_nl_tamsel_ftdi_usb_D2XX_openByLocationId(env, nullptr, static_cast<jint>(0x80000001u)), 0);
    const std::vector<uint64_t> args = lastArgs("FT_OpenEx");
    ASSERT_GE(args.size(), 2u);
    // The recorded argument is the pointer's bits: 32 of them on 32-bit targets.
    EXPECT_EQ(sizeof(void*) == 8 ? 0xFFFFFFFF80000001ull : 0x80000001ull, args[0]);
    EXPECT_EQ(4u, args[1]);
}

struct OpenText {
    const char* name;
    bool bySerialNumber;
    std::u16string text;
    std::string expectedBytes;  // what the driver reads, through the terminating zero
};

class OpenTextTest : public BridgeTest, public ::testing::WithParamInterface<OpenText> {};

TEST_P(OpenTextTest, DriverReadsTheClampedModifiedUtf8Text) {
    const OpenText& c = GetParam();
    jstring text = vm.newString(c.text);
    const jlong result = c.bySerialNumber
                             ? Java_nl_tamsel_ftdi_usb_D2XX_openBySerialNumber(env, nullptr, text)
                             : Java_nl_tamsel_ftdi_usb_D2XX_openByDescription(env, nullptr, text);
    EXPECT_EQ(-static_cast<jlong>(kDeviceNotFound), result);
    EXPECT_EQ(c.expectedBytes, lastOpenText());
    const std::vector<uint64_t> args = lastArgs("FT_OpenEx");
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ(c.bySerialNumber ? 1u : 2u, args[1]);
}

std::string repeat(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OpenTextTest,
    ::testing::Values(
        OpenText{"EmptySerial", true, u"", std::string(1, '\0')},
        OpenText{"Serial16", true, u"ABCDEFGHIJKLMNOP", std::string("ABCDEFGHIJKLMNOP") + '\0'},
        OpenText{"Serial20CutTo16", true, u"ABCDEFGHIJKLMNOPQRST",
                 std::string("ABCDEFGHIJKLMNOP") + '\0'},
        OpenText{"Description70CutTo64", false, std::u16string(70, u'd'),
                 std::string(64, 'd') + '\0'},
        OpenText{"NonAscii", false, u"Caf\u00e9", std::string("Caf\xC3\xA9") + '\0'},
        OpenText{"NulCharacter", true, std::u16string(u"A\0B", 3),
                 std::string("A\xC0\x80" "B") + '\0'},
        OpenText{"SixtyFourWidestCharacters", false, std::u16string(64, u'\uFFFF'),
                 repeat("\xEF\xBF\xBF", 64) + '\0'},
        OpenText{"UnpairedSurrogatesFillTheSerialBuffer", true, std::u16string(20, u'\xD800'),
                 repeat("\xED\xA0\x80", 16) + '\0'}),
    [](const ::testing::TestParamInfo<OpenText>& p) { return std::string(p.param.name); });

TEST_F(BridgeTest, NullOpenTextRaisesNullPointerExceptionWithoutDriverCall) {
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_openBySerialNumber(env, nullptr, nullptr));
    EXPECT_EQ("java/lang/NullPointerException", vm.exceptionClass());
    vm.clearException();
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_openByDescription(env, nullptr, nullptr));
    EXPECT_EQ("java/lang/NullPointerException", vm.exceptionClass());
    vm.clearException();
    EXPECT_EQ(0u, simCallCount("FT_OpenEx"));
}

TEST_F(BridgeTest, StringConversionFailureLeavesItsExceptionAndSkipsTheDriver) {
    addDevice("A1", "first");
    for (const char* failing : {"GetStringLength", "GetStringUTFRegion"}) {
        vm.failCall(failing);
        Java_nl_tamsel_ftdi_usb_D2XX_openBySerialNumber(env, nullptr, vm.newString(u"A1"));
        EXPECT_TRUE(vm.exceptionPending()) << failing;
        vm.clearException();
    }
    EXPECT_EQ(0u, simCallCount("FT_OpenEx"));
}

// ---- Enumeration ----

TEST_F(BridgeTest, EnumerationCopiesEveryFieldBitForBit) {
    std::string fullDescription(64, 'x');
    addDevice("AB\tCD", fullDescription, 0x80000000u, 0x80000003u, 0xFFu, 0x04036014u);
    addDevice(std::string("\0XYZ", 4), "caf\xE9\x7F" "end", 0x12, 0, 9, 0x04036015u);
    const jlong handle = Java_nl_tamsel_ftdi_usb_D2XX_openByIndex(env, nullptr, 1);

    jobjectArray list = Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(env, nullptr);
    ASSERT_NE(nullptr, list);
    ASSERT_TRUE(vm.isDeviceInfoArray(list));
    const std::vector<jobject> infos = vm.elementsOf(list);
    ASSERT_EQ(2u, infos.size());

    const fakejni::DeviceInfoArgs first = vm.deviceInfoOf(infos[0]);
    EXPECT_EQ(static_cast<jint>(0x80000003u), first.flags);
    EXPECT_EQ(0xFF, first.type);
    EXPECT_EQ(0x04036014, first.id);
    EXPECT_EQ(static_cast<jint>(0x80000000u), first.locationId);
    EXPECT_EQ("AB", first.serialNumber);          // a tab ends the text
    EXPECT_EQ(fullDescription, first.description); // no terminator: the whole field
    EXPECT_EQ(0, first.handle);

    const fakejni::DeviceInfoArgs second = vm.deviceInfoOf(infos[1]);
    EXPECT_EQ("", second.serialNumber);
    EXPECT_EQ("caf\xE9\x7F" "end", second.description);
    EXPECT_EQ(handle, second.handle);
    EXPECT_EQ(1, second.flags & 1);
    // Only the returned array is still referenced.
    EXPECT_EQ(1u, vm.liveLocalRefs());
}

TEST_F(BridgeTest, EmptyListIsAnEmptyArrayAndDriverFailuresAreNull) {
    jobjectArray empty = Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(env, nullptr);
    ASSERT_NE(nullptr, empty);
    EXPECT_TRUE(vm.elementsOf(empty).empty());

    addDevice("A1", "first");
    for (const char* failing : {"FT_CreateDeviceInfoList", "FT_GetDeviceInfoList"}) {
        simFailNext(failing, kIoError);
        EXPECT_EQ(nullptr, Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(env, nullptr)) << failing;
        EXPECT_FALSE(vm.exceptionPending());
    }
    EXPECT_EQ(1u, vm.liveLocalRefs());  // the empty array
}

struct CountChange {
    const char* name;
    const char* function;
    uint32_t reported;
    size_t expectedLength;
    size_t expectedFilled;
};

class CountChangeTest : public BridgeTest, public ::testing::WithParamInterface<CountChange> {};

TEST_P(CountChangeTest, LoopStaysInsideTheNodeBufferAndTheArray) {
    for (int i = 0; i < 3; ++i) {
        addDevice("S" + std::to_string(i), "device");
    }
    simReportNextCount(GetParam().function, GetParam().reported);
    jobjectArray list = Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(env, nullptr);
    ASSERT_NE(nullptr, list);
    const std::vector<jobject> infos = vm.elementsOf(list);
    ASSERT_EQ(GetParam().expectedLength, infos.size());
    for (size_t i = 0; i < infos.size(); ++i) {
        EXPECT_EQ(i < GetParam().expectedFilled, infos[i] != nullptr) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CountChangeTest,
    ::testing::Values(CountChange{"SecondCountLargerIsClamped", "FT_GetDeviceInfoList", 1000, 3, 3},
                      CountChange{"SecondCountSmallerLeavesNulls", "FT_GetDeviceInfoList", 1, 3, 1},
                      CountChange{"FirstCountLargerLeavesNulls", "FT_CreateDeviceInfoList", 5, 5, 3},
                      CountChange{"FirstCountSmallerCutsTheList", "FT_CreateDeviceInfoList", 2, 2, 2}),
    [](const ::testing::TestParamInfo<CountChange>& p) { return std::string(p.param.name); });

struct VmFailure {
    const char* name;
    const char* function;
    int nth;
    bool arrayReturned;  // only a missing DeviceInfo constructor still returns the array
};

class VmFailureTest : public BridgeTest, public ::testing::WithParamInterface<VmFailure> {};

TEST_P(VmFailureTest, StopsAtOnceWithTheExceptionPendingAndNothingLeaked) {
    addDevice("A1", "first");
    addDevice("B2", "second");
    vm.failCall(GetParam().function, GetParam().nth);
    jobjectArray list = Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(env, nullptr);
    EXPECT_TRUE(vm.exceptionPending());
    EXPECT_EQ(GetParam().arrayReturned, list != nullptr);
    EXPECT_EQ(GetParam().arrayReturned ? 1u : 0u, vm.liveLocalRefs());
    vm.clearException();
}

INSTANTIATE_TEST_SUITE_P(
    Failures, VmFailureTest,
    ::testing::Values(VmFailure{"DeviceInfoClass", "FindClass", 1, false},
                      VmFailure{"ResultArray", "NewObjectArray", 1, false},
                      VmFailure{"DeviceInfoConstructor", "GetMethodID", 1, true},
                      VmFailure{"FirstSerialBytes", "NewByteArray", 1, false},
                      VmFailure{"SecondDescriptionBytes", "NewByteArray", 4, false},
                      VmFailure{"StringClass", "FindClass", 2, false},
                      VmFailure{"StringConstructor", "GetMethodID", 3, false},
                      VmFailure{"SerialString", "NewObject", 1, false},
                      VmFailure{"DescriptionString", "NewObject", 2, false},
                      VmFailure{"SecondDeviceInfo", "NewObject", 6, false},
                      VmFailure{"StoreElement", "SetObjectArrayElement", 2, false}),
    [](const ::testing::TestParamInfo<VmFailure>& p) { return std::string(p.param.name); });

TEST_F(BridgeTest, LongListKeepsLocalReferencesBounded) {
    for (int i = 0; i < 300; ++i) {
        addDevice("S" + std::to_string(i), "device " + std::to_string(i), static_cast<uint32_t>(i));
    }
    jobjectArray list = Java_nl_tamsel_ftdi_usb_D2XX_createDeviceInfoList(env, nullptr);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(300u, vm.elementsOf(list).size());
    EXPECT_EQ("S299", vm.deviceInfoOf(vm.elementsOf(list)[299]).serialNumber);
    EXPECT_EQ(1u, vm.liveLocalRefs());
}

// ---- Data transfer ----

class TransferSizeTest : public BridgeTest, public ::testing::WithParamInterface<jint> {};

TEST_P(TransferSizeTest, WrittenBytesComeBackThroughTheLoopback) {
    const jint size = GetParam();
    const jlong handle = openLoopbackDevice();
    std::vector<jbyte> pattern(static_cast<size_t>(size) + 6);
    for (size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<jbyte>(i * 7 + 3);
    }
    jbyteArray out = vm.newByteArray(pattern);
    EXPECT_EQ(size, Java_nl_tamsel_ftdi_usb_D2XX_write(env, nullptr, handle, out, 3, size));

    jbyteArray in = vm.newByteArray(std::vector<jbyte>(static_cast<size_t>(size) + 6, 0x55));
    EXPECT_EQ(size, Java_nl_tamsel_ftdi_usb_D2XX_read(env, nullptr, handle, in, 2, size));
    const std::vector<jbyte> got = vm.bytesOf(in);
    EXPECT_EQ(0x55, got[1]);
    EXPECT_EQ(0x55, got[static_cast<size_t>(size) + 2]);
    EXPECT_TRUE(std::equal(pattern.begin() + 3, pattern.begin() + 3 + size, got.begin() + 2));
}

INSTANTIATE_TEST_SUITE_P(StackAndHeapPaths, TransferSizeTest,
                         ::testing::Values(1, 64, 255, 256, 257, 4096, 65536));

TEST_F(BridgeTest, ShortReadChangesOnlyTheBytesDelivered) {
    const jlong handle = openLoopbackDevice();
    std::vector<uint8_t> incoming(100);
    for (size_t i = 0; i < incoming.size(); ++i) {
        incoming[i] = static_cast<uint8_t>(i + 1);
    }
    simInject(0, incoming.data(), static_cast<uint32_t>(incoming.size()));
    simReportNextCount("FT_Read", 40);
    jbyteArray buffer = vm.newByteArray(std::vector<jbyte>(120, -1));
    EXPECT_EQ(40, Java_nl_tamsel_ftdi_usb_D2XX_read(env, nullptr, handle, buffer, 10, 100));
    const std::vector<jbyte> got = vm.bytesOf(buffer);
    for (size_t i = 0; i < got.size(); ++i) {
        const jbyte expected = i >= 10 && i < 50 ? static_cast<jbyte>(i - 9) : -1;
        EXPECT_EQ(expected, got[i]) << i;
    }
}

TEST_F(BridgeTest, EmptyOrFailedReadLeavesTheArrayUntouched) {
    const jlong handle = openLoopbackDevice();
    jbyteArray buffer = vm.newByteArray(std::vector<jbyte>(8, 9));
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_read(env, nullptr, handle, buffer, 0, 8));
    const uint8_t bytes[] = {1, 2, 3};
    simInject(0, bytes, sizeof bytes);
    simFailNext("FT_Read", kIoError);
    EXPECT_EQ(-4, Java_nl_tamsel_ftdi_usb_D2XX_read(env, nullptr, handle, buffer, 0, 8));
    EXPECT_EQ(std::vector<jbyte>(8, 9), vm.bytesOf(buffer));
}

TEST_F(BridgeTest, DriverCountsBeyondTheRequestAreClampedToIt) {
    const jlong handle = openLoopbackDevice();
    for (jint length : {8, 300}) {
        std::vector<uint8_t> incoming(static_cast<size_t>(length), 0x42);
        simInject(0, incoming.data(), static_cast<uint32_t>(length));
        jbyteArray buffer = vm.newByteArray(std::vector<jbyte>(static_cast<size_t>(length) + 4, 0));
        simReportNextCount("FT_Read", 100000);
        EXPECT_EQ(length, Java_nl_tamsel_ftdi_usb_D2XX_read(env, nullptr, handle, buffer, 4, length));
        simReportNextCount("FT_Write", 100000);
        EXPECT_EQ(length, Java_nl_tamsel_ftdi_usb_D2XX_write(env, nullptr, handle, buffer, 4, length));
    }
}

TEST_F(BridgeTest, ZeroLengthTransfersNeverReachTheDriver) {
    const jlong handle = openLoopbackDevice();
    jbyteArray buffer = vm.newByteArray(std::vector<jbyte>(4, 0));
    for (jint offset : {0, 4}) {
        EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_read(env, nullptr, handle, buffer, offset, 0));
        EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_write(env, nullptr, handle, buffer, offset, 0));
    }
    EXPECT_EQ(0u, simCallCount("FT_Read") + simCallCount("FT_Write"));
}

struct BrokenRegion {
    const char* name;
    bool nullArray;
    jint offset;
    jint length;
    const char* exception;
};

class BrokenRegionTest : public BridgeTest, public ::testing::WithParamInterface<BrokenRegion> {};

TEST_P(BrokenRegionTest, RaisesTheVmExceptionAndNeverCallsTheDriver) {
    const BrokenRegion& c = GetParam();
    const jlong handle = openLoopbackDevice();
    const uint8_t waiting[] = {7, 7, 7, 7};
    simInject(0, waiting, sizeof waiting);
    const std::vector<jbyte> original(16, 5);
    jbyteArray buffer = c.nullArray ? nullptr : vm.newByteArray(original);
    using Transfer = jint (*)(JNIEnv*, jclass, jlong, jbyteArray, jint, jint);
    for (Transfer transfer : {Java_nl_tamsel_ftdi_usb_D2XX_read, Java_nl_tamsel_ftdi_usb_D2XX_write}) {
        transfer(env, nullptr, handle, buffer, c.offset, c.length);
        EXPECT_EQ(c.exception, vm.exceptionClass());
        vm.clearException();
    }
    EXPECT_EQ(0u, simCallCount("FT_Read") + simCallCount("FT_Write"));
    if (buffer != nullptr) {
        EXPECT_EQ(original, vm.bytesOf(buffer));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Regions, BrokenRegionTest,
    ::testing::Values(
        BrokenRegion{"NullArray", true, 0, 4, "java/lang/NullPointerException"},
        BrokenRegion{"NullArrayZeroLength", true, 0, 0, "java/lang/NullPointerException"},
        BrokenRegion{"NegativeOffset", false, -1, 4, "java/lang/ArrayIndexOutOfBoundsException"},
        BrokenRegion{"NegativeLength", false, 0, -1, "java/lang/ArrayIndexOutOfBoundsException"},
        BrokenRegion{"PastTheEnd", false, 10, 7, "java/lang/ArrayIndexOutOfBoundsException"},
        BrokenRegion{"OffsetBeyondArray", false, 17, 0, "java/lang/ArrayIndexOutOfBoundsException"},
        BrokenRegion{"SumOverflowsInt", false, 8, INT_MAX, "java/lang/ArrayIndexOutOfBoundsException"},
        BrokenRegion{"HugeOffset", false, INT_MAX, 1, "java/lang/ArrayIndexOutOfBoundsException"}),
    [](const ::testing::TestParamInfo<BrokenRegion>& p) { return std::string(p.param.name); });

TEST_F(BridgeTest, TransfersOnClosedHandleReturnTheDriversStatus) {
    const jlong handle = openLoopbackDevice();
    EXPECT_EQ(0, Java_nl_tamsel_ftdi_usb_D2XX_close(env, nullptr, handle));
    jbyteArray buffer = vm.newByteArray(std::vector<jbyte>(300, 1));
    EXPECT_EQ(-1, Java_nl_tamsel_ftdi_usb_D2XX_write(env, nullptr, handle, buffer, 0, 300));
    EXPECT_EQ(-1, Java_nl_tamsel_ftdi_usb_D2XX_read(env, nullptr, handle, buffer, 0, 3));
}

// ---- Line settings and control signals ----

struct Setting {
    const char* name;
    std::function<jint(JNIEnv*, jlong)> call;
    const char* driverFunction;
    std::vector<uint64_t> expectedArgsAfterHandle;
    jint expectedResult;
};

class SettingTest : public BridgeTest, public ::testing::WithParamInterface<Setting> {};

TEST_P(SettingTest, ArgumentsReachTheDriverNarrowedAsItTakesThem) {
    const Setting& c = GetParam();
    const jlong handle = openLoopbackDevice();
    EXPECT_EQ(c.expectedResult, c.call(env, handle));
    std::vector<uint64_t> expected{static_cast<uint64_t>(handle)};
    expected.insert(expected.end(), c.expectedArgsAfterHandle.begin(), c.expectedArgsAfterHandle.end());
    EXPECT_EQ(expected, lastArgs(c.driverFunction));
    simFailNext(c.driverFunction, 3);
    EXPECT_EQ(-3, c.call(env, handle));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingTest,
    ::testing::Values(
        Setting{"Baudrate", [](JNIEnv* e, jlong h) { return D2XX(setBaudrate)(e, nullptr, h, 115200); },
                "FT_SetBaudRate", {115200}, 0},
        Setting{"NegativeBaudrateKeepsItsBits", [](JNIEnv* e, jlong h) { return D2XX(setBaudrate)(e, nullptr, h, -1); },
                "FT_SetBaudRate", {0xFFFFFFFFu}, -static_cast<jint>(kInvalidBaudRate)},
        Setting{"DataCharacteristicsCutToEightBits",
                [](JNIEnv* e, jlong h) { return D2XX(setDataCharacteristics)(e, nullptr, h, 0x108, 0x300, 0x202); },
                "FT_SetDataCharacteristics", {8, 0, 2}, 0},
        Setting{"Timeouts", [](JNIEnv* e, jlong h) { return D2XX(setTimeouts)(e, nullptr, h, -1, 500); },
                "FT_SetTimeouts", {0xFFFFFFFFu, 500}, 0},
        Setting{"FlowControlAlwaysXonXoff", [](JNIEnv* e, jlong h) { return D2XX(setFlowControl)(e, nullptr, h, 0x10400); },
                "FT_SetFlowControl", {0x0400, 0x11, 0x13}, 0},
        Setting{"CharsNormaliseBooleans",
                [](JNIEnv* e, jlong h) { return D2XX(setChars)(e, nullptr, h, 0x0A, 2, static_cast<jbyte>(0xE9), 0); },
                "FT_SetChars", {0x0A, 1, 0xE9, 0}, 0},
        Setting{"Purge", [](JNIEnv* e, jlong h) { return D2XX(purge)(e, nullptr, h, 3); }, "FT_Purge", {3}, 0},
        Setting{"LatencyTimerCutToEightBits", [](JNIEnv* e, jlong h) { return D2XX(setLatencyTimer)(e, nullptr, h, 300); },
                "FT_SetLatencyTimer", {44}, 0},
        Setting{"UsbParametersOutSizeZero", [](JNIEnv* e, jlong h) { return D2XX(setUSBParameters)(e, nullptr, h, 4096); },
                "FT_SetUSBParameters", {4096, 0}, 0},
        Setting{"DtrOn", [](JNIEnv* e, jlong h) { return D2XX(setDTR)(e, nullptr, h, 0x80); }, "FT_SetDtr", {}, 0},
        Setting{"DtrOff", [](JNIEnv* e, jlong h) { return D2XX(setDTR)(e, nullptr, h, 0); }, "FT_ClrDtr", {}, 0},
        Setting{"RtsOn", [](JNIEnv* e, jlong h) { return D2XX(setRTS)(e, nullptr, h, 1); }, "FT_SetRts", {}, 0},
        Setting{"RtsOff", [](JNIEnv* e, jlong h) { return D2XX(setRTS)(e, nullptr, h, 0); }, "FT_ClrRts", {}, 0},
        Setting{"BreakOn", [](JNIEnv* e, jlong h) { return D2XX(setBreak)(e, nullptr, h, 1); }, "FT_SetBreakOn", {}, 0},
        Setting{"BreakOff", [](JNIEnv* e, jlong h) { return D2XX(setBreak)(e, nullptr, h, 0); }, "FT_SetBreakOff", {}, 0},
        Setting{"Reset", [](JNIEnv* e, jlong h) { return D2XX(reset)(e, nullptr, h); }, "FT_ResetDevice", {}, 0}),
    [](const ::testing::TestParamInfo<Setting>& p) { return std::string(p.param.name); });

TEST_F(BridgeTest, SignalMethodsChooseBetweenSetAndClear) {
    const jlong handle = openLoopbackDevice();
    EXPECT_EQ(0, D2XX(setDTR)(env, nullptr, handle, 0));
    EXPECT_EQ(0, D2XX(setRTS)(env, nullptr, handle, 0));
    EXPECT_EQ(0, D2XX(setBreak)(env, nullptr, handle, 0));
    EXPECT_EQ(0u, simCallCount("FT_SetDtr") + simCallCount("FT_SetRts") + simCallCount("FT_SetBreakOn"));
    EXPECT_EQ(0, D2XX(setRTS)(env, nullptr, handle, 1));
    EXPECT_EQ(0, D2XX(setDTR)(env, nullptr, handle, 1));
    EXPECT_EQ(0, D2XX(setBreak)(env, nullptr, handle, 1));
    // Looped back: RTS drives CTS, DTR drives DSR and DCD, the break shows in the line status.
    EXPECT_EQ(0x10B0, D2XX(getModemStatus)(env, nullptr, handle) & 0x10F0);
}

// ---- Driver statuses ----

struct StatusCase {
    uint32_t status;
    jint expected;
};

class DriverStatusTest : public BridgeTest, public ::testing::WithParamInterface<StatusCase> {};

// Every failure reads as a negative result, also a status whose 32-bit negation is not negative.
TEST_P(DriverStatusTest, EveryFailureReadsAsNegative) {
    const uint32_t status = GetParam().status;
    const jint expected = GetParam().expected;
    const jlong handle = openLoopbackDevice();
    jbyteArray buffer = vm.newByteArray(std::vector<jbyte>(4, 0));
    simFailNext("FT_GetQueueStatus", status);
    EXPECT_EQ(expected, D2XX(getQueueStatus)(env, nullptr, handle));
    simFailNext("FT_SetBaudRate", status);
    EXPECT_EQ(expected, D2XX(setBaudrate)(env, nullptr, handle, 9600));
    simFailNext("FT_Write", status);
    EXPECT_EQ(expected, D2XX(write)(env, nullptr, handle, buffer, 0, 4));
    simFailNext("FT_Open", status);
    EXPECT_EQ(static_cast<jlong>(expected), D2XX(openByIndex)(env, nullptr, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, DriverStatusTest,
    ::testing::Values(StatusCase{1, -1}, StatusCase{19, -19}, StatusCase{0x7FFFFFFF, -0x7FFFFFFF},
                      StatusCase{0x80000000u, INT_MIN}, StatusCase{0x80000001u, INT_MIN},
                      StatusCase{0xFFFFFFFFu, INT_MIN}));

}  // namespace
