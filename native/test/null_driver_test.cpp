// The benchmarks' null driver, built from its source: the serial line's transfers echo the last
// write, and MPSSE mode answers what the typed API's masters need (zero replies, 0xFA 0xAA to
// the bad opcode 0xAA written on its own).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "d2xx.h"
#include "d2xx_modes.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Step {
    Bytes write;     // written first, when not empty
    uint32_t read;   // then this many bytes read (none: no read)
    Bytes expected;  // what the read must return
};

struct Case {
    std::string name;
    int mode;  // the bit mode set before the steps; -1 sets none
    std::vector<Step> steps;
};

FT_HANDLE openDevice() {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_OK, FT_Open(0, &handle));
    return handle;
}

class NullDriverTest : public ::testing::TestWithParam<Case> {
protected:
    // The driver keeps its mode in statics: each case starts from the serial line.
    void SetUp() override { ASSERT_EQ(FT_OK, FT_SetBitMode(openDevice(), 0, FT_BITMODE_RESET)); }
    void TearDown() override { FT_SetBitMode(openDevice(), 0, FT_BITMODE_RESET); }
};

TEST_P(NullDriverTest, ReadsAnswerAsTheModeSays) {
    FT_HANDLE handle = openDevice();
    if (GetParam().mode >= 0) {
        ASSERT_EQ(FT_OK, FT_SetBitMode(handle, 0, static_cast<uint8_t>(GetParam().mode)));
    }
    int index = 0;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(index++));
        if (!step.write.empty()) {
            Bytes copy = step.write;
            uint32_t written = 0;
            ASSERT_EQ(FT_OK, FT_Write(handle, copy.data(), static_cast<uint32_t>(copy.size()), &written));
            EXPECT_EQ(copy.size(), written);
        }
        if (step.read == 0) {
            continue;
        }
        Bytes buffer(step.read, 0x55);
        uint32_t returned = 0;
        ASSERT_EQ(FT_OK, FT_Read(handle, buffer.data(), step.read, &returned));
        EXPECT_EQ(step.read, returned) << "every read is answered with the count asked for";
        EXPECT_EQ(step.expected, buffer);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, NullDriverTest,
    ::testing::Values(
        Case{"SerialLineEchoesTheLastWrite", -1, {{{1, 2, 3}, 3, {1, 2, 3}}}},
        Case{"SerialLineEchoesABadOpcodeAsIs", -1, {{{0xAA}, 1, {0xAA}}}},
        Case{"ResetModeEchoesToo", FT_BITMODE_RESET, {{{7, 8}, 2, {7, 8}}}},
        Case{"MpsseAnswersTheBadOpcode", FT_BITMODE_MPSSE, {{{0xAA}, 2, {0xFA, 0xAA}}}},
        Case{"MpsseAnswersTheBadOpcodeOnce", FT_BITMODE_MPSSE,
             {{{0xAA}, 2, {0xFA, 0xAA}}, {{}, 2, {0, 0}}}},
        Case{"MpsseRepliesZerosNotTheCommands", FT_BITMODE_MPSSE,
             {{{0x80, 0x03, 0x13, 0x22, 0x00, 0x87}, 4, {0, 0, 0, 0}}}},
        Case{"MpsseIgnoresAnOpcodeInsideATransaction", FT_BITMODE_MPSSE,
             {{{0x11, 0x00, 0x00, 0xAA}, 2, {0, 0}}}},
        Case{"MpsseKeepsRepliesInOrderAcrossWrites", FT_BITMODE_MPSSE,
             {{{0xAA}, 0, {}}, {{0x81, 0x87}, 3, {0xFA, 0xAA, 0xFF}}}},
        Case{"BitBangIsNotMpsse", FT_BITMODE_ASYNC_BITBANG, {{{0xAA}, 1, {0xAA}}}}),
    [](const ::testing::TestParamInfo<Case>& testCase) { return testCase.param.name; });

TEST(NullDriverDetailsTest, DescribesAnFt232h) {
    FT_HANDLE handle = openDevice();
    uint32_t type = 0;
    uint32_t id = 0;
    char serial[16] = {};
    char description[64] = {};
    ASSERT_EQ(FT_OK, FT_GetDeviceInfo(handle, &type, &id, serial, description, nullptr));
    EXPECT_EQ(8u, type) << "an FT232H, which has an MPSSE";
    EXPECT_EQ(0x04036014u, id);
    EXPECT_STREQ("NULL0001", serial);
    EXPECT_STREQ("Null driver device", description);
}

}  // namespace
