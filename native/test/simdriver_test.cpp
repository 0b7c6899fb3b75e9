// The simulated D2XX driver through its C interface: driver functions and control functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "d2xx.h"
#include "driver_status.h"
#include "sim_control.h"

namespace {

using sim::kDeviceNotFound;
using sim::kDeviceNotOpened;
using sim::kInvalidBaudRate;
using sim::kInvalidHandle;
using sim::kInvalidParameter;
using sim::kIoError;
constexpr uint32_t kType232R = 5;
constexpr uint32_t kType232H = 8;

FT_HANDLE handleFromBits(uint64_t bits) {
    return reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(bits));
}

uint64_t bitsOf(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

// Names a parameterised case after its table entry.
template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& testCase) {
    return testCase.param.name;
}

bool sameState(const SimDeviceState& a, const SimDeviceState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class SimDriverTest : public ::testing::Test {
protected:
    void SetUp() override { simReset(); }
    void TearDown() override { simReset(); }

    static int32_t addDevice(const std::string& serial, const std::string& description,
                             uint32_t locId = 0x1011, uint32_t type = kType232R) {
        return simAddDevice(0, type, 0x04036001, locId,
                            reinterpret_cast<const uint8_t*>(serial.data()),
                            static_cast<uint32_t>(serial.size()),
                            reinterpret_cast<const uint8_t*>(description.data()),
                            static_cast<uint32_t>(description.size()));
    }

    static FT_HANDLE open(int32_t index) {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(FT_OK, FT_Open(index, &handle));
        return handle;
    }

    static SimDeviceState stateOf(int32_t device) {
        SimDeviceState state{};
        EXPECT_EQ(0, simGetDeviceState(device, &state));
        return state;
    }

    static uint32_t modemStatus(FT_HANDLE handle) {
        uint32_t status = 0xDEAD;
        EXPECT_EQ(FT_OK, FT_GetModemStatus(handle, &status));
        return status;
    }

    static void inject(int32_t device, const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(0, simInject(device, bytes.data(), static_cast<uint32_t>(bytes.size())));
    }

    static std::vector<uint8_t> read(FT_HANDLE handle, uint32_t count, FT_STATUS expected = FT_OK) {
        std::vector<uint8_t> buffer(count);
        uint32_t got = 0xFFFFFFFF;
        EXPECT_EQ(expected, FT_Read(handle, buffer.data(), count, &got));
        buffer.resize(expected == FT_OK ? got : 0);
        return buffer;
    }

    static std::vector<uint8_t> takeWritten(int32_t device) {
        std::vector<uint8_t> out(4096);
        const int32_t taken = simTakeWritten(device, out.data(), static_cast<uint32_t>(out.size()));
        out.resize(static_cast<std::size_t>(taken));
        return out;
    }

    // Returns once a read has entered the driver: it records its call under the driver lock
    // and gives the lock up only to wait, so seeing the count means the reader is waiting.
    static void awaitBlockedReaders(uint32_t count) {
        while (simCallCount("FT_Read") < count) {
            std::this_thread::yield();
        }
    }
};

// ---- Handles -------------------------------------------------------------------------------

TEST_F(SimDriverTest, HandlesThatAreNotOpenAreRejected) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    uint32_t queued = 0;
    EXPECT_EQ(kInvalidHandle, FT_GetQueueStatus(nullptr, &queued));
    EXPECT_EQ(kInvalidHandle, FT_GetQueueStatus(handleFromBits(bitsOf(handle) + 0x10), &queued));
    EXPECT_EQ(kInvalidHandle, FT_GetQueueStatus(handleFromBits(0x1234), &queued));
    ASSERT_EQ(FT_OK, FT_Close(handle));
    EXPECT_EQ(kInvalidHandle, FT_GetQueueStatus(handle, &queued));
    EXPECT_EQ(kInvalidHandle, FT_Close(handle));

    FT_HANDLE reopened = open(0);
    EXPECT_NE(handle, reopened) << "a closed handle's value must not come back";
    EXPECT_EQ(kInvalidHandle, FT_SetDtr(handle));
    EXPECT_EQ(FT_OK, FT_SetDtr(reopened));
}

TEST_F(SimDriverTest, AHandleJustUsedIsForgottenByCloseAndReset) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    uint32_t queued = 0;
    ASSERT_EQ(FT_OK, FT_GetQueueStatus(handle, &queued));
    ASSERT_EQ(FT_OK, FT_Close(handle));
    EXPECT_EQ(kInvalidHandle, FT_GetQueueStatus(handle, &queued));

    FT_HANDLE reopened = open(0);
    ASSERT_EQ(FT_OK, FT_GetQueueStatus(reopened, &queued));
    simReset();
    EXPECT_EQ(kInvalidHandle, FT_GetQueueStatus(reopened, &queued));
    // Offsets restart with the reset, so the new device's handle has the old bits.
    addDevice("B2", "Beta");
    ASSERT_EQ(handle, open(0));
    inject(0, {1, 2, 3});
    ASSERT_EQ(FT_OK, FT_GetQueueStatus(handle, &queued));
    EXPECT_EQ(3U, queued);
}

// Handles are pointers: a base wider than the target's pointers keeps only the bits that fit.
// By default they lie high in the address space, above 2 GiB on 32-bit targets.
TEST_F(SimDriverTest, HandlesFollowTheBaseAndDieWithReset) {
    const bool wide = sizeof(void*) == 8;
    simSetHandleBase(0x0000123480000000);
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    EXPECT_EQ(wide ? 0x0000123480000010U : 0x80000010U, bitsOf(handle));
    EXPECT_EQ(bitsOf(handle), simHandleOf(0));
    simReset();
    addDevice("A1", "Alpha");
    EXPECT_EQ(kInvalidHandle, FT_SetDtr(handle));
    EXPECT_EQ(0U, simHandleOf(0));
    EXPECT_EQ(wide ? 0x00007F5A00000010U : 0xB5A00010U, bitsOf(open(0)))
        << "reset restores base and offsets";
}

