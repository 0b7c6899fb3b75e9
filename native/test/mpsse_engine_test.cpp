// The MPSSE engine driven directly on a pin bus, with a probe standing in for the peripherals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "chip_kind.h"
#include "mpsse_engine.h"
#include "pin_bus.h"

namespace {

using sim::Drive;
using sim::PinBus;
using sim::PinMask;
using sim::pinBit;
using Bytes = std::vector<uint8_t>;

constexpr int kTck = 0, kTdi = 1, kTdo = 2, kTms = 3, kGpiol1 = 5, kRtck = 7;

Drive levelDrive(bool high) { return high ? Drive::High : Drive::Low; }
template <typename T>
uint8_t u8(T value) { return static_cast<uint8_t>(value); }

// What TDO shows after clock edge k (0-based).
bool tdoAfterEdge(std::size_t k) { return ((0x9A6C35E1u >> (k % 32)) & 1u) != 0; }

// Records clock edges with the TDI, TMS and TDO levels they met, and TDI and TMS changes;
// answers each edge with the next TDO level of a pattern, may echo TCK on RTCK, and may drive GPIOL1
// after a number of rising edges.
class Probe : public sim::Peripheral {
public:
    struct Edge { bool rising; uint64_t time; bool tdi; bool tms; bool tdo; };
    explicit Probe(PinBus& bus) : owner(bus.newOwner()) {}
    void onLevels(PinBus& bus, PinMask previous, PinMask now) override {
        const auto changed = [&](int pin) { return ((previous ^ now) & pinBit(pin)) != 0; };
        const auto high = [&](int pin) { return (now & pinBit(pin)) != 0; };
        if (changed(kTck)) {
            edges.push_back({high(kTck), bus.nowNanos(), high(kTdi), high(kTms), high(kTdo)});
            if (answerTdo) { bus.drive(owner, kTdo, levelDrive(tdoAfterEdge(edges.size() - 1))); }
            if (echoRtck) { bus.drive(owner, kRtck, levelDrive(high(kTck))); }
            if (high(kTck) && ++rising == gpiol1AfterRising) { bus.drive(owner, kGpiol1, levelDrive(gpiol1Level)); }
        }
        if (changed(kTdi)) { tdiChanges.push_back(bus.nowNanos()); }
        if (changed(kTms)) { tmsChanges.push_back(bus.nowNanos()); }
    }
    void clear() { edges.clear(); tdiChanges.clear(); tmsChanges.clear(); }

    int owner;
    std::vector<Edge> edges;
    std::vector<uint64_t> tdiChanges, tmsChanges;  // times
    bool answerTdo = true, echoRtck = false, gpiol1Level = true;
    uint64_t rising = 0, gpiol1AfterRising = 0;  // 0: never
};

// An engine of one chip kind on its own bus with a probe, after `setup` has run.
struct Rig {
    explicit Rig(uint32_t type = sim::kType232H, const Bytes& setup = {}) : engine(sim::chipKind(type), bus) {
        auto owned = std::make_unique<Probe>(bus);
        probe = owned.get();
        bus.addPeripheral(std::move(owned));
        run(setup);
        probe->clear();
    }
    Bytes run(const Bytes& bytes) { Bytes replies; engine.write(bytes.data(), bytes.size(), replies); return replies; }
    Bytes pinsChanged() { Bytes replies; engine.pinsChanged(replies); return replies; }
    void drive(int pin, Drive drive) { bus.drive(script, pin, drive); }

