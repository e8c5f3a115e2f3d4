// Differential fuzzer: the engine in all three row layouts beside the literal engine of
// tests/engine, on one operation stream decoded from the input and one random stream. After
// every operation each layout must agree with the literal engine on every VOP, every row,
// the result, the number of random values drawn, and a failure's type and message. An
// input can also fail the k-th allocation of one operation in one layout, or the k-th and
// every later one (memory run out): the operation must then leave that layout exactly as
// it was, and retried, must come out as if nothing had happened.
//
// Input: byte 0 picks the qubit count; then one opcode byte and its operands per operation,
// read from the front. Random values are read from the back, one byte each.
// KORVANE_FUZZ_TRACE=1 prints every operation; KORVANE_FUZZ_FAULTS=0 turns the injected
// allocation failures off; KORVANE_FUZZ_SMALL=1 keeps to 0-12 qubits.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "engine_error.hpp"
#include "failing_allocator.hpp"  // this file is its one includer
#include "literal_difference.hpp"
#include "literal_engine.hpp"
#include "random_source.hpp"
#include "simulator.hpp"

namespace {

using korvane::RowLayout;
using korvane::Simulator;
using korvane_test::LiteralEngine;

namespace alloc = korvane_test::failing_allocator;

bool g_trace = false, g_faults = true, g_small = false;
std::size_t g_ops = 0, g_built = 0, g_faults_hit = 0, g_persistent_hit = 0;  // over the whole run
std::size_t g_op_number = 0;
std::string g_op_name;  // named when needed: building it for every operation would cost more
std::string (*g_name_op)() = nullptr;  // than most operations

[[noreturn]] void die(const std::string& why) {
    if (g_name_op) g_op_name = g_name_op();
    std::fprintf(stderr, "\n*** mismatch at operation %zu (%s)\n*** %s\n", g_op_number, g_op_name.c_str(), why.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string str(std::size_t v) { return std::to_string(v); }

// ---------------------------------------------------------------- input

// Palette as in engine_fuzzer: both raw bits, every axis below 3, and the two values that
// force the axis draw's second value.
constexpr std::array<std::uint32_t, 8> kPalette = {0x00000000u, 0x80000000u, 0x55555555u, 0xAAAAAAAAu,
                                                   0xC0000000u, 0x40000000u, 0xFFFFFFFFu, 0x7FFFFFFFu};

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t front = 0;
    bool more() const { return front < size; }
    std::uint8_t byte() { return front < size ? data[front++] : 0; }
    // Random value i: byte i from the back, then a fixed mix once the input is used up.
    std::uint32_t value(std::size_t i) const {
        if (i < size) return kPalette[data[size - 1 - i] & 7u];
        std::uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull;
        x ^= x >> 31;
        return kPalette[(x * 0xBF58476D1CE4E5B9ull >> 61) & 7u];
    }
};

// Every party of one operation reads the random stream from the same position.
class StreamSource final : public korvane::RandomSource {
public:
    StreamSource(const Input& in, std::size_t start) : in_(in), start_(start) {}
    std::uint32_t next_u32() override { return in_.value(start_ + draws_++); }
    std::size_t draws() const { return draws_; }

private:
    const Input& in_;
    std::size_t start_;
    std::size_t draws_ = 0;
};

// Qubits where the rows' words and windows have their edges, and a few in the middle.
std::vector<std::size_t> hot_qubits(std::size_t n) {
    std::vector<std::size_t> hot;
    if (n <= 16) {
        for (std::size_t q = 0; q < n; ++q) hot.push_back(q);
        return hot;
    }
    for (std::size_t q : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{31}, std::size_t{32},
                          std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{127}, std::size_t{128},
                          n / 2 - 1, n / 2, n - 65, n - 64, n - 2, n - 1})
        if (q < n && std::find(hot.begin(), hot.end(), q) == hot.end()) hot.push_back(q);
    std::sort(hot.begin(), hot.end());
    return hot;
}

constexpr std::array<std::size_t, 6> kSizeBase = {0, 63, 127, 1023, 2047, 4094};
constexpr std::array<std::size_t, 6> kSizeSpan = {13, 4, 4, 3, 3, 7};

std::size_t read_size(Input& in) {
    const std::uint8_t b = in.byte();
    std::size_t cls = b < 128 || g_small ? 0 : 1 + (b - 128) % 5;
    return kSizeBase[cls] + b % kSizeSpan[cls];
}

// ---------------------------------------------------------------- operations

enum Kind : int {
    kGate = 0,          // 0-5: h s sdag x y z
    kCz = 6,            //
    kTwo = 7,           // 7-14: cx cy xcx xcy xcz ycx ycy ycz
    kMeasure = 15,      // 15-17: x y z
    kComplement = 18,   //
    kRemoveVop = 19,    //
    kPreview = 20,      //
    kGroup = 21,        //
    kSetVop = 22,       // the C++ API's direct edits, which reach any state quickly
    kEdge = 23,         // add, remove or toggle
    kBadValue = 24,     // an axis or gate value out of range
    kFault = 25,        // fail an allocation of the next operation, or every one from it on
    kBuild = 26,        // many gates on a block of qubits, compared once at the end
    kKinds = 27
};
constexpr std::array<const char*, 25> kNames = {
    "h",         "s",         "sdag",      "x",                "y",          "z",
    "cz",        "cx",        "cy",        "xcx",              "xcy",        "xcz",
    "ycx",       "ycy",       "ycz",       "measure_x",        "measure_y",  "measure_z",
    "local_complement", "remove_vop", "peek_measure_set", "entangled_group", "set_vop", "edge", "bad value"};
constexpr std::array<std::uint8_t, 6> kGateRows = {10, 6, 5, 1, 2, 3};
constexpr std::array<void (Simulator::*)(std::size_t), 6> kGateMethods = {
    &Simulator::h, &Simulator::s, &Simulator::sdag, &Simulator::x, &Simulator::y, &Simulator::z};

struct Op {
    int kind;
    int sub = 0;  // the edge edit; for a bad value, 0 measure and 1 two-qubit gate
    unsigned value = 0;  // the VOP set, or the bad axis or gate
    std::size_t a = 0, b = 0;
    std::vector<std::size_t> qubits;  // the preview's
};

struct Outcome {
    enum { ok, failed, out_of_memory } kind = ok;
    std::string message;
    std::vector<std::size_t> values;  // result, preview triples or group order
    std::size_t draws = 0;
    bool operator==(const Outcome&) const = default;
};

std::string describe(const Outcome& o) {
    std::string s = o.kind == Outcome::ok ? "ok" : o.kind == Outcome::failed ? "failed \"" + o.message + "\"" : "bad_alloc";
    s += ", " + str(o.draws) + " draws, values";
    for (std::size_t i = 0; i < o.values.size() && i < 24; ++i) s += " " + str(o.values[i]);
    return s;
}

// Runs one operation on the engine or the literal engine; only the call itself is armed.
template <class E>
Outcome perform(E& e, const Op& op, const Input& in, std::size_t start, long fault,
                alloc::Mode mode = alloc::Mode::once) {
    constexpr bool engine = std::is_same_v<E, Simulator>;
    Outcome out;
    StreamSource rng(in, start);
    auto call = [fault, mode](auto&& f) -> decltype(auto) { return alloc::armed(fault, f, mode); };
    auto two_qubit = [&](unsigned gate) {
        if constexpr (engine)
            e.two_qubit(static_cast<korvane::TwoQubitGate>(gate), op.a, op.b);
        else
            e.two_qubit(static_cast<int>(gate), op.a, op.b);
    };
    try {
        if (op.kind < kCz) {
            call([&] {
                if constexpr (engine)
                    (e.*kGateMethods[static_cast<std::size_t>(op.kind)])(op.a);
                else
                    e.apply_gate(op.a, kGateRows[static_cast<std::size_t>(op.kind)]);
            });
        } else if (op.kind == kCz) {
            call([&] { e.cz(op.a, op.b); });
        } else if (op.kind < kMeasure) {
            call([&] { two_qubit(static_cast<unsigned>(op.kind - kTwo)); });
        } else if (op.kind < kComplement) {
            out.values.push_back(call([&] { return e.measure(op.a, static_cast<std::uint8_t>(op.kind - kMeasure), rng); }));
        } else if (op.kind == kComplement) {
            call([&] { e.local_complement(op.a); });
        } else if (op.kind == kRemoveVop) {
            call([&] { e.remove_vop(op.a, op.b); });
        } else if (op.kind == kPreview) {
            for (const auto& o : call([&] { return e.peek_measure_set(op.qubits, rng); }))
                out.values.insert(out.values.end(), {o.qubit, o.result, o.axis});
        } else if (op.kind == kGroup) {
            out.values = call([&] { return e.entangled_group(op.a); });
        } else if (op.kind == kSetVop) {
            call([&] { e.set_vop(op.a, static_cast<std::uint8_t>(op.value)); });
        } else if (op.kind == kEdge) {
            call([&] {
                if constexpr (engine)
                    op.sub == 0 ? e.add_edge(op.a, op.b) : op.sub == 1 ? e.remove_edge(op.a, op.b) : e.toggle_edge(op.a, op.b);
                else
                    e.edit_edge(op.sub, op.a, op.b);
            });
        } else if (op.sub == 0) {  // a bad value
            call([&] { (void)e.measure(op.a, static_cast<std::uint8_t>(op.value), rng); });
        } else {
            call([&] { two_qubit(op.value); });
        }
    } catch (const std::bad_alloc&) {
        if constexpr (engine) {
            if (fault < 0) die("bad_alloc without an injected failure");
        }
        out.kind = Outcome::out_of_memory;
    } catch (const std::exception& x) {
        const bool expected = engine ? dynamic_cast<const korvane::EngineError*>(&x) != nullptr
                                     : dynamic_cast<const korvane_test::LiteralFailure*>(&x) != nullptr;
        if (!expected) die(std::string(engine ? "engine" : "literal engine") + " threw an unexpected type: " + x.what());
        out.kind = Outcome::failed;
        out.message = x.what();
    }
    out.draws = rng.draws();
    return out;
}

// One libFuzzer feature per controlled-Z table entry: code coverage does not tell the 1152
// entries apart, and reaching each takes operands with the right VOPs and no other neighbours.
__attribute__((section("__libfuzzer_extra_counters"))) std::uint8_t g_table_entries[2 * 24 * 24];

// ---------------------------------------------------------------- the run

constexpr std::array<RowLayout, 3> kLayouts = {RowLayout::automatic, RowLayout::windowed, RowLayout::full};
constexpr std::array<const char*, 3> kLayoutNames = {"automatic", "windowed", "full"};

class Run {
public:
    Run(Input& in, std::size_t n)
        : in_(in), n_(n), hot_(hot_qubits(n)), lit_(n),
          sims_{Simulator(n, kLayouts[0]), Simulator(n, kLayouts[1]), Simulator(n, kLayouts[2])} {
        lit_.count_table_entries(g_table_entries);
    }

