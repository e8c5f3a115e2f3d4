// The neighbours of one vertex. Iteration is always in ascending index order: the engine
// picks "the first neighbour" in several places and that must be the lowest.
//
// A row is a 16-byte record, so that a state of many sparse qubits costs little more than
// its records, and so that the hot paths (membership, iteration, a row XOR) find everything
// they need in the record and the words, never in a heap header. It holds its members in
// one of three forms and switches by size and density:
//  - inline: up to four sorted members in the record itself, the free slots kNone. Most
//    rows of a sparse graph never leave it and never touch the heap;
//  - list: a sorted array of 32-bit indices on the heap (4 bytes per member);
//  - window: a bit set on the heap over a window of 64-bit words that covers all members.
// The window matters for large states: in a lattice the neighbours of a vertex lie within
// a band of indices, so a dense row costs the band's width, not the qubit count.
// A row spills from inline to a list at its fifth member, and goes back once it has room
// to spare there (three members). It turns dense once its list would outgrow the window,
// and sparse again only once it has fallen to a quarter of that, so it does not flip back
// and forth.
// A window's words start its buffer, and the words past it up to the capacity are zero:
// it grows upwards in place, and downwards by moving its words. At least kSpare of them
// follow every window, so that a row XOR may run in whole vectors past the operand's end.
// Buffers are 32-byte aligned and windows start at a multiple of four words, so the
// vectors of a row XOR are aligned in both rows: misaligned ones cost a quarter more.
// A window may carry zero words at its ends: a row XOR leaves them rather than trim on
// every edit, which in a graph that changes all over would move windows back and forth.
// A row is trimmed when it serves as an operand (tighten), because the operand's window
// sets the length of each XOR.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

// Debug and sanitizer builds check every in-window edit against the window instead of
// trusting the callers (and the symmetry of the graph) to stay inside it.
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
#include "row_xor.hpp"

namespace korvane {

using Qubit = std::uint32_t;

class NeighbourSet {
public:
    static constexpr Qubit kNone = std::numeric_limits<Qubit>::max();
    // Members lie below this: kNone marks a free slot.
    static constexpr std::size_t kMemberLimit = kNone;
    static constexpr std::size_t kInlineMembers = 4;
    enum class Form : std::uint8_t { inline_members, list, window };

