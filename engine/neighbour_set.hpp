// The neighbours of one vertex. Iteration is always in ascending index order: the engine
// picks "the first neighbour" in several places and that must be the lowest.
//
// A row is stored in one of two forms and switches by density, so memory follows the
// number of edges while dense rows still get 64-bit word-parallel edits:
//  - sparse: a sorted vector of 32-bit indices (4 bytes per member);
//  - dense: a bit set over a window of 64-bit words that covers all its members.
// The window matters for large states: in a lattice the neighbours of a vertex lie within
// a band of indices, so a dense row costs the band's width, not the qubit count.
// A row turns dense once its sorted vector would outgrow the window, and sparse again only
// once it has fallen to a quarter of that, so it does not flip back and forth.
// A window may carry zero words at its ends: a row XOR leaves them rather than trim on
// every edit, which in a graph that changes all over would move windows back and forth.
// A row is trimmed when it serves as an operand (tighten), because the operand's window
// sets the length of each XOR.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

// Sanitizer builds check every in-window edit against the window instead of trusting the
// callers (and the symmetry of the graph) to stay inside it.
#ifdef KORVANE_CHECKED_ROWS
#include <cstdio>
#include <cstdlib>
#define KORVANE_ROW_CHECK(cond)                                                                 \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "korvane: row edit outside its window: %s (%s:%d)\n", #cond,  \
                         __FILE__, __LINE__);                                                   \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
#else
#define KORVANE_ROW_CHECK(cond) ((void)0)
#endif

#include "multiversion.hpp"

namespace korvane {

using Qubit = std::uint32_t;

class NeighbourSet {
public:
    static constexpr Qubit kNone = std::numeric_limits<Qubit>::max();

    std::size_t size() const noexcept { return dense() ? dense_count() : list_.size(); }
    bool empty() const noexcept { return dense() ? all_zero() : list_.empty(); }

    bool contains(std::size_t i) const noexcept {
        if (!dense()) return find(i) != kMissing;
        const std::size_t w = i / 64 - base_;  // wraps to a huge value below the window
        return w < len_ && ((live()[w] >> (i % 64)) & 1u);
    }
    void insert(std::size_t i);
    void erase(std::size_t i);
    // Inside a window a toggle is one bit flip; everything else goes to the general path.
    void toggle(std::size_t i) {
        if (covers(i)) {
            flip_bit(i);
            return;
        }
        toggle_general(i);
    }
    void clear() noexcept;
    // Empties the row but keeps its form, window and buffer.
    void zero() noexcept;
    // Makes an empty row a dense window over words 0..words-1. Such a row covers every
    // index below words*64, so no edit within them ever moves or resizes it.
    void span_words(std::size_t words);

    // The lowest member that is not `avoid`, or kNone.
    Qubit first_except(std::size_t avoid) const noexcept;
    Qubit first() const noexcept { return first_except(kNone); }

    template <class F>
    void for_each(F&& f) const {
        if (dense()) {
            // Locals, so that calls to f, which may write anywhere, do not force reloads.
            const std::uint64_t* w = live();
            const std::size_t len = len_, base = base_;
            for (std::size_t k = 0; k < len; ++k)
                for (std::uint64_t x = w[k]; x; x &= x - 1)
                    f(static_cast<Qubit>((base + k) * 64 + static_cast<std::size_t>(std::countr_zero(x))));
        } else {
            for (Qubit q : list_) f(q);
        }
    }

    // Calls only_a(c), only_b(c) or both(c) once for each member c of a | b, by where it
    // is. Two windows are split a word at a time with no test per member; the order of
    // the calls is not ascending.
    template <class FA, class FB, class FAB>
    static void for_each_split(const NeighbourSet& a, const NeighbourSet& b, FA&& only_a, FB&& only_b, FAB&& both) {
        const std::size_t lo = std::min(a.base_, b.base_);
        const std::size_t hi = std::max(std::size_t{a.base_} + a.len_, std::size_t{b.base_} + b.len_);
        if (a.len_ != 0 && b.len_ != 0 && hi - lo <= 2 * (std::size_t{a.len_} + b.len_)) {
            for (std::size_t k = lo; k < hi; ++k) {
                const std::uint64_t x = a.word(k), y = b.word(k);
                const auto at = static_cast<Qubit>(k * 64);
                for (std::uint64_t m = x & ~y; m; m &= m - 1) only_a(at + static_cast<Qubit>(std::countr_zero(m)));
                for (std::uint64_t m = y & ~x; m; m &= m - 1) only_b(at + static_cast<Qubit>(std::countr_zero(m)));
                for (std::uint64_t m = x & y; m; m &= m - 1) both(at + static_cast<Qubit>(std::countr_zero(m)));
            }
            return;
        }
        a.for_each([&](Qubit c) {
            if (b.contains(c))
                both(c);
            else
                only_a(c);
        });
        b.for_each([&](Qubit c) {
            if (!a.contains(c)) only_b(c);
        });
    }

    std::vector<Qubit> members() const;

    // Drops the zero words at the ends of a window, and reconsiders the form: done to a
    // row before it serves as the operand of many XORs.
    void tighten() noexcept {
        if (dense()) settle();
    }

