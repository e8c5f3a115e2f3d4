// Graph-state simulator: a graph over the qubits plus one local Clifford (VOP) per qubit.
// The state represented is the graph state of the graph with every VOP applied after it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "clifford_tables.hpp"
#include "neighbour_set.hpp"
#include "random_source.hpp"
#include "undo_log.hpp"

namespace korvane {

struct ReductionPlan;

enum class TwoQubitGate : std::uint8_t { cx, cy, xcx, xcy, xcz, ycx, ycy, ycz };

// Every operation either completes or throws with every VOP and row as before the call
// (an EngineError from a two-qubit gate's later check keeps the basis changes made before
// it). Indices, axes, VOPs and gate values are checked: a C++ caller gets an EngineError
// with the same message as Python would, never undefined behaviour.

// How rows are stored. Windowed rows follow their members, so memory follows the edges;
// full rows are bit sets over all qubits that never move or resize, which is cheaper per
// edit where the whole matrix is small. `automatic` picks full rows up to kFullRowQubits.
enum class RowLayout : std::uint8_t { automatic, windowed, full };

struct PreviewOutcome {
    std::size_t qubit;
    std::uint8_t result;  // 0 for +1, 1 for -1
    std::uint8_t axis;    // 0 X, 1 Y, 2 Z
};

class Simulator {
public:
    // All qubits in |0>: no edges, VOP H everywhere. Throws EngineError("capacity overflow")
    // when the state's byte size cannot be represented, std::bad_alloc when it cannot be had.
    explicit Simulator(std::size_t qubit_count, RowLayout layout = RowLayout::automatic);

    // At this size a full row is 16 words, two cache lines: about what a windowed row of a
    // dense graph takes anyway.
    static constexpr std::size_t kFullRowQubits = 1024;

    std::size_t size() const noexcept { return vop_.size(); }
    Vop vop(std::size_t q) const {
        check_index(q);
        return vop_[q];
    }
    void set_vop(std::size_t q, Vop v);
    const NeighbourSet& neighbours(std::size_t q) const {
        check_index(q);
        return adjacent_[q];
    }

    // Edge primitives; both directions change together. The two ends must differ.
    bool has_edge(std::size_t a, std::size_t b) const {
        check_index(a);
        check_index(b);
        return adjacent_[a].contains(b);
    }
    void add_edge(std::size_t a, std::size_t b);
    void remove_edge(std::size_t a, std::size_t b);
    void toggle_edge(std::size_t a, std::size_t b);
    std::size_t degree(std::size_t a) const {
        check_index(a);
        return adjacent_[a].size();
    }
    bool is_isolated(std::size_t a) const {
        check_index(a);
        return adjacent_[a].empty();
    }

    // Left-multiplies `gate` onto the VOP of `q` after the range check.
    void apply_gate(std::size_t q, Vop gate);
    void h(std::size_t q) { apply_gate(q, VOP_H); }
    void s(std::size_t q) { apply_gate(q, VOP_S); }
    void sdag(std::size_t q) { apply_gate(q, VOP_SDAG); }
    void x(std::size_t q) { apply_gate(q, VOP_X); }
    void y(std::size_t q) { apply_gate(q, VOP_Y); }
    void z(std::size_t q) { apply_gate(q, VOP_Z); }

    void local_complement(std::size_t v);
    void remove_vop(std::size_t node, std::size_t avoid);

    void cz(std::size_t a, std::size_t b);
    void two_qubit(TwoQubitGate gate, std::size_t control, std::size_t target);

    // Returns the result bit (0 for +1); draws at most one value from `rng`.
    std::uint8_t measure(std::size_t node, std::uint8_t axis, RandomSource& rng);

    // Measures each qubit in the given order as if on a private copy. The rows and VOPs a
    // measurement touches are journalled and put back before returning, also on failure,
    // so the state afterwards is exactly the state before at a cost set by the qubits measured.
    std::vector<PreviewOutcome> peek_measure_set(const std::vector<std::size_t>& qubits, RandomSource& rng);

