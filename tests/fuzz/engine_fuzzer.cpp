// Differential fuzzer: decodes the input into a small circuit and runs it on the graph-state
// engine and on a dense state vector side by side. After every operation the engine's state
// must stand for the same quantum state, keep its graph invariants, and honour the exact
// failure contracts (message and what a failed call leaves behind).
//
// Input layout: byte 0 picks the number of active qubits and where they sit (set_layout).
// Usually the simulator has exactly those 1 to 7 qubits; otherwise it has up to a few
// thousand, up to 12 active ones placed around the word boundaries of the neighbour bit sets
// and the rest never touched (they stay |0> and isolated, so the state vector covers only
// the active ones). Operations are read from the front, measurement randomness from the back, so that
// mutating one does not reshuffle the other.
// Set KORVANE_FUZZ_TRACE=1 to print every decoded operation when replaying a crash file.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "clifford_reference.hpp"
#include "engine_error.hpp"
#include "oracle.hpp"
#include "random_source.hpp"
#include "simulator.hpp"
#include "test_support.hpp"

namespace {

using korvane::EngineError;
using korvane::NeighbourSet;
using korvane::PreviewOutcome;
using korvane::RandomSource;
using korvane::Simulator;
using korvane::TwoQubitGate;
using korvane::Vop;
using korvane_test::StateVector;

constexpr std::size_t kMaxActive = 12;  // the state vector's limit
constexpr double kTol = 1e-9;

bool g_trace = false;
std::size_t g_op_number = 0;
std::string g_op_name;

// A macro so that the line is only built when tracing.
#define TRACE(line)                                                                             \
    do {                                                                                        \
        if (g_trace) std::fprintf(stderr, "  [%zu] %s\n", g_op_number, std::string(line).c_str()); \
    } while (0)

[[noreturn]] void die(const std::string& why) {
    std::fprintf(stderr, "\n*** korvane engine mismatch at operation %zu (%s)\n*** %s\n", g_op_number,
                 g_op_name.c_str(), why.c_str());
    std::fflush(stderr);
    std::abort();
}

// A macro so that the message is only built when the check fails.
#define REQUIRE(ok, why)    \
    do {                    \
        if (!(ok)) die(why); \
    } while (0)

std::string str(std::size_t v) { return std::to_string(v); }

// Where the active qubits sit. Logical index i (the state vector's qubit i) is simulator
// qubit phys[i]; phys ascends, so "lowest neighbour" means the same in both numberings.
struct Layout {
    std::size_t n = 0;               // simulator qubits
    std::vector<std::size_t> phys;   // active qubits, ascending
    std::vector<int> logical;        // simulator qubit -> logical index, -1 when idle

    std::size_t k() const { return phys.size(); }
    int lg(std::size_t q) const { return logical[q]; }
};
Layout g_layout;

// Active qubit positions, ascending; a layout uses the first k of them.
struct LayoutShape {
    std::size_t n;  // simulator qubits; 0 means exactly k
    std::array<std::size_t, kMaxActive> phys;
};
constexpr std::array<LayoutShape, 5> kShapes = {{
    {0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    // Two full words, members on both sides of each boundary.
    {128, {0, 1, 2, 31, 32, 33, 62, 63, 64, 65, 126, 127}},
    // A partial third word.
    {130, {1, 2, 3, 4, 5, 6, 62, 63, 64, 65, 128, 129}},
    // Seven words, one or two active qubits in most.
    {400, {5, 70, 140, 200, 260, 320, 330, 340, 350, 360, 370, 399}},
    // A clump in word 0 and one qubit 33 words away: a dense row's window has to grow
    // far and can then fall back to the sorted form.
    {2200, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 2150}},
}};

// High nibble below 8: a compact circuit on 1 to 7 qubits, the everyday case and the fast
// one. Otherwise one of the shapes above with 1 to 12 active qubits: only the larger counts
// give a row enough members to switch to the dense form.
void set_layout(std::uint8_t b) {
    const unsigned sel = b >> 4u, count = b & 15u;
    const std::size_t which = sel < 8 ? 0 : (sel - 8) % kShapes.size();
    const std::size_t k = sel < 8 ? 1 + count % 7 : 1 + count % kMaxActive;
    const LayoutShape& shape = kShapes[which];
    g_layout.phys.assign(shape.phys.begin(), shape.phys.begin() + static_cast<std::ptrdiff_t>(k));
    g_layout.n = shape.n == 0 ? k : shape.n;
    g_layout.logical.assign(g_layout.n, -1);
    for (std::size_t i = 0; i < k; ++i) g_layout.logical[g_layout.phys[i]] = static_cast<int>(i);
}

std::string describe(const Simulator& sim) {
    std::string out = "vops:";
    for (std::size_t q : g_layout.phys) out += " " + str(q) + "=" + str(sim.vop(q));
    out += "  edges:";
    for (std::size_t a : g_layout.phys)
        sim.neighbours(a).for_each([&](korvane::Qubit b) {
            if (a < b) out += " " + str(a) + "-" + str(b);
        });
    return out;
}

// ---------------------------------------------------------------- input

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), front_(0), back_(size) {}
    bool more_ops() const { return front_ < back_; }
    std::uint8_t op_byte() { return front_ < back_ ? data_[front_++] : 0; }
    std::uint8_t random_byte() { return back_ > front_ ? data_[--back_] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t front_;
    std::size_t back_;
};

