#include "handle_table.h"

namespace sim {

uint64_t HandleTable::open(const std::shared_ptr<Device>& device) {
    uint64_t handle = 0;
    // A changed base could make base + offset meet an old handle or zero: skip such values.
    do {
        handle = base_ + nextOffset_;
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
    devices_.erase(found);
    return true;
}

const std::shared_ptr<Device>* HandleTable::find(uint64_t handle) const {
    const auto found = devices_.find(handle);
    return found == devices_.end() ? nullptr : &found->second;
}

void HandleTable::clear() {
    devices_.clear();
    base_ = kDefaultHandleBase;
    nextOffset_ = kHandleStep;
}

}  // namespace sim
