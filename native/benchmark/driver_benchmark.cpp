// The simulated driver's own cost per call in instant mode, called straight from C++: what a
// binding pays below itself. Subtracted from a binding's cost, it leaves the binding's share.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "d2xx.h"
#include "sim_control.h"

namespace {

// One attached device, open, with instant transfers.
FT_HANDLE openInstantDevice() {
    simReset();
    const uint8_t serial[] = {'B', '1'};
    const uint8_t description[] = {'B', 'e', 'n', 'c', 'h'};
    const int32_t device = simAddDevice(0, 8, 0x04036014, 0x1011, serial, sizeof serial,
                                        description, sizeof description);
    FT_HANDLE handle = nullptr;
    if (device < 0 || FT_Open(0, &handle) != FT_OK || simSetInstantTransfers(device, 1) != 0) {
        std::abort();
    }
    return handle;
}

void getQueueStatus(benchmark::State& state) {
    const FT_HANDLE handle = openInstantDevice();
    uint32_t queued = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FT_GetQueueStatus(handle, &queued));
        benchmark::DoNotOptimize(queued);
    }
}

void read(benchmark::State& state) {
    const FT_HANDLE handle = openInstantDevice();
    const auto size = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> buffer(size);
    uint32_t received = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FT_Read(handle, buffer.data(), size, &received));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void write(benchmark::State& state) {
    const FT_HANDLE handle = openInstantDevice();
    const auto size = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> buffer(size, 0x55);
    uint32_t written = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FT_Write(handle, buffer.data(), size, &written));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(getQueueStatus);
BENCHMARK(read)->Arg(1)->Arg(64)->Arg(256)->Arg(257)->Arg(4096)->Arg(65536);
BENCHMARK(write)->Arg(1)->Arg(64)->Arg(256)->Arg(257)->Arg(4096)->Arg(65536);