    // Every qubit connected to `q`, `q` included, in breadth-first order.
    std::vector<std::size_t> entangled_group(std::size_t q) const;

    friend bool operator==(const Simulator& a, const Simulator& b) {
        return a.vop_ == b.vop_ && a.adjacent_ == b.adjacent_;
    }

private:
    class Atomic;
    template <class Edit>
    void edit_edge(std::size_t a, std::size_t b, Edit edit);

    void check_index(std::size_t q) const {
        if (q >= vop_.size()) fail_index_of(q);
    }
    [[noreturn]] void fail_index_of(std::size_t q) const;
    void reduce_if_outside(std::size_t q, std::size_t other, std::optional<Atomic>& atomic);
    template <TwoQubitGate G>
    void run_two_qubit(std::size_t control, std::size_t target);
    // remove_vop once the partner is known.
    void reduce_vop(std::size_t node, std::size_t partner);
    void pivot_reduction(std::size_t a, std::size_t b, const ReductionPlan& plan);
    // The pivot's row edits on full rows; factor[1..3] are those of P, Q and R.
    void pivot_full_rows(std::size_t a, std::size_t b, const std::array<Vop, 4>& factor);
    // A local complementation's row edits on full rows.
    void complement_full_rows(std::size_t v);
    // Words rounded up to whole quads: the unit of the full-row XORs.
    static constexpr std::size_t quad_words(std::size_t words) noexcept { return (words + 3) / 4 * 4; }
    // The pivot's three operand buffers, each quad_words(full_row_words_) words from a
    // 32-byte boundary, their words past the row's always zero.
    std::uint64_t* full_row_operands() noexcept {
        const auto at = reinterpret_cast<std::uintptr_t>(scratch_.words.data());
        return scratch_.words.data() + (32 - at % 32) % 32 / 8;
    }
    // Every change of a VOP or row inside an operation goes through these, which log it
    // first while an operation on windowed rows runs (full rows never allocate midway).
    [[gnu::always_inline]] void assign_vop(std::size_t q, Vop v) {
        if (undo_.active()) undo_.record_vop(q, vop_[q]);
        vop_[q] = v;
    }
    [[gnu::always_inline]] void right_multiply(std::size_t q, Vop factor) { assign_vop(q, MULT_TABLE[vop_[q]][factor]); }
    // For the measurement rules, which keep no undo log: their VOP factors come once
    // nothing can fail.
    void right_multiply_plain(std::size_t q, Vop factor) { vop_[q] = MULT_TABLE[vop_[q]][factor]; }
    void right_multiply_members_plain(const NeighbourSet& set, Vop factor, const NeighbourSet& outside = {},
                                      Qubit except = NeighbourSet::kNone) noexcept;
    void right_multiply_neighbours(std::size_t q, Vop factor);
    // Row q ^= operand (whose operand() is `view`), leaving out `skip` and toggling `extra`
    // too (see toggle_set). Inlined into the vector kernels of VectorBytes that walk rows.
    template <std::size_t VectorBytes = BuildVectors::value>
    KORVANE_INLINE void xor_row(std::size_t q, const NeighbourSet& operand, const NeighbourSet::Operand& view,
                                Qubit skip = NeighbourSet::kNone, Qubit extra = NeighbourSet::kNone) {
        NeighbourSet& row = adjacent_[q];
        if (row.fits(view, extra)) {
            if (undo_.active()) undo_.record_xor(q, operand, skip, extra);
            row.xor_in_window_in<VectorBytes>(view, skip, extra);
            return;
        }
        if (undo_.active()) undo_.save(q, row);
        row.toggle_set(operand, skip, extra);
    }
    // A single member in or out: strongly exception-safe, so it is recorded once done.
    void toggle_bit(std::size_t q, std::size_t i) {
        if (!undo_.active()) return adjacent_[q].toggle(i);
        // A window that must move may narrow too: XORs recorded before could not be undone.
        if (!adjacent_[q].toggles_in_place(i)) {
            undo_.save(q, adjacent_[q]);
            return adjacent_[q].toggle(i);
        }
        undo_.reserve();
        adjacent_[q].toggle(i);
        undo_.record_toggle(q, i);
    }
    void erase_bit(std::size_t q, std::size_t i) {
        if (undo_.active() && adjacent_[q].contains(i)) return toggle_bit(q, i);
        adjacent_[q].erase(i);
    }
    // A set that the rules build as an operand; it stays as built until the operation ends.
    NeighbourSet& operand(NeighbourSet& reused) { return undo_.active() ? undo_.operand() : reused; }
    // Before a row serves as an operand; full rows keep their window.
    void tighten(std::size_t q) {
        if (full_row_words_ != 0 || adjacent_[q].settled()) return;
        // Saved first: a narrower window would not take back the XORs recorded before.
        if (undo_.active()) undo_.save(q, adjacent_[q]);
        adjacent_[q].tighten();
    }
    void clear_row(std::size_t q) {
        if (full_row_words_ != 0)
            adjacent_[q].zero();
        else
            adjacent_[q].clear();
    }
    template <std::size_t VectorBytes, class Walk>
    KORVANE_INLINE inline void edit_rows(std::size_t most, Walk&& walk);
    void measure_x_rule(std::size_t node, std::uint8_t r);
    void measure_y_rule(std::size_t node, std::uint8_t r);
    void measure_z_rule(std::size_t node, std::uint8_t r);

