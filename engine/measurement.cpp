// Projective Pauli measurement: the requested axis is carried through the VOP to an
// effective axis on the bare graph state, whose rewriting rule then applies.
#include <cstddef>
#include <cstdint>
#include <string>

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
    Atomic atomic(*this);
    switch (eff.axis) {
        case 0: measure_x_rule(node, r); break;
        case 1: measure_y_rule(node, r); break;
        default: measure_z_rule(node, r); break;
    }
    return sign ^ r;
}

void Simulator::measure_z_rule(std::size_t node, std::uint8_t r) {
    adjacent_[node].for_each([&](Qubit c) {
        erase_bit(c, node);
        if (r) right_multiply(c, VOP_Z);
    });
    clear_row(node);
    if (r) right_multiply(node, VOP_X);
    right_multiply(node, VOP_H);
}

void Simulator::measure_y_rule(std::size_t node, std::uint8_t r) {
    const Vop factor = r ? VOP_SDAG : VOP_S;
    // Complementing the neighbourhood flips each pair once per end, and node's edges go
    // too: each neighbour's row is XORed with N and node, itself left out.
    tighten(node);
    const NeighbourSet& hood = adjacent_[node];
    NeighbourSet& with_node = operand(scratch_.with_a);
    with_node = hood;
    with_node.insert(node);
    hood.for_each([&](Qubit c) {
        right_multiply(c, factor);
        xor_row(c, with_node, c);
    });
    clear_row(node);
    right_multiply(node, factor);
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
    // The operands first: on full rows nothing after them allocates.
    NeighbourSet& either = operand(scratch_.either);
    NeighbourSet& with_b = operand(scratch_.with_b);
    either = hood;  // N ^ N_b without b, for the rows in both
    either.toggle_set(hood_b, NeighbourSet::kNone, b);
    with_b = hood_b;  // N_b and b, for the rows in N only
    with_b.insert(b);
    right_multiply(b, r == 0 ? VOP_SQRT_PLUS_IY : VOP_SQRT_MINUS_IY);
    if (r) right_multiply(node, VOP_Z);
    NeighbourSet::for_each_split(
        hood, hood_b,
        [&](Qubit c) {
            if (c == b) return;
            if (r == 0) right_multiply(c, VOP_Z);
            xor_row(c, with_b);
        },
        [&](Qubit c) {
            if (c == node) return;
            if (r) right_multiply(c, VOP_Z);
            xor_row(c, hood);
        },
        [&](Qubit c) { xor_row(c, either); });
    assign_row(b, hood);
    erase_bit(b, b);
    clear_row(node);
}

}  // namespace korvane
