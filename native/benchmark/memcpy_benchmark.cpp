// What the machine copies per second: the bound for any transfer that copies its bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kPage = 4096;

void memcpyBytes(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    // Source and destination half a page apart modulo the page size: on some processors (AMD
    // Zen among them) a copy whose destination lies just past its source modulo 4096 runs
    // many times slower, and that corner is not the bandwidth a transfer can expect.
    std::vector<char> block(2 * size + 3 * kPage, 'x');
    const auto start = reinterpret_cast<std::uintptr_t>(block.data());
    char* source = block.data() + (kPage - start % kPage);
    char* destination = source + size + kPage / 2;
    for (auto _ : state) {
        std::memcpy(destination, source, size);
        benchmark::DoNotOptimize(destination);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(memcpyBytes)->Arg(65536);
