// The JTAG chain's control functions: what they refuse, and what they report of a chain.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim_control.h"

namespace {

constexpr uint32_t kType232H = 8;

SimJtagDeviceSpec spec(uint32_t irLength) {
    return SimJtagDeviceSpec{irLength, 0x1, 0, 0, 0, 0, 0, 0, 0};
}

int32_t addFt232h() {
    simReset();
    return simAddDevice(0, kType232H, 0x04036014, 0x1001, nullptr, 0, nullptr, 0);
}

struct Refused {
    const char* name;
    SimJtagDeviceSpec device;
    int32_t trstPin;
};

TEST(JtagControl, ImpossibleChainsAreRefused) {
    SimJtagDeviceSpec idcodeBit0Clear = spec(4);
    idcodeBit0Clear.hasIdcode = 1;
    idcodeBit0Clear.idcode = 0x1234;
    SimJtagDeviceSpec instructionTooWide = spec(4);
    instructionTooWide.hasIdcode = 1;
    instructionTooWide.idcode = 1;
    instructionTooWide.idcodeInstruction = 0x10;
    SimJtagDeviceSpec captureNot01 = spec(4);
    captureNot01.irCapture = 0x3;
    SimJtagDeviceSpec memoryOnShortIr = spec(7);
    memoryOnShortIr.hasMemory = 1;
    const Refused cases[] = {
        {"an IR of 1 bit", spec(1), -1},
        {"an IR of 33 bits", spec(33), -1},
        {"an IDCODE with bit 0 clear", idcodeBit0Clear, -1},
        {"an instruction past the IR", instructionTooWide, -1},
        {"a capture pattern not ending in 01", captureNot01, -1},
        {"the memory on a 7-bit IR", memoryOnShortIr, -1},
        {"TRST* on TMS", spec(4), 3},
        {"TRST* past the pins", spec(4), 16},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t device = addFt232h();
        EXPECT_EQ(simAttachJtagChain(device, &c.device, 1, c.trstPin), -1);
    }
    const int32_t device = addFt232h();
    const SimJtagDeviceSpec one = spec(4);
    EXPECT_EQ(simAttachJtagChain(device, nullptr, 1, -1), -1);
    EXPECT_EQ(simAttachJtagChain(device, &one, 0, -1), -1);
    EXPECT_EQ(simAttachJtagChain(device + 1, &one, 1, -1), -1);
    const std::vector<SimJtagDeviceSpec> tooMany(257, one);
    EXPECT_EQ(simAttachJtagChain(device, tooMany.data(), 257, -1), -1);
}

TEST(JtagControl, ChainsReportStatesInstructionsAndMemory) {
    const int32_t device = addFt232h();
    SimJtagDeviceSpec withIdcode = spec(6);
    withIdcode.hasIdcode = 1;
    withIdcode.idcode = 0x1234A0F3;
    withIdcode.idcodeInstruction = 0x09;
    SimJtagDeviceSpec withMemory = spec(8);
    withMemory.hasMemory = 1;
    const SimJtagDeviceSpec chain[] = {withIdcode, withMemory};
    const int32_t flash = simAttachSpiFlash(device, 4, 0xEF4014, 4096);
    const int32_t id = simAttachJtagChain(device, chain, 2, 5);
    ASSERT_GE(id, 0);
    EXPECT_EQ(simJtagState(device, id, 0), 0);
    EXPECT_EQ(simJtagInstruction(device, id, 0), 0x09);
    EXPECT_EQ(simJtagInstruction(device, id, 1), 0xFF);
    EXPECT_EQ(simJtagState(device, id, 2), -1);
    EXPECT_EQ(simJtagState(device, flash, 0), -1) << "not a chain";

    const uint16_t words[] = {0x1234, 0xABCD};
    EXPECT_EQ(simJtagMemorySetWords(device, id, 1, 254, words, 2), 0);
    EXPECT_EQ(simJtagMemorySetWords(device, id, 1, 255, words, 2), -1);
    EXPECT_EQ(simJtagMemorySetWords(device, id, 0, 0, words, 1), -1) << "no memory";
    std::vector<uint16_t> read(256);
    EXPECT_EQ(simJtagMemoryGetWords(device, id, 1, read.data(), 256), 256);
    EXPECT_EQ(read[253], 0xFFFF);
    EXPECT_EQ(read[254], 0x1234);
    EXPECT_EQ(read[255], 0xABCD);
    EXPECT_EQ(simJtagMemoryStatus(device, id, 1), 0);
    EXPECT_EQ(simJtagSetBusyClocks(device, id, 1, 5, 5), 0);
    EXPECT_EQ(simJtagSetBusyClocks(device, id, 0, 5, 5), -1);
}

}  // namespace
