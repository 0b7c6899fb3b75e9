// The simulated driver's functions beyond the serial line, through its C interface: bit modes
// per chip kind and their pins, device details and status events, EEPROM and user area, event
// notification, port recovery, and faults and handles for all 13.
#include <gtest/gtest.h>

#include <pthread.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "d2xx_modes.h"
#include "driver_status.h"
#include "sim_control.h"

namespace {

using sim::kInvalidHandle;
using sim::kInvalidParameter;
using sim::kIoError;

constexpr uint32_t kTypeBM = 0;
constexpr uint32_t kTypeUnknown = 3;
constexpr uint32_t kType2232C = 4;
constexpr uint32_t kType232R = 5;
constexpr uint32_t kType2232H = 6;
constexpr uint32_t kType4232H = 7;
constexpr uint32_t kType232H = 8;
constexpr uint32_t kTypeXSeries = 9;
constexpr FT_STATUS kEepromEraseFailed = 13;
constexpr FT_STATUS kOtherError = 18;

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& testCase) {
    return testCase.param.name;
}

int32_t addDevice(uint32_t type, const std::string& description, const std::string& serial = "A1") {
    return simAddDevice(0, type, 0x04036001, 0x1011, reinterpret_cast<const uint8_t*>(serial.data()),
                        static_cast<uint32_t>(serial.size()),
                        reinterpret_cast<const uint8_t*>(description.data()),
                        static_cast<uint32_t>(description.size()));
}

FT_HANDLE openLast() {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_OK, FT_Open(simDeviceCount() - 1, &handle));
    return handle;
}

void write(FT_HANDLE handle, std::vector<uint8_t> bytes) {
    uint32_t written = 0;
    ASSERT_EQ(FT_OK, FT_Write(handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &written));
    ASSERT_EQ(bytes.size(), written);
}

uint32_t queued(FT_HANDLE handle) {
    uint32_t rx = 0;
    EXPECT_EQ(FT_OK, FT_GetQueueStatus(handle, &rx));
    return rx;
}

std::vector<uint8_t> readAll(FT_HANDLE handle) {
    std::vector<uint8_t> bytes(queued(handle));
    uint32_t got = 0;
    EXPECT_EQ(FT_OK, FT_Read(handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &got));
    bytes.resize(got);
    return bytes;
}

uint8_t pinReading(FT_HANDLE handle) {
    uint8_t pins = 0;
    EXPECT_EQ(FT_OK, FT_GetBitMode(handle, &pins));
    return pins;
}

uint32_t events(FT_HANDLE handle) {
    uint32_t rx = 0;
    uint32_t tx = 0xDEAD;
    uint32_t bits = 0xDEAD;
    EXPECT_EQ(FT_OK, FT_GetStatus(handle, &rx, &tx, &bits));
    EXPECT_EQ(0U, tx);
    return bits;
}

class ModesTest : public ::testing::Test {
protected:
    void SetUp() override { simReset(); }
    void TearDown() override { simReset(); }

    // The pin bus models levels: a pin driven low from outside reads low. A placeholder that
    // keeps every pin high does not, and the pin tests then have nothing to check.
    static bool pinBusModelsLevels() {
        const int32_t probe = addDevice(kType232R, "probe");
        simSetPinInputs(probe, 0x1, 0x0);
        return (simGetPinLevels(probe) & 1) == 0;
    }
};

// ---- Bit modes per chip kind -----------------------------------------------------------------

struct ModeCase {
    const char* name;
    uint32_t type;
    const char* description;
    uint8_t mode;
    bool accepted;
};

