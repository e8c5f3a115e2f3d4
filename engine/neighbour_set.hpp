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

    std::size_t size() const noexcept { return dense_ ? dense_count() : list_.size(); }
    // A dense window is trimmed to its lowest and highest non-zero word, so it is empty
    // exactly when it has no words.
    bool empty() const noexcept { return dense_ ? words_.empty() : list_.empty(); }

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

    // this ^= other, leaving `skip` (a member of `other`, or kNone) out of the toggles and
    // toggling `extra` (not `skip`; or kNone) as well. `other` must be a different set.
    // The rewriting rules all come down to this one operation per row.
    void toggle_set(const NeighbourSet& other, Qubit skip = kNone, Qubit extra = kNone);

    friend bool operator==(const NeighbourSet& a, const NeighbourSet& b);

private:
    static constexpr std::size_t kMissing = std::numeric_limits<std::size_t>::max();

    std::size_t find(std::size_t i) const noexcept;
    std::size_t dense_count() const noexcept;
    void flip_bit(std::size_t i) noexcept {
        std::uint64_t& w = words_[i / 64 - base_];
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        if (!count_stale_) count_ += (w & bit) ? std::uint32_t(-1) : 1u;
        w ^= bit;
    }
    // Grows the window to include words lo_word..hi_word.
    void cover(std::size_t lo_word, std::size_t hi_word) {
        if (words_.empty() || lo_word < base_ || hi_word >= base_ + words_.size()) grow(lo_word, hi_word);
    }
    void grow(std::size_t lo_word, std::size_t hi_word);
    // Shrinks the window to its non-zero words.
    void trim() noexcept {
        if (words_.empty() || words_.front() == 0 || words_.back() == 0) shrink();
    }
    void shrink() noexcept;
    void make_dense_if_smaller();
    // Small windows are not worth a recount: they cost at most a few cache lines.
    void make_sparse_if_smaller() {
        if (words_.size() > 32 && 2 * dense_count() < words_.size()) make_sparse();
    }
    void xor_dense(const NeighbourSet& other, Qubit skip, Qubit extra);
    void make_dense();
    void make_sparse();
    void merge_sorted(const NeighbourSet& other, Qubit skip);

    std::vector<Qubit> list_;           // sorted members, when sparse
    std::vector<std::uint64_t> words_;  // bits of words base_.., when dense
    std::uint32_t base_ = 0;
    // Member count of the dense form. Word-parallel XORs leave it stale rather than pay a
    // popcount per word; it is recounted when asked for.
    mutable std::uint32_t count_ = 0;
    mutable bool count_stale_ = false;
    bool dense_ = false;
};

}  // namespace korvane
