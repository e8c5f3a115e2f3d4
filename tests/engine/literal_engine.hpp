// The graph-state rules written out literally, for differential testing of the engine: one
// adjacency bit per ordered pair (n bits per row, nothing ever allocated or resized by an
// operation), neighbours walked in ascending order, every rewrite done pair by pair as the
// rule states it, and the preview measuring a full copy. Nothing is shared with the engine
// but the RandomSource interface: the group tables come from clifford_reference's
// matrices, and the decomposition and controlled-Z tables are transcribed here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "random_source.hpp"

namespace korvane_test {

// A failed check, with the engine's fixed message.
class LiteralFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct LiteralOutcome {
    std::size_t qubit;
    std::uint8_t result;
    std::uint8_t axis;
};

class LiteralEngine {
public:
    explicit LiteralEngine(std::size_t n);

    std::size_t size() const { return n_; }
    std::uint8_t vop(std::size_t q) const { return vop_[q]; }
    bool has_edge(std::size_t a, std::size_t b) const { return (row(a)[b / 64] >> (b % 64)) & 1u; }
    std::size_t degree(std::size_t a) const;
    const std::uint64_t* row(std::size_t a) const { return bits_.data() + a * words_; }

    // Left-multiplies `gate` onto the VOP of q: h 10, s 6, sdag 5, x 1, y 2, z 3.
    void apply_gate(std::size_t q, std::uint8_t gate);
    // The C++ API's direct edits; edges need two distinct ends. how: 0 add, 1 remove, 2 toggle.
    void set_vop(std::size_t q, std::uint8_t v);
    void edit_edge(int how, std::size_t a, std::size_t b);
    void local_complement(std::size_t v);
    void remove_vop(std::size_t node, std::size_t avoid);
    void cz(std::size_t a, std::size_t b);
    // gate: 0 cx, 1 cy, 2 xcx, 3 xcy, 4 xcz, 5 ycx, 6 ycy, 7 ycz; any other is refused first.
    void two_qubit(int gate, std::size_t control, std::size_t target);
    std::uint8_t measure(std::size_t node, std::uint8_t axis, korvane::RandomSource& rng);
    std::vector<LiteralOutcome> peek_measure_set(const std::vector<std::size_t>& qubits,
                                                 korvane::RandomSource& rng) const;
    // Breadth-first order, neighbours ascending.
    std::vector<std::size_t> entangled_group(std::size_t q) const;

    // Counts each controlled-Z table entry looked up, in counters[1152] by (edge, va, vb).
    void count_table_entries(std::uint8_t* counters) { entry_counters_ = counters; }
    // The qubits whose VOP or row was written since clear_touched(), each once.
    const std::vector<std::size_t>& touched() const { return touched_list_; }
    void clear_touched();

private:
    void check(std::size_t q) const;
    void check_distinct(std::size_t a, std::size_t b) const;
    std::vector<std::size_t> neighbours(std::size_t a) const;  // ascending
    void set_edge(std::size_t a, std::size_t b, bool on);
    void touch(std::size_t q) {
        if (!touched_[q]) touched_list_.push_back(q);
        touched_[q] = 1;
    }
    void toggle_edge(std::size_t a, std::size_t b) {
        touch(a);
        touch(b);
        bits_[a * words_ + b / 64] ^= std::uint64_t{1} << (b % 64);
        bits_[b * words_ + a / 64] ^= std::uint64_t{1} << (a % 64);
    }
    bool has_outside_neighbour(std::size_t a, std::size_t b) const;
    void right(std::size_t q, int factor);

    std::size_t n_;
    std::size_t words_;
    std::vector<std::uint8_t> vop_;
    std::vector<std::uint64_t> bits_;  // row a: words a*words_ .. (a+1)*words_-1
    std::uint8_t* entry_counters_ = nullptr;
    std::vector<std::uint8_t> touched_;
    std::vector<std::size_t> touched_list_;
};

}  // namespace korvane_test