// The records as bytes, at the driver's published offsets rather than through the declared
// struct: 104 bytes with an 8-byte handle at 96 on 64-bit targets, 100 bytes with a 4-byte
// handle at 96 on 32-bit targets.
TEST_F(SimDriverTest, DeviceListRecordsHaveThePublishedLayout) {
    const size_t handleSize = sizeof(void*);
    const size_t recordSize = handleSize == 8 ? 104 : 100;
    addDevice("A1", "Alpha", 0x11);
    addDevice("B2", "Beta", 0x22);
    FT_HANDLE handle = open(1);
    uint32_t count = 0;
    ASSERT_EQ(FT_OK, FT_CreateDeviceInfoList(&count));
    ASSERT_EQ(2U, count);

    alignas(FT_DEVICE_LIST_INFO_NODE) unsigned char raw[2 * 104 + 8];
    std::memset(raw, 0xAB, sizeof raw);
    ASSERT_EQ(FT_OK, FT_GetDeviceInfoList(reinterpret_cast<FT_DEVICE_LIST_INFO_NODE*>(raw), &count));
    ASSERT_EQ(2U, count);
    const unsigned char* second = raw + recordSize;
    uint32_t locId = 0;
    std::memcpy(&locId, second + 12, sizeof locId);
    EXPECT_EQ(0x22U, locId);
    EXPECT_STREQ("B2", reinterpret_cast<const char*>(second + 16));
    EXPECT_STREQ("Beta", reinterpret_cast<const char*>(second + 32));
    uint64_t handleBits = 0;
    std::memcpy(&handleBits, second + 96, handleSize);  // little-endian targets only
    EXPECT_EQ(bitsOf(handle), handleBits);
    EXPECT_EQ(0xAB, raw[2 * recordSize]) << "nothing written after the second record";
}

// Every value with calls that came while it was closed, and their counts, sorted by value.
std::vector<std::pair<uint64_t, uint32_t>> closedHandleCalls() {
    std::array<uint64_t, 64> handles{};
    std::array<uint32_t, 64> counts{};
    const int32_t listed = simClosedHandleCallList(handles.data(), counts.data(), 64);
    std::vector<std::pair<uint64_t, uint32_t>> calls;
    for (int32_t i = 0; i < std::min(listed, 64); ++i) {
        calls.emplace_back(handles[static_cast<std::size_t>(i)], counts[static_cast<std::size_t>(i)]);
    }
    std::sort(calls.begin(), calls.end());
    return calls;
}

TEST_F(SimDriverTest, ReuseGivesTheLatestClosedValueToTheNextOpenOfAnyDevice) {
    addDevice("A1", "Alpha");
    addDevice("B2", "Beta");
    addDevice("C3", "Gamma");
    simSetHandleReuse(1);
    FT_HANDLE a = open(0);
    FT_HANDLE b = open(1);
    ASSERT_EQ(FT_OK, FT_Close(a));
    ASSERT_EQ(FT_OK, FT_Close(b));
    EXPECT_EQ(b, open(2)) << "the value closed last comes first";
    EXPECT_EQ(a, open(0));
    const FT_HANDLE fresh = open(1);
    EXPECT_NE(a, fresh);
    EXPECT_NE(b, fresh);
    // The stale value now names device 0: a late call lands there.
    EXPECT_EQ(FT_OK, FT_SetDtr(a));
    EXPECT_EQ(1U, stateOf(0).dtr);

    simReset();
    addDevice("A1", "Alpha");
    FT_HANDLE first = open(0);
    ASSERT_EQ(FT_OK, FT_Close(first));
    EXPECT_NE(first, open(0)) << "reset switches reuse off";
}

TEST_F(SimDriverTest, CallsWithAClosedHandleAreCountedPerValueUntilItIsIssuedAgain) {
    addDevice("A1", "Alpha");
    addDevice("B2", "Beta");
    simSetHandleReuse(1);
    FT_HANDLE a = open(0);
    FT_HANDLE b = open(1);
    uint32_t value = 0;
    ASSERT_EQ(FT_OK, FT_Close(a));
    ASSERT_EQ(FT_OK, FT_Close(b));
    EXPECT_EQ(kInvalidHandle, FT_GetQueueStatus(a, &value));
    EXPECT_EQ(kInvalidHandle, FT_Write(a, &value, 1, &value));
    EXPECT_EQ(kInvalidHandle, FT_Read(a, &value, 1, &value));
    EXPECT_EQ(kInvalidHandle, FT_Close(a));
    ASSERT_EQ(0, simFailNext("FT_SetBaudRate", 4));
    EXPECT_EQ(4U, FT_SetBaudRate(b, 9600)) << "an injected failure is counted as well";
    EXPECT_EQ(kInvalidHandle, FT_SetDtr(handleFromBits(0x1234))) << "never issued: not counted";
    EXPECT_EQ(kInvalidHandle, FT_SetDtr(nullptr));
    EXPECT_EQ(4U, simClosedHandleCalls(bitsOf(a)));
    EXPECT_EQ(1U, simClosedHandleCalls(bitsOf(b)));
    EXPECT_EQ(0U, simClosedHandleCalls(0x1234));
    std::vector<std::pair<uint64_t, uint32_t>> expected{{bitsOf(a), 4}, {bitsOf(b), 1}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, closedHandleCalls());
    EXPECT_EQ(2, simClosedHandleCallList(nullptr, nullptr, 0));

    ASSERT_EQ(b, open(0));
    EXPECT_EQ(FT_OK, FT_SetDtr(b));
    EXPECT_EQ(1U, simClosedHandleCalls(bitsOf(b))) << "open again: its calls are its own";
    simReset();
    EXPECT_EQ(0U, simClosedHandleCalls(bitsOf(a)));
    EXPECT_TRUE(closedHandleCalls().empty());
}

