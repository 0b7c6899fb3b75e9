// The simulated driver's 13 functions beyond the serial line, through its C interface.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <array>
#include <cerrno>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "d2xx_modes.h"
#include "driver_status.h"
#include "sim_control.h"

namespace {

using sim::kInvalidParameter;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBM = 0, k2232C = 4, k232R = 5, k2232H = 6, k4232H = 7, k232H = 8, kX = 9;
constexpr FT_STATUS kEepromEraseFailed = 13;
constexpr FT_STATUS kOtherError = 18;
const char* const kR = "FT232R USB UART";

// Each test starts with an open 232R; open() swaps in another device.
class ModesTest : public ::testing::Test {
protected:
    void SetUp() override { open(k232R); }
    void TearDown() override { simReset(); }

    void open(uint32_t type, const std::string& description = kR, const std::string& serial = "A1") {
        simReset();
        device = simAddDevice(0, type, 0x04036001, 0x1011, reinterpret_cast<const uint8_t*>(serial.data()),
                              static_cast<uint32_t>(serial.size()),
                              reinterpret_cast<const uint8_t*>(description.data()),
                              static_cast<uint32_t>(description.size()));
        ASSERT_EQ(FT_OK, FT_Open(0, &handle));
    }
    void write(Bytes bytes) {
        uint32_t written = 0;
        ASSERT_EQ(FT_OK, FT_Write(handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &written));
        ASSERT_EQ(bytes.size(), written);
    }
    Bytes readAll() {
        uint32_t rx = 0;
        EXPECT_EQ(FT_OK, FT_GetQueueStatus(handle, &rx));
        Bytes bytes(rx);
        EXPECT_EQ(FT_OK, FT_Read(handle, bytes.data(), rx, &rx));
        bytes.resize(rx);
        return bytes;
    }
    uint8_t pins() {
        uint8_t pins = 0;
        EXPECT_EQ(FT_OK, FT_GetBitMode(handle, &pins));
        return pins;
    }
    // FT_GetStatus's event bits; the receive count goes to `rx`.
    uint32_t events(uint32_t* rx = nullptr) {
        uint32_t count = 0, tx = 0xDEAD, bits = 0xDEAD;
        EXPECT_EQ(FT_OK, FT_GetStatus(handle, rx != nullptr ? rx : &count, &tx, &bits));
        EXPECT_EQ(0U, tx);
        return bits;
    }
    void inject(uint8_t byte) { simInject(device, &byte, 1); }
    uint16_t readEE(uint32_t offset) {
        uint16_t word = 0;
        EXPECT_EQ(FT_OK, FT_ReadEE(handle, offset, &word));
        return word;
    }

    int32_t device = -1;
    FT_HANDLE handle = nullptr;
};

TEST_F(ModesTest, TheChipKindAndChannelDecideTheModesAndARefusedModeChangesNothing) {
    constexpr uint8_t async = FT_BITMODE_ASYNC_BITBANG, mpsse = FT_BITMODE_MPSSE, sync = FT_BITMODE_SYNC_BITBANG,
                      host = FT_BITMODE_MCU_HOST, cbus = FT_BITMODE_CBUS_BITBANG, fifo = FT_BITMODE_SYNC_FIFO;
    struct Case {
        uint32_t type;
        const char* description;
        uint8_t mode;
        bool accepted;
    };
    const char *c2A = "Dual RS232 A", *c2B = "Dual RS232 B", *h2A = "Dual RS232-HS A", *h2B = "Dual RS232-HS B",
               *h = "Single RS232-HS", *x = "FT230X Basic UART", *bm = "FT232BM";
    for (const Case& c : {Case{k232R, kR, sync, true}, {k232R, kR, cbus, true}, {k232R, kR, mpsse, false},
                          {k232R, kR, 0x05, false}, {kBM, bm, async, true}, {kBM, bm, sync, false},
                          {k2232C, c2A, mpsse, true}, {k2232C, c2B, mpsse, false}, {k2232C, c2B, host, true},
                          {k2232H, h2A, fifo, true}, {k2232H, h2B, fifo, false}, {k2232H, h2B, mpsse, true},
                          {k2232H, h2A, cbus, false}, {k4232H, "Quad RS232-HS B", mpsse, true},
                          {k4232H, "Quad RS232-HS C", mpsse, false}, {k4232H, "Quad RS232-HS D", sync, true},
                          {k232H, h, mpsse, true}, {k232H, h, cbus, true}, {k232H, h, fifo, true},
                          {k232H, h, 0x80, false}, {kX, x, cbus, true}, {kX, x, mpsse, false},
                          {3, "Other", async, false}, {3, "Other", FT_BITMODE_RESET, true}}) {
        SCOPED_TRACE(std::string(c.description) + " mode " + std::to_string(c.mode));
        open(c.type, c.description);
        ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x0F, FT_BITMODE_RESET));
        EXPECT_EQ(c.accepted ? FT_OK : kInvalidParameter, FT_SetBitMode(handle, 0xA5, c.mode));
        EXPECT_EQ(c.accepted ? (0xA5 << 8) | c.mode : 0x0F << 8, simGetBitMode(device));
    }
}

