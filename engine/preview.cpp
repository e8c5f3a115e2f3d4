// Measurement preview: measure on a private copy so the real state never changes.
#include <cstddef>
#include <vector>

#include "simulator.hpp"

namespace korvane {

std::vector<PreviewOutcome> Simulator::peek_measure_set(const std::vector<std::size_t>& qubits,
                                                        RandomSource& rng) const {
    Simulator copy = *this;
    std::vector<PreviewOutcome> out;
    out.reserve(qubits.size());
    for (std::size_t q : qubits) {
        copy.check_index(q);
        // An isolated qubit is an eigenstate of v X v^dagger: measuring that axis is certain.
        const std::uint8_t axis = copy.is_isolated(q) ? X_PREIMAGE_TABLE[ADJOINT_TABLE[copy.vop_[q]]]
                                                       : draw_below_3(rng);
        out.push_back({q, copy.measure(q, axis, rng), axis});
    }
    return out;
}

}  // namespace korvane