class BitModeTable : public ModesTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(BitModeTable, TheChipKindAndChannelDecide) {
    const ModeCase& c = GetParam();
    const int32_t device = addDevice(c.type, c.description);
    FT_HANDLE handle = openLast();
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x0F, FT_BITMODE_RESET));
    EXPECT_EQ(c.accepted ? FT_OK : kInvalidParameter, FT_SetBitMode(handle, 0xA5, c.mode));
    // A refused mode leaves the device in the mode it was in.
    EXPECT_EQ(c.accepted ? (0xA5 << 8) | c.mode : 0x0F << 8, simGetBitMode(device));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, BitModeTable,
    ::testing::Values(
        ModeCase{"R_async", kType232R, "FT232R USB UART", FT_BITMODE_ASYNC_BITBANG, true},
        ModeCase{"R_sync", kType232R, "FT232R USB UART", FT_BITMODE_SYNC_BITBANG, true},
        ModeCase{"R_cbus", kType232R, "FT232R USB UART", FT_BITMODE_CBUS_BITBANG, true},
        ModeCase{"R_mpsse", kType232R, "FT232R USB UART", FT_BITMODE_MPSSE, false},
        ModeCase{"R_fifo", kType232R, "FT232R USB UART", FT_BITMODE_SYNC_FIFO, false},
        ModeCase{"R_two_modes", kType232R, "FT232R USB UART", 0x05, false},
        ModeCase{"BM_async", kTypeBM, "FT232BM", FT_BITMODE_ASYNC_BITBANG, true},
        ModeCase{"BM_sync", kTypeBM, "FT232BM", FT_BITMODE_SYNC_BITBANG, false},
        ModeCase{"C_A_mpsse", kType2232C, "Dual RS232 A", FT_BITMODE_MPSSE, true},
        ModeCase{"C_B_mpsse", kType2232C, "Dual RS232 B", FT_BITMODE_MPSSE, false},
        ModeCase{"C_B_host", kType2232C, "Dual RS232 B", FT_BITMODE_MCU_HOST, true},
        ModeCase{"H2_A_fifo", kType2232H, "Dual RS232-HS A", FT_BITMODE_SYNC_FIFO, true},
        ModeCase{"H2_B_fifo", kType2232H, "Dual RS232-HS B", FT_BITMODE_SYNC_FIFO, false},
        ModeCase{"H2_B_mpsse", kType2232H, "Dual RS232-HS B", FT_BITMODE_MPSSE, true},
        ModeCase{"H2_cbus", kType2232H, "Dual RS232-HS A", FT_BITMODE_CBUS_BITBANG, false},
        ModeCase{"H4_B_mpsse", kType4232H, "Quad RS232-HS B", FT_BITMODE_MPSSE, true},
        ModeCase{"H4_C_mpsse", kType4232H, "Quad RS232-HS C", FT_BITMODE_MPSSE, false},
        ModeCase{"H4_D_sync", kType4232H, "Quad RS232-HS D", FT_BITMODE_SYNC_BITBANG, true},
        ModeCase{"H_mpsse", kType232H, "Single RS232-HS", FT_BITMODE_MPSSE, true},
        ModeCase{"H_cbus", kType232H, "Single RS232-HS", FT_BITMODE_CBUS_BITBANG, true},
        ModeCase{"H_fifo", kType232H, "Single RS232-HS", FT_BITMODE_SYNC_FIFO, true},
        ModeCase{"X_cbus", kTypeXSeries, "FT230X Basic UART", FT_BITMODE_CBUS_BITBANG, true},
        ModeCase{"X_mpsse", kTypeXSeries, "FT230X Basic UART", FT_BITMODE_MPSSE, false},
        ModeCase{"unknown_async", kTypeUnknown, "Other", FT_BITMODE_ASYNC_BITBANG, false},
        ModeCase{"unknown_reset", kTypeUnknown, "Other", FT_BITMODE_RESET, true},
        ModeCase{"undefined_bit", kType232H, "Single RS232-HS", 0x80, false}),
    caseName<ModeCase>);

// ---- Pins in bit-bang ------------------------------------------------------------------------

TEST_F(ModesTest, SyncBitBangSamplesThePinsBeforeDrivingSoReadsLagOneByte) {
    if (!pinBusModelsLevels()) {
        GTEST_SKIP() << "the pin bus is a placeholder";
    }
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0xFF, FT_BITMODE_SYNC_BITBANG));
    write(handle, {0x55, 0xAA});
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0x55}), readAll(handle));
    write(handle, {0x00});
    EXPECT_EQ((std::vector<uint8_t>{0xAA}), readAll(handle));
    // Every byte reaches the written log, and none is echoed as the UART's loopback would.
    std::array<uint8_t, 8> log{};
    EXPECT_EQ(3, simTakeWritten(device, log.data(), static_cast<uint32_t>(log.size())));
    EXPECT_EQ(0U, queued(handle));
}

