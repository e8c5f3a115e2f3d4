set(KORVANE_ZIG_TARGET x86_64-linux-gnu.2.28)
# Zig names CPU models its own way: x86-64-v2 (the portable baseline) is x86_64_v2. Its
# model of that CPU carries the tuning slow-unaligned-mem-32, which splits every 32-byte
# load and store of the AVX2 kernels in two (vinsertf128/vextractf128): W2 at L = 1,000
# ran 1.30x as long as g++'s build with it. Taken off here, as g++'s generic tuning has it.
# Loops aligned to 32 bytes, as g++ pads them: the row kernels' unrolled XOR runs then took
# another 4 % off W2 at L = 1,000.
set(KORVANE_ARCH_FLAGS "-mcpu=x86_64_v2-slow_unaligned_mem_32 -falign-loops=32" CACHE STRING "")
include("${CMAKE_CURRENT_LIST_DIR}/zig.cmake")
