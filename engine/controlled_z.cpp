// Controlled-Z: reduce the operands until both commute with CZ where it matters,
// then one table look-up gives the new edge bit and VOPs.
#include <cstddef>
#include <optional>

#include "cphase_table.hpp"
#include "engine_error.hpp"
#include "simulator.hpp"

namespace korvane {

// remove_vop(q, other) when q has a neighbour besides `other`. A VOP of 0 needs no look at
// the row: remove_vop leaves it as it is. The undo log starts with the first reduction: a
// gate that needs none is one strongly safe edge toggle and VOP stores.
void Simulator::reduce_if_outside(std::size_t q, std::size_t other, std::optional<Atomic>& atomic) {
    if (vop_[q] == VOP_I) return;
    const Qubit first = adjacent_[q].first_except(other);
    if (first == NeighbourSet::kNone) return;
    if (!atomic) atomic.emplace(*this);
    reduce_vop(q, first);
}

void Simulator::cz(std::size_t a, std::size_t b) {
    if (a == b) fail_equal_operands(a, b);
    check_index(a);
    check_index(b);
    std::optional<Atomic> atomic;
    // Each test is taken live, right before its reduction: reducing one operand can give
    // the other outside neighbours it did not have before.
    reduce_if_outside(a, b, atomic);
    reduce_if_outside(b, a, atomic);
    if (!is_diagonal(vop_[a])) reduce_if_outside(a, b, atomic);

    const bool edge = adjacent_[a].contains(b);
    const CphaseEntry& e = CPHASE_TABLE[edge][vop_[a]][vop_[b]];
    if (e.edge != edge) {
        if (undo_.active()) {
            toggle_bit(a, b);
            toggle_bit(b, a);
        } else {
            adjacent_[a].toggle(b);
            try {
                adjacent_[b].toggle(a);
            } catch (...) {
                adjacent_[a].toggle_within_room(b);
                throw;
            }
        }
    }
    assign_vop(a, e.vop_a);
    assign_vop(b, e.vop_b);
}

}  // namespace korvane
