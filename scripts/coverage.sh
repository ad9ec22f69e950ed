#!/usr/bin/env bash
# Line and branch coverage of the product code (plugin/, platform/, hostsim/, cli/) by the normal
# suite: builds with -DGLFX_COVERAGE=ON in a folder of its own, runs CTest and prints gcovr's figures.
#
#   scripts/coverage.sh [BUILD_DIR] [-- CTEST_ARGS...]     default: build-cov
#
# gcovr (Debian's package) reads the counts. Branches the compiler adds for exceptions and for code
# it proved unreachable are left out; they say nothing about the tests. JOBS: parallel jobs.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-cov"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build="$(realpath -m "$1")"; shift; fi
[ "${1:-}" = "--" ] && shift
jobs="${JOBS:-$(nproc)}"

command -v gcovr >/dev/null || { echo "coverage: gcovr is missing; apt-get install gcovr" >&2; exit 1; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# -O0 keeps the counts on the lines and branches as written.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DGLFX_WERROR=ON -DGLFX_COVERAGE=ON \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"

find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$jobs" "$@" || echo "coverage: some tests failed; the figures count them as run" >&2

filters=()
for dir in plugin platform hostsim cli; do filters+=(--filter "$root/$dir/"); done
gcovr --root "$root" "${filters[@]}" --exclude-throw-branches --exclude-unreachable-branches \
    --print-summary --txt "$build/coverage.txt" "$build"
echo "per file: $build/coverage.txt"
