// Devices that come and go: unplugging, plugging back in and new arrivals, through the
// simulated driver's C interface.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <string>
#include <thread>
#include <vector>

#include "d2xx.h"
#include "d2xx_modes.h"
#include "driver_status.h"
#include "sim_control.h"

namespace {

using sim::kDeviceNotFound;
using sim::kInvalidHandle;
using sim::kIoError;

class PlugTest : public ::testing::Test {
protected:
    void SetUp() override { simReset(); }
    void TearDown() override { simReset(); }

    static int32_t add(const std::string& serial, uint32_t locId) {
        return simAddDevice(0, 5, 0x04036001, locId,
                            reinterpret_cast<const uint8_t*>(serial.data()),
                            static_cast<uint32_t>(serial.size()),
                            reinterpret_cast<const uint8_t*>("Dev"), 3);
    }

    // The list as "serial@location" entries, in the driver's order.
    static std::vector<std::string> list() {
        uint32_t count = 0;
        EXPECT_EQ(FT_OK, FT_CreateDeviceInfoList(&count));
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        EXPECT_EQ(FT_OK, FT_GetDeviceInfoList(nodes.data(), &count));
        std::vector<std::string> entries;
        for (uint32_t i = 0; i < count; ++i) {
            entries.push_back(std::string(nodes[i].SerialNumber) + "@" +
                              std::to_string(nodes[i].LocId));
        }
        return entries;
    }

    static FT_HANDLE openSerial(const char* serial) {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(FT_OK, FT_OpenEx(const_cast<char*>(serial), FT_OPEN_BY_SERIAL_NUMBER, &handle));
        return handle;
    }
};

using Entries = std::vector<std::string>;

TEST_F(PlugTest, ArrivalsShowAtTheEndOfTheListAndOpenByTheirPosition) {
    const int32_t a = add("A", 1);
    const int32_t b = add("B", 2);
    add("C", 3);
    EXPECT_EQ(-1, simReplug(b, 2)) << "an attached device cannot be plugged in again";
    EXPECT_EQ(-1, simReplug(99, 2));
    ASSERT_EQ(0, simUnplug(a));
    EXPECT_EQ((Entries{"B@2", "C@3"}), list());
    ASSERT_EQ(0, simReplug(a, 7));
    EXPECT_EQ((Entries{"B@2", "C@3", "A@7"}), list());
    add("D", 4);
    EXPECT_EQ((Entries{"B@2", "C@3", "A@7", "D@4"}), list());
    ASSERT_EQ(0, simUnplug(b));
    ASSERT_EQ(0, simReplug(b, 2));
    EXPECT_EQ((Entries{"C@3", "A@7", "D@4", "B@2"}), list());

    // FT_Open's index follows the same order.
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_OK, FT_Open(1, &handle));
    SimDeviceState state{};
    ASSERT_EQ(0, simGetDeviceState(a, &state));
    EXPECT_EQ(1U, state.open) << "position 1 is A, plugged back in";
    EXPECT_EQ(FT_OK, FT_Close(handle));
    EXPECT_EQ(kDeviceNotFound, FT_Open(4, &handle));
}

