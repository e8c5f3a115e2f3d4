// State-preserving rewrites: local complementation and clearing a vertex's VOP with it.
#include <cstddef>

#include "decomposition_table.hpp"
#include "simulator.hpp"

namespace korvane {

void Simulator::local_complement(std::size_t v) {
    check_index(v);
    // No edit below touches the row of v, so it is walked and XORed in place: flipping
    // b's row by the whole neighbourhood (minus b) toggles every pair {b, c} once per end.
    const NeighbourSet& hood = adjacent_[v];
    hood.for_each([&](Qubit b) {
        adjacent_[b].toggle_set(hood, b);
        right_multiply(b, VOP_S);
    });
    right_multiply(v, VOP_SQRT_PLUS_IX);
}

void Simulator::remove_vop(std::size_t node, std::size_t avoid) {
    check_index(node);
    check_index(avoid);
    // For VOP 0 the sequence is four complementations at `node`, which restore every edge
    // and VOP they touch: skipping them gives the same representation.
    if (vop_[node] == VOP_I) return;
    const Qubit first = adjacent_[node].first_except(avoid);
    const std::size_t partner = first == NeighbourSet::kNone ? avoid : first;
    const Decomposition& steps = DECOMPOSITION_TABLE[vop_[node]];
    for (std::uint8_t i = 0; i < steps.length; ++i) {
        const std::size_t at = steps.steps[i] == 0 ? node : partner;
        if (i + 1 < steps.length && steps.steps[i + 1] == steps.steps[i]) {
            // Two complementations at one vertex toggle the same pairs twice: the graph
            // is unchanged and only their VOP factors remain, 14*14 = X on the vertex and
            // 6*6 = Z on its neighbours. Same representation, without the pair toggles.
            right_multiply(at, MULT_TABLE[VOP_SQRT_PLUS_IX][VOP_SQRT_PLUS_IX]);
            adjacent_[at].for_each([&](Qubit b) { right_multiply(b, MULT_TABLE[VOP_S][VOP_S]); });
            ++i;
        } else {
            local_complement(at);
        }
    }
}

}  // namespace korvane
