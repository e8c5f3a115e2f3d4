#include "neighbour_set.hpp"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

// Small rows are scanned; larger ones searched.
constexpr std::size_t kLinearScan = 16;
// An operand up to this size is merged into an inline row on the stack, so that the
// result stays inline whenever it fits there.
constexpr std::size_t kStackOperand = 28;

// out = a ^ (b without skip); both sorted, out has room for na + nb. Returns the count.
std::size_t merge_into(const Qubit* a, std::size_t na, const Qubit* b, std::size_t nb, Qubit skip, Qubit* out) noexcept {
    std::size_t i = 0, j = 0, n = 0;
    while (i < na && j < nb) {
        if (b[j] == skip) {
            ++j;
        } else if (a[i] < b[j]) {
            out[n++] = a[i++];
        } else if (b[j] < a[i]) {
            out[n++] = b[j++];
        } else {
            ++i;
            ++j;
        }
    }
    for (; i < na; ++i) out[n++] = a[i];
    for (; j < nb; ++j)
        if (b[j] != skip) out[n++] = b[j];
    return n;
}

// The size of a ^ (b without skip), with extra toggled too (kNone: none); both sorted.
std::size_t merged_size(const Qubit* a, std::size_t na, const Qubit* b, std::size_t nb, Qubit skip,
                        Qubit extra) noexcept {
    std::size_t n = na, i = 0;
    for (std::size_t j = 0; j < nb; ++j) {
        if (b[j] == skip) continue;
        while (i < na && a[i] < b[j]) ++i;
        n = i < na && a[i] == b[j] ? n - 1 : n + 1;
    }
    if (extra == NeighbourSet::kNone) return n;
    const bool in_a = std::binary_search(a, a + na, extra);
    const bool in_b = extra != skip && std::binary_search(b, b + nb, extra);
    return in_a != in_b ? n - 1 : n + 1;
}

// Toggles x in the sorted buf of n members, which has room for one more. Returns the count.
std::size_t toggle_sorted(Qubit* buf, std::size_t n, Qubit x) noexcept {
    const std::size_t pos = static_cast<std::size_t>(std::lower_bound(buf, buf + n, x) - buf);
    if (pos < n && buf[pos] == x) {
        std::memmove(buf + pos, buf + pos + 1, (n - pos - 1) * sizeof(Qubit));
        return n - 1;
    }
    std::memmove(buf + pos + 1, buf + pos, (n - pos) * sizeof(Qubit));
    buf[pos] = x;
    return n + 1;
}

}  // namespace

void NeighbourSet::assign(const NeighbourSet& other) {
    if (other.in_record()) {
        release();
        std::memcpy(s_, other.s_, sizeof s_);
        return;
    }
    // A new list keeps the original's room, like a window below: the copy then needs a new
    // buffer, and can undo an edit without one, exactly where the original would.
    if (other.listed()) {
        const std::size_t n = other.s_[3];
        Qubit* to = listed() && capacity() >= n ? list_data() : nullptr;
        if (!to) to = allocate<Qubit>(other.capacity());
        std::memcpy(to, other.list_data(), n * sizeof(Qubit));
        if (to != data()) release();
        set_list(to, n);
        return;
    }
    // A window keeps its capacity, so the copy behaves exactly as the original; a buffer
    // already large enough is reused, its surplus zeroed.
    const std::size_t words = other.capacity();
    std::uint64_t* to = dense() && capacity() >= words ? live() : nullptr;
    // Past its window a buffer is zero already; a fresh one is zero past the copy.
    const std::size_t zeroed = to ? std::max(len(), other.len()) : words;
    if (!to) to = allocate<std::uint64_t>(words);
    std::memcpy(to, other.live(), other.len() * sizeof(std::uint64_t));
    std::fill(to + other.len(), to + zeroed, std::uint64_t{0});
    if (to != data()) release();
    set_window(to, other.base(), other.len());
}

std::size_t NeighbourSet::find(std::size_t i) const noexcept {
    const Qubit* p = sorted();
    const std::size_t n = sorted_size();
    if (n <= kLinearScan) {
        for (std::size_t k = 0; k < n; ++k) {
            if (p[k] == i) return k;
            if (p[k] > i) break;
        }
        return kMissing;
    }
    const Qubit* it = std::lower_bound(p, p + n, i, [](Qubit m, std::size_t v) { return m < v; });
    return it != p + n && *it == i ? static_cast<std::size_t>(it - p) : kMissing;
}

