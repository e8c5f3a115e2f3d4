// Shared helpers: the state a representation stands for, controllable random sources,
// random representations and circuits, and a plain adjacency-matrix reference graph.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "engine_error.hpp"
#include "oracle.hpp"
#include "simulator.hpp"

namespace korvane_test {

using korvane::Simulator;

// |+>^n, CZ across every edge, then the matrix of each qubit's VOP.
StateVector represented_state(const Simulator& sim);

std::string index_message(std::size_t len, std::size_t index);
std::string equal_operands_message(std::size_t q);

// The message of the EngineError that `f` throws, or a marker when it throws none.
template <class F>
std::string error_of(F&& f) {
    try {
        f();
    } catch (const korvane::EngineError& e) {
        return e.what();
    }
    return "<no EngineError>";
}

// Hands out the given values in order and counts draws; drawing past the end fails the test.
class ScriptedSource final : public korvane::RandomSource {
public:
    ScriptedSource(std::initializer_list<std::uint32_t> values) : values_(values) {}
    explicit ScriptedSource(std::vector<std::uint32_t> values) : values_(std::move(values)) {}
    std::uint32_t next_u32() override;
    std::size_t draws() const { return pos_; }

private:
    std::vector<std::uint32_t> values_;
    std::size_t pos_ = 0;
};

// Every value carries `bit` as its most significant bit; the low 31 bits vary so that only
// the top bit can decide the raw measurement bit.
class ForcedBitSource final : public korvane::RandomSource {
public:
    explicit ForcedBitSource(int bit, std::uint32_t seed = 12345) : bit_(bit), engine_(seed) {}
    std::uint32_t next_u32() override;
    std::size_t draws() const { return draws_; }

private:
    int bit_;
    std::mt19937 engine_;
    std::size_t draws_ = 0;
};

// Pseudo-random values that are all recorded, so a run can be replayed.
class RecordingSource final : public korvane::RandomSource {
public:
    explicit RecordingSource(std::uint32_t seed) : engine_(seed) {}
    std::uint32_t next_u32() override;
    const std::vector<std::uint32_t>& drawn() const { return drawn_; }

private:
    std::mt19937 engine_;
    std::vector<std::uint32_t> drawn_;
};

// Each pair an edge with probability `edge_probability`; every VOP uniform over 0..23.
Simulator random_representation(std::size_t n, double edge_probability, std::mt19937& rng,
                                korvane::RowLayout layout = korvane::RowLayout::automatic);

// Both row layouts, whatever the size: a test that loops over them covers each storage.
constexpr std::array<korvane::RowLayout, 2> kBothLayouts = {korvane::RowLayout::windowed, korvane::RowLayout::full};
const char* layout_name(korvane::RowLayout layout);

struct SingleQubitGate {
    const char* name;
    void (Simulator::*method)(std::size_t);
    Mat2 matrix;
};
const std::array<SingleQubitGate, 6>& single_qubit_gates();

// cz and the eight framed gates, each described by its control and target Pauli roles.
struct TwoQubitKind {
    const char* name;
    bool is_cz;
    korvane::TwoQubitGate gate;
    int control_axis;
    int target_axis;
};
const std::array<TwoQubitKind, 9>& two_qubit_kinds();
void apply_two_qubit(Simulator& sim, const TwoQubitKind& kind, std::size_t control, std::size_t target);

// Applies one random single- or two-qubit gate to `sim` and, when given, to `psi`.
// Returns a description for failure messages.
std::string apply_random_gate(Simulator& sim, StateVector* psi, std::mt19937& rng);

// Adjacency-matrix graph with no cleverness: the literal reference for graph rewrites.
class RefGraph {
public:
    explicit RefGraph(const Simulator& sim);
    std::size_t size() const { return n_; }
    bool has(std::size_t a, std::size_t b) const { return adj_[a * n_ + b] != 0; }
    void toggle(std::size_t a, std::size_t b);
    void remove(std::size_t a, std::size_t b);
    std::vector<std::size_t> neighbours(std::size_t a) const;  // ascending

private:
    std::size_t n_;
    std::vector<std::uint8_t> adj_;
};

// Compares every pair, the degree and the ascending member list of every vertex.
testing::AssertionResult SameGraph(const RefGraph& expected, const Simulator& sim);

// VOPs and member lists equal, without relying on the simulator's own equality.
testing::AssertionResult SameRepresentation(const Simulator& expected, const Simulator& actual);

}  // namespace korvane_test