// ---- Opening -------------------------------------------------------------------------------

TEST_F(SimDriverTest, OpenByIndexChecksRangeStateAndOutPointer) {
    addDevice("A1", "Alpha");
    addDevice("B2", "Beta");
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(kDeviceNotFound, FT_Open(2, &handle));
    EXPECT_EQ(kDeviceNotFound, FT_Open(-1, &handle));
    EXPECT_EQ(kInvalidParameter, FT_Open(0, nullptr));
    ASSERT_EQ(0, simSetOpenedElsewhere(1, 1));
    EXPECT_EQ(kDeviceNotOpened, FT_Open(1, &handle));
    EXPECT_EQ(nullptr, handle);
    handle = open(0);
    FT_HANDLE second = nullptr;
    EXPECT_EQ(kDeviceNotOpened, FT_Open(0, &second));
    ASSERT_EQ(0, simUnplug(0));
    EXPECT_EQ(kDeviceNotOpened, FT_Open(0, &second)) << "index 0 is now the device opened elsewhere";
    ASSERT_EQ(0, simSetOpenedElsewhere(1, 0));
    EXPECT_EQ(FT_OK, FT_Open(0, &second));
    EXPECT_EQ(bitsOf(second), simHandleOf(1));
}

TEST_F(SimDriverTest, OpenExFindsDevicesByTextAndLocation) {
    const std::string fullSerial = "ABCDEFGHIJKLMNOP";  // fills the field, no terminator
    addDevice("A1", "Alpha", 0x2211);
    addDevice(fullSerial, "Beta", 0x3311);
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(kDeviceNotFound, FT_OpenEx(const_cast<char*>("ABC"), FT_OPEN_BY_SERIAL_NUMBER, &handle));
    EXPECT_EQ(kDeviceNotFound,
              FT_OpenEx(const_cast<char*>("ABCDEFGHIJKLMNOPQ"), FT_OPEN_BY_SERIAL_NUMBER, &handle));
    EXPECT_EQ(kDeviceNotFound, FT_OpenEx(const_cast<char*>("Alph"), FT_OPEN_BY_DESCRIPTION, &handle));
    ASSERT_EQ(FT_OK, FT_OpenEx(const_cast<char*>(fullSerial.c_str()), FT_OPEN_BY_SERIAL_NUMBER, &handle));
    EXPECT_EQ(bitsOf(handle), simHandleOf(1));
    EXPECT_EQ(kDeviceNotOpened, FT_OpenEx(const_cast<char*>("Beta"), FT_OPEN_BY_DESCRIPTION, &handle));
    ASSERT_EQ(FT_OK, FT_OpenEx(const_cast<char*>("Alpha"), FT_OPEN_BY_DESCRIPTION, &handle));
    EXPECT_EQ(bitsOf(handle), simHandleOf(0));
    ASSERT_EQ(FT_OK, FT_Close(handle));

    // The location travels in the pointer's bits; only the low 32 bits select.
    void* location = handleFromBits(0xFFFF000000002211);
    ASSERT_EQ(FT_OK, FT_OpenEx(location, FT_OPEN_BY_LOCATION, &handle));
    EXPECT_EQ(bitsOf(handle), simHandleOf(0));
    std::array<uint64_t, 5> args{};
    ASSERT_EQ(3, simLastArgs("FT_OpenEx", args.data(), 5));
    EXPECT_EQ(bitsOf(location), args[0]);  // 0xFFFF000000002211 where pointers hold 64 bits
    EXPECT_EQ(kDeviceNotFound, FT_OpenEx(handleFromBits(0x4411), FT_OPEN_BY_LOCATION, &handle));
}

TEST_F(SimDriverTest, OpenExRejectsBadModesAndPointers) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = nullptr;
    for (uint32_t mode : {0U, 3U, 8U, 0x10U}) {
        EXPECT_EQ(kInvalidParameter, FT_OpenEx(const_cast<char*>("A1"), mode, &handle)) << mode;
    }
    EXPECT_EQ(kInvalidParameter, FT_OpenEx(const_cast<char*>("A1"), FT_OPEN_BY_SERIAL_NUMBER, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_OpenEx(nullptr, FT_OPEN_BY_DESCRIPTION, &handle));
    EXPECT_EQ(0U, simHandleOf(0));
}

// ---- Device list ---------------------------------------------------------------------------

TEST_F(SimDriverTest, DeviceListIsASnapshotWithOpenFlags) {
    addDevice("A1", "Alpha", 0x11);
    addDevice("B2", "Beta", 0x22);
    addDevice("C3", "Gamma", 0x33);
    ASSERT_EQ(0, simSetOpenedElsewhere(2, 1));
    FT_HANDLE handle = open(0);
    uint32_t count = 0;
    ASSERT_EQ(FT_OK, FT_CreateDeviceInfoList(&count));
    ASSERT_EQ(3U, count);
    addDevice("D4", "Delta", 0x44);  // after the snapshot: not listed

    std::array<FT_DEVICE_LIST_INFO_NODE, 5> nodes{};
    std::memset(nodes.data(), 0xAB, sizeof nodes);
    count = 5;
    ASSERT_EQ(FT_OK, FT_GetDeviceInfoList(nodes.data(), &count));
    ASSERT_EQ(3U, count);
    EXPECT_EQ(1U, nodes[0].Flags);
    EXPECT_EQ(handle, nodes[0].ftHandle);
    EXPECT_STREQ("A1", nodes[0].SerialNumber);
    EXPECT_STREQ("Alpha", nodes[0].Description);
    EXPECT_EQ(kType232R, nodes[0].Type);
    EXPECT_EQ(0x04036001U, nodes[0].ID);
    EXPECT_EQ(0x11U, nodes[0].LocId);
    EXPECT_EQ(0U, nodes[1].Flags);
    EXPECT_EQ(nullptr, nodes[1].ftHandle);
    EXPECT_EQ(1U, nodes[2].Flags);
    EXPECT_EQ(0x33U, nodes[2].LocId);
    EXPECT_EQ(std::string(16, '\0'), std::string(nodes[2].SerialNumber, 16));
    EXPECT_EQ(std::string(64, '\0'), std::string(nodes[2].Description, 64));
    EXPECT_EQ(nullptr, nodes[2].ftHandle);
    EXPECT_EQ(0xABU, static_cast<uint8_t>(nodes[3].SerialNumber[0])) << "wrote past the snapshot";

    // A new snapshot follows unplugging and the fourth device.
    ASSERT_EQ(0, simUnplug(1));
    ASSERT_EQ(FT_OK, FT_CreateDeviceInfoList(&count));
    EXPECT_EQ(3U, count);
    count = 1;
    ASSERT_EQ(FT_OK, FT_GetDeviceInfoList(nodes.data(), &count));
    EXPECT_EQ(1U, count);
}