    void go() {
        while (in_.more()) {
            ++g_op_number;
            const int kind = in_.byte() % kKinds;
            if (kind == kFault) {
                const std::uint8_t layout = in_.byte();
                fault_layout_ = (layout >> 1) % 3;
                fault_mode_ = layout & 1u ? alloc::Mode::persistent : alloc::Mode::once;
                const std::uint8_t k = in_.byte();
                // Most operations allocate a few times if at all.
                fault_ = g_faults ? (k < 0x80 ? k % 4 : k < 0xE0 ? k % 16 : k) : -1;
                continue;
            }
            if (kind == kBuild) {
                build();
            } else {
                step(decode(kind));
            }
            fault_ = -1;
        }
        compare("at the end", true);
    }

private:
    std::size_t qubit() {
        const std::uint8_t b = in_.byte();
        if (b < 0xE0) return hot_.empty() ? 0 : hot_[b % hot_.size()];
        if (b < 0xF0) return n_ == 0 ? 0 : (std::size_t{in_.byte()} << 8 | in_.byte()) % n_;
        if (b < 0xFD) return n_ + (b - 0xF0);
        if (b == 0xFD) return std::size_t{1} << 32;
        if (b == 0xFE) return (std::size_t{1} << 32) + 1;
        return std::numeric_limits<std::size_t>::max();
    }

