// The handles this process holds. A handle is a made-up number (base plus a per-open offset
// that is never reused until clear(), unless reuse is on), looked up here and never
// dereferenced. The table also remembers every value it closed, to count the calls that still
// arrive with it. Callers hold the driver lock; lookups and counting do not allocate.
#ifndef SIM_HANDLE_TABLE_H
#define SIM_HANDLE_TABLE_H

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "device.h"

namespace sim {

// Where a handle looks like a heap address: high in a 64-bit address space, and above 2 GiB in a
// 32-bit one, where a handle read as a signed 32-bit number would be negative.
constexpr uint64_t kDefaultHandleBase =
    sizeof(void*) == 8 ? 0x00007F5A00000000 : 0x00000000B5A00000;
// Handles step by this much, so that they look like aligned addresses.
constexpr uint64_t kHandleStep = 0x10;

class HandleTable {
public:
    // Issues a new handle for the device and records it in the device.
    uint64_t open(const std::shared_ptr<Device>& device);
    // Forgets the handle and marks its device closed; false for an unknown handle.
    bool close(uint64_t handle);
    // Points an open handle at another device (one that is not attached): a handle from
    // before an unplug must keep failing after the device is plugged back in. False for an
    // unknown handle.
    bool rebind(uint64_t handle, const std::shared_ptr<Device>& device);
    // The device behind a handle, or null for a closed, stale or made-up one.
    const std::shared_ptr<Device>* find(uint64_t handle) const;
    void setBase(uint64_t base) { base_ = base; }
    // On: open() gives out the value closed most recently and not given out since, as an
    // allocator reuses freed memory, so that a late call would reach another device.
    void setReuse(bool reuse) { reuse_ = reuse; }
    // Counts the call if the handle is a value this table closed and has not issued again.
    void countIfClosed(uint64_t handle);
    // Calls counted for one value.
    uint32_t closedCalls(uint64_t handle) const;
    // Writes up to capacity values with counted calls and their counts, in no particular
    // order; returns how many such values there are.
    int32_t closedCallList(uint64_t* handles, uint32_t* counts, int32_t capacity) const;
    // Forgets every handle and count, restarts offsets and base and switches reuse off; the
    // devices are not touched.
    void clear();

private:
    std::unordered_map<uint64_t, std::shared_ptr<Device>> devices_;
    // The handle found last and its entry: nearly every call uses the same handle as the one
    // before, and this spares it the hashing. Handle 0 is never issued, so it marks no entry.
    mutable uint64_t lastHandle_ = 0;
    mutable const std::shared_ptr<Device>* lastDevice_ = nullptr;
    uint64_t base_ = kDefaultHandleBase;
    uint64_t nextOffset_ = kHandleStep;

    struct ClosedValue {
        bool closed = true;  // false again once the value is reissued
        uint32_t calls = 0;  // calls that arrived while it was closed
    };
    std::unordered_map<uint64_t, ClosedValue> closedValues_;
    // The closed values not reissued yet, the latest last: what reuse hands out.
    std::vector<uint64_t> freeValues_;
    bool reuse_ = false;
};

}  // namespace sim

#endif  // SIM_HANDLE_TABLE_H
