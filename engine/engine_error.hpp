// The one failure type of the engine: a failed check with its fixed message.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace korvane {

class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail_index(std::size_t len, std::size_t index) {
    throw EngineError("index out of bounds: the len is " + std::to_string(len) +
                      " but the index is " + std::to_string(index));
}

[[noreturn]] inline void fail_equal_operands(std::size_t left, std::size_t right) {
    throw EngineError("assertion `left != right` failed: Same control and target not allowed\n  left: " +
                      std::to_string(left) + "\n right: " + std::to_string(right));
}

}  // namespace korvane