    static bool two_operands(const Op& op) {
        return op.kind == kCz || (op.kind >= kTwo && op.kind < kMeasure) || op.kind == kRemoveVop ||
               op.kind == kEdge || (op.kind == kBadValue && op.sub == 1);
    }

    std::string name(const Op& op) const {
        std::string s = op.kind == kEdge ? std::array{"add_edge", "remove_edge", "toggle_edge"}[op.sub]
                                         : kNames[static_cast<std::size_t>(op.kind)];
        if (op.kind == kPreview)
            for (std::size_t q : op.qubits) s += " " + str(q);
        else
            s += " " + str(op.a) + (two_operands(op) ? " " + str(op.b) : "");
        if (op.kind == kSetVop || op.kind == kBadValue) s += " value " + str(op.value);
        if (fault_ >= 0)
            s += " [allocation " + str(static_cast<std::size_t>(fault_)) +
                 (fault_mode_ == alloc::Mode::persistent ? " and every later one fail in " : " fails in ") +
                 kLayoutNames[fault_layout_] + " rows]";
        return s;
    }

    Op decode(int kind) {
        Op op;
        op.kind = kind;
        if (kind == kPreview) {
            const unsigned mask = in_.byte() | unsigned{in_.byte()} << 8;
            std::uint32_t mix = in_.byte() * 2654435761u + 1u;
            for (std::size_t i = 0; i < hot_.size() && i < 15; ++i)
                if (mask >> i & 1u) op.qubits.push_back(hot_[i]);
            for (std::size_t i = op.qubits.size(); i > 1; --i) {
                mix = mix * 1103515245u + 12345u;
                std::swap(op.qubits[i - 1], op.qubits[(mix >> 16) % i]);
            }
            if (mask & 0x8000u) op.qubits.insert(op.qubits.begin() + mix % (op.qubits.size() + 1), n_ + (mix >> 24));
        } else {
            if (kind == kEdge) op.sub = in_.byte() % 3;
            if (kind == kSetVop || kind == kBadValue) {
                const std::uint8_t v = in_.byte();
                op.sub = v & 1;
                op.value = kind == kSetVop ? (v < 0xF0 ? v % 24u : v) : op.sub == 0 ? 3u + (v >> 1) % 253u : 8u + (v >> 1);
            }
            op.a = qubit();
            if (two_operands(op)) op.b = qubit();
        }
        if (g_trace) std::fprintf(stderr, "  [%zu] %s\n", g_op_number, name(op).c_str());
        return op;
    }

