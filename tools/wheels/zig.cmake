# Cross build with Zig's clang for a glibc-versioned target (the manylinux baseline), set
# by the per-target files beside this one as KORVANE_ZIG_TARGET. Zig brings the glibc
# stubs of that version and its own libc++, which it links statically: the module then
# needs nothing from the user's machine but glibc 2.28 and libm.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${KORVANE_ZIG_TARGET}")
# zig is found on PATH (tools/wheels/build.sh puts the pinned ziglang there); the
# wrappers hand the target on, since CMake's compiler checks call the compiler bare.
set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-cc")
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-c++")
# Code as fast as g++'s -O3 build (bench/compare_builds.py): zig keeps frame pointers and
# lowers -O3 to clang's -O2 on its own, so both are asked of clang directly.
set(CMAKE_C_FLAGS_INIT "-target ${KORVANE_ZIG_TARGET} -fomit-frame-pointer")
set(CMAKE_CXX_FLAGS_INIT "-target ${KORVANE_ZIG_TARGET} -fomit-frame-pointer")
set(CMAKE_C_FLAGS_RELEASE_INIT "-O3 -DNDEBUG -Xclang -O3")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O3 -DNDEBUG -Xclang -O3")
set(CMAKE_AR "${CMAKE_CURRENT_LIST_DIR}/zig-ar")
set(CMAKE_RANLIB "${CMAKE_CURRENT_LIST_DIR}/zig-ranlib")
# Nothing of the build machine's own libraries or headers may leak into the module.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/module.map")
