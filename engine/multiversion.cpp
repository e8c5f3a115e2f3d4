#include "multiversion.hpp"

namespace korvane {

#if KORVANE_MULTIVERSION
namespace {
bool runs_avx2() noexcept {
    __builtin_cpu_init();  // may run before the runtime's own initialiser has
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}
}  // namespace

const bool cpu_has_avx2 = runs_avx2();
#endif

const char* vector_kernels() noexcept {
#if KORVANE_MULTIVERSION
    return cpu_has_avx2 ? "avx2" : "baseline";
#elif defined(__AVX2__)
    return "avx2";
#else
    return "baseline";
#endif
}

}  // namespace korvane
