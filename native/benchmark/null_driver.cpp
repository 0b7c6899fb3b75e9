// A D2XX driver that does no work: every function answers at once. Queries give a constant,
// opening gives a fixed handle, reads copy from and writes copy into one static block. Measured
// on it, a binding's cost is the binding's own and not a driver's; the simulated driver's lock
// and bookkeeping cost two to four bare JNI calls and would hide it.
//
// For the typed API's MPSSE masters it also has the least of the bit modes: after
// FT_SetBitMode(mask, 0x02) it follows the command stream written (a command may span writes)
// and queues the replies it asks for, read back in order: a pin read (0x81, 0x83) answers 0xFF,
// an idle bus with every line pulled up, so that the I2C master's stuck-bus check passes; a data
// read answers zeros (an I2C acknowledge bit of 0 means acknowledged, so every transaction
// succeeds); a bad opcode (0xAA, 0xAB) answers 0xFA and itself, as the chip does, which the
// masters' start-up waits for. A read asking for more than is queued gets zeros for the rest.
// No other benchmark sets a bit mode, so theirs see the driver as before. One thread at a time,
// as every benchmark calls it.
#include <algorithm>
#include <cstdint>
#include <cstring>

// Declared visible here, so that the definitions below leave the library despite the
// build's hidden default; the version script keeps everything else in.
#pragma GCC visibility push(default)
#include "d2xx.h"
#include "d2xx_modes.h"
#pragma GCC visibility pop

namespace {

// The most one read or write moves; larger requests are answered with this count, short.
constexpr uint32_t kBlockSize = 65536;
// What the receive queue always holds: enough that a stream read never waits.
constexpr uint32_t kQueued = kBlockSize;

unsigned char block[kBlockSize];
// Any non-null value: the bridge and the bindings only pass it back.
unsigned char handleTarget;

// MPSSE mode: the command being parsed and the replies queued.
constexpr uint8_t kBadCommandReply = 0xFA;
// FT_Purge's receive bit, a published value.
constexpr uint32_t kPurgeReceive = 1;
constexpr uint8_t kPinsIdle = 0xFF;
bool mpsseMode;
unsigned char command[3];
uint32_t commandHave;
uint32_t commandNeed;
// Data bytes of a write command still to pass over.
uint32_t dataToSkip;
constexpr uint32_t kReplyCapacity = 4 * kBlockSize;
unsigned char replies[kReplyCapacity];
uint32_t replyHead;
uint32_t replyCount;

// The device the typed API sees: an FT232H, which has an MPSSE.
constexpr uint32_t kDeviceType = 8;
constexpr uint32_t kDeviceId = 0x04036014;
const char kSerialNumber[] = "NULL0001";
const char kDescription[] = "Null driver device";

FT_HANDLE theHandle() {
    return &handleTarget;
}

uint32_t clamped(uint32_t bytes) {
    return bytes < kBlockSize ? bytes : kBlockSize;
}

void resetMpsse(bool on) {
    mpsseMode = on;
    commandHave = 0;
    dataToSkip = 0;
    replyHead = 0;
    replyCount = 0;
}

// Beyond the capacity replies are dropped: the read that wants them gets zeros.
void queueReplies(uint8_t value, uint32_t count) {
    while (count > 0 && replyCount < kReplyCapacity) {
        const uint32_t tail = (replyHead + replyCount) % kReplyCapacity;
        const uint32_t room = std::min(kReplyCapacity - tail, kReplyCapacity - replyCount);
        const uint32_t run = std::min(count, room);
        std::memset(replies + tail, value, run);
        replyCount += run;
        count -= run;
    }
}

// Bytes of a command before its data: opcode, then a length (1 byte in bit mode, 2 in byte
// mode) for data commands, or the command's arguments.
uint32_t headerLength(uint8_t op) {
    if (op < 0x80) {
        return (op & 0x02) != 0 ? 2 : 3;
    }
    switch (op) {
    case 0x80: case 0x82: case 0x86: case 0x8F: case 0x9C: case 0x9D: case 0x9E:
        return 3;
    case 0x8E:
        return 2;
    default:
        return 1;
    }
}

// A whole header has arrived: queue its replies and note the data bytes that follow.
void runCommand() {
    const uint8_t op = command[0];
    if (op < 0x80) {
        const bool bits = (op & 0x02) != 0;
        const uint32_t length = bits ? 1 : uint32_t{command[1]} + (uint32_t{command[2]} << 8) + 1;
        // Bit-mode writes and TMS commands carry one data byte; byte-mode writes the length.
        if ((op & 0x10) != 0 || (op & 0x40) != 0) {
            dataToSkip = length;
        }
        if ((op & 0x20) != 0) {
            queueReplies(0, length);
        }
    } else if (op == 0x81 || op == 0x83) {
        queueReplies(kPinsIdle, 1);
    } else if (op == 0xAA || op == 0xAB) {
        queueReplies(kBadCommandReply, 1);
        queueReplies(op, 1);
    }
}

void parseCommands(const unsigned char* bytes, uint32_t count) {
    uint32_t at = 0;
    while (at < count) {
        if (dataToSkip > 0) {
            const uint32_t skipped = dataToSkip < count - at ? dataToSkip : count - at;
            dataToSkip -= skipped;
            at += skipped;
            continue;
        }
        if (commandHave == 0) {
            commandNeed = headerLength(bytes[at]);
            // The usual case, a whole header in this write, without a byte at a time.
            if (count - at >= commandNeed) {
                std::memcpy(command, bytes + at, commandNeed);
                at += commandNeed;
                runCommand();
                continue;
            }
        }
        command[commandHave++] = bytes[at++];
        if (commandHave == commandNeed) {
            commandHave = 0;
            runCommand();
        }
    }
}

void takeReplies(unsigned char* buffer, uint32_t count) {
    uint32_t taken = 0;
    while (taken < count && replyCount > 0) {
        const uint32_t run = std::min({count - taken, replyCount, kReplyCapacity - replyHead});
        std::memcpy(buffer + taken, replies + replyHead, run);
        taken += run;
        replyHead = (replyHead + run) % kReplyCapacity;
        replyCount -= run;
    }
    std::memset(buffer + taken, 0, count - taken);
}

}  // namespace

