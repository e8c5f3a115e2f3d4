// The default x86-64 build targets x86-64-v2, which every x86-64 CPU since 2009 runs, and
// builds its few hot vector kernels a second time for AVX2. GCC/Clang function
// multiversioning picks the version: the dynamic loader runs one resolver per kernel when
// the library loads, so a call costs what any call into the library costs and no kernel
// tests the CPU. A build whose flags already enable AVX2, or that is not for x86-64, has
// one version of each kernel and nothing to pick.
#pragma once

#if defined(__x86_64__) && !defined(__AVX2__)
#define KORVANE_MULTIVERSION 1
// The same source compiled for both targets, picked at load time.
#define KORVANE_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
// Code that uses AVX2 intrinsics; reached only from an AVX2 version.
#define KORVANE_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define KORVANE_MULTIVERSION 0
#define KORVANE_AVX2_CLONES
#define KORVANE_TARGET_AVX2
#endif

namespace korvane {

// Which versions of the kernels this process runs: "avx2" or "baseline". In a
// multiversioned build this is the choice the loader made for a function built for the
// same two targets.
const char* vector_kernels() noexcept;

}  // namespace korvane
