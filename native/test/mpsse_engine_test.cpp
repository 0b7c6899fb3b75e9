// The MPSSE engine driven directly on a pin bus, with probes standing in for the peripherals.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chip_kind.h"
#include "mpsse_engine.h"
#include "pin_bus.h"

namespace {

using sim::Drive;
using sim::MpsseEngine;
using sim::PinBus;
using sim::PinMask;
using sim::pinBit;
using Bytes = std::vector<uint8_t>;

constexpr int kTck = 0;
constexpr int kTdi = 1;
constexpr int kTdo = 2;
constexpr int kTms = 3;
constexpr int kGpiol1 = 5;
constexpr int kRtck = 7;

// What TDO shows after clock edge k (0-based); before the first edge nothing drives it (1).
bool tdoAfterEdge(std::size_t k) { return ((0x9A6C35E1u >> (k % 32)) & 1u) != 0; }

// Records every clock edge with the levels it met, every TDI change, and answers each edge
// with the next TDO level of a fixed pattern. Optionally echoes TCK onto RTCK, and drives
// GPIOL1 high (or low) after a number of rising edges.
class Probe : public sim::Peripheral {
public:
    struct Edge {
        bool rising;
        uint64_t time;
        bool tdi;
        bool tms;
    };
    struct Change {
        uint64_t time;
        bool level;
    };

    explicit Probe(PinBus& bus) : owner_(bus.newOwner()) {}

    void driveGpiol1(PinBus& bus, bool high) { bus.drive(owner_, kGpiol1, high ? Drive::High : Drive::Low); }

    void onLevels(PinBus& bus, PinMask previous, PinMask now) override {
        const PinMask changed = static_cast<PinMask>(previous ^ now);
        if ((changed & pinBit(kTck)) != 0) {
            const bool rising = (now & pinBit(kTck)) != 0;
            edges.push_back({rising, bus.nowNanos(), (now & pinBit(kTdi)) != 0,
                             (now & pinBit(kTms)) != 0});
            if (answerTdo) {
                bus.drive(owner_, kTdo, tdoAfterEdge(edges.size() - 1) ? Drive::High : Drive::Low);
            }
            if (echoRtck) {
                bus.drive(owner_, kRtck, rising ? Drive::High : Drive::Low);
            }
            if (rising && ++risingEdges == gpiol1AfterRising) {
                bus.drive(owner_, kGpiol1, gpiol1Level ? Drive::High : Drive::Low);
            }
        }
        if ((changed & pinBit(kTdi)) != 0) {
            tdiChanges.push_back({bus.nowNanos(), (now & pinBit(kTdi)) != 0});
        }
        if ((changed & pinBit(kTms)) != 0) {
            tmsChanges.push_back({bus.nowNanos(), (now & pinBit(kTms)) != 0});
        }
    }

