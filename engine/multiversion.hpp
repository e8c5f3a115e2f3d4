// The default x86-64 build targets x86-64-v2, which every x86-64 CPU since 2009 runs, and
// compiles its few hot vector kernels a second time for AVX2 with BMI1 and BMI2, which
// come with AVX2 in practice: the kernels walk the members of windows a bit at a time, and
// those steps are single instructions there (tzcnt, blsr). The CPU is tested once, as the
// library loads; a kernel then reads one flag per call (a rule's walk over its rows, a
// pivot), never per word. A build whose flags already enable AVX2, or that is not for
// x86-64, has one version of each kernel and nothing to decide.
#pragma once

#include <cstddef>
#include <type_traits>

#if defined(__x86_64__) && !defined(__AVX2__)
#define KORVANE_MULTIVERSION 1
// Code generated for AVX2 and BMI, whatever the build's flags; run only where cpu_has_avx2.
#define KORVANE_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2")))
#else
#define KORVANE_MULTIVERSION 0
#define KORVANE_TARGET_AVX2
#endif
// On a kernel's lambda and the helpers it calls: inlined into each version, so that their
// code is generated for that version's target.
#define KORVANE_INLINE __attribute__((always_inline))

namespace korvane {

#if KORVANE_MULTIVERSION
// Whether this CPU runs AVX2 and BMI1/BMI2 code (and the OS saves the AVX registers).
// False until the library's initialisers have run, which only means the baseline kernels
// until then.
__attribute__((visibility("hidden"))) extern const bool cpu_has_avx2;
#endif

// The vector width a kernel version works in, in bytes: 32-byte vectors only where AVX is
// compiled in (without it the compiler splits them through the stack), else 16 bytes, which
// x86-64 (SSE2) and arm64 (NEON) always have.
template <std::size_t Bytes>
using VectorWidth = std::integral_constant<std::size_t, Bytes>;
#if defined(__AVX2__)
using BuildVectors = VectorWidth<32>;
#else
using BuildVectors = VectorWidth<16>;
#endif

#if KORVANE_MULTIVERSION
template <class Kernel, class... Args>
KORVANE_TARGET_AVX2 void run_avx2(const Kernel& kernel, Args... args) {
    kernel(VectorWidth<32>{}, args...);
}
#endif

// Runs kernel(width, args...), kernel being a KORVANE_INLINE lambda and width a
// VectorWidth: its AVX2 version where the CPU has AVX2, else the one the build's flags give.
template <class Kernel, class... Args>
KORVANE_INLINE inline void run_vector_kernel(const Kernel& kernel, Args... args) {
#if KORVANE_MULTIVERSION
    if (cpu_has_avx2) return run_avx2(kernel, args...);
#endif
    kernel(BuildVectors{}, args...);
}

// Which kernels this process runs: "avx2" or "baseline".
const char* vector_kernels() noexcept;

}  // namespace korvane
