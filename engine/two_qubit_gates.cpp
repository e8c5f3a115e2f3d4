// The controlled-Pauli family: controlled-Z framed by basis changes of either operand.
// Every gate is a fixed list of steps; the order fixes what a failing check leaves behind.
#include <array>
#include <cstddef>
#include <cstdint>

#include "simulator.hpp"

namespace korvane {

namespace {

enum class Op : std::uint8_t { end, check, apply, cz_ct, cz_tc };
enum Who : std::uint8_t { C, T };

struct Step {
    Op op;
    Who who;
    Vop row;
};

constexpr Step check(Who w) { return {Op::check, w, 0}; }
constexpr Step apply(Who w, Vop row) { return {Op::apply, w, row}; }
constexpr Step cz_ct{Op::cz_ct, C, 0};
constexpr Step cz_tc{Op::cz_tc, C, 0};

using Program = std::array<Step, 12>;

// Rows: 10 = H, 5 = S-dagger, 6 = S. An X role is framed by H; a Y role by S-dagger, H.
constexpr std::array<Program, 8> PROGRAMS = {{
    // cx
    {check(T), apply(T, 10), cz_ct, apply(T, 10)},
    // cy
    {check(T), apply(T, 5), apply(T, 10), cz_ct, apply(T, 10), apply(T, 6)},
    // xcx
    {check(C), apply(C, 10), check(T), apply(T, 10), cz_ct, apply(T, 10), apply(C, 10)},
    // xcy
    {check(T), apply(T, 5), apply(T, 10), check(C), apply(C, 10), cz_tc, apply(C, 10), apply(T, 10),
     apply(T, 6)},
    // xcz
    {check(C), apply(C, 10), cz_tc, apply(C, 10)},
    // ycx
    {check(C), apply(C, 5), apply(C, 10), check(T), apply(T, 10), cz_ct, apply(T, 10), apply(C, 10),
     apply(C, 6)},
    // ycy
    {check(T), apply(T, 5), check(C), apply(C, 5), apply(C, 10), apply(T, 10), cz_ct, apply(T, 10),
     apply(C, 10), apply(C, 6), apply(T, 6)},
    // ycz
    {check(C), apply(C, 5), apply(C, 10), cz_tc, apply(C, 10), apply(C, 6)},
}};

}  // namespace

void Simulator::two_qubit(TwoQubitGate gate, std::size_t control, std::size_t target) {
    for (const Step& step : PROGRAMS[static_cast<std::size_t>(gate)]) {
        const std::size_t q = step.who == C ? control : target;
        switch (step.op) {
            case Op::end: return;
            case Op::check: check_index(q); break;
            case Op::apply: vop_[q] = MULT_TABLE[step.row][vop_[q]]; break;
            case Op::cz_ct: cz(control, target); break;
            case Op::cz_tc: cz(target, control); break;
        }
    }
}

}  // namespace korvane