TEST_F(SimDriverTest, DeviceListWithoutSnapshotShowsCurrentListAndKeepsFieldsByteForByte) {
    std::string serial(16, 'S');
    std::string description(64, 'D');
    description[3] = '\0';  // stored as given, inner zero included
    addDevice(serial, description);
    std::array<FT_DEVICE_LIST_INFO_NODE, 1> nodes{};
    uint32_t count = 1;
    ASSERT_EQ(FT_OK, FT_GetDeviceInfoList(nodes.data(), &count));
    ASSERT_EQ(1U, count);
    EXPECT_EQ(serial, std::string(nodes[0].SerialNumber, 16));
    EXPECT_EQ(description, std::string(nodes[0].Description, 64));
    EXPECT_EQ(-1, addDevice(std::string(17, 'S'), "x"));
    EXPECT_EQ(-1, addDevice("x", std::string(65, 'D')));
}

// ---- Line settings -------------------------------------------------------------------------

TEST_F(SimDriverTest, NewDeviceHasTheDriverDefaults) {
    addDevice("A1", "Alpha");
    const SimDeviceState state = stateOf(0);
    EXPECT_EQ(0U, state.open);
    EXPECT_EQ(9600U, state.baudRate);
    EXPECT_EQ(8U, state.wordLength);
    EXPECT_EQ(0U, state.stopBits);
    EXPECT_EQ(0U, state.parity);
    EXPECT_EQ(0U, state.flowControl);
    EXPECT_EQ(0x11U, state.xon);
    EXPECT_EQ(0x13U, state.xoff);
    EXPECT_EQ(0U, state.readTimeout);
    EXPECT_EQ(16U, state.latencyTimer);
    EXPECT_EQ(4096U, state.inTransferSize);
    FT_HANDLE handle = open(0);
    uint32_t version = 0;
    int32_t port = 0;
    uint8_t latency = 0;
    EXPECT_EQ(FT_OK, FT_GetDriverVersion(handle, &version));
    EXPECT_EQ(0x00021216U, version);
    EXPECT_EQ(FT_OK, FT_GetLibraryVersion(&version));
    EXPECT_EQ(0x00030215U, version);
    EXPECT_EQ(FT_OK, FT_GetComPortNumber(handle, &port));
    EXPECT_EQ(-1, port);
    EXPECT_EQ(FT_OK, FT_GetLatencyTimer(handle, &latency));
    EXPECT_EQ(16U, latency);
    simSetDriverVersion(0, 0x00020E04);
    simSetComPort(0, 7);
    simSetLibraryVersion(0x00010203);
    FT_GetDriverVersion(handle, &version);
    EXPECT_EQ(0x00020E04U, version);
    FT_GetLibraryVersion(&version);
    EXPECT_EQ(0x00010203U, version);
    FT_GetComPortNumber(handle, &port);
    EXPECT_EQ(7, port);
}

struct BaudCase {
    uint32_t type;
    uint32_t rate;
    FT_STATUS expected;
};

class BaudRateTest : public SimDriverTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(BaudRateTest, AcceptsOnlyRatesTheClockReaches) {
    const BaudCase& c = GetParam();
    simAddDevice(0, c.type, 0, 0, nullptr, 0, nullptr, 0);
    FT_HANDLE handle = open(0);
    EXPECT_EQ(c.expected, FT_SetBaudRate(handle, c.rate));
    EXPECT_EQ(c.expected == FT_OK ? c.rate : 9600U, stateOf(0).baudRate);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, BaudRateTest,
    ::testing::Values(BaudCase{kType232R, 300, FT_OK}, BaudCase{kType232R, 115200, FT_OK},
                      BaudCase{kType232R, 921600, FT_OK}, BaudCase{kType232R, 2000000, FT_OK},
                      BaudCase{kType232R, 3000000, FT_OK}, BaudCase{kType232R, 2950000, FT_OK},
                      BaudCase{kType232R, 178, FT_OK},  // within 3% of the slowest divisor
                      BaudCase{kType232R, 170, kInvalidBaudRate},
                      BaudCase{kType232R, 0, kInvalidBaudRate},
                      BaudCase{kType232R, 2500000, kInvalidBaudRate},  // between the specials
                      BaudCase{kType232R, 2850000, kInvalidBaudRate},
                      BaudCase{kType232R, 3000001, kInvalidBaudRate},
                      BaudCase{kType232R, 6000000, kInvalidBaudRate},
                      BaudCase{6, 6000000, FT_OK}, BaudCase{7, 8000000, FT_OK},
                      BaudCase{kType232H, 12000000, FT_OK},
                      BaudCase{kType232H, 10000000, kInvalidBaudRate},
                      BaudCase{kType232H, 12000001, kInvalidBaudRate}));

