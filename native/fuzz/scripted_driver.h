// A D2XX driver for the fuzzer that answers every call from the fuzz input: any status, any
// out-value, counts larger than asked, device records of random bytes, and a second device
// count that differs from the first. It keeps the driver's side of the contract (it writes no
// more bytes or records than the caller's buffer holds) but touches every byte it may, so that
// AddressSanitizer sees a buffer smaller than the bridge claims. It records what it was handed
// and what it answered, for the fuzzer's invariants.
#ifndef FUZZ_SCRIPTED_DRIVER_H
#define FUZZ_SCRIPTED_DRIVER_H

#include <cstdint>
#include <string>
#include <vector>

#include "d2xx.h"

class FuzzedDataProvider;

namespace fuzz {

struct DriverCall {
    std::string function;          // "FT_Read"
    uint64_t handle = 0;           // handle bits as passed, 0 for functions without one
    std::vector<uint64_t> args;    // the other arguments as passed, narrow ones zero-extended
    FT_STATUS status = FT_OK;      // what the driver returned
    uint64_t outValue = 0;         // the count, value or handle bits it wrote
    std::vector<uint8_t> bytes;    // read: what it put in the buffer; write: what it was
                                   // given; open by text: the text through its terminator
    std::vector<FT_DEVICE_LIST_INFO_NODE> records;  // the device records it wrote
};

// Points the driver at the input to answer from, and forgets earlier calls.
void scriptDriver(FuzzedDataProvider* input);

// The calls made since scriptDriver or the last takeDriverCalls, in order.
std::vector<DriverCall> takeDriverCalls();

}  // namespace fuzz

#endif  // FUZZ_SCRIPTED_DRIVER_H
