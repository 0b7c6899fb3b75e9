#include "device.h"

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

void Device::transmit(const uint8_t* bytes, std::size_t length) {
    written.push(bytes, length);
    writtenTotal += length;
    takeWritten(*this, bytes, length);
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
    ++resetCount;
}

void Device::purgeReceiveQueue() {
    received.clear();
    ++purgeRxCount;
    ++receivePurges;
    wakeup.notify_all();
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