// Values chosen for what the engine derives from them: the top bit is a measurement's raw
// bit; as an axis draw they give every answer below 3, and 0x55555555 / 0xAAAAAAAA land in
// the last slots, which forces the second draw.
constexpr std::array<std::uint32_t, 8> kPalette = {0x00000000u, 0x80000000u, 0x55555555u, 0xAAAAAAAAu,
                                                   0xC0000000u, 0x40000000u, 0xFFFFFFFFu, 0x7FFFFFFFu};

class InputSource final : public RandomSource {
public:
    explicit InputSource(Input& in) : in_(in) {}
    std::uint32_t next_u32() override { return kPalette[in_.random_byte() & 7u]; }

private:
    Input& in_;
};

class Recorder final : public RandomSource {
public:
    explicit Recorder(RandomSource& inner) : inner_(inner) {}
    std::uint32_t next_u32() override {
        values_.push_back(inner_.next_u32());
        return values_.back();
    }
    const std::vector<std::uint32_t>& values() const { return values_; }

private:
    RandomSource& inner_;
    std::vector<std::uint32_t> values_;
};

class Replay final : public RandomSource {
public:
    explicit Replay(const std::vector<std::uint32_t>& values) : values_(values) {}
    std::uint32_t next_u32() override {
        if (pos_ >= values_.size()) die("the plain replay of a preview draws more values than the preview did");
        return values_[pos_++];
    }
    std::size_t pos() const { return pos_; }

private:
    const std::vector<std::uint32_t>& values_;
    std::size_t pos_ = 0;
};

class FixedSource final : public RandomSource {
public:
    explicit FixedSource(std::uint32_t value) : value_(value) {}
    std::uint32_t next_u32() override {
        ++draws_;
        return value_;
    }
    std::size_t draws() const { return draws_; }

private:
    std::uint32_t value_;
    std::size_t draws_ = 0;
};

// Out-of-range indices show up rarely enough that most operations act on the state; the
// largest ones catch an index narrowed to 32 bits before its range check.
std::size_t read_qubit(Input& in) {
    const std::size_t n = g_layout.n;
    const std::uint8_t b = in.op_byte();
    if (b < 0xF0) return g_layout.phys[b % g_layout.k()];
    if (b < 0xFD) return n + (b - 0xF0);
    if (b == 0xFD) return std::size_t{1} << 32;
    if (b == 0xFE) return (std::size_t{1} << 32) + g_layout.phys[0];
    return std::numeric_limits<std::size_t>::max();
}

// ---------------------------------------------------------------- reference group data

struct EffectiveAxis {
    int axis;
    bool negated;
};

// Measuring axis a on VOP v is measuring v^dagger P_a v on the bare graph state.
EffectiveAxis effective_axis(Vop v, int axis) {
    static const auto table = [] {
        std::array<std::array<EffectiveAxis, 3>, 24> t{};
        for (int w = 0; w < 24; ++w)
            for (int a = 0; a < 3; ++a) {
                const auto s = korvane_test::conjugate(korvane_test::mat_adjoint(korvane_test::vop_matrix(w)), a);
                t[static_cast<std::size_t>(w)][static_cast<std::size_t>(a)] = {s.axis, s.negated};
            }
        return t;
    }();
    return table[v][static_cast<std::size_t>(axis)];
}

// The axis in which an isolated qubit with VOP v is an eigenstate: that of v X v^dagger.
int certain_axis(Vop v) {
    static const auto table = [] {
        std::array<int, 24> t{};
        for (int w = 0; w < 24; ++w)
            t[static_cast<std::size_t>(w)] = korvane_test::conjugate(korvane_test::vop_matrix(w), 0).axis;
        return t;
    }();
    return table[v];
}

Vop mult(int a, int b) { return korvane_test::ref_mult(a, b); }

std::uint8_t reference_below_3(RandomSource& rng) {
    const std::uint64_t first = 3ull * rng.next_u32();
    std::uint32_t high = static_cast<std::uint32_t>(first >> 32);
    const std::uint32_t low = static_cast<std::uint32_t>(first);
    if (low > 0xFFFFFFFDu) {
        const std::uint64_t second = 3ull * rng.next_u32();
        if (std::uint64_t{low} + (second >> 32) >= (std::uint64_t{1} << 32)) ++high;
    }
    if (high >= 3) die("reference axis draw out of range");
    return static_cast<std::uint8_t>(high);
}

// ---------------------------------------------------------------- plain representation

// VOPs and an adjacency matrix of the active qubits (logical indices) with no cleverness,
// for the rewrites whose exact result is fixed.
struct Plain {
    std::size_t n;
    std::vector<Vop> vop;
    std::vector<std::uint8_t> adj;

