// The simulated chip's pins as wires: resolution, nets, open drain, peripherals, waveform.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pin_bus.h"

namespace {

using sim::Drive;
using sim::PinBus;
using sim::PinMask;
using sim::pinBit;

// Any low drive wins, else a high drive or the pull-up; an open-drain 1 and an input's value
// drive nothing.
TEST(PinBus, AnyLowWinsElseHighOrPullUp) {
    const struct { bool chipOutput, chipValue, openDrain; Drive other; bool level; } cases[] = {
        {false, false, false, Drive::Released, true}, {true, false, false, Drive::Released, false},
        {true, true, false, Drive::Released, true},   {true, true, false, Drive::Low, false},
        {true, false, false, Drive::High, false},     {false, true, false, Drive::Low, false},
        {true, false, true, Drive::Released, false},  {true, true, true, Drive::Released, true}};
    for (const auto& c : cases) {
        PinBus bus;
        const int other = bus.newOwner();
        bus.setOpenDrain(c.openDrain ? pinBit(5) : 0);
        bus.setChipPins(c.chipValue ? pinBit(5) : 0, c.chipOutput ? pinBit(5) : 0);
        bus.drive(other, 5, c.other);
        const int row = static_cast<int>(&c - cases);
        EXPECT_EQ(bus.level(5), c.level) << "row " << row;
        EXPECT_EQ(bus.levels() | pinBit(5), 0xFFFF) << "row " << row;  // the others pulled up
    }
}

TEST(PinBus, WiredPinsShareOneLevelTransitively) {
    PinBus bus;
    const int other = bus.newOwner();
    bus.connect(1, 2);
    bus.connect(2, 9);
    bus.drive(other, 9, Drive::Low);
    EXPECT_EQ(bus.levels(), static_cast<PinMask>(~(pinBit(1) | pinBit(2) | pinBit(9))));
    bus.drive(other, 9, Drive::Released);
    bus.setChipPins(0, pinBit(1));
    EXPECT_FALSE(bus.level(9));
    bus.setChipPins(pinBit(1), pinBit(1));
    EXPECT_TRUE(bus.level(9));
}

// Answers every change on one pin with what `answer` makes of the levels; records its calls.
class Responder : public sim::Peripheral {
public:
    Responder(PinBus& bus, int pin, std::function<Drive(PinMask)> answer)
        : owner_(bus.newOwner()), pin_(pin), answer_(std::move(answer)) {}
    void onLevels(PinBus& bus, PinMask previous, PinMask now) override {
        calls.emplace_back(previous, now);
        bus.drive(owner_, pin_, answer_(now));
    }
    void reset() override { ++resets; }
    std::vector<std::pair<PinMask, PinMask>> calls;
    int resets = 0;

private:
    int owner_, pin_;
    std::function<Drive(PinMask)> answer_;
};

Responder* addResponder(PinBus& bus, int pin, std::function<Drive(PinMask)> answer) {
    auto owned = std::make_unique<Responder>(bus, pin, std::move(answer));
    Responder* responder = owned.get();
    EXPECT_EQ(bus.peripheral(bus.addPeripheral(std::move(owned))), responder);
    return responder;
}

// Each change reaches the peripherals with the levels before it, their answers settle, and a
// reset of the peripherals releases every drive but the chip's.
TEST(PinBus, PeripheralsSeeEveryChangeAndTheirAnswersSettle) {
    PinBus bus;
    Responder* inverter = addResponder(bus, 2, [](PinMask now) { return now & pinBit(0) ? Drive::Low : Drive::High; });
    bus.setChipPins(0, pinBit(0));
    EXPECT_FALSE(bus.level(0));
    EXPECT_TRUE(bus.level(2));
    bus.setChipPins(1, pinBit(0));
    EXPECT_FALSE(bus.level(2));
    using Call = std::pair<PinMask, PinMask>;
    EXPECT_EQ(inverter->calls, (std::vector<Call>{{0xFFFF, 0xFFFE}, {0xFFFE, 0xFFFF}, {0xFFFF, 0xFFFB}}));

    bus.drive(bus.newOwner(), 4, Drive::Low);
    bus.setChipPins(0, pinBit(0));
    bus.resetPeripherals();
    EXPECT_EQ(inverter->resets, 1);
    EXPECT_TRUE(bus.level(4));
    EXPECT_FALSE(bus.level(0));
}

TEST(PinBus, AnOscillationStopsAfterABoundedNumberOfRounds) {
    PinBus bus;
    // Drives pin 4 to the opposite of what it shows: never stable.
    Responder* oscillator = addResponder(bus, 4, [](PinMask now) { return now & pinBit(4) ? Drive::Low : Drive::Released; });
    bus.setChipPins(0, pinBit(0));
    EXPECT_GT(oscillator->calls.size(), 1u);
    EXPECT_LE(oscillator->calls.size(), 16u);
}

// Only named or changed pins; changes at one time merged, those back where they were dropped;
// the record ends at the present time.
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
    bus.advance(5);
    std::size_t dropped = 99;
    EXPECT_EQ(bus.waveformVcd(&dropped),
              "$timescale 1ns $end\n$scope module ftdi $end\n"
              "$var wire 1 ! AD0 $end\n$var wire 1 \" SDA $end\n$var wire 1 * AC1 $end\n"
              "$upscope $end\n$enddefinitions $end\n"
              "#5\n$dumpvars\n1!\n1\"\n1*\n$end\n"
              "#15\n0!\n#25\n0\"\n0*\n#35\n1!\n1\"\n1*\n#40\n");
    EXPECT_EQ(dropped, 0u);
}

