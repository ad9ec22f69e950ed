#!/usr/bin/env bash
# Installs, from Debian's own packages, whatever is missing of what a job needs:
#
#   scripts/install-deps.sh run     building glfx and the main job (make run)
#   scripts/install-deps.sh [test]  that, and the tests, the Windows build and the sanitizer
#                                   suite (make test); the default
#
# Safe to run repeatedly: it calls apt-get only when a package is absent.
set -euo pipefail

job="${1:-test}"

# Building the plug-in and the glfx command, and the main job, which renders through EGL on Mesa.
run_packages=(
    cmake make g++ pkg-config
    libglew-dev libegl-dev libgl-dev libpng-dev libopenexr-dev libcli11-dev
    libmuparser-dev nlohmann-json3-dev
    libegl-mesa0 libgl1-mesa-dri
)

# Besides those, for make test.
test_packages=(
    libgtest-dev libgmock-dev
    # The benchmarks (scripts/bench.sh).
    libbenchmark-dev
    # The sanitizer suite and the fuzzers (scripts/test-sanitized.sh).
    clang libclang-rt-14-dev
    # The Windows build and its tests under Wine (scripts/build-windows.sh, which also fetches
    # GLEW's source package with apt-get source).
    g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth dpkg-dev
)

case "$job" in
run) packages=("${run_packages[@]}") ;;
test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
*)
    echo "install-deps: unknown job '$job'; say run or test" >&2
    exit 2
    ;;
esac

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
