// The simulated JTAG chain on a pin bus, driven edge by edge as an adapter would: the TAP state
// table, the registers of a chain and the programmable memory's busy times.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "peripherals/jtag_chain.h"
#include "pin_bus.h"

namespace {

using sim::JtagChain;
using sim::JtagDeviceSpec;
using sim::JtagMemory;
using sim::PinBus;
using sim::PinMask;
using sim::TapState;
using sim::pinBit;
using Bits = std::vector<bool>;

constexpr int kTck = 0, kTdi = 1, kTdo = 2, kTms = 3, kTrst = 4;

JtagDeviceSpec device(int irLength, bool hasIdcode = false, uint32_t idcode = 0, uint32_t idcodeInstruction = 0) {
    JtagDeviceSpec spec;
    spec.irLength = irLength;
    spec.hasIdcode = hasIdcode;
    spec.idcode = idcode;
    spec.idcodeInstruction = idcodeInstruction;
    return spec;
}

// The tool's demo chain, from TDI to TDO.
std::vector<JtagDeviceSpec> demoChain() {
    JtagDeviceSpec first = device(6, true, 0x1234A0F3, 0x09);
    first.hasUsercode = true;
    first.usercode = 0xCAFE0001;
    first.usercodeInstruction = 0x3D;
    JtagDeviceSpec third = device(8, true, 0x2B5C7A2D, 0xFE);
    third.hasMemory = true;
    return {first, device(4), third};
}

Bits bitsOf(uint64_t value, int count) {
    Bits bits;
    for (int i = 0; i < count; ++i) {
        bits.push_back(((value >> i) & 1) != 0);
    }
    return bits;
}

uint64_t valueOf(const Bits& bits, std::size_t from, std::size_t count) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value |= uint64_t{bits.at(from + i)} << i;
    }
    return value;
}

// An adapter on the pins: TCK, TDI and TMS driven by the chip, TRST* from outside.
class Probe {
public:
    explicit Probe(std::vector<JtagDeviceSpec> specs, int trst = -1) {
        sim::JtagPins pins;
        pins.trst = trst;
        chain_ = static_cast<JtagChain*>(
            bus_.peripheral(bus_.addPeripheral(std::make_unique<JtagChain>(bus_.newOwner(), pins, specs))));
        outside_ = bus_.newOwner();
        bus_.setChipPins(pinBit(kTms), pinBit(kTck) | pinBit(kTdi) | pinBit(kTms));
    }

    // One TCK pulse: TMS and TDI change with the falling edge, TDO is taken as the rising
    // edge samples it.
    bool clock(bool tms, bool tdi = false) {
        set(false, tms, tdi);
        const bool tdo = bus_.level(kTdo);
        set(true, tms, tdi);
        return tdo;
    }
    void tms(const std::string& path) {
        for (char c : path) {
            clock(c == '1');
        }
    }
    void reset() { tms("11111"); }
    // From Run-Test/Idle (or Update) through Select to Shift, shifting `in` (the last bit with
    // TMS = 1), then to Run-Test/Idle. The captured bits.
    Bits scan(bool ir, const Bits& in) {
        tms(ir ? "1100" : "100");
        Bits out;
        for (std::size_t i = 0; i < in.size(); ++i) {
            out.push_back(clock(i + 1 == in.size(), in[i]));
        }
        tms("10");
        return out;
    }
    void idle(uint64_t clocks) {
        for (uint64_t i = 0; i < clocks; ++i) {
            clock(false);
        }
    }
    void setTrst(bool high) { bus_.drive(outside_, kTrst, high ? sim::Drive::High : sim::Drive::Low); }
    bool tdoLevel() const { return bus_.level(kTdo); }
    void pins(bool tck, bool tms, bool tdi) { set(tck, tms, tdi); }
    JtagChain& chain() { return *chain_; }
    TapState state(std::size_t index = 0) { return chain_->device(index).state(); }

private:
    void set(bool tck, bool tms, bool tdi) {
        const PinMask values = static_cast<PinMask>((tck ? pinBit(kTck) : 0) | (tms ? pinBit(kTms) : 0) |
                                                    (tdi ? pinBit(kTdi) : 0));
        bus_.setChipPins(values, bus_.chipOutputs());
    }

    PinBus bus_;
    JtagChain* chain_;
    int outside_;
};

