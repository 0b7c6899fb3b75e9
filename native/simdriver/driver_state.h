// The one simulated driver of this process: its devices, handles, device-list snapshot,
// faults and call records, all guarded by one mutex. Every entry point takes the lock for a
// short, allocation-free stretch; only a waiting FT_Read releases it while it waits.
#ifndef SIM_DRIVER_STATE_H
#define SIM_DRIVER_STATE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "call_log.h"
#include "d2xx.h"
#include "device.h"
#include "fault_table.h"
#include "handle_table.h"

namespace sim {

constexpr uint32_t kDefaultLibraryVersion = 0x00030215;

struct DriverState {
    std::mutex mutex;
    // Every device added since the last reset, by its id; unplugged ones stay, not attached.
    std::vector<std::shared_ptr<Device>> devices;
    HandleTable handles;
    std::optional<std::vector<FT_DEVICE_LIST_INFO_NODE>> listSnapshot;
    uint32_t libraryVersion = kDefaultLibraryVersion;
    FaultTable faults;
    CallLog calls;
    // Counts arrivals, so that each one gets a later Device::arrival than those before it.
    uint64_t arrivals = 0;

    // The device with this id, or null.
    Device* device(int32_t id) const;
    // The attached device at this position of the device list (in arrival order), or null.
    std::shared_ptr<Device> attachedAt(int32_t index) const;
    // Marks the device as arriving now: it moves to the end of the device list.
    void arrive(Device& device);
    // The device-list records of the attached devices, in list order (arrival order).
    std::vector<FT_DEVICE_LIST_INFO_NODE> currentList() const;
    // Detaches every device (waking its readers) and restores every default.
    void reset();
};

DriverState& driverState();

}  // namespace sim

#endif  // SIM_DRIVER_STATE_H