TEST_F(ModesTest, SyncBitBangSamplesThePinsBeforeDrivingSoReadsLagOneByte) {
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0xFF, FT_BITMODE_SYNC_BITBANG));
    write({0x55, 0xAA});
    EXPECT_EQ((Bytes{0xFF, 0x55}), readAll());
    write({0x00});
    EXPECT_EQ((Bytes{0xAA}), readAll());
    std::array<uint8_t, 8> log{};
    EXPECT_EQ(3, simTakeWritten(device, log.data(), 8)) << "all logged, none echoed as by the UART";
}

TEST_F(ModesTest, AsyncBitBangDrivesOnlyTheMaskedPinsAndSendsNothingBack) {
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x0F, FT_BITMODE_ASYNC_BITBANG));
    write({0xFF, 0x50});
    EXPECT_EQ(0xF0, pins());  // inputs 4..7 pulled up whatever the byte says
    EXPECT_TRUE(readAll().empty());
    ASSERT_EQ(0, simSetPinInputs(device, 0x80, 0x00));
    EXPECT_EQ(0x70, pins());
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x00, FT_BITMODE_RESET));
    EXPECT_EQ(0x7F, pins()) << "back to the UART the chip lets go of its pins";
    ASSERT_EQ(0, simSetPinInputs(device, 0, 0));
    EXPECT_EQ(0xFFFF, simGetPinLevels(device));
}

TEST_F(ModesTest, CbusBitBangSetsTheCbusPinsByTheMaskNibblesWhileWritesStayOnTheUart) {
    // CBUS0, 1 outputs (high nibble 0011) at 1, 0 (low nibble 0001); CBUS2, 3 inputs read high.
    ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0x31, FT_BITMODE_CBUS_BITBANG));
    EXPECT_EQ(0x0D, pins());
    EXPECT_EQ(0xFDFF, simGetPinLevels(device));
    write({'h', 'i'});
    EXPECT_EQ((Bytes{'h', 'i'}), readAll());
    EXPECT_EQ(0x0D, pins());
}

TEST_F(ModesTest, DeviceInfoGivesTypeIdAndTerminatedTexts) {
    open(k232H, "Single RS232-HS", "SERIAL0123456789");
    uint32_t type = 0, id = 0;
    std::array<char, 16> serial{};
    std::array<char, 64> description{};
    serial.fill('x');
    description.fill('x');
    ASSERT_EQ(FT_OK, FT_GetDeviceInfo(handle, &type, &id, serial.data(), description.data(), nullptr));
    EXPECT_EQ(k232H, type);
    EXPECT_EQ(0x04036001U, id);
    EXPECT_EQ(std::string("SERIAL012345678"), serial.data());  // cut for the terminator
    EXPECT_EQ(std::string("Single RS232-HS"), description.data());
    EXPECT_EQ('\0', description[63]);
    EXPECT_EQ(kInvalidParameter, FT_GetDeviceInfo(handle, &type, nullptr, serial.data(), description.data(), nullptr));
    EXPECT_EQ(kInvalidParameter, FT_GetDeviceInfo(handle, &type, &id, serial.data(), nullptr, nullptr));
}

