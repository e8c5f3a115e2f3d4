// Replaces the global allocation functions of the executable whose one source file
// includes this header: once armed with k, the k-th allocation after that (counting from 0)
// throws std::bad_alloc. Everything else is plain malloc and free.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace korvane_test::failing_allocator {

inline thread_local long countdown = -1;  // allocations left before the failing one; negative: disarmed
inline thread_local std::size_t count = 0;  // allocations so far
inline thread_local std::size_t last_scope = 0;  // allocations in the last Armed scope

inline void* allocate(std::size_t size) {
    if (countdown >= 0 && countdown-- == 0) throw std::bad_alloc();
    ++count;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

// Arms the countdown for one scope (k < 0: not at all), and counts its allocations.
class Armed {
public:
    explicit Armed(long k) : start_(count) { countdown = k; }
    ~Armed() {
        countdown = -1;
        last_scope = count - start_;
    }
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;

private:
    std::size_t start_;
};

// f() with the k-th allocation failing; the harness's own allocations stay outside.
template <class F>
decltype(auto) armed(long k, F&& f) {
    Armed scope(k);
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
