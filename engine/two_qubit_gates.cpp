// The controlled-Pauli family: controlled-Z framed by basis changes of either operand.
// Every gate is a fixed list of steps; the order fixes what a failing check leaves behind.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "engine_error.hpp"
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

// An X role is framed by H; a Y role by S-dagger, H.
constexpr std::array<Program, 8> PROGRAMS = {{
    // cx
    {check(T), apply(T, VOP_H), cz_ct, apply(T, VOP_H)},
    // cy
    {check(T), apply(T, VOP_SDAG), apply(T, VOP_H), cz_ct, apply(T, VOP_H), apply(T, VOP_S)},
    // xcx
    {check(C), apply(C, VOP_H), check(T), apply(T, VOP_H), cz_ct, apply(T, VOP_H), apply(C, VOP_H)},
    // xcy
    {check(T), apply(T, VOP_SDAG), apply(T, VOP_H), check(C), apply(C, VOP_H), cz_tc, apply(C, VOP_H),
     apply(T, VOP_H), apply(T, VOP_S)},
    // xcz
    {check(C), apply(C, VOP_H), cz_tc, apply(C, VOP_H)},
    // ycx
    {check(C), apply(C, VOP_SDAG), apply(C, VOP_H), check(T), apply(T, VOP_H), cz_ct, apply(T, VOP_H), apply(C, VOP_H),
     apply(C, VOP_S)},
    // ycy
    {check(T), apply(T, VOP_SDAG), check(C), apply(C, VOP_SDAG), apply(C, VOP_H), apply(T, VOP_H), cz_ct, apply(T, VOP_H),
     apply(C, VOP_H), apply(C, VOP_S), apply(T, VOP_S)},
    // ycz
    {check(C), apply(C, VOP_SDAG), apply(C, VOP_H), cz_tc, apply(C, VOP_H), apply(C, VOP_S)},
}};

}  // namespace

// Each gate's program is unrolled at compile time: a gate is a few table look-ups and one
// controlled-Z, with no step dispatch at run time.
template <TwoQubitGate G>
void Simulator::run_two_qubit(std::size_t control, std::size_t target) {
    auto run = [&]<std::size_t I>(std::integral_constant<std::size_t, I>) {
        constexpr Step step = PROGRAMS[static_cast<std::size_t>(G)][I];
        const std::size_t q = step.who == C ? control : target;
        if constexpr (step.op == Op::check)
            check_index(q);
        else if constexpr (step.op == Op::apply)
            vop_[q] = MULT_TABLE[step.row][vop_[q]];
        else if constexpr (step.op == Op::cz_ct)
            cz(control, target);
        else if constexpr (step.op == Op::cz_tc)
            cz(target, control);
        return step.op != Op::end;
    };
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (run(std::integral_constant<std::size_t, I>{}) && ...);
    }(std::make_index_sequence<std::tuple_size_v<Program>>{});
}

void Simulator::two_qubit(TwoQubitGate gate, std::size_t control, std::size_t target) {
    // The controlled-Z undoes its own changes when it cannot complete; the basis changes
    // around it are undone here. A failed check keeps them, as documented.
    const bool has_c = control < size(), has_t = target < size();
    const Vop vop_c = has_c ? vop_[control] : 0, vop_t = has_t ? vop_[target] : 0;
    try {
        switch (gate) {
            case TwoQubitGate::cx: return run_two_qubit<TwoQubitGate::cx>(control, target);
            case TwoQubitGate::cy: return run_two_qubit<TwoQubitGate::cy>(control, target);
            case TwoQubitGate::xcx: return run_two_qubit<TwoQubitGate::xcx>(control, target);
            case TwoQubitGate::xcy: return run_two_qubit<TwoQubitGate::xcy>(control, target);
            case TwoQubitGate::xcz: return run_two_qubit<TwoQubitGate::xcz>(control, target);
            case TwoQubitGate::ycx: return run_two_qubit<TwoQubitGate::ycx>(control, target);
            case TwoQubitGate::ycy: return run_two_qubit<TwoQubitGate::ycy>(control, target);
            case TwoQubitGate::ycz: return run_two_qubit<TwoQubitGate::ycz>(control, target);
        }
    } catch (const EngineError&) {
        throw;
    } catch (...) {
        // Also when a failed check could not allocate its message: out of memory wins.
        if (has_c) vop_[control] = vop_c;
        if (has_t) vop_[target] = vop_t;
        throw;
    }
    throw EngineError("two-qubit gate out of range: " + std::to_string(static_cast<unsigned>(gate)));
}

}  // namespace korvane