TEST_F(ModesTest, AsyncBitBangDrivesOnlyTheMaskedPinsAndSendsNothingBack) {
    if (!pinBusModelsLevels()) {
        GTEST_SKIP() << "the pin bus is a placeholder";
    }
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x0F, FT_BITMODE_ASYNC_BITBANG));
    write(handle, {0xFF, 0x50});
    // Pins 0..3 drive 0000; pins 4..7 are inputs, pulled up, whatever the byte says.
    EXPECT_EQ(0xF0, pinReading(handle));
    EXPECT_EQ(0U, queued(handle));
    // An input pin follows what drives it from outside.
    ASSERT_EQ(0, simSetPinInputs(device, 0x80, 0x00));
    EXPECT_EQ(0x70, pinReading(handle));
    // Back to the UART: the chip lets go of its pins.
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x00, FT_BITMODE_RESET));
    EXPECT_EQ(0x7F, pinReading(handle));
    ASSERT_EQ(0, simSetPinInputs(device, 0, 0));
    EXPECT_EQ(0xFFFF, simGetPinLevels(device));
}

TEST_F(ModesTest, CbusBitBangSetsTheCbusPinsByTheMaskNibblesWhileWritesStayOnTheUart) {
    if (!pinBusModelsLevels()) {
        GTEST_SKIP() << "the pin bus is a placeholder";
    }
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    // CBUS0 and CBUS1 outputs (high nibble 0011), CBUS0 high and CBUS1 low (low nibble 0001);
    // CBUS2 and CBUS3 are inputs and read high.
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x31, FT_BITMODE_CBUS_BITBANG));
    EXPECT_EQ(0x0D, pinReading(handle));
    EXPECT_EQ(0xFDFF, simGetPinLevels(device));
    write(handle, {'h', 'i'});
    EXPECT_EQ((std::vector<uint8_t>{'h', 'i'}), readAll(handle));
    EXPECT_EQ(0x0D, pinReading(handle));
}

// ---- Device details and status ---------------------------------------------------------------