    // this ^= other, leaving `skip` (a member of `other`, or kNone) out of the toggles and
    // toggling `extra` (not `skip`; or kNone) as well. `other` must be a different set.
    // The rewriting rules all come down to this one operation per row, so its most common
    // case is inline: two windows, the operand's (and `extra`) inside this one's.
    void toggle_set(const NeighbourSet& other, Qubit skip = kNone, Qubit extra = kNone) {
        if (fits(other, extra))
            xor_in_window(other, skip, extra);
        else
            toggle_set_general(other, skip, extra);
    }

    // The edits that stay inside the window: they neither allocate nor change the row's
    // form, and each is its own inverse, so an undo log can record them instead of a copy.
    bool fits(const NeighbourSet& other, Qubit extra = kNone) const noexcept {
        const std::size_t lo = other.base_;
        return other.len_ != 0 && lo >= base_ && lo + other.len_ <= std::size_t{base_} + len_ &&
               (extra == kNone || covers(extra));
    }
    void xor_in_window(const NeighbourSet& other, Qubit skip, Qubit extra) noexcept {
        KORVANE_ROW_CHECK(fits(other, extra) && (skip == kNone || covers(skip)));
        std::uint64_t* w = live();
        xor_words(w + (other.base_ - base_), other.live(), other.len_);
        if (skip != kNone) w[skip / 64 - base_] ^= std::uint64_t{1} << (skip % 64);
        if (extra != kNone) w[extra / 64 - base_] ^= std::uint64_t{1} << (extra % 64);
        count_ = kStale;
    }
    // A toggle of i that changes no window: a list, or a window that covers i.
    bool toggles_in_place(std::size_t i) const noexcept { return !dense() || covers(i); }
    bool covers(std::size_t i) const noexcept { return dense() && i / 64 - base_ < len_; }  // wraps below
    // toggle_set that is strongly exception-safe and can be undone by calling it again with
    // the same arguments, which then cannot fail: it keeps the row's shape (no trimming or
    // change of form) and leaves a list room for the reverse merge. Returns true when it
    // took the slow path; such a row should be settled once nothing needs undoing.
    bool toggle_set_reversible(const NeighbourSet& other, Qubit skip = kNone, Qubit extra = kNone) {
        if (fits(other, extra)) {
            xor_in_window(other, skip, extra);
            return false;
        }
        toggle_set_in_room(other, skip, extra);
        return true;
    }
    // What an edit left for later: trimming, giving back slack, the better form.
    void settle_after_edit() noexcept;
    // Undoes a toggle of i that completed, and whose row has not been reshaped since: the
    // window still covers i, or the list still has the room it had before.
    void toggle_within_room(std::size_t i) noexcept;
    // True when tighten would change nothing, not even the buffer.
    bool settled() const noexcept {
        if (!dense()) return true;
        if (len_ == 0 || live()[0] == 0 || live()[len_ - 1] == 0) return false;
        return words_.size() <= 4 * std::size_t{len_} + 32 && !(len_ > 32 && 2 * dense_count() < len_);
    }
    // Bytes of heap this row holds.
    std::size_t heap_bytes() const noexcept {
        return list_.capacity() * sizeof(Qubit) + words_.capacity() * sizeof(std::uint64_t);
    }

    // For rows made by span_words and their copies only: the words from word 0, and a row
    // XOR of words from..to-1 with no window to check, in vectors of VectorBytes (see
    // multiversion.hpp). A caller that knows to - from at compile time passes it as Words,
    // so the XOR is a few unrolled vector operations.
    const std::uint64_t* spanned_words() const noexcept { return words_.data(); }
    template <std::size_t Words = 0, std::size_t VectorBytes = BuildVectors::value>
    KORVANE_INLINE void xor_spanned(const std::uint64_t* __restrict src, std::size_t from, std::size_t to) noexcept {
        KORVANE_ROW_CHECK(from <= to && to <= words_.size() && off_ == 0 && (Words == 0 || to - from == Words));
        std::uint64_t* dst = words_.data() + from;
        src += from;
        if constexpr (Words != 0) {
            // Whole vectors and a last 16-byte step, unrolled: a plain loop of known length is
            // not always vectorised once inlined.
            using Vector [[gnu::vector_size(VectorBytes), gnu::aligned(8), gnu::may_alias]] = std::uint64_t;
            using Pair [[gnu::vector_size(16), gnu::aligned(8), gnu::may_alias]] = std::uint64_t;
            constexpr std::size_t lanes = VectorBytes / 8;
            static_assert(Words % 2 == 0);
            for (std::size_t k = 0; k + lanes <= Words; k += lanes)
                *reinterpret_cast<Vector*>(dst + k) ^= *reinterpret_cast<const Vector*>(src + k);
            if constexpr (Words % lanes != 0)
                *reinterpret_cast<Pair*>(dst + Words - 2) ^= *reinterpret_cast<const Pair*>(src + Words - 2);
        } else {
            xor_run<VectorBytes>(dst, src, to - from);
        }
        count_ = kStale;
    }

