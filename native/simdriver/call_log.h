// What the driver was asked to do: per function a call count and the last call's arguments,
// and the text of the last FT_OpenEx by serial number or description. Callers hold the
// driver lock; recording never allocates.
#ifndef SIM_CALL_LOG_H
#define SIM_CALL_LOG_H

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "driver_function.h"

namespace sim {

class CallLog {
public:
    static constexpr std::size_t kMaxArguments = 5;  // FT_SetChars: handle and four values
    static constexpr std::size_t kMaxOpenText = 1024;

    // Defined here so that each call site, whose argument count is known, copies its
    // arguments without a call to memmove.
    void record(DriverFunction function, std::initializer_list<uint64_t> arguments) {
        Record& entry = records_[indexOf(function)];
        ++entry.count;
        entry.argumentCount = std::min(arguments.size(), kMaxArguments);
        std::copy_n(arguments.begin(), entry.argumentCount, entry.arguments.begin());
    }
    // Keeps the bytes of text through its terminator, reading at most kMaxOpenText bytes;
    // a null text clears the record, as that call had no text.
    void recordOpenText(const char* text);
    void clear();

    uint32_t callCount(DriverFunction function) const;
    // Copies the last call's arguments; -1 when the function was not called.
    int32_t lastArguments(DriverFunction function, uint64_t* out, int32_t capacity) const;
    // Copies the last open text; -1 when there was none.
    int32_t lastOpenText(uint8_t* out, int32_t capacity) const;

private:
    struct Record {
        uint32_t count = 0;
        std::size_t argumentCount = 0;
        std::array<uint64_t, kMaxArguments> arguments{};
    };
    std::array<Record, kDriverFunctionCount> records_{};
    bool hasOpenText_ = false;
    std::size_t openTextLength_ = 0;
    std::array<uint8_t, kMaxOpenText> openText_{};
};

}  // namespace sim

#endif  // SIM_CALL_LOG_H