// TMS paths from Test-Logic-Reset, written from the state diagram.
struct Path {
    TapState state;
    const char* fromReset;
};
const Path kPaths[] = {
    {TapState::TestLogicReset, ""},  {TapState::RunTestIdle, "0"},   {TapState::SelectDrScan, "01"},
    {TapState::CaptureDr, "010"},    {TapState::ShiftDr, "0100"},    {TapState::Exit1Dr, "0101"},
    {TapState::PauseDr, "01010"},    {TapState::Exit2Dr, "010101"},  {TapState::UpdateDr, "01011"},
    {TapState::SelectIrScan, "011"}, {TapState::CaptureIr, "0110"},  {TapState::ShiftIr, "01100"},
    {TapState::Exit1Ir, "01101"},    {TapState::PauseIr, "011010"},  {TapState::Exit2Ir, "0110101"},
    {TapState::UpdateIr, "011011"},
};

// The IEEE 1149.1 state table: the next state for TMS 0 and TMS 1.
struct Transition {
    TapState from;
    TapState tms0;
    TapState tms1;
};
const Transition kTable[] = {
    {TapState::TestLogicReset, TapState::RunTestIdle, TapState::TestLogicReset},
    {TapState::RunTestIdle, TapState::RunTestIdle, TapState::SelectDrScan},
    {TapState::SelectDrScan, TapState::CaptureDr, TapState::SelectIrScan},
    {TapState::CaptureDr, TapState::ShiftDr, TapState::Exit1Dr},
    {TapState::ShiftDr, TapState::ShiftDr, TapState::Exit1Dr},
    {TapState::Exit1Dr, TapState::PauseDr, TapState::UpdateDr},
    {TapState::PauseDr, TapState::PauseDr, TapState::Exit2Dr},
    {TapState::Exit2Dr, TapState::ShiftDr, TapState::UpdateDr},
    {TapState::UpdateDr, TapState::RunTestIdle, TapState::SelectDrScan},
    {TapState::SelectIrScan, TapState::CaptureIr, TapState::TestLogicReset},
    {TapState::CaptureIr, TapState::ShiftIr, TapState::Exit1Ir},
    {TapState::ShiftIr, TapState::ShiftIr, TapState::Exit1Ir},
    {TapState::Exit1Ir, TapState::PauseIr, TapState::UpdateIr},
    {TapState::PauseIr, TapState::PauseIr, TapState::Exit2Ir},
    {TapState::Exit2Ir, TapState::ShiftIr, TapState::UpdateIr},
    {TapState::UpdateIr, TapState::RunTestIdle, TapState::SelectDrScan},
};

const char* pathTo(TapState state) {
    for (const Path& path : kPaths) {
        if (path.state == state) {
            return path.fromReset;
        }
    }
    return nullptr;
}

TEST(JtagTap, EveryStateMovesByTheTableForBothTmsLevelsInEveryDevice) {
    for (const Transition& row : kTable) {
        for (bool tms : {false, true}) {
            SCOPED_TRACE(std::string(sim::tapStateName(row.from)) + (tms ? " TMS 1" : " TMS 0"));
            Probe probe(demoChain());
            probe.tms(pathTo(row.from));
            ASSERT_EQ(probe.state(), row.from);
            probe.clock(tms);
            for (std::size_t i = 0; i < probe.chain().size(); ++i) {
                EXPECT_EQ(probe.state(i), tms ? row.tms1 : row.tms0) << "device " << i;
            }
        }
    }
}

TEST(JtagTap, FiveClocksWithTmsHighResetFromEveryState) {
    for (const Path& path : kPaths) {
        SCOPED_TRACE(sim::tapStateName(path.state));
        Probe probe({device(4)});
        probe.tms(path.fromReset);
        probe.reset();
        EXPECT_EQ(probe.state(), TapState::TestLogicReset);
    }
}

TEST(JtagChain, ADataScanAfterResetReadsEachIdcodeOrBypassFromTheTdoEnd) {
    Probe probe(demoChain());
    probe.tms("0");
    const Bits marker = bitsOf(0x5A, 8);
    Bits in(65, false);
    in.insert(in.end(), marker.begin(), marker.end());
    const Bits out = probe.scan(false, in);
    EXPECT_EQ(valueOf(out, 0, 32), 0x2B5C7A2Du);  // the device nearest TDO first
    EXPECT_FALSE(out[32]);                          // the bypassed device captures 0
    EXPECT_EQ(valueOf(out, 33, 32), 0x1234A0F3u);
    EXPECT_EQ(valueOf(out, 65, 8), 0x00u);          // what went in at the start comes out last
}