    PinBus bus;
    sim::MpsseEngine engine;
    int script = bus.newOwner();
    Probe* probe = nullptr;
};

const Bytes kClockOut{0x80, 0x00, 0x0B};  // TCK idle low, TCK/TDI/TMS outputs

enum class Edge { None, Rising, Falling };
constexpr Edge N = Edge::None, R = Edge::Rising, F = Edge::Falling;

// The data-shifting and TMS opcodes as the documented tables give them, not derived from bits.
struct ShiftCase { uint8_t opcode; bool tms, bits, msbFirst; Edge out, in; };
std::vector<ShiftCase> shiftCases() {
    const Edge columns[6][2] = {{R, N}, {F, N}, {N, R}, {N, F}, {F, R}, {R, F}};
    const struct { bool bits, msbFirst; uint8_t opcodes[6]; } rows[] = {
        {false, true, {0x10, 0x11, 0x20, 0x24, 0x31, 0x34}}, {true, true, {0x12, 0x13, 0x22, 0x26, 0x33, 0x36}},
        {false, false, {0x18, 0x19, 0x28, 0x2C, 0x39, 0x3C}}, {true, false, {0x1A, 0x1B, 0x2A, 0x2E, 0x3B, 0x3E}}};
    std::vector<ShiftCase> cases;
    for (const auto& row : rows) {
        for (int col = 0; col < 6; ++col) {
            cases.push_back({row.opcodes[col], false, row.bits, row.msbFirst, columns[col][0], columns[col][1]});
        }
    }
    // TMS edges as the flag bits and the text give them (the table that swaps 0x6B/0x6E is wrong).
    for (const auto& tms : {std::tuple<uint8_t, Edge, Edge>{0x4A, R, N}, {0x4B, F, N}, {0x6A, R, R},
                            {0x6B, F, R}, {0x6E, R, F}, {0x6F, F, F}}) {
        cases.push_back({std::get<0>(tms), true, true, false, std::get<1>(tms), std::get<2>(tms)});
    }
    return cases;
}

// Bits read packed as replies: MSB first fills up to bit 0, LSB first down to bit 7.
Bytes packed(const std::vector<bool>& bits, std::size_t perByte, bool msbFirst) {
    Bytes bytes;
    for (std::size_t at = 0; at < bits.size(); at += perByte) {
        unsigned value = 0;
        for (std::size_t i = 0; i < perByte; ++i) {
            value |= unsigned{bits[at + i]} << (msbFirst ? perByte - 1 - i : 8 - perByte + i);
        }
        bytes.push_back(u8(value));
    }
    return bytes;
}

class Shift : public ::testing::TestWithParam<std::tuple<ShiftCase, bool>> {};

// Each bit is valid at the edge that is not its output edge, the pin changes only at output
// edges (or before the first), TDO is read at the input edge as it was before the probe
// answered that edge, and the clock pulses from its idle level and returns there. TMS shifts put bit 7 on TDI before the first edge and hold it.
TEST_P(Shift, BitsLeaveAndArriveAtTheirEdgesInTheirOrder) {
    const ShiftCase& c = std::get<0>(GetParam());
    const bool idleHigh = std::get<1>(GetParam());
    const Bytes data = c.tms ? Bytes{u8(idleHigh ? 0x3A : 0x85)} : c.bits ? Bytes{0xB4} : Bytes{0xA6, 0x1D};
    const bool bit7 = (data[0] & 0x80) != 0;
    Rig rig(sim::kType232H, {0x80, u8((idleHigh ? 0x01 : 0) | (c.tms && !bit7 ? 0x02 : 0)), 0x0B});
    const std::size_t pulses = c.tms ? 6 : c.bits ? 5 : 16;
    Bytes command = c.bits ? Bytes{c.opcode, u8(pulses - 1)} : Bytes{c.opcode, 0x01, 0x00};
    if (c.out != N) { command.insert(command.end(), data.begin(), data.end()); }
    const Bytes replies = rig.run(command);

    const Probe& p = *rig.probe;
    std::vector<bool> read;
    ASSERT_EQ(p.edges.size(), 2 * pulses);
    for (std::size_t i = 0; i < pulses; ++i) {
        const Probe::Edge& first = p.edges[2 * i];
        const Probe::Edge& second = p.edges[2 * i + 1];
        ASSERT_TRUE(first.rising != idleHigh && second.rising == idleHigh && first.time < second.time) << i;
        const bool sent = ((unsigned{data[i / 8]} >> (c.msbFirst ? 7 - i % 8 : i % 8)) & 1u) != 0;
        const Probe::Edge& held = (c.out == R) == first.rising ? second : first;
        if (c.out != N) { EXPECT_EQ(c.tms ? held.tms : held.tdi, sent) << "bit " << i; }
        if (c.in != N) { read.push_back(((c.in == R) == first.rising ? first : second).tdo); }
        if (c.tms) { EXPECT_TRUE(first.tdi == bit7 && second.tdi == bit7) << i; }
    }
    for (const uint64_t change : c.tms ? p.tmsChanges : p.tdiChanges) {
        bool atOutputEdge = change < p.edges[0].time;
        for (const Probe::Edge& edge : p.edges) { atOutputEdge |= edge.time == change && edge.rising == (c.out == R); }
        EXPECT_TRUE(atOutputEdge) << "change at " << change;
    }
    if (c.tms) { EXPECT_EQ(p.tdiChanges.size(), 1u); }
    if (c.out == N) { EXPECT_TRUE(p.tdiChanges.empty()); }
    EXPECT_EQ(rig.bus.level(kTck), idleHigh);
    EXPECT_EQ(replies, c.in == N ? Bytes{} : packed(read, c.bits ? pulses : 8, c.msbFirst));
}

INSTANTIATE_TEST_SUITE_P(Table, Shift, ::testing::Combine(::testing::ValuesIn(shiftCases()), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<ShiftCase, bool>>& p) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Op%02X%s", std::get<0>(p.param).opcode,
                                           std::get<1>(p.param) ? "IdleHigh" : "IdleLow");
                             return std::string(name);
                         });

