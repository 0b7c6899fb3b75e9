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

using sim::PinBus;
using sim::PinMask;
using sim::pinBit;
using Bytes = std::vector<uint8_t>;
using Acks = std::vector<bool>;

constexpr int kScl = 0, kSda = 1, kSdaIn = 2;
constexpr uint64_t kStepNanos = 1250;

// An I2C master on the chip's pins: SCL push-pull, SDA an output only while it sends a 0 (as
// on a chip without open drain), read back on pin 2.
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
        start();
    }
    void stop() {
        set(false, false);
        set(true, false);
        set(true, true);
    }
    // Sends a byte MSB first; true when acknowledged.
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

    // A whole write; the acknowledgements, the address's first.
    Acks writeTransaction(uint8_t address7, const Bytes& data) {
        start();
        Acks acks{write(static_cast<uint8_t>(address7 << 1))};
        for (uint8_t byte : data) {
            acks.push_back(write(byte));
        }
        stop();
        return acks;
    }
    // Writes `pointer` (if any), then a (repeated) START and reads `count` bytes.
    Bytes readFrom(uint8_t address7, const Bytes& pointer, std::size_t count) {
        start();
        if (!pointer.empty()) {
            write(static_cast<uint8_t>(address7 << 1));
            for (uint8_t byte : pointer) {
                write(byte);
            }
            repeatedStart();
        }
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
        bus_.setChipPins(static_cast<PinMask>(scl ? pinBit(kScl) : 0),
                         static_cast<PinMask>(pinBit(kScl) | (sda ? 0 : pinBit(kSda))));
    }

    PinBus& bus_;
};

