#include "device.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "bit_bang.h"
#include "d2xx_modes.h"

namespace sim {

namespace {

template <std::size_t N>
std::string textOf(const std::array<char, N>& field) {
    std::size_t length = 0;
    while (length < N && field[length] != '\0') {
        ++length;
    }
    return std::string(field.data(), length);
}

}  // namespace

Device::Device(const DeviceIdentity& identity_)
    : identity(identity_),
      channel(channelOf(identity.description.data(), identity.description.size())),
      eeprom(chipKind(identity.type), identity.id, textOf(identity.description),
             textOf(identity.serial)) {}

void Device::receive(const uint8_t* bytes, std::size_t length) {
    uint32_t events = length > 0 ? FT_EVENT_RXCHAR : 0;
    if (received.push(bytes, length) < length) {
        pendingLineErrors |= kOverrunError;
        events |= FT_EVENT_LINE_STATUS;
    }
    wakeup.notify_all();
    raiseEvents(events);
}

std::size_t Device::transmit(const uint8_t* bytes, std::size_t length) {
    const std::size_t taken = takeWritten(*this, bytes, length);
    written.push(bytes, taken);
    writtenTotal += taken;
    return taken;
}

std::size_t Device::replyRoom() const {
    const std::size_t queued = received.size();
    const std::size_t inQueue = queued < receiveBuffer ? receiveBuffer - queued : 0;
    return inQueue + (kind().inBuffer - replyBuffer.size());
}

void Device::deliverReplies(const std::vector<uint8_t>& replies) {
    if (replies.empty()) {
        return;
    }
    moveWaitingReplies();
    const std::size_t queued = received.size();
    const std::size_t direct = std::min(replies.size(), queued < receiveBuffer ? receiveBuffer - queued : 0);
    // Earlier replies still in the chip go first; then nothing passes them.
    const std::size_t passed = replyBuffer.size() == 0 ? received.push(replies.data(), direct) : 0;
    replyBuffer.push(replies.data() + passed, replies.size() - passed);
    wakeup.notify_all();
    raiseEvents(passed > 0 ? FT_EVENT_RXCHAR : 0);
}

void Device::repliesTaken() {
    moveWaitingReplies();
    resumeChip(*this);
    wakeup.notify_all();
}

void Device::moveWaitingReplies() {
    std::vector<uint8_t> moving;
    while (received.size() < receiveBuffer && replyBuffer.size() > 0) {
        moving.resize(std::min(receiveBuffer - received.size(), replyBuffer.size()));
        replyBuffer.pop(moving.data(), moving.size());
        received.push(moving.data(), moving.size());
        raiseEvents(FT_EVENT_RXCHAR);
    }
}

void Device::raiseEvents(uint32_t events) {
    if (events == 0) {
        return;
    }
    eventBits |= events;
    notifier.notify(events);
}

void Device::setLine(bool& line, bool on) {
    const bool changed = line != on;
    line = on;
    if (changed && loopback) {
        raiseEvents(FT_EVENT_MODEM_STATUS);
    }
}

void Device::setBreak(bool& line, bool on) {
    const bool changed = line != on;
    line = on;
    if (changed && loopback) {
        raiseEvents(FT_EVENT_LINE_STATUS);
    }
}

uint32_t Device::takeEvents() {
    const uint32_t events = eventBits;
    eventBits = 0;
    return events;
}

uint32_t Device::takeModemStatus() {
    uint32_t lines = modemInputs & kRi;
    uint32_t lineStatus = pendingLineErrors;
    if (loopback) {
        lines |= (rts ? kCts : 0) | (dtr ? kDsr | kDcd : 0);
        lineStatus |= breakOn ? kBreakInterrupt : 0;
    } else {
        lines |= modemInputs & kModemLines;
    }
    pendingLineErrors = 0;
    return lines | (lineStatus << 8);
}

void Device::resetToDefaults() {
    settings = LineSettings{};
    dtr = false;
    rts = false;
    breakOn = false;
    pendingLineErrors = 0;
    received.clear();
    replyBuffer.clear();
    ++resetCount;
    repliesTaken();
}

void Device::purgeReceiveQueue() {
    received.clear();
    replyBuffer.clear();
    ++purgeRxCount;
    ++receivePurges;
    repliesTaken();
}

FT_DEVICE_LIST_INFO_NODE Device::listRecord() const {
    FT_DEVICE_LIST_INFO_NODE record{};
    record.Flags = identity.flags;
    record.Type = identity.type;
    record.ID = identity.id;
    record.LocId = identity.locId;
    if (openedElsewhere) {
        // Another process holds it: the driver shows only that it is open.
        record.Flags |= kFlagOpened;
        return record;
    }
    std::memcpy(record.SerialNumber, identity.serial.data(), identity.serial.size());
    std::memcpy(record.Description, identity.description.data(), identity.description.size());
    if (isOpen()) {
        record.Flags |= kFlagOpened;
        record.ftHandle = reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(handle));
    }
    return record;
}

}  // namespace sim
