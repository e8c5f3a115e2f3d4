# Cross build for arm64 with Debian's aarch64 toolchain (crossbuild-essential-arm64); the
# arm64 libraries (GoogleTest, libpython3.11) come from Debian's multiarch packages, and
# programs built here run under qemu-user, also while building (test discovery).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
