// State-preserving rewrites: local complementation and clearing a vertex's VOP with it.
#include <cstddef>

#include "decomposition_table.hpp"
#include "simulator.hpp"

namespace korvane {

void Simulator::local_complement(std::size_t v) {
    check_index(v);
    // adjacent_[v] is never touched below (no toggle involves v), so one list suffices.
    const std::vector<Qubit> hood = adjacent_[v].members();
    for (Qubit b : hood) {
        // Toggling b's row by the whole neighbourhood flips every pair {b, c} once from
        // each end; b itself is in the list and must not become its own neighbour.
        adjacent_[b].toggle_each(hood);
        adjacent_[b].toggle(b);
        right_multiply(b, VOP_S);
    }
    right_multiply(v, VOP_SQRT_PLUS_IX);
}

void Simulator::remove_vop(std::size_t node, std::size_t avoid) {
    check_index(node);
    check_index(avoid);
    std::size_t partner = avoid;
    bool found = false;
    adjacent_[node].for_each([&](Qubit c) {
        if (!found && c != avoid) {
            partner = c;
            found = true;
        }
    });
    const Decomposition& steps = DECOMPOSITION_TABLE[vop_[node]];
    for (std::uint8_t i = 0; i < steps.length; ++i)
        local_complement(steps.steps[i] == 0 ? node : partner);
}

}  // namespace korvane
