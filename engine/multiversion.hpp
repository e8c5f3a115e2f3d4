// The default x86-64 build targets x86-64-v2, which every x86-64 CPU since 2009 runs, and
// compiles its few hot vector kernels a second time for AVX2. The CPU is tested once, as
// the library loads; a kernel then reads one flag per call (a row XOR, a pivot), never
// per word. A build whose flags already enable AVX2, or that is not for x86-64, has one
// version of each kernel and nothing to decide.
#pragma once

#if defined(__x86_64__) && !defined(__AVX2__)
#define KORVANE_MULTIVERSION 1
// Code that uses AVX2 instructions; reached only where cpu_has_avx2.
#define KORVANE_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define KORVANE_MULTIVERSION 0
#define KORVANE_TARGET_AVX2
#endif
// On a lambda given to with_avx2: its body is compiled there, for AVX2.
#define KORVANE_INLINE __attribute__((always_inline))

namespace korvane {

#if KORVANE_MULTIVERSION
// Whether this CPU runs AVX2 code (and the OS saves its registers). False until the
// library's initialisers have run, which only means the baseline kernels until then.
__attribute__((visibility("hidden"))) extern const bool cpu_has_avx2;
#else
inline constexpr bool cpu_has_avx2 = false;  // nothing to pick: the build's own flags decide
#endif

// Calls f(args...), f being a KORVANE_INLINE lambda, compiled for AVX2. Call it only where
// cpu_has_avx2.
template <class F, class... Args>
KORVANE_TARGET_AVX2 inline void with_avx2(const F& f, Args... args) {
    f(args...);
}

// Which kernels this process runs: "avx2" or "baseline".
const char* vector_kernels() noexcept;

}  // namespace korvane