// A change at the time recording starts is kept: the start shows the levels before it, the
// change follows 1 ns later, and a pin whose only change it was is in the record.
TEST(PinBus, WaveformKeepsAChangeAtItsStart) {
    for (const uint64_t start : {uint64_t{0}, uint64_t{7}}) {
        SCOPED_TRACE(start);
        PinBus bus;
        bus.setChipPins(pinBit(3), pinBit(3));
        bus.advance(start);
        bus.setRecording(true);
        bus.setChipPins(0, pinBit(3));  // AD3 low at the start
        bus.advance(20);
        bus.setChipPins(0, pinBit(3) | pinBit(0));  // AD0 low 20 ns later
        bus.advance(5);
        const std::string t = std::to_string(start);
        EXPECT_EQ(bus.waveformVcd(),
                  "$timescale 1ns $end\n$scope module ftdi $end\n"
                  "$var wire 1 ! AD0 $end\n$var wire 1 $ AD3 $end\n$upscope $end\n$enddefinitions $end\n"
                  "#" + t + "\n$dumpvars\n1!\n1$\n$end\n#" + std::to_string(start + 1) + "\n0$\n#" +
                      std::to_string(start + 20) + "\n0!\n#" + std::to_string(start + 25) + "\n");
    }
}

// Nothing is recorded until asked or after stopping; at most the bound is kept, the rest counted.
TEST(PinBus, WaveformRecordsOnlyWhenAskedAndUpToTheBound) {
    PinBus bus;
    bus.advance(3);
    bus.setChipPins(0, 1);
    EXPECT_EQ(bus.waveformVcd().find("$var"), std::string::npos);
    bus.setRecording(true);
    bus.setRecording(false);
    bus.advance(3);
    bus.setChipPins(1, 1);
    EXPECT_EQ(bus.waveformVcd().find("$var"), std::string::npos);

    bus.setRecording(true, 2);
    for (int step = 0; step < 5; ++step) {
        bus.advance(1);
        bus.setChipPins(static_cast<PinMask>(step % 2), 1);
    }
    std::size_t dropped = 0;
    const std::string vcd = bus.waveformVcd(&dropped);
    EXPECT_EQ(dropped, 3u);
    EXPECT_NE(vcd.find("#8\n"), std::string::npos);
    EXPECT_EQ(vcd.find("#9\n"), std::string::npos);
    bus.clearWaveform();
    bus.waveformVcd(&dropped);
    EXPECT_EQ(dropped, 0u);
}

}  // namespace
