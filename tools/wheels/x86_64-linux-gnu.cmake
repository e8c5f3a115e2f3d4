set(KORVANE_ZIG_TARGET x86_64-linux-gnu.2.28)
# Zig names CPU models its own way: x86-64-v2 (the portable baseline) is x86_64_v2.
set(KORVANE_ARCH_FLAGS "-mcpu=x86_64_v2" CACHE STRING "")
include("${CMAKE_CURRENT_LIST_DIR}/zig.cmake")