std::size_t NeighbourSet::dense_count() const noexcept {
    std::size_t n = 0;
    const std::uint64_t* w = live();
    for (std::size_t k = 0, m = len(); k < m; ++k) n += static_cast<std::size_t>(std::popcount(w[k]));
    return n;
}

void NeighbourSet::relist(std::size_t capacity) {
    const std::size_t n = sorted_size();
    Qubit* members = allocate<Qubit>(capacity);
    std::memcpy(members, sorted(), n * sizeof(Qubit));
    release();
    set_list(members, n);
}

void NeighbourSet::inline_from(const Qubit* members, std::size_t n) noexcept {
    KORVANE_ROW_CHECK(n <= kInlineMembers);
    Qubit m[kInlineMembers] = {kNone, kNone, kNone, kNone};
    std::memcpy(m, members, n * sizeof(Qubit));  // before members' block is released
    release();
    std::memcpy(s_, m, sizeof s_);
}

void NeighbourSet::insert_at(std::size_t pos, Qubit i) {
    KORVANE_ROW_CHECK(i < kMemberLimit);
    if (in_record()) {
        const std::size_t n = inline_size();
        if (n < kInlineMembers) {
            for (std::size_t k = n; k > pos; --k) s_[k] = s_[k - 1];
            s_[pos] = i;
            return;
        }
        relist(2 * kInlineMembers);
    } else if (s_[3] == capacity()) {
        relist(2 * std::size_t{s_[3]});
    }
    Qubit* p = list_data();
    std::memmove(p + pos + 1, p + pos, (s_[3] - pos) * sizeof(Qubit));
    p[pos] = i;
    ++s_[3];
}

void NeighbourSet::erase_at(std::size_t pos) noexcept {
    if (in_record()) {
        for (std::size_t k = pos; k + 1 < kInlineMembers; ++k) s_[k] = s_[k + 1];
        s_[kInlineMembers - 1] = kNone;
        return;
    }
    Qubit* p = list_data();
    std::memmove(p + pos, p + pos + 1, (s_[3] - pos - 1) * sizeof(Qubit));
    --s_[3];
}

void NeighbourSet::insert(std::size_t i) {
    if (dense()) {
        cover(i / 64, i / 64);
        if (!contains(i)) flip_bit(i);
        return;
    }
    const Qubit* p = sorted();
    const std::size_t n = sorted_size();
    const std::size_t pos = static_cast<std::size_t>(std::lower_bound(p, p + n, static_cast<Qubit>(i)) - p);
    if (pos < n && p[pos] == i) return;
    insert_at(pos, static_cast<Qubit>(i));
    make_dense_if_smaller();
}

void NeighbourSet::erase_outside(std::size_t i) {
    if (dense()) return;  // outside the window: not a member
    const std::size_t k = find(i);
    if (k == kMissing) return;
    erase_at(k);
    // Back inline with a slot to spare, so that putting the member back needs no room.
    if (listed() && s_[3] < kInlineMembers) inline_from(list_data(), s_[3]);
}

// Makes this a window that covers other's members and extra, unless there is nothing to
// cover. Strongly exception-safe: the members stay as they are whatever happens.
void NeighbourSet::make_room(const NeighbourSet& other, Qubit extra) {
    std::size_t first = kMissing, last = 0;
    if (other.dense()) {
        if (other.len() != 0) first = other.base(), last = other.base() + other.len() - 1;
    } else if (const std::size_t n = other.sorted_size(); n != 0) {
        first = other.sorted()[0] / 64, last = other.sorted()[n - 1] / 64;
    }
    if (extra != kNone) first = std::min<std::size_t>(first, extra / 64), last = std::max<std::size_t>(last, extra / 64);
    if (first == kMissing) return;
    if (!dense()) make_dense();
    cover(first, last);
}

