// The sixteen states of a JTAG test access port and the state table that moves between them
// on each rising edge of TCK, by the level of TMS.
#ifndef SIM_PERIPHERALS_JTAG_TAP_H
#define SIM_PERIPHERALS_JTAG_TAP_H

#include <cstdint>

namespace sim {

// Numbered as the control API and the Java side report them.
enum class TapState : uint8_t {
    TestLogicReset,
    RunTestIdle,
    SelectDrScan,
    CaptureDr,
    ShiftDr,
    Exit1Dr,
    PauseDr,
    Exit2Dr,
    UpdateDr,
    SelectIrScan,
    CaptureIr,
    ShiftIr,
    Exit1Ir,
    PauseIr,
    Exit2Ir,
    UpdateIr,
};

constexpr int kTapStateCount = 16;

TapState nextTapState(TapState state, bool tms);
const char* tapStateName(TapState state);

}  // namespace sim

#endif  // SIM_PERIPHERALS_JTAG_TAP_H
