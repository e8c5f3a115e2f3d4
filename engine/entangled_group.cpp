// The connected component of a qubit: the only qubits it can be entangled with.
#include <cstddef>
#include <unordered_set>
#include <vector>

#include "simulator.hpp"

namespace korvane {

std::vector<std::size_t> Simulator::entangled_group(std::size_t q) const {
    std::vector<std::size_t> order{q};  // doubles as the queue: read position `head`
    std::unordered_set<std::size_t> visited{q};
    for (std::size_t head = 0; head < order.size(); ++head) {
        const std::size_t v = order[head];
        check_index(v);
        adjacent_[v].for_each([&](Qubit u) {
            if (visited.insert(u).second) order.push_back(u);
        });
    }
    return order;
}

}  // namespace korvane