struct SettingCase {
    const char* name;
    std::function<FT_STATUS(FT_HANDLE)> apply;
    FT_STATUS expected;
};

class SettingTest : public SimDriverTest, public ::testing::WithParamInterface<SettingCase> {};

TEST_P(SettingTest, RejectedValuesLeaveSettingsUnchanged) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    const SimDeviceState before = stateOf(0);
    EXPECT_EQ(GetParam().expected, GetParam().apply(handle));
    EXPECT_EQ(GetParam().expected != FT_OK, sameState(before, stateOf(0)));
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingTest,
    ::testing::Values(
        SettingCase{"seven_two_space", [](FT_HANDLE h) { return FT_SetDataCharacteristics(h, 7, 2, 4); }, FT_OK},
        SettingCase{"six_bits", [](FT_HANDLE h) { return FT_SetDataCharacteristics(h, 6, 0, 0); }, kInvalidParameter},
        SettingCase{"stop_one", [](FT_HANDLE h) { return FT_SetDataCharacteristics(h, 8, 1, 0); }, kInvalidParameter},
        SettingCase{"parity_five", [](FT_HANDLE h) { return FT_SetDataCharacteristics(h, 7, 2, 5); }, kInvalidParameter},
        SettingCase{"rts_cts", [](FT_HANDLE h) { return FT_SetFlowControl(h, 0x0100, 0x11, 0x13); }, FT_OK},
        SettingCase{"xon_xoff_chars", [](FT_HANDLE h) { return FT_SetFlowControl(h, 0x0400, 0x21, 0x23); }, FT_OK},
        SettingCase{"flow_combined", [](FT_HANDLE h) { return FT_SetFlowControl(h, 0x0300, 0x21, 0x23); }, kInvalidParameter},
        SettingCase{"latency_two", [](FT_HANDLE h) { return FT_SetLatencyTimer(h, 2); }, FT_OK},
        SettingCase{"latency_one", [](FT_HANDLE h) { return FT_SetLatencyTimer(h, 1); }, kInvalidParameter},
        SettingCase{"usb_64", [](FT_HANDLE h) { return FT_SetUSBParameters(h, 64, 100); }, FT_OK},
        SettingCase{"usb_65536", [](FT_HANDLE h) { return FT_SetUSBParameters(h, 65536, 0); }, FT_OK},
        SettingCase{"usb_zero", [](FT_HANDLE h) { return FT_SetUSBParameters(h, 0, 4096); }, kInvalidParameter},
        SettingCase{"usb_unaligned", [](FT_HANDLE h) { return FT_SetUSBParameters(h, 100, 4096); }, kInvalidParameter},
        SettingCase{"usb_too_large", [](FT_HANDLE h) { return FT_SetUSBParameters(h, 65600, 4096); }, kInvalidParameter},
        SettingCase{"timeouts", [](FT_HANDLE h) { return FT_SetTimeouts(h, 100, 200); }, FT_OK},
        SettingCase{"chars", [](FT_HANDLE h) { return FT_SetChars(h, 0x0A, 1, 0x3F, 1); }, FT_OK},
        SettingCase{"purge_bad_mask", [](FT_HANDLE h) { return FT_Purge(h, 4); }, kInvalidParameter}),
    caseName<SettingCase>);

TEST_F(SimDriverTest, ResetDeviceRestoresDefaultsAndEmptiesReceiveQueue) {
    addDevice("A1", "Alpha");
    const SimDeviceState defaults = stateOf(0);
    FT_HANDLE handle = open(0);
    FT_SetBaudRate(handle, 115200);
    FT_SetTimeouts(handle, 5, 5);
    FT_SetLatencyTimer(handle, 3);
    FT_SetRts(handle);
    inject(0, {1, 2, 3});
    ASSERT_EQ(FT_OK, FT_ResetDevice(handle));
    SimDeviceState after = stateOf(0);
    EXPECT_EQ(1U, after.resetCount);
    EXPECT_EQ(0U, after.rxQueued);
    after.open = defaults.open;
    after.resetCount = defaults.resetCount;
    EXPECT_TRUE(sameState(defaults, after));
}

// ---- Loopback, signals and queues ----------------------------------------------------------

TEST_F(SimDriverTest, LoopbackEchoesDataAndWiresSignals) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    std::array<uint8_t, 4> data{0x10, 0x20, 0x30, 0x40};
    uint32_t written = 0;
    ASSERT_EQ(FT_OK, FT_Write(handle, data.data(), 4, &written));
    EXPECT_EQ(4U, written);
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), read(handle, 4));
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), takeWritten(0));
    EXPECT_TRUE(takeWritten(0).empty()) << "taking drains the log";

    EXPECT_EQ(0U, modemStatus(handle));
    FT_SetRts(handle);
    EXPECT_EQ(0x10U, modemStatus(handle));
    FT_SetDtr(handle);
    FT_ClrRts(handle);
    EXPECT_EQ(0xA0U, modemStatus(handle));
    FT_ClrDtr(handle);
    simSetModemInputs(0, 0xF0);  // looped back only RI passes
    FT_SetBreakOn(handle);
    EXPECT_EQ(0x1040U, modemStatus(handle));
    EXPECT_EQ(0x1040U, modemStatus(handle)) << "break stays while on";
    FT_SetBreakOff(handle);
    EXPECT_EQ(0x40U, modemStatus(handle));
}