TEST_F(PlugTest, AHandleFromBeforeTheUnplugKeepsFailingWhileTheDeviceOpensAnew) {
    const int32_t a = add("A", 1);
    FT_HANDLE old = openSerial("A");
    ASSERT_EQ(FT_OK, FT_SetBaudRate(old, 115200));
    ASSERT_EQ(0, simSetEepromWord(a, 0x10, 0x1234));
    ASSERT_EQ(0, simUnplug(a));
    FT_HANDLE refused = nullptr;
    EXPECT_EQ(kDeviceNotFound, FT_OpenEx(const_cast<char*>("A"), FT_OPEN_BY_SERIAL_NUMBER, &refused));
    ASSERT_EQ(0, simReplug(a, 1));

    uint32_t value = 0;
    EXPECT_EQ(kIoError, FT_GetQueueStatus(old, &value)) << "the old handle stays dead";
    EXPECT_EQ(kIoError, FT_SetBaudRate(old, 9600));
    FT_HANDLE fresh = openSerial("A");
    EXPECT_NE(old, fresh);
    SimDeviceState state{};
    ASSERT_EQ(0, simGetDeviceState(a, &state));
    EXPECT_EQ(9600U, state.baudRate) << "powered up with default settings";
    std::vector<uint16_t> words(128);
    ASSERT_GT(simGetEepromWords(a, words.data(), 128), 0x10);
    EXPECT_EQ(0x1234, words[0x10]) << "the EEPROM is the same chip's";

    // Closing the old handle releases it without touching the new one.
    EXPECT_EQ(FT_OK, FT_Close(old));
    EXPECT_EQ(kInvalidHandle, FT_Close(old));
    EXPECT_EQ(FT_OK, FT_GetQueueStatus(fresh, &value));
    uint8_t byte = 0x5A;
    uint32_t written = 0;
    EXPECT_EQ(FT_OK, FT_Write(fresh, &byte, 1, &written));
    EXPECT_EQ(1U, written);
    EXPECT_EQ(FT_OK, FT_Close(fresh));
}

TEST_F(PlugTest, AReadBlockedAcrossAnUnplugEndsWithAnError) {
    const int32_t a = add("A", 1);
    FT_HANDLE handle = openSerial("A");
    FT_STATUS status = FT_OK;
    std::thread reader([&] {
        uint8_t buffer[4];
        uint32_t got = 0;
        status = FT_Read(handle, buffer, 4, &got);
    });
    // The read records its call under the lock and gives the lock up only to wait.
    while (simCallCount("FT_Read") < 1) {
        std::this_thread::yield();
    }
    ASSERT_EQ(0, simUnplug(a));
    ASSERT_EQ(0, simReplug(a, 1));
    reader.join();
    // Woken by the unplug, the read sees either the unplug or, once replugged, a handle that
    // is no longer its device's: an error both ways, never data or success.
    EXPECT_TRUE(status == kIoError || status == kInvalidHandle) << status;
    FT_Close(handle);
}

#if !defined(_WIN32)
TEST_F(PlugTest, UnplugSignalsTheRegisteredEventAndForgetsIt) {
    const int32_t a = add("A", 1);
    FT_HANDLE handle = openSerial("A");
    // The driver marks a signal in iVar, so a waiter that comes later still sees it.
    FT_EVENT_HANDLE event{};
    pthread_mutex_init(&event.eMutex, nullptr);
    pthread_cond_init(&event.eCondVar, nullptr);
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, &event));
    ASSERT_EQ(0, simUnplug(a));
    EXPECT_EQ(1, event.iVar) << "a waiter wakes on the unplug";
    uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_EQ(kIoError, FT_GetStatus(handle, &rx, &tx, &events)) << "and finds the device gone";
    event.iVar = 0;
    ASSERT_EQ(0, simReplug(a, 1));
    const uint8_t byte = 1;
    ASSERT_EQ(0, simInject(a, &byte, 1));
    EXPECT_EQ(0, event.iVar) << "the registration went with the unplugged device";
    FT_Close(handle);
    pthread_cond_destroy(&event.eCondVar);
    pthread_mutex_destroy(&event.eMutex);
}
#else
TEST_F(PlugTest, UnplugSetsTheWin32EventRegisteredOnTheDevice) {
    const int32_t a = add("A", 1);
    FT_HANDLE handle = openSerial("A");
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    ASSERT_EQ(FT_OK, FT_SetEventNotification(handle, FT_EVENT_RXCHAR, event));
    ASSERT_EQ(0, simUnplug(a));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 60000));
    FT_Close(handle);
    CloseHandle(event);
}
#endif

}  // namespace
