// libFuzzer target: a simulated JTAG chain of devices the input describes, on the MPSSE
// engine's pins, clocked by command bytes from the input, with TRST* toggled where the input
// says. Whatever happens, nothing may crash or read or write out of bounds (AddressSanitizer,
// UndefinedBehaviorSanitizer), every device must be in the same TAP state (they share TCK, TMS
// and TRST*), every instruction must fit its register, and five clocks with TMS high must reset.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "chip_kind.h"
#include "mpsse_engine.h"
#include "peripherals/jtag_chain.h"
#include "pin_bus.h"

namespace {

constexpr int kTrst = 4;

[[noreturn]] void violated(const char* condition, int line) {
    std::fprintf(stderr, "JTAG invariant violated at line %d: %s\n", line, condition);
    std::abort();
}

#define REQUIRE(condition) ((condition) ? void(0) : violated(#condition, __LINE__))

sim::JtagDeviceSpec deviceFrom(FuzzedDataProvider& input) {
    sim::JtagDeviceSpec spec;
    spec.irLength = input.ConsumeIntegralInRange(2, 32);
    const uint32_t mask = spec.irLength == 32 ? 0xFFFFFFFFu : (1u << spec.irLength) - 1;
    spec.irCapture = (input.ConsumeIntegral<uint32_t>() & mask & ~3u) | 1u;
    spec.hasIdcode = input.ConsumeBool();
    spec.idcode = input.ConsumeIntegral<uint32_t>() | 1u;
    spec.idcodeInstruction = input.ConsumeIntegral<uint32_t>() & mask;
    spec.hasUsercode = input.ConsumeBool();
    spec.usercode = input.ConsumeIntegral<uint32_t>();
    spec.usercodeInstruction = input.ConsumeIntegral<uint32_t>() & mask;
    spec.hasMemory = spec.irLength >= 8 && input.ConsumeBool();
    return spec;
}

void checkChain(sim::JtagChain& chain) {
    for (std::size_t i = 0; i < chain.size(); ++i) {
        sim::JtagDevice& device = chain.device(i);
        REQUIRE(device.state() == chain.device(0).state());
        const int bits = device.spec().irLength;
        REQUIRE(bits == 32 || (device.instruction() >> bits) == 0);
        REQUIRE(device.memory() == nullptr || device.memory()->words().size() == sim::JtagMemory::kWords);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<sim::JtagDeviceSpec> specs;
    const int count = input.ConsumeIntegralInRange(1, 4);
    for (int i = 0; i < count; ++i) {
        specs.push_back(deviceFrom(input));
        REQUIRE(sim::JtagDevice::valid(specs.back()));
    }
    sim::PinBus bus;
    bus.setRecording(input.ConsumeBool(), 4096);
    sim::JtagPins pins;
    pins.trst = input.ConsumeBool() ? kTrst : -1;
    auto* chain = static_cast<sim::JtagChain*>(
        bus.peripheral(bus.addPeripheral(std::make_unique<sim::JtagChain>(bus.newOwner(), pins, specs))));
    for (std::size_t i = 0; i < chain->size(); ++i) {
        if (sim::JtagMemory* memory = chain->device(i).memory()) {
            memory->setBusyClocks(input.ConsumeIntegralInRange<uint64_t>(0, 64),
                                  input.ConsumeIntegralInRange<uint64_t>(0, 64));
        }
    }
    sim::MpsseEngine engine(sim::chipKind(sim::kType232H), bus);
    const int trstOwner = bus.newOwner();
    std::vector<uint8_t> replies;
    const int writes = input.ConsumeIntegralInRange(1, 4);
    for (int w = 0; w < writes && input.remaining_bytes() > 0; ++w) {
        const std::vector<uint8_t> bytes =
            input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 256));
        engine.write(bytes.data(), bytes.size(), replies);
        checkChain(*chain);
        if (input.ConsumeBool()) {
            bus.drive(trstOwner, kTrst, input.ConsumeBool() ? sim::Drive::Low : sim::Drive::High);
            engine.pinsChanged(replies);
            checkChain(*chain);
        }
    }
    // TCK, TDI and TMS as outputs, TRST* released, then five clocks with TMS high.
    bus.drive(trstOwner, kTrst, sim::Drive::Released);
    engine.reset();
    const uint8_t resetTap[] = {0x80, 0x08, 0x0B, 0x4B, 0x04, 0x1F};
    engine.write(resetTap, sizeof resetTap, replies);
    for (std::size_t i = 0; i < chain->size(); ++i) {
        REQUIRE(chain->device(i).state() == sim::TapState::TestLogicReset);
    }
    return 0;
}
