// Engine benchmarks: per-operation costs on sparse and dense graphs at several sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "simulator.hpp"

using korvane::Simulator;

namespace {

struct FastRandom final : korvane::RandomSource {
    std::mt19937 gen{12345};
    std::uint32_t next_u32() override { return gen(); }
};

// A random graph with roughly `degree` neighbours per vertex and random VOPs.
Simulator random_graph(std::size_t n, std::size_t degree, unsigned seed,
                       korvane::RowLayout layout = korvane::RowLayout::automatic) {
    Simulator sim(n, layout);
    std::mt19937 gen(seed);
    for (std::size_t v = 0; v < n; ++v) sim.set_vop(v, static_cast<korvane::Vop>(gen() % 24));
    const std::size_t edges = n * degree / 2;
    for (std::size_t e = 0; e < edges; ++e) {
        const std::size_t a = gen() % n, b = gen() % n;
        if (a != b) sim.add_edge(a, b);
    }
    return sim;
}

void BM_SingleQubitGate(benchmark::State& state) {
    Simulator sim(static_cast<std::size_t>(state.range(0)));
    std::size_t q = 0;
    for (auto _ : state) {
        sim.h(q);
        q = (q + 1) & 63;
    }
}
BENCHMARK(BM_SingleQubitGate)->Arg(64)->Arg(1 << 20);

void BM_LocalComplement(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Simulator sim = random_graph(n, static_cast<std::size_t>(state.range(1)), 1);
    std::size_t v = 0;
    for (auto _ : state) {
        sim.local_complement(v);
        v = (v + 7) % n;
    }
}
BENCHMARK(BM_LocalComplement)->Args({1000, 4})->Args({1000000, 4})->Args({1024, 512})->Args({4096, 2048});

void BM_ControlledZ(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Simulator sim = random_graph(n, static_cast<std::size_t>(state.range(1)), 2);
    std::mt19937 gen(3);
    for (auto _ : state) {
        const std::size_t a = gen() % n, b = gen() % n;
        if (a != b) sim.cz(a, b);
    }
}
BENCHMARK(BM_ControlledZ)->Args({1000, 4})->Args({1000000, 4})->Args({1024, 512})->Args({4096, 2048});

// Clearing a Hadamard-like VOP: three complementations at node, partner, node, done as one
// pivot; the graph changes every time, so the rows do not settle into one shape. A third
// argument of 1 keeps windowed rows where the size would pick full ones.
void BM_RemoveVopPivot(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto layout = state.range(2) != 0 ? korvane::RowLayout::windowed : korvane::RowLayout::automatic;
    Simulator sim = random_graph(n, static_cast<std::size_t>(state.range(1)), 4, layout);
    std::mt19937 gen(5);
    for (auto _ : state) {
        const std::size_t node = gen() % n, avoid = gen() % n;
        if (node == avoid) continue;
        sim.set_vop(node, 10);
        sim.remove_vop(node, avoid);
    }
}
BENCHMARK(BM_RemoveVopPivot)
    ->Args({1000, 4, 0})
    ->Args({1000, 4, 1})
    ->Args({1000000, 4, 0})
    ->Args({1000, 32, 0})
    ->Args({1000, 32, 1})
    ->Args({1024, 512, 0})
    ->Args({1024, 512, 1});

// Measures along a fixed axis on a graph rebuilt when it runs out of edges.
void measure_rule(benchmark::State& state, std::uint8_t axis) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto degree = static_cast<std::size_t>(state.range(1));
    const Simulator base = random_graph(n, degree, 4);
    Simulator sim = base;
    FastRandom rng;
    std::size_t v = 0, done = 0;
    for (auto _ : state) {
        // Re-entangle the measured vertex so every measurement has neighbours to rewrite.
        if (sim.is_isolated(v)) {
            state.PauseTiming();
            if (++done > n / 4) {
                sim = base;
                done = 0;
            }
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(sim.measure(v, axis, rng));
        v = (v + 13) % n;
    }
}
void BM_MeasureX(benchmark::State& state) { measure_rule(state, 0); }
void BM_MeasureY(benchmark::State& state) { measure_rule(state, 1); }
void BM_MeasureZ(benchmark::State& state) { measure_rule(state, 2); }
BENCHMARK(BM_MeasureX)->Args({1000, 4})->Args({1000000, 4})->Args({1024, 512});
BENCHMARK(BM_MeasureY)->Args({1000, 4})->Args({1000000, 4})->Args({1024, 512});
BENCHMARK(BM_MeasureZ)->Args({1000, 4})->Args({1000000, 4})->Args({1024, 512});

// The engine's part of W2: an L x L cluster measured X/Y in a checkerboard, row by row,
// whose frontier grows dense. One iteration is the whole sweep; the build is not timed.
void BM_ClusterCheckerboard(benchmark::State& state) {
    const auto L = static_cast<std::size_t>(state.range(0));
    FastRandom rng;
    for (auto _ : state) {
        state.PauseTiming();
        Simulator sim(L * L);
        for (std::size_t q = 0; q < L * L; ++q) sim.h(q);
        for (std::size_t q = 0; q < L * L; ++q) {
            if (q % L + 1 < L) sim.cz(q, q + 1);
            if (q + L < L * L) sim.cz(q, q + L);
        }
        state.ResumeTiming();
        for (std::size_t q = 0; q < L * L; ++q)
            benchmark::DoNotOptimize(sim.measure(q, static_cast<std::uint8_t>((q / L + q % L) % 2), rng));
    }
}
BENCHMARK(BM_ClusterCheckerboard)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_PeekFewQubits(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Simulator sim = random_graph(n, 4, 5);
    FastRandom rng;
    const std::vector<std::size_t> qubits{0, n / 2, n - 1};
    for (auto _ : state) benchmark::DoNotOptimize(sim.peek_measure_set(qubits, rng));
}
BENCHMARK(BM_PeekFewQubits)->Arg(1000)->Arg(1000000);

void BM_EntangledGroupSmallComponent(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    Simulator sim(n);
    for (std::size_t i = 0; i + 1 < 16; ++i) sim.add_edge(i, i + 1);  // a 16-qubit chain
    for (auto _ : state) benchmark::DoNotOptimize(sim.entangled_group(0));
}
BENCHMARK(BM_EntangledGroupSmallComponent)->Arg(1000)->Arg(1000000);

}  // namespace
