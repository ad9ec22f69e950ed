#!/usr/bin/env bash
# check-sdk-mode.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR: the Windows build against the host SDK's
# headers (GLFX_AE_SDK_DIR), with warnings as errors, where the SDK is a folder laid out as the
# SDK's (Headers/, Headers/SP/, Util/ beside Headers/) made from sdk/ with the SDK's demands added:
# - every header but AEConfig.h stops unless AEConfig.h came first and, on Windows, MSWindows and
#   _WINDOWS are defined; AEConfig.h stops on a platform other than Windows and macOS;
# - a function in A.h with an unused parameter, which breaks -Werror unless the folders are
#   system include folders;
# - four-character codes as multi-character constants, as the SDK writes them (the SP error codes
#   and PIAdobeVendorID, which our code names), and kSPOutOfMemoryError as an unsigned literal;
# - INT2FIX shifting the signed value, which is no constant expression for negative values.
# Builds into NATIVE_BUILD_DIR/windows-sdk-mode, borrowing GLEW, libpng and muParser from the Windows
# build that scripts/build-windows.sh made (exits 77, CTest's skip, without it), then checks the
# binaries as check-binaries.sh does for the Windows build.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
native="$(realpath -m "$1")"
windows="$(realpath -m "$2")"
out="$native/windows-sdk-mode"

for lib in glew/prefix/lib/libglew32s.a png/prefix/lib/libpng.a png/prefix/lib/libz.a \
    muparser/prefix/lib/libmuparser.a; do
    [ -f "$windows/$lib" ] || {
        echo "check-sdk-mode: no Windows build in $windows; run scripts/build-windows.sh first"
        exit 77
    }
done

# Files are replaced only when their text changes, so that a second run rebuilds nothing.
put() {
    local file="$1" text
    text="$(cat)"
    mkdir -p "$(dirname "$file")"
    [ -f "$file" ] && [ "$(cat "$file")" == "$text" ] || printf '%s\n' "$text" >"$file"
}

stage="$out/sdk"
sdk_files=()
while IFS= read -r file; do
    sdk_files+=("$file")
done < <(cd "$root/sdk" && find Headers Util -name '*.h' | sort)
for file in "${sdk_files[@]}"; do
    case "$(basename "$file")" in
    AEConfig.h)
        put "$stage/$file" <<EOF
$(cat "$root/sdk/$file")
#if !defined(AE_OS_WIN) && !defined(AE_OS_MAC)
#error "the SDK supports Windows and macOS only"
#endif
EOF
        continue
        ;;
    A.h) extra="inline A_long A_StagedUnusedParameter(A_long unusedL) { return 0; }" ;;
    SPPiPL.h) extra=$'#undef PIAdobeVendorID\n#define PIAdobeVendorID \'ADBE\'' ;;
    SPTypes.h) extra=$'#undef kSPUnimplementedError\n#define kSPUnimplementedError \'!IMP\'' ;;
    SPErrorCodes.h)
        extra="#undef kSPSuiteNotFoundError
#define kSPSuiteNotFoundError 'S!Fd'
#undef kSPBadParameterError
#define kSPBadParameterError 'Parm'
#undef kSPOutOfMemoryError
#define kSPOutOfMemoryError 0xFFFFFF6C"
        ;;
    AE_Macros.h) extra=$'#undef INT2FIX\n#define INT2FIX(X) ((A_long)(X) << 16)' ;;
    *) extra="" ;;
    esac
    put "$stage/$file" <<EOF
#if !defined(AE_OS_WIN) && !defined(AE_OS_MAC)
#error "include AEConfig.h before the SDK's other headers"
#endif
#if defined(AE_OS_WIN) && !(defined(MSWindows) && defined(_WINDOWS))
#error "the SDK's headers need MSWindows and _WINDOWS defined on Windows"
#endif
$(cat "$root/sdk/$file")
$extra
EOF
done

# GLEW, libpng and muParser as the Windows build has them: build-windows.sh finds them and
# fetches nothing.
mkdir -p "$out/build"
ln -sfn "$windows/glew" "$out/build/glew"
ln -sfn "$windows/png" "$out/build/png"
ln -sfn "$windows/muparser" "$out/build/muparser"
GLFX_AE_SDK_DIR="$stage/Headers" "$root/scripts/build-windows.sh" "$out/build" "$native"

includes="$out/build/tests/CMakeFiles/glfx_sdk_check.dir/includes_CXX.rsp"
grep -q -- "-isystem \"\\?$stage/Headers" "$includes" || {
    echo "check-sdk-mode: the layout check was not compiled against $stage/Headers" >&2
    exit 1
}
"$here/check-binaries.sh" "$out/build"
echo "check-sdk-mode: the Windows build, the layout check and the Windows tests built against $stage"