TEST_F(SimDriverTest, WithoutLoopbackInputsComeFromControlAndWritesOnlyReachTheLog) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    ASSERT_EQ(0, simSetLoopback(0, 0));
    FT_SetRts(handle);
    FT_SetDtr(handle);
    FT_SetBreakOn(handle);
    EXPECT_EQ(0U, modemStatus(handle));
    simSetModemInputs(0, 0x30);
    EXPECT_EQ(0x30U, modemStatus(handle));
    std::array<uint8_t, 2> data{7, 8};
    uint32_t written = 0;
    ASSERT_EQ(FT_OK, FT_Write(handle, data.data(), 2, &written));
    EXPECT_EQ(0U, stateOf(0).rxQueued);
    EXPECT_EQ((std::vector<uint8_t>{7, 8}), takeWritten(0));
}

TEST_F(SimDriverTest, LineErrorsAreReportedOnceAndOverflowRaisesOverrun) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    simRaiseLineErrors(0, 0x0C);
    EXPECT_EQ(0x0C00U, modemStatus(handle));
    EXPECT_EQ(0U, modemStatus(handle));

    std::vector<uint8_t> big((1 << 20) + 10, 0x55);
    inject(0, big);
    EXPECT_EQ(1U << 20, stateOf(0).rxQueued);
    EXPECT_EQ(0x0200U, modemStatus(handle));
    uint32_t queued = 0;
    ASSERT_EQ(FT_OK, FT_GetQueueStatus(handle, &queued));
    EXPECT_EQ(1U << 20, queued);
}

TEST_F(SimDriverTest, PurgeEmptiesReceiveQueueAndCountsBothDirections) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    inject(0, {1, 2, 3});
    ASSERT_EQ(FT_OK, FT_Purge(handle, 2));
    EXPECT_EQ(3U, stateOf(0).rxQueued);
    ASSERT_EQ(FT_OK, FT_Purge(handle, 3));
    const SimDeviceState state = stateOf(0);
    EXPECT_EQ(0U, state.rxQueued);
    EXPECT_EQ(1U, state.purgeRxCount);
    EXPECT_EQ(2U, state.purgeTxCount);
}

TEST_F(SimDriverTest, NullOutPointersAreInvalidParameters) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    uint8_t byte = 0;
    EXPECT_EQ(kInvalidParameter, FT_GetModemStatus(handle, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetQueueStatus(handle, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetDriverVersion(handle, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetComPortNumber(handle, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetLatencyTimer(handle, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetLibraryVersion(nullptr));
    EXPECT_EQ(kInvalidParameter, FT_CreateDeviceInfoList(nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetDeviceInfoList(nullptr, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_Read(handle, &byte, 1, nullptr));
    EXPECT_EQ(kInvalidParameter, FT_Write(handle, &byte, 1, nullptr));
    EXPECT_EQ(0U, stateOf(0).writtenQueued);
}

// ---- Reads that wait -----------------------------------------------------------------------

TEST_F(SimDriverTest, ReadWithTimeoutReturnsShortCount) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    FT_SetTimeouts(handle, 20, 0);
    inject(0, {1, 2, 3});
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), read(handle, 10));
    EXPECT_TRUE(read(handle, 10).empty());
}

TEST_F(SimDriverTest, ReadWithoutTimeoutWaitsForAllBytes) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    inject(0, {1});
    std::vector<uint8_t> got;
    std::thread reader([&] { got = read(handle, 3); });
    awaitBlockedReaders(1);
    inject(0, {2});
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    inject(0, {3, 4});
    reader.join();
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), got);
    EXPECT_EQ(1U, stateOf(0).rxQueued);
}

struct WakeCase {
    const char* name;
    std::function<void(FT_HANDLE)> wake;
    FT_STATUS expected;
};

class BlockedReadTest : public SimDriverTest, public ::testing::WithParamInterface<WakeCase> {};

TEST_P(BlockedReadTest, WakesWithTheRightStatus) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    FT_STATUS status = 0xFFFF;
    uint32_t got = 0xFFFF;
    std::thread reader([&] {
        std::array<uint8_t, 8> buffer{};
        status = FT_Read(handle, buffer.data(), 8, &got);
    });
    awaitBlockedReaders(1);
    GetParam().wake(handle);
    reader.join();
    EXPECT_EQ(GetParam().expected, status);
    if (status == FT_OK) {
        EXPECT_EQ(0U, got);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Wakers, BlockedReadTest,
    ::testing::Values(WakeCase{"purge", [](FT_HANDLE h) { FT_Purge(h, 1); }, FT_OK},
                      WakeCase{"close", [](FT_HANDLE h) { FT_Close(h); }, kInvalidHandle},
                      WakeCase{"unplug", [](FT_HANDLE) { simUnplug(0); }, kIoError},
                      WakeCase{"reset", [](FT_HANDLE) { simReset(); }, kIoError}),
    caseName<WakeCase>);

TEST_F(SimDriverTest, UnpluggedDeviceFailsEverythingButClose) {
    addDevice("A1", "Alpha");
    addDevice("B2", "Beta");
    FT_HANDLE handle = open(0);
    ASSERT_EQ(0, simUnplug(0));
    uint32_t value = 0;
    EXPECT_EQ(kIoError, FT_GetQueueStatus(handle, &value));
    EXPECT_EQ(kIoError, FT_SetBaudRate(handle, 9600));
    EXPECT_EQ(kIoError, FT_Write(handle, &value, 1, &value));
    ASSERT_EQ(FT_OK, FT_CreateDeviceInfoList(&value));
    EXPECT_EQ(1U, value);
    EXPECT_EQ(FT_OK, FT_Close(handle));
    EXPECT_EQ(kInvalidHandle, FT_Close(handle));
    EXPECT_EQ(0U, stateOf(0).open);
}

struct StallCase {
    const char* name;
    uint32_t writeTimeout;
    std::function<void(FT_HANDLE)> end;
    FT_STATUS expected;
    uint32_t written;
};

class StalledWriteTest : public SimDriverTest, public ::testing::WithParamInterface<StallCase> {};