TEST_F(ModesTest, DeviceInfoGivesTypeIdAndTerminatedTexts) {
    addDevice(kType232H, "Single RS232-HS", "SERIAL0123456789");
    FT_HANDLE handle = openLast();
    uint32_t type = 0;
    uint32_t id = 0;
    std::array<char, 16> serial{};
    std::array<char, 64> description{};
    serial.fill('x');
    description.fill('x');
    ASSERT_EQ(FT_OK, FT_GetDeviceInfo(handle, &type, &id, serial.data(), description.data(), nullptr));
    EXPECT_EQ(kType232H, type);
    EXPECT_EQ(0x04036001U, id);
    // A 16-character serial is cut to leave room for the terminator.
    EXPECT_EQ(std::string("SERIAL012345678"), std::string(serial.data()));
    EXPECT_EQ(std::string("Single RS232-HS"), std::string(description.data()));
    EXPECT_EQ('\0', description[63]);
    EXPECT_EQ(kInvalidParameter,
              FT_GetDeviceInfo(handle, &type, nullptr, serial.data(), description.data(), nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetDeviceInfo(handle, &type, &id, serial.data(), nullptr, nullptr));
}

struct EventCase {
    const char* name;
    std::function<void(int32_t device, FT_HANDLE handle)> cause;
    uint32_t expected;
};

class StatusEvents : public ModesTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(StatusEvents, AreSetByWhatHappenedAndClearedByReading) {
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    EXPECT_EQ(0U, events(handle));
    GetParam().cause(device, handle);
    EXPECT_EQ(GetParam().expected, events(handle));
    EXPECT_EQ(0U, events(handle));
}

INSTANTIATE_TEST_SUITE_P(
    Events, StatusEvents,
    ::testing::Values(
        EventCase{"bytes_arrive",
                  [](int32_t device, FT_HANDLE) {
                      const uint8_t byte = 7;
                      simInject(device, &byte, 1);
                  },
                  FT_EVENT_RXCHAR},
        EventCase{"no_bytes", [](int32_t device, FT_HANDLE) { simInject(device, nullptr, 0); }, 0},
        EventCase{"modem_lines_change",
                  [](int32_t device, FT_HANDLE) { simSetModemInputs(device, 0x10); }, FT_EVENT_MODEM_STATUS},
        EventCase{"dtr_looped_back", [](int32_t, FT_HANDLE handle) { FT_SetDtr(handle); },
                  FT_EVENT_MODEM_STATUS},
        EventCase{"dtr_not_looped_back",
                  [](int32_t device, FT_HANDLE handle) {
                      simSetLoopback(device, 0);
                      FT_SetDtr(handle);
                  },
                  0},
        EventCase{"line_error",
                  [](int32_t device, FT_HANDLE) { simRaiseLineErrors(device, 0x08); }, FT_EVENT_LINE_STATUS},
        EventCase{"echo_and_break",
                  [](int32_t, FT_HANDLE handle) {
                      write(handle, {1});
                      FT_SetBreakOn(handle);
                  },
                  FT_EVENT_RXCHAR | FT_EVENT_LINE_STATUS}),
    caseName<EventCase>);

TEST_F(ModesTest, StatusCountsTheReceiveQueue) {
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    const std::array<uint8_t, 3> bytes{1, 2, 3};
    simInject(device, bytes.data(), 3);
    uint32_t rx = 0;
    uint32_t tx = 1;
    uint32_t bits = 0;
    ASSERT_EQ(FT_OK, FT_GetStatus(handle, &rx, &tx, &bits));
    EXPECT_EQ(3U, rx);
    EXPECT_EQ(kInvalidParameter, FT_GetStatus(handle, &rx, nullptr, &bits));
}

// ---- EEPROM ----------------------------------------------------------------------------------

struct EepromCase {
    const char* name;
    uint32_t type;
    uint32_t words;
    bool erasable;
    uint32_t userArea;  // with description "FT232R USB UART" (15) and serial "A1": 24 string words
};

class EepromTable : public ModesTest, public ::testing::WithParamInterface<EepromCase> {};

TEST_P(EepromTable, SizeEraseAndUserAreaFollowTheChipKind) {
    const EepromCase& c = GetParam();
    const int32_t device = addDevice(c.type, "FT232R USB UART", "A1");
    FT_HANDLE handle = openLast();
    uint16_t word = 0;
    ASSERT_EQ(FT_OK, FT_ReadEE(handle, 2, &word));
    EXPECT_EQ(0x6001, word);
    EXPECT_EQ(FT_OK, FT_ReadEE(handle, c.words - 1, &word));
    EXPECT_EQ(kInvalidParameter, FT_ReadEE(handle, c.words, &word));
    EXPECT_EQ(kInvalidParameter, FT_WriteEE(handle, c.words, 1));
    uint32_t userArea = 0;
    ASSERT_EQ(FT_OK, FT_EE_UASize(handle, &userArea));
    EXPECT_EQ(c.userArea, userArea);

    ASSERT_EQ(FT_OK, FT_WriteEE(handle, 3, 0x1234));
    EXPECT_EQ(c.erasable ? FT_OK : kEepromEraseFailed, FT_EraseEE(handle));
    std::vector<uint16_t> words(c.words);
    ASSERT_EQ(static_cast<int32_t>(c.words), simGetEepromWords(device, words.data(), c.words));
    EXPECT_EQ(c.erasable ? 0xFFFF : 0x1234, words[3]);
    EXPECT_EQ(c.erasable ? 0xFFFF : 0x6001, words[2]);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EepromTable,
                         ::testing::Values(EepromCase{"BM", kTypeBM, 64, true, 48},
                                           EepromCase{"R", kType232R, 64, false, 48},
                                           EepromCase{"C", kType2232C, 64, true, 48},
                                           EepromCase{"H2", kType2232H, 128, true, 144},
                                           EepromCase{"H", kType232H, 128, true, 144},
                                           EepromCase{"X", kTypeXSeries, 1024, false, 144}),
                         caseName<EepromCase>);

TEST_F(ModesTest, UserAreaIsWrittenReadAndSeenByReadEE) {
    addDevice(kType232R, "FT232R USB UART", "A1");
    FT_HANDLE handle = openLast();
    std::array<uint8_t, 3> bytes{0x11, 0x22, 0x33};
    ASSERT_EQ(FT_OK, FT_EE_UAWrite(handle, bytes.data(), 3));
    std::array<uint8_t, 64> out{};
    uint32_t got = 0;
    ASSERT_EQ(FT_OK, FT_EE_UARead(handle, out.data(), 4, &got));
    EXPECT_EQ(4U, got);
    EXPECT_EQ((std::array<uint8_t, 4>{0x11, 0x22, 0x33, 0xFF}),
              (std::array<uint8_t, 4>{out[0], out[1], out[2], out[3]}));
    // The user area starts right after the serial number: config 10 + 24 string words.
    uint16_t word = 0;
    ASSERT_EQ(FT_OK, FT_ReadEE(handle, 34, &word));
    EXPECT_EQ(0x2211, word);
    ASSERT_EQ(FT_OK, FT_ReadEE(handle, 33, &word));
    EXPECT_EQ('1', word);  // last character of the serial number
    // Reading more than there is gives what there is.
    ASSERT_EQ(FT_OK, FT_EE_UARead(handle, out.data(), 64, &got));
    EXPECT_EQ(48U, got);
    // Writing more than there is changes nothing.
    std::vector<uint8_t> tooLong(49, 0);
    EXPECT_EQ(kInvalidParameter, FT_EE_UAWrite(handle, tooLong.data(), 49));
    ASSERT_EQ(FT_OK, FT_ReadEE(handle, 34, &word));
    EXPECT_EQ(0x2211, word);
    EXPECT_EQ(kInvalidParameter, FT_EE_UARead(handle, out.data(), 4, nullptr));
}

TEST_F(ModesTest, StringsLongerThanTheirAreaLeaveNoUserArea) {
    addDevice(kType232R, std::string(40, 'd'), "SERIAL0123456789");
    FT_HANDLE handle = openLast();
    uint32_t userArea = 1;
    ASSERT_EQ(FT_OK, FT_EE_UASize(handle, &userArea));
    EXPECT_EQ(0U, userArea);
}

// ---- Event notification ----------------------------------------------------------------------

#if !defined(_WIN32)
// An event as the caller initialises it, and a thread waiting on it as a user would: under its
// mutex, on its condition, until iVar is set (by the driver) or a generous deadline passes.
class Event {
public:
    Event() {
        pthread_mutex_init(&handle_.eMutex, nullptr);
        pthread_cond_init(&handle_.eCondVar, nullptr);
        handle_.iVar = 0;
    }
    ~Event() {
        pthread_cond_destroy(&handle_.eCondVar);
        pthread_mutex_destroy(&handle_.eMutex);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    FT_EVENT_HANDLE* handle() { return &handle_; }
    int signalled() {
        pthread_mutex_lock(&handle_.eMutex);
        const int value = handle_.iVar;
        pthread_mutex_unlock(&handle_.eMutex);
        return value;
    }
    // True when the signal came before the deadline (60 s: only a lost signal takes so long).
    bool await() {
        timespec deadline{};
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += 60;
        pthread_mutex_lock(&handle_.eMutex);
        int result = 0;
        while (handle_.iVar == 0 && result != ETIMEDOUT) {
            result = pthread_cond_timedwait(&handle_.eCondVar, &handle_.eMutex, &deadline);
        }
        const bool signalled = handle_.iVar != 0;
        pthread_mutex_unlock(&handle_.eMutex);
        return signalled;
    }

private:
    FT_EVENT_HANDLE handle_{};
};

TEST_F(ModesTest, AWaiterWakesWhenEnabledBytesArrive) {
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    Event event;
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, event.handle()));
    bool woke = false;
    std::thread waiter([&] { woke = event.await(); });
    const uint8_t byte = 1;
    simInject(device, &byte, 1);
    waiter.join();
    EXPECT_TRUE(woke);
}

