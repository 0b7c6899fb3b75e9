// libFuzzer target: the simulated chip's MPSSE engine reading command bytes from the fuzz input,
// split across writes at points the input chooses, on a chip kind the input chooses, with an I2C
// target, a 24C EEPROM and an SPI flash answering on the pins, and replies given room for a few
// bytes at times (the engine pauses until it may go on). Whatever the bytes, the engine
// must neither crash nor read or write out of bounds (AddressSanitizer, UndefinedBehaviorSanitizer),
// nor answer more than a command can produce or than it has room for, and a reset must always end
// a wait.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "chip_kind.h"
#include "mpsse_engine.h"
#include "peripherals/i2c_eeprom.h"
#include "peripherals/i2c_target.h"
#include "peripherals/spi_flash.h"
#include "pin_bus.h"

namespace {

constexpr uint32_t kTypes[] = {sim::kType2232C, sim::kType2232H, sim::kType4232H, sim::kType232H,
                               sim::kType232R};
// The most a byte written can make the engine answer: 0xFA and the opcode of a bad command, or
// one byte per byte clocked in by a read of at most 65536 bytes given by three command bytes.
constexpr std::size_t kMaxRepliesPerByte = 65536;

[[noreturn]] void violated(const char* condition, int line) {
    std::fprintf(stderr, "MPSSE invariant violated at line %d: %s\n", line, condition);
    std::abort();
}

#define REQUIRE(condition) ((condition) ? void(0) : violated(#condition, __LINE__))

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const sim::ChipKind& kind = sim::chipKind(input.PickValueInArray(kTypes));
    sim::PinBus bus;
    bus.setRecording(input.ConsumeBool(), 4096);
    if (input.ConsumeBool()) {
        bus.connect(1, 2);
        bus.addPeripheral(std::make_unique<sim::I2cTarget>(bus.newOwner(), sim::I2cPins{}, 0x48, false, 16));
        bus.addPeripheral(std::make_unique<sim::I2cEeprom>(bus.newOwner(), sim::I2cPins{}, 0x50, 256, 8));
    } else {
        bus.addPeripheral(std::make_unique<sim::SpiFlash>(bus.newOwner(), sim::SpiPins{}, 0xEF4014, 4096));
    }
    sim::MpsseEngine engine(kind, bus);
    std::vector<uint8_t> replies;
    const int writes = input.ConsumeIntegralInRange(1, 4);
    for (int w = 0; w < writes && input.remaining_bytes() > 0; ++w) {
        const std::vector<uint8_t> bytes =
            input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 512));
        // Replies may find room for a few bytes only: the engine pauses there, and goes on later.
        const bool bounded = input.ConsumeBool();
        const std::size_t room =
            bounded ? input.ConsumeIntegralInRange<std::size_t>(0, 64) : sim::MpsseEngine::kUnbounded;
        const std::size_t before = replies.size();
        const std::size_t taken = engine.write(bytes.data(), bytes.size(), replies, room);
        REQUIRE(taken <= bytes.size());
        REQUIRE(replies.size() - before <= (bytes.size() + 3) * kMaxRepliesPerByte);
        REQUIRE(!bounded || replies.size() - before <= room);
        if (bounded && input.ConsumeBool()) {
            engine.resume(replies);
        }
        if (input.ConsumeBool()) {
            bus.drive(bus.newOwner(), input.ConsumeIntegralInRange(0, sim::kPinCount - 1),
                      input.ConsumeBool() ? sim::Drive::Low : sim::Drive::High);
            engine.pinsChanged(replies);
        }
    }
    engine.reset();
    REQUIRE(!engine.waiting());
    const uint8_t readLow = 0x81;
    const std::size_t before = replies.size();
    engine.write(&readLow, 1, replies);
    REQUIRE(replies.size() == before + 1);
    if (bus.waveformVcd().empty()) {
        violated("an empty waveform", __LINE__);
    }
    return 0;
}