void NeighbourSet::toggle_set_in_room(const NeighbourSet& other, Qubit skip, Qubit extra) {
    if (!dense() && !other.dense()) return merge_sorted(other, skip, extra, true);
    make_room(other, extra);
    if (fits(other, extra)) return xor_in_window(other, skip, extra);
    // Members of a sorted form (or nothing) into a window that now covers them.
    if (!dense()) return;  // nothing to toggle
    if (!other.dense())
        for (std::size_t k = 0, n = other.sorted_size(); k < n; ++k)
            if (other.sorted()[k] != skip) flip_bit(other.sorted()[k]);
    if (extra != kNone) flip_bit(extra);
}

// Neither is a window. An inline row merges on the stack and stays inline when the result
// fits; otherwise the merge runs in place in a list, from the back, with no scratch.
void NeighbourSet::merge_sorted(const NeighbourSet& other, Qubit skip, Qubit extra, bool keep_room) {
    const std::size_t na = sorted_size(), nb = other.sorted_size();
    // In place the merge needs na + nb + 1. With keep_room the list holds its undo too,
    // which is this same merge run on the result: for a result of r members both need
    // max(na, r) + nb + 1, so the undo finds the room the merge found and never relists.
    // `room` is enough for any r; r is counted only when the list has less.
    const std::size_t room = keep_room ? na + 2 * nb + 2 : na + nb + 1;
    if (in_record() && nb <= kStackOperand) {
        Qubit out[kInlineMembers + kStackOperand + 1];
        std::size_t n = merge_into(s_, na, other.sorted(), nb, skip, out);
        if (extra != kNone) n = toggle_sorted(out, n, extra);
        if (n <= kInlineMembers) return inline_from(out, n);
        Qubit* members = allocate<Qubit>(keep_room ? room : std::max<std::size_t>(2 * n, 2 * kInlineMembers));
        std::memcpy(members, out, n * sizeof(Qubit));
        release();
        set_list(members, n);
        return;
    }
    if (in_record() || capacity() < na + nb + 1 ||
        (keep_room && capacity() < room &&
         capacity() < merged_size(sorted(), na, other.sorted(), nb, skip, extra) + nb + 1))
        relist(keep_room || in_record() ? room : std::max(room, 2 * capacity()));
    Qubit* buf = list_data();
    const Qubit* o = other.sorted();
    std::size_t i = na, j = nb, w = na + nb;
    // The write position never overtakes the unread part.
    while (i > 0 && j > 0) {
        const Qubit x = buf[i - 1], y = o[j - 1];
        if (y == skip) {
            --j;
        } else if (x > y) {
            buf[--w] = x;
            --i;
        } else if (y > x) {
            buf[--w] = y;
            --j;
        } else {
            --i;
            --j;
        }
    }
    for (; j > 0; --j)
        if (o[j - 1] != skip) buf[--w] = o[j - 1];
    const std::size_t tail = na + nb - w;
    std::memmove(buf + i, buf + w, tail * sizeof(Qubit));
    s_[3] = static_cast<Qubit>(i + tail);
    if (extra != kNone) s_[3] = static_cast<Qubit>(toggle_sorted(buf, s_[3], extra));
}

void NeighbourSet::settle_after_edit() noexcept {
    if (dense()) return settle();
    settle_list();
}

void NeighbourSet::settle_list() noexcept {
    if (!listed()) return;
    const std::size_t n = s_[3];
    if (n < kInlineMembers) return inline_from(list_data(), n);
    if (capacity() > 4 * n + 16) if_memory_allows([&] { relist(n); });
    make_dense_if_smaller();
}

void NeighbourSet::toggle_within_room(std::size_t i) noexcept {
    if (dense()) return flip_bit(i);
    const Qubit* p = sorted();
    const std::size_t n = sorted_size();
    const std::size_t pos = static_cast<std::size_t>(std::lower_bound(p, p + n, static_cast<Qubit>(i)) - p);
    if (pos < n && p[pos] == i) return erase_at(pos);
    KORVANE_ROW_CHECK(in_record() ? n < kInlineMembers : n < capacity());
    insert_at(pos, static_cast<Qubit>(i));  // within the room: no allocation
}

void NeighbourSet::toggle_general(std::size_t i) {
    if (contains(i))
        erase(i);
    else
        insert(i);
}

void NeighbourSet::clear() noexcept {
    release();
    become_empty();
}