    explicit Plain(const Simulator& sim) : n(g_layout.k()), vop(n), adj(n * n, 0) {
        for (std::size_t a = 0; a < n; ++a) {
            vop[a] = sim.vop(g_layout.phys[a]);
            for (std::size_t b = 0; b < n; ++b)
                adj[a * n + b] = sim.has_edge(g_layout.phys[a], g_layout.phys[b]) ? 1 : 0;
        }
    }
    bool has(std::size_t a, std::size_t b) const { return adj[a * n + b] != 0; }
    void set(std::size_t a, std::size_t b, bool on) { adj[a * n + b] = adj[b * n + a] = on ? 1 : 0; }
    void toggle(std::size_t a, std::size_t b) { set(a, b, !has(a, b)); }
    std::vector<std::size_t> neighbours(std::size_t a) const {
        std::vector<std::size_t> out;
        for (std::size_t b = 0; b < n; ++b)
            if (has(a, b)) out.push_back(b);
        return out;
    }
    void right(std::size_t q, int factor) { vop[q] = mult(vop[q], factor); }
};

// Edges to idle qubits are caught by the invariant check.
bool same(const Plain& p, const Simulator& sim) {
    for (std::size_t a = 0; a < p.n; ++a) {
        if (p.vop[a] != sim.vop(g_layout.phys[a])) return false;
        for (std::size_t b = 0; b < p.n; ++b)
            if (p.has(a, b) != sim.has_edge(g_layout.phys[a], g_layout.phys[b])) return false;
    }
    return true;
}

std::string describe(const Plain& p) {
    std::string out = "vops:";
    for (std::size_t q = 0; q < p.n; ++q) out += " " + str(g_layout.phys[q]) + "=" + str(p.vop[q]);
    out += "  edges:";
    for (std::size_t a = 0; a < p.n; ++a)
        for (std::size_t b = a + 1; b < p.n; ++b)
            if (p.has(a, b)) out += " " + str(g_layout.phys[a]) + "-" + str(g_layout.phys[b]);
    return out;
}

void plain_local_complement(Plain& p, std::size_t v) {
    const auto hood = p.neighbours(v);
    for (std::size_t i = 0; i < hood.size(); ++i) {
        for (std::size_t j = i + 1; j < hood.size(); ++j) p.toggle(hood[i], hood[j]);
        p.right(hood[i], 6);
    }
    p.right(v, 14);
}

// The three measurement rules written out literally. `raw` is used only when a draw happens.
std::uint8_t plain_measure(Plain& p, std::size_t node, int axis, int raw, bool& drew) {
    const EffectiveAxis e = effective_axis(p.vop[node], axis);
    const int s = e.negated ? 1 : 0;
    const auto hood = p.neighbours(node);
    drew = !(e.axis == 0 && hood.empty());
    if (!drew) return static_cast<std::uint8_t>(s);
    const int r = raw;
    if (e.axis == 2) {
        for (std::size_t c : hood) {
            p.set(node, c, false);
            if (r) p.right(c, 3);
        }
        if (r) p.right(node, 1);
        p.right(node, 10);
    } else if (e.axis == 1) {
        const int f = r ? 5 : 6;
        for (std::size_t c : hood) p.right(c, f);
        for (std::size_t i = 0; i < hood.size(); ++i) {
            for (std::size_t j = i + 1; j < hood.size(); ++j) p.toggle(hood[i], hood[j]);
            p.set(hood[i], node, false);
        }
        p.right(node, f);
    } else {
        const std::size_t b = hood.front();
        const auto hood_b = p.neighbours(b);
        auto in = [](const std::vector<std::size_t>& v, std::size_t x) {
            return std::find(v.begin(), v.end(), x) != v.end();
        };
        if (r == 0) {
            p.right(b, 11);
            for (std::size_t c : hood)
                if (c != b && !in(hood_b, c)) p.right(c, 3);
        } else {
            p.right(b, 9);
            p.right(node, 3);
            for (std::size_t c : hood_b)
                if (c != node && !in(hood, c)) p.right(c, 3);
        }
        std::set<std::pair<std::size_t, std::size_t>> pairs;
        for (std::size_t c : hood)
            for (std::size_t d : hood_b)
                if (c != d) pairs.insert({std::min(c, d), std::max(c, d)});
        for (const auto& [c, d] : pairs) p.toggle(c, d);
        std::vector<std::size_t> both;
        for (std::size_t c : hood)
            if (in(hood_b, c)) both.push_back(c);
        for (std::size_t i = 0; i < both.size(); ++i)
            for (std::size_t j = i + 1; j < both.size(); ++j) p.toggle(both[i], both[j]);
        for (std::size_t d : hood)
            if (d != b) p.toggle(b, d);
    }
    return static_cast<std::uint8_t>(s ^ r);
}

// ---------------------------------------------------------------- checks