TEST(JtagChain, IrCaptureAndUpdateMoveBitsFromTheTdoEndFirst) {
    Probe probe(demoChain());
    probe.tms("0");
    // 18 bits: device 3 (8) first, then device 2 (4), then device 1 (6).
    const uint64_t instructions = 0xC5u | (0xAu << 8) | (0x3Du << 12);
    const Bits captured = probe.scan(true, bitsOf(instructions, 18));
    EXPECT_EQ(valueOf(captured, 0, 18), 0x01u | (0x1u << 8) | (0x01u << 12));
    EXPECT_EQ(probe.chain().device(0).instruction(), 0x3Du);
    EXPECT_EQ(probe.chain().device(1).instruction(), 0xAu);
    EXPECT_EQ(probe.chain().device(2).instruction(), 0xC5u);
    // USERCODE (32), an unknown instruction as BYPASS (1), the memory's status (8).
    const Bits out = probe.scan(false, Bits(41, false));
    EXPECT_EQ(valueOf(out, 0, 8), 0u);  // not enabled, not busy, no error
    EXPECT_FALSE(out[8]);
    EXPECT_EQ(valueOf(out, 9, 32), 0xCAFE0001u);
}

TEST(JtagChain, ShiftingOnesThenZerosMeasuresTheTotalIrLength) {
    Probe probe(demoChain());
    probe.tms("0");
    Bits in(64, true);
    in.insert(in.end(), 64, false);
    const Bits out = probe.scan(true, in);
    std::size_t firstZero = 64;
    while (firstZero < out.size() && out[firstZero]) {
        ++firstZero;
    }
    EXPECT_EQ(firstZero - 64, 18u);
    for (std::size_t i = 0; i < probe.chain().size(); ++i) {
        EXPECT_EQ(probe.chain().device(i).instruction(), 0u) << "zeros shifted in last";
    }
}

TEST(JtagChain, PauseKeepsTheShiftRegisterAndTdoFloatsOutsideShift) {
    Probe probe({device(5, true, 0x0BA00477, 0x0E)});
    probe.tms("0100");
    Bits out;
    for (int i = 0; i < 12; ++i) {
        out.push_back(probe.clock(i == 11));
    }
    probe.tms("0");  // Pause-DR
    EXPECT_TRUE(probe.tdoLevel()) << "released in Pause-DR";
    probe.tms("10");  // Exit2-DR, Shift-DR
    for (int i = 0; i < 20; ++i) {
        out.push_back(probe.clock(i == 19));
    }
    EXPECT_EQ(valueOf(out, 0, 32), 0x0BA00477u);
}

TEST(JtagChain, TdoChangesOnTheFallingEdgeOnly) {
    Probe probe({device(4)});  // BYPASS after reset: captures 0
    probe.tms("0100");
    EXPECT_TRUE(probe.tdoLevel()) << "the edge into Shift-DR leaves TDO floating";
    probe.pins(false, false, true);
    EXPECT_FALSE(probe.tdoLevel()) << "the falling edge shows the captured 0";
    probe.pins(true, false, true);
    EXPECT_FALSE(probe.tdoLevel()) << "the rising edge shifts but TDO keeps its level";
    probe.pins(false, false, true);
    EXPECT_TRUE(probe.tdoLevel()) << "the next falling edge shows the 1 shifted in";
}

TEST(JtagChain, TrstHoldsEveryDeviceInTestLogicResetAndRestoresIdcode) {
    Probe probe(demoChain(), kTrst);
    probe.setTrst(true);
    probe.tms("0");
    probe.scan(true, Bits(18, false));
    probe.tms("100");
    ASSERT_EQ(probe.state(), TapState::ShiftDr);
    probe.setTrst(false);
    EXPECT_TRUE(probe.tdoLevel());
    probe.idle(3);  // TMS 0 while TRST* is low
    for (std::size_t i = 0; i < probe.chain().size(); ++i) {
        EXPECT_EQ(probe.state(i), TapState::TestLogicReset) << "device " << i;
    }
    EXPECT_EQ(probe.chain().device(0).instruction(), 0x09u);
    EXPECT_EQ(probe.chain().device(1).instruction(), 0xFu);
    EXPECT_EQ(probe.chain().device(2).instruction(), 0xFEu);
    probe.setTrst(true);
    probe.clock(false);
    EXPECT_EQ(probe.state(), TapState::RunTestIdle);
}

// ---- The programmable memory --------------------------------------------------------------

class MemoryProbe : public Probe {
public:
    MemoryProbe() : Probe({memoryDevice()}) { tms("0"); }
    static JtagDeviceSpec memoryDevice() {
        JtagDeviceSpec spec = device(8, true, 0x2B5C7A2D, 0xFE);
        spec.hasMemory = true;
        return spec;
    }
    JtagMemory& memory() { return *chain().device(0).memory(); }
    void instruction(uint32_t value) { scan(true, bitsOf(value, 8)); }
    void program(uint8_t address, uint16_t word) {
        instruction(JtagMemory::kProgram);
        scan(false, bitsOf((uint32_t{word} << 8) | address, 24));
    }
    uint32_t read(uint8_t address) {
        instruction(JtagMemory::kRead);
        scan(false, bitsOf(address, 24));
        return static_cast<uint32_t>(valueOf(scan(false, bitsOf(0, 24)), 0, 24));
    }
    uint32_t status() {
        instruction(JtagMemory::kStatus);
        return static_cast<uint32_t>(valueOf(scan(false, bitsOf(0, 8)), 0, 8));
    }
};