extern "C" {

FT_STATUS FT_API FT_Open(int32_t, FT_HANDLE* handle) {
    *handle = theHandle();
    return FT_OK;
}

FT_STATUS FT_API FT_OpenEx(void*, uint32_t, FT_HANDLE* handle) {
    *handle = theHandle();
    return FT_OK;
}

FT_STATUS FT_API FT_Close(FT_HANDLE) { return FT_OK; }

FT_STATUS FT_API FT_Read(FT_HANDLE, void* buffer, uint32_t bytesToRead, uint32_t* bytesReturned) {
    const uint32_t count = clamped(bytesToRead);
    if (!mpsseMode) {
        std::memcpy(buffer, block, count);
    } else {
        takeReplies(static_cast<unsigned char*>(buffer), count);
    }
    *bytesReturned = count;
    return FT_OK;
}

FT_STATUS FT_API FT_Write(FT_HANDLE, void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten) {
    const uint32_t count = clamped(bytesToWrite);
    if (!mpsseMode) {
        std::memcpy(block, buffer, count);
    } else {
        parseCommands(static_cast<const unsigned char*>(buffer), count);
    }
    *bytesWritten = count;
    return FT_OK;
}

FT_STATUS FT_API FT_GetQueueStatus(FT_HANDLE, uint32_t* rxBytes) {
    *rxBytes = kQueued;
    return FT_OK;
}

FT_STATUS FT_API FT_GetModemStatus(FT_HANDLE, uint32_t* modemStatus) {
    *modemStatus = 0;
    return FT_OK;
}

FT_STATUS FT_API FT_GetLatencyTimer(FT_HANDLE, uint8_t* latency) {
    *latency = 16;
    return FT_OK;
}

FT_STATUS FT_API FT_GetDriverVersion(FT_HANDLE, uint32_t* version) {
    *version = 0x00030216;
    return FT_OK;
}

FT_STATUS FT_API FT_GetLibraryVersion(uint32_t* version) {
    *version = 0x00030216;
    return FT_OK;
}

FT_STATUS FT_API FT_GetComPortNumber(FT_HANDLE, int32_t* comPortNumber) {
    *comPortNumber = -1;
    return FT_OK;
}

// Eight devices, as a bench with a few adapters shows them: what a device watcher's rescan
// reads. Enumeration as the list grows is measured on the simulated driver.
constexpr uint32_t kListedDevices = 8;

FT_STATUS FT_API FT_CreateDeviceInfoList(uint32_t* deviceCount) {
    *deviceCount = kListedDevices;
    return FT_OK;
}

FT_STATUS FT_API FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, uint32_t* deviceCount) {
    const uint32_t count = *deviceCount < kListedDevices ? *deviceCount : kListedDevices;
    for (uint32_t i = 0; i < count; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = list[i];
        node = FT_DEVICE_LIST_INFO_NODE{};
        node.Type = kDeviceType;
        node.ID = kDeviceId;
        node.LocId = 0x1001 + i;
        std::memcpy(node.SerialNumber, "NULL0000", 8);
        node.SerialNumber[7] = static_cast<char>('0' + i);
        std::memcpy(node.Description, kDescription, sizeof kDescription);
    }
    *deviceCount = count;
    return FT_OK;
}

