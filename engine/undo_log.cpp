#include "undo_log.hpp"

#include <utility>

namespace korvane {

namespace {

// Pooled buffers larger than this are given back after the operation: one huge row must
// not stay pinned in the pool for the life of the simulator.
constexpr std::size_t kPooledBytes = 64 * 1024;
constexpr std::size_t kPooledEntries = 64 * 1024;

}  // namespace

NeighbourSet& UndoLog::slot() {
    if (saved_used_ == saved_.size()) saved_.emplace_back();
    return saved_[saved_used_];
}

void UndoLog::save(std::size_t q, NeighbourSet& row) {
    // Copy, then record: a copy that fails leaves the slot unused and the row untouched.
    // The original goes into the log, so that undoing restores its buffers and their room.
    NeighbourSet& s = slot();
    s = row;
    entries_.push_back({.row = static_cast<Qubit>(q), .kind = Kind::restore, .saved_at = static_cast<Qubit>(saved_used_)});
    ++saved_used_;
    std::swap(s, row);
}

NeighbourSet& UndoLog::operand() {
    if (operands_used_ == operands_.size()) operands_.emplace_back();
    return operands_[operands_used_++];
}

void UndoLog::commit() noexcept {
    if (--depth_ == 0) forget();
}

void UndoLog::roll_back(std::vector<Vop>& vop, std::vector<NeighbourSet>& rows) noexcept {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        NeighbourSet& row = rows[it->row];
        switch (it->kind) {
            case Kind::xor_row: row.xor_in_window(*it->operand, it->skip, it->extra); break;
            case Kind::toggle: row.toggle_within_room(it->member); break;
            case Kind::restore: std::swap(row, saved_[it->saved_at]); break;
        }
    }
    for (auto it = vops_.rbegin(); it != vops_.rend(); ++it) vop[it->first] = it->second;
    depth_ = 0;
    forget();
}

void UndoLog::forget() noexcept {
    for (std::size_t k = 0; k < saved_used_; ++k)
        if (saved_[k].heap_bytes() > kPooledBytes) saved_[k].clear();
    for (std::size_t k = 0; k < operands_used_; ++k)
        if (operands_[k].heap_bytes() > kPooledBytes) operands_[k].clear();
    saved_used_ = operands_used_ = 0;
    if (entries_.capacity() > kPooledEntries) std::vector<Entry>().swap(entries_);
    if (vops_.capacity() > kPooledEntries) std::vector<std::pair<Qubit, Vop>>().swap(vops_);
    entries_.clear();
    vops_.clear();
}

}  // namespace korvane
