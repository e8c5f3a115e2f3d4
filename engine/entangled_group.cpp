// The connected component of a qubit: the only qubits it can be entangled with.
#include <cstddef>
#include <vector>

#include "simulator.hpp"

namespace korvane {

namespace {

// Open-addressing set of qubit indices, so the walk costs the component's size and
// edges rather than anything proportional to the qubit count.
class VisitedSet {
public:
    VisitedSet() : slots_(16, kEmpty) {}

    bool insert(Qubit q) {
        if (2 * (size_ + 1) > slots_.size()) grow();
        if (!place(slots_, q)) return false;
        ++size_;
        return true;
    }

private:
    static constexpr Qubit kEmpty = NeighbourSet::kNone;

    static bool place(std::vector<Qubit>& slots, Qubit q) {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t i = (q * std::size_t{0x9E3779B97F4A7C15u}) >> 32 & mask;; i = (i + 1) & mask) {
            if (slots[i] == q) return false;
            if (slots[i] == kEmpty) {
                slots[i] = q;
                return true;
            }
        }
    }
    void grow() {
        std::vector<Qubit> bigger(slots_.size() * 2, kEmpty);
        for (Qubit q : slots_)
            if (q != kEmpty) place(bigger, q);
        slots_.swap(bigger);
    }

    std::vector<Qubit> slots_;
    std::size_t size_ = 0;
};

}  // namespace

std::vector<std::size_t> Simulator::entangled_group(std::size_t q) const {
    check_index(q);
    std::vector<std::size_t> order{q};  // doubles as the queue: read position `head`
    VisitedSet visited;
    visited.insert(static_cast<Qubit>(q));
    for (std::size_t head = 0; head < order.size(); ++head) {
        adjacent_[order[head]].for_each([&](Qubit u) {
            if (visited.insert(u)) order.push_back(u);
        });
    }
    return order;
}

}  // namespace korvane