    std::vector<Edge> edges;
    std::vector<Change> tdiChanges;
    std::vector<Change> tmsChanges;
    bool answerTdo = true;
    bool echoRtck = false;
    uint64_t risingEdges = 0;
    uint64_t gpiol1AfterRising = 0;  // 0: never
    bool gpiol1Level = true;

private:
    int owner_;
};

// An engine of one chip kind on its own bus, with a probe and a scripted driver.
struct Rig {
    explicit Rig(uint32_t type = sim::kType232H) : engine(sim::chipKind(type), bus) {
        auto owned = std::make_unique<Probe>(bus);
        probe = owned.get();
        bus.addPeripheral(std::move(owned));
        script = bus.newOwner();
    }
    Bytes run(const Bytes& bytes) {
        Bytes replies;
        engine.write(bytes.data(), bytes.size(), replies);
        return replies;
    }
    Bytes pinsChanged() {
        Bytes replies;
        engine.pinsChanged(replies);
        return replies;
    }
    PinBus bus;
    MpsseEngine engine;
    Probe* probe = nullptr;
    int script = 0;
};

enum class Edge { None, Rising, Falling };

// One row of the data-shifting table, written out from the documented table rather than
// derived from the opcode's bits.
struct ShiftCase {
    std::string name;
    uint8_t opcode;
    bool bits;      // bit form (else byte form)
    bool msbFirst;
    Edge out;       // edge at which TDI changes; None: TDI not written
    Edge in;        // edge at which TDO is sampled; None: nothing read
};

const ShiftCase kShiftCases[] = {
    {"MsbBytesOutRising", 0x10, false, true, Edge::Rising, Edge::None},
    {"MsbBytesOutFalling", 0x11, false, true, Edge::Falling, Edge::None},
    {"MsbBytesInRising", 0x20, false, true, Edge::None, Edge::Rising},
    {"MsbBytesInFalling", 0x24, false, true, Edge::None, Edge::Falling},
    {"MsbBytesOutFallingInRising", 0x31, false, true, Edge::Falling, Edge::Rising},
    {"MsbBytesOutRisingInFalling", 0x34, false, true, Edge::Rising, Edge::Falling},
    {"MsbBitsOutRising", 0x12, true, true, Edge::Rising, Edge::None},
    {"MsbBitsOutFalling", 0x13, true, true, Edge::Falling, Edge::None},
    {"MsbBitsInRising", 0x22, true, true, Edge::None, Edge::Rising},
    {"MsbBitsInFalling", 0x26, true, true, Edge::None, Edge::Falling},
    {"MsbBitsOutFallingInRising", 0x33, true, true, Edge::Falling, Edge::Rising},
    {"MsbBitsOutRisingInFalling", 0x36, true, true, Edge::Rising, Edge::Falling},
    {"LsbBytesOutRising", 0x18, false, false, Edge::Rising, Edge::None},
    {"LsbBytesOutFalling", 0x19, false, false, Edge::Falling, Edge::None},
    {"LsbBytesInRising", 0x28, false, false, Edge::None, Edge::Rising},
    {"LsbBytesInFalling", 0x2C, false, false, Edge::None, Edge::Falling},
    {"LsbBytesOutFallingInRising", 0x39, false, false, Edge::Falling, Edge::Rising},
    {"LsbBytesOutRisingInFalling", 0x3C, false, false, Edge::Rising, Edge::Falling},
    {"LsbBitsOutRising", 0x1A, true, false, Edge::Rising, Edge::None},
    {"LsbBitsOutFalling", 0x1B, true, false, Edge::Falling, Edge::None},
    {"LsbBitsInRising", 0x2A, true, false, Edge::None, Edge::Rising},
    {"LsbBitsInFalling", 0x2E, true, false, Edge::None, Edge::Falling},
    {"LsbBitsOutFallingInRising", 0x3B, true, false, Edge::Falling, Edge::Rising},
    {"LsbBitsOutRisingInFalling", 0x3E, true, false, Edge::Rising, Edge::Falling},
};

struct ShiftRun {
    ShiftCase shift;
    bool idleHigh;
};

std::string shiftName(const ::testing::TestParamInfo<ShiftRun>& info) {
    return info.param.shift.name + (info.param.idleHigh ? "IdleHigh" : "IdleLow");
}

std::vector<ShiftRun> allShiftRuns() {
    std::vector<ShiftRun> runs;
    for (const ShiftCase& shift : kShiftCases) {
        runs.push_back({shift, false});
        runs.push_back({shift, true});
    }
    return runs;
}

// Checks what a shift put on `pin` and what it read: each bit valid at the edge that is not
// its output edge, the pin changing only at output edges (or before the first edge), and the
// bits read from TDO at the input edge, packed as documented.
void checkShift(const Probe& probe, const std::vector<Probe::Change>& changes, bool Probe::Edge::*pin,
                const std::vector<bool>& sent, Edge out, Edge in, std::size_t pulses,
                std::vector<bool>* read) {
    ASSERT_EQ(probe.edges.size(), 2 * pulses);
    for (std::size_t i = 0; i < pulses; ++i) {
        const Probe::Edge& first = probe.edges[2 * i];
        const Probe::Edge& second = probe.edges[2 * i + 1];
        ASSERT_NE(first.rising, second.rising);
        ASSERT_LT(first.time, second.time);
        if (out != Edge::None) {
            const Probe::Edge& held = (out == Edge::Rising) == first.rising ? second : first;
            EXPECT_EQ(held.*pin, sent[i]) << "bit " << i;
        }
        if (in != Edge::None) {
            const std::size_t k = (in == Edge::Rising) == first.rising ? 2 * i : 2 * i + 1;
            read->push_back(tdoAfterEdge(k));
        }
    }
    for (const Probe::Change& change : changes) {
        if (change.time < probe.edges[0].time) {
            continue;
        }
        bool atOutputEdge = false;
        for (const Probe::Edge& edge : probe.edges) {
            atOutputEdge |= edge.time == change.time && edge.rising == (out == Edge::Rising);
        }
        EXPECT_TRUE(atOutputEdge) << "change at " << change.time;
    }
}

class DataShift : public ::testing::TestWithParam<ShiftRun> {};

TEST_P(DataShift, BitsLeaveAndArriveAtTheirEdgesInTheirOrder) {
    const ShiftCase& c = GetParam().shift;
    Rig rig;
    // TCK idle level, TDI low, TCK/TDI/TMS outputs.
    rig.run({0x80, static_cast<uint8_t>(GetParam().idleHigh ? 0x01 : 0x00), 0x0B});
    rig.probe->edges.clear();
    rig.probe->tdiChanges.clear();

    const Bytes data = c.bits ? Bytes{0xB4} : Bytes{0xA5, 0x3C};
    const std::size_t pulses = c.bits ? 5 : 16;
    Bytes command = c.bits ? Bytes{c.opcode, 0x04} : Bytes{c.opcode, 0x01, 0x00};
    if (c.out != Edge::None) {
        command.insert(command.end(), data.begin(), data.end());
    }
    const Bytes replies = rig.run(command);

    // Sent: MSB first from bit 7 down, LSB first from bit 0 up, byte after byte.
    std::vector<bool> sent;
    for (std::size_t i = 0; i < pulses; ++i) {
        const unsigned index = static_cast<unsigned>(i % 8);
        sent.push_back(((unsigned{data[i / 8]} >> (c.msbFirst ? 7 - index : index)) & 1u) != 0);
    }
    std::vector<bool> read;
    checkShift(*rig.probe, rig.probe->tdiChanges, &Probe::Edge::tdi, sent, c.out, c.in, pulses, &read);
    if (c.out == Edge::None) {
        EXPECT_TRUE(rig.probe->tdiChanges.empty());
    }
    // Clock back at idle.
    EXPECT_EQ(rig.bus.level(kTck), GetParam().idleHigh);

    Bytes expected;
    if (c.in != Edge::None) {
        if (!c.bits) {
            for (std::size_t byte = 0; byte < 2; ++byte) {
                unsigned value = 0;
                for (unsigned bit = 0; bit < 8; ++bit) {
                    const unsigned position = c.msbFirst ? 7 - bit : bit;
                    value |= static_cast<unsigned>(read[byte * 8 + bit]) << position;
                }
                expected.push_back(static_cast<uint8_t>(value));
            }
        } else {
            // Five bits: MSB first fills bits 4..0 (the last bit in bit 0), LSB first bits 3..7
            // (the last bit in bit 7).
            unsigned value = 0;
            for (unsigned bit = 0; bit < 5; ++bit) {
                const unsigned position = c.msbFirst ? 4 - bit : 3 + bit;
                value |= static_cast<unsigned>(read[bit]) << position;
            }
            expected.push_back(static_cast<uint8_t>(value));
        }
    }
    EXPECT_EQ(replies, expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DataShift, ::testing::ValuesIn(allShiftRuns()), shiftName);

struct TmsCase {
    std::string name;
    uint8_t opcode;
    Edge out;
    Edge in;
};

std::string tmsName(const ::testing::TestParamInfo<TmsCase>& info) { return info.param.name; }

class TmsShift : public ::testing::TestWithParam<TmsCase> {};

TEST_P(TmsShift, BitsGoOutOnTmsLsbFirstWithBit7HeldOnTdi) {
    const TmsCase& c = GetParam();
    for (const uint8_t byte : {uint8_t{0x85}, uint8_t{0x3A}}) {
        Rig rig;
        rig.run({0x80, static_cast<uint8_t>(byte & 0x80 ? 0x00 : 0x02), 0x0B});  // TDI starts opposite
        rig.probe->edges.clear();
        rig.probe->tmsChanges.clear();
        rig.probe->tdiChanges.clear();
        const Bytes replies = rig.run({c.opcode, 0x05, byte});  // 6 bits

        std::vector<bool> sent;
        for (unsigned i = 0; i < 6; ++i) {
            sent.push_back(((byte >> i) & 1u) != 0);
        }
        std::vector<bool> read;
        checkShift(*rig.probe, rig.probe->tmsChanges, &Probe::Edge::tms, sent, c.out, c.in, 6, &read);
        // TDI took bit 7 before the first edge and kept it.
        ASSERT_EQ(rig.probe->tdiChanges.size(), 1u);
        EXPECT_LE(rig.probe->tdiChanges[0].time, rig.probe->edges[0].time);
        for (const Probe::Edge& edge : rig.probe->edges) {
            EXPECT_EQ(edge.tdi, (byte & 0x80) != 0);
        }
        Bytes expected;
        if (c.in != Edge::None) {
            unsigned value = 0;
            for (unsigned bit = 0; bit < 6; ++bit) {
                value |= static_cast<unsigned>(read[bit]) << (2 + bit);
            }
            expected.push_back(static_cast<uint8_t>(value));
        }
        EXPECT_EQ(replies, expected);
    }
}

// Edges as the flag bits and the text give them (the table that swaps 0x6B/0x6E is wrong).
INSTANTIATE_TEST_SUITE_P(Table, TmsShift,
                         ::testing::Values(TmsCase{"Out4AOutRising", 0x4A, Edge::Rising, Edge::None},
                                           TmsCase{"Out4BOutFalling", 0x4B, Edge::Falling, Edge::None},
                                           TmsCase{"Read6AOutRisingInRising", 0x6A, Edge::Rising, Edge::Rising},
                                           TmsCase{"Read6BOutFallingInRising", 0x6B, Edge::Falling, Edge::Rising},
                                           TmsCase{"Read6EOutRisingInFalling", 0x6E, Edge::Rising, Edge::Falling},
                                           TmsCase{"Read6FOutFallingInFalling", 0x6F, Edge::Falling, Edge::Falling}),
                         tmsName);

TEST(MpsseEngine, ThreePhaseHoldsDataAcrossBothEdges) {
    Rig rig;
    rig.run({0x8C, 0x80, 0x00, 0x0B});
    rig.probe->edges.clear();
    rig.run({0x13, 0x07, 0x5A});  // out on the falling edge, were it not for three-phase
    ASSERT_EQ(rig.probe->edges.size(), 16u);
    for (std::size_t i = 0; i < 8; ++i) {
        const bool bit = ((0x5A >> (7 - i)) & 1) != 0;
        EXPECT_EQ(rig.probe->edges[2 * i].tdi, bit) << i;
        EXPECT_EQ(rig.probe->edges[2 * i + 1].tdi, bit) << i;
    }
    for (const Probe::Change& change : rig.probe->tdiChanges) {
        for (const Probe::Edge& edge : rig.probe->edges) {
            EXPECT_NE(change.time, edge.time);
        }
    }
}

// Duplex with loopback returns what went out: lengths from one bit to 65536 bytes.
TEST(MpsseEngine, ByteLengthsFromOneTo65536) {
    for (const uint16_t encoded : {uint16_t{0x0000}, uint16_t{0x0001}, uint16_t{0xFFFF}}) {
        Rig rig;
        rig.probe->answerTdo = false;
        rig.run({0x84, 0x80, 0x00, 0x0B});
        const std::size_t count = encoded + std::size_t{1};
        Bytes command{0x31, static_cast<uint8_t>(encoded & 0xFF), static_cast<uint8_t>(encoded >> 8)};
        Bytes data;
        for (std::size_t i = 0; i < count; ++i) {
            data.push_back(static_cast<uint8_t>(i * 7 + (i >> 8)));
        }
        command.insert(command.end(), data.begin(), data.end());
        rig.probe->edges.clear();
        EXPECT_EQ(rig.run(command), data) << count;
        EXPECT_EQ(rig.probe->edges.size(), count * 16) << count;
        EXPECT_FALSE(rig.engine.waiting());
    }
}

TEST(MpsseEngine, BitLengthsOneToEight) {
    for (uint8_t length = 0; length < 8; ++length) {
        const unsigned bits = length + 1u;
        for (const uint8_t opcode : {uint8_t{0x33}, uint8_t{0x3B}}) {
            Rig rig;
            rig.probe->answerTdo = false;
            rig.run({0x84, 0x80, 0x00, 0x0B});
            rig.probe->edges.clear();
            const uint8_t data = 0xC5;
            const Bytes replies = rig.run({opcode, length, data});
            EXPECT_EQ(rig.probe->edges.size(), 2 * bits);
            // MSB first sends bits 7.. and fills from bit 0; LSB first sends bits 0.. and fills
            // down to bit 7.
            const unsigned expected = opcode == 0x33 ? unsigned{data} >> (8 - bits)
                                                     : (unsigned{data} << (8 - bits)) & 0xFFu;
            EXPECT_EQ(replies, Bytes{static_cast<uint8_t>(expected)})
                << "opcode " << int{opcode} << " bits " << bits;
        }
    }
}

TEST(MpsseEngine, LoopbackReadsTdiInsteadOfThePin) {
    Rig rig;
    rig.probe->answerTdo = false;
    rig.bus.drive(rig.script, kTdo, Drive::Low);
    rig.run({0x80, 0x02, 0x0B});  // TDI high
    EXPECT_EQ(rig.run({0x20, 0x00, 0x00}), Bytes{0x00});
    EXPECT_EQ(rig.run({0x84, 0x20, 0x00, 0x00}), Bytes{0xFF});
    EXPECT_EQ(rig.run({0x85, 0x20, 0x00, 0x00}), Bytes{0x00});
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

TEST(MpsseEngine, GpioWritesDriveOutputsAndReadsShowLevels) {
    Rig rig;
    rig.probe->answerTdo = false;
    rig.bus.drive(rig.script, 6, Drive::Low);
    // Outputs 0..3 drive 0101, inputs 4..7 float high but 6, driven low from outside.
    EXPECT_EQ(rig.run({0x80, 0x05, 0x0F, 0x81}), Bytes{0xB5});
    // An input's value is not driven.
    EXPECT_EQ(rig.run({0x80, 0x00, 0x00, 0x81}), Bytes{0xBF});
    EXPECT_EQ(rig.run({0x82, 0x0F, 0xF0, 0x83}), Bytes{0x0F});
    EXPECT_EQ(rig.bus.levels() >> 8, 0x0F);
}

TEST(MpsseEngine, HighByteHasOnlyTheChipsGpiohPins) {
    // Inputs pulled up read 1 where the pin exists, 0 where it does not; outputs driving 0
    // reach only the pins that exist.
    struct Case {
        uint32_t type;
        uint8_t inputsRead;
        PinMask levelsOfLowOutputs;
    };
    for (const Case& c : {Case{sim::kType232H, 0xFF, 0x0000}, Case{sim::kType2232C, 0x0F, 0xF000},
                         Case{sim::kType4232H, 0x00, 0xFF00}}) {
        Rig rig(c.type);
        EXPECT_EQ(rig.run({0x82, 0x00, 0x00, 0x83}), Bytes{c.inputsRead}) << c.type;
        rig.run({0x82, 0x00, 0xFF});
        EXPECT_EQ(rig.bus.levels() & 0xFF00, c.levelsOfLowOutputs) << c.type;
    }
}

struct BadCase {
    std::string name;
    uint32_t type;
    Bytes command;
    Bytes replies;
};

std::string badName(const ::testing::TestParamInfo<BadCase>& info) { return info.param.name; }

class BadCommand : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCommand, Answers) {
    Rig rig(GetParam().type);
    rig.run({0x80, 0x00, 0x0B});
    EXPECT_EQ(rig.run(GetParam().command), GetParam().replies);
    EXPECT_FALSE(rig.engine.waiting());
}

// Only opcodes with bit 7 set answer 0xFA and the opcode; any bad opcode is one byte, the
// next byte is a command of its own (0x81 reads the pins: 0xF4 with TCK, TDI, TMS low).
INSTANTIATE_TEST_SUITE_P(
    Table, BadCommand,
    ::testing::Values(
        BadCase{"Bogus", sim::kType232H, {0xAA}, {0xFA, 0xAA}},
        BadCase{"BogusAB", sim::kType232H, {0xAB, 0x81}, {0xFA, 0xAB, 0xF4}},
        BadCase{"EarlyName98", sim::kType232H, {0x98}, {0xFA, 0x98}},
        BadCase{"McuReadOutsideMcuMode", sim::kType232H, {0x90, 0x81}, {0xFA, 0x90, 0xF4}},
        BadCase{"McuWriteOutsideMcuMode", sim::kType2232C, {0x93}, {0xFA, 0x93}},
        BadCase{"HighSpeedOnlyOn2232D", sim::kType2232C, {0x8A}, {0xFA, 0x8A}},
        BadCase{"ClocksOn2232D", sim::kType2232C, {0x8E, 0x81}, {0xFA, 0x8E, 0xF4}},
        BadCase{"AdaptiveOn2232D", sim::kType2232C, {0x96}, {0xFA, 0x96}},
        BadCase{"DriveZeroOn2232H", sim::kType2232H, {0x9E, 0x81}, {0xFA, 0x9E, 0xF4}},
        BadCase{"DriveZeroOn232H", sim::kType232H, {0x9E, 0x01, 0x00}, {}},
        BadCase{"Removed30TakenSilently", sim::kType232H, {0x30, 0x81}, {0xF4}},
        BadCase{"Removed35TakenSilently", sim::kType232H, {0x35}, {}},
        BadCase{"Zero", sim::kType232H, {0x00}, {}},
        BadCase{"TmsWriteWithInEdge4E", sim::kType232H, {0x4E}, {}}),
    badName);

TEST(MpsseEngine, WaitOnGpiol1HoldsEverythingUntilThePinGetsThere) {
    struct Case {
        uint8_t opcode;
        Drive holding;
        Drive releasing;
    };
    for (const Case& c : {Case{0x88, Drive::Low, Drive::High}, Case{0x89, Drive::High, Drive::Low}}) {
        Rig rig;
        rig.bus.drive(rig.script, kGpiol1, c.holding);
        EXPECT_TRUE(rig.run({0x80, 0x00, 0x0B, c.opcode, 0x81}).empty());
        EXPECT_TRUE(rig.engine.waiting());
        EXPECT_TRUE(rig.run({0x81, 0x8A}).empty());
        EXPECT_TRUE(rig.pinsChanged().empty());
        rig.bus.drive(rig.script, kGpiol1, c.releasing);
        const uint8_t levels = static_cast<uint8_t>(rig.bus.levels());
        EXPECT_EQ(rig.pinsChanged(), (Bytes{levels, levels}));
        EXPECT_FALSE(rig.engine.waiting());
    }
}

TEST(MpsseEngine, WaitOnGpiol1AlreadyThereGoesOn) {
    Rig rig;
    EXPECT_EQ(rig.run({0x88, 0x81}).size(), 1u);  // pulled up: high
}

TEST(MpsseEngine, ResetEndsAWaitAndDropsWhatItHeld) {
    Rig rig;
    rig.bus.drive(rig.script, kGpiol1, Drive::Low);
    rig.run({0x88, 0x81, 0x84});
    rig.engine.reset();
    EXPECT_FALSE(rig.engine.waiting());
    rig.bus.drive(rig.script, kGpiol1, Drive::High);
    EXPECT_TRUE(rig.pinsChanged().empty());
    EXPECT_EQ(rig.run({0x81}).size(), 1u);
}

TEST(MpsseEngine, ResetRestoresDefaultsAndKeepsPins) {
    Rig rig;
    rig.run({0x80, 0x02, 0x0B, 0x8A, 0x8C, 0x84, 0x86, 0x05, 0x00, 0x9E, 0x07, 0x01});
    EXPECT_EQ(rig.bus.openDrain(), 0x0107);
    rig.engine.reset();
    EXPECT_EQ(rig.bus.openDrain(), 0);
    EXPECT_EQ(rig.bus.chipValues(), 0x02);
    // Divisor 0, divide-by-5 on, two-phase: 8 clocks at 6 MHz; loopback off: TDO read.
    rig.probe->answerTdo = false;
    rig.bus.drive(rig.script, kTdo, Drive::Low);
    const uint64_t start = rig.bus.nowNanos();
    EXPECT_EQ(rig.run({0x20, 0x00, 0x00}), Bytes{0x00});
    EXPECT_EQ(rig.bus.nowNanos() - start, 1333u);  // 8 / 6 MHz
}

struct TimingCase {
    std::string name;
    uint32_t type;
    Bytes setup;
    Bytes command;
    uint64_t nanos;
};

std::string timingName(const ::testing::TestParamInfo<TimingCase>& info) { return info.param.name; }

class ClockTiming : public ::testing::TestWithParam<TimingCase> {};

TEST_P(ClockTiming, SimulatedTimeOfACommand) {
    const TimingCase& c = GetParam();
    Rig rig(c.type);
    rig.run({0x80, 0x00, 0x0B});
    rig.run(c.setup);
    const uint64_t start = rig.bus.nowNanos();
    rig.run(c.command);
    EXPECT_EQ(rig.bus.nowNanos() - start, c.nanos);
}

// f = base / ((1 + divisor) * 2); a bit is a period, 1.5 periods three-phase; a command that
// does not clock half a period.
INSTANTIATE_TEST_SUITE_P(
    Table, ClockTiming,
    ::testing::Values(
        TimingCase{"Default6MHz24Clocks", sim::kType232H, {}, {0x8F, 0x02, 0x00}, 4000},
        TimingCase{"Div2At60MHz8Clocks", sim::kType232H, {0x8A, 0x86, 0x02, 0x00}, {0x8F, 0x00, 0x00}, 800},
        TimingCase{"Div2At60MHzOneByte", sim::kType232H, {0x8A, 0x86, 0x02, 0x00}, {0x39, 0x00, 0x00, 0x5A}, 800},
        TimingCase{"Div2At60MHzSixTmsBits", sim::kType232H, {0x8A, 0x86, 0x02, 0x00}, {0x4A, 0x05, 0x00}, 600},
        TimingCase{"Div2At60MHzGpioWrite", sim::kType232H, {0x8A, 0x86, 0x02, 0x00}, {0x80, 0x00, 0x0B}, 50},
        TimingCase{"ThreePhase30MHz6Clocks", sim::kType232H, {0x8A, 0x8C}, {0x8E, 0x05}, 300},
        TimingCase{"I2c100kHzByte", sim::kType232H, {0x8A, 0x8C, 0x86, 0xC7, 0x00}, {0x11, 0x00, 0x00, 0x55}, 80000},
        TimingCase{"SlowestAt60MHz3Clocks", sim::kType232H, {0x8A, 0x86, 0xFF, 0xFF}, {0x8E, 0x02}, 6553600},
        TimingCase{"Divide5BackOn", sim::kType232H, {0x8A, 0x8B, 0x86, 0x02, 0x00}, {0x8F, 0x00, 0x00}, 4000},
        TimingCase{"Ft2232dDiv5At1MHz", sim::kType2232C, {0x86, 0x05, 0x00}, {0x20, 0x00, 0x00}, 8000}),
    timingName);

TEST(MpsseEngine, ClockingStopsWhenGpiol1GetsThere) {
    struct Case {
        uint8_t opcode;
        Bytes args;
        bool level;
        uint64_t after;
        std::size_t pulses;
    };
    for (const Case& c : {Case{0x9C, {0x01, 0x00}, true, 5, 5}, Case{0x9D, {0x01, 0x00}, false, 3, 3},
                         Case{0x8F, {0x01, 0x00}, true, 5, 16}, Case{0x94, {}, true, 300, 300},
                         Case{0x95, {}, false, 9, 9}, Case{0x9C, {0x00, 0x00}, true, 20, 8}}) {
        Rig rig;
        rig.run({0x80, 0x00, 0x0B});
        rig.probe->edges.clear();
        rig.probe->driveGpiol1(rig.bus, !c.level);
        rig.probe->gpiol1AfterRising = c.after;
        rig.probe->gpiol1Level = c.level;
        Bytes command{c.opcode};
        command.insert(command.end(), c.args.begin(), c.args.end());
        command.push_back(0x81);
        EXPECT_EQ(rig.run(command).size(), 1u) << int{c.opcode};
        EXPECT_EQ(rig.probe->edges.size(), 2 * c.pulses) << int{c.opcode};
    }
}

TEST(MpsseEngine, ClockingUntilGpiol1ThatNeverComesHoldsLikeAWait) {
    Rig rig;
    rig.run({0x80, 0x00, 0x0B});
    rig.bus.drive(rig.script, kGpiol1, Drive::Low);
    EXPECT_TRUE(rig.run({0x94, 0x81}).empty());
    EXPECT_TRUE(rig.engine.waiting());
    const std::size_t edges = rig.probe->edges.size();
    EXPECT_GT(edges, 0u);
    rig.bus.drive(rig.script, kGpiol1, Drive::High);
    EXPECT_EQ(rig.pinsChanged().size(), 1u);
    EXPECT_EQ(rig.probe->edges.size(), edges);
}

TEST(MpsseEngine, AdaptiveClockingWaitsForRtckToFollow) {
    Rig rig;
    rig.run({0x80, 0x00, 0x0B, 0x96});
    rig.probe->edges.clear();
    // Something echoes TCK on RTCK: the clocks run through.
    rig.probe->echoRtck = true;
    EXPECT_EQ(rig.run({0x8E, 0x03, 0x81}).size(), 1u);
    EXPECT_EQ(rig.probe->edges.size(), 8u);
    // Nothing drives RTCK (pulled up): the falling edge waits, and every byte after it.
    rig.probe->echoRtck = false;
    rig.bus.resetPeripherals();
    rig.probe->edges.clear();
    EXPECT_TRUE(rig.run({0x8E, 0x01, 0x81}).empty());
    EXPECT_EQ(rig.probe->edges.size(), 2u);
    EXPECT_TRUE(rig.engine.waiting());
    rig.bus.drive(rig.script, kRtck, Drive::Low);
    EXPECT_TRUE(rig.pinsChanged().empty());  // rising edge now waits for RTCK high
    EXPECT_EQ(rig.probe->edges.size(), 3u);
    rig.bus.drive(rig.script, kRtck, Drive::Released);
    EXPECT_TRUE(rig.pinsChanged().empty());  // high now; the last falling edge waits again
    EXPECT_EQ(rig.probe->edges.size(), 4u);
    rig.bus.drive(rig.script, kRtck, Drive::Low);
    EXPECT_EQ(rig.pinsChanged().size(), 1u);
    EXPECT_FALSE(rig.engine.waiting());
    // A reset frees an engine stuck on RTCK.
    rig.bus.drive(rig.script, kRtck, Drive::Released);
    rig.run({0x96, 0x8E, 0x00, 0x81});
    EXPECT_TRUE(rig.engine.waiting());
    rig.engine.reset();
    EXPECT_FALSE(rig.engine.waiting());
}

TEST(MpsseEngine, DriveZeroMakesPinsOpenDrain) {
    Rig rig;
    rig.run({0x9E, 0x03, 0x00, 0x80, 0x03, 0x0B});
    EXPECT_EQ(rig.bus.openDrain(), 0x0003);
    rig.bus.drive(rig.script, kTdi, Drive::Low);
    EXPECT_FALSE(rig.bus.level(kTdi));  // floats on its 1, so the other driver wins
    EXPECT_EQ(rig.run({0x81})[0] & 0x03, 0x01);
}

}  // namespace