    void step(const Op& op) {
        ++g_ops;
        active_ = this;
        current_ = &op;
        g_name_op = [] { return active_->name(*active_->current_); };
        const std::size_t start = drawn_;
        // The faulted layout goes first, while the literal engine still holds the state before.
        std::array<std::optional<Outcome>, 3> got;
        bool retry = false;
        std::string change;
        if (fault_ >= 0) {
            Outcome first = perform(sims_[fault_layout_], op, in_, start, fault_, fault_mode_);
            if (first.kind == Outcome::out_of_memory) {
                ++g_faults_hit;
                if (fault_mode_ == alloc::Mode::persistent) ++g_persistent_hit;
                change = korvane_test::literal_difference(sims_[fault_layout_], lit_);
                retry = change.empty();
            } else {
                got[fault_layout_] = first;
            }
        }
        const Outcome want = perform(lit_, op, in_, start, -1);
        if (!change.empty()) {
            // Told apart for the report: what a failed check leaves, or anything else.
            if (want.kind == Outcome::failed && korvane_test::literal_difference(sims_[fault_layout_], lit_).empty())
                die(std::string("bad_alloc while reporting \"") + want.message + "\" left the check's partial updates in " +
                    kLayoutNames[fault_layout_] + " rows");
            die(std::string("a failed allocation changed the state in ") + kLayoutNames[fault_layout_] + " rows: " +
                change);
        }
        if (retry) got[fault_layout_] = perform(sims_[fault_layout_], op, in_, start, -1);
        for (std::size_t i = 0; i < 3; ++i) {
            if (!got[i]) got[i] = perform(sims_[i], op, in_, start, -1);
            if (!(*got[i] == want))
                die(std::string(kLayoutNames[i]) + " rows: " + describe(*got[i]) + "\n    literal: " + describe(want));
        }
        drawn_ += want.draws;
        compare("after the operation", false, op.a, op.b);
    }

    // Every VOP and every row; except that on more than 256 qubits, where that would take
    // most of the run, those the literal engine did not write wait for every 32nd operation
    // and the end of the input.
    void compare(const char* when, bool everything, std::size_t a = 0, std::size_t b = 0) {
        const bool all = everything || n_ <= 256 || ++since_full_ == 32;
        std::vector<std::size_t> qubits;
        if (all) {
            since_full_ = 0;
        } else {
            qubits = lit_.touched();
            for (std::size_t q : {a, b})
                if (q < n_) qubits.push_back(q);
        }
        lit_.clear_touched();
        for (std::size_t i = 0; i < 3; ++i)
            if (const std::string d = korvane_test::literal_difference(sims_[i], lit_, all ? nullptr : &qubits); !d.empty())
                die(std::string(kLayoutNames[i]) + " rows differ " + when + ": " + d);
    }

