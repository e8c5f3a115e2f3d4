// What it takes to put the rows and VOPs back when an operation on windowed rows cannot
// complete (an allocation fails halfway). Row XORs inside a window and single-member
// toggles are their own inverse and are recorded as such; any other edit saves the row
// first. Saved rows and operands sit in pools whose buffers outlive the operation, so
// that in steady state logging allocates little.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "clifford_tables.hpp"
#include "neighbour_set.hpp"

namespace korvane {

class UndoLog {
public:
    enum class Kind : std::uint8_t { xor_row, toggle, restore };
    struct Entry {
        Qubit row;
        Kind kind;
        union {  // by kind
            Qubit skip;      // xor_row: the member the XOR left out, as given
            Qubit member;    // toggle: the member toggled
            Qubit saved_at;  // restore: where the row's original is kept (saved_)
        };
        Qubit extra = 0;                        // xor_row: the member toggled as well
        const NeighbourSet* operand = nullptr;  // xor_row; unchanged until the operation ends
    };

    UndoLog() = default;
    // Not part of the state: a copy starts with an empty log.
    UndoLog(const UndoLog&) noexcept {}
    UndoLog& operator=(const UndoLog&) noexcept { return *this; }

    bool active() const noexcept { return depth_ != 0; }

    void record_xor(std::size_t row, const NeighbourSet& operand, Qubit skip, Qubit extra) {
        entries_.push_back(
            {.row = static_cast<Qubit>(row), .kind = Kind::xor_row, .skip = skip, .extra = extra, .operand = &operand});
    }
    // Room for one more entry, taken before an edit that is recorded once it succeeded.
    void reserve() {
        if (entries_.size() == entries_.capacity()) entries_.reserve(2 * entries_.size() + 16);
    }
    void record_toggle(std::size_t row, std::size_t member) noexcept {
        entries_.push_back({.row = static_cast<Qubit>(row), .kind = Kind::toggle, .member = static_cast<Qubit>(member)});
    }
    void record_vop(std::size_t q, Vop old) { vops_.emplace_back(static_cast<Qubit>(q), old); }
    // Keeps `row` itself, buffers and all, and leaves a copy in its place: for an edit that
    // may move or reshape the row.
    void save(std::size_t q, NeighbourSet& row);
    // A set that stays unchanged until the operation ends, as recorded XORs refer to it.
    NeighbourSet& operand();

    void begin() noexcept { ++depth_; }
    // Forgets the log once the outermost operation is done.
    void commit() noexcept;
    // Undoes every recorded edit, newest first, and forgets the log.
    void roll_back(std::vector<Vop>& vop, std::vector<NeighbourSet>& rows) noexcept;

private:
    NeighbourSet& slot();
    void forget() noexcept;

    std::vector<Entry> entries_;
    std::vector<std::pair<Qubit, Vop>> vops_;
    std::vector<NeighbourSet> saved_;
    std::size_t saved_used_ = 0;
    std::deque<NeighbourSet> operands_;  // a deque, so recorded addresses stay valid
    std::size_t operands_used_ = 0;
    unsigned depth_ = 0;
};

}  // namespace korvane