TEST_F(ModesTest, OnlyEnabledEventsSignal) {
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    Event event;
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_MODEM_STATUS, event.handle()));
    const uint8_t byte = 1;
    simInject(device, &byte, 1);
    EXPECT_EQ(0, event.signalled());
    simSetModemInputs(device, 0x20);
    EXPECT_EQ(1, event.signalled());
    // Switched off, nothing signals.
    event.handle()->iVar = 0;
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, 0, nullptr));
    simSetModemInputs(device, 0x00);
    EXPECT_EQ(0, event.signalled());
    EXPECT_EQ(kInvalidParameter, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, nullptr));
}

TEST_F(ModesTest, CloseWakesAWaiterAndForgetsTheEvent) {
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    Event event;
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, event.handle()));
    bool woke = false;
    std::thread waiter([&] { woke = event.await(); });
    ASSERT_EQ(FT_OK, FT_Close(handle));
    waiter.join();
    EXPECT_TRUE(woke);
    // Reopened, the device signals nobody until an event is registered again.
    event.handle()->iVar = 0;
    openLast();
    const uint8_t byte = 1;
    simInject(device, &byte, 1);
    EXPECT_EQ(0, event.signalled());
}
#endif

// ---- Port recovery ---------------------------------------------------------------------------

TEST_F(ModesTest, PortResetsAndCyclesAreCountedAndTheHandleStaysUsable) {
    const int32_t device = addDevice(kType232R, "FT232R USB UART");
    FT_HANDLE handle = openLast();
    ASSERT_EQ(FT_OK, FT_ResetPort(handle));
    ASSERT_EQ(FT_OK, FT_CyclePort(handle));
    ASSERT_EQ(FT_OK, FT_CyclePort(handle));
    uint32_t resets = 0;
    uint32_t cycles = 0;
    ASSERT_EQ(0, simGetPortResets(device, &resets, &cycles));
    EXPECT_EQ(1U, resets);
    EXPECT_EQ(2U, cycles);
    EXPECT_EQ(0U, events(handle));
}

