// Projective Pauli measurement: the requested axis is carried through the VOP to an
// effective axis on the bare graph state, whose rewriting rule then applies.
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "engine_error.hpp"
#include "simulator.hpp"
#include "vop_permutation.hpp"

namespace korvane {

std::uint8_t Simulator::measure(std::size_t node, std::uint8_t axis, RandomSource& rng) {
    return measure_saving(node, axis, rng, nullptr);
}

std::uint8_t Simulator::measure_saving(std::size_t node, std::uint8_t axis, RandomSource& rng, Journal* journal) {
    check_index(node);
    if (axis > 2) throw EngineError("axis out of range: " + std::to_string(axis) + " is not 0 (X), 1 (Y) or 2 (Z)");
    const ConjugatedAxis eff = conjugate_axis(ADJOINT_TABLE[vop_[node]], axis);
    const std::uint8_t sign = eff.negated ? 1 : 0;
    if (eff.axis == 0 && adjacent_[node].empty()) return sign;
    // The draw comes before any change, so a generator that cannot be seeded changes nothing.
    const auto r = static_cast<std::uint8_t>(rng.next_u32() >> 31);
    if (journal) journal_measurement(*journal, node, eff.axis);
    // Each rule builds its operands before its first change and edits rows reversibly, so
    // it needs no undo log.
    switch (eff.axis) {
        case 0: measure_x_rule(node, r); break;
        case 1: measure_y_rule(node, r); break;
        default: measure_z_rule(node, r); break;
    }
    return sign ^ r;
}

// Removing a member and emptying a row never allocate.
void Simulator::measure_z_rule(std::size_t node, std::uint8_t r) {
    NeighbourSet* const rows = adjacent_.data();  // a local: see edit_rows
    adjacent_[node].for_each([&](Qubit c) { rows[c].erase(node); });
    if (r) right_multiply_members_plain(adjacent_[node], VOP_Z);
    clear_row(node);
    if (r) right_multiply_plain(node, VOP_X);
    right_multiply_plain(node, VOP_H);
}

namespace {

// A window of at most this many words is short: its bound below costs less than counting
// its bits.
constexpr std::size_t kShortWindowWords = 32;

// At least the number of members of `set`.
std::size_t members_bound(const NeighbourSet& set) noexcept {
    const std::size_t words = set.operand().len;
    return words != 0 && words <= kShortWindowWords ? 64 * words : set.size();
}

}  // namespace

// Rows edited with reversible XORs. The walk edits in place the rows whose window the
// operand fits, and only lists the others: with no call in it, it keeps its registers for
// the XORs, which are the whole cost of the rule. The listed rows are edited after it, each
// strongly; if one fails, those listed before it and every row the walk edited are edited
// back and the failure goes on: the rule changes nothing. Only once all are done are the
// listed rows, which grew, settled. The walk visits at most `most` rows, each once, and
// always in the same order. The rules apply their VOP factors afterwards, when nothing can
// fail any more.
template <std::size_t VectorBytes, class Walk>
void Simulator::edit_rows(std::size_t most, Walk&& walk) {
    // The X rule's bound for two short windows stays within the scratch that is kept.
    static_assert(2 * 64 * kShortWindowWords <= Scratch::kListedKept);
    std::vector<Scratch::Listed>& listed = scratch_.listed;
    if (listed.size() < most) listed.resize(most);  // before any change: it may throw
    Scratch::Listed* const list = listed.data();
    std::size_t count = 0;
    // Held in a local: a row XOR stores through pointers that may alias anything, so the
    // vector's data pointer would otherwise be read again for every row.
    NeighbourSet* const rows = adjacent_.data();
    // Inlined at each call of the walk, so that constant arguments fold away.
    walk([&](Qubit c, const NeighbourSet& with, const NeighbourSet::Operand& view, Qubit skip, auto vectors)
             KORVANE_INLINE {
        NeighbourSet& row = rows[c];
        if (row.fits(view)) [[likely]]
            row.xor_in_window_in<VectorBytes, decltype(vectors)::value>(view, skip, NeighbourSet::kNone);
        else
            list[count++] = {&with, c, skip};
    });
    std::size_t done = 0;
    try {
        for (; done < count; ++done) rows[list[done].row].toggle_set_reversible(*list[done].with, list[done].skip);
    } catch (...) {
        // Row list[done] is as it was. Undoing cannot fail: each edit kept room for its undo.
        for (std::size_t k = 0; k < done; ++k) rows[list[k].row].toggle_set_reversible(*list[k].with, list[k].skip);
        // The listed rows come in the walk's order, so a second walk tells them apart.
        std::size_t next = 0;
        walk([&](Qubit c, const NeighbourSet&, const NeighbourSet::Operand& view, Qubit skip, auto vectors)
                 KORVANE_INLINE {
            if (next < count && list[next].row == c)
                ++next;
            else
                rows[c].xor_in_window_in<VectorBytes, decltype(vectors)::value>(view, skip, NeighbourSet::kNone);
        });
        // What the listed rows grew for the edits goes back where memory allows: it may be
        // what ran out.
        for (std::size_t k = 0; k <= done; ++k) rows[list[k].row].settle_after_edit();
        throw;
    }
    for (std::size_t k = 0; k < count; ++k) rows[list[k].row].settle_after_edit();
    // A hub's rule lists a row for each of its members: that much is not kept.
    if (listed.size() > Scratch::kListedKept) std::vector<Scratch::Listed>().swap(listed);
}

// The factor on the VOP of every member of `set` that is neither in `outside` nor
// `except`: a window's members a word at a time (vop_permutation.hpp). Unlogged, like
// right_multiply_plain.
void Simulator::right_multiply_members_plain(const NeighbourSet& set, Vop factor, const NeighbourSet& outside,
                                             Qubit except) noexcept {
    const NeighbourSet::Operand in = set.operand(), out = outside.operand();
    if (in.len == 0 || (out.len == 0 && !outside.empty())) {
        set.for_each([&](Qubit c) {
            if (c != except && !outside.contains(c)) right_multiply_plain(c, factor);
        });
        return;
    }
    const std::size_t first = in.base * 64;  // members lie below size(), so first does too
    right_multiply_words(vop_.data() + first, vop_.size() - first, in.len, factor, [&](std::size_t k) KORVANE_INLINE {
        const std::size_t at = in.base + k, o = at - out.base;  // o wraps below the window
        std::uint64_t m = in.words[k] & ~(o < out.len ? out.words[o] : 0);
        if (except / 64 == at) m &= ~(std::uint64_t{1} << (except % 64));
        return m;
    });
}

void Simulator::measure_y_rule(std::size_t node, std::uint8_t r) {
    const Vop factor = r ? VOP_SDAG : VOP_S;
    // Complementing the neighbourhood flips each pair once per end, and node's edges go
    // too: each neighbour's row is XORed with N and node, itself left out.
    tighten(node);
    const NeighbourSet& hood = adjacent_[node];
    NeighbourSet& with_node = scratch_.with_a;
    with_node = hood;
    with_node.insert(node);
    // The walk is a vector kernel: the row XORs are the whole cost of the rule. The factor
    // goes to the neighbours' VOPs once it is done, a word of them at a time.
    run_vector_kernel([&](auto width) KORVANE_INLINE {
        constexpr std::size_t bytes = decltype(width)::value;
        edit_rows<bytes>(members_bound(hood), [&](auto&& edit) KORVANE_INLINE {
            const NeighbourSet::Operand view = with_node.operand();
            with_known_count<kUnrolledVectors>(vectors_over<bytes>(view.len), [&](auto vectors) KORVANE_INLINE {
                hood.for_each([&](Qubit c) KORVANE_INLINE { edit(c, with_node, view, c, vectors); });
            });
        });
    });
    right_multiply_members_plain(hood, factor);
    clear_row(node);
    right_multiply_plain(node, factor);
}

void Simulator::measure_x_rule(std::size_t node, std::uint8_t r) {
    tighten(node);
    const Qubit b = adjacent_[node].first();  // lowest neighbour; non-empty by the caller's test
    tighten(b);
    // Neither row changes until the end: node and b are the only members the loop skips.
    const NeighbourSet& hood = adjacent_[node];
    const NeighbourSet& hood_b = adjacent_[b];

    // Every pair of N x N_b toggled once, then every pair inside N & N_b, then b joined to
    // the rest of N, written per row (each row once):
    //  - c in N only (c != b): gains N_b, and the edge to b flips;
    //  - c in both: the toggles of the intersection cancel, leaving N ^ N_b, in which b
    //    already is, and the b flip cancels that;
    //  - c in N_b only: gains N (node, whose row is N, is left empty);
    //  - b: gains N_b (which empties it), then N without itself.
    // The Z factors go to N only (b aside) for r = 0, to N_b only (node aside) for r = 1.
    NeighbourSet& either = scratch_.either;
    NeighbourSet& with_b = scratch_.with_b;
    NeighbourSet& row_b = scratch_.row;
    either = hood;  // N ^ N_b without b, for the rows in both
    either.toggle_set(hood_b, NeighbourSet::kNone, b);
    with_b = hood_b;  // N_b and b, for the rows in N only
    with_b.insert(b);
    row_b = hood;
    row_b.erase(b);
    const std::size_t most = members_bound(hood) + members_bound(hood_b);
    run_vector_kernel([&](auto width) KORVANE_INLINE {
        constexpr std::size_t bytes = decltype(width)::value;
        edit_rows<bytes>(most, [&](auto&& edit) KORVANE_INLINE {
            // Copies: the row XORs may write anywhere, and the originals are out of sight.
            const auto partner = static_cast<Qubit>(b), measured = static_cast<Qubit>(node);
            // Each part in a pass of its own, with its operand's length known.
            const auto part = [&]<NeighbourSet::Part P>(const NeighbourSet& with, Qubit leave_out) KORVANE_INLINE {
                const NeighbourSet::Operand view = with.operand();
                with_known_count<kUnrolledVectors>(vectors_over<bytes>(view.len), [&](auto vectors) KORVANE_INLINE {
                    NeighbourSet::for_each_in<P>(hood, hood_b, [&](Qubit c) KORVANE_INLINE {
                        if (c != leave_out) edit(c, with, view, NeighbourSet::kNone, vectors);
                    });
                });
            };
            part.template operator()<NeighbourSet::Part::only_a>(with_b, partner);
            part.template operator()<NeighbourSet::Part::only_b>(hood, measured);
            part.template operator()<NeighbourSet::Part::both>(either, NeighbourSet::kNone);
        });
    });
    // Neither row has changed yet.
    if (r == 0)
        right_multiply_members_plain(hood, VOP_Z, hood_b, b);
    else
        right_multiply_members_plain(hood_b, VOP_Z, hood, node);
    right_multiply_plain(b, r == 0 ? VOP_SQRT_PLUS_IY : VOP_SQRT_MINUS_IY);
    if (r) right_multiply_plain(node, VOP_Z);
    // Row b's storage trades places with the scratch row: nothing to allocate.
    std::swap(adjacent_[b], row_b);
    clear_row(node);
}

}  // namespace korvane