TEST_F(ModesTest, StatusEventsAreSetByWhatHappenedAndClearedByReading) {
    const auto expectEvents = [&](uint32_t bits) {
        EXPECT_EQ(bits, events());
        EXPECT_EQ(0U, events());
    };
    expectEvents(0);
    const std::array<uint8_t, 3> bytes{1, 2, 3};
    simInject(device, bytes.data(), 3);
    uint32_t rx = 0;
    EXPECT_EQ(FT_EVENT_RXCHAR, events(&rx));
    EXPECT_EQ(3U, rx);
    simInject(device, nullptr, 0);
    expectEvents(0);
    simSetModemInputs(device, 0x10);
    expectEvents(FT_EVENT_MODEM_STATUS);
    FT_SetDtr(handle);  // looped back to DSR
    expectEvents(FT_EVENT_MODEM_STATUS);
    simRaiseLineErrors(device, 0x08);
    expectEvents(FT_EVENT_LINE_STATUS);
    write({1});  // echoed
    FT_SetBreakOn(handle);
    expectEvents(FT_EVENT_RXCHAR | FT_EVENT_LINE_STATUS);
    simSetLoopback(device, 0);
    FT_ClrDtr(handle);
    expectEvents(0);
    EXPECT_EQ(kInvalidParameter, FT_GetStatus(handle, &rx, nullptr, &rx));
}

TEST_F(ModesTest, EepromSizeEraseAndUserAreaFollowTheChipKind) {
    struct Case {
        uint32_t type, words;
        bool erasable;
        uint32_t userArea;  // description kR (15 characters) and serial "A1": 24 string words
    };
    for (const Case& c : {Case{kBM, 64, true, 48}, {k232R, 64, false, 48}, {k2232C, 64, true, 48},
                          {k2232H, 128, true, 144}, {k232H, 128, true, 144}, {kX, 1024, false, 144}}) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        open(c.type);
        uint16_t word = 0;
        EXPECT_EQ(0x6001, readEE(2));
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
}

TEST_F(ModesTest, UserAreaLiesAfterTheSerialNumberInLittleEndianWords) {
    std::array<uint8_t, 64> bytes{0x11, 0x22, 0x33};
    ASSERT_EQ(FT_OK, FT_EE_UAWrite(handle, bytes.data(), 3));
    uint32_t got = 0;
    ASSERT_EQ(FT_OK, FT_EE_UARead(handle, bytes.data(), 4, &got));
    EXPECT_EQ((Bytes{0x11, 0x22, 0x33, 0xFF}), Bytes(bytes.begin(), bytes.begin() + got));
    // Configuration 10 words, then 24 string words ending with the serial's last character.
    EXPECT_EQ('1', readEE(33));
    EXPECT_EQ(0x2211, readEE(34));
    ASSERT_EQ(FT_OK, FT_EE_UARead(handle, bytes.data(), 64, &got));
    EXPECT_EQ(48U, got);  // no more than there is
    std::vector<uint8_t> tooLong(49, 0);
    EXPECT_EQ(kInvalidParameter, FT_EE_UAWrite(handle, tooLong.data(), 49));
    EXPECT_EQ(0x2211, readEE(34)) << "a refused write changes nothing";
    EXPECT_EQ(kInvalidParameter, FT_EE_UARead(handle, bytes.data(), 4, nullptr));
    open(k232R, std::string(40, 'd'), "SERIAL0123456789");
    ASSERT_EQ(FT_OK, FT_EE_UASize(handle, &got));
    EXPECT_EQ(0U, got) << "strings longer than their area leave none";
}

#if !defined(_WIN32)
// An event as a caller initialises it and waits on it: under its mutex until iVar is set.
struct Event {
    FT_EVENT_HANDLE handle{};
    Event() {
        pthread_mutex_init(&handle.eMutex, nullptr);
        pthread_cond_init(&handle.eCondVar, nullptr);
    }
    ~Event() {
        pthread_cond_destroy(&handle.eCondVar);
        pthread_mutex_destroy(&handle.eMutex);
    }
    // Whether signalled within the time (60 s: only a lost signal takes so long); clears it.
    bool await(int seconds = 60) {
        timespec deadline{};
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += seconds;
        pthread_mutex_lock(&handle.eMutex);
        int result = 0;
        while (handle.iVar == 0 && result != ETIMEDOUT) {
            result = pthread_cond_timedwait(&handle.eCondVar, &handle.eMutex, &deadline);
        }
        const bool signalled = handle.iVar != 0;
        handle.iVar = 0;
        pthread_mutex_unlock(&handle.eMutex);
        return signalled;
    }
};

