// The simulated JTAG chain on a pin bus, driven edge by edge as an adapter would: the TAP state
// table, the registers of a chain and the programmable memory's busy times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>
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

// A fixed pseudo-random TMS stream from Test-Logic-Reset, checked clock by clock against the
// table in every device until each of the 32 transitions has been taken.
TEST(JtagTap, EveryStateMovesByTheTableForBothTmsLevelsInEveryDevice) {
    Probe probe(demoChain());
    TapState expected = TapState::TestLogicReset;
    std::set<std::pair<int, bool>> taken;
    uint32_t seed = 12345;
    for (int clock = 0; clock < 20'000 && taken.size() < 32; ++clock) {
        seed = seed * 1103515245u + 12345u;
        const bool tms = ((seed >> 16) & 1) != 0;
        const Transition* row = std::find_if(std::begin(kTable), std::end(kTable),
                                             [&](const Transition& t) { return t.from == expected; });
        taken.insert({static_cast<int>(expected), tms});
        probe.clock(tms);
        expected = tms ? row->tms1 : row->tms0;
        for (std::size_t i = 0; i < probe.chain().size(); ++i) {
            ASSERT_EQ(probe.state(i), expected) << "device " << i << " after " << sim::tapStateName(row->from)
                                                << " with TMS " << tms;
        }
    }
    EXPECT_EQ(taken.size(), 32u);
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

}  // namespace
