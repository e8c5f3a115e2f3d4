#include "multiversion.hpp"

#if KORVANE_MULTIVERSION
#include <cpuid.h>
#endif

namespace korvane {

#if KORVANE_MULTIVERSION
namespace {
// Asked of the CPU itself rather than through __builtin_cpu_supports, whose data lives in
// the compiler's runtime library (libgcc, compiler-rt), which not every toolchain links
// into a shared module. AVX2 code needs the OS to save the YMM registers too (OSXSAVE,
// and XCR0's SSE and AVX bits).
bool runs_avx2() noexcept {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    if (!(c & bit_OSXSAVE) || !(c & bit_AVX)) return false;
    unsigned xcr0 = 0, xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    if ((xcr0 & 0x6) != 0x6) return false;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b & bit_AVX2) && (b & bit_BMI) && (b & bit_BMI2);
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
