// The simulated chip's pins as wires: resolution, nets, open drain, peripherals, waveform.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pin_bus.h"

namespace {

using sim::Drive;
using sim::PinBus;
using sim::PinMask;
using sim::pinBit;

struct ResolutionCase {
    std::string name;
    bool chipOutput;
    bool chipValue;
    bool openDrain;
    Drive other;
    bool level;
};

std::string caseName(const ::testing::TestParamInfo<ResolutionCase>& info) {
    return info.param.name;
}

class PinResolution : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(PinResolution, AnyLowWinsElseHighOrPullUp) {
    const ResolutionCase& c = GetParam();
    PinBus bus;
    const int other = bus.newOwner();
    bus.setOpenDrain(c.openDrain ? pinBit(5) : 0);
    bus.setChipPins(c.chipValue ? pinBit(5) : 0, c.chipOutput ? pinBit(5) : 0);
    bus.drive(other, 5, c.other);
    EXPECT_EQ(bus.level(5), c.level);
    // Every other pin floats, pulled up.
    EXPECT_EQ(bus.levels() | pinBit(5), 0xFFFF);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PinResolution,
    ::testing::Values(
        ResolutionCase{"NothingDrivesPulledUp", false, true, false, Drive::Released, true},
        ResolutionCase{"ChipInputIgnoresItsValue", false, false, false, Drive::Released, true},
        ResolutionCase{"ChipLow", true, false, false, Drive::Released, false},
        ResolutionCase{"ChipHigh", true, true, false, Drive::Released, true},
        ResolutionCase{"ChipHighOtherLow", true, true, false, Drive::Low, false},
        ResolutionCase{"ChipLowOtherHigh", true, false, false, Drive::High, false},
        ResolutionCase{"ChipInputOtherLow", false, true, false, Drive::Low, false},
        ResolutionCase{"ChipInputOtherHigh", false, false, false, Drive::High, true},
        ResolutionCase{"OpenDrainLowDrives", true, false, true, Drive::Released, false},
        ResolutionCase{"OpenDrainOneFloats", true, true, true, Drive::Released, true},
        ResolutionCase{"OpenDrainOneOtherLow", true, true, true, Drive::Low, false}),
    caseName);

TEST(PinBus, WiredPinsShareOneLevelTransitively) {
    PinBus bus;
    const int other = bus.newOwner();
    bus.connect(1, 2);
    bus.connect(2, 9);
    bus.drive(other, 9, Drive::Low);
    EXPECT_FALSE(bus.level(1));
    EXPECT_FALSE(bus.level(2));
    EXPECT_FALSE(bus.level(9));
    EXPECT_TRUE(bus.level(3));
    bus.drive(other, 9, Drive::Released);
    bus.setChipPins(0, pinBit(1));
    EXPECT_FALSE(bus.level(9));
    bus.setChipPins(pinBit(1), pinBit(1));
    EXPECT_TRUE(bus.level(9));
}

TEST(PinBus, ResetPeripheralsReleasesDrivesButKeepsTheChips) {
    PinBus bus;
    const int other = bus.newOwner();
    bus.setChipPins(0, pinBit(0));
    bus.drive(other, 4, Drive::Low);
    bus.resetPeripherals();
    EXPECT_TRUE(bus.level(4));
    EXPECT_FALSE(bus.level(0));
}

// Answers pin 0 on pin 2, inverted, and counts its calls.
class Inverter : public sim::Peripheral {
public:
    explicit Inverter(PinBus& bus) : owner_(bus.newOwner()) {}
    void onLevels(PinBus& bus, PinMask previous, PinMask now) override {
        calls.push_back({previous, now});
        bus.drive(owner_, 2, (now & pinBit(0)) != 0 ? Drive::Low : Drive::High);
    }
    void reset() override { ++resets; }
    std::vector<std::pair<PinMask, PinMask>> calls;
    int resets = 0;

private:
    int owner_;
};

TEST(PinBus, PeripheralsSeeEveryChangeAndTheirAnswersSettle) {
    PinBus bus;
    auto owned = std::make_unique<Inverter>(bus);
    Inverter* inverter = owned.get();
    EXPECT_EQ(bus.addPeripheral(std::move(owned)), 0u);
    EXPECT_EQ(bus.peripheral(0), inverter);
    EXPECT_EQ(bus.peripheral(1), nullptr);

    bus.setChipPins(0, pinBit(0));
    EXPECT_FALSE(bus.level(0));
    EXPECT_TRUE(bus.level(2));  // driven high, its answer
    bus.setChipPins(1, pinBit(0));
    EXPECT_FALSE(bus.level(2));
    // Each change first (pin 0), then the answer (pin 2), each with the levels before.
    ASSERT_EQ(inverter->calls.size(), 3u);
    EXPECT_EQ(inverter->calls[0], std::make_pair(PinMask{0xFFFF}, PinMask{0xFFFE}));
    EXPECT_EQ(inverter->calls[1], std::make_pair(PinMask{0xFFFE}, PinMask{0xFFFF}));
    EXPECT_EQ(inverter->calls[2], std::make_pair(PinMask{0xFFFF}, PinMask{0xFFFB}));
    bus.resetPeripherals();
    EXPECT_EQ(inverter->resets, 1);
}

// Drives pin 0 to the opposite of what it shows: never stable.
class Oscillator : public sim::Peripheral {
public:
    explicit Oscillator(PinBus& bus) : owner_(bus.newOwner()) {}
    void onLevels(PinBus& bus, PinMask, PinMask now) override {
        ++calls;
        bus.drive(owner_, 4, (now & pinBit(4)) != 0 ? Drive::Low : Drive::Released);
    }
    int calls = 0;

private:
    int owner_;
};

TEST(PinBus, AnOscillationStopsAfterABoundedNumberOfRounds) {
    PinBus bus;
    auto owned = std::make_unique<Oscillator>(bus);
    Oscillator* oscillator = owned.get();
    bus.addPeripheral(std::move(owned));
    bus.setChipPins(0, pinBit(0));
    EXPECT_GT(oscillator->calls, 1);
    EXPECT_LE(oscillator->calls, 16);
}

TEST(PinBus, WaveformAsVcd) {
    PinBus bus;
    bus.setPinName(1, "SDA");
    bus.advance(5);
    bus.setRecording(true);
    bus.advance(10);
    bus.setChipPins(0, pinBit(0));  // AD0 low at 15
    bus.advance(10);
    bus.setChipPins(0, pinBit(0) | pinBit(1));  // SDA low at 25
    bus.setChipPins(pinBit(1), pinBit(0) | pinBit(1));  // and back at 25: no entry
    bus.setChipPins(0, pinBit(0) | pinBit(1) | pinBit(9));  // SDA, AC1 low at 25
    bus.advance(10);
    bus.setChipPins(pinBit(0), pinBit(0));  // all high again at 35
    std::size_t dropped = 99;
    EXPECT_EQ(bus.waveformVcd(&dropped),
              "$timescale 1ns $end\n"
              "$scope module ftdi $end\n"
              "$var wire 1 ! AD0 $end\n"
              "$var wire 1 \" SDA $end\n"
              "$var wire 1 * AC1 $end\n"
              "$upscope $end\n"
              "$enddefinitions $end\n"
              "#5\n$dumpvars\n1!\n1\"\n1*\n$end\n"
              "#15\n0!\n"
              "#25\n0\"\n0*\n"
              "#35\n1!\n1\"\n1*\n");
    EXPECT_EQ(dropped, 0u);
}

TEST(PinBus, WaveformKeepsAtMostTheBoundAndCountsTheRest) {
    PinBus bus;
    bus.setRecording(true, 2);
    for (int step = 0; step < 5; ++step) {
        bus.advance(1);
        bus.setChipPins(static_cast<PinMask>(step % 2), 1);
    }
    std::size_t dropped = 0;
    const std::string vcd = bus.waveformVcd(&dropped);
    EXPECT_EQ(dropped, 3u);
    EXPECT_NE(vcd.find("#2\n"), std::string::npos);
    EXPECT_EQ(vcd.find("#3\n"), std::string::npos);
    bus.clearWaveform();
    bus.waveformVcd(&dropped);
    EXPECT_EQ(dropped, 0u);
}

TEST(PinBus, NothingIsRecordedUntilAsked) {
    PinBus bus;
    bus.advance(3);
    bus.setChipPins(0, 1);
    EXPECT_EQ(bus.waveformVcd().find("$var"), std::string::npos);
    bus.setRecording(true);
    bus.setRecording(false);
    bus.advance(3);
    bus.setChipPins(1, 1);
    EXPECT_EQ(bus.waveformVcd().find("$var"), std::string::npos);
}

}  // namespace