void NeighbourSet::zero() noexcept {
    if (dense()) {
        std::fill_n(live(), len(), std::uint64_t{0});
    } else if (listed()) {
        s_[3] = 0;
    } else {
        become_empty();
    }
}

void NeighbourSet::span_words(std::size_t words) {
    std::uint64_t* w = allocate<std::uint64_t>(words + kSpare);
    std::fill_n(w, words + kSpare, std::uint64_t{0});
    install_window(w, 0, words);
}

Qubit NeighbourSet::first_except(std::size_t avoid) const noexcept {
    if (dense()) {
        const std::uint64_t* live_words = live();
        const std::size_t b = base();
        for (std::size_t k = 0, n = len(); k < n; ++k) {
            std::uint64_t w = live_words[k];
            if (avoid / 64 == b + k) w &= ~(std::uint64_t{1} << (avoid % 64));
            if (w) return static_cast<Qubit>((b + k) * 64 + static_cast<std::size_t>(std::countr_zero(w)));
        }
        return kNone;
    }
    const Qubit* p = sorted();
    for (std::size_t k = 0, n = sorted_size(); k < n; ++k)
        if (p[k] != avoid) return p[k];
    return kNone;
}

std::vector<Qubit> NeighbourSet::members() const {
    if (!dense()) return std::vector<Qubit>(sorted(), sorted() + sorted_size());
    std::vector<Qubit> out;
    out.reserve(size());
    for_each([&](Qubit q) { out.push_back(q); });
    return out;
}

// A fresh zeroed buffer whose window is words lo_word..hi_word, with room to grow (rows
// drift as the graph changes), holding the current window, which must lie inside.
std::uint64_t* NeighbourSet::build_window(std::size_t lo_word, std::size_t hi_word) const {
    const std::size_t need = hi_word - lo_word + 1;
    const std::size_t words = need + need / 2 + kSpare + 1;
    std::uint64_t* w = allocate<std::uint64_t>(words);
    std::fill_n(w, words, std::uint64_t{0});
    if (dense() && len() != 0) std::memcpy(w + (base() - lo_word), live(), len() * sizeof(std::uint64_t));
    return w;
}

// Built aside and swapped in, so a failed allocation leaves the row as it was.
void NeighbourSet::rebuffer(std::size_t lo_word, std::size_t hi_word) {
    install_window(build_window(lo_word, hi_word), lo_word, hi_word - lo_word + 1);
}

bool NeighbourSet::widen(std::size_t lo_word, std::size_t hi_word) {
    if (len() != 0) {
        lo_word = std::min(lo_word, base());
        hi_word = std::max(hi_word, base() + len() - 1);
    }
    lo_word = aligned_word(lo_word);
    if (hi_word - lo_word + 1 + kSpare <= capacity()) {
        // Words past the window are zero already; moving it up clears what it leaves.
        std::uint64_t* w = live();
        if (len() != 0 && lo_word < base()) {
            const std::size_t shift = base() - lo_word;
            std::memmove(w + shift, w, len() * sizeof(std::uint64_t));
            std::fill_n(w, shift, std::uint64_t{0});
        }
        set_window(w, lo_word, hi_word - lo_word + 1);
        return false;
    }
    // A new buffer: sized for the members and the new words only, not for dead ends.
    if (len() != 0) {
        narrow();
        if (len() != 0) {
            lo_word = std::min(lo_word, base());
            hi_word = std::max(hi_word, base() + len() - 1);
        }
    }
    rebuffer(aligned_word(lo_word), hi_word);
    return true;
}

void NeighbourSet::narrow() noexcept {
    std::uint64_t* w = live();
    std::size_t lo = 0, hi = len();
    while (hi > 0 && w[hi - 1] == 0) --hi;
    while (lo < hi && w[lo] == 0) ++lo;
    lo = aligned_word(lo);  // base stays a multiple of four
    if (lo != 0) {
        std::memmove(w, w + lo, (hi - lo) * sizeof(std::uint64_t));
        std::fill(w + (hi - lo), w + hi, std::uint64_t{0});
    }
    set_window(w, base() + lo, hi - lo);
}

// A buffer far wider than its window gives the surplus back.
void NeighbourSet::release_slack() noexcept {
    if (len() == 0) {
        clear();  // an empty row needs no buffer
        return;
    }
    if_memory_allows([&] { rebuffer(base(), base() + len() - 1); });
}