void check_invariants(const Simulator& sim) {
    const std::size_t n = g_layout.n;
    REQUIRE(sim.size() == n, "qubit count changed");
    // Idle qubits are never reached by any operation on the active ones.
    for (std::size_t a = 0; a < n; ++a)
        if (g_layout.lg(a) < 0)
            REQUIRE(sim.vop(a) == korvane::VOP_H && sim.is_isolated(a) && sim.degree(a) == 0,
                    "idle qubit " + str(a) + " was touched");
    for (std::size_t a : g_layout.phys) {
        REQUIRE(sim.vop(a) < 24, "VOP of " + str(a) + " is " + str(sim.vop(a)));
        const NeighbourSet& row = sim.neighbours(a);
        std::vector<std::size_t> seen;
        row.for_each([&](korvane::Qubit u) { seen.push_back(u); });
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const std::size_t u = seen[i];
            REQUIRE(u < n, "neighbour " + str(u) + " of " + str(a) + " is out of range");
            REQUIRE(u != a, "self-loop at " + str(a));
            REQUIRE(i == 0 || seen[i - 1] < u, "neighbours of " + str(a) + " not ascending");
            REQUIRE(sim.neighbours(u).contains(a), "edge " + str(a) + "-" + str(u) + " is one-sided");
        }
        REQUIRE(row.size() == seen.size() && sim.degree(a) == seen.size(),
                "degree of " + str(a) + " is " + str(sim.degree(a)) + " but it has " + str(seen.size()) + " members");
        REQUIRE(sim.is_isolated(a) == seen.empty(), "is_isolated(" + str(a) + ") is wrong");
        const auto members = row.members();
        REQUIRE(members.size() == seen.size() && std::equal(members.begin(), members.end(), seen.begin()),
                "members() of " + str(a) + " differs from its iteration");
        REQUIRE(row.first() == (seen.empty() ? NeighbourSet::kNone : seen.front()),
                "first() of " + str(a) + " is not the lowest member");
        for (std::size_t b : g_layout.phys)
            REQUIRE(sim.has_edge(a, b) == std::binary_search(seen.begin(), seen.end(), b),
                    "has_edge(" + str(a) + ", " + str(b) + ") disagrees with the members");
        for (std::size_t far : {n, n + 1, std::size_t{63}, std::size_t{64}, std::size_t{1000}})
            REQUIRE(far < n || !row.contains(far), "row of " + str(a) + " contains " + str(far));
    }
}

// Amplitudes of the active qubits' state: the graph state's signs (-1 per edge whose two
// bits are set), then each VOP matrix; the idle qubits are |0> factors. Built directly
// rather than gate by gate because on 12 qubits this check is most of the run time.
// Not coverage-instrumented: its loops say nothing about the engine.
#define KORVANE_UNINSTRUMENTED __attribute__((no_sanitize("coverage")))

KORVANE_UNINSTRUMENTED std::vector<korvane_test::Complex> active_amplitudes(const Simulator& sim) {
    using korvane_test::Complex;
    const std::size_t k = g_layout.k();
    std::vector<std::uint32_t> hood(k, 0);  // neighbours of each active qubit, as a bit mask
    for (std::size_t a = 0; a < k; ++a)
        for (std::size_t b = 0; b < k; ++b)
            if (sim.has_edge(g_layout.phys[a], g_layout.phys[b])) hood[a] |= 1u << b;
    // Sign of x from that of x without its lowest bit a: the edges from a to the rest of x.
    const double scale = 1.0 / std::sqrt(static_cast<double>(std::size_t{1} << k));
    std::vector<std::uint8_t> odd(std::size_t{1} << k, 0);
    std::vector<Complex> amp(std::size_t{1} << k);
    amp[0] = scale;
    for (std::uint32_t x = 1; x < amp.size(); ++x) {
        const int a = std::countr_zero(x);
        const std::uint32_t rest = x & (x - 1);
        odd[x] = static_cast<std::uint8_t>(odd[rest] ^ (std::popcount(rest & hood[static_cast<std::size_t>(a)]) & 1));
        amp[x] = odd[x] ? -scale : scale;
    }
    for (std::size_t a = 0; a < k; ++a) {
        const Vop v = sim.vop(g_layout.phys[a]);
        if (v == korvane::VOP_I) continue;
        const korvane_test::Mat2& u = korvane_test::vop_matrix(v);
        const std::size_t bit = std::size_t{1} << a;
        // Plain real arithmetic: the library's complex product guards against infinities
        // at a cost that dominated this loop.
        auto mul_add = [](const Complex& p, const Complex& x, const Complex& q, const Complex& y) {
            return Complex(p.real() * x.real() - p.imag() * x.imag() + q.real() * y.real() - q.imag() * y.imag(),
                           p.real() * x.imag() + p.imag() * x.real() + q.real() * y.imag() + q.imag() * y.real());
        };
        for (std::size_t i = 0; i < amp.size(); ++i) {
            if (i & bit) continue;
            const Complex a0 = amp[i], a1 = amp[i | bit];
            amp[i] = mul_add(u[0], a0, u[1], a1);
            amp[i | bit] = mul_add(u[2], a0, u[3], a1);
        }
    }
    return amp;
}

// Equal up to a global phase, both normalised.
KORVANE_UNINSTRUMENTED bool same_up_to_phase(const std::vector<korvane_test::Complex>& want,
                                              const std::vector<korvane_test::Complex>& got) {
    if (want.size() != got.size()) return false;
    std::size_t big = 0;
    for (std::size_t i = 1; i < want.size(); ++i)
        if (std::norm(want[i]) > std::norm(want[big])) big = i;
    if (std::abs(got[big]) < kTol) return false;
    const korvane_test::Complex phase = got[big] / want[big];
    if (std::abs(std::abs(phase) - 1.0) > kTol) return false;
    for (std::size_t i = 0; i < want.size(); ++i)
        if (std::abs(want[i] * phase - got[i]) > kTol) return false;
    return true;
}