TEST(MpsseEngine, ThreePhaseHoldsDataAcrossBothEdges) {
    Rig rig(sim::kType232H, {0x8C, 0x80, 0x00, 0x0B});
    rig.run({0x13, 0x07, 0x5A});  // out on the falling edge, were it not for three-phase
    ASSERT_EQ(rig.probe->edges.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(rig.probe->edges[i].tdi, ((0x5Au >> (7 - i / 2)) & 1u) != 0) << i;
    }
    for (const uint64_t change : rig.probe->tdiChanges) {
        for (const Probe::Edge& edge : rig.probe->edges) { EXPECT_NE(change, edge.time); }
    }
}

// Three-phase clocking samples after the edge's answers: each input edge reads what the probe
// answered to it. Opcodes reading on the rising edge and on the falling edge.
TEST(MpsseEngine, ThreePhaseSamplesAfterTheEdgesAnswer) {
    for (const uint8_t opcode : {uint8_t{0x20}, uint8_t{0x24}, uint8_t{0x28}, uint8_t{0x2C}}) {
        Rig rig(sim::kType232H, {0x8C, 0x80, 0x00, 0x0B});
        const Bytes replies = rig.run({opcode, 0x00, 0x00});
        ASSERT_EQ(rig.probe->edges.size(), 16u);
        std::vector<bool> read;
        for (std::size_t i = 0; i < 8; ++i) { read.push_back(tdoAfterEdge((opcode & 0x04) != 0 ? 2 * i + 1 : 2 * i)); }
        EXPECT_EQ(replies, packed(read, 8, (opcode & 0x08) == 0)) << int{opcode};
    }
}

// Duplex with loopback returns what went out: 1..8 bits, 1..65536 bytes. Partial bytes: MSB
// first sends bits 7.. and fills from bit 0, LSB first sends bits 0.. and fills down to bit 7.
TEST(MpsseEngine, LengthsOfBitsAndBytes) {
    std::vector<std::tuple<Bytes, Bytes, std::size_t>> cases;  // command, replies, pulses
    for (unsigned bits = 1; bits <= 8; ++bits) {
        cases.push_back({{0x33, u8(bits - 1), 0xC5}, {u8(0xC5u >> (8 - bits))}, bits});
        cases.push_back({{0x3B, u8(bits - 1), 0xC5}, {u8(0xC5u << (8 - bits))}, bits});
    }
    for (const unsigned encoded : {0x0000u, 0x0001u, 0xFFFFu}) {
        Bytes data;
        for (std::size_t i = 0; i <= encoded; ++i) { data.push_back(u8(i * 7 + (i >> 8))); }
        Bytes command{0x31, u8(encoded & 0xFF), u8(encoded >> 8)};
        command.insert(command.end(), data.begin(), data.end());
        cases.push_back({command, data, data.size() * 8});
    }
    for (const auto& [command, replies, pulses] : cases) {
        Rig rig(sim::kType232H, {0x84, 0x80, 0x00, 0x0B});
        rig.probe->answerTdo = false;
        EXPECT_EQ(rig.run(command), replies) << int{command[0]} << " length " << pulses;
        EXPECT_EQ(rig.probe->edges.size(), 2 * pulses);
        EXPECT_FALSE(rig.engine.waiting());
    }
}

