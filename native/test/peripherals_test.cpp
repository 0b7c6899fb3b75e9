// The I2C target, 24C EEPROM and SPI flash on a pin bus, driven bit by bit as a master would.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "peripherals/i2c_eeprom.h"
#include "peripherals/i2c_target.h"
#include "peripherals/spi_flash.h"
#include "pin_bus.h"

namespace {

using sim::Drive;
using sim::PinBus;
using sim::pinBit;
using Bytes = std::vector<uint8_t>;

constexpr int kScl = 0;
constexpr int kSda = 1;
constexpr int kSdaIn = 2;
constexpr uint64_t kStepNanos = 1250;

// An I2C master on the chip's pins: SCL push-pull, SDA an output only while it sends a 0
// (the host flips its direction, as on a chip without open drain), read back on pin 2.
class I2cMaster {
public:
    explicit I2cMaster(PinBus& bus) : bus_(bus) {
        bus_.connect(kSda, kSdaIn);
        set(true, true);
    }

    void start() {
        set(true, true);
        set(true, false);
        set(false, false);
    }
    void repeatedStart() {
        set(false, true);
        set(true, true);
        set(true, false);
        set(false, false);
    }
    void stop() {
        set(false, false);
        set(true, false);
        set(true, true);
    }
    // Sends a byte MSB first; true when the target acknowledged it.
    bool write(uint8_t byte) {
        for (int bit = 7; bit >= 0; --bit) {
            clockOut(((byte >> bit) & 1) != 0);
        }
        return !clockIn();
    }
    // Reads a byte and answers ACK (more wanted) or NACK (the last).
    uint8_t read(bool ack) {
        uint8_t byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            byte = static_cast<uint8_t>((byte << 1) | (clockIn() ? 1 : 0));
        }
        clockOut(!ack);
        return byte;
    }
    bool sdaLevel() const { return bus_.level(kSdaIn); }

    // Whole transactions. Each returns the acknowledgements of the bytes written in order.
    std::vector<bool> writeTransaction(uint8_t address7, const Bytes& data) {
        start();
        std::vector<bool> acks{write(static_cast<uint8_t>(address7 << 1))};
        for (uint8_t byte : data) {
            acks.push_back(write(byte));
        }
        stop();
        return acks;
    }
    Bytes readTransaction(uint8_t address7, std::size_t count) {
        start();
        Bytes bytes;
        if (write(static_cast<uint8_t>(address7 << 1 | 1))) {
            for (std::size_t i = 0; i < count; ++i) {
                bytes.push_back(read(i + 1 < count));
            }
        }
        stop();
        return bytes;
    }
    // Write the register pointer, repeated START, read `count` bytes.
    Bytes readFrom(uint8_t address7, uint8_t pointer, std::size_t count) {
        start();
        write(static_cast<uint8_t>(address7 << 1));
        write(pointer);
        repeatedStart();
        Bytes bytes;
        if (write(static_cast<uint8_t>(address7 << 1 | 1))) {
            for (std::size_t i = 0; i < count; ++i) {
                bytes.push_back(read(i + 1 < count));
            }
        }
        stop();
        return bytes;
    }

private:
    void clockOut(bool bit) {
        set(false, bit);
        set(true, bit);
        set(false, bit);
    }
    bool clockIn() {
        set(false, true);
        set(true, true);
        const bool bit = sdaLevel();
        set(false, true);
        return bit;
    }
    void set(bool scl, bool sda) {
        bus_.advance(kStepNanos);
        const auto values = static_cast<sim::PinMask>(scl ? pinBit(kScl) : 0);
        const auto outputs = static_cast<sim::PinMask>(pinBit(kScl) | (sda ? 0 : pinBit(kSda)));
        bus_.setChipPins(values, outputs);
    }

    PinBus& bus_;
};