void check_state(const Simulator& sim, const StateVector& psi) {
    // Small compact states go through the shared helper as well, which keeps the two honest.
    if (g_layout.n == g_layout.k() && g_layout.k() <= 7) {
        const auto result = korvane_test::SameState(psi, korvane_test::represented_state(sim));
        if (!result) die(std::string("represented state differs from the state vector\n") + result.message() +
                         "\nengine " + describe(sim));
    }
    if (!same_up_to_phase(psi.amplitudes(), active_amplitudes(sim)))
        die("represented state differs from the state vector\nengine " + describe(sim));
}

void check_unchanged(const Simulator& before, const Simulator& after, const char* what) {
    if (!(before == after))
        die(std::string(what) + " changed the state\n before " + describe(before) + "\n after  " + describe(after));
}

// Runs `f`, which must fail with exactly `message` and leave `sim` equal to `expected`.
template <class F>
void expect_failure(const Simulator& sim, const Simulator& expected, const std::string& message, F&& f) {
    const std::string got = korvane_test::error_of(f);
    REQUIRE(got == message, "expected failure \"" + message + "\" but got \"" + got + "\"");
    if (!(sim == expected))
        die("failed call left the wrong state\n expected " + describe(expected) + "\n actual   " + describe(sim));
}

// One measurement on the engine, checked against the literal rules and the state vector,
// then both outcomes of a random draw and the repeatability of the result.
std::uint8_t checked_measure(Simulator& sim, StateVector& psi, std::size_t q, int axis, RandomSource& rng) {
    const Simulator before = sim;
    const StateVector psi_before = psi;

    // Learn the raw bit by recording what the engine draws.
    Recorder rec(rng);
    const std::uint8_t result = sim.measure(q, static_cast<std::uint8_t>(axis), rec);
    REQUIRE(rec.values().size() <= 1, "measurement drew " + str(rec.values().size()) + " values");
    const bool drew = rec.values().size() == 1;
    const int raw = drew ? static_cast<int>(rec.values()[0] >> 31) : 0;
    TRACE("  measure(" + str(q) + ", axis " + str(static_cast<std::size_t>(axis)) + ") -> " + str(result) +
          (drew ? " drawn" : " certain"));

    Plain plain(before);
    bool plain_drew = false;
    const std::size_t lq = static_cast<std::size_t>(g_layout.lg(q));
    const std::uint8_t plain_result = plain_measure(plain, lq, axis, raw, plain_drew);
    REQUIRE(plain_drew == drew, drew ? "measurement drew although the outcome is certain"
                                     : "measurement did not draw although the outcome is random");
    REQUIRE(plain_result == result, "measurement result " + str(result) + " but the rules give " + str(plain_result));
    if (!same(plain, sim))
        die("measurement rewrote the representation differently from the rules\n expected " + describe(plain) +
            "\n actual   " + describe(sim) + "\n before   " + describe(before));

    const double p = psi.probability(static_cast<int>(lq), axis, result);
    if (drew)
        REQUIRE(std::abs(p - 0.5) < kTol, "random outcome has probability " + std::to_string(p));
    else {
        REQUIRE(std::abs(p - 1.0) < kTol, "certain outcome has probability " + std::to_string(p));
        check_unchanged(before, sim, "certain measurement");
    }
    psi.project(static_cast<int>(lq), axis, result);
    REQUIRE(sim.is_isolated(q), "measured qubit keeps neighbours");

    // Asking again is certain, draws nothing and changes nothing.
    {
        Simulator again = sim;
        FixedSource none(0);
        const std::uint8_t repeat = again.measure(q, static_cast<std::uint8_t>(axis), none);
        REQUIRE(none.draws() == 0, "repeated measurement drew");
        REQUIRE(repeat == result, "repeated measurement gave a different result");
        check_unchanged(sim, again, "repeated measurement");
    }

    // The other raw bit must give the other result and the other projection.
    if (drew) {
        Simulator other = before;
        FixedSource flipped(raw ? 0x00000000u : 0x80000000u);
        const std::uint8_t other_result = other.measure(q, static_cast<std::uint8_t>(axis), flipped);
        REQUIRE(flipped.draws() == 1, "flipped measurement draw count");
        REQUIRE(other_result == (result ^ 1u), "flipping the raw bit did not flip the result");
        Plain plain_other(before);
        bool d = false;
        plain_measure(plain_other, lq, axis, raw ^ 1, d);
        if (!same(plain_other, other))
            die("measurement (other raw bit) differs from the rules\n expected " + describe(plain_other) +
                "\n actual   " + describe(other));
        StateVector psi_other = psi_before;
        psi_other.project(static_cast<int>(lq), axis, other_result);
        check_state(other, psi_other);
        check_invariants(other);
    }
    return result;
}

// ---------------------------------------------------------------- two-qubit family

enum class StepKind : std::uint8_t { end, check, apply, cz_ct, cz_tc };
struct FrameStep {
    StepKind kind;
    bool on_control;
    Vop row;
};
constexpr FrameStep chk(bool c) { return {StepKind::check, c, 0}; }
constexpr FrameStep app(bool c, Vop row) { return {StepKind::apply, c, row}; }
constexpr FrameStep kCt{StepKind::cz_ct, false, 0};
constexpr FrameStep kTc{StepKind::cz_tc, false, 0};
constexpr bool C = true, T = false;