TEST_F(ModesTest, OnlyEnabledEventsWakeAWaiterAndCloseWakesItOnceThenForgets) {
    Event event;
    EXPECT_EQ(kInvalidParameter, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, nullptr));
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, &event.handle));
    bool woke = false;
    std::thread waiter([&] { woke = event.await(); });
    inject(1);
    waiter.join();
    EXPECT_TRUE(woke);
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_MODEM_STATUS, &event.handle));
    inject(1);
    EXPECT_FALSE(event.await(0));
    simSetModemInputs(device, 0x20);
    EXPECT_TRUE(event.await(0));
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, 0, nullptr));
    simSetModemInputs(device, 0x00);
    EXPECT_FALSE(event.await(0)) << "switched off";
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, &event.handle));
    ASSERT_EQ(FT_OK, FT_Close(handle));
    EXPECT_TRUE(event.await(0)) << "close wakes a waiter";
    ASSERT_EQ(FT_OK, FT_Open(0, &handle));
    inject(1);
    EXPECT_FALSE(event.await(0)) << "reopened, nobody is registered";
}
#else
TEST_F(ModesTest, AWin32EventIsSetWhenEnabledBytesArriveAndOnClose) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, event));
    inject(1);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 60000));
    ASSERT_EQ(FT_OK, FT_Close(handle));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 60000));
    CloseHandle(event);
}
#endif

TEST_F(ModesTest, PortResetsAndCyclesAreCountedAndTheHandleStaysUsable) {
    ASSERT_EQ(FT_OK, FT_ResetPort(handle));
    ASSERT_EQ(FT_OK, FT_CyclePort(handle));
    ASSERT_EQ(FT_OK, FT_CyclePort(handle));
    uint32_t resets = 0, cycles = 0;
    ASSERT_EQ(0, simGetPortResets(device, &resets, &cycles));
    EXPECT_EQ(1U, resets);
    EXPECT_EQ(2U, cycles);
    EXPECT_EQ(0U, events());
}

// Each function: an injected failure is returned, counted and changes nothing; an unplugged
// device gives an I/O error; a closed handle is invalid and counted.
TEST_F(ModesTest, EveryFunctionTakesFaultsUnplugAndClosedHandles) {
    uint8_t buffer[64];
    char text[64];
    uint32_t value = 0;
    uint16_t word = 0;
    const std::vector<std::pair<const char*, std::function<FT_STATUS(FT_HANDLE)>>> calls{
        {"FT_SetBitMode", [](FT_HANDLE h) { return FT_SetBitMode(h, 0xFF, FT_BITMODE_MPSSE); }},
        {"FT_GetBitMode", [&](FT_HANDLE h) { return FT_GetBitMode(h, buffer); }},
        {"FT_GetDeviceInfo", [&](FT_HANDLE h) { return FT_GetDeviceInfo(h, &value, &value, text, text, nullptr); }},
        {"FT_GetStatus", [&](FT_HANDLE h) { return FT_GetStatus(h, &value, &value, &value); }},
        {"FT_ReadEE", [&](FT_HANDLE h) { return FT_ReadEE(h, 0, &word); }},
        {"FT_WriteEE", [](FT_HANDLE h) { return FT_WriteEE(h, 0, 1); }},
        {"FT_EraseEE", [](FT_HANDLE h) { return FT_EraseEE(h); }},
        {"FT_EE_UASize", [&](FT_HANDLE h) { return FT_EE_UASize(h, &value); }},
        {"FT_EE_UARead", [&](FT_HANDLE h) { return FT_EE_UARead(h, buffer, 8, &value); }},
        {"FT_EE_UAWrite", [&](FT_HANDLE h) { return FT_EE_UAWrite(h, buffer, 8); }},
        {"FT_SetEventNotification", [](FT_HANDLE h) { return FT_SetEventNotification(h, 0, nullptr); }},
        {"FT_ResetPort", [](FT_HANDLE h) { return FT_ResetPort(h); }},
        {"FT_CyclePort", [](FT_HANDLE h) { return FT_CyclePort(h); }}};
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        open(k232H, "Single RS232-HS");
        ASSERT_EQ(0, simFailNext(name, kOtherError));
        EXPECT_EQ(kOtherError, call(handle));
        EXPECT_EQ(0, simGetBitMode(device));
        EXPECT_EQ(FT_OK, call(handle));
        EXPECT_EQ(2U, simCallCount(name));
        ASSERT_EQ(0, simUnplug(device));
        EXPECT_EQ(sim::kIoError, call(handle));
        ASSERT_EQ(FT_OK, FT_Close(handle));
        EXPECT_EQ(sim::kInvalidHandle, call(handle));
        EXPECT_EQ(1U, simClosedHandleCalls(reinterpret_cast<uintptr_t>(handle)));
        EXPECT_EQ(sim::kInvalidHandle, call(nullptr));
    }
}

}  // namespace
