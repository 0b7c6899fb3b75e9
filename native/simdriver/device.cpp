#include "device.h"

#include <cstring>

namespace sim {

void Device::receive(const uint8_t* bytes, std::size_t length) {
    if (received.push(bytes, length) < length) {
        pendingLineErrors |= kOverrunError;
    }
    wakeup.notify_all();
}

void Device::transmit(const uint8_t* bytes, std::size_t length) {
    written.push(bytes, length);
    writtenTotal += length;
    if (loopback) {
        receive(bytes, length);
    }
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