    // A preview's record of what its measurements change, passed down explicitly so that
    // no pointer to it outlives the preview.
    struct Journal;
    std::uint8_t measure_saving(std::size_t node, std::uint8_t axis, RandomSource& rng, Journal* journal);
    void journal_measurement(Journal& journal, std::size_t node, std::uint8_t effective_axis);

    // Operands the rules build, kept so their buffers stay allocated. Not part of the
    // state: a copy starts with empty ones.
    // The pivot's word buffer is sized up front for full rows, so that no operation on
    // them allocates after its first change.
    struct Scratch {
        NeighbourSet either, with_a, with_b, row;
        std::vector<std::uint64_t> words;
        // A row that a rule's walk left for later: its operand and what to leave out.
        struct Listed {
            const NeighbourSet* with;
            Qubit row, skip;
        };
        std::vector<Listed> listed;
        static constexpr std::size_t kListedKept = 4096;
        Scratch() = default;
        Scratch(const Scratch& other) : words(other.words.size()) {}
        Scratch& operator=(const Scratch& other) {
            words.resize(other.words.size());
            return *this;
        }
    };

    std::vector<Vop> vop_;
    std::vector<NeighbourSet> adjacent_;
    std::size_t full_row_words_ = 0;  // words of every row when rows are full, else 0
    Scratch scratch_;
    UndoLog undo_;
};

// One public operation as a whole. On windowed rows the outermost one turns the undo log
// on, and undoes every change if the operation throws; nested ones join it. Full rows
// need no log: every buffer an operation on them uses exists before it starts.
class Simulator::Atomic {
public:
    // Only an owner asks for the count of exceptions in flight: that is a library call, and
    // operations on full rows and nested ones start often.
    explicit Atomic(Simulator& sim) noexcept
        : sim_(sim),
          owner_(sim.full_row_words_ == 0 && !sim.undo_.active()),
          exceptions_(owner_ ? std::uncaught_exceptions() : 0) {
        if (owner_) sim_.undo_.begin();
    }
    ~Atomic() {
        if (!owner_) return;
        if (std::uncaught_exceptions() > exceptions_)
            sim_.undo_.roll_back(sim_.vop_, sim_.adjacent_);
        else
            sim_.undo_.commit();
    }
    Atomic(const Atomic&) = delete;
    Atomic& operator=(const Atomic&) = delete;

private:
    Simulator& sim_;
    const bool owner_;
    const int exceptions_;
};

}  // namespace korvane
