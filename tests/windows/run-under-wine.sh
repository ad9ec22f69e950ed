#!/usr/bin/env bash
# run-under-wine.sh PROGRAM [ARGUMENTS...]: runs a Windows program under Wine, in a Wine prefix
# made for this run and removed afterwards, with an X server of its own (xvfb-run): without a
# display no window, and so no OpenGL context, can be made. Exits with the program's status, or
# 77 (CTest's skip) when the program has not been built.
set -uo pipefail

program="$1"
shift
if [ ! -f "$program" ]; then
    echo "run-under-wine: $program is not built; run scripts/build-windows.sh first (make test does)"
    exit 77
fi
wine=""
for candidate in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$candidate" >/dev/null; then
        wine="$(command -v "$candidate")"
        break
    fi
done
for tool in "$wine" xvfb-run wineserver; do
    command -v "$tool" >/dev/null || {
        echo "run-under-wine: ${tool:-wine} is missing; run scripts/install-deps.sh" >&2
        exit 1
    }
done

prefix="$(mktemp -d "${TMPDIR:-/tmp}/glfx-wine-XXXXXX")"
trap 'rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" MESA_SHADER_CACHE_DISABLE=true

# Wine's server outlives the program; stop it before the X server goes.
xvfb-run -a -s "-screen 0 640x480x24" sh -c \
    '"$0" "$@"; status=$?; wineserver -k; wineserver -w; exit $status' "$wine" "$program" "$@"