// The sorted list takes 4 bytes a member, the window 8 bytes a word: switch to whichever
// is smaller, with a margin of four either way (the other direction is in the header).
void NeighbourSet::make_dense_if_smaller() noexcept {
    if (!listed()) return;
    const std::size_t n = s_[3];
    const Qubit* p = list_data();
    if (n > 8 && n > 2 * (p[n - 1] / 64 - p[0] / 64 + 1)) if_memory_allows([&] { make_dense(); });
}

void NeighbourSet::make_dense() {
    const Qubit* p = sorted();
    const std::size_t n = sorted_size();
    const std::size_t lo = n == 0 ? 0 : aligned_word(p[0] / 64), hi = n == 0 ? 0 : p[n - 1] / 64;
    std::uint64_t* w = build_window(lo, hi);
    for (std::size_t k = 0; k < n; ++k) w[p[k] / 64 - lo] |= std::uint64_t{1} << (p[k] % 64);
    install_window(w, lo, n == 0 ? 0 : hi - lo + 1);
}

void NeighbourSet::make_sparse() {
    const std::size_t n = size();
    if (n <= kInlineMembers) {
        Qubit m[kInlineMembers];
        std::size_t k = 0;
        for_each([&](Qubit q) { m[k++] = q; });
        return inline_from(m, n);
    }
    Qubit* members = allocate<Qubit>(n);
    Qubit* out = members;
    for_each([&](Qubit q) { *out++ = q; });
    release();
    set_list(members, n);
}

// The hot path of every rewriting rule on dense graphs: one pass of word XORs.
// Both are windows. The buffer's words outside the live window are zero, so when the
// operand falls inside the buffer the XOR needs no room made first: the window just
// becomes the span of what it now covers.
void NeighbourSet::xor_dense(const NeighbourSet& other, Qubit skip, Qubit extra) {
    std::size_t lo = other.base(), hi = other.base() + other.len() - 1;
    if (extra != kNone) {
        lo = std::min<std::size_t>(lo, extra / 64);
        hi = std::max<std::size_t>(hi, extra / 64);
    }
    const bool fresh = (len() == 0 || lo < base() || hi >= base() + len()) && widen(lo, hi);
    xor_in_window(other, skip, extra);  // it fits now
    if (fresh) settle();
}

void NeighbourSet::settle() noexcept {
    trim();
    if (dense()) make_sparse_if_smaller();
}

void NeighbourSet::toggle_set_general(const NeighbourSet& other, Qubit skip, Qubit extra) {
    if (!other.dense() && !dense()) {
        merge_sorted(other, skip, extra, false);
        settle_list();
        return;
    }
    const std::size_t sorted_members = other.dense() ? 0 : other.sorted_size();
    if (other.window_len() == 0 && sorted_members == 0 && extra == kNone) return;  // nothing to toggle
    if (!dense()) make_dense();
    if (other.window_len() != 0) return xor_dense(other, skip, extra);
    // A sorted form into a window: flip its members one by one.
    make_room(other, extra);
    for (std::size_t k = 0; k < sorted_members; ++k)
        if (other.sorted()[k] != skip) flip_bit(other.sorted()[k]);
    if (extra != kNone) flip_bit(extra);
    settle();
}

bool operator==(const NeighbourSet& a, const NeighbourSet& b) {
    // Records hold their members sorted, the free slots last: equal sets, equal records.
    if (a.in_record() && b.in_record()) return std::memcmp(a.s_, b.s_, sizeof a.s_) == 0;
    if (a.dense() && b.dense()) {  // word by word over both windows: zero outside each
        const std::size_t lo = std::min(a.base(), b.base());
        const std::size_t hi = std::max(a.base() + a.len(), b.base() + b.len());
        for (std::size_t k = lo; k < hi; ++k)
            if (a.word(k) != b.word(k)) return false;
        return true;
    }
    if (a.size() != b.size()) return false;
    if (!a.dense() && !b.dense()) return std::equal(a.sorted(), a.sorted() + a.sorted_size(), b.sorted());
    bool same = true;
    a.for_each([&](Qubit q) { same = same && b.contains(q); });
    return same;
}

}  // namespace korvane
