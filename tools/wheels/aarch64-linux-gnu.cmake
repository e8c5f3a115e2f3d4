set(KORVANE_ZIG_TARGET aarch64-linux-gnu.2.28)
include("${CMAKE_CURRENT_LIST_DIR}/zig.cmake")
