// Projective Pauli measurement: the requested axis is carried through the VOP to an
// effective axis on the bare graph state, whose rewriting rule then applies.
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "engine_error.hpp"
#include "simulator.hpp"

namespace korvane {

std::uint8_t Simulator::measure(std::size_t node, std::uint8_t axis, RandomSource& rng) {
    check_index(node);
    if (axis > 2) throw EngineError("axis out of range: " + std::to_string(axis) + " is not 0 (X), 1 (Y) or 2 (Z)");
    const ConjugatedAxis eff = conjugate_axis(ADJOINT_TABLE[vop_[node]], axis);
    const std::uint8_t sign = eff.negated ? 1 : 0;
    if (eff.axis == 0 && adjacent_[node].empty()) return sign;
    // The draw comes before any change, so a generator that cannot be seeded changes nothing.
    const auto r = static_cast<std::uint8_t>(rng.next_u32() >> 31);
    if (journal_) journal_measurement(node, eff.axis);
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
    adjacent_[node].for_each([&](Qubit c) {
        adjacent_[c].erase(node);
        if (r) right_multiply_plain(c, VOP_Z);
    });
    clear_row(node);
    if (r) right_multiply_plain(node, VOP_X);
    right_multiply_plain(node, VOP_H);
}

// Rows edited one by one with reversible XORs, each row's VOP multiplied by its factor. If
// an edit fails, the rows before it are edited back and the failure goes on: the rule
// changes nothing. Only once all are done are the rows that grew settled.
template <std::size_t VectorBytes, class Walk>
void Simulator::edit_rows(Walk&& walk) {
    std::vector<Qubit>& grown = scratch_.grown;
    grown.clear();
    Qubit failed = NeighbourSet::kNone;  // the row whose edit failed; set only then
    // Held in locals: a row XOR stores through pointers that may alias anything, so the
    // vectors' data pointers would otherwise be read again for every row.
    NeighbourSet* const rows = adjacent_.data();
    Vop* const vops = vop_.data();
    try {
        // Inlined at each call of the walk, so that constant arguments fold away.
        walk([&](Qubit c, const NeighbourSet& with, const NeighbourSet::Operand& view, Qubit skip, Vop factor)
                 KORVANE_INLINE {
            NeighbourSet& row = rows[c];
            try {
                if (row.toggle_set_reversible_in<VectorBytes>(with, view, skip)) {
                    try {
                        grown.push_back(c);
                    } catch (...) {
                        row.toggle_set_reversible_in<VectorBytes>(with, view, skip);
                        throw;
                    }
                }
            } catch (...) {
                failed = c;  // its row is as it was
                throw;
            }
            if (factor != VOP_I) vops[c] = MULT_TABLE[vops[c]][factor];
        });
    } catch (...) {
        // The walk visits each row once, in the same order: undo those before the failed one.
        bool before = true;
        walk([&](Qubit c, const NeighbourSet& with, const NeighbourSet::Operand& view, Qubit skip, Vop factor)
                 KORVANE_INLINE {
            if (c == failed) before = false;
            if (!before) return;
            adjacent_[c].toggle_set_reversible_in<VectorBytes>(with, view, skip);
            if (factor != VOP_I) right_multiply_plain(c, ADJOINT_TABLE[factor]);
        });
        throw;
    }
    for (Qubit c : grown) adjacent_[c].settle_after_edit();
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
    // The walk is a vector kernel: the row XORs are the whole cost of the rule.
    run_vector_kernel([&](auto width) KORVANE_INLINE {
        edit_rows<decltype(width)::value>([&](auto&& edit) KORVANE_INLINE {
            const NeighbourSet::Operand view = with_node.operand();
            hood.for_each([&](Qubit c) KORVANE_INLINE { edit(c, with_node, view, c, factor); });
        });
    });
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
    // The factors as compile-time constants, one instance per result; each a vector kernel.
    auto walk = [&](auto width, auto z_in_a, auto z_in_b) KORVANE_INLINE {
        edit_rows<decltype(width)::value>([&](auto&& edit) KORVANE_INLINE {
            const NeighbourSet::Operand view_b = with_b.operand(), view_a = hood.operand(), view_ab = either.operand();
            NeighbourSet::for_each_split(
                hood, hood_b,
                [&](Qubit c) KORVANE_INLINE {
                    if (c != b) edit(c, with_b, view_b, NeighbourSet::kNone, z_in_a());
                },
                [&](Qubit c) KORVANE_INLINE {
                    if (c != node) edit(c, hood, view_a, NeighbourSet::kNone, z_in_b());
                },
                [&](Qubit c) KORVANE_INLINE { edit(c, either, view_ab, NeighbourSet::kNone, VOP_I); });
        });
    };
    using Z = std::integral_constant<Vop, VOP_Z>;
    using I = std::integral_constant<Vop, VOP_I>;
    if (r == 0)
        run_vector_kernel(walk, Z{}, I{});
    else
        run_vector_kernel(walk, I{}, Z{});
    right_multiply_plain(b, r == 0 ? VOP_SQRT_PLUS_IY : VOP_SQRT_MINUS_IY);
    if (r) right_multiply_plain(node, VOP_Z);
    // Row b's storage trades places with the scratch row: nothing to allocate.
    std::swap(adjacent_[b], row_b);
    clear_row(node);
}

}  // namespace korvane
