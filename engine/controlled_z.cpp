// Controlled-Z: reduce the operands until both commute with CZ where it matters,
// then one table look-up gives the new edge bit and VOPs.
#include <cstddef>

#include "cphase_table.hpp"
#include "engine_error.hpp"
#include "simulator.hpp"

namespace korvane {

// remove_vop(q, other) when q has a neighbour besides `other`. A VOP of 0 needs no look at
// the row: remove_vop leaves it as it is.
void Simulator::reduce_if_outside(std::size_t q, std::size_t other) {
    if (vop_[q] == VOP_I) return;
    const Qubit first = adjacent_[q].first_except(other);
    if (first != NeighbourSet::kNone) reduce_vop(q, first);
}

void Simulator::cz(std::size_t a, std::size_t b) {
    if (a == b) fail_equal_operands(a, b);
    check_index(a);
    check_index(b);
    Atomic atomic(*this);
    // Each test is taken live, right before its reduction: reducing one operand can give
    // the other outside neighbours it did not have before.
    reduce_if_outside(a, b);
    reduce_if_outside(b, a);
    if (!is_diagonal(vop_[a])) reduce_if_outside(a, b);

    const bool edge = adjacent_[a].contains(b);
    const CphaseEntry& e = CPHASE_TABLE[edge][vop_[a]][vop_[b]];
    if (e.edge != edge) {
        toggle_bit(a, b);
        toggle_bit(b, a);
    }
    assign_vop(a, e.vop_a);
    assign_vop(b, e.vop_b);
}

}  // namespace korvane
