// The neighbours of one vertex. Iteration is always in ascending index order:
// the engine picks "the first neighbour" in several places and that must be the lowest.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane {

using Qubit = std::uint32_t;

class NeighbourSet {
public:
    NeighbourSet() = default;
    explicit NeighbourSet(std::size_t room) : words_((room + 63) / 64, 0) {}

    bool contains(std::size_t i) const noexcept {
        const std::size_t w = i / 64;
        return w < words_.size() && ((words_[w] >> (i % 64)) & 1u);
    }
    void insert(std::size_t i) noexcept { words_[i / 64] |= bit(i); }
    void erase(std::size_t i) noexcept { words_[i / 64] &= ~bit(i); }
    void toggle(std::size_t i) noexcept { words_[i / 64] ^= bit(i); }

    std::size_t size() const noexcept {
        std::size_t n = 0;
        for (std::uint64_t w : words_) n += static_cast<std::size_t>(std::popcount(w));
        return n;
    }
    bool empty() const noexcept {
        for (std::uint64_t w : words_)
            if (w) return false;
        return true;
    }

    template <class F>
    void for_each(F&& f) const {
        for (std::size_t wi = 0; wi < words_.size(); ++wi)
            for (std::uint64_t w = words_[wi]; w; w &= w - 1)
                f(static_cast<Qubit>(wi * 64 + static_cast<std::size_t>(std::countr_zero(w))));
    }

    std::vector<Qubit> members() const {
        std::vector<Qubit> out;
        for_each([&](Qubit q) { out.push_back(q); });
        return out;
    }

    // Symmetric difference with a list of distinct members.
    void toggle_each(const std::vector<Qubit>& others) noexcept {
        for (Qubit q : others) toggle(q);
    }

    friend bool operator==(const NeighbourSet&, const NeighbourSet&) = default;

private:
    static std::uint64_t bit(std::size_t i) noexcept { return std::uint64_t{1} << (i % 64); }
    std::vector<std::uint64_t> words_;
};

}  // namespace korvane
