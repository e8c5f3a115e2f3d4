// How remove_vop clears each VOP, worked out at compile time from the decomposition table:
// its complementation sequence with consecutive pairs at one vertex folded, and for the
// sequences that are a pivot on the edge {node, partner}, the net VOP factors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "clifford_tables.hpp"
#include "decomposition_table.hpp"

namespace korvane {

inline constexpr Vop VOP_X2 = MULT_TABLE[VOP_SQRT_PLUS_IX][VOP_SQRT_PLUS_IX];  // a folded pair, at its vertex
inline constexpr Vop VOP_S2 = MULT_TABLE[VOP_S][VOP_S];                        // ... and at each neighbour

// One step: a complementation at the node or at its partner, or a folded pair of them,
// which leaves the graph alone.
struct ReductionStep {
    bool at_partner = false;
    bool folded = false;
};

struct ReductionPlan {
    std::array<ReductionStep, 5> steps{};
    std::uint8_t count = 0;
    std::uint8_t complementations = 0;
    // With three complementations: the product of every factor the sequence gives the node
    // and the partner, and the S power of each class of the pivot (index 1 P, 2 Q, 3 R).
    Vop node_factor = VOP_I;
    Vop partner_factor = VOP_I;
    std::array<Vop, 4> class_factor{};
};

// Complementations at a, b, a on the edge {a, b}, folded pairs anywhere among them. With
// P = N(a) only, Q = N(b) only and R = both (a and b left out), each vertex of a class takes
// its S factors as one power, counted from which neighbourhood it is in at each step:
//                before any   after a   after a, b   after all three
//   N(a)         P R          P R       Q R          Q R
//   N(b)         Q R          P Q       P Q          P R
// a and b stay adjacent throughout and take their own factors step by step.
constexpr ReductionPlan make_reduction_plan(const Decomposition& code) {
    ReductionPlan plan;
    for (std::size_t i = 0; i < code.length; ++i) {
        const bool folded = i + 1 < code.length && code.steps[i + 1] == code.steps[i];
        plan.steps[plan.count++] = ReductionStep{code.steps[i] == 1, folded};
        if (folded)
            ++i;
        else
            ++plan.complementations;
    }
    if (plan.complementations != 3) return plan;

    enum : unsigned { P = 1, Q = 2, R = 4 };
    constexpr std::array<unsigned, 4> in_node = {P | R, P | R, Q | R, Q | R};
    constexpr std::array<unsigned, 4> in_partner = {Q | R, P | Q, P | Q, P | R};
    std::array<unsigned, 3> power{};
    std::size_t done = 0;
    for (std::size_t i = 0; i < plan.count; ++i) {
        const ReductionStep s = plan.steps[i];
        if (!s.folded && s.at_partner != (done == 1)) throw "a three-complementation sequence is not node, partner, node";
        const unsigned classes = s.at_partner ? in_partner[done] : in_node[done];
        for (unsigned k = 0; k < 3; ++k)
            if (classes & (1u << k)) power[k] += s.folded ? 2 : 1;
        Vop& at = s.at_partner ? plan.partner_factor : plan.node_factor;
        Vop& other = s.at_partner ? plan.node_factor : plan.partner_factor;
        at = MULT_TABLE[at][s.folded ? VOP_X2 : VOP_SQRT_PLUS_IX];
        other = MULT_TABLE[other][s.folded ? VOP_S2 : VOP_S];
        if (!s.folded) ++done;
    }
    constexpr std::array<Vop, 4> s_power = {VOP_I, VOP_S, VOP_S2, MULT_TABLE[VOP_S2][VOP_S]};
    for (std::size_t k = 0; k < 3; ++k) plan.class_factor[k + 1] = s_power[power[k] % 4];
    return plan;
}

inline constexpr std::array<ReductionPlan, 24> REDUCTION_PLANS = [] {
    std::array<ReductionPlan, 24> plans{};
    for (std::size_t v = 0; v < 24; ++v) plans[v] = make_reduction_plan(DECOMPOSITION_TABLE[v]);
    return plans;
}();

}  // namespace korvane