// An SPI master in mode 0 (SCK idle low) or 3 (idle high), MSB first, CS active low.
class SpiMaster {
public:
    SpiMaster(PinBus& bus, bool mode3, int cs = 3) : bus_(bus), idle_(mode3), cs_(cs) {
        set(idle_, false, true);
    }
    // One CS-framed transfer: sends `out`, then `readCount` bytes of 0xFF, returns what came
    // back during the whole transfer.
    Bytes transfer(const Bytes& out, std::size_t readCount = 0) {
        set(idle_, false, false);
        Bytes in;
        Bytes all = out;
        all.insert(all.end(), readCount, 0xFF);
        for (uint8_t byte : all) {
            uint8_t got = 0;
            for (int bit = 7; bit >= 0; --bit) {
                const bool mosi = ((byte >> bit) & 1) != 0;
                set(false, mosi, false);  // mode 0: data before the rising edge; mode 3: the falling edge
                set(true, mosi, false);
                got = static_cast<uint8_t>((got << 1) | (bus_.level(2) ? 1 : 0));
                if (!idle_) {
                    set(false, mosi, false);
                }
            }
            in.push_back(got);
        }
        set(idle_, false, true);
        return Bytes(in.begin() + static_cast<std::ptrdiff_t>(out.size()), in.end());
    }
    uint8_t status() { return transfer({0x05}, 1)[0]; }

private:
    void set(bool sck, bool mosi, bool csHigh) {
        bus_.advance(kStepNanos);
        const auto values = static_cast<sim::PinMask>((sck ? pinBit(0) : 0) | (mosi ? pinBit(1) : 0) |
                                                      (csHigh ? pinBit(cs_) : 0));
        bus_.setChipPins(values, static_cast<sim::PinMask>(pinBit(0) | pinBit(1) | pinBit(cs_)));
    }

    PinBus& bus_;
    bool idle_;
    int cs_;
};

template <typename T, typename... Args>
T* attach(PinBus& bus, Args... args) {
    auto peripheral = std::make_unique<T>(bus.newOwner(), args...);
    T* raw = peripheral.get();
    bus.addPeripheral(std::move(peripheral));
    return raw;
}

Bytes iota(std::size_t count, uint8_t first) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(first + i);
    }
    return bytes;
}

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& testCase) {
    return testCase.param.name;
}

// ---- I2C target --------------------------------------------------------------------------

struct I2cWriteCase {
    std::string name;
    uint8_t address;          // the address the master uses
    int nackAtByte;
    bool nackAddress;
    Bytes data;               // pointer byte first
    std::vector<bool> acks;   // expected, address first
    Bytes registers;          // expected, 8 registers
};

class I2cTargetWrite : public ::testing::TestWithParam<I2cWriteCase> {};

TEST_P(I2cTargetWrite, StoresWhatItAcknowledges) {
    const I2cWriteCase& c = GetParam();
    PinBus bus;
    I2cMaster master(bus);
    auto* target = attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x48}, false, std::size_t{8});
    target->setNackAtByte(c.nackAtByte);
    target->setNackAddress(c.nackAddress);
    EXPECT_EQ(master.writeTransaction(c.address, c.data), c.acks);
    EXPECT_EQ(target->registers(), c.registers);
    EXPECT_TRUE(master.sdaLevel()) << "the target let SDA go";
}

INSTANTIATE_TEST_SUITE_P(
    Table, I2cTargetWrite,
    ::testing::Values(
        I2cWriteCase{"PointerThenData", 0x48, -1, false, {2, 0xA1, 0xB2},
                     {true, true, true, true}, {0, 0, 0xA1, 0xB2, 0, 0, 0, 0}},
        I2cWriteCase{"WrapsAtTheEnd", 0x48, -1, false, {7, 1, 2},
                     {true, true, true, true}, {2, 0, 0, 0, 0, 0, 0, 1}},
        I2cWriteCase{"OtherAddressIsNotAnswered", 0x49, -1, false, {0, 5},
                     {false, false, false}, {0, 0, 0, 0, 0, 0, 0, 0}},
        I2cWriteCase{"NackAddress", 0x48, -1, true, {0, 5},
                     {false, false, false}, {0, 0, 0, 0, 0, 0, 0, 0}},
        I2cWriteCase{"NackAtFirstByte", 0x48, 0, false, {0, 5},
                     {true, false, false}, {0, 0, 0, 0, 0, 0, 0, 0}},
        I2cWriteCase{"NackAtThirdByte", 0x48, 2, false, {0, 5, 6, 7},
                     {true, true, true, false, false}, {5, 0, 0, 0, 0, 0, 0, 0}}),
    caseName<I2cWriteCase>);

TEST(I2cTarget, ReadsFromThePointerAfterARepeatedStart) {
    PinBus bus;
    I2cMaster master(bus);
    auto* target = attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x48}, false, std::size_t{16});
    target->registers() = iota(16, 0x30);
    EXPECT_EQ(master.readFrom(0x48, 14, 4), (Bytes{0x3E, 0x3F, 0x30, 0x31}));
    // A read without a pointer goes on from where the last one stopped.
    EXPECT_EQ(master.readTransaction(0x48, 2), (Bytes{0x32, 0x33}));
    EXPECT_TRUE(master.sdaLevel());
}