// Checks and basis changes of each gate in the order that decides what a failure leaves.
constexpr std::array<std::array<FrameStep, 12>, 8> kFrames = {{
    {chk(T), app(T, 10), kCt, app(T, 10)},                                                  // cx
    {chk(T), app(T, 5), app(T, 10), kCt, app(T, 10), app(T, 6)},                            // cy
    {chk(C), app(C, 10), chk(T), app(T, 10), kCt, app(T, 10), app(C, 10)},                  // xcx
    {chk(T), app(T, 5), app(T, 10), chk(C), app(C, 10), kTc, app(C, 10), app(T, 10), app(T, 6)},  // xcy
    {chk(C), app(C, 10), kTc, app(C, 10)},                                                  // xcz
    {chk(C), app(C, 5), app(C, 10), chk(T), app(T, 10), kCt, app(T, 10), app(C, 10), app(C, 6)},  // ycx
    {chk(T), app(T, 5), chk(C), app(C, 5), app(C, 10), app(T, 10), kCt, app(T, 10), app(C, 10), app(C, 6),
     app(T, 6)},                                                                             // ycy
    {chk(C), app(C, 5), app(C, 10), kTc, app(C, 10), app(C, 6)},                            // ycz
}};

constexpr std::array<const char*, 8> kGateNames = {"cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"};
// Control and target Pauli roles (0 X, 1 Y, 2 Z).
constexpr std::array<std::pair<int, int>, 8> kRoles = {
    {{2, 0}, {2, 1}, {0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}};
// Gates that run the very same steps with the operands exchanged.
constexpr std::array<int, 8> kMirror = {4, 7, -1, 5, 0, 3, -1, 1};

std::string equal_message(std::size_t q) { return korvane_test::equal_operands_message(q); }
std::string index_message(std::size_t n, std::size_t q) { return korvane_test::index_message(n, q); }

// Plays the frame steps up to the controlled-Z, noting each basis change in `applied`;
// returns the failure the engine must report, or an empty string when the gate reaches a
// valid controlled-Z.
std::string frame_until_cz(Simulator& expected, int gate, std::size_t c, std::size_t t,
                           std::vector<std::pair<std::size_t, Vop>>& applied) {
    const std::size_t n = expected.size();
    for (const FrameStep& step : kFrames[static_cast<std::size_t>(gate)]) {
        const std::size_t q = step.on_control ? c : t;
        switch (step.kind) {
            case StepKind::end: return "";
            case StepKind::check:
                if (q >= n) return index_message(n, q);
                break;
            case StepKind::apply:
                expected.set_vop(q, mult(step.row, expected.vop(q)));
                applied.emplace_back(q, step.row);
                break;
            case StepKind::cz_ct:
            case StepKind::cz_tc: {
                const std::size_t a = step.kind == StepKind::cz_ct ? c : t;
                const std::size_t b = step.kind == StepKind::cz_ct ? t : c;
                if (a == b) return equal_message(a);
                if (a >= n) return index_message(n, a);
                if (b >= n) return index_message(n, b);
                return "";
            }
        }
    }
    return "";
}

// ---------------------------------------------------------------- the run

class Run {
public:
    explicit Run(Input& in)
        : in_(in), n_(g_layout.n), sim_(n_), psi_(static_cast<int>(g_layout.k())), rng_(in) {}

    void go() {
        check_invariants(sim_);
        check_state(sim_, psi_);
        while (in_.more_ops()) {
            ++g_op_number;
            step(in_.op_byte() % 22);
            check_invariants(sim_);
            check_state(sim_, psi_);
        }
    }

private:
    static int lg(std::size_t q) { return g_layout.lg(q); }

    void step(unsigned op) {
        if (op < 6) return single(op);
        if (op == 6) return controlled_z();
        if (op < 15) return framed(static_cast<int>(op - 7));
        if (op < 18) return measure(static_cast<int>(op - 15));
        if (op == 18) return complement();
        if (op == 19) return reduce();
        if (op == 20) return preview();
        return group();
    }

    void single(unsigned which) {
        const auto& gate = korvane_test::single_qubit_gates()[which];
        const std::size_t q = read_qubit(in_);
        g_op_name = std::string(gate.name) + "(" + str(q) + ")";
        TRACE(g_op_name);
        if (q >= n_) {
            const Simulator before = sim_;
            expect_failure(sim_, before, index_message(n_, q), [&] { (sim_.*gate.method)(q); });
            return;
        }
        (sim_.*gate.method)(q);
        psi_.apply(lg(q), gate.matrix);
    }

    void controlled_z() {
        const std::size_t a = read_qubit(in_);
        const std::size_t b = read_qubit(in_);
        g_op_name = "cz(" + str(a) + ", " + str(b) + ")";
        TRACE(g_op_name);
        const std::string failure = a == b ? equal_message(a) : a >= n_ ? index_message(n_, a)
                                                          : b >= n_ ? index_message(n_, b)
                                                                    : "";
        if (!failure.empty()) {
            const Simulator before = sim_;
            expect_failure(sim_, before, failure, [&] { sim_.cz(a, b); });
            return;
        }
        sim_.cz(a, b);
        psi_.apply_cz(lg(a), lg(b));
    }

    void framed(int gate) {
        const std::size_t c = read_qubit(in_);
        const std::size_t t = read_qubit(in_);
        g_op_name = std::string(kGateNames[static_cast<std::size_t>(gate)]) + "(" + str(c) + ", " + str(t) + ")";
        TRACE(g_op_name);
        const auto kind = static_cast<TwoQubitGate>(gate);
        const Simulator before = sim_;
        Simulator expected = sim_;
        std::vector<std::pair<std::size_t, Vop>> applied;
        const std::string failure = frame_until_cz(expected, gate, c, t, applied);
        if (!failure.empty()) {
            expect_failure(sim_, expected, failure, [&] { sim_.two_qubit(kind, c, t); });
            // Nothing is rolled back: the basis changes made before the failure stay.
            for (const auto& [q, row] : applied) psi_.apply(lg(q), korvane_test::vop_matrix(row));
            return;
        }
        sim_.two_qubit(kind, c, t);
        const auto [control_axis, target_axis] = kRoles[static_cast<std::size_t>(gate)];
        psi_.apply_controlled_pauli(control_axis, lg(c), target_axis, lg(t));
        if (const int mirror = kMirror[static_cast<std::size_t>(gate)]; mirror >= 0) {
            Simulator twin = before;
            twin.two_qubit(static_cast<TwoQubitGate>(mirror), t, c);
            if (!(twin == sim_))
                die(std::string("mirrored gate ") + kGateNames[static_cast<std::size_t>(mirror)] +
                    " left a different representation\n this   " + describe(sim_) + "\n mirror " + describe(twin));
        }
    }

    void measure(int axis) {
        const std::size_t q = read_qubit(in_);
        g_op_name = std::string("measure_") + "xyz"[axis] + "(" + str(q) + ")";
        TRACE(g_op_name);
        if (q >= n_) {
            const Simulator before = sim_;
            FixedSource none(0);
            expect_failure(sim_, before, index_message(n_, q),
                           [&] { sim_.measure(q, static_cast<std::uint8_t>(axis), none); });
            REQUIRE(none.draws() == 0, "failed measurement drew a value");
            return;
        }
        checked_measure(sim_, psi_, q, axis, rng_);
    }

    void complement() {
        const std::size_t v = read_qubit(in_);
        g_op_name = "local_complement(" + str(v) + ")";
        TRACE(g_op_name);
        const Simulator before = sim_;
        if (v >= n_) {
            expect_failure(sim_, before, index_message(n_, v), [&] { sim_.local_complement(v); });
            return;
        }
        Plain plain(sim_);
        plain_local_complement(plain, static_cast<std::size_t>(lg(v)));
        sim_.local_complement(v);
        if (!same(plain, sim_))
            die("local complementation differs from its definition\n expected " + describe(plain) + "\n actual   " +
                describe(sim_) + "\n before   " + describe(before));
        // The quantum state is unchanged; the check after every operation compares it.
    }

    void reduce() {
        const std::size_t node = read_qubit(in_);
        const std::size_t avoid = read_qubit(in_);
        g_op_name = "remove_vop(" + str(node) + ", " + str(avoid) + ")";
        TRACE(g_op_name);
        const Simulator before = sim_;
        if (node >= n_ || avoid >= n_) {
            const std::string got = korvane_test::error_of([&] { sim_.remove_vop(node, avoid); });
            const bool ok = (node >= n_ && got == index_message(n_, node)) ||
                            (avoid >= n_ && got == index_message(n_, avoid));
            REQUIRE(ok, "remove_vop with an out-of-range index failed with \"" + got + "\"");
            check_unchanged(before, sim_, "failed remove_vop");
            return;
        }
        const Vop v = sim_.vop(node);
        const bool partner_is_neighbour =
            sim_.neighbours(node).first_except(avoid) != NeighbourSet::kNone ||
            (avoid != node && sim_.has_edge(node, avoid));
        sim_.remove_vop(node, avoid);
        // Without a neighbour to complement at, only entries made of complementations at the
        // node itself (0, 1, 14, 15) reach the identity.
        if (partner_is_neighbour || v == 0 || v == 1 || v == 14 || v == 15)
            REQUIRE(sim_.vop(node) == 0, "remove_vop left VOP " + str(sim_.vop(node)) + " on the node (was " +
                                             str(v) + ")\n before " + describe(before));
    }

    void preview() {
        const unsigned mask_low = in_.op_byte();
        const unsigned mask = mask_low | (unsigned{in_.op_byte()} << 8);
        const std::uint8_t perm = in_.op_byte();
        std::vector<std::size_t> qubits;
        for (std::size_t i = 0; i < g_layout.k(); ++i)
            if (mask & (1u << i)) qubits.push_back(g_layout.phys[i]);
        // A small fixed shuffle: the engine must not depend on ascending order.
        std::uint32_t state = perm * 2654435761u + 1u;
        for (std::size_t i = qubits.size(); i > 1; --i) {
            state = state * 1103515245u + 12345u;
            std::swap(qubits[i - 1], qubits[(state >> 16) % i]);
        }
        if (mask & 0x8000u) {
            const std::size_t bad = read_qubit(in_);
            const std::size_t at = perm % (qubits.size() + 1);
            qubits.insert(qubits.begin() + static_cast<std::ptrdiff_t>(at), bad < n_ ? n_ + bad : bad);
        }
        g_op_name = "peek_measure_set({";
        for (std::size_t i = 0; i < qubits.size(); ++i) g_op_name += (i ? ", " : "") + str(qubits[i]);
        g_op_name += "})";
        TRACE(g_op_name);

        const Simulator before = sim_;
        Recorder rec(rng_);
        std::vector<PreviewOutcome> got;
        std::string failure;
        try {
            got = sim_.peek_measure_set(qubits, rec);
        } catch (const EngineError& e) {
            failure = e.what();
        }
        check_unchanged(before, sim_, "peek_measure_set");

        // The same measurements on a plain copy with the same values must agree entry by entry.
        Simulator copy = before;
        StateVector phi = psi_;
        Replay replay(rec.values());
        std::vector<PreviewOutcome> want;
        std::string want_failure;
        for (std::size_t q : qubits) {
            if (q >= n_) {
                want_failure = index_message(n_, q);
                break;
            }
            const bool isolated = copy.is_isolated(q);
            const int axis = isolated ? certain_axis(copy.vop(q)) : reference_below_3(replay);
            const std::size_t drawn_before = replay.pos();
            const std::uint8_t result = checked_measure(copy, phi, q, axis, replay);
            REQUIRE(!isolated || replay.pos() == drawn_before, "isolated qubit's preview measurement drew");
            want.push_back({q, result, static_cast<std::uint8_t>(axis)});
        }
        REQUIRE(failure == want_failure, "preview failure \"" + failure + "\", expected \"" + want_failure + "\"");
        REQUIRE(replay.pos() == rec.values().size(),
                "preview drew " + str(rec.values().size()) + " values, a plain replay " + str(replay.pos()));
        if (!failure.empty()) return;
        REQUIRE(got.size() == want.size(), "preview returned " + str(got.size()) + " entries");
        for (std::size_t i = 0; i < want.size(); ++i)
            REQUIRE(got[i].qubit == want[i].qubit && got[i].result == want[i].result && got[i].axis == want[i].axis,
                    "preview entry " + str(i) + " is (q " + str(got[i].qubit) + ", result " + str(got[i].result) +
                        ", axis " + str(got[i].axis) + "), expected (q " + str(want[i].qubit) + ", result " +
                        str(want[i].result) + ", axis " + str(want[i].axis) + ")");
    }

    void group() {
        const std::size_t q = read_qubit(in_);
        g_op_name = "entangled_group(" + str(q) + ")";
        TRACE(g_op_name);
        const Simulator before = sim_;
        if (q >= n_) {
            expect_failure(sim_, before, index_message(n_, q), [&] { (void)sim_.entangled_group(q); });
            return;
        }
        const std::vector<std::size_t> got = sim_.entangled_group(q);
        check_unchanged(before, sim_, "entangled_group");

        // Breadth-first walk with ascending neighbours, over the plain adjacency of the active qubits.
        const Plain plain(sim_);
        const std::size_t k = g_layout.k();
        std::vector<std::size_t> order{static_cast<std::size_t>(lg(q))};
        std::vector<bool> seen(k, false);
        seen[order[0]] = true;
        for (std::size_t head = 0; head < order.size(); ++head)
            for (std::size_t u = 0; u < k; ++u)
                if (plain.has(order[head], u) && !seen[u]) {
                    seen[u] = true;
                    order.push_back(u);
                }
        bool same_order = got.size() == order.size();
        for (std::size_t i = 0; same_order && i < order.size(); ++i) same_order = got[i] == g_layout.phys[order[i]];
        REQUIRE(same_order, "entangled_group is not the breadth-first order of the component");

        // Union-find over the edges, independent of any walk.
        std::vector<std::size_t> parent(k);
        for (std::size_t i = 0; i < k; ++i) parent[i] = i;
        auto root = [&](std::size_t x) {
            while (parent[x] != x) x = parent[x] = parent[parent[x]];
            return x;
        };
        for (std::size_t a = 0; a < k; ++a)
            for (std::size_t b = a + 1; b < k; ++b)
                if (plain.has(a, b)) parent[root(a)] = root(b);
        std::vector<int> component;
        std::vector<std::size_t> component_phys;
        for (std::size_t i = 0; i < k; ++i)
            if (root(i) == root(static_cast<std::size_t>(lg(q)))) {
                component.push_back(static_cast<int>(i));
                component_phys.push_back(g_layout.phys[i]);
            }
        std::vector<std::size_t> sorted = got;
        std::sort(sorted.begin(), sorted.end());
        REQUIRE(sorted == component_phys, "entangled_group is not the connected component");
        REQUIRE(psi_.is_product_across(component), "the state is entangled across the group's boundary");
    }

    Input& in_;
    std::size_t n_;
    Simulator sim_;
    StateVector psi_;
    InputSource rng_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* env = std::getenv("KORVANE_FUZZ_TRACE");
    g_trace = env != nullptr && *env != '\0' && *env != '0';
    // Build the reference tables once, outside the timed runs.
    (void)mult(0, 0);
    (void)effective_axis(0, 0);
    (void)certain_axis(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Input in(data, size);
    set_layout(in.op_byte());
    g_op_number = 0;
    g_op_name = "construct(" + str(g_layout.n) + ", active";
    for (std::size_t q : g_layout.phys) g_op_name += " " + str(q);
    g_op_name += ")";
    TRACE(g_op_name);
    try {
        Run run(in);
        run.go();
    } catch (const std::exception& e) {
        die(std::string("unexpected exception: ") + e.what());
    }
    return 0;
}
