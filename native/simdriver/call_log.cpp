#include "call_log.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

int32_t copyOut(const void* source, std::size_t length, std::size_t elementSize, void* out,
                int32_t capacity) {
    const std::size_t room = capacity > 0 && out != nullptr ? static_cast<std::size_t>(capacity) : 0;
    const std::size_t count = std::min(length, room);
    if (count > 0) {
        std::memcpy(out, source, count * elementSize);
    }
    return static_cast<int32_t>(count);
}

}  // namespace

void CallLog::recordOpenText(const char* text) {
    hasOpenText_ = text != nullptr;
    openTextLength_ = 0;
    if (text == nullptr) {
        return;
    }
    while (openTextLength_ < kMaxOpenText) {
        const auto byte = static_cast<uint8_t>(text[openTextLength_]);
        openText_[openTextLength_++] = byte;
        if (byte == 0) {
            break;
        }
    }
}

void CallLog::clear() {
    records_ = {};
    hasOpenText_ = false;
    openTextLength_ = 0;
}

uint32_t CallLog::callCount(DriverFunction function) const {
    return records_[indexOf(function)].count;
}

int32_t CallLog::lastArguments(DriverFunction function, uint64_t* out, int32_t capacity) const {
    const Record& entry = records_[indexOf(function)];
    if (entry.count == 0) {
        return -1;
    }
    return copyOut(entry.arguments.data(), entry.argumentCount, sizeof(uint64_t), out, capacity);
}

int32_t CallLog::lastOpenText(uint8_t* out, int32_t capacity) const {
    if (!hasOpenText_) {
        return -1;
    }
    return copyOut(openText_.data(), openTextLength_, 1, out, capacity);
}

}  // namespace sim
