// Per-object guard against a second call arriving while Python code runs inside a first
// one (a user's __index__ during conversion). It never waits: a taken flag is an error.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstddef>

namespace korvane::py {

enum class Access : unsigned char { exclusive, shared };

// 0 free, n > 0 shared holders, -1 exclusive.
class AccessFlag {
public:
    AccessFlag() noexcept = default;
    AccessFlag(const AccessFlag&) = delete;
    AccessFlag& operator=(const AccessFlag&) = delete;

    // Sets RuntimeError and returns false when refused.
    bool acquire(Access access) noexcept {
        if (access == Access::exclusive) {
            std::ptrdiff_t expected = 0;
            if (state_.compare_exchange_strong(expected, -1, std::memory_order_acquire)) return true;
            PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
            return false;
        }
        std::ptrdiff_t current = state_.load(std::memory_order_relaxed);
        for (;;) {
            if (current == -1) {
                PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                return false;
            }
            if (state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire)) return true;
        }
    }

    void release(Access access) noexcept {
        if (access == Access::exclusive)
            state_.store(0, std::memory_order_release);
        else
            state_.fetch_sub(1, std::memory_order_release);
    }

private:
    std::atomic<std::ptrdiff_t> state_{0};
};

// Holds one access for a scope, so every exit path gives it back.
class Borrow {
public:
    Borrow(AccessFlag& flag, Access access) noexcept
        : flag_(flag), access_(access), held_(flag.acquire(access)) {}
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    ~Borrow() {
        if (held_) flag_.release(access_);
    }
    bool held() const noexcept { return held_; }

private:
    AccessFlag& flag_;
    Access access_;
    bool held_;
};

}  // namespace korvane::py
