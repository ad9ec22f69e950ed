#!/usr/bin/env bash
# Installs, from Debian's own packages, whatever of the build and test dependencies is missing.
# Safe to run repeatedly: it calls apt-get only when a package is absent.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libglew-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
    libpng-dev libopenexr-dev libcli11-dev libmuparser-dev nlohmann-json3-dev
    clang libclang-rt-14-dev
    # The Windows build and its tests under Wine (scripts/build-windows.sh, which also fetches
    # GLEW's source package with apt-get source).
    g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