    // A block of gates that builds structure faster than single operations: chains, random
    // graphs, stars and scattered VOPs. Compared once, at the end.
    void build() {
        const std::size_t first = qubit();
        const std::uint8_t size = in_.byte(), pattern = in_.byte();
        // Chains and stars may be long; a random graph densifies quickly, and its
        // complementations cost the literal engine the square of the degree.
        const std::size_t count = 1 + (pattern % 4 == 0 || pattern % 4 == 2 ? size : size % 64);
        g_name_op = nullptr;
        g_op_name = "build " + str(first) + " count " + str(count) + " pattern " + str(pattern);
        if (g_trace) std::fprintf(stderr, "  [%zu] %s\n", g_op_number, g_op_name.c_str());
        if (first >= n_) return;
        const std::size_t end = std::min(n_, first + count), len = end - first;
        std::uint32_t mix = pattern * 2246822519u + 7u;
        auto next = [&] { return (mix = mix * 1103515245u + 12345u) >> 8; };
        auto all = [&](auto&& f) {
            f(lit_);
            for (Simulator& sim : sims_) f(sim);
            ++g_built;
        };
        auto cz = [&](std::size_t a, std::size_t b) {
            if (a != b) all([&](auto& e) { e.cz(a, b); });
        };
        auto gate = [&](std::size_t q, unsigned k) {
            all([&](auto& e) {
                if constexpr (std::is_same_v<std::decay_t<decltype(e)>, Simulator>)
                    (e.*kGateMethods[k])(q);
                else
                    e.apply_gate(q, kGateRows[k]);
            });
        };
        for (std::size_t q = first; q < end; ++q) gate(q, 0);
        switch (pattern % 4) {
            case 0:
                for (std::size_t q = first; q + 1 < end; ++q) cz(q, q + 1);
                break;
            case 1:
                for (std::size_t i = 0; i < 2 * len; ++i) cz(first + next() % len, first + next() % len);
                break;
            case 2:
                for (std::size_t q = first + 1; q < end; ++q) cz(first, q);
                break;
            default:
                for (std::size_t i = 0; i < 2 * len; ++i) cz(first + next() % len, hot_[next() % hot_.size()]);
                break;
        }
        for (std::size_t q = first; q < end; ++q) gate(q, next() % 6);
        compare("after the build", true);
    }

    Input& in_;
    std::size_t n_;
    std::vector<std::size_t> hot_;
    LiteralEngine lit_;
    std::array<Simulator, 3> sims_;
    std::size_t drawn_ = 0;  // random values used so far
    long fault_ = -1;
    alloc::Mode fault_mode_ = alloc::Mode::once;
    std::size_t fault_layout_ = 0;
    std::size_t since_full_ = 0;  // operations since every row was compared
    static inline const Run* active_ = nullptr;  // the run and operation under way, for die()
    const Op* current_ = nullptr;
};

bool env_flag(const char* name, bool fallback) {
    const char* v = std::getenv(name);
    return v == nullptr || *v == '\0' ? fallback : *v != '0';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_trace = env_flag("KORVANE_FUZZ_TRACE", false);
    g_faults = env_flag("KORVANE_FUZZ_FAULTS", true);
    g_small = env_flag("KORVANE_FUZZ_SMALL", false);
    (void)LiteralEngine(1);  // the literal tables, outside the timed runs
    std::atexit([] {
        std::fprintf(stderr,
                     "differential_fuzzer: %zu operations compared after each, %zu more in builds, %zu injected "
                     "allocation failures (%zu of them persistent)\n",
                     g_ops, g_built, g_faults_hit, g_persistent_hit);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Input in{data, size};
    const std::size_t n = read_size(in);
    g_op_number = 0;
    g_name_op = nullptr;
    g_op_name = "construct " + str(n);
    if (g_trace) std::fprintf(stderr, "  %s\n", g_op_name.c_str());
    try {
        Run run(in, n);
        run.go();
    } catch (const std::exception& e) {
        die(std::string("unexpected exception: ") + e.what());
    }
    return 0;
}
