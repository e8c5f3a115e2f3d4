#include "boundary_states.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>

namespace korvane_test {

namespace {

using korvane::RowLayout;
using korvane::Simulator;

// Random VOPs; `a` gets the pivot's for even seeds, a random one for odd seeds.
void set_vops(Simulator& sim, std::uint32_t seed, std::size_t a) {
    std::mt19937 rng(seed);
    set_random_vops(sim, rng, a);
    if (seed % 2 != 0) sim.set_vop(a, static_cast<korvane::Vop>(seed / 2 % 24));
}

// A hub whose neighbours' rows hold fill to fill + degree - 1 members, each size once, in
// an order that is not their walk's, each row grown one member at a time. Their other
// members are 41 apart, so the rows stay lists (a window would cost more).
BoundaryState lists_around_hub(std::size_t degree, std::size_t fill) {
    constexpr std::size_t n = 1100, hub = 550;
    static constexpr std::array<std::size_t, 9> kHood = {10, 20, 30, 40, 63, 64, 65, 127, 128};
    const std::vector<std::size_t> hood(kHood.begin(), kHood.begin() + static_cast<std::ptrdiff_t>(degree));
    auto make = [=](RowLayout layout) {
        Simulator sim(n, layout);
        for (std::size_t c : hood) sim.add_edge(hub, c);
        for (std::size_t i = 0; i < hood.size(); ++i) {
            const std::size_t c = hood[i], want = fill + 7 * i % degree;  // 7 is prime to each degree
            for (std::size_t j = 0; sim.degree(c) < want; ++j) {
                const std::size_t far = 160 + 41 * j + 3 * i;
                if (far != hub && std::find(kHood.begin(), kHood.end(), far) == kHood.end()) sim.add_edge(c, far);
            }
        }
        set_vops(sim, static_cast<std::uint32_t>(100 * degree + fill), hub);
        return sim;
    };
    return {"hub of degree " + std::to_string(degree) + ", rows from " + std::to_string(fill), make, hub, hood[0],
            {hub, hood[0], hood.back()}};
}

// A random graph on n qubits: rows a word or two wide, their last word partly used.
BoundaryState word_sized(std::size_t n) {
    const std::size_t a = n / 2, b = n - 1;
    auto make = [=](RowLayout layout) {
        Simulator sim(n, layout);
        std::mt19937 rng(static_cast<std::uint32_t>(n));
        add_random_block(sim, rng, 0, n, 0.2);
        sim.add_edge(a, b);
        set_vops(sim, static_cast<std::uint32_t>(n), a);
        return sim;
    };
    return {std::to_string(n) + " qubits", make, a, b, {a, b, 0}};
}

// A cluster across qubits 40-139, whose windows end on either side of the word boundaries
// at 64 and 128, with some members joined to qubits far away: some windows already cover
// what an edit adds, others must widen or move.
BoundaryState windows_across_words(std::size_t a, std::size_t b, std::uint32_t seed) {
    constexpr std::size_t n = 1100;
    auto make = [=](RowLayout layout) {
        Simulator sim(n, layout);
        std::mt19937 rng(seed);
        add_random_block(sim, rng, 40, 140, 0.15);
        for (std::size_t q = 40; q < 140; q += 7) sim.add_edge(q, 1000 + q % 90);
        if (!sim.has_edge(a, b)) sim.add_edge(a, b);
        set_vops(sim, seed, a);
        return sim;
    };
    return {"windows across words, operands " + std::to_string(a) + " " + std::to_string(b), make, a, b,
            {a, b, 1000 + a % 90}};
}

}  // namespace

void set_random_vops(Simulator& sim, std::mt19937& rng, std::size_t pivot) {
    std::uniform_int_distribution<int> vop(0, 23);
    for (std::size_t q = 0; q < sim.size(); ++q) sim.set_vop(q, static_cast<korvane::Vop>(vop(rng)));
    sim.set_vop(pivot, 8);
}

void add_random_block(Simulator& sim, std::mt19937& rng, std::size_t lo, std::size_t hi, double p) {
    std::bernoulli_distribution edge(p);
    for (std::size_t a = lo; a < hi; ++a)
        for (std::size_t b = a + 1; b < hi; ++b)
            if (edge(rng)) sim.add_edge(a, b);
}

std::vector<BoundaryState> boundary_states() {
    std::vector<BoundaryState> states;
    // Rows of every size from 3 to 20 around hubs of each degree.
    for (std::size_t degree : {2, 4, 5, 9})
        for (std::size_t fill = 3; fill <= 20; fill += degree) states.push_back(lists_around_hub(degree, fill));
    for (std::size_t n : {63, 64, 65, 127, 128, 129}) states.push_back(word_sized(n));
    states.push_back(windows_across_words(64, 127, 7));
    states.push_back(windows_across_words(63, 128, 8));
    states.push_back(windows_across_words(127, 65, 9));
    return states;
}

}  // namespace korvane_test