// Clocks from an erase's start to the Update-DR of a program scan right after it: to Run-Test/
// Idle (1), the program instruction's IR scan (14) and the data scan to Update-DR (28).
constexpr uint64_t kEraseToProgramUpdate = 1 + 14 + 28;
// From a program's start to the next program's Update-DR: to Run-Test/Idle (1), IR (14), DR (28).
constexpr uint64_t kProgramToProgramUpdate = 1 + 14 + 28;

struct BusyCase {
    const char* name;
    uint64_t eraseClocks;
    uint64_t programClocks;
    uint64_t waitAfterErase;
    uint64_t waitAfterProgram;
    uint16_t word0;
    uint16_t word1;
    bool error;
};

TEST(JtagMemory, EraseAndProgramAreRefusedWhileBusy) {
    const BusyCase cases[] = {
        {"defaults with the documented waits", 10'000, 100, 10'000, 100, 0x1234, 0x5678, false},
        {"no wait after the erase", 10'000, 100, 0, 100, 0xFFFF, 0xFFFF, true},
        {"no wait after the first program", 10'000, 100, 10'000, 0, 0x1234, 0xFFFF, true},
        {"erase wait exactly long enough", 100, 10, 100 - kEraseToProgramUpdate, 0, 0x1234, 0x5678, false},
        {"erase wait one clock short", 100, 10, 99 - kEraseToProgramUpdate, 0, 0xFFFF, 0x5678, true},
        {"program wait exactly long enough", 0, 50, 0, 50 - kProgramToProgramUpdate, 0x1234, 0x5678, false},
        {"program wait one clock short", 0, 50, 0, 49 - kProgramToProgramUpdate, 0x1234, 0xFFFF, true},
    };
    for (const BusyCase& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryProbe probe;
        probe.memory().setBusyClocks(c.eraseClocks, c.programClocks);
        probe.instruction(JtagMemory::kEnable);
        probe.instruction(JtagMemory::kErase);
        probe.idle(c.waitAfterErase);
        probe.program(0, 0x1234);
        probe.idle(c.waitAfterProgram);
        probe.program(1, 0x5678);
        probe.idle(c.eraseClocks + c.programClocks);
        EXPECT_EQ(probe.memory().words()[0], c.word0);
        EXPECT_EQ(probe.memory().words()[1], c.word1);
        EXPECT_EQ(probe.status(), JtagMemory::kStatusEnabled | (c.error ? JtagMemory::kStatusError : 0));
    }
}

TEST(JtagMemory, StatusShowsBusyUntilTheEraseTimeHasPassed) {
    MemoryProbe probe;
    probe.instruction(JtagMemory::kEnable);
    probe.instruction(JtagMemory::kErase);
    EXPECT_EQ(probe.status() & JtagMemory::kStatusBusy, JtagMemory::kStatusBusy);
    probe.idle(JtagMemory::kDefaultEraseClocks);
    EXPECT_EQ(probe.status(), JtagMemory::kStatusEnabled);
}

TEST(JtagMemory, ProgrammingOnlyClearsBitsAndNeedsEnable) {
    MemoryProbe probe;
    probe.memory().words()[7] = 0x0F0F;
    probe.program(7, 0x0000);  // not enabled: refused
    EXPECT_EQ(probe.memory().words()[7], 0x0F0F);
    EXPECT_EQ(probe.status(), JtagMemory::kStatusError);
    probe.instruction(JtagMemory::kEnable);
    probe.program(7, 0xFF00);
    EXPECT_EQ(probe.memory().words()[7], 0x0F00);
    probe.idle(JtagMemory::kDefaultProgramClocks);
    probe.instruction(JtagMemory::kDisable);
    EXPECT_EQ(probe.status(), 0u);
}

TEST(JtagMemory, ReadCapturesTheAddressTheScanBeforeSet) {
    MemoryProbe probe;
    probe.memory().words()[0x42] = 0xBEEF;
    probe.memory().words()[0xFF] = 0x0102;
    EXPECT_EQ(probe.read(0x42), 0xBEEF42u);
    EXPECT_EQ(probe.read(0xFF), 0x0102FFu);
}

}  // namespace