// An SPI master in mode 0 (SCK idle low) or 3 (idle high), MSB first, CS active low.
class SpiMaster {
public:
    SpiMaster(PinBus& bus, bool mode3, int cs = 3) : bus_(bus), idle_(mode3), cs_(cs) { set(idle_, false, true); }
    // One CS-framed transfer: sends `out`, then `readCount` bytes of 0xFF, returns what came
    // back after `out`. `bits` < 8 cuts the last byte short before CS rises.
    Bytes transfer(const Bytes& out, std::size_t readCount = 0, int bits = 8) {
        set(idle_, false, false);
        Bytes in;
        Bytes all = out;
        all.insert(all.end(), readCount, 0xFF);
        for (std::size_t i = 0; i < all.size(); ++i) {
            uint8_t got = 0;
            for (int bit = 7; bit >= (i + 1 < all.size() ? 0 : 8 - bits); --bit) {
                const bool mosi = ((all[i] >> bit) & 1) != 0;
                set(false, mosi, false);  // mode 0: before the rising edge; mode 3: the falling
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
        bus_.setChipPins(
            static_cast<PinMask>((sck ? pinBit(0) : 0) | (mosi ? pinBit(1) : 0) | (csHigh ? pinBit(cs_) : 0)),
            static_cast<PinMask>(pinBit(0) | pinBit(1) | pinBit(cs_)));
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

sim::I2cTarget* attachTarget(PinBus& bus, uint16_t address, std::size_t registers, bool tenBit = false) {
    return attach<sim::I2cTarget>(bus, sim::I2cPins{}, address, tenBit, registers);
}

// ---- I2C target --------------------------------------------------------------------------

TEST(I2cTarget, StoresWhatItAcknowledges) {
    struct Case {
        const char* name;
        uint8_t address;  // the master's; the target's is 0x48
        bool nackAddress;
        int nackAtByte;
        Bytes data;  // pointer byte first
        Acks acks;   // address first
        Bytes registers;
    };
    const Bytes none(8, 0);
    for (const Case& c : {Case{"pointer then data", 0x48, false, -1, {2, 0xA1, 0xB2}, {1, 1, 1, 1},
                               {0, 0, 0xA1, 0xB2, 0, 0, 0, 0}},
                          {"wraps at the end", 0x48, false, -1, {7, 1, 2}, {1, 1, 1, 1}, {2, 0, 0, 0, 0, 0, 0, 1}},
                          {"other address", 0x49, false, -1, {0, 5}, {0, 0, 0}, none},
                          {"scripted address NACK", 0x48, true, -1, {0, 5}, {0, 0, 0}, none},
                          {"NACK of the pointer", 0x48, false, 0, {0, 5}, {1, 0, 0}, none},
                          {"NACK of byte 2", 0x48, false, 2, {0, 5, 6, 7}, {1, 1, 1, 0, 0},
                               {5, 0, 0, 0, 0, 0, 0, 0}}}) {
        SCOPED_TRACE(c.name);
        PinBus bus;
        I2cMaster master(bus);
        auto* target = attachTarget(bus, 0x48, 8);
        target->setNackAddress(c.nackAddress);
        target->setNackAtByte(c.nackAtByte);
        EXPECT_EQ(master.writeTransaction(c.address, c.data), c.acks);
        EXPECT_EQ(target->registers(), c.registers);
        EXPECT_TRUE(master.sdaLevel()) << "the target let SDA go";
    }
}

TEST(I2cTarget, ReadsBitsMsbFirstFromThePointerWrapsAndStopsAtTheNack) {
    PinBus bus;
    I2cMaster master(bus);
    attachTarget(bus, 0x10, 4)->registers() = {0x00, 0xFF, 0x5A, 0x81};
    attachTarget(bus, 0x11, 4);  // all zeros: it must not drive SDA in the other's reads
    EXPECT_EQ(master.readFrom(0x10, {2}, 4), (Bytes{0x5A, 0x81, 0x00, 0xFF}));
    // A read without a pointer goes on from where the last one stopped.
    EXPECT_EQ(master.readFrom(0x10, {}, 2), (Bytes{0x5A, 0x81}));
    EXPECT_TRUE(master.sdaLevel());
    master.start();
    ASSERT_TRUE(master.write(0x21));
    EXPECT_EQ(master.read(false), 0x00);
    EXPECT_EQ(master.read(false), 0xFF) << "after the NACK the target drives no more zeros";
    master.stop();
}

TEST(I2cTarget, TenBitAddressWritesAndReadsAfterARepeatedStart) {
    for (const int masterAddress : {0x025, 0x026, 0x125}) {
        SCOPED_TRACE(masterAddress);
        const bool answered = masterAddress == 0x025;
        PinBus bus;
        I2cMaster master(bus);
        auto* target = attachTarget(bus, 0x025, 8, true);
        const auto first = static_cast<uint8_t>(0xF0 | ((masterAddress >> 7) & 0x06));
        master.start();
        EXPECT_EQ(master.write(first), (masterAddress & 0x300) == 0);
        EXPECT_EQ(master.write(static_cast<uint8_t>(masterAddress & 0xFF)), answered);
        master.write(3);
        master.write(0x77);
        target->registers()[4] = 0x55;
        master.repeatedStart();
        EXPECT_EQ(master.write(static_cast<uint8_t>(first | 1)), answered);
        EXPECT_EQ(master.read(false), answered ? 0x55 : 0xFF) << "read on from the pointer";
        master.stop();
        EXPECT_EQ(target->registers()[3], answered ? 0x77 : 0);
        // Neither 11110AA + read without addressing before it, nor the low 7 bits, select it.
        master.start();
        EXPECT_FALSE(master.write(static_cast<uint8_t>(first | 1)));
        master.stop();
        master.start();
        EXPECT_FALSE(master.write(0x25 << 1));
        master.stop();
    }
}

TEST(I2cTarget, HoldsSdaLowUntilLetGo) {
    PinBus bus;
    I2cMaster master(bus);
    auto* target = attachTarget(bus, 0x48, 2);
    target->setHoldSdaLow(bus, true);
    EXPECT_FALSE(master.sdaLevel());
    master.stop();
    EXPECT_FALSE(master.sdaLevel()) << "a STOP cannot free a stuck bus";
    target->setHoldSdaLow(bus, false);
    EXPECT_EQ(master.writeTransaction(0x48, {1, 9}), (Acks{1, 1, 1}));
    EXPECT_EQ(target->registers()[1], 9);
}

// ---- 24C EEPROM ----------------------------------------------------------------------------

TEST(I2cEeprom, PageWriteWrapsInThePageAndReadsRunOnAcrossTheArray) {
    struct Case {
        const char* name;
        std::size_t size, page, start;  // `start`: two bytes before the end of a page
        uint8_t device;                 // the master's address for `start` (with block bits)
        Bytes word;                     // ... and its word address
        uint8_t lastDevice;             // the same for the array's last byte
        Bytes lastWord;
    };
    for (const Case& c : {Case{"24C02", 256, 8, 0x16, 0x50, {0x16}, 0x50, {0xFF}},
                          {"24C16 block bits", 2048, 16, 0x32E, 0x53, {0x2E}, 0x57, {0xFF}},
                          {"24C64 two-byte address", 8192, 32, 0x123E, 0x50, {0x12, 0x3E}, 0x50, {0x1F, 0xFF}}}) {
        SCOPED_TRACE(c.name);
        PinBus bus;
        I2cMaster master(bus);
        auto* eeprom = attach<sim::I2cEeprom>(bus, sim::I2cPins{}, uint8_t{0x50}, c.size, c.page);
        Bytes frame = c.word;
        frame.insert(frame.end(), {0xA0, 0xA1, 0xA2, 0xA3});
        EXPECT_EQ(master.writeTransaction(c.device, frame), Acks(frame.size() + 1, true));
        Bytes expected(c.size, 0xFF);
        expected[c.start] = 0xA0;
        expected[c.start + 1] = 0xA1;
        expected[c.start + 2 - c.page] = 0xA2;
        expected[c.start + 3 - c.page] = 0xA3;
        EXPECT_EQ(eeprom->contents(), expected);
        bus.advance(sim::I2cEeprom::kDefaultWriteCycleNanos);  // the write cycle is over
        eeprom->contents()[c.size - 1] = 0x11;
        eeprom->contents()[0] = 0x22;
        EXPECT_EQ(master.readFrom(c.lastDevice, c.lastWord, 3), (Bytes{0x11, 0x22, 0xFF}));
    }
}

// The write cycle runs from the STOP in bus time: 5 ms unless set; the address is refused
// until near its end (an address byte takes some 30 us here), and a STOP that wrote nothing
// starts none.
TEST(I2cEeprom, WritesOnStopAndIsBusyForTheWriteCycle) {
    for (const int64_t set : {int64_t{-1}, int64_t{1'000'000}, int64_t{0}}) {
        SCOPED_TRACE(set);
        const uint64_t cycle = set < 0 ? 5'000'000 : static_cast<uint64_t>(set);
        PinBus bus;
        I2cMaster master(bus);
        auto* eeprom = attach<sim::I2cEeprom>(bus, sim::I2cPins{}, uint8_t{0x50}, std::size_t{256}, std::size_t{8});
        if (set >= 0) { eeprom->setWriteCycleNanos(static_cast<uint64_t>(set)); }
        EXPECT_EQ(master.writeTransaction(0x50, {0x10}), (Acks{true, true})) << "a pointer write programs nothing";
        EXPECT_EQ(master.writeTransaction(0x50, {}), Acks{true});
        master.start();
        master.write(0xA0);
        master.write(0x00);
        master.write(0x42);
        EXPECT_EQ(eeprom->contents()[0], 0xFF) << "nothing is written before the STOP";
        const uint64_t stop = bus.nowNanos();
        master.stop();
        EXPECT_EQ(eeprom->contents()[0], 0x42);
        if (cycle > 0) {
            EXPECT_EQ(master.writeTransaction(0x50, {}), Acks{false}) << "busy writing";
            bus.advance(stop + cycle - 100'000 - bus.nowNanos());
            EXPECT_EQ(master.writeTransaction(0x50, {}), Acks{false}) << "busy to near its end";
        }
        bus.advance(stop + cycle > bus.nowNanos() ? stop + cycle - bus.nowNanos() : 0);
        EXPECT_EQ(master.writeTransaction(0x50, {}), Acks{true});
    }
}

// ---- SPI flash ------------------------------------------------------------------------------

class SpiFlashModes : public ::testing::TestWithParam<bool> {
protected:
    PinBus bus;
    SpiMaster master{bus, GetParam()};
    sim::SpiFlash* flash = attach<sim::SpiFlash>(bus, sim::SpiPins{}, uint32_t{0xEF4015}, std::size_t{8192});
};

TEST_P(SpiFlashModes, AnswersJedecIdAndReadsAcrossTheEnd) {
    flash->contents()[0x1FFE] = 0x12;
    flash->contents()[0x1FFF] = 0x34;
    flash->contents()[0] = 0x56;
    EXPECT_EQ(master.transfer({0x9F}, 3), (Bytes{0xEF, 0x40, 0x15}));
    EXPECT_EQ(master.transfer({0x03, 0x00, 0x1F, 0xFE}, 3), (Bytes{0x12, 0x34, 0x56}));
    EXPECT_TRUE(bus.level(2)) << "MISO released with CS high";
}

TEST_P(SpiFlashModes, ProgramsOnlyWithTheLatchAndEraseSetsOnes) {
    flash->setBusyNanos(10'000'000, 20'000'000);
    master.transfer({0x02, 0x00, 0x10, 0x00, 0x00});
    EXPECT_EQ(flash->contents()[0x1000], 0xFF) << "no write enable";
    master.transfer({0x06});
    EXPECT_EQ(master.status(), 0x02);
    master.transfer({0x02, 0x00, 0x10, 0xFF, 0xF0, 0x0F});  // wraps to the page start
    EXPECT_EQ(master.status(), 0x01) << "busy, latch cleared";
    EXPECT_EQ(flash->contents()[0x10FF], 0xF0);
    EXPECT_EQ(flash->contents()[0x1000], 0x0F);
    EXPECT_EQ(flash->contents()[0x1100], 0xFF);
    master.transfer({0x06});
    EXPECT_EQ(master.status(), 0x01) << "a busy chip ignores other commands";
    bus.advance(10'000'000);
    EXPECT_EQ(master.status(), 0x00);
    master.transfer({0x06});
    master.transfer({0x02, 0x00, 0x10, 0xFF, 0x3C});
    bus.advance(10'000'000);
    EXPECT_EQ(flash->contents()[0x10FF], 0x30) << "programming only clears bits";
    // Sector erase sets its 4 KiB, and nothing beyond, back to 0xFF.
    flash->contents()[0x0FFF] = 0x00;
    master.transfer({0x06});
    master.transfer({0x20, 0x00, 0x1A, 0xBC});
    EXPECT_EQ(master.status(), 0x01);
    EXPECT_EQ(flash->contents()[0x10FF], 0xFF);
    EXPECT_EQ(flash->contents()[0x1000], 0xFF);
    EXPECT_EQ(flash->contents()[0x0FFF], 0x00);
    bus.advance(20'000'000);
    master.transfer({0x06});
    master.transfer({0x04});
    EXPECT_EQ(master.status(), 0x00) << "write disable drops the latch";
}

INSTANTIATE_TEST_SUITE_P(Modes, SpiFlashModes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                             return std::string(mode.param ? "Mode3" : "Mode0");
                         });

TEST(SpiFlash, IgnoresOtherChipSelectsAndCommandsCutByCs) {
    PinBus bus;
    SpiMaster master(bus, false);
    SpiMaster other(bus, false, 4);
    attach<sim::SpiFlash>(bus, sim::SpiPins{}, uint32_t{0xEF4015}, std::size_t{4096});
    EXPECT_EQ(other.transfer({0x9F}, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    master.transfer({0x06}, 0, 7);  // CS rises after seven bits of write enable
    EXPECT_EQ(master.status(), 0x00);
}

}  // namespace