    NeighbourSet() noexcept { become_empty(); }
    NeighbourSet(const NeighbourSet& other) {
        become_empty();
        assign(other);
    }
    NeighbourSet(NeighbourSet&& other) noexcept { take(other); }
    NeighbourSet& operator=(const NeighbourSet& other) {
        if (this != &other) assign(other);
        return *this;
    }
    NeighbourSet& operator=(NeighbourSet&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~NeighbourSet() { release(); }

    Form form() const noexcept {
        return dense() ? Form::window : listed() ? Form::list : Form::inline_members;
    }

    std::size_t size() const noexcept {
        if (in_record()) return inline_size();
        return dense() ? dense_count() : s_[3];
    }
    bool empty() const noexcept {
        if (in_record()) return s_[0] == kNone;
        return dense() ? all_zero() : s_[3] == 0;
    }

    bool contains(std::size_t i) const noexcept {
        if (in_record())
            return i < kMemberLimit && ((s_[0] == i) | (s_[1] == i) | (s_[2] == i) | (s_[3] == i));
        if (!dense()) return find(i) != kMissing;
        const std::size_t w = i / 64 - base();  // wraps to a huge value below the window
        return w < len() && ((live()[w] >> (i % 64)) & 1u);
    }
    void insert(std::size_t i);
    // A window that covers i clears one bit; everything else goes to the general path.
    void erase(std::size_t i) {
        if (covers(i)) {
            live()[i / 64 - base()] &= ~(std::uint64_t{1} << (i % 64));  // a zero end word may stay
            return;
        }
        erase_outside(i);
    }
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

    // Inlined, so that a walk run as a vector kernel (multiversion.hpp) is one version.
    template <class F>
    KORVANE_INLINE void for_each(F&& f) const {
        if (dense()) {
            // Locals, so that calls to f, which may write anywhere, do not force reloads.
            const std::uint64_t* w = live();
            const std::size_t len = this->len(), base = this->base();
            for (std::size_t k = 0; k < len; ++k)
                for (std::uint64_t x = w[k]; x; x &= x - 1)
                    f(static_cast<Qubit>((base + k) * 64 + static_cast<std::size_t>(std::countr_zero(x))));
        } else if (in_record()) {
            const Qubit m[kInlineMembers] = {s_[0], s_[1], s_[2], s_[3]};
            for (std::size_t k = 0; k < kInlineMembers && m[k] != kNone; ++k) f(m[k]);
        } else {
            const Qubit* p = list_data();
            const std::size_t n = s_[3];
            for (std::size_t k = 0; k < n; ++k) f(p[k]);
        }
    }

    // Where a member of a | b lies: in a only, in b only, or in both.
    enum class Part : std::uint8_t { only_a, only_b, both };

    // Calls f(c) once for each member c of `part` of a | b. Two windows are split a word at
    // a time with no test per member; the order of the calls is not ascending, but the
    // same for the same sets.
    template <Part P, class F>
    KORVANE_INLINE static void for_each_in(const NeighbourSet& a, const NeighbourSet& b, F&& f) {
        if (a.window_len() != 0 && b.window_len() != 0) {
            // Locals, so that calls that may write anywhere do not force the windows to be
            // read again for every word.
            const std::uint64_t *const a_words = a.live(), *const b_words = b.live();
            const std::size_t a_base = a.base(), b_base = b.base(), a_len = a.len(), b_len = b.len();
            const std::size_t lo = std::min(a_base, b_base);
            const std::size_t hi = std::max(a_base + a_len, b_base + b_len);
            if (hi - lo <= 2 * (a_len + b_len)) {
                for (std::size_t k = lo; k < hi; ++k) {
                    const std::size_t i = k - a_base, j = k - b_base;  // wrap below a window
                    const std::uint64_t x = i < a_len ? a_words[i] : 0, y = j < b_len ? b_words[j] : 0;
                    const std::uint64_t part = P == Part::only_a ? x & ~y : P == Part::only_b ? y & ~x : x & y;
                    const auto at = static_cast<Qubit>(k * 64);
                    for (std::uint64_t m = part; m; m &= m - 1) f(at + static_cast<Qubit>(std::countr_zero(m)));
                }
                return;
            }
        }
        if constexpr (P == Part::only_b)
            b.for_each([&](Qubit c) {
                if (!a.contains(c)) f(c);
            });
        else
            a.for_each([&](Qubit c) {
                if (b.contains(c) == (P == Part::both)) f(c);
            });
    }

    // Calls only_a(c), only_b(c) or both(c) once for each member c of a | b, by where it
    // is: for_each_in for each part in turn.
    template <class FA, class FB, class FAB>
    KORVANE_INLINE static void for_each_split(const NeighbourSet& a, const NeighbourSet& b, FA&& only_a, FB&& only_b, FAB&& both) {
        for_each_in<Part::only_a>(a, b, only_a);
        for_each_in<Part::only_b>(a, b, only_b);
        for_each_in<Part::both>(a, b, both);
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

    // An operand's window as a walk over many rows reads it, taken once: the rows' XORs
    // may write anywhere, so the compiler could not keep it in registers itself.
    struct Operand {
        const std::uint64_t* words = nullptr;
        std::size_t base = 0, len = 0;  // len 0: not a window, or an empty one
    };
    Operand operand() const noexcept { return dense() ? Operand{live(), base(), len()} : Operand{}; }

    // The edits that stay inside the window: they neither allocate nor change the row's
    // form, and each is its own inverse, so an undo log can record them instead of a copy.
    bool fits(const NeighbourSet& other, Qubit extra = kNone) const noexcept { return fits(other.operand(), extra); }
    KORVANE_INLINE bool fits(const Operand& o, Qubit extra = kNone) const noexcept {
        const std::size_t b = base();
        return dense() && o.len != 0 && o.base >= b && o.base + o.len <= b + len() && (extra == kNone || covers(extra));
    }
    void xor_in_window(const NeighbourSet& other, Qubit skip, Qubit extra) noexcept {
        KORVANE_ROW_CHECK(fits(other, extra) && (skip == kNone || covers(skip)));
        run_vector_kernel(
            [](auto width, NeighbourSet* row, Operand o, Qubit s, Qubit e)
                KORVANE_INLINE { row->xor_in_window_in<decltype(width)::value>(o, s, e); },
            this, other.operand(), skip, extra);
    }
    // The same inside a vector kernel of VectorBytes (multiversion.hpp), inlined, in whole
    // vectors (row_xor.hpp): the words past both windows are zero, which makes that harmless.
    // Vectors, when not 0, is the operand's length in vectors, known at compile time.
    template <std::size_t VectorBytes, std::size_t Vectors = 0>
    KORVANE_INLINE void xor_in_window_in(const Operand& o, Qubit skip, Qubit extra) noexcept {
        static_assert(kVectorWords<VectorBytes> <= kSpare + 1);
        KORVANE_ROW_CHECK(fits(o, extra) && (skip == kNone || skip / 64 - o.base < o.len) &&
                          reinterpret_cast<std::uintptr_t>(live() + (o.base - base())) % kAlign ==
                              reinterpret_cast<std::uintptr_t>(o.words) % kAlign);
        std::uint64_t* w = live();
        const std::size_t b = base();
        const std::size_t vectors = vectors_over<VectorBytes>(o.len);
        KORVANE_ROW_CHECK(Vectors == 0 || Vectors == vectors);
        xor_vectors<VectorBytes, Vectors>(w + (o.base - b), o.words, vectors);
        // skip is a member of the operand: the XOR flipped it, and one scalar operation
        // flips it back, where masking it out of the operand would cost three vector
        // operations for every vector of every row.
        if (skip != kNone) w[skip / 64 - b] ^= std::uint64_t{1} << (skip % 64);
        if (extra != kNone) w[extra / 64 - b] ^= std::uint64_t{1} << (extra % 64);
    }
    // A toggle of i that changes no window and finds room where it is: a row with room
    // inline or a list (a list grows in place, strongly), or a window that covers i.
    bool toggles_in_place(std::size_t i) const noexcept {
        if (dense()) return covers(i);
        return !in_record() || s_[kInlineMembers - 1] == kNone || contains(i);
    }
    bool covers(std::size_t i) const noexcept { return dense() && i / 64 - base() < len(); }  // wraps below
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
    // window still covers i, or the list or record still has the room it had before.
    void toggle_within_room(std::size_t i) noexcept;
    // True when tighten would change nothing, not even the buffer.
    bool settled() const noexcept {
        if (!dense()) return true;
        const std::size_t len = this->len();
        if (len == 0 || live()[0] == 0 || live()[len - 1] == 0) return false;
        return capacity() <= 4 * len + 32 && !(len > 32 && 2 * dense_count() < len);
    }
    // Bytes of heap this row holds.
    std::size_t heap_bytes() const noexcept {
        if (dense()) return sizeof(Head) + capacity() * sizeof(std::uint64_t);
        return listed() ? sizeof(Head) + capacity() * sizeof(Qubit) : 0;
    }

    // For rows made by span_words and their copies only: the words from word 0, and a row
    // XOR of words from..to-1, both multiples of four, in whole vectors of VectorBytes (see
    // multiversion.hpp). src holds zeros past the wanted words up to `to`, and is aligned
    // as the row is (32 bytes). A caller that knows (to - from) / 4 at compile time passes
    // it as Quads, so the XOR is a few unrolled vector operations.
    const std::uint64_t* spanned_words() const noexcept { return live(); }
    template <std::size_t Quads = 0, std::size_t VectorBytes = BuildVectors::value>
    KORVANE_INLINE void xor_spanned(const std::uint64_t* src, std::size_t from, std::size_t to) noexcept {
        KORVANE_ROW_CHECK(dense() && from % 4 == 0 && to % 4 == 0 && from <= to && to <= len() + kSpare &&
                          base() == 0 && (Quads == 0 || to - from == 4 * Quads) &&
                          reinterpret_cast<std::uintptr_t>(src) % kAlign == 0);
        constexpr std::size_t lanes = kVectorWords<VectorBytes>;
        xor_vectors<VectorBytes, Quads * 4 / lanes>(live() + from, src + from, (to - from) / lanes);
    }

    // For the same rows: clears member i, which a row XOR may have set.
    KORVANE_INLINE void clear_spanned_bit(std::size_t i) noexcept {
        KORVANE_ROW_CHECK(dense() && base() == 0 && i / 64 < len());
        live()[i / 64] &= ~(std::uint64_t{1} << (i % 64));
    }

    friend bool operator==(const NeighbourSet& a, const NeighbourSet& b);

private:
    static constexpr std::size_t kMissing = std::numeric_limits<std::size_t>::max();
    // The last two slots tell the forms apart. Inline they hold members or kNone in
    // ascending order, so never a larger value before a smaller one; the heap forms put
    // one there: a list kNone and its member count, a window its length with kWindowFlag
    // set and its base word (below 2^26, as members are 32-bit).
    static constexpr Qubit kWindowFlag = Qubit{1} << 31;
    static constexpr std::size_t kSpare = 3;
    static constexpr std::size_t kAlign = 32;

    // Before a block's data: the capacity, in members of a list or words of a window, and
    // how far the data lies from the start of the allocation.
    struct Head {
        std::uint32_t capacity;
        std::uint32_t shift;
    };
    static_assert(sizeof(Head) % alignof(std::uint64_t) == 0);

    bool in_record() const noexcept { return s_[2] <= s_[3]; }
    bool listed() const noexcept { return s_[2] == kNone && s_[3] != kNone; }
    bool dense() const noexcept { return s_[2] > s_[3] && s_[2] != kNone; }
    // The heap data: the members of a list, or the live words of a window.
    void* data() const noexcept {
        void* p;
        std::memcpy(&p, s_, sizeof p);
        return p;
    }
    Head* head() const noexcept { return static_cast<Head*>(data()) - 1; }
    std::size_t capacity() const noexcept { return head()->capacity; }
    void set_data(void* p, Qubit third, Qubit fourth) noexcept {
        std::memcpy(s_, &p, sizeof p);
        s_[2] = third;
        s_[3] = fourth;
    }
    void become_empty() noexcept { s_[0] = s_[1] = s_[2] = s_[3] = kNone; }
    void take(NeighbourSet& other) noexcept {
        std::memcpy(s_, other.s_, sizeof s_);
        other.become_empty();
    }
    void release() noexcept {
        if (!in_record()) ::operator delete(static_cast<char*>(data()) - head()->shift);
    }
    void assign(const NeighbourSet& other);
    // A block with room for `capacity` elements of T after its head; returns the data,
    // 32-byte aligned for the words of a window.
    template <class T>
    static T* allocate(std::size_t capacity) {
        constexpr std::size_t pad = sizeof(T) == sizeof(std::uint64_t) ? kAlign - sizeof(Head) : 0;
        char* raw = static_cast<char*>(::operator new(sizeof(Head) + capacity * sizeof(T) + pad));
        char* d = raw + sizeof(Head);
        if constexpr (pad != 0)
            d += (kAlign - reinterpret_cast<std::uintptr_t>(d) % kAlign) % kAlign;
        Head* h = reinterpret_cast<Head*>(d) - 1;
        h->capacity = static_cast<std::uint32_t>(capacity);
        h->shift = static_cast<std::uint32_t>(d - raw);
        return reinterpret_cast<T*>(d);
    }
    // A window's first word: a multiple of four, so its words align with the buffer's.
    static std::size_t aligned_word(std::size_t word) noexcept { return word & ~std::size_t{3}; }

    std::size_t inline_size() const noexcept {
        return std::size_t{s_[0] != kNone} + (s_[1] != kNone) + (s_[2] != kNone) + (s_[3] != kNone);
    }
    Qubit* list_data() const noexcept { return static_cast<Qubit*>(data()); }
    void set_list(Qubit* members, std::size_t n) noexcept { set_data(members, kNone, static_cast<Qubit>(n)); }
    // The members of a row that is not a window, sorted, and their count.
    const Qubit* sorted() const noexcept { return listed() ? list_data() : s_; }
    std::size_t sorted_size() const noexcept { return listed() ? s_[3] : inline_size(); }

    std::size_t base() const noexcept { return s_[3]; }
    std::size_t len() const noexcept { return s_[2] & ~kWindowFlag; }
    std::size_t window_len() const noexcept { return dense() ? len() : 0; }
    std::uint64_t* live() const noexcept { return static_cast<std::uint64_t*>(data()); }
    void set_window(std::uint64_t* words, std::size_t base_word, std::size_t len_words) noexcept {
        KORVANE_ROW_CHECK(base_word % 4 == 0 && reinterpret_cast<std::uintptr_t>(words) % kAlign == 0);
        set_data(words, kWindowFlag | static_cast<Qubit>(len_words), static_cast<Qubit>(base_word));
    }
    void set_len(std::size_t len_words) noexcept { s_[2] = kWindowFlag | static_cast<Qubit>(len_words); }
    // Absolute word k of a window; zero outside it.
    std::uint64_t word(std::size_t k) const noexcept {
        const std::size_t i = k - base();  // wraps to a huge value below the window
        return i < len() ? live()[i] : 0;
    }
    bool all_zero() const noexcept {
        const std::uint64_t* w = live();
        for (std::size_t k = 0, n = len(); k < n; ++k)
            if (w[k]) return false;
        return true;
    }

    std::size_t find(std::size_t i) const noexcept;
    std::size_t dense_count() const noexcept;
    void flip_bit(std::size_t i) noexcept {
        KORVANE_ROW_CHECK(covers(i));
        live()[i / 64 - base()] ^= std::uint64_t{1} << (i % 64);
    }
    // Widens the live window to include words lo_word..hi_word.
    void cover(std::size_t lo_word, std::size_t hi_word) {
        if (len() == 0 || lo_word < base() || hi_word >= base() + len()) widen(lo_word, hi_word);
    }
    // True when it took a new buffer rather than widening the window within the old one.
    bool widen(std::size_t lo_word, std::size_t hi_word);
    // Changes of form and buffer that only save memory or time are skipped when memory is
    // short, so that no edit fails for their sake.
    template <class F>
    static void if_memory_allows(F&& f) noexcept {
        try {
            f();
        } catch (const std::bad_alloc&) {
        }
    }
    // Narrows the live window to its non-zero words, and gives back a buffer far wider.
    void trim() noexcept {
        const std::size_t n = len();
        if (n == 0 || live()[0] == 0 || live()[n - 1] == 0) narrow();
        if (capacity() > 4 * len() + 32) release_slack();
    }
    void narrow() noexcept;
    // A zeroed window buffer over words lo_word..hi_word with room to grow, holding the
    // current window's words if there is one; not yet installed.
    std::uint64_t* build_window(std::size_t lo_word, std::size_t hi_word) const;
    void install_window(std::uint64_t* words, std::size_t base_word, std::size_t len_words) noexcept {
        release();
        set_window(words, base_word, len_words);
    }
    void rebuffer(std::size_t lo_word, std::size_t hi_word);
    void release_slack() noexcept;
    void make_dense_if_smaller() noexcept;
    // Small windows are not worth a recount: they cost at most a few cache lines.
    void make_sparse_if_smaller() noexcept {
        const std::size_t n = len();
        if (n > 32 && 2 * dense_count() < n) if_memory_allows([&] { make_sparse(); });
    }
    void xor_dense(const NeighbourSet& other, Qubit skip, Qubit extra);
    void toggle_set_general(const NeighbourSet& other, Qubit skip, Qubit extra);
    void make_room(const NeighbourSet& other, Qubit extra);
    void toggle_set_in_room(const NeighbourSet& other, Qubit skip, Qubit extra);
    // Neither is a window: this ^= other (see toggle_set). With keep_room the result keeps
    // its form where it can and a list keeps room to merge `other` back without allocating.
    void merge_sorted(const NeighbourSet& other, Qubit skip, Qubit extra, bool keep_room);
    void toggle_general(std::size_t i);
    void erase_outside(std::size_t i);
    // Trims, and reconsiders the form.
    void settle() noexcept;
    void settle_list() noexcept;
    void make_dense();
    void make_sparse();
    // The list form with room for `capacity` members, holding the current sorted members.
    void relist(std::size_t capacity);
    // Sorted members back into the record; at most kInlineMembers of them.
    void inline_from(const Qubit* members, std::size_t n) noexcept;
    void insert_at(std::size_t pos, Qubit i);
    void erase_at(std::size_t pos) noexcept;

    // Inline: the members, then kNone. List: data pointer, kNone, count. Window: data
    // pointer, length | kWindowFlag, base word.
    alignas(8) Qubit s_[kInlineMembers];
};

static_assert(sizeof(NeighbourSet) == 16);

}  // namespace korvane