// Every command at once, then split in two at each byte: same replies, same pins, same time.
TEST(MpsseEngine, ACommandSplitAcrossWritesAtAnyByteRunsTheSame) {
    const Bytes stream{0x80, 0x08, 0x0B, 0x82, 0x5A, 0xFF, 0x86, 0x02, 0x00, 0x8A, 0x84,
                       0x39, 0x02, 0x00, 0x11, 0x22, 0x33, 0x3B, 0x04, 0xB4, 0x6B, 0x05, 0x9C,
                       0x8E, 0x03, 0x8F, 0x01, 0x00, 0x85, 0x81, 0x83, 0xAA, 0x87, 0x22, 0x07};
    Rig whole;
    const Bytes expected = whole.run(stream);
    ASSERT_FALSE(expected.empty());
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        Rig rig;
        Bytes replies;
        rig.engine.write(stream.data(), split, replies);
        rig.engine.write(stream.data() + split, stream.size() - split, replies);
        EXPECT_EQ(replies, expected) << "split at " << split;
        EXPECT_EQ(rig.bus.nowNanos(), whole.bus.nowNanos()) << "split at " << split;
        EXPECT_EQ(rig.probe->edges.size(), whole.probe->edges.size()) << "split at " << split;
        EXPECT_EQ(rig.bus.levels(), whole.bus.levels()) << "split at " << split;
    }
}

// Outputs drive their values, inputs show what others drive or the pull-up. On the high byte
// only the chip's GPIOH pins exist: the others read 0 and no output reaches them.
TEST(MpsseEngine, GpioWritesDriveOutputsAndReadsShowLevels) {
    Rig rig;
    rig.probe->answerTdo = false;
    rig.drive(6, Drive::Low);
    EXPECT_EQ(rig.run({0x80, 0x05, 0x0F, 0x81}), Bytes{0xB5});
    EXPECT_EQ(rig.run({0x80, 0x00, 0x00, 0x81}), Bytes{0xBF});
    for (const auto& c : {std::tuple<uint32_t, uint8_t, PinMask>{sim::kType232H, 0x0F, 0x0F00},
                          {sim::kType2232C, 0x0F, 0xFF00}, {sim::kType4232H, 0x00, 0xFF00}}) {
        Rig chip(std::get<0>(c));
        EXPECT_EQ(chip.run({0x82, 0x0F, 0xF0, 0x83}), Bytes{std::get<1>(c)}) << std::get<0>(c);
        EXPECT_EQ(chip.bus.levels() & 0xFF00, std::get<2>(c)) << std::get<0>(c);
    }
}

// Only opcodes with bit 7 set answer 0xFA and the opcode; a bad opcode is one byte, the next
// byte a command of its own (0x81 reads the pins: 0xF4 with TCK, TDI, TMS low).
TEST(MpsseEngine, BadCommands) {
    const struct { uint32_t type; Bytes command, replies; } cases[] = {
        {sim::kType232H, {0xAA, 0x81}, {0xFA, 0xAA, 0xF4}},
        {sim::kType232H, {0x98}, {0xFA, 0x98}},                         // early name of 0x9C
        {sim::kType232H, {0x90, 0x81}, {0xFA, 0x90, 0xF4}},             // MCU read outside MCU mode
        {sim::kType2232C, {0x8E, 0x81}, {0xFA, 0x8E, 0xF4}},            // H-series only
        {sim::kType2232C, {0x96}, {0xFA, 0x96}},
        {sim::kType2232H, {0x9E, 0x81}, {0xFA, 0x9E, 0xF4}},            // FT232H only
        {sim::kType232H, {0x9E, 0x01, 0x00}, {}},
        {sim::kType232H, {0x30, 0x81}, {0xF4}},                         // removed: taken silently
        {sim::kType232H, {0x35}, {}}, {sim::kType232H, {0x00}, {}}, {sim::kType232H, {0x4E}, {}}};
    for (const auto& c : cases) {
        Rig rig(c.type, kClockOut);
        EXPECT_EQ(rig.run(c.command), c.replies) << int{c.command[0]};
        EXPECT_FALSE(rig.engine.waiting());
    }
}

