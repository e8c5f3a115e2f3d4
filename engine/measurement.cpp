// Projective Pauli measurement: the requested axis is carried through the VOP to an
// effective axis on the bare graph state, whose rewriting rule then applies.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "simulator.hpp"

namespace korvane {

std::uint8_t Simulator::measure(std::size_t node, std::uint8_t axis, RandomSource& rng) {
    check_index(node);
    const ConjugatedAxis eff = conjugate_axis(ADJOINT_TABLE[vop_[node]], axis);
    const std::uint8_t sign = eff.negated ? 1 : 0;
    if (eff.axis == 0 && adjacent_[node].empty()) return sign;
    // The draw comes before any change, so a generator that cannot be seeded changes nothing.
    const auto r = static_cast<std::uint8_t>(rng.next_u32() >> 31);
    switch (eff.axis) {
        case 0: measure_x_rule(node, r); break;
        case 1: measure_y_rule(node, r); break;
        default: measure_z_rule(node, r); break;
    }
    return sign ^ r;
}

void Simulator::measure_z_rule(std::size_t node, std::uint8_t r) {
    for (Qubit c : adjacent_[node].members()) {
        remove_edge(node, c);
        if (r) right_multiply(c, VOP_Z);
    }
    if (r) right_multiply(node, VOP_X);
    right_multiply(node, VOP_H);
}

void Simulator::measure_y_rule(std::size_t node, std::uint8_t r) {
    const Vop factor = r ? VOP_SDAG : VOP_S;
    const std::vector<Qubit> hood = adjacent_[node].members();
    for (Qubit c : hood) {
        right_multiply(c, factor);
        // Complement the neighbourhood (each pair once, seen from both ends) and cut c from node.
        adjacent_[c].toggle_each(hood);
        adjacent_[c].toggle(c);
        remove_edge(c, node);
    }
    right_multiply(node, factor);
}

void Simulator::measure_x_rule(std::size_t node, std::uint8_t r) {
    const std::vector<Qubit> hood = adjacent_[node].members();
    const Qubit b = hood.front();  // lowest neighbour; non-empty by the caller's test
    const std::vector<Qubit> hood_b = adjacent_[b].members();

    std::vector<Qubit> only_n, only_b, both, either;
    std::set_difference(hood.begin(), hood.end(), hood_b.begin(), hood_b.end(), std::back_inserter(only_n));
    std::set_difference(hood_b.begin(), hood_b.end(), hood.begin(), hood.end(), std::back_inserter(only_b));
    std::set_intersection(hood.begin(), hood.end(), hood_b.begin(), hood_b.end(), std::back_inserter(both));
    std::set_symmetric_difference(hood.begin(), hood.end(), hood_b.begin(), hood_b.end(),
                                  std::back_inserter(either));

    if (r == 0) {
        right_multiply(b, VOP_SQRT_PLUS_IY);
        for (Qubit c : only_n)
            if (c != b) right_multiply(c, VOP_Z);
    } else {
        right_multiply(b, VOP_SQRT_MINUS_IY);
        right_multiply(node, VOP_Z);
        for (Qubit c : only_b)
            if (c != node) right_multiply(c, VOP_Z);
    }

    // Toggle every pair of N x N_b once, then the pairs inside N & N_b, written per row:
    // a vertex in both sets sees the two toggles of I cancel, leaving N ^ N_b.
    for (Qubit c : only_n) adjacent_[c].toggle_each(hood_b);
    for (Qubit c : only_b) adjacent_[c].toggle_each(hood);
    for (Qubit c : both) adjacent_[c].toggle_each(either);
    // Then b is joined to exactly the rest of N.
    for (Qubit d : hood)
        if (d != b) toggle_edge(b, d);
}

}  // namespace korvane
