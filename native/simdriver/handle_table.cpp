#include "handle_table.h"

namespace sim {

uint64_t HandleTable::open(const std::shared_ptr<Device>& device) {
    uint64_t handle = 0;
    // A free value may have been issued again by offset after a change of base: skip it then.
    while (reuse_ && handle == 0 && !freeValues_.empty()) {
        if (devices_.count(freeValues_.back()) == 0) {
            handle = freeValues_.back();
        }
        freeValues_.pop_back();
    }
    if (handle == 0) {
        // A changed base could make base + offset meet an open handle or zero: skip such values.
        do {
            // A handle is a pointer: on 32-bit targets only the low 32 bits of base + offset.
            handle = static_cast<uintptr_t>(base_ + nextOffset_);
            nextOffset_ += kHandleStep;
        } while (handle == 0 || devices_.count(handle) != 0);
    }
    const auto closed = closedValues_.find(handle);
    if (closed != closedValues_.end()) {
        closed->second.closed = false;
    }
    devices_.emplace(handle, device);
    device->handle = handle;
    ++device->opens;
    return handle;
}

bool HandleTable::close(uint64_t handle) {
    const auto found = devices_.find(handle);
    if (found == devices_.end()) {
        return false;
    }
    found->second->handle = 0;
    found->second->wakeup.notify_all();
    if (handle == lastHandle_) {
        lastHandle_ = 0;
        lastDevice_ = nullptr;
    }
    devices_.erase(found);
    closedValues_[handle].closed = true;
    freeValues_.push_back(handle);
    return true;
}

bool HandleTable::rebind(uint64_t handle, const std::shared_ptr<Device>& device) {
    const auto found = devices_.find(handle);
    if (found == devices_.end()) {
        return false;
    }
    found->second->handle = 0;
    // Assigned in place: the cached entry pointer stays valid.
    found->second = device;
    device->handle = handle;
    return true;
}

void HandleTable::countIfClosed(uint64_t handle) {
    const auto found = closedValues_.find(handle);
    if (found != closedValues_.end() && found->second.closed) {
        ++found->second.calls;
    }
}

uint32_t HandleTable::closedCalls(uint64_t handle) const {
    const auto found = closedValues_.find(handle);
    return found == closedValues_.end() ? 0 : found->second.calls;
}

int32_t HandleTable::closedCallList(uint64_t* handles, uint32_t* counts, int32_t capacity) const {
    int32_t listed = 0;
    for (const auto& [handle, value] : closedValues_) {
        if (value.calls == 0) {
            continue;
        }
        if (listed < capacity) {
            handles[listed] = handle;
            counts[listed] = value.calls;
        }
        ++listed;
    }
    return listed;
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
    closedValues_.clear();
    freeValues_.clear();
    reuse_ = false;
}

}  // namespace sim
