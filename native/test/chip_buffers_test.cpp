// The simulated chip's finite buffers and its sampling at clock edges, through the driver's C
// interface: what a write takes when replies are not read, what a read lets go on, what ends a
// write that waits for room, and what a flash answers to each read opcode.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "d2xx_modes.h"
#include "driver_status.h"
#include "sim_control.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t k2232C = 4, k232R = 5, k2232H = 6, k4232H = 7, k232H = 8;
constexpr uint8_t kReadPins = 0x81;

class ChipBuffersTest : public ::testing::Test {
protected:
    void TearDown() override { simReset(); }

    // A fresh device of this kind, open, in MPSSE (or another mode), with this write timeout.
    void open(uint32_t type, uint32_t writeTimeout, uint8_t mode = FT_BITMODE_MPSSE) {
        simReset();
        static const uint8_t serial[] = {'B', 'U', 'F', '1'};
        device = simAddDevice(0, type, 0x04036010, 0x1011, serial, 4, serial, 4);
        ASSERT_EQ(FT_OK, FT_Open(0, &handle));
        ASSERT_EQ(FT_OK, FT_SetTimeouts(handle, 0, writeTimeout));
        ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0xFF, mode));
    }
    uint32_t write(const Bytes& bytes, FT_STATUS expected = FT_OK) {
        uint32_t written = 0xFFFFFFFF;
        EXPECT_EQ(expected, FT_Write(handle, const_cast<uint8_t*>(bytes.data()),
                                     static_cast<uint32_t>(bytes.size()), &written));
        return written;
    }
    uint32_t queued() {
        uint32_t rx = 0;
        EXPECT_EQ(FT_OK, FT_GetQueueStatus(handle, &rx));
        return rx;
    }
    Bytes read(uint32_t count) {
        Bytes bytes(count);
        uint32_t got = 0;
        EXPECT_EQ(FT_OK, FT_Read(handle, bytes.data(), count, &got));
        bytes.resize(got);
        return bytes;
    }

    int32_t device = -1;
    FT_HANDLE handle = nullptr;
};

// Pin reads answer a byte each. Not read, replies fill the receive buffer, then the chip's reply
// buffer; the engine pauses and its command buffer fills; the write reports what was taken at
// its timeout. Reading lets every command taken run; the queue never holds more than the
// receive buffer.
TEST_F(ChipBuffersTest, AWriteTakesWhatTheBuffersHoldAtItsTimeout) {
    const struct { const char* name; uint32_t type; uint32_t receiveBuffer; uint32_t commands, replies; } cases[] = {
        {"FT2232D", k2232C, 0, 128, 384},
        {"FT232H", k232H, 0, 1024, 1024},
        {"FT2232H 4 KiB", k2232H, 4096, 4096, 4096},
        {"FT4232H 1 byte", k4232H, 1, 2048, 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.type, 5);
        if (c.receiveBuffer != 0) {
            ASSERT_EQ(0, simSetReceiveBuffer(device, c.receiveBuffer));
        }
        const uint32_t receive = c.receiveBuffer != 0 ? c.receiveBuffer : 65536;
        const uint32_t taken = receive + c.replies + c.commands;
        EXPECT_EQ(taken, write(Bytes(taken + 1000, kReadPins)));
        EXPECT_EQ(receive, queued());
        EXPECT_EQ(0u, write(Bytes{kReadPins})) << "still full";
        EXPECT_EQ(static_cast<int64_t>(taken), simWrittenTotal(device)) << "the log keeps what was taken";
        std::size_t answered = 0;
        while (answered < taken) {
            const uint32_t count = queued();
            ASSERT_GT(count, 0u) << "after " << answered;
            ASSERT_LE(count, receive);
            const Bytes got = read(count);
            for (const uint8_t level : got) { ASSERT_EQ(0xFF, level); }
            answered += got.size();
        }
        EXPECT_EQ(0u, queued());
        EXPECT_EQ(1u, write(Bytes{kReadPins})) << "room again";
    }
}

