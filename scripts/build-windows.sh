#!/usr/bin/env bash
# Cross-builds the Windows plug-in (Quadra_remapping_fx.aex), the glfx command (glfx.exe) and the
# Windows test runner with mingw-w64, next to a native build whose glfx packs the libraries.
#
#   scripts/build-windows.sh [WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]]
#
# Defaults: build/windows and build. The native build is configured when missing, and its glfx
# and glfx_pipl_bytes are built. GLEW, libpng, zlib and muParser have no mingw build in Debian: their source
# packages are fetched with apt-get (from the archive this machine already uses) into
# WINDOWS_BUILD_DIR/sources and compiled into static libraries under WINDOWS_BUILD_DIR/glew and
# WINDOWS_BUILD_DIR/png. Needs the packages scripts/install-deps.sh installs.
#
# GLFX_AE_SDK_DIR=<the After Effects SDK's Headers folder> builds the Windows side against the
# SDK's headers instead of sdk/ (the native tools keep sdk/: the SDK does not support Linux).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build/windows}")"
native="$(realpath -m "${2:-$root/build}")"
sdk_dir="${GLFX_AE_SDK_DIR:+$(realpath -m "$GLFX_AE_SDK_DIR")}"
triple=x86_64-w64-mingw32
jobs="${JOBS:-$(nproc)}"

for tool in "$triple-gcc-posix" "$triple-g++-posix" "$triple-windres" apt-get; do
    command -v "$tool" >/dev/null || {
        echo "build-windows: $tool is missing; run scripts/install-deps.sh" >&2
        exit 1
    }
done

# ---- Debian's source packages -------------------------------------------------------------------
sources="$build/sources"
glew="$build/glew"
glew_lib="$glew/prefix/lib/libglew32s.a"
png="$build/png"
png_lib="$png/prefix/lib/libpng.a"
zlib_lib="$png/prefix/lib/libz.a"
muparser="$build/muparser"
muparser_lib="$muparser/prefix/lib/libmuparser.a"

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

# fetch_sources PACKAGE...: their original tarballs into $sources, with one index update for all.
fetch_sources() {
    local apt="$build/apt"
    rm -rf "$apt"
    mkdir -p "$apt/sources" "$apt/lists/partial" "$apt/cache/archives/partial" "$sources"
    write_source_entries "$apt/sources"
    : >"$apt/sources/none.list"
    local options=(-o "Dir::Etc::SourceList=$apt/sources/none.list"
        -o "Dir::Etc::SourceParts=$apt/sources" -o "Dir::State::Lists=$apt/lists"
        -o "Dir::Cache=$apt/cache")
    # As root apt downloads as the user _apt, which cannot write into this folder.
    [ "$(id -u)" -ne 0 ] || options+=(-o APT::Sandbox::User=root)
    echo "build-windows: fetching Debian's source packages: $*"
    apt-get "${options[@]}" -qq update
    (cd "$sources" && apt-get "${options[@]}" -qq source --download-only "$@") 2>"$apt/newest.log" &&
        return
    # A mirror may list a security update whose files it does not carry: the release's own then.
    local codename
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
    [ -n "$codename" ] || {
        cat "$apt/newest.log" >&2
        exit 1
    }
    echo "build-windows: the newest sources are not to be had; taking $codename's own"
    (cd "$sources" && apt-get "${options[@]}" -qq source --download-only "${@/%//$codename}")
}

# source_folder PACKAGE FOLDER-PREFIX: the package's original tarball unpacked once; prints its
# top folder.
source_folder() {
    local tarball
    tarball="$(ls "$sources/$1"_*.orig.tar.* 2>/dev/null | head -n 1)"
    [ -n "$tarball" ] || {
        echo "build-windows: no source tarball of $1 in $sources" >&2
        exit 1
    }
    ls -d "$sources/$2"*/ >/dev/null 2>&1 || tar -xf "$tarball" -C "$sources"
    ls -d "$sources/$2"*/ | head -n 1
}

