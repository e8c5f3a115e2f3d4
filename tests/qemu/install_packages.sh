#!/bin/sh
# The Debian packages that run_x86_64_v2.sh and run_arm64.sh need: qemu-user, the aarch64
# cross toolchain, and the arm64 libraries beside the amd64 ones (Multi-Arch: same).
set -eu
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $SUDO dpkg --add-architecture arm64
    $SUDO apt-get update || echo "apt-get update failed; using the package lists already present"
fi
eval "$("$(dirname "$0")/../../tools/debian_versions.sh")"
$SUDO apt-get install -y --no-install-recommends qemu-user crossbuild-essential-arm64 \
    "lib$DEBIAN_PYTHON-dev:arm64" libgtest-dev:arm64 libstdc++6:arm64 "$DEBIAN_PYTHON"