// Sync bit-bang samples once per byte written and waits for room for the sample.
TEST_F(ChipBuffersTest, SyncBitBangWaitsForRoomForItsSamples) {
    open(k232R, 5, FT_BITMODE_SYNC_BITBANG);
    ASSERT_EQ(0, simSetReceiveBuffer(device, 300));
    EXPECT_EQ(300u, write(Bytes(500, 0x55)));
    EXPECT_EQ(300u, read(300).size());
    EXPECT_EQ(200u, write(Bytes(200, 0x55)));
}

// A data write longer than the command buffer streams through it: taken whole at once.
TEST_F(ChipBuffersTest, DataLongerThanTheCommandBufferStreams) {
    open(k2232C, 5);
    Bytes command{0x19, 0xFF, 0x0F};  // 4096 bytes out, LSB first
    command.resize(command.size() + 4096, 0xA5);
    command.push_back(kReadPins);
    EXPECT_EQ(command.size(), write(command));
    EXPECT_EQ(1u, read(1).size());
}

// A reader on another thread makes room as it goes: a write with no timeout completes.
TEST_F(ChipBuffersTest, AReadLetsAWaitingWriteGoOn) {
    open(k232H, 0);
    ASSERT_EQ(0, simSetReceiveBuffer(device, 4096));
    constexpr uint32_t kCount = 20000;
    uint32_t written = 0;
    std::thread writer([&] { written = write(Bytes(kCount, kReadPins)); });
    const Bytes got = read(kCount);  // the read waits for all of them
    writer.join();
    EXPECT_EQ(kCount, written);
    EXPECT_EQ(kCount, got.size());
}

// What ends a write waiting for room, as for a stalled one.
TEST_F(ChipBuffersTest, AWriteWaitingForRoomEndsWithTheRightStatus) {
    const struct { const char* name; std::function<void(FT_HANDLE)> end; FT_STATUS expected; } cases[] = {
        {"purge", [](FT_HANDLE h) { FT_Purge(h, 2); }, FT_OK},
        {"close", [](FT_HANDLE h) { FT_Close(h); }, sim::kInvalidHandle},
        {"unplug", [](FT_HANDLE) { simUnplug(0); }, sim::kIoError},
        {"reset", [](FT_HANDLE) { simReset(); }, sim::kIoError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(k232H, 0);
        ASSERT_EQ(0, simSetReceiveBuffer(device, 16));
        const uint32_t callsBefore = simCallCount("FT_Write");
        uint32_t written = 0;
        std::thread writer([&] { written = write(Bytes(5000, kReadPins), c.expected); });
        // The driver records a write before it waits, under the lock the enders take too.
        while (simCallCount("FT_Write") == callsBefore) {
            std::this_thread::yield();
        }
        c.end(handle);
        writer.join();
        if (c.expected == FT_OK) {
            EXPECT_EQ(16u + 1024u + 1024u, written);
        }
    }
}

// A mode-0 flash changes MISO after SCK falls. Sampling on the falling edge reads its JEDEC ID
// as it is: the level at an edge is the one from before the flash answers it. Three-phase
// clocking samples after the answers: on the falling edge every bit comes one early.
TEST_F(ChipBuffersTest, AFlashReadsTheSameOnTheFallingEdge) {
    const struct { const char* name; Bytes setup; Bytes id; } cases[] = {
        {"falling edge", {}, {0xEF, 0x40, 0x18}},
        {"three-phase, falling edge", {0x8C}, {0xDE, 0x80, 0x31}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(k232H, 5);
        ASSERT_LE(0, simAttachSpiFlash(device, 3, 0xEF4018, 1 << 20));
        Bytes commands = c.setup;
        commands.insert(commands.end(), {0x80, 0x08, 0x0B, 0x80, 0x00, 0x0B, 0x11, 0x00, 0x00, 0x9F,
                                         0x24, 0x02, 0x00, 0x80, 0x08, 0x0B});
        EXPECT_EQ(commands.size(), write(commands));
        EXPECT_EQ(c.id, read(3));
    }
}

}  // namespace
