#!/usr/bin/env bash
# Cross-builds the Windows plug-in (Quadra_remapping_fx.aex) and the Windows test runner with
# mingw-w64, next to a native build whose glfx packs the libraries.
#
#   scripts/build-windows.sh [WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]]
#
# Defaults: build/windows and build. The native build is configured when missing, and its glfx
# and glfx_pipl_bytes are built. GLEW has no mingw build in Debian: its source package is fetched
# with apt-get (from the archive this machine already uses) into WINDOWS_BUILD_DIR/glew and
# compiled into a static library there. Needs the packages scripts/install-deps.sh installs.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build/windows}")"
native="$(realpath -m "${2:-$root/build}")"
triple=x86_64-w64-mingw32
jobs="${JOBS:-$(nproc)}"

for tool in "$triple-gcc-posix" "$triple-g++-posix" "$triple-windres" apt-get; do
    command -v "$tool" >/dev/null || {
        echo "build-windows: $tool is missing; run scripts/install-deps.sh" >&2
        exit 1
    }
done

# ---- GLEW --------------------------------------------------------------------------------------
glew="$build/glew"
glew_lib="$glew/prefix/lib/libglew32s.a"

# deb-src entries for every archive the machine takes binary packages from, in a private apt
# configuration: the machine's own apt set-up is left as it is.
write_source_entries() {
    local out="$1" f found=0
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$out/$(basename "$f")"
        found=1
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f" >"$out/$(basename "$f").list"
        found=1
    done
    [ "$found" -eq 1 ] || {
        echo "build-windows: no apt sources found under /etc/apt to derive a deb-src entry" >&2
        exit 1
    }
}

fetch_glew_source() {
    local apt="$glew/apt"
    rm -rf "$apt" "$glew/source"
    mkdir -p "$apt/sources" "$apt/lists/partial" "$apt/cache/archives/partial" "$glew/source"
    write_source_entries "$apt/sources"
    : >"$apt/sources/none.list"
    local options=(-o "Dir::Etc::SourceList=$apt/sources/none.list"
        -o "Dir::Etc::SourceParts=$apt/sources" -o "Dir::State::Lists=$apt/lists"
        -o "Dir::Cache=$apt/cache")
    # As root apt downloads as the user _apt, which cannot write into this folder.
    [ "$(id -u)" -ne 0 ] || options+=(-o APT::Sandbox::User=root)
    echo "build-windows: fetching Debian's GLEW source package"
    apt-get "${options[@]}" -qq update
    (cd "$glew/source" && apt-get "${options[@]}" -qq source --download-only glew)
    local tarball
    tarball="$(ls "$glew"/source/glew_*.orig.tar.* | head -n 1)"
    tar -xf "$tarball" -C "$glew/source"
}

build_glew() {
    local src
    src="$(ls -d "$glew"/source/glew-*/ | head -n 1)"
    [ -f "$src/src/glew.c" ] || {
        echo "build-windows: $src has no src/glew.c" >&2
        exit 1
    }
    echo "build-windows: compiling GLEW $(basename "$src") for Windows"
    mkdir -p "$glew/prefix/lib" "$glew/prefix/include"
    cp -r "$src/include/GL" "$glew/prefix/include/"
    "$triple-gcc-posix" -O2 -DGLEW_STATIC -DGLEW_NO_GLU -I"$src/include" -c "$src/src/glew.c" \
        -o "$glew/glew.o"
    rm -f "$glew_lib"
    "$triple-ar" rcs "$glew_lib" "$glew/glew.o"
    # FindGLEW takes a config file first: the static library with its definitions and OpenGL.
    mkdir -p "$glew/prefix/lib/cmake/glew"
    cat >"$glew/prefix/lib/cmake/glew/glew-config.cmake" <<EOF
# Written by scripts/build-windows.sh: GLEW built from Debian's source package.
if(NOT TARGET GLEW::GLEW)
    add_library(GLEW::GLEW STATIC IMPORTED)
    set_target_properties(GLEW::GLEW PROPERTIES
        IMPORTED_LOCATION "$glew_lib"
        IMPORTED_LOCATION_RELEASE "$glew_lib"
        INTERFACE_INCLUDE_DIRECTORIES "$glew/prefix/include"
        INTERFACE_COMPILE_DEFINITIONS "GLEW_STATIC;GLEW_NO_GLU"
        INTERFACE_LINK_LIBRARIES opengl32
        IMPORTED_LINK_INTERFACE_LIBRARIES_RELEASE opengl32)
endif()
EOF
}

if [ ! -f "$glew_lib" ]; then
    ls "$glew"/source/glew-*/src/glew.c >/dev/null 2>&1 || fetch_glew_source
    build_glew
fi

# ---- The native tools ---------------------------------------------------------------------------
if [ ! -f "$native/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLFX_WERROR=ON
fi
cmake --build "$native" --target glfx glfx_pipl_bytes -j "$jobs"

# ---- The Windows build -------------------------------------------------------------------------
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DGLFX_WERROR=ON \
    -DGLEW_DIR="$glew/prefix/lib/cmake/glew" -DGLFX_NATIVE_BUILD_DIR="$native"
cmake --build "$build" -j "$jobs"
echo "build-windows: $build/plugin/Quadra_remapping_fx.aex"
