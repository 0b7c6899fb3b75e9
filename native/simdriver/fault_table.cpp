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

}  // namespace sim
