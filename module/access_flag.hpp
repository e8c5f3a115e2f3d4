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
        std::ptrdiff_t current = state_.load(std::memory_order_relaxed);
        for (;;) {
            const bool refused = access == Access::exclusive ? current != 0 : current == -1;
            if (refused) {
                PyErr_SetString(PyExc_RuntimeError, access == Access::exclusive ? "Already borrowed" : "Already mutably borrowed");
                return false;
            }
            if (try_set(current, access == Access::exclusive ? -1 : current + 1)) return true;
        }
    }

    void release(Access access) noexcept {
        if (access == Access::exclusive) {
            state_.store(0, std::memory_order_release);
            return;
        }
#ifdef Py_GIL_DISABLED
        state_.fetch_sub(1, std::memory_order_release);
#else
        state_.store(state_.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
#endif
    }

private:
    // Every caller holds the interpreter lock while it touches the flag, and handing that
    // lock over orders memory between threads, so a plain write is enough; a build without
    // the lock needs the compare-and-swap. Either way a flag that is taken is never waited on.
    bool try_set(std::ptrdiff_t& current, std::ptrdiff_t next) noexcept {
#ifdef Py_GIL_DISABLED
        return state_.compare_exchange_weak(current, next, std::memory_order_acquire);
#else
        static_cast<void>(current);
        state_.store(next, std::memory_order_relaxed);
        return true;
#endif
    }

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