// ---- Faults and handles, for all 13 ----------------------------------------------------------

struct CallCase {
    const char* name;  // the driver function's name
    std::function<FT_STATUS(FT_HANDLE)> call;
};

class EveryFunction : public ModesTest, public ::testing::WithParamInterface<CallCase> {
protected:
    int32_t device_ = -1;
    FT_HANDLE handle_ = nullptr;
    void SetUp() override {
        ModesTest::SetUp();
        device_ = addDevice(kType232H, "Single RS232-HS");
        handle_ = openLast();
    }
};

TEST_P(EveryFunction, AnInjectedFailureIsReturnedAndCounted) {
    const CallCase& c = GetParam();
    ASSERT_EQ(0, simFailNext(c.name, kOtherError));
    EXPECT_EQ(kOtherError, c.call(handle_));
    EXPECT_EQ(1U, simCallCount(c.name));
    EXPECT_EQ(FT_OK, c.call(handle_));
    EXPECT_EQ(2U, simCallCount(c.name));
}

TEST_P(EveryFunction, AClosedHandleIsInvalidAndCounted) {
    ASSERT_EQ(FT_OK, FT_Close(handle_));
    EXPECT_EQ(kInvalidHandle, GetParam().call(handle_));
    EXPECT_EQ(1U, simClosedHandleCalls(reinterpret_cast<uintptr_t>(handle_)));
    EXPECT_EQ(kInvalidHandle, GetParam().call(nullptr));
}

TEST_P(EveryFunction, AnUnpluggedDeviceGivesAnIoError) {
    ASSERT_EQ(0, simUnplug(device_));
    EXPECT_EQ(kIoError, GetParam().call(handle_));
}

uint8_t gBuffer[64];
char gText[64];
uint32_t gValue;
uint16_t gWord;
uint8_t gByte;

INSTANTIATE_TEST_SUITE_P(
    Functions, EveryFunction,
    ::testing::Values(
        CallCase{"FT_SetBitMode", [](FT_HANDLE h) { return FT_SetBitMode(h, 0xFF, FT_BITMODE_ASYNC_BITBANG); }},
        CallCase{"FT_GetBitMode", [](FT_HANDLE h) { return FT_GetBitMode(h, &gByte); }},
        CallCase{"FT_GetDeviceInfo",
                 [](FT_HANDLE h) {
                     return FT_GetDeviceInfo(h, &gValue, &gValue, gText, gText, nullptr);
                 }},
        CallCase{"FT_GetStatus", [](FT_HANDLE h) { return FT_GetStatus(h, &gValue, &gValue, &gValue); }},
        CallCase{"FT_ReadEE", [](FT_HANDLE h) { return FT_ReadEE(h, 0, &gWord); }},
        CallCase{"FT_WriteEE", [](FT_HANDLE h) { return FT_WriteEE(h, 0, 1); }},
        CallCase{"FT_EraseEE", [](FT_HANDLE h) { return FT_EraseEE(h); }},
        CallCase{"FT_EE_UASize", [](FT_HANDLE h) { return FT_EE_UASize(h, &gValue); }},
        CallCase{"FT_EE_UARead", [](FT_HANDLE h) { return FT_EE_UARead(h, gBuffer, 8, &gValue); }},
        CallCase{"FT_EE_UAWrite", [](FT_HANDLE h) { return FT_EE_UAWrite(h, gBuffer, 8); }},
        CallCase{"FT_SetEventNotification",
                 [](FT_HANDLE h) { return FT_SetEventNotification(h, 0, nullptr); }},
        CallCase{"FT_ResetPort", [](FT_HANDLE h) { return FT_ResetPort(h); }},
        CallCase{"FT_CyclePort", [](FT_HANDLE h) { return FT_CyclePort(h); }}),
    caseName<CallCase>);

TEST_F(ModesTest, AFailedSetBitModeChangesNothing) {
    const int32_t device = addDevice(kType232H, "Single RS232-HS");
    FT_HANDLE handle = openLast();
    ASSERT_EQ(0, simFailNext("FT_SetBitMode", kOtherError));
    EXPECT_EQ(kOtherError, FT_SetBitMode(handle, 0xFF, FT_BITMODE_MPSSE));
    EXPECT_EQ(0, simGetBitMode(device));
}

}  // namespace
