#include "fault_table.h"

namespace sim {

void FaultTable::failNext(DriverFunction function, uint32_t status) {
    entries_[indexOf(function)].nextFailure = status;
}

void FaultTable::failAlways(DriverFunction function, uint32_t status) {
    entries_[indexOf(function)].alwaysFailure = status;
}

void FaultTable::reportNextCount(DriverFunction function, uint32_t count) {
    entries_[indexOf(function)].nextCount = count;
}

void FaultTable::clear() {
    entries_ = {};
}

std::optional<uint32_t> FaultTable::takeFailure(DriverFunction function) {
    Entry& entry = entries_[indexOf(function)];
    if (entry.nextFailure) {
        const uint32_t status = *entry.nextFailure;
        entry.nextFailure.reset();
        return status;
    }
    return entry.alwaysFailure;
}

std::optional<uint32_t> FaultTable::takeReportedCount(DriverFunction function) {
    Entry& entry = entries_[indexOf(function)];
    const std::optional<uint32_t> count = entry.nextCount;
    entry.nextCount.reset();
    return count;
}

}  // namespace sim
