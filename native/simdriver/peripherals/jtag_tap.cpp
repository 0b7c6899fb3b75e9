#include "jtag_tap.h"

namespace sim {

namespace {

using S = TapState;

struct Transition {
    TapState tms0;
    TapState tms1;
};

// Indexed by TapState.
constexpr Transition kTable[kTapStateCount] = {
    {S::RunTestIdle, S::TestLogicReset},  // Test-Logic-Reset
    {S::RunTestIdle, S::SelectDrScan},    // Run-Test/Idle
    {S::CaptureDr, S::SelectIrScan},      // Select-DR-Scan
    {S::ShiftDr, S::Exit1Dr},             // Capture-DR
    {S::ShiftDr, S::Exit1Dr},             // Shift-DR
    {S::PauseDr, S::UpdateDr},            // Exit1-DR
    {S::PauseDr, S::Exit2Dr},             // Pause-DR
    {S::ShiftDr, S::UpdateDr},            // Exit2-DR
    {S::RunTestIdle, S::SelectDrScan},    // Update-DR
    {S::CaptureIr, S::TestLogicReset},    // Select-IR-Scan
    {S::ShiftIr, S::Exit1Ir},             // Capture-IR
    {S::ShiftIr, S::Exit1Ir},             // Shift-IR
    {S::PauseIr, S::UpdateIr},            // Exit1-IR
    {S::PauseIr, S::Exit2Ir},             // Pause-IR
    {S::ShiftIr, S::UpdateIr},            // Exit2-IR
    {S::RunTestIdle, S::SelectDrScan},    // Update-IR
};

constexpr const char* kNames[kTapStateCount] = {
    "TEST_LOGIC_RESET", "RUN_TEST_IDLE", "SELECT_DR_SCAN", "CAPTURE_DR", "SHIFT_DR", "EXIT1_DR",
    "PAUSE_DR",         "EXIT2_DR",      "UPDATE_DR",      "SELECT_IR_SCAN", "CAPTURE_IR", "SHIFT_IR",
    "EXIT1_IR",         "PAUSE_IR",      "EXIT2_IR",       "UPDATE_IR",
};

}  // namespace

TapState nextTapState(TapState state, bool tms) {
    const Transition& transition = kTable[static_cast<int>(state)];
    return tms ? transition.tms1 : transition.tms0;
}

const char* tapStateName(TapState state) {
    return kNames[static_cast<int>(state)];
}

}  // namespace sim