FT_STATUS FT_API FT_ResetDevice(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetBaudRate(FT_HANDLE, uint32_t) { return FT_OK; }
FT_STATUS FT_API FT_SetDataCharacteristics(FT_HANDLE, uint8_t, uint8_t, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_SetFlowControl(FT_HANDLE, uint16_t, uint8_t, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_SetDtr(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_ClrDtr(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetRts(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_ClrRts(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetChars(FT_HANDLE, uint8_t, uint8_t, uint8_t, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_Purge(FT_HANDLE, uint32_t mask) {
    if ((mask & kPurgeReceive) != 0) {
        replyCount = 0;
    }
    return FT_OK;
}
FT_STATUS FT_API FT_SetTimeouts(FT_HANDLE, uint32_t, uint32_t) { return FT_OK; }
FT_STATUS FT_API FT_SetBreakOn(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetBreakOff(FT_HANDLE) { return FT_OK; }
FT_STATUS FT_API FT_SetLatencyTimer(FT_HANDLE, uint8_t) { return FT_OK; }
FT_STATUS FT_API FT_SetUSBParameters(FT_HANDLE, uint32_t, uint32_t) { return FT_OK; }

// Of the functions beyond the serial line, those the typed API's MPSSE masters call.
FT_STATUS FT_API FT_SetBitMode(FT_HANDLE, uint8_t, uint8_t mode) {
    resetMpsse(mode == FT_BITMODE_MPSSE);
    return FT_OK;
}

FT_STATUS FT_API FT_GetBitMode(FT_HANDLE, uint8_t* pins) {
    *pins = 0;
    return FT_OK;
}

FT_STATUS FT_API FT_GetDeviceInfo(FT_HANDLE, uint32_t* type, uint32_t* id, char* serialNumber,
                                  char* description, void*) {
    *type = kDeviceType;
    *id = kDeviceId;
    std::memcpy(serialNumber, kSerialNumber, sizeof kSerialNumber);
    std::memcpy(description, kDescription, sizeof kDescription);
    return FT_OK;
}

FT_STATUS FT_API FT_GetStatus(FT_HANDLE, uint32_t* rxBytes, uint32_t* txBytes, uint32_t* eventBits) {
    *rxBytes = kQueued;
    *txBytes = 0;
    *eventBits = 0;
    return FT_OK;
}

}  // extern "C"
