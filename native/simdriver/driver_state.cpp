#include "driver_state.h"

namespace sim {

Device* DriverState::device(int32_t id) const {
    if (id < 0 || static_cast<std::size_t>(id) >= devices.size()) {
        return nullptr;
    }
    return devices[static_cast<std::size_t>(id)].get();
}

std::shared_ptr<Device> DriverState::attachedAt(int32_t index) const {
    if (index < 0) {
        return nullptr;
    }
    int32_t position = 0;
    for (const auto& candidate : devices) {
        if (candidate->attached && position++ == index) {
            return candidate;
        }
    }
    return nullptr;
}

std::vector<FT_DEVICE_LIST_INFO_NODE> DriverState::currentList() const {
    std::vector<FT_DEVICE_LIST_INFO_NODE> records;
    for (const auto& candidate : devices) {
        if (candidate->attached) {
            records.push_back(candidate->listRecord());
        }
    }
    return records;
}

void DriverState::reset() {
    for (const auto& dropped : devices) {
        // Readers blocked on it hold their own reference and return FT_IO_ERROR.
        dropped->attached = false;
        dropped->handle = 0;
        dropped->wakeup.notify_all();
    }
    devices.clear();
    handles.clear();
    listSnapshot.reset();
    libraryVersion = kDefaultLibraryVersion;
    faults.clear();
    calls.clear();
}

DriverState& driverState() {
    // Never destroyed: a thread may still wait in FT_Read on its mutex while the process exits.
    static DriverState* const state = new DriverState;
    return *state;
}

}  // namespace sim
