#!/usr/bin/env bash
# Builds and runs the benchmarks and writes their figures as Markdown tables, with the machine
# they came from, to docs/benchmarks.md (or OUTPUT).
#
#   scripts/bench.sh [--baseline BUILD_DIR] [OUTPUT]
#
# --baseline: a build folder of an earlier tree, built with this tree's bench/ sources and
# -DGLFX_BUILD_BENCH=ON; its transfer, frame and plug-in memory figures are run in the same session
# and written beside the current ones as "before", and its glfx is the "one command per frame"
# baseline of scripts/bench-cli.sh. BENCH_BUILD sets the build folder (default build/bench).
# Ratios within one binary's run are what to compare; absolute times move with the machine's load.
# The command-line comparison installs ffmpeg and ImageMagick when missing; SKIP_CLI=1 leaves it
# out.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
baseline=""
if [ "${1:-}" = "--baseline" ]; then
    baseline="$(realpath "$2")"
    shift 2
fi
out="$(realpath -m "${1:-$root/docs/benchmarks.md}")"
build="$(realpath -m "${BENCH_BUILD:-$root/build/bench}")"
jobs="${JOBS:-$(nproc)}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLFX_WERROR=ON \
    -DGLFX_BUILD_BENCH=ON -DGLFX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target transfer_bench frame_bench load_bench memory_bench glfx

# The Markdown rows a benchmark prints after its own report.
tables() { grep '^|' || true; }

run() { # NAME COMMAND...
    echo "bench: $1" >&2
    "${@:2}" | tables
}

transfers="$(run transfers "$build/bench/transfer_bench" --benchmark_min_time=0.3)"
frames="$(run frames "$build/bench/frame_bench")"
load="$(run load "$build/bench/load_bench")"
memory="$(run memory "$build/bench/memory_bench")"
if [ "${SKIP_CLI:-0}" != 1 ]; then
    echo "bench: the glfx command against ffmpeg and ImageMagick" >&2
    cliBaseline=()
    [ -n "$baseline" ] && [ -x "$baseline/cli/glfx" ] && cliBaseline=(--baseline "$baseline/cli/glfx")
    cli="$("$root/scripts/bench-cli.sh" "${cliBaseline[@]}" "$build/cli/glfx")"
fi
if [ -n "$baseline" ] && [ -x "$baseline/bench/memory_bench" ]; then
    memoryBefore="$(run "memory (baseline)" "$baseline/bench/memory_bench")"
fi
if [ -n "$baseline" ]; then
    transfersBefore="$(run "transfers (baseline)" "$baseline/bench/transfer_bench" \
        --benchmark_min_time=0.3)"
    framesBefore="$(run "frames (baseline)" "$baseline/bench/frame_bench")"
fi

cpu="$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)"
{
    echo "# Benchmarks"
    echo
    echo "Written by \`scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), tree" \
         "$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)."
    echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB;" \
         "GL through Mesa's software rasteriser (renderer below). Each figure is the fastest of" \
         "several repetitions; compare ratios, which come from one run of one binary."
    echo
    echo "## Pixel transfers against memcpy of the bytes they write"
    echo
    echo "Share = the transfer's rate over memcpy's on the bytes it writes (target 0.8 for the"
    echo "converting ones). Uploads write 16-byte float pixels (4 for raw 8-bit), downloads the host's"
    echo "pixels. The render path no longer stages 8-bit, raw or 32-bit layers at all where the driver"
    echo "allows (GL reads the host's rows), and downloads strip by strip from the cache."
    echo
    echo "The 8- and 16-bit downloads cannot reach 0.8: they read a float staging pixel (16 bytes)"
    echo "for every 4 or 8 bytes they write, five or three times the memory traffic of a memcpy of"
    echo "their output, so at memcpy's bandwidth they top out near 0.2 and 0.67; the last row is the"
    echo "time just reading the staging frame takes. In a frame they read each strip from the cache"
    echo "right after GL wrote it, which the frame figures below include."
    echo
    echo "$transfers"
    if [ -n "$baseline" ]; then
        echo
        echo "Before (the baseline build in \`$baseline\`):"
        echo
        echo "$transfersBefore"
    fi
    echo
    echo "## A 1920x1080 frame through EntryPointFunc against bare GL"
    echo
    echo "The plug-in's time is what it spends inside EntryPointFunc (smart pre-render and render);"
    echo "the baseline does the same GL work on a context that stays current. Target: at most 1.10."
    echo
    echo "$frames"
    if [ -n "$baseline" ]; then
        echo
        echo "Before (the baseline build in \`$baseline\`):"
        echo
        echo "$framesBefore"
    fi
    echo
    echo "## Load"
    echo
    echo "$load"
    echo
    echo "## What the plug-in holds"
    echo
    echo "\`build/bench/memory_bench\` (a plain program): one instance of the built-in effect after a"
    echo "1920x1080 frame at 8 and at 32 bits, and 16 instances after one 8-bit frame each. Staging and"
    echo "result buffers come from the instance's record (allocated, and resident by mincore); the GL"
    echo "textures and driver are the rest of the frame's growth of the resident size."
    echo
    echo "$memory"
    if [ -n "${memoryBefore:-}" ]; then
        echo
        echo "Before (the baseline build in \`$baseline\`):"
        echo
        echo "$memoryBefore"
    fi
    if [ -n "${cli:-}" ]; then
        echo
        echo "## The glfx command against ffmpeg and ImageMagick"
        echo
        echo "\`scripts/bench-cli.sh\`: the three tools in turn on the same PNG, medians; CPU is user +"
        echo "system time of every thread, peak the largest resident size."
        echo
        echo "$cli"
        echo
        echo "PNG library: Debian's libspng 0.7.3 was measured against libpng 1.6.39 once, with a"
        echo "throwaway program timing each on the same pictures in turn (best of 9, 2026-12-07):"
        echo "decoding the 1080p test card 35 ms against libpng's 50, the grainy picture 92 against"
        echo "87; encoding the corner-pinned results with the up filter at zlib level 1, 76 ms against"
        echo "65 and 257 against 198, to the same bytes. Its only gain, a faster decode of pictures that"
        echo "compress well, is a few per cent of a frame, so glfx stays with libpng (which the Windows"
        echo "build already compiles) with chosen settings."
    fi
} >"$out"
echo "bench: wrote $out" >&2
