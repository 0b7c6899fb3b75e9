// One simulated device: what it is (the device-list identity), what it is set to, its
// signals and its queues. Every member is guarded by the driver lock; threads that wait for
// data keep the device alive through a shared_ptr, so simReset can drop it under them.
#ifndef SIM_DEVICE_H
#define SIM_DEVICE_H

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_queue.h"
#include "chip_kind.h"
#include "d2xx.h"
#include "eeprom.h"
#include "event_notifier.h"
#include "line_settings.h"
#include "mpsse_engine.h"
#include "pin_bus.h"

namespace sim {

// The receive queue holds at most this much; bytes beyond it are dropped and the overrun bit
// of the line status is raised, as a UART does when nobody reads.
constexpr std::size_t kReceiveQueueBound = 1 << 20;
// What the driver buffers of a chip's replies (MPSSE, sync bit-bang) until the host reads them,
// unless set otherwise: the real driver's size is not published, so this is a round figure.
// Bytes from the serial line do not stop at it (a line cannot be paused): they fill the receive
// queue up to its bound.
constexpr std::size_t kDefaultReceiveBuffer = 64 << 10;
// The log of written bytes keeps at most this much until simTakeWritten drains it; bytes
// written beyond it are left out of the log.
constexpr std::size_t kWrittenLogBound = 16 << 20;

constexpr uint32_t kDefaultDriverVersion = 0x00021216;
constexpr uint32_t kFlagOpened = 1;

// Modem-status bits, low byte (lines) and line-status byte.
constexpr uint32_t kCts = 0x10;
constexpr uint32_t kDsr = 0x20;
constexpr uint32_t kRi = 0x40;
constexpr uint32_t kDcd = 0x80;
constexpr uint32_t kModemLines = kCts | kDsr | kRi | kDcd;
constexpr uint32_t kOverrunError = 0x02;
constexpr uint32_t kBreakInterrupt = 0x10;

struct DeviceIdentity {
    uint32_t flags = 0;
    uint32_t type = 0;
    uint32_t id = 0;
    uint32_t locId = 0;
    std::array<char, 16> serial{};
    std::array<char, 64> description{};
};

struct Device {
    explicit Device(const DeviceIdentity& identity_);

    DeviceIdentity identity;
    bool attached = true;         // false once unplugged or removed by simReset
    // When the device last arrived (attached or plugged back in): the list shows devices in
    // the order they arrived, as the driver shows a device plugged in after the others last.
    uint64_t arrival = 0;
    bool openedElsewhere = false;
    bool loopback = true;
    bool instantTransfers = false;
    uint32_t driverVersion = kDefaultDriverVersion;
    int32_t comPort = -1;
    uint32_t modemInputs = 0;        // lines seen when not looped back, and RI always
    uint32_t pendingLineErrors = 0;  // line-status bits until the next modem-status query
    uint64_t handle = 0;             // of this process's open handle, 0 when not open
    // Counts opens, so that a waiting call can tell its handle from a later one of equal value.
    uint64_t opens = 0;
    bool writesStalled = false;      // the device takes no byte, as with flow control holding it

    LineSettings settings;
    bool dtr = false;
    bool rts = false;
    bool breakOn = false;

    ByteQueue received{kReceiveQueueBound};
    // The most of the chip's replies the receive queue takes (1..kReceiveQueueBound); with it
    // full they wait in the chip's reply buffer, and with that full too the chip pauses.
    std::size_t receiveBuffer = kDefaultReceiveBuffer;
    ByteQueue replyBuffer{chipKind(identity.type).inBuffer};
    ByteQueue written{kWrittenLogBound};
    // Every byte written since the device was added, counted also past what the log keeps.
    uint64_t writtenTotal = 0;
    uint32_t resetCount = 0;
    uint32_t purgeRxCount = 0;
    uint32_t purgeTxCount = 0;
    uint64_t receivePurges = 0;  // lets a waiting read see that a purge happened meanwhile
    uint64_t transmitPurges = 0;  // lets a waiting write see the same

    // The chip beyond the serial line: its bit mode and pins, and the MPSSE engine on them.
    uint8_t bitMode = 0;
    uint8_t bitMask = 0;
    PinBus pins;
    MpsseEngine mpsse{chipKind(identity.type), pins};
    // The driver id under which levels scripted from outside (simSetPinInputs) drive the pins.
    int outsideDriver = pins.newOwner();
    // The channel (0 = A) by the description's last letter, and its EEPROM (each channel of a
    // multi-channel chip models its own, though the chip has one).
    int channel = 0;
    Eeprom eeprom;
    // The event registered by FT_SetEventNotification, and the events that occurred since the
    // last FT_GetStatus (FT_EVENT_* bits).
    EventNotifier notifier;
    uint32_t eventBits = 0;
    uint32_t portResets = 0;
    uint32_t portCycles = 0;

    // Signalled whenever a waiting read or write may have to return: data, purge, close,
    // unplug, reset, the end of a stall.
    std::condition_variable wakeup;

    bool isOpen() const { return handle != 0; }
    const ChipKind& kind() const { return chipKind(identity.type); }
    // Records events (FT_EVENT_* bits) for FT_GetStatus and signals them if enabled.
    void raiseEvents(uint32_t events);
    // Events since the last call; clears them.
    uint32_t takeEvents();
    // Sets DTR or RTS; looped back they drive modem lines, so a change is a modem-status event.
    void setLine(bool& line, bool on);
    // Sets break; looped back it shows in the line status, so a change is a line-status event.
    void setBreak(bool& line, bool on);
    // Queues bytes arriving from the line; an overflow raises the overrun bit.
    void receive(const uint8_t* bytes, std::size_t length);
    // Hands written bytes to the chip in its bit mode (in the UART mode, when looped back, it
    // receives them) and logs those it took: fewer than given when the chip's command buffer
    // is full because its replies have nowhere to go.
    std::size_t transmit(const uint8_t* bytes, std::size_t length);
    // How many more reply bytes the chip may produce: room in the receive buffer and in its own.
    std::size_t replyRoom() const;
    // Queues the chip's replies: into the receive queue up to the receive buffer, the rest
    // into the chip's reply buffer (replyRoom bounds them).
    void deliverReplies(const std::vector<uint8_t>& replies);
    // The host took received bytes: replies waiting in the chip move on, a paused engine goes
    // on, and a write waiting for room may send more.
    void repliesTaken();
    // Moves replies waiting in the chip into the receive queue as far as the buffer allows.
    void moveWaitingReplies();
    // The modem-status word; reporting it clears the pending line errors.
    uint32_t takeModemStatus();
    // What FT_ResetDevice does: default settings and signals, empty receive queue.
    void resetToDefaults();
    void purgeReceiveQueue();
    // The device-list record as the driver reports it now.
    FT_DEVICE_LIST_INFO_NODE listRecord() const;
};

}  // namespace sim

#endif  // SIM_DEVICE_H
