// State-preserving rewrites: local complementation and clearing a vertex's VOP with it.
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "multiversion.hpp"
#include "reduction_plan.hpp"
#include "simulator.hpp"
#include "vop_permutation.hpp"

namespace korvane {

void Simulator::local_complement(std::size_t v) {
    check_index(v);
    if (full_row_words_ != 0) {
        complement_full_rows(v);
        right_multiply(v, VOP_SQRT_PLUS_IX);
        return;
    }
    Atomic atomic(*this);
    // No edit below touches the row of v, so it is walked and XORed in place: flipping
    // b's row by the whole neighbourhood (minus b) toggles every pair {b, c} once per end.
    tighten(v);
    const NeighbourSet& hood = adjacent_[v];
    run_vector_kernel([&](auto width) KORVANE_INLINE {
        const NeighbourSet::Operand view = hood.operand();
        hood.for_each([&](Qubit b) KORVANE_INLINE {
            xor_row<decltype(width)::value>(b, hood, view, b);
            right_multiply(b, VOP_S);
        });
    });
    right_multiply(v, VOP_SQRT_PLUS_IX);
}

void Simulator::remove_vop(std::size_t node, std::size_t avoid) {
    check_index(node);
    check_index(avoid);
    Atomic atomic(*this);
    // For VOP 0 the sequence is four complementations at `node`, which restore every edge
    // and VOP they touch: skipping them gives the same representation.
    if (vop_[node] == VOP_I) return;
    const Qubit first = adjacent_[node].first_except(avoid);
    reduce_vop(node, first == NeighbourSet::kNone ? avoid : first);
}

// On full rows a word of neighbours at a time: no branch per member.
void Simulator::right_multiply_neighbours(std::size_t q, Vop factor) {
    if (full_row_words_ == 0) {
        const Vop* map = RIGHT_FACTOR_TABLE[factor].data();
        adjacent_[q].for_each([&](Qubit c) { assign_vop(c, map[vop_[c]]); });
        return;
    }
    right_multiply_members(vop_.data(), vop_.size(), adjacent_[q].spanned_words(), full_row_words_, factor);
}

void Simulator::reduce_vop(std::size_t node, std::size_t partner) {
    // Two consecutive complementations at one vertex toggle the same pairs twice: the graph
    // is unchanged and only their VOP factors remain, 14*14 on the vertex and 6*6 on its
    // neighbours. The plan has them folded into one step.
    const ReductionPlan& plan = REDUCTION_PLANS[vop_[node]];
    if (plan.complementations == 3 && partner != node && has_edge(node, partner)) {
        // Every plan with three complementations has them at node, partner, node: a pivot
        // on the edge, done in one pass.
        pivot_reduction(node, partner, plan);
        return;
    }
    for (std::size_t i = 0; i < plan.count; ++i) {
        const std::size_t at = plan.steps[i].at_partner ? partner : node;
        if (plan.steps[i].folded) {
            right_multiply(at, VOP_X2);
            right_multiply_neighbours(at, VOP_S2);
        } else {
            local_complement(at);
        }
    }
}

// The pivot of a three-complementation plan on the edge {a, b}: with P = N(a) only,
// Q = N(b) only and R = both (a and b left out), the three complementations toggle exactly
// the pairs between different classes and the pairs of a and of b with P and Q. So each
// row is XORed once instead of up to three times, and each vertex of a class takes its
// factors as one (see make_reduction_plan).
void Simulator::pivot_reduction(std::size_t a, std::size_t b, const ReductionPlan& plan) {
    right_multiply(a, plan.node_factor);
    right_multiply(b, plan.partner_factor);
    if (full_row_words_ != 0) return pivot_full_rows(a, b, plan.class_factor);
    const Vop factor_p = plan.class_factor[1], factor_q = plan.class_factor[2], factor_r = plan.class_factor[3];

    // The three operands, built once: P and Q for R; N(b) and b for P; N(a) and a for Q.
    NeighbourSet& either = operand(scratch_.either);
    NeighbourSet& with_a = operand(scratch_.with_a);
    NeighbourSet& with_b = operand(scratch_.with_b);
    tighten(a);
    tighten(b);
    const NeighbourSet& na = adjacent_[a];
    const NeighbourSet& nb = adjacent_[b];
    either = na;
    either.toggle_set(nb, static_cast<Qubit>(a), static_cast<Qubit>(b));
    with_b = nb;
    with_b.insert(b);
    with_a = na;
    with_a.insert(a);
    // Rows other than a's and b's, from the untouched rows of a and b; a vector kernel.
    run_vector_kernel([&](auto width) KORVANE_INLINE {
        constexpr std::size_t bytes = decltype(width)::value;
        const NeighbourSet::Operand view_b = with_b.operand(), view_a = with_a.operand(), view_ab = either.operand();
        NeighbourSet::for_each_split(
            na, nb,
            [&](Qubit c) KORVANE_INLINE {
                if (c == b) return;
                xor_row<bytes>(c, with_b, view_b);
                right_multiply(c, factor_p);
            },
            [&](Qubit c) KORVANE_INLINE {
                if (c == a) return;
                xor_row<bytes>(c, with_a, view_a);
                right_multiply(c, factor_q);
            },
            [&](Qubit c) KORVANE_INLINE {
                xor_row<bytes>(c, either, view_ab);
                right_multiply(c, factor_r);
            });
        xor_row<bytes>(a, either, view_ab);
        xor_row<bytes>(b, either, view_ab);
    });
}

// The pivot's row edits on full rows: a pass over N(a) | N(b) a word at a time for each
// class, each row XORed with no window to check, over the quads of words that hold a
// member of an operand. The operands are built in one
// pass over the rows of a and b, which no edit touches until the end. Compiled a second
// time for AVX2 (256-bit XORs), which runs where the CPU has it (multiversion.hpp).
void Simulator::pivot_full_rows(std::size_t a, std::size_t b, const std::array<Vop, 4>& factor) {
    const auto edit = [&](auto width) KORVANE_INLINE {
        constexpr std::size_t bytes = decltype(width)::value;
        const std::size_t words = full_row_words_;
        std::uint64_t* const with_b = full_row_operands();  // N(b) and b, for P; sized with the rows
        std::uint64_t* const with_a = with_b + quad_words(words);  // N(a) and a, for Q
        std::uint64_t* const either = with_a + quad_words(words);  // P and Q, for R
        const std::uint64_t* wa = adjacent_[a].spanned_words();
        const std::uint64_t* wb = adjacent_[b].spanned_words();
        std::size_t from = words, to = 0;  // a and b are members too: they are adjacent
        bool common = false;               // R is not empty
        for (std::size_t k = 0; k < words; ++k) {
            with_b[k] = wb[k];
            with_a[k] = wa[k];
            either[k] = wa[k] ^ wb[k];
            common |= (wa[k] & wb[k]) != 0;
            if ((wa[k] | wb[k]) == 0) continue;
            from = std::min(from, k);
            to = k + 1;
        }
        const std::uint64_t bit_a = std::uint64_t{1} << (a % 64), bit_b = std::uint64_t{1} << (b % 64);
        with_b[b / 64] |= bit_b;
        with_a[a / 64] |= bit_a;
        either[a / 64] ^= bit_a;  // in N(b) only: drop it
        either[b / 64] ^= bit_b;  // in N(a) only: drop it
        from = from / 4 * 4;
        to = quad_words(to);

        // The length is the same for every row of the pass: up to 16 words (1024 qubits) it
        // is a template argument, which unrolls the XOR.
        // Each class in a loop of its own, so that the operand and the factor are fixed
        // for the loop; no row is an operand, so the order of the rows does not matter.
        // Locals, not members: a row XOR's stores may alias anything, so the vectors'
        // pointers would be read again for every row.
        NeighbourSet* const rows = adjacent_.data();
        Vop* const vops = vop_.data();
        // a and b are done below: out of their classes.
        const std::size_t word_a = a / 64, word_b = b / 64;
        auto pass = [&]<std::size_t Quads>(std::integral_constant<std::size_t, Quads>) KORVANE_INLINE {
            const auto edit_class = [&](std::size_t cls, const std::uint64_t* with) KORVANE_INLINE {
                const Vop* const times = RIGHT_FACTOR_TABLE[factor[cls]].data();
                for (std::size_t k = from; k < to; ++k) {
                    const std::uint64_t x = wa[k] & ~(k == word_b ? bit_b : 0);
                    const std::uint64_t y = wb[k] & ~(k == word_a ? bit_a : 0);
                    std::uint64_t members = cls == 1 ? x & ~y : cls == 2 ? y & ~x : x & y;
                    for (; members; members &= members - 1) {
                        const std::size_t c = k * 64 + static_cast<std::size_t>(std::countr_zero(members));
                        rows[c].xor_spanned<Quads, bytes>(with, from, to);
                        vops[c] = times[vops[c]];  // full rows keep no undo log
                    }
                }
            };
            edit_class(1, with_b);
            edit_class(2, with_a);
            if (common) edit_class(3, either);
        };
        with_known_count<4>((to - from) / 4, pass);
        adjacent_[a].xor_spanned<0, bytes>(either, from, to);
        adjacent_[b].xor_spanned<0, bytes>(either, from, to);
    };
    run_vector_kernel(edit);
}

// On full rows a word of v's neighbours at a time, each row XORed with the span of v's row
// as a few unrolled vector operations of a length known at compile time, as in the pivot.
// v's row is the operand and no edit touches it; b's own bit, which the XOR sets, is
// cleared again.
void Simulator::complement_full_rows(std::size_t v) {
    const auto edit = [&](auto width) KORVANE_INLINE {
        constexpr std::size_t bytes = decltype(width)::value;
        const std::size_t words = full_row_words_;
        const std::uint64_t* hood = adjacent_[v].spanned_words();
        std::size_t from = words, to = 0;
        for (std::size_t k = 0; k < words; ++k) {
            if (hood[k] == 0) continue;
            from = std::min(from, k);
            to = k + 1;
        }
        if (from >= to) return;
        from = from / 4 * 4;
        to = quad_words(to);  // the row's spare words are zero
        NeighbourSet* const rows = adjacent_.data();  // locals: see pivot_full_rows
        Vop* const vops = vop_.data();
        const Vop* const times_s = RIGHT_FACTOR_TABLE[VOP_S].data();
        auto pass = [&]<std::size_t Quads>(std::integral_constant<std::size_t, Quads>) KORVANE_INLINE {
            for (std::size_t k = from; k < to; ++k) {
                for (std::uint64_t m = hood[k]; m; m &= m - 1) {
                    const int i = std::countr_zero(m);
                    const std::size_t b = k * 64 + static_cast<std::size_t>(i);
                    rows[b].xor_spanned<Quads, bytes>(hood, from, to);
                    rows[b].clear_spanned_bit(b);
                    vops[b] = times_s[vops[b]];  // full rows keep no undo log
                }
            }
        };
        with_known_count<4>((to - from) / 4, pass);
    };
    run_vector_kernel(edit);
}

}  // namespace korvane