TEST(I2cTarget, ReadsBitsThatStartWithZeroAndOne) {
    PinBus bus;
    I2cMaster master(bus);
    auto* target = attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x10}, false, std::size_t{4});
    target->registers() = {0x00, 0xFF, 0x5A, 0x81};
    EXPECT_EQ(master.readFrom(0x10, 0, 4), (Bytes{0x00, 0xFF, 0x5A, 0x81}));
}

TEST(I2cTarget, MasterNackEndsTheReadAndReleasesSda) {
    PinBus bus;
    I2cMaster master(bus);
    auto* target = attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x10}, false, std::size_t{4});
    target->registers() = {0x00, 0x00, 0x00, 0x00};
    master.start();
    ASSERT_TRUE(master.write(0x21));
    EXPECT_EQ(master.read(false), 0x00);
    // After the NACK the target must not drive the next bit (0x00 would pull SDA low).
    EXPECT_EQ(master.read(false), 0xFF);
    master.stop();
}

struct TenBitCase {
    std::string name;
    uint16_t targetAddress;
    uint16_t masterAddress;
    bool answered;
};

class I2cTenBit : public ::testing::TestWithParam<TenBitCase> {};

TEST_P(I2cTenBit, WritesAndReadsWithARepeatedStart) {
    const TenBitCase& c = GetParam();
    PinBus bus;
    I2cMaster master(bus);
    auto* target = attach<sim::I2cTarget>(bus, sim::I2cPins{}, c.targetAddress, true, std::size_t{8});
    const auto first = static_cast<uint8_t>(0xF0 | ((c.masterAddress >> 7) & 0x06));
    master.start();
    const bool firstAck = master.write(first);
    const bool secondAck = master.write(static_cast<uint8_t>(c.masterAddress & 0xFF));
    master.write(3);
    master.write(0x77);
    master.write(0x66);
    // The read goes on from the pointer after the write: register 5.
    target->registers()[5] = 0x55;
    master.repeatedStart();
    const bool readAck = master.write(static_cast<uint8_t>(first | 1));
    const uint8_t read = master.read(false);
    master.stop();
    EXPECT_EQ(secondAck, c.answered);
    EXPECT_EQ(readAck, c.answered);
    if (c.answered) {
        EXPECT_TRUE(firstAck);
        EXPECT_EQ(target->registers()[3], 0x77);
        EXPECT_EQ(target->registers()[4], 0x66);
        EXPECT_EQ(read, 0x55);
    } else {
        EXPECT_EQ(target->registers()[3], 0);
    }
    // A read with the 11110AA prefix but no addressing before it is not answered.
    master.start();
    EXPECT_FALSE(master.write(static_cast<uint8_t>(first | 1)));
    master.stop();
}

INSTANTIATE_TEST_SUITE_P(Table, I2cTenBit,
                         ::testing::Values(TenBitCase{"Same", 0x2A5, 0x2A5, true},
                                           TenBitCase{"OtherLowByte", 0x2A5, 0x2A6, false},
                                           TenBitCase{"OtherHighBits", 0x2A5, 0x1A5, false}),
                         caseName<TenBitCase>);

TEST(I2cTarget, TenBitTargetIgnoresSevenBitAddressOfItsLowBits) {
    PinBus bus;
    I2cMaster master(bus);
    attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x050}, true, std::size_t{2});
    master.start();
    EXPECT_FALSE(master.write(0x50 << 1));
    master.stop();
}

TEST(I2cTarget, HoldsSdaLowUntilLetGo) {
    PinBus bus;
    I2cMaster master(bus);
    auto* target = attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x48}, false, std::size_t{2});
    target->setHoldSdaLow(bus, true);
    EXPECT_FALSE(master.sdaLevel());
    master.stop();
    EXPECT_FALSE(master.sdaLevel()) << "a STOP cannot free a stuck bus";
    target->setHoldSdaLow(bus, false);
    EXPECT_TRUE(master.sdaLevel());
    EXPECT_EQ(master.writeTransaction(0x48, {1, 9}), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(target->registers()[1], 9);
}

TEST(I2cTarget, TwoTargetsShareTheBus) {
    PinBus bus;
    I2cMaster master(bus);
    auto* a = attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x20}, false, std::size_t{2});
    auto* b = attach<sim::I2cTarget>(bus, sim::I2cPins{}, uint16_t{0x21}, false, std::size_t{2});
    master.writeTransaction(0x21, {0, 0xAB});
    master.writeTransaction(0x20, {1, 0xCD});
    EXPECT_EQ(a->registers(), (Bytes{0, 0xCD}));
    EXPECT_EQ(b->registers(), (Bytes{0xAB, 0}));
    EXPECT_EQ(master.readFrom(0x21, 0, 1), (Bytes{0xAB}));
}

