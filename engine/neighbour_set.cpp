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
    if (other.listed()) {
        const std::size_t n = other.s_[2];
        if (listed() && list_head()->capacity >= n) {
            std::memcpy(list_data(), other.list_data(), n * sizeof(Qubit));
            s_[2] = static_cast<Qubit>(n);
            return;
        }
        auto* h = static_cast<ListHead*>(::operator new(sizeof(ListHead) + n * sizeof(Qubit)));
        h->capacity = static_cast<std::uint32_t>(n);
        std::memcpy(h + 1, other.list_data(), n * sizeof(Qubit));
        release();
        set_block(h, static_cast<Qubit>(n), kListTag);
        return;
    }
    // A window keeps its buffer's layout, so the copy behaves exactly as the original.
    const WindowHead& from = *other.head();
    WindowHead* h = dense() && head()->capacity >= from.size ? head() : nullptr;
    if (!h) {
        h = static_cast<WindowHead*>(::operator new(sizeof(WindowHead) + std::size_t{from.size} * sizeof(std::uint64_t)));
        h->capacity = from.size;
    }
    std::memcpy(reinterpret_cast<std::uint64_t*>(h + 1), other.buffer(), std::size_t{from.size} * sizeof(std::uint64_t));
    h->size = from.size;
    h->off = from.off;
    h->len = from.len;
    h->count = from.count;
    if (h != block()) release();
    set_block(h, other.s_[2], kWindowTag);
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
    WindowHead* h = head();
    if (h->count == kStale) {
        std::size_t n = 0;
        const std::uint64_t* w = live();
        for (std::size_t k = 0; k < h->len; ++k) n += static_cast<std::size_t>(std::popcount(w[k]));
        h->count = static_cast<std::uint32_t>(n);
    }
    return h->count;
}

void NeighbourSet::relist(std::size_t capacity) {
    const std::size_t n = sorted_size();
    auto* h = static_cast<ListHead*>(::operator new(sizeof(ListHead) + capacity * sizeof(Qubit)));
    h->capacity = static_cast<std::uint32_t>(capacity);
    std::memcpy(h + 1, sorted(), n * sizeof(Qubit));
    release();
    set_block(h, static_cast<Qubit>(n), kListTag);
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
    } else if (s_[2] == list_head()->capacity) {
        relist(2 * std::size_t{s_[2]});
    }
    Qubit* p = list_data();
    std::memmove(p + pos + 1, p + pos, (s_[2] - pos) * sizeof(Qubit));
    p[pos] = i;
    ++s_[2];
}

