#include "neighbour_set.hpp"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

// Small rows are scanned; larger ones searched.
constexpr std::size_t kLinearScan = 16;

template <class T>
void release(std::vector<T>& v) noexcept {
    std::vector<T>().swap(v);
}

}  // namespace

std::size_t NeighbourSet::find(std::size_t i) const noexcept {
    if (list_.size() <= kLinearScan) {
        for (std::size_t k = 0; k < list_.size(); ++k) {
            if (list_[k] == i) return k;
            if (list_[k] > i) break;
        }
        return kMissing;
    }
    const auto it = std::lower_bound(list_.begin(), list_.end(), i, [](Qubit m, std::size_t v) { return m < v; });
    return it != list_.end() && *it == i ? static_cast<std::size_t>(it - list_.begin()) : kMissing;
}

std::size_t NeighbourSet::dense_count() const noexcept {
    if (count_ == kStale) {
        std::size_t n = 0;
        const std::uint64_t* w = live();
        for (std::size_t k = 0; k < len_; ++k) n += static_cast<std::size_t>(std::popcount(w[k]));
        count_ = static_cast<std::uint32_t>(n);
    }
    return count_;
}

void NeighbourSet::insert(std::size_t i) {
    if (dense()) {
        cover(i / 64, i / 64);
        if (!contains(i)) flip_bit(i);
        return;
    }
    const auto it = std::lower_bound(list_.begin(), list_.end(), static_cast<Qubit>(i));
    if (it != list_.end() && *it == i) return;
    list_.insert(it, static_cast<Qubit>(i));
    make_dense_if_smaller();
}

void NeighbourSet::erase(std::size_t i) {
    if (dense()) {
        if (!contains(i)) return;
        flip_bit(i);  // a zero end word may stay, as after a row XOR
        return;
    }
    const std::size_t k = find(i);
    if (k != kMissing) list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(k));
}

// Makes this a window that covers other's members and extra, unless there is nothing to
// cover. Strongly exception-safe: the members stay as they are whatever happens.
void NeighbourSet::make_room(const NeighbourSet& other, Qubit extra) {
    const bool nothing = other.len_ == 0 && other.list_.empty();
    if (nothing && extra == kNone) return;
    if (!dense()) make_dense();
    std::size_t lo = extra / 64, hi = extra / 64;
    if (!nothing) {
        const std::size_t first = other.dense() ? other.base_ : other.list_.front() / 64;
        const std::size_t last = other.dense() ? other.base_ + other.len_ - 1 : other.list_.back() / 64;
        lo = extra == kNone ? first : std::min(lo, first);
        hi = extra == kNone ? last : std::max(hi, last);
    }
    cover(lo, hi);
}

void NeighbourSet::toggle_set_in_room(const NeighbourSet& other, Qubit skip, Qubit extra) {
    if (!dense() && !other.dense()) {
        // Forwards the merge needs a + b + 1; undoing it, at most a + 2b + 1.
        const std::size_t need = list_.size() + other.list_.size() + 1;
        if (list_.capacity() < need) list_.reserve(need + other.list_.size());
        merge_sorted(other, skip);
        if (extra != kNone) toggle_within_room(extra);
        return;
    }
    make_room(other, extra);
    if (fits(other, extra)) return xor_in_window(other, skip, extra);
    // A sorted list (or nothing) into a window that now covers it.
    if (!dense()) return;  // nothing to toggle
    for (Qubit q : other.list_)
        if (q != skip) flip_bit(q);
    if (extra != kNone) flip_bit(extra);
}

void NeighbourSet::settle_after_edit() noexcept {
    if (dense()) return settle();
    if (list_.capacity() > 4 * list_.size() + 16) list_.shrink_to_fit();  // never throws
    make_dense_if_smaller();
}

void NeighbourSet::toggle_within_room(std::size_t i) noexcept {
    if (dense()) return flip_bit(i);
    const auto it = std::lower_bound(list_.begin(), list_.end(), static_cast<Qubit>(i));
    if (it != list_.end() && *it == i) {
        list_.erase(it);
    } else {
        KORVANE_ROW_CHECK(list_.size() < list_.capacity());
        list_.insert(it, static_cast<Qubit>(i));  // within capacity: no allocation
    }
}

void NeighbourSet::toggle_general(std::size_t i) {
    if (contains(i))
        erase(i);
    else
        insert(i);
}