// 0x88/0x89 hold every byte after them until GPIOL1 gets there, and so do 0x94/0x95 when no
// peripheral takes it there (without clocking on); at the level already, they go on at once.
// A reset ends a wait and drops what it held.
TEST(MpsseEngine, WaitOnGpiol1) {
    for (const uint8_t opcode : {uint8_t{0x88}, uint8_t{0x89}, uint8_t{0x94}, uint8_t{0x95}}) {
        SCOPED_TRACE(int{opcode});
        const bool until = (opcode & 1) == 0;
        Rig rig(sim::kType232H, kClockOut);
        rig.drive(kGpiol1, levelDrive(!until));
        EXPECT_TRUE(rig.run({opcode, 0x81}).empty());
        EXPECT_TRUE(rig.engine.waiting());
        EXPECT_TRUE(rig.run({0x81, 0x8A}).empty());
        EXPECT_TRUE(rig.pinsChanged().empty());
        const std::size_t edges = rig.probe->edges.size();
        rig.drive(kGpiol1, levelDrive(until));
        const uint8_t levels = u8(rig.bus.levels());
        EXPECT_EQ(rig.pinsChanged(), (Bytes{levels, levels}));
        EXPECT_FALSE(rig.engine.waiting());
        EXPECT_EQ(rig.probe->edges.size(), edges);
        EXPECT_EQ(rig.run({opcode, 0x81}).size(), 1u);
        EXPECT_EQ(rig.probe->edges.size(), edges);

        rig.drive(kGpiol1, levelDrive(!until));
        rig.run({opcode, 0x81});
        rig.engine.reset();
        EXPECT_FALSE(rig.engine.waiting());
        rig.drive(kGpiol1, levelDrive(until));
        EXPECT_TRUE(rig.pinsChanged().empty());
        EXPECT_EQ(rig.run({0x81}).size(), 1u);
    }
}

// Loopback reads TDI instead of the TDO pin. A reset restores the defaults (divisor 0,
// divide-by-5 on, two-phase, loopback off, no drive-zero pins) and keeps the pins.
TEST(MpsseEngine, LoopbackAndReset) {
    Rig rig;
    rig.probe->answerTdo = false;
    rig.drive(kTdo, Drive::Low);
    rig.run({0x80, 0x02, 0x0B});  // TDI high
    EXPECT_EQ(rig.run({0x20, 0x00, 0x00, 0x84, 0x20, 0x00, 0x00, 0x85, 0x20, 0x00, 0x00}), (Bytes{0x00, 0xFF, 0x00}));
    rig.run({0x8A, 0x8C, 0x84, 0x86, 0x05, 0x00, 0x9E, 0x07, 0x01});
    EXPECT_EQ(rig.bus.openDrain(), 0x0107);
    rig.engine.reset();
    EXPECT_EQ(rig.bus.openDrain(), 0);
    EXPECT_EQ(rig.bus.chipValues(), 0x02);
    const uint64_t start = rig.bus.nowNanos();
    EXPECT_EQ(rig.run({0x20, 0x00, 0x00}), Bytes{0x00});
    EXPECT_EQ(rig.bus.nowNanos() - start, 1333u);  // 8 clocks at 6 MHz
}