void NeighbourSet::erase_at(std::size_t pos) noexcept {
    if (in_record()) {
        for (std::size_t k = pos; k + 1 < kInlineMembers; ++k) s_[k] = s_[k + 1];
        s_[kInlineMembers - 1] = kNone;
        return;
    }
    Qubit* p = list_data();
    std::memmove(p + pos, p + pos + 1, (s_[2] - pos - 1) * sizeof(Qubit));
    --s_[2];
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

void NeighbourSet::erase(std::size_t i) {
    if (dense()) {
        if (!contains(i)) return;
        flip_bit(i);  // a zero end word may stay, as after a row XOR
        return;
    }
    const std::size_t k = find(i);
    if (k == kMissing) return;
    erase_at(k);
    // Back inline with a slot to spare, so that putting the member back needs no room.
    if (listed() && s_[2] < kInlineMembers) inline_from(list_data(), s_[2]);
}

// Makes this a window that covers other's members and extra, unless there is nothing to
// cover. Strongly exception-safe: the members stay as they are whatever happens.
void NeighbourSet::make_room(const NeighbourSet& other, Qubit extra) {
    std::size_t first = kMissing, last = 0;
    if (other.dense()) {
        if (other.head()->len != 0) first = other.base(), last = other.base() + other.head()->len - 1;
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
    // Forwards the merge needs na + nb + 1; undoing it, at most na + 2 nb + 2.
    const std::size_t room = keep_room ? na + 2 * nb + 2 : na + nb + 1;
    if (in_record() && nb <= kStackOperand) {
        Qubit out[kInlineMembers + kStackOperand + 1];
        std::size_t n = merge_into(s_, na, other.sorted(), nb, skip, out);
        if (extra != kNone) n = toggle_sorted(out, n, extra);
        if (n <= kInlineMembers) return inline_from(out, n);
        const std::size_t capacity = keep_room ? room : std::max<std::size_t>(2 * n, 2 * kInlineMembers);
        auto* h = static_cast<ListHead*>(::operator new(sizeof(ListHead) + capacity * sizeof(Qubit)));
        h->capacity = static_cast<std::uint32_t>(capacity);
        std::memcpy(h + 1, out, n * sizeof(Qubit));
        release();
        set_block(h, static_cast<Qubit>(n), kListTag);
        return;
    }
    if (in_record() || list_head()->capacity < na + nb + 1)
        relist(keep_room || in_record() ? room : std::max(room, 2 * std::size_t{list_head()->capacity}));
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
    s_[2] = static_cast<Qubit>(i + tail);
    if (extra != kNone) s_[2] = static_cast<Qubit>(toggle_sorted(buf, s_[2], extra));
}

void NeighbourSet::settle_after_edit() noexcept {
    if (dense()) return settle();
    settle_list();
}

void NeighbourSet::settle_list() noexcept {
    if (!listed()) return;
    const std::size_t n = s_[2];
    if (n < kInlineMembers) return inline_from(list_data(), n);
    if (list_head()->capacity > 4 * n + 16) if_memory_allows([&] { relist(n); });
    make_dense_if_smaller();
}

void NeighbourSet::toggle_within_room(std::size_t i) noexcept {
    if (dense()) return flip_bit(i);
    const Qubit* p = sorted();
    const std::size_t n = sorted_size();
    const std::size_t pos = static_cast<std::size_t>(std::lower_bound(p, p + n, static_cast<Qubit>(i)) - p);
    if (pos < n && p[pos] == i) return erase_at(pos);
    KORVANE_ROW_CHECK(in_record() ? n < kInlineMembers : n < list_head()->capacity);
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
        std::fill_n(live(), head()->len, std::uint64_t{0});
        head()->count = 0;
    } else if (listed()) {
        s_[2] = 0;
    } else {
        become_empty();
    }
}

void NeighbourSet::span_words(std::size_t words) {
    auto* h = static_cast<WindowHead*>(::operator new(sizeof(WindowHead) + words * sizeof(std::uint64_t)));
    std::fill_n(reinterpret_cast<std::uint64_t*>(h + 1), words, std::uint64_t{0});
    h->capacity = h->size = h->len = static_cast<std::uint32_t>(words);
    h->off = h->count = 0;
    install_window(h, 0);
}

Qubit NeighbourSet::first_except(std::size_t avoid) const noexcept {
    if (dense()) {
        const std::uint64_t* live_words = live();
        const std::size_t b = base();
        for (std::size_t k = 0, len = head()->len; k < len; ++k) {
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

// A fresh zeroed buffer whose live window is words lo_word..hi_word, with room to move
// on both sides (rows drift as the graph changes, and moving within the buffer is free),
// holding the current window, if any, which must lie inside.
NeighbourSet::WindowHead* NeighbourSet::build_window(std::size_t lo_word, std::size_t hi_word) const {
    const std::size_t need = hi_word - lo_word + 1;
    const std::size_t front = std::min(lo_word, need / 4 + 1);
    const std::size_t size = front + need + need / 4 + 1;
    auto* h = static_cast<WindowHead*>(::operator new(sizeof(WindowHead) + size * sizeof(std::uint64_t)));
    std::uint64_t* words = reinterpret_cast<std::uint64_t*>(h + 1);
    std::fill_n(words, size, std::uint64_t{0});
    h->capacity = h->size = static_cast<std::uint32_t>(size);
    h->off = static_cast<std::uint32_t>(front);
    h->len = static_cast<std::uint32_t>(need);
    h->count = 0;
    if (dense()) {
        if (head()->len)
            std::memcpy(words + front + (base() - lo_word), live(), head()->len * sizeof(std::uint64_t));
        h->count = head()->count;
    }
    return h;
}

// Built aside and swapped in, so a failed allocation leaves the row as it was.
void NeighbourSet::rebuffer(std::size_t lo_word, std::size_t hi_word) {
    install_window(build_window(lo_word, hi_word), lo_word);
}

bool NeighbourSet::widen(std::size_t lo_word, std::size_t hi_word) {
    WindowHead* h = head();
    if (h->len != 0) {
        lo_word = std::min(lo_word, base());
        hi_word = std::max(hi_word, base() + h->len - 1);
    }
    const std::size_t start = base() - h->off;  // the absolute word of the buffer's first slot
    if (lo_word >= start && hi_word < start + h->size) {
        // Words outside the live window are zero already.
        h->off = static_cast<std::uint32_t>(lo_word - start);
        h->len = static_cast<std::uint32_t>(hi_word - lo_word + 1);
        s_[2] = static_cast<Qubit>(lo_word);
        return false;
    }
    // A new buffer: sized for the members and the new words only, not for dead ends.
    if (h->len != 0) {
        narrow();
        if (h->len != 0) {
            lo_word = std::min(lo_word, base());
            hi_word = std::max(hi_word, base() + h->len - 1);
        }
    }
    rebuffer(lo_word, hi_word);
    return true;
}

void NeighbourSet::narrow() noexcept {
    WindowHead* h = head();
    const std::uint64_t* w = live();
    std::size_t lo = 0, hi = h->len;
    while (hi > 0 && w[hi - 1] == 0) --hi;
    while (lo < hi && w[lo] == 0) ++lo;
    h->off += static_cast<std::uint32_t>(lo);
    s_[2] += static_cast<Qubit>(lo);
    h->len = static_cast<std::uint32_t>(hi - lo);
    if (h->len == 0) h->count = 0;
}

// A buffer far wider than its window gives the surplus back.
void NeighbourSet::release_slack() noexcept {
    if (head()->len == 0) {
        clear();  // an empty row needs no buffer
        return;
    }
    if_memory_allows([&] { rebuffer(base(), base() + head()->len - 1); });
}

// The sorted list takes 4 bytes a member, the window 8 bytes a word: switch to whichever
// is smaller, with a margin of four either way (the other direction is in the header).
void NeighbourSet::make_dense_if_smaller() noexcept {
    if (!listed()) return;
    const std::size_t n = s_[2];
    const Qubit* p = list_data();
    if (n > 8 && n > 2 * (p[n - 1] / 64 - p[0] / 64 + 1)) if_memory_allows([&] { make_dense(); });
}

void NeighbourSet::make_dense() {
    const Qubit* p = sorted();
    const std::size_t n = sorted_size();
    const std::size_t lo = n == 0 ? 0 : p[0] / 64;
    WindowHead* h = build_window(lo, n == 0 ? 0 : p[n - 1] / 64);
    if (n == 0) h->len = 0;
    std::uint64_t* w = reinterpret_cast<std::uint64_t*>(h + 1) + h->off;
    for (std::size_t k = 0; k < n; ++k) w[p[k] / 64 - lo] |= std::uint64_t{1} << (p[k] % 64);
    h->count = static_cast<std::uint32_t>(n);
    install_window(h, lo);
}

void NeighbourSet::make_sparse() {
    const std::size_t n = size();
    if (n <= kInlineMembers) {
        Qubit m[kInlineMembers];
        std::size_t k = 0;
        for_each([&](Qubit q) { m[k++] = q; });
        return inline_from(m, n);
    }
    auto* h = static_cast<ListHead*>(::operator new(sizeof(ListHead) + n * sizeof(Qubit)));
    h->capacity = static_cast<std::uint32_t>(n);
    Qubit* out = reinterpret_cast<Qubit*>(h + 1);
    for_each([&](Qubit q) { *out++ = q; });
    release();
    set_block(h, static_cast<Qubit>(n), kListTag);
}

// The hot path of every rewriting rule on dense graphs: one pass of word XORs.
// Both are windows. The buffer's words outside the live window are zero, so when the
// operand falls inside the buffer the XOR needs no room made first: the window just
// becomes the span of what it now covers.
void NeighbourSet::xor_dense(const NeighbourSet& other, Qubit skip, Qubit extra) {
    std::size_t lo = other.base(), hi = other.base() + other.head()->len - 1;
    if (extra != kNone) {
        lo = std::min<std::size_t>(lo, extra / 64);
        hi = std::max<std::size_t>(hi, extra / 64);
    }
    const bool fresh = (head()->len == 0 || lo < base() || hi >= base() + head()->len) && widen(lo, hi);
    std::uint64_t* w = live();
    const std::size_t b = base();
    xor_words(w + (other.base() - b), other.live(), other.head()->len);
    if (skip != kNone) w[skip / 64 - b] ^= std::uint64_t{1} << (skip % 64);
    if (extra != kNone) w[extra / 64 - b] ^= std::uint64_t{1} << (extra % 64);
    head()->count = kStale;
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
    if (a.size() != b.size()) return false;
    if (!a.dense() && !b.dense()) return std::equal(a.sorted(), a.sorted() + a.sorted_size(), b.sorted());
    bool same = true;
    a.for_each([&](Qubit q) { same = same && b.contains(q); });
    return same;
}

}  // namespace korvane