void NeighbourSet::clear() noexcept {
    release(list_);
    release(words_);
    base_ = off_ = len_ = count_ = 0;
}

void NeighbourSet::zero() noexcept {
    if (dense()) {
        std::fill_n(live(), len_, std::uint64_t{0});
        count_ = 0;
    } else {
        list_.clear();
    }
}

void NeighbourSet::span_words(std::size_t words) {
    release(list_);
    words_.assign(words, 0);
    base_ = off_ = count_ = 0;
    len_ = static_cast<std::uint32_t>(words);
}

Qubit NeighbourSet::first_except(std::size_t avoid) const noexcept {
    if (dense()) {
        const std::uint64_t* live_words = live();
        for (std::size_t k = 0; k < len_; ++k) {
            std::uint64_t w = live_words[k];
            if (avoid / 64 == base_ + k) w &= ~(std::uint64_t{1} << (avoid % 64));
            if (w) return static_cast<Qubit>((base_ + k) * 64 + static_cast<std::size_t>(std::countr_zero(w)));
        }
        return kNone;
    }
    for (Qubit q : list_)
        if (q != avoid) return q;
    return kNone;
}

std::vector<Qubit> NeighbourSet::members() const {
    if (!dense()) return list_;
    std::vector<Qubit> out;
    out.reserve(size());
    for_each([&](Qubit q) { out.push_back(q); });
    return out;
}

// A fresh zeroed buffer whose live window is words lo_word..hi_word, with room to move
// on both sides (rows drift as the graph changes, and moving within the buffer is free),
// holding the current window, which must lie inside. Built aside and swapped in, so a
// failed allocation leaves the row as it was.
void NeighbourSet::rebuffer(std::size_t lo_word, std::size_t hi_word) {
    const std::size_t need = hi_word - lo_word + 1;
    const std::size_t front = std::min(lo_word, need / 4 + 1);
    std::vector<std::uint64_t> fresh(front + need + need / 4 + 1, 0);
    if (len_) std::memcpy(fresh.data() + front + (base_ - lo_word), live(), len_ * sizeof(std::uint64_t));
    words_.swap(fresh);
    base_ = static_cast<std::uint32_t>(lo_word);
    off_ = static_cast<std::uint32_t>(front);
    len_ = static_cast<std::uint32_t>(need);
}

bool NeighbourSet::widen(std::size_t lo_word, std::size_t hi_word) {
    if (len_ != 0) {
        lo_word = std::min<std::size_t>(lo_word, base_);
        hi_word = std::max<std::size_t>(hi_word, base_ + len_ - 1);
    }
    const std::size_t start = base_ - off_;  // the absolute word of the buffer's first slot
    if (lo_word >= start && hi_word < start + words_.size()) {
        // Words outside the live window are zero already.
        off_ = static_cast<std::uint32_t>(lo_word - start);
        base_ = static_cast<std::uint32_t>(lo_word);
        len_ = static_cast<std::uint32_t>(hi_word - lo_word + 1);
        return false;
    }
    // A new buffer: sized for the members and the new words only, not for dead ends.
    if (len_ != 0) {
        narrow();
        if (len_ != 0) {
            lo_word = std::min<std::size_t>(lo_word, base_);
            hi_word = std::max<std::size_t>(hi_word, base_ + len_ - 1);
        }
    }
    rebuffer(lo_word, hi_word);
    return true;
}

void NeighbourSet::narrow() noexcept {
    const std::uint64_t* w = live();
    std::size_t lo = 0, hi = len_;
    while (hi > 0 && w[hi - 1] == 0) --hi;
    while (lo < hi && w[lo] == 0) ++lo;
    off_ += static_cast<std::uint32_t>(lo);
    base_ += static_cast<std::uint32_t>(lo);
    len_ = static_cast<std::uint32_t>(hi - lo);
    if (len_ == 0) count_ = 0;
}

// A buffer far wider than its window gives the surplus back.
void NeighbourSet::release_slack() noexcept {
    if (len_ == 0) {
        clear();  // an empty row needs no buffer; it is sparse again
        return;
    }
    if_memory_allows([&] { rebuffer(base_, base_ + len_ - 1); });
}