    friend bool operator==(const NeighbourSet& a, const NeighbourSet& b);

private:
    static constexpr std::size_t kMissing = std::numeric_limits<std::size_t>::max();
    static constexpr std::uint32_t kStale = std::numeric_limits<std::uint32_t>::max();

    // The dense form owns a word buffer; the sparse form never does.
    bool dense() const noexcept { return !words_.empty(); }
    const std::uint64_t* live() const noexcept { return words_.data() + off_; }
    // Absolute word k of a window; zero outside it.
    std::uint64_t word(std::size_t k) const noexcept {
        const std::size_t i = k - base_;  // wraps to a huge value below the window
        return i < len_ ? live()[i] : 0;
    }
    std::uint64_t* live() noexcept { return words_.data() + off_; }
    bool all_zero() const noexcept {
        for (std::size_t k = 0; k < len_; ++k)
            if (live()[k]) return false;
        return true;
    }

    std::size_t find(std::size_t i) const noexcept;
    std::size_t dense_count() const noexcept;
    void flip_bit(std::size_t i) noexcept {
        KORVANE_ROW_CHECK(covers(i));
        std::uint64_t& w = live()[i / 64 - base_];
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        if (count_ != kStale) count_ += (w & bit) ? std::uint32_t(-1) : 1u;
        w ^= bit;
    }
    // Widens the live window to include words lo_word..hi_word.
    void cover(std::size_t lo_word, std::size_t hi_word) {
        if (len_ == 0 || lo_word < base_ || hi_word >= base_ + len_) widen(lo_word, hi_word);
    }
    // True when it took a new buffer rather than moving the window within the old one.
    bool widen(std::size_t lo_word, std::size_t hi_word);
    // Narrows the live window to its non-zero words, and gives back a buffer far wider.
    // Changes of form and buffer that only save memory or time are skipped when memory is
    // short, so that no edit fails for their sake.
    template <class F>
    static void if_memory_allows(F&& f) noexcept {
        try {
            f();
        } catch (const std::bad_alloc&) {
        }
    }
    void trim() noexcept {
        if (len_ == 0 || live()[0] == 0 || live()[len_ - 1] == 0) narrow();
        if (words_.size() > 4 * std::size_t{len_} + 32) release_slack();
    }
    void narrow() noexcept;
    void rebuffer(std::size_t lo_word, std::size_t hi_word);
    void release_slack() noexcept;
    void make_dense_if_smaller() noexcept;
    // Small windows are not worth a recount: they cost at most a few cache lines.
    void make_sparse_if_smaller() noexcept {
        if (len_ > 32 && 2 * dense_count() < len_) if_memory_allows([&] { make_sparse(); });
    }
    void xor_dense(const NeighbourSet& other, Qubit skip, Qubit extra);
    void toggle_set_general(const NeighbourSet& other, Qubit skip, Qubit extra);
    void make_room(const NeighbourSet& other, Qubit extra);
    void toggle_set_in_room(const NeighbourSet& other, Qubit skip, Qubit extra);
    void toggle_general(std::size_t i);
    // Trims, and reconsiders the form.
    void settle() noexcept;
    // dst ^= src over n words, two vectors of VectorBytes a step.
    template <std::size_t VectorBytes>
    KORVANE_INLINE static void xor_run(std::uint64_t* __restrict dst, const std::uint64_t* __restrict src,
                                       std::size_t n) noexcept {
        using Vector [[gnu::vector_size(VectorBytes), gnu::aligned(8), gnu::may_alias]] = std::uint64_t;
        constexpr std::size_t lanes = VectorBytes / 8;
        std::size_t k = 0;
        for (; k + 2 * lanes <= n; k += 2 * lanes) {
            *reinterpret_cast<Vector*>(dst + k) ^= *reinterpret_cast<const Vector*>(src + k);
            *reinterpret_cast<Vector*>(dst + k + lanes) ^= *reinterpret_cast<const Vector*>(src + k + lanes);
        }
        for (; k < n; ++k) dst[k] ^= src[k];
    }
    static void xor_words(std::uint64_t* __restrict dst, const std::uint64_t* __restrict src, std::size_t n) noexcept {
        run_vector_kernel(
            [](auto width, std::uint64_t* d, const std::uint64_t* s, std::size_t m)
                KORVANE_INLINE { xor_run<decltype(width)::value>(d, s, m); },
            dst, src, n);
    }
    void make_dense();
    void make_sparse();
    void merge_sorted(const NeighbourSet& other, Qubit skip);

    std::vector<Qubit> list_;  // sorted members, when sparse
    // When dense: a buffer whose words off_..off_+len_ are the live window, holding the
    // bits of absolute words base_..base_+len_ (all members); every word outside it is
    // zero. The slack on either side lets the window move without copying it.
    std::vector<std::uint64_t> words_;
    std::uint32_t base_ = 0;
    std::uint32_t off_ = 0;
    std::uint32_t len_ = 0;
    // Member count of the dense form, or kStale: word-parallel XORs leave it stale rather
    // than pay a popcount per word; it is recounted when asked for.
    mutable std::uint32_t count_ = 0;
};

}  // namespace korvane
