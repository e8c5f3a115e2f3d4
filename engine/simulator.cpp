#include "simulator.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

#include "engine_error.hpp"

namespace korvane {

namespace {

constexpr std::size_t kMaxBytes = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());

}  // namespace

Simulator::Simulator(std::size_t qubit_count, RowLayout layout) {
    if (qubit_count > kMaxBytes / sizeof(Vop) || qubit_count > kMaxBytes / sizeof(NeighbourSet))
        throw EngineError("capacity overflow");
    // Members are stored as 32-bit indices; a state this large could not be held anyway.
    if (qubit_count > NeighbourSet::kMemberLimit) throw std::bad_alloc();
    vop_.assign(qubit_count, VOP_H);
    adjacent_.resize(qubit_count);
    if (qubit_count != 0 &&
        (layout == RowLayout::full || (layout == RowLayout::automatic && qubit_count <= kFullRowQubits))) {
        // A row XOR runs in whole quads of words into the row's spare words, so the row
        // itself needs no padding.
        full_row_words_ = (qubit_count + 63) / 64;
        for (NeighbourSet& row : adjacent_) row.span_words(full_row_words_);
        // Three operands of whole quads of words, zero past the row's words, and room to
        // start them on a 32-byte boundary (see full_row_operands).
        scratch_.words.resize(3 * quad_words(full_row_words_) + 3);
    }
}

void Simulator::fail_index_of(std::size_t q) const { fail_index(vop_.size(), q); }

// The edge primitives refuse a self-loop with the message controlled-Z gives for equal
// operands: the graph has none.
template <class Edit>
void Simulator::edit_edge(std::size_t a, std::size_t b, Edit edit) {
    if (a == b) fail_equal_operands(a, b);
    check_index(a);
    check_index(b);
    Atomic atomic(*this);
    edit(a, b);
    edit(b, a);
}

void Simulator::add_edge(std::size_t a, std::size_t b) {
    edit_edge(a, b, [this](std::size_t p, std::size_t q) {
        if (!adjacent_[p].contains(q)) toggle_bit(p, q);
    });
}

void Simulator::remove_edge(std::size_t a, std::size_t b) {
    edit_edge(a, b, [this](std::size_t p, std::size_t q) { erase_bit(p, q); });
}

void Simulator::toggle_edge(std::size_t a, std::size_t b) {
    edit_edge(a, b, [this](std::size_t p, std::size_t q) { toggle_bit(p, q); });
}

void Simulator::set_vop(std::size_t q, Vop v) {
    check_index(q);
    if (v >= VOP_COUNT) throw EngineError("vop out of range: " + std::to_string(v) + " is not below 24");
    vop_[q] = v;
}

void Simulator::apply_gate(std::size_t q, Vop gate) {
    check_index(q);
    vop_[q] = MULT_TABLE[gate][vop_[q]];
}

}  // namespace korvane
