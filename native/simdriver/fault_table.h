// Injected failures and count overrides, per driver function. Callers hold the driver lock.
#ifndef SIM_FAULT_TABLE_H
#define SIM_FAULT_TABLE_H

#include <array>
#include <cstdint>
#include <optional>

#include "driver_function.h"

namespace sim {

class FaultTable {
public:
    void failNext(DriverFunction function, uint32_t status);
    void failAlways(DriverFunction function, uint32_t status);
    void reportNextCount(DriverFunction function, uint32_t count);
    void clear();

    // Every driver call asks these two; they are defined here so that the question costs no
    // function call.
    // The status a call must fail with, if any; a one-shot failure is used up by this.
    std::optional<uint32_t> takeFailure(DriverFunction function) {
        Entry& entry = entries_[indexOf(function)];
        if (entry.nextFailure) {
            const uint32_t status = *entry.nextFailure;
            entry.nextFailure.reset();
            return status;
        }
        // Not `return entry.alwaysFailure`: copying the optional whole makes GCC store it in
        // parts and load it at once, a store-forwarding stall on every driver call.
        if (entry.alwaysFailure) {
            return *entry.alwaysFailure;
        }
        return std::nullopt;
    }
    // The count the current successful call must report, if any; used up by this.
    std::optional<uint32_t> takeReportedCount(DriverFunction function) {
        Entry& entry = entries_[indexOf(function)];
        if (!entry.nextCount) {
            return std::nullopt;
        }
        const uint32_t count = *entry.nextCount;
        entry.nextCount.reset();
        return count;
    }

private:
    struct Entry {
        std::optional<uint32_t> nextFailure;
        std::optional<uint32_t> alwaysFailure;
        std::optional<uint32_t> nextCount;
    };
    std::array<Entry, kDriverFunctionCount> entries_{};
};

}  // namespace sim

#endif  // SIM_FAULT_TABLE_H
