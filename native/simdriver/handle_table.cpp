#include "handle_table.h"

namespace sim {

uint64_t HandleTable::open(const std::shared_ptr<Device>& device) {
    uint64_t handle = 0;
    // A changed base could make base + offset meet an old handle or zero: skip such values.
    do {
        // A handle is a pointer: on 32-bit targets only the low 32 bits of base + offset.
        handle = static_cast<uintptr_t>(base_ + nextOffset_);
        nextOffset_ += kHandleStep;
    } while (handle == 0 || devices_.count(handle) != 0);
    devices_.emplace(handle, device);
    device->handle = handle;
    return handle;
}

bool HandleTable::close(uint64_t handle) {
    const auto found = devices_.find(handle);
    if (found == devices_.end()) {
        return false;
    }
    found->second->handle = 0;
    found->second->readerWakeup.notify_all();
    if (handle == lastHandle_) {
        lastHandle_ = 0;
        lastDevice_ = nullptr;
    }
    devices_.erase(found);
    return true;
}

const std::shared_ptr<Device>* HandleTable::find(uint64_t handle) const {
    if (handle == lastHandle_) {
        return lastDevice_;
    }
    const auto found = devices_.find(handle);
    if (found == devices_.end()) {
        return nullptr;
    }
    // Entries of an unordered_map stay where they are when it grows, so the pointer holds
    // until the entry is erased.
    lastHandle_ = handle;
    lastDevice_ = &found->second;
    return lastDevice_;
}

void HandleTable::clear() {
    devices_.clear();
    lastHandle_ = 0;
    lastDevice_ = nullptr;
    base_ = kDefaultHandleBase;
    nextOffset_ = kHandleStep;
}

}  // namespace sim
