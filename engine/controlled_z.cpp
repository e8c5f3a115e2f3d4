// Controlled-Z: reduce the operands until both commute with CZ where it matters,
// then one table look-up gives the new edge bit and VOPs.
#include <cstddef>
#include <string>

#include "cphase_table.hpp"
#include "engine_error.hpp"
#include "simulator.hpp"

namespace korvane {

bool Simulator::has_outside_neighbour(std::size_t a, std::size_t b) const {
    return adjacent_[a].first_except(b) != NeighbourSet::kNone;
}

void Simulator::cz(std::size_t a, std::size_t b) {
    if (a == b)
        throw EngineError("assertion `left != right` failed: Same control and target not allowed\n  left: " +
                          std::to_string(a) + "\n right: " + std::to_string(b));
    check_index(a);
    check_index(b);
    // Each test is taken live, right before its reduction: reducing one operand can give
    // the other outside neighbours it did not have before.
    if (has_outside_neighbour(a, b)) remove_vop(a, b);
    if (has_outside_neighbour(b, a)) remove_vop(b, a);
    if (has_outside_neighbour(a, b) && !is_diagonal(vop_[a])) remove_vop(a, b);

    const bool edge = adjacent_[a].contains(b);
    const CphaseEntry& e = CPHASE_TABLE[edge][vop_[a]][vop_[b]];
    if (e.edge)
        add_edge(a, b);
    else
        remove_edge(a, b);
    vop_[a] = e.vop_a;
    vop_[b] = e.vop_b;
}

}  // namespace korvane