// The sorted vector takes 4 bytes a member, the window 8 bytes a word: switch to whichever
// is smaller, with a margin of four either way (the other direction is in the header).
void NeighbourSet::make_dense_if_smaller() noexcept {
    const std::size_t n = list_.size();
    if (n > 8 && n > 2 * (list_.back() / 64 - list_.front() / 64 + 1)) if_memory_allows([&] { make_dense(); });
}

void NeighbourSet::make_dense() {
    if (list_.empty()) {
        rebuffer(0, 0);
        len_ = 0;
    } else {
        rebuffer(list_.front() / 64, list_.back() / 64);
        std::uint64_t* w = live();
        for (Qubit q : list_) w[q / 64 - base_] |= std::uint64_t{1} << (q % 64);
    }
    count_ = static_cast<std::uint32_t>(list_.size());
    release(list_);
}

void NeighbourSet::make_sparse() {
    std::vector<Qubit> list;
    list.reserve(size());
    for_each([&](Qubit q) { list.push_back(q); });
    clear();
    list_ = std::move(list);
}

// The hot path of every rewriting rule on dense graphs: one pass of word XORs.
// Both are windows. The buffer's words outside the live window are zero, so when the
// operand falls inside the buffer the XOR needs no room made first: the window just
// becomes the span of what it now covers.
void NeighbourSet::xor_dense(const NeighbourSet& other, Qubit skip, Qubit extra) {
    std::size_t lo = other.base_, hi = other.base_ + other.len_ - 1;
    if (extra != kNone) {
        lo = std::min<std::size_t>(lo, extra / 64);
        hi = std::max<std::size_t>(hi, extra / 64);
    }
    const bool fresh = (len_ == 0 || lo < base_ || hi >= std::size_t{base_} + len_) && widen(lo, hi);
    std::uint64_t* w = live();
    xor_words(w + (other.base_ - base_), other.live(), other.len_);
    if (skip != kNone) w[skip / 64 - base_] ^= std::uint64_t{1} << (skip % 64);
    if (extra != kNone) w[extra / 64 - base_] ^= std::uint64_t{1} << (extra % 64);
    count_ = kStale;
    if (fresh) settle();
}

void NeighbourSet::settle() noexcept {
    trim();
    make_sparse_if_smaller();
}

void NeighbourSet::toggle_set_general(const NeighbourSet& other, Qubit skip, Qubit extra) {
    if (!other.dense() && !dense()) {
        merge_sorted(other, skip);
        if (extra != kNone) toggle(extra);
        // Only now: the toggle may use the room the merge had.
        if (list_.capacity() > 4 * list_.size() + 16) list_.shrink_to_fit();  // never throws
        make_dense_if_smaller();
        return;
    }
    if (other.len_ == 0 && other.list_.empty() && extra == kNone) return;  // nothing to toggle
    if (!dense()) make_dense();
    if (other.len_ != 0) return xor_dense(other, skip, extra);
    // A sorted list into a window: flip its members one by one.
    std::size_t lo = extra / 64, hi = extra / 64;
    if (!other.list_.empty()) {
        lo = extra == kNone ? other.list_.front() / 64 : std::min<std::size_t>(lo, other.list_.front() / 64);
        hi = extra == kNone ? other.list_.back() / 64 : std::max<std::size_t>(hi, other.list_.back() / 64);
    }
    cover(lo, hi);
    for (Qubit q : other.list_)
        if (q != skip) flip_bit(q);
    if (extra != kNone) flip_bit(extra);
    settle();
}

// Both sorted: merge into the symmetric difference in place, from the back, so no scratch
// buffer is needed. The write position never overtakes the unread part.
void NeighbourSet::merge_sorted(const NeighbourSet& other, Qubit skip) {
    const std::size_t a = list_.size(), b = other.list_.size();
    list_.resize(a + b);
    Qubit* buf = list_.data();
    const Qubit* o = other.list_.data();
    std::size_t i = a, j = b, w = a + b;
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
    const std::size_t tail = a + b - w;
    if (tail) std::memmove(buf + i, buf + w, tail * sizeof(Qubit));  // buf is null when both are empty
    list_.resize(i + tail);
}

bool operator==(const NeighbourSet& a, const NeighbourSet& b) {
    if (a.size() != b.size()) return false;
    if (!a.dense() && !b.dense()) return a.list_ == b.list_;
    bool same = true;
    a.for_each([&](Qubit q) { same = same && b.contains(q); });
    return same;
}

}  // namespace korvane
