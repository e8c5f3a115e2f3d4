// Replaces the global allocation functions of the executable whose one source file
// includes this header: once armed with k, the k-th allocation after that (counting from 0)
// throws std::bad_alloc, and in the persistent mode so does every later one until the
// scope ends, as when memory has really run out. Everything else is plain malloc and free.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace korvane_test::failing_allocator {

enum class Mode : bool {
    once,       // only the k-th allocation fails
    persistent  // the k-th and every later one fail
};

inline thread_local long countdown = -1;  // allocations left before the failing one; negative: disarmed
inline thread_local Mode mode = Mode::once;
inline thread_local std::size_t count = 0;  // allocations so far
inline thread_local std::size_t last_scope = 0;  // allocations in the last Armed scope
inline thread_local std::size_t refused = 0;  // allocations refused in the last Armed scope

inline void* allocate(std::size_t size) {
    if (countdown >= 0) {
        if (countdown == 0) {
            if (mode == Mode::once) countdown = -1;
            ++refused;
            throw std::bad_alloc();
        }
        --countdown;
    }
    ++count;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

// Arms the countdown for one scope (k < 0: not at all), and counts its allocations.
class Armed {
public:
    explicit Armed(long k, Mode m = Mode::once) : start_(count) {
        countdown = k;
        mode = m;
        refused = 0;
    }
    ~Armed() {
        countdown = -1;
        last_scope = count - start_;
    }
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;

private:
    std::size_t start_;
};

// f() with the k-th allocation failing (and in Mode::persistent every later one); the
// harness's own allocations stay outside.
template <class F>
decltype(auto) armed(long k, F&& f, Mode m = Mode::once) {
    Armed scope(k, m);
    return f();
}

}  // namespace korvane_test::failing_allocator

void* operator new(std::size_t size) { return korvane_test::failing_allocator::allocate(size); }
void* operator new[](std::size_t size) { return korvane_test::failing_allocator::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return korvane_test::failing_allocator::allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
