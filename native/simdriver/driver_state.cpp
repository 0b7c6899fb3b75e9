#include "driver_state.h"

#include <algorithm>

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
    // A device's position is the number of attached devices that arrived before it; counting
    // them for each candidate allocates nothing, and lists are a few devices long.
    for (const auto& candidate : devices) {
        if (!candidate->attached) {
            continue;
        }
        int32_t position = 0;
        for (const auto& other : devices) {
            if (other->attached && other->arrival < candidate->arrival) {
                ++position;
            }
        }
        if (position == index) {
            return candidate;
        }
    }
    return nullptr;
}

void DriverState::arrive(Device& device) {
    device.arrival = ++arrivals;
}

std::vector<FT_DEVICE_LIST_INFO_NODE> DriverState::currentList() const {
    std::vector<const Device*> attached;
    for (const auto& candidate : devices) {
        if (candidate->attached) {
            attached.push_back(candidate.get());
        }
    }
    std::sort(attached.begin(), attached.end(),
              [](const Device* a, const Device* b) { return a->arrival < b->arrival; });
    std::vector<FT_DEVICE_LIST_INFO_NODE> records;
    records.reserve(attached.size());
    for (const Device* device : attached) {
        records.push_back(device->listRecord());
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
