#include "neighbour_set.hpp"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

std::unique_ptr<std::uint64_t[]> zero_words(std::size_t n) { return std::make_unique<std::uint64_t[]>(n); }

// Small rows are scanned; larger ones searched.
constexpr std::size_t kLinearScan = 16;

}  // namespace

NeighbourSet::NeighbourSet(const NeighbourSet& other)
    : list_(other.list_), count_(other.count_), nwords_(other.nwords_) {
    if (other.words_) {
        words_ = std::make_unique_for_overwrite<std::uint64_t[]>(nwords_);
        std::memcpy(words_.get(), other.words_.get(), sizeof(std::uint64_t) * nwords_);
    }
}

NeighbourSet& NeighbourSet::operator=(const NeighbourSet& other) {
    if (this != &other) {
        NeighbourSet copy(other);
        *this = std::move(copy);
    }
    return *this;
}

std::size_t NeighbourSet::find(std::size_t i) const noexcept {
    if (list_.size() <= kLinearScan) {
        for (std::size_t k = 0; k < list_.size(); ++k) {
            if (list_[k] == i) return k;
            if (list_[k] > i) break;
        }
        return kMissing;
    }
    const auto it = std::lower_bound(list_.begin(), list_.end(), i,
                                     [](Qubit m, std::size_t v) { return m < v; });
    return it != list_.end() && *it == i ? static_cast<std::size_t>(it - list_.begin()) : kMissing;
}

void NeighbourSet::insert(std::size_t i) {
    if (words_) {
        std::uint64_t& w = words_[i / 64];
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        count_ += (w & bit) == 0;
        w |= bit;
        return;
    }
    const auto it = std::lower_bound(list_.begin(), list_.end(), static_cast<Qubit>(i));
    if (it != list_.end() && *it == i) return;
    list_.insert(it, static_cast<Qubit>(i));
    ++count_;
    rebalance();
}

void NeighbourSet::erase(std::size_t i) {
    if (words_) {
        std::uint64_t& w = words_[i / 64];
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        count_ -= (w & bit) != 0;
        w &= ~bit;
        rebalance();
        return;
    }
    const std::size_t k = find(i);
    if (k == kMissing) return;
    list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(k));
    --count_;
}

void NeighbourSet::toggle(std::size_t i) {
    if (contains(i))
        erase(i);
    else
        insert(i);
}

void NeighbourSet::clear() noexcept {
    list_.clear();
    words_.reset();
    count_ = 0;
}

Qubit NeighbourSet::first_except(std::size_t avoid) const noexcept {
    if (words_) {
        for (std::size_t wi = 0; wi < nwords_; ++wi) {
            std::uint64_t w = words_[wi];
            if (avoid / 64 == wi) w &= ~(std::uint64_t{1} << (avoid % 64));
            if (w) return static_cast<Qubit>(wi * 64 + static_cast<std::size_t>(std::countr_zero(w)));
        }
        return kNone;
    }
    for (Qubit q : list_)
        if (q != avoid) return q;
    return kNone;
}

std::vector<Qubit> NeighbourSet::members() const {
    if (!words_) return list_;
    std::vector<Qubit> out;
    out.reserve(count_);
    for_each([&](Qubit q) { out.push_back(q); });
    return out;
}

void NeighbourSet::toggle_set(const NeighbourSet& other, Qubit skip) {
    if (other.words_) {
        if (!words_) make_dense();
        std::uint64_t* w = words_.get();
        const std::uint64_t* o = other.words_.get();
        std::size_t count = 0;
        for (std::size_t k = 0; k < nwords_; ++k) {
            w[k] ^= o[k];
            count += static_cast<std::size_t>(std::popcount(w[k]));
        }
        count_ = static_cast<std::uint32_t>(count);
        if (skip != kNone) toggle(skip);
        rebalance();
        return;
    }
    if (words_) {
        for (Qubit q : other.list_) {
            if (q == skip) continue;
            std::uint64_t& word = words_[q / 64];
            const std::uint64_t bit = std::uint64_t{1} << (q % 64);
            if (word & bit)
                --count_;
            else
                ++count_;
            word ^= bit;
        }
        rebalance();
        return;
    }
    // Both sorted: merge into the symmetric difference.
    static thread_local std::vector<Qubit> merged;
    merged.clear();
    merged.reserve(list_.size() + other.list_.size());
    auto a = list_.begin();
    const auto a_end = list_.end();
    for (Qubit q : other.list_) {
        if (q == skip) continue;
        while (a != a_end && *a < q) merged.push_back(*a++);
        if (a != a_end && *a == q)
            ++a;
        else
            merged.push_back(q);
    }
    merged.insert(merged.end(), a, a_end);
    list_.assign(merged.begin(), merged.end());
    count_ = static_cast<std::uint32_t>(list_.size());
    rebalance();
}

void NeighbourSet::make_dense() {
    auto words = zero_words(nwords_);
    for (Qubit q : list_) words[q / 64] |= std::uint64_t{1} << (q % 64);
    words_ = std::move(words);
    std::vector<Qubit>().swap(list_);
}

void NeighbourSet::make_sparse() {
    std::vector<Qubit> list;
    list.reserve(count_);
    for_each([&](Qubit q) { list.push_back(q); });
    list_ = std::move(list);
    words_.reset();
}

void NeighbourSet::switch_form() {
    if (words_)
        make_sparse();
    else
        make_dense();
}

bool operator==(const NeighbourSet& a, const NeighbourSet& b) {
    if (a.count_ != b.count_) return false;
    if (a.words_ && b.words_) return std::equal(a.words_.get(), a.words_.get() + a.nwords_, b.words_.get());
    if (!a.words_ && !b.words_) return a.list_ == b.list_;
    const NeighbourSet& sparse = a.words_ ? b : a;
    const NeighbourSet& dense = a.words_ ? a : b;
    for (Qubit q : sparse.list_)
        if (!dense.contains(q)) return false;
    return true;
}

}  // namespace korvane
