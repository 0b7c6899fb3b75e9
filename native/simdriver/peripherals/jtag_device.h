// One device of a simulated JTAG chain: its TAP, instruction register, BYPASS, optional IDCODE
// and USERCODE registers, and optionally the programmable memory. Instructions it does not know
// select BYPASS. The chain feeds it each rising edge of TCK and asks for its TDO after each
// falling edge.
#ifndef SIM_PERIPHERALS_JTAG_DEVICE_H
#define SIM_PERIPHERALS_JTAG_DEVICE_H

#include <cstdint>
#include <memory>

#include "jtag_memory.h"
#include "jtag_tap.h"

namespace sim {

struct JtagDeviceSpec {
    int irLength = 2;               // 2..32
    uint32_t irCapture = 0x1;       // its two low bits are 01
    bool hasIdcode = false;
    uint32_t idcode = 0;
    uint32_t idcodeInstruction = 0;
    bool hasUsercode = false;
    uint32_t usercode = 0;
    uint32_t usercodeInstruction = 0;
    bool hasMemory = false;         // needs irLength >= 8
};

class JtagDevice {
public:
    static constexpr int kMinIrLength = 2;
    static constexpr int kMaxIrLength = 32;

    explicit JtagDevice(const JtagDeviceSpec& spec);

    // Whether the description is of a device this class can model (lengths and values that fit).
    static bool valid(const JtagDeviceSpec& spec);

    // A rising edge of TCK: the device samples TMS and TDI, shifts, captures and updates.
    void risingEdge(bool tms, bool tdi);
    // What the device drives on its TDO after a falling edge: -1 released, else 0 or 1.
    int tdoAfterFallingEdge() const;
    // Test-Logic-Reset at once (TRST* or a new chain).
    void reset();

    TapState state() const { return state_; }
    uint32_t instruction() const { return instruction_; }
    JtagMemory* memory() { return memory_.get(); }
    const JtagDeviceSpec& spec() const { return spec_; }

private:
    // The selected data register's length and what Capture-DR loads into it.
    int dataLength() const;
    uint32_t dataCapture() const;
    static uint32_t shiftIn(uint32_t reg, int length, bool bit);

    JtagDeviceSpec spec_;
    std::unique_ptr<JtagMemory> memory_;
    TapState state_ = TapState::TestLogicReset;
    uint32_t instruction_ = 0;
    uint32_t irShift_ = 0;
    uint32_t drShift_ = 0;
    int drLength_ = 1;  // of the register being shifted, fixed at Capture-DR
};

}  // namespace sim

#endif  // SIM_PERIPHERALS_JTAG_DEVICE_H
