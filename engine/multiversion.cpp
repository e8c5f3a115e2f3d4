#include "multiversion.hpp"

namespace korvane {

#if KORVANE_MULTIVERSION
namespace {
__attribute__((target("default"))) const char* chosen() noexcept { return "baseline"; }
__attribute__((target("avx2"))) const char* chosen() noexcept { return "avx2"; }
}  // namespace

const char* vector_kernels() noexcept { return chosen(); }
#elif defined(__AVX2__)
const char* vector_kernels() noexcept { return "avx2"; }
#else
const char* vector_kernels() noexcept { return "baseline"; }
#endif

}  // namespace korvane
