#!/usr/bin/env bash
# check-binaries.sh WINDOWS_BUILD_DIR: what a host and a user's machine need of the Windows
# binaries. Each plug-in exports EntryPointFunc alone, undecorated; every binary imports only DLLs
# that come with Windows (the compiler's runtime is linked in). Exits 77 (CTest's skip) when the
# Windows build has not been made.
set -euo pipefail

build="$1"
objdump=x86_64-w64-mingw32-objdump
plugins=(plugin/glfx_template.aex plugin/Quadra_remapping_fx.aex tests/windows/Shell_test_fx.aex)
programs=(tests/windows/windows_tests.exe cli/glfx.exe)
system_dlls=" kernel32.dll user32.dll gdi32.dll opengl32.dll shell32.dll msvcrt.dll "

if [ ! -f "$build/plugin/Quadra_remapping_fx.aex" ]; then
    echo "check-binaries: no Windows build in $build; run scripts/build-windows.sh first"
    exit 77
fi
command -v "$objdump" >/dev/null || {
    echo "check-binaries: $objdump is missing; run scripts/install-deps.sh" >&2
    exit 1
}

failed=0
for binary in "${plugins[@]}" "${programs[@]}"; do
    dump="$("$objdump" -p "$build/$binary")"
    imports="$(awk '/DLL Name:/ {print $3}' <<<"$dump")"
    [ -n "$imports" ] || {
        echo "$binary: no import table found"
        failed=1
    }
    for dll in $imports; do
        if [[ "$system_dlls" != *" ${dll,,} "* ]]; then
            echo "$binary imports $dll, which does not come with Windows"
            failed=1
        fi
    done
    echo "$binary imports:" $imports
done
for plugin in "${plugins[@]}"; do
    exports="$("$objdump" -p "$build/$plugin" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/ {print $NF}')"
    if [ "$exports" != "EntryPointFunc" ]; then
        echo "$plugin exports [$(tr '\n' ' ' <<<"$exports")], expected EntryPointFunc alone"
        failed=1
    fi
done
exit $failed