// f = base / ((1 + divisor) * 2); a bit is a period, 1.5 periods three-phase; a command that
// does not clock takes half a period.
TEST(MpsseEngine, SimulatedTimeOfACommand) {
    const Bytes div2At60{0x8A, 0x86, 0x02, 0x00};
    const struct { uint32_t type; Bytes setup, command; uint64_t nanos; } cases[] = {
        {sim::kType232H, {}, {0x8F, 0x02, 0x00}, 4000},                             // 24 clocks at 6 MHz
        {sim::kType232H, div2At60, {0x39, 0x00, 0x00, 0x5A}, 800},                  // a byte at 10 MHz
        {sim::kType232H, div2At60, {0x4A, 0x05, 0x00}, 600},                        // six TMS bits
        {sim::kType232H, div2At60, {0x80, 0x00, 0x0B}, 50},
        {sim::kType232H, {0x8A, 0x8C}, {0x8E, 0x05}, 300},                          // 6 three-phase clocks
        {sim::kType232H, {0x8A, 0x8C, 0x86, 0xC7, 0x00}, {0x11, 0x00, 0x00, 0x55}, 80000},  // I2C 100 kHz
        {sim::kType232H, {0x8A, 0x86, 0xFF, 0xFF}, {0x8E, 0x02}, 6553600},          // slowest
        {sim::kType232H, {0x8A, 0x8B, 0x86, 0x02, 0x00}, {0x8F, 0x00, 0x00}, 4000}, // divide-by-5 back on
        {sim::kType2232C, {0x86, 0x05, 0x00}, {0x20, 0x00, 0x00}, 8000}};           // 1 MHz
    for (const auto& c : cases) {
        Rig rig(c.type, kClockOut);
        rig.run(c.setup);
        const uint64_t start = rig.bus.nowNanos();
        rig.run(c.command);
        EXPECT_EQ(rig.bus.nowNanos() - start, c.nanos) << int{c.command[0]};
    }
}

TEST(MpsseEngine, ClockingStopsWhenGpiol1GetsThere) {
    const struct { Bytes command; bool level; uint64_t after; std::size_t pulses; } cases[] = {
        {{0x9C, 0x01, 0x00}, true, 5, 5}, {{0x9D, 0x01, 0x00}, false, 3, 3}, {{0x8F, 0x01, 0x00}, true, 5, 16},
        {{0x94}, true, 300, 300}, {{0x95}, false, 9, 9}, {{0x9C, 0x00, 0x00}, true, 20, 8}};
    for (const auto& c : cases) {
        Rig rig(sim::kType232H, kClockOut);
        rig.bus.drive(rig.probe->owner, kGpiol1, levelDrive(!c.level));
        rig.probe->gpiol1AfterRising = c.after;
        rig.probe->gpiol1Level = c.level;
        Bytes command = c.command;
        command.push_back(0x81);
        EXPECT_EQ(rig.run(command).size(), 1u) << int{c.command[0]};
        EXPECT_EQ(rig.probe->edges.size(), 2 * c.pulses) << int{c.command[0]};
    }
}

TEST(MpsseEngine, AdaptiveClockingWaitsForRtckToFollow) {
    Rig rig(sim::kType232H, {0x80, 0x00, 0x0B, 0x96});
    // Something echoes TCK on RTCK: the clocks run through.
    rig.probe->echoRtck = true;
    EXPECT_EQ(rig.run({0x8E, 0x03, 0x81}).size(), 1u);
    EXPECT_EQ(rig.probe->edges.size(), 8u);
    // Else each edge waits for RTCK to show its level (pulled up: high), with every byte after it.
    rig.probe->echoRtck = false;
    rig.bus.resetPeripherals();
    rig.probe->clear();
    EXPECT_TRUE(rig.run({0x8E, 0x01, 0x81}).empty());
    for (const auto& [rtck, edges] : {std::pair{Drive::Released, 2u}, {Drive::Low, 3u}, {Drive::Released, 4u}}) {
        rig.drive(kRtck, rtck);
        EXPECT_TRUE(rig.pinsChanged().empty());
        EXPECT_EQ(rig.probe->edges.size(), edges);
        EXPECT_TRUE(rig.engine.waiting());
    }
    rig.drive(kRtck, Drive::Low);
    EXPECT_EQ(rig.pinsChanged().size(), 1u);
    EXPECT_FALSE(rig.engine.waiting());
    // A reset frees an engine stuck on RTCK.
    rig.drive(kRtck, Drive::Released);
    rig.run({0x96, 0x8E, 0x00, 0x81});
    EXPECT_TRUE(rig.engine.waiting());
    rig.engine.reset();
    EXPECT_FALSE(rig.engine.waiting());
}

}  // namespace
