// The neighbours of one vertex. Iteration is always in ascending index order: the engine
// picks "the first neighbour" in several places and that must be the lowest.
//
// A row is stored in one of two forms and switches by density, so memory follows the
// number of edges while dense rows still get 64-bit word-parallel edits:
//  - sparse: a sorted vector of 32-bit indices (4 bytes per member);
//  - dense: a bit set over a window of 64-bit words covering its lowest to highest member.
// The window matters for large states: in a lattice the neighbours of a vertex lie within
// a band of indices, so a dense row costs the band's width, not the qubit count.
// A row turns dense once its sorted vector would outgrow the window, and sparse again only
// once it has fallen to a quarter of that, so it does not flip back and forth.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace korvane {

using Qubit = std::uint32_t;

class NeighbourSet {
public:
    static constexpr Qubit kNone = std::numeric_limits<Qubit>::max();

    bool is_dense() const noexcept { return dense_; }
    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }

    bool contains(std::size_t i) const noexcept {
        if (!dense_) return find(i) != kMissing;
        const std::size_t w = i / 64 - base_;  // wraps to a huge value below the window
        return w < words_.size() && ((words_[w] >> (i % 64)) & 1u);
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
        if (dense_) {
            for (std::size_t k = 0; k < words_.size(); ++k)
                for (std::uint64_t w = words_[k]; w; w &= w - 1)
                    f(static_cast<Qubit>((base_ + k) * 64 + static_cast<std::size_t>(std::countr_zero(w))));
        } else {
            for (Qubit q : list_) f(q);
        }
    }

    std::vector<Qubit> members() const;

    // this ^= other, leaving `skip` (a member of `other`, or kNone) out of the toggles.
    // `other` must be a different set.
    void toggle_set(const NeighbourSet& other, Qubit skip = kNone);

    friend bool operator==(const NeighbourSet& a, const NeighbourSet& b);

private:
    static constexpr std::size_t kMissing = std::numeric_limits<std::size_t>::max();

    std::size_t find(std::size_t i) const noexcept;
    void flip_bit(std::size_t i) noexcept {
        std::uint64_t& w = words_[i / 64 - base_];
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        count_ += (w & bit) ? std::uint32_t(-1) : 1u;
        w ^= bit;
    }
    void cover(std::size_t lo_word, std::size_t hi_word);
    void trim() noexcept;
    void rebalance();
    void make_dense();
    void make_sparse();

    std::vector<Qubit> list_;           // sorted members, when sparse
    std::vector<std::uint64_t> words_;  // bits of words base_.., when dense
    std::uint32_t base_ = 0;
    std::uint32_t count_ = 0;
    bool dense_ = false;
};

}  // namespace korvane