// ---- 24C EEPROM ----------------------------------------------------------------------------

struct EepromCase {
    std::string name;
    std::size_t size;
    std::size_t page;
    uint8_t deviceAddress;   // the master's, with block bits for a small EEPROM
    Bytes wordAddress;
    std::size_t start;       // the array address the word address means
};

class I2cEepromPages : public ::testing::TestWithParam<EepromCase> {};

TEST_P(I2cEepromPages, PageWriteWrapsInThePageAndReadsRunOn) {
    const EepromCase& c = GetParam();
    PinBus bus;
    I2cMaster master(bus);
    auto* eeprom = attach<sim::I2cEeprom>(bus, sim::I2cPins{}, uint8_t{0x50}, c.size, c.page);
    // Start two bytes before the end of a page and write four: the last two wrap to its start.
    Bytes frame = c.wordAddress;
    const Bytes data{0xA0, 0xA1, 0xA2, 0xA3};
    frame.insert(frame.end(), data.begin(), data.end());
    const auto acks = master.writeTransaction(c.deviceAddress, frame);
    EXPECT_EQ(acks, std::vector<bool>(frame.size() + 1, true));
    const std::size_t pageStart = c.start / c.page * c.page;
    Bytes expected(c.size, 0xFF);
    expected[c.start] = 0xA0;
    expected[c.start + 1] = 0xA1;
    expected[pageStart] = 0xA2;
    expected[pageStart + 1] = 0xA3;
    EXPECT_EQ(eeprom->contents(), expected);

    // A sequential read from the last byte wraps to the start of the whole array.
    eeprom->contents()[c.size - 1] = 0x11;
    eeprom->contents()[0] = 0x22;
    Bytes last;
    if (c.wordAddress.size() == 2) {
        last = {static_cast<uint8_t>((c.size - 1) >> 8), static_cast<uint8_t>(c.size - 1)};
    } else {
        last = {static_cast<uint8_t>(c.size - 1)};
    }
    const uint8_t lastBlockAddress = static_cast<uint8_t>(0x50 | ((c.size - 1) >> 8 & (c.wordAddress.size() == 1 ? 7 : 0)));
    master.start();
    master.write(static_cast<uint8_t>(lastBlockAddress << 1));
    for (uint8_t byte : last) {
        master.write(byte);
    }
    master.repeatedStart();
    master.write(static_cast<uint8_t>(lastBlockAddress << 1 | 1));
    const uint8_t a = master.read(true);
    const uint8_t b = master.read(true);
    const uint8_t d = master.read(false);
    master.stop();
    EXPECT_EQ((Bytes{a, b, d}), (Bytes{0x11, 0x22, 0xFF}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, I2cEepromPages,
    ::testing::Values(EepromCase{"C02OneByteAddress", 256, 8, 0x50, {0x16}, 0x16},
                      EepromCase{"C16BlockBitsInDeviceAddress", 2048, 16, 0x53, {0x2E}, 0x32E},
                      EepromCase{"C64TwoByteAddress", 8192, 32, 0x50, {0x12, 0x3E}, 0x123E}),
    caseName<EepromCase>);

TEST(I2cEeprom, WritesOnStopAndIsBusyForTheWriteCycle) {
    PinBus bus;
    I2cMaster master(bus);
    auto* eeprom = attach<sim::I2cEeprom>(bus, sim::I2cPins{}, uint8_t{0x50}, std::size_t{256}, std::size_t{8});
    eeprom->setWriteCycleNanos(1'000'000);
    master.start();
    master.write(0xA0);
    master.write(0x00);
    master.write(0x42);
    EXPECT_EQ(eeprom->contents()[0], 0xFF) << "nothing is written before the STOP";
    master.stop();
    EXPECT_EQ(eeprom->contents()[0], 0x42);
    master.start();
    EXPECT_FALSE(master.write(0xA0)) << "busy writing";
    master.stop();
    bus.advance(1'000'000);
    master.start();
    EXPECT_TRUE(master.write(0xA0));
    master.stop();
}

// ---- SPI flash ------------------------------------------------------------------------------

class SpiFlashModes : public ::testing::TestWithParam<bool> {};

TEST_P(SpiFlashModes, AnswersJedecIdAndReads) {
    PinBus bus;
    SpiMaster master(bus, GetParam());
    auto* flash = attach<sim::SpiFlash>(bus, sim::SpiPins{}, uint32_t{0xEF4015}, std::size_t{8192});
    flash->contents()[0x1FFE] = 0x12;
    flash->contents()[0x1FFF] = 0x34;
    flash->contents()[0] = 0x56;
    EXPECT_EQ(master.transfer({0x9F}, 3), (Bytes{0xEF, 0x40, 0x15}));
    EXPECT_EQ(master.transfer({0x03, 0x00, 0x1F, 0xFE}, 3), (Bytes{0x12, 0x34, 0x56}));
    EXPECT_TRUE(bus.level(2)) << "MISO released with CS high";
}

TEST_P(SpiFlashModes, ProgramsOnlyWithTheLatchAndEraseSetsOnes) {
    PinBus bus;
    SpiMaster master(bus, GetParam());
    auto* flash = attach<sim::SpiFlash>(bus, sim::SpiPins{}, uint32_t{0xEF4015}, std::size_t{8192});
    flash->setBusyNanos(10'000'000, 20'000'000);
    // Without write enable nothing changes.
    master.transfer({0x02, 0x00, 0x10, 0x00, 0x00});
    EXPECT_EQ(flash->contents()[0x1000], 0xFF);
    // Write enable, then program across the page end: it wraps to the page start.
    master.transfer({0x06});
    EXPECT_EQ(master.status(), 0x02);
    master.transfer({0x02, 0x00, 0x10, 0xFF, 0xF0, 0x0F});
    EXPECT_EQ(master.status() & 0x03, 0x01) << "busy, latch cleared";
    EXPECT_EQ(flash->contents()[0x10FF], 0xF0);
    EXPECT_EQ(flash->contents()[0x1000], 0x0F);
    EXPECT_EQ(flash->contents()[0x1100], 0xFF);
    // A busy chip ignores other commands.
    master.transfer({0x06});
    EXPECT_EQ(master.status(), 0x01);
    bus.advance(10'000'000);
    EXPECT_EQ(master.status(), 0x00);
    // Programming only clears bits.
    master.transfer({0x06});
    master.transfer({0x02, 0x00, 0x10, 0xFF, 0x3C});
    bus.advance(10'000'000);
    EXPECT_EQ(flash->contents()[0x10FF], 0x30);
    // Sector erase sets the whole 4 KiB sector, and nothing beyond it, back to 0xFF.
    flash->contents()[0x0FFF] = 0x00;
    master.transfer({0x06});
    master.transfer({0x20, 0x00, 0x1A, 0xBC});
    EXPECT_EQ(master.status() & 0x01, 0x01);
    EXPECT_EQ(flash->contents()[0x10FF], 0xFF);
    EXPECT_EQ(flash->contents()[0x1000], 0xFF);
    EXPECT_EQ(flash->contents()[0x0FFF], 0x00);
    bus.advance(20'000'000);
    EXPECT_EQ(master.status(), 0x00);
    // Write disable drops the latch.
    master.transfer({0x06});
    master.transfer({0x04});
    EXPECT_EQ(master.status(), 0x00);
}

INSTANTIATE_TEST_SUITE_P(Modes, SpiFlashModes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                             return std::string(mode.param ? "Mode3" : "Mode0");
                         });

TEST(SpiFlash, OtherChipSelectLeavesItQuiet) {
    PinBus bus;
    SpiMaster other(bus, false, 4);
    attach<sim::SpiFlash>(bus, sim::SpiPins{0, 1, 2, 3}, uint32_t{0xEF4015}, std::size_t{4096});
    EXPECT_EQ(other.transfer({0x9F}, 3), (Bytes{0xFF, 0xFF, 0xFF}));
}

TEST(SpiFlash, CsRisingInsideAByteCancelsTheCommand) {
    PinBus bus;
    attach<sim::SpiFlash>(bus, sim::SpiPins{}, uint32_t{0xEF4015}, std::size_t{4096});
    SpiMaster master(bus, false);
    // Seven bits of 0x06 and CS up: no write enable.
    bus.setChipPins(0, 0x0F);
    for (int bit = 7; bit >= 1; --bit) {
        const auto mosi = static_cast<sim::PinMask>(((0x06 >> bit) & 1) != 0 ? pinBit(1) : 0);
        bus.setChipPins(mosi, 0x0F);
        bus.setChipPins(static_cast<sim::PinMask>(mosi | pinBit(0)), 0x0F);
        bus.setChipPins(mosi, 0x0F);
    }
    bus.setChipPins(pinBit(3), 0x0F);
    EXPECT_EQ(master.status(), 0x00);
}

}  // namespace
