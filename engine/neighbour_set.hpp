// The neighbours of one vertex. Iteration is always in ascending index order: the engine
// picks "the first neighbour" in several places and that must be the lowest.
//
// A row is stored in one of two forms and switches by degree, so that memory follows the
// number of edges while dense rows still get 64-bit word-parallel edits:
//  - sparse: a sorted vector of 32-bit indices (4 bytes per member);
//  - dense: a bit set with room for every qubit (n/8 bytes).
// A row turns dense once the sorted vector would outgrow the bit set, and sparse again
// once it has fallen to a quarter of that size, so that a row near the boundary does not flip
// back and forth on every edit.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace korvane {

using Qubit = std::uint32_t;

class NeighbourSet {
public:
    static constexpr Qubit kNone = std::numeric_limits<Qubit>::max();

    NeighbourSet() = default;
    explicit NeighbourSet(std::size_t room) : nwords_(static_cast<std::uint32_t>((room + 63) / 64)) {}
    NeighbourSet(const NeighbourSet& other);
    NeighbourSet& operator=(const NeighbourSet& other);
    NeighbourSet(NeighbourSet&&) noexcept = default;
    NeighbourSet& operator=(NeighbourSet&&) noexcept = default;

    bool is_dense() const noexcept { return words_ != nullptr; }
    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }

    bool contains(std::size_t i) const noexcept {
        if (words_) return i < std::size_t{nwords_} * 64 && ((words_[i / 64] >> (i % 64)) & 1u);
        return find(i) != kMissing;
    }
    void insert(std::size_t i);
    void erase(std::size_t i);
    void toggle(std::size_t i);
    void clear() noexcept;

    // The lowest member that is not `avoid`, or kNone.
    Qubit first_except(std::size_t avoid) const noexcept;
    Qubit first() const noexcept { return first_except(kNone); }

    template <class F>
    void for_each(F&& f) const {
        if (words_) {
            for (std::size_t wi = 0; wi < nwords_; ++wi)
                for (std::uint64_t w = words_[wi]; w; w &= w - 1)
                    f(static_cast<Qubit>(wi * 64 + static_cast<std::size_t>(std::countr_zero(w))));
        } else {
            for (Qubit q : list_) f(q);
        }
    }

    std::vector<Qubit> members() const;

    // this ^= other, leaving `skip` (a member of `other`, or kNone) out of the toggles.
    void toggle_set(const NeighbourSet& other, Qubit skip = kNone);

    friend bool operator==(const NeighbourSet& a, const NeighbourSet& b);

private:
    static constexpr std::size_t kMissing = std::numeric_limits<std::size_t>::max();

    std::size_t find(std::size_t i) const noexcept;
    void make_dense();
    void make_sparse();
    // Switches form when the member count has crossed a threshold.
    void rebalance() {
        if (words_ ? 2 * std::size_t{count_} < nwords_ : count_ > 2 * std::size_t{nwords_}) switch_form();
    }
    void switch_form();

    std::vector<Qubit> list_;                 // sorted members, when sparse
    std::unique_ptr<std::uint64_t[]> words_;  // bit set, when dense
    std::uint32_t count_ = 0;
    std::uint32_t nwords_ = 0;  // words of the dense form: room for every qubit
};

}  // namespace korvane
