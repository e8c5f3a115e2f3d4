// How an engine state differs from the literal engine's. Compiled without the fuzzer's
// coverage instrumentation: on thousands of qubits this check is most of the run time, and
// its loops say nothing about the engine.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "literal_engine.hpp"
#include "simulator.hpp"

namespace korvane_test {

// Empty when `sim` holds exactly the literal engine's VOPs and rows (every member, in
// ascending order, and the degree), or those of `qubits` when given.
std::string literal_difference(const korvane::Simulator& sim, const LiteralEngine& lit,
                               const std::vector<std::size_t>* qubits = nullptr);

}  // namespace korvane_test