# compile_static LIBRARY OBJECT_FOLDER "FLAGS" SOURCE...: the C files compiled side by side.
compile_static() {
    local library="$1" objects="$2" flags="$3" file pids=() failed=0 pid
    shift 3
    mkdir -p "$objects" "$(dirname "$library")"
    for file in "$@"; do
        # shellcheck disable=SC2086 # the flags are words
        "$triple-gcc-posix" $flags -c "$file" -o "$objects/$(basename "${file%.c}").o" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
    [ "$failed" -eq 0 ] || {
        echo "build-windows: compiling $(basename "$library") failed" >&2
        exit 1
    }
    rm -f "$library"
    "$triple-ar" rcs "$library" "$objects"/*.o
}

build_glew() {
    local src
    src="$(source_folder glew glew-)"
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

# zlib and libpng for glfx.exe's PNG files: the library sources alone (no gz* files, no tests),
# with libpng's prebuilt configuration header.
build_png() {
    local z p
    z="$(source_folder zlib zlib-)"
    p="$(source_folder libpng1.6 libpng-)"
    echo "build-windows: compiling $(basename "$z") and $(basename "$p") for Windows"
    mkdir -p "$png/prefix/include"
    cp "$z/zlib.h" "$z/zconf.h" "$png/prefix/include/"
    cp "$p/png.h" "$p/pngconf.h" "$png/prefix/include/"
    cp "$p/scripts/pnglibconf.h.prebuilt" "$png/prefix/include/pnglibconf.h"
    local zfiles=() pfiles=() f
    for f in adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil; do
        zfiles+=("$z/$f.c")
    done
    for f in png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset \
        pngtrans pngwio pngwrite pngwtran pngwutil; do
        pfiles+=("$p/$f.c")
    done
    compile_static "$zlib_lib" "$png/zlib-objects" "-O2" "${zfiles[@]}"
    compile_static "$png_lib" "$png/png-objects" "-O2 -I$png/prefix/include" "${pfiles[@]}"
}

# muParser, for pass size expressions in the plug-in: its sources into a static library, with a
# config file that find_package(muparser) takes.
build_muparser() {
    local src f pids=() pid failed=0
    src="$(source_folder muparser muparser-)"
    echo "build-windows: compiling $(basename "$src") for Windows"
    mkdir -p "$muparser/prefix/lib/cmake/muparser" "$muparser/objects"
    cp -r "$src/include" "$muparser/prefix/"
    for f in "$src"/src/*.cpp; do
        "$triple-g++-posix" -O2 -std=c++17 -DMUPARSER_STATIC -I"$src/include" -c "$f" \
            -o "$muparser/objects/$(basename "${f%.cpp}").o" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
    [ "$failed" -eq 0 ] || {
        echo "build-windows: compiling muParser failed" >&2
        exit 1
    }
    rm -f "$muparser_lib"
    "$triple-ar" rcs "$muparser_lib" "$muparser/objects"/*.o
    cat >"$muparser/prefix/lib/cmake/muparser/muparserConfig.cmake" <<EOF
# Written by scripts/build-windows.sh: muParser built from Debian's source package.
if(NOT TARGET muparser::muparser)
    add_library(muparser::muparser STATIC IMPORTED)
    set_target_properties(muparser::muparser PROPERTIES
        IMPORTED_LOCATION "$muparser_lib"
        IMPORTED_LOCATION_RELEASE "$muparser_lib"
        INTERFACE_INCLUDE_DIRECTORIES "$muparser/prefix/include"
        INTERFACE_COMPILE_DEFINITIONS "MUPARSER_STATIC")
endif()
EOF
}

need=()
[ -f "$muparser_lib" ] || ls "$sources"/muparser_*.orig.tar.* >/dev/null 2>&1 || need+=(muparser)
[ -f "$glew_lib" ] || ls "$sources"/glew_*.orig.tar.* >/dev/null 2>&1 || need+=(glew)
[ -f "$png_lib" ] || ls "$sources"/libpng1.6_*.orig.tar.* >/dev/null 2>&1 || need+=(libpng1.6)
[ -f "$zlib_lib" ] || ls "$sources"/zlib_*.orig.tar.* >/dev/null 2>&1 || need+=(zlib)
[ ${#need[@]} -eq 0 ] || fetch_sources "${need[@]}"
[ -f "$glew_lib" ] || build_glew
[ -f "$png_lib" ] && [ -f "$zlib_lib" ] || build_png
[ -f "$muparser_lib" ] || build_muparser

# ---- The native tools ---------------------------------------------------------------------------
if [ ! -f "$native/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLFX_WERROR=ON
fi
cmake --build "$native" --target glfx glfx_pipl_bytes -j "$jobs"

# ---- The Windows build -------------------------------------------------------------------------
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DGLFX_WERROR=ON -DGLFX_AE_SDK_DIR="$sdk_dir" \
    -DGLEW_DIR="$glew/prefix/lib/cmake/glew" -DGLFX_NATIVE_BUILD_DIR="$native" \
    -Dmuparser_DIR="$muparser/prefix/lib/cmake/muparser" \
    -DPNG_LIBRARY="$png_lib" -DPNG_PNG_INCLUDE_DIR="$png/prefix/include" \
    -DZLIB_LIBRARY="$zlib_lib" -DZLIB_INCLUDE_DIR="$png/prefix/include"
cmake --build "$build" -j "$jobs"
echo "build-windows: $build/plugin/Quadra_remapping_fx.aex, $build/cli/glfx.exe"