TEST_P(StalledWriteTest, EndsWithTheRightStatusAndCount) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    ASSERT_EQ(FT_OK, FT_SetTimeouts(handle, 0, GetParam().writeTimeout));
    ASSERT_EQ(0, simSetWritesStalled(0, 1));
    FT_STATUS status = 0xFFFF;
    uint32_t written = 0xFFFF;
    std::thread writer([&] {
        std::array<uint8_t, 3> bytes{7, 8, 9};
        status = FT_Write(handle, bytes.data(), 3, &written);
    });
    // The driver records a write before it waits, under the lock the enders take too.
    while (simCallCount("FT_Write") < 1) {
        std::this_thread::yield();
    }
    GetParam().end(handle);
    writer.join();
    EXPECT_EQ(GetParam().expected, status);
    if (status == FT_OK) {
        EXPECT_EQ(GetParam().written, written);
        EXPECT_EQ(GetParam().written, stateOf(0).writtenQueued);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Enders, StalledWriteTest,
    ::testing::Values(
        StallCase{"timeout", 5, [](FT_HANDLE) {}, FT_OK, 0},
        StallCase{"purge", 0, [](FT_HANDLE h) { FT_Purge(h, 2); }, FT_OK, 0},
        StallCase{"release", 0, [](FT_HANDLE) { simSetWritesStalled(0, 0); }, FT_OK, 3},
        StallCase{"close", 0, [](FT_HANDLE h) { FT_Close(h); }, kInvalidHandle, 0},
        StallCase{"unplug", 0, [](FT_HANDLE) { simUnplug(0); }, kIoError, 0},
        StallCase{"reset", 0, [](FT_HANDLE) { simReset(); }, kIoError, 0}),
    caseName<StallCase>);

// ---- Faults and reported counts ------------------------------------------------------------

TEST_F(SimDriverTest, InjectedFailuresChangeNothing) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    inject(0, {9, 8});
    ASSERT_EQ(0, simFailNext("FT_Read", 4));
    ASSERT_EQ(0, simFailNext("FT_SetBaudRate", 18));
    std::array<uint8_t, 2> buffer{};
    uint32_t got = 77;
    EXPECT_EQ(4U, FT_Read(handle, buffer.data(), 2, &got));
    EXPECT_EQ(77U, got);
    EXPECT_EQ(2U, stateOf(0).rxQueued);
    EXPECT_EQ(18U, FT_SetBaudRate(handle, 115200));
    EXPECT_EQ(9600U, stateOf(0).baudRate);
    EXPECT_EQ(FT_OK, FT_SetBaudRate(handle, 115200)) << "a one-shot failure is used up";

    ASSERT_EQ(0, simFailAlways("FT_Close", 3));
    EXPECT_EQ(3U, FT_Close(handle));
    EXPECT_EQ(3U, FT_Close(handle));
    EXPECT_EQ(1U, stateOf(0).open);
    simClearFaults();
    EXPECT_EQ(FT_OK, FT_Close(handle));
    EXPECT_EQ(-1, simFailNext("FT_Nothing", 1));
    EXPECT_EQ(-1, simReportNextCount("FT_Close", 1));
}

TEST_F(SimDriverTest, ReportedCountsNeverOverrunTheCallersBuffer) {
    addDevice("A1", "Alpha");
    addDevice("B2", "Beta");
    FT_HANDLE handle = open(0);
    inject(0, {1, 2, 3, 4, 5});
    std::array<uint8_t, 4> buffer{0xEE, 0xEE, 0xEE, 0xEE};
    uint32_t got = 0;
    simReportNextCount("FT_Read", 1000);
    ASSERT_EQ(FT_OK, FT_Read(handle, buffer.data(), 3, &got));
    EXPECT_EQ(1000U, got);
    EXPECT_EQ((std::array<uint8_t, 4>{1, 2, 3, 0xEE}), buffer);
    EXPECT_EQ(2U, stateOf(0).rxQueued);

    std::array<uint8_t, 5> data{1, 2, 3, 4, 5};
    simReportNextCount("FT_Write", 2);
    ASSERT_EQ(FT_OK, FT_Write(handle, data.data(), 5, &got));
    EXPECT_EQ(2U, got);
    EXPECT_EQ((std::vector<uint8_t>{1, 2}), takeWritten(0));

    simReportNextCount("FT_GetQueueStatus", 12345);
    FT_GetQueueStatus(handle, &got);
    EXPECT_EQ(12345U, got);
    FT_GetQueueStatus(handle, &got);
    EXPECT_EQ(4U, got) << "the override applies once";

    simReportNextCount("FT_CreateDeviceInfoList", 9);
    FT_CreateDeviceInfoList(&got);
    EXPECT_EQ(9U, got);
    std::array<FT_DEVICE_LIST_INFO_NODE, 2> nodes{};
    std::memset(nodes.data(), 0xAB, sizeof nodes);
    simReportNextCount("FT_GetDeviceInfoList", 99);
    got = 1;
    ASSERT_EQ(FT_OK, FT_GetDeviceInfoList(nodes.data(), &got));
    EXPECT_EQ(99U, got);
    EXPECT_STREQ("A1", nodes[0].SerialNumber);
    EXPECT_EQ(0xABU, static_cast<uint8_t>(nodes[1].SerialNumber[0]));
}

// ---- Call records --------------------------------------------------------------------------

