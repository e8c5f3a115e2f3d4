// Measurement preview. Instead of copying the whole state, every row and VOP that a
// measurement is about to change is saved first and restored afterwards.
#include <cstddef>
#include <utility>
#include <vector>

#include "simulator.hpp"

namespace korvane {

struct Simulator::Journal {
    std::vector<std::pair<Qubit, NeighbourSet>> rows;
    std::vector<std::pair<Qubit, Vop>> vops;
};

void Simulator::journal_measurement(Journal& journal, std::size_t node, std::uint8_t effective_axis) {
    // A rule changes the rows and VOPs of node and its neighbours, and for the X rule also
    // those of the lowest neighbour's neighbours. Duplicates are harmless: restoring runs
    // backwards, so the oldest saved copy wins.
    auto save = [&](std::size_t q) {
        journal.rows.emplace_back(static_cast<Qubit>(q), adjacent_[q]);
        journal.vops.emplace_back(static_cast<Qubit>(q), vop_[q]);
    };
    save(node);
    adjacent_[node].for_each(save);
    if (effective_axis == 0) adjacent_[adjacent_[node].first()].for_each(save);
}

std::vector<PreviewOutcome> Simulator::peek_measure_set(const std::vector<std::size_t>& qubits, RandomSource& rng) {
    // Puts back what the journal saved on every path out, a failed check or an
    // allocation failure included.
    Journal journal;
    struct Restore {
        Simulator& sim;
        Journal& j;
        ~Restore() {
            for (auto it = j.rows.rbegin(); it != j.rows.rend(); ++it) sim.adjacent_[it->first] = std::move(it->second);
            for (auto it = j.vops.rbegin(); it != j.vops.rend(); ++it) sim.vop_[it->first] = it->second;
        }
    } restore{*this, journal};

    std::vector<PreviewOutcome> out;
    out.reserve(qubits.size());
    for (std::size_t q : qubits) {
        check_index(q);
        // An isolated qubit is an eigenstate of v X v^dagger: measuring that axis is certain.
        const std::uint8_t axis = is_isolated(q) ? X_PREIMAGE_TABLE[ADJOINT_TABLE[vop_[q]]] : draw_below_3(rng);
        out.push_back({q, measure_saving(q, axis, rng, &journal), axis});
    }
    return out;
}

}  // namespace korvane
