// States whose rows sit where their storage changes form: records of three to six members,
// lists grown one member at a time to just below, at and past the sizes where they
// reallocate, and windows whose edges fall on the 64-bit word boundaries. Any edit there
// may move a row to the heap, regrow its list or widen its window, which is where an
// operation can run out of memory halfway.
#pragma once

#include <cstddef>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "simulator.hpp"

namespace korvane_test {

struct BoundaryState {
    std::string name;
    // The same graph and VOPs in any row layout.
    std::function<korvane::Simulator(korvane::RowLayout)> make;
    // The operands: `a` has neighbours, `b` is one of them; the preview measures `preview`.
    std::size_t a, b;
    std::vector<std::size_t> preview;
};

std::vector<BoundaryState> boundary_states();

// Random VOPs everywhere, except that `pivot` gets one whose reduction is a pivot on an
// edge: three complementations, at it, its partner and it again.
void set_random_vops(korvane::Simulator& sim, std::mt19937& rng, std::size_t pivot);
// Each pair of qubits in [lo, hi) joined with probability p.
void add_random_block(korvane::Simulator& sim, std::mt19937& rng, std::size_t lo, std::size_t hi, double p);

}  // namespace korvane_test