TEST_F(SimDriverTest, CallRecordsKeepArgumentsAsPassed) {
    addDevice("A1", "Alpha");
    std::array<uint64_t, 8> args{};
    EXPECT_EQ(-1, simLastArgs("FT_SetChars", args.data(), 8));
    EXPECT_EQ(-1, simLastOpenText(nullptr, 0));
    FT_HANDLE handle = nullptr;
    FT_Open(-1, &handle);
    ASSERT_EQ(2, simLastArgs("FT_Open", args.data(), 8));
    EXPECT_EQ(0xFFFFFFFFU, args[0]);
    EXPECT_EQ(bitsOf(&handle), args[1]);
    handle = open(0);
    FT_SetChars(handle, 0xFE, 1, 0x80, 0);
    ASSERT_EQ(5, simLastArgs("FT_SetChars", args.data(), 8));
    EXPECT_EQ((std::array<uint64_t, 5>{bitsOf(handle), 0xFE, 1, 0x80, 0}),
              (std::array<uint64_t, 5>{args[0], args[1], args[2], args[3], args[4]}));
    EXPECT_EQ(2U, simCallCount("FT_Open"));
    EXPECT_EQ(1U, simCallCount("FT_SetChars"));
    EXPECT_EQ(0U, simCallCount("FT_Nothing"));

    std::array<FT_DEVICE_LIST_INFO_NODE, 1> nodes{};
    uint32_t count = 1;
    FT_GetDeviceInfoList(nodes.data(), &count);
    ASSERT_EQ(2, simLastArgs("FT_GetDeviceInfoList", args.data(), 8));
    EXPECT_EQ(1U, args[1]) << "the in-count as it was on entry";

    const char text[] = {'S', 'N', '\0', 'X'};
    FT_OpenEx(const_cast<char*>(text), FT_OPEN_BY_SERIAL_NUMBER, &handle);
    std::array<uint8_t, 8> recorded{};
    ASSERT_EQ(3, simLastOpenText(recorded.data(), 8));
    EXPECT_EQ((std::array<uint8_t, 3>{'S', 'N', 0}),
              (std::array<uint8_t, 3>{recorded[0], recorded[1], recorded[2]}));
    std::string unterminated(1100, 'x');  // only 1024 bytes are scanned
    FT_OpenEx(unterminated.data(), FT_OPEN_BY_DESCRIPTION, &handle);
    std::vector<uint8_t> longText(2000);
    EXPECT_EQ(1024, simLastOpenText(longText.data(), 2000));

    simReset();
    EXPECT_EQ(0U, simCallCount("FT_Open"));
    EXPECT_EQ(-1, simLastOpenText(nullptr, 0));
}

// ---- Instant transfers ---------------------------------------------------------------------

TEST_F(SimDriverTest, InstantTransfersDeliverThePatternAndDropWrites) {
    addDevice("A1", "Alpha");
    FT_HANDLE handle = open(0);
    ASSERT_EQ(0, simSetInstantTransfers(0, 1));
    std::vector<uint8_t> got = read(handle, 70000);
    ASSERT_EQ(70000U, got.size());
    EXPECT_EQ(300 % 251, got[300]);
    EXPECT_EQ(65535 % 251, got[65535]);
    EXPECT_EQ(0, got[65536]) << "longer reads repeat the pattern";
    std::vector<uint8_t> data(100000, 1);
    uint32_t written = 0;
    ASSERT_EQ(FT_OK, FT_Write(handle, data.data(), 100000, &written));
    EXPECT_EQ(100000U, written);
    EXPECT_EQ(0U, stateOf(0).writtenQueued);
    EXPECT_EQ(0U, stateOf(0).rxQueued);
}

// ---- Concurrency ---------------------------------------------------------------------------

TEST_F(SimDriverTest, ThreadsOnDistinctDevicesDoNotDisturbEachOther) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 300;
    for (int i = 0; i < kThreads; ++i) {
        addDevice("S" + std::to_string(i), "Device");
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([i, &failures] {
            const std::string serial = "S" + std::to_string(i);
            FT_HANDLE handle = nullptr;
            if (FT_OpenEx(const_cast<char*>(serial.c_str()), FT_OPEN_BY_SERIAL_NUMBER, &handle) != FT_OK) {
                ++failures;
                return;
            }
            for (int round = 0; round < kRounds; ++round) {
                std::array<uint8_t, 3> out{static_cast<uint8_t>(i), static_cast<uint8_t>(round), 0x5A};
                std::array<uint8_t, 3> in{};
                uint32_t count = 0;
                uint32_t listed = 0;
                const bool ok = FT_Write(handle, out.data(), 3, &count) == FT_OK &&
                                FT_Read(handle, in.data(), 3, &count) == FT_OK && count == 3 &&
                                in == out && FT_CreateDeviceInfoList(&listed) == FT_OK &&
                                FT_SetBaudRate(handle, round % 2 == 0 ? 9600 : 115200) == FT_OK;
                if (!ok) {
                    ++failures;
                }
            }
            if (FT_Close(handle) != FT_OK) {
                ++failures;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(static_cast<uint32_t>(kThreads * kRounds), simCallCount("FT_Write"));
}

// Threads open, use and close their own devices while handle values are reused, and each then
// makes one call with the handle it just closed: every such call the driver refused is counted
// once against its value, none lost or counted twice under contention.
TEST_F(SimDriverTest, ClosedHandleCallsAreCountedExactlyUnderContention) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    for (int i = 0; i < kThreads; ++i) {
        addDevice("R" + std::to_string(i), "Device");
    }
    simSetHandleReuse(1);
    std::atomic<uint32_t> refused{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([i, &refused, &failures] {
            for (int round = 0; round < kRounds; ++round) {
                FT_HANDLE handle = nullptr;
                uint32_t queued = 0;
                if (FT_Open(i, &handle) != FT_OK || FT_GetQueueStatus(handle, &queued) != FT_OK ||
                    FT_Close(handle) != FT_OK) {
                    ++failures;
                    continue;
                }
                // Another thread may have been given the value meanwhile: then the call is its.
                if (FT_GetQueueStatus(handle, &queued) == kInvalidHandle) {
                    ++refused;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, failures.load());
    uint32_t counted = 0;
    for (const auto& [handle, count] : closedHandleCalls()) {
        counted += count;
    }
    EXPECT_EQ(refused.load(), counted);
    EXPECT_GT(counted, 0U);
}

}  // namespace
