#!/usr/bin/env bash
# `glfx render` against the tools a user would otherwise reach for, on this machine in one run:
# the built-in corner pin on a 1920x1080 8-bit PNG beside ffmpeg's perspective filter and
# ImageMagick's -distort Perspective (PNG in, PNG out), the three (and a baseline glfx, when given)
# run in turn RUNS times; then a 100-frame sequence in one glfx command beside one command per
# frame (this glfx's and the baseline's) and ffmpeg; and glfx's three PNG settings. Prints
# Markdown tables: medians of wall time, CPU time (user + system, every thread) and peak resident
# size, and their ratios.
#
#   scripts/bench-cli.sh [--baseline OLD_GLFX] [--runs N] [--frames N] [GLFX]
#
# GLFX defaults to build/cli/glfx. Installs ffmpeg, imagemagick and GNU time when missing (they
# are not build or test dependencies). The inputs are made fresh: the test card drawn by glfx
# itself, and a grainy fractal from ffmpeg for a picture that compresses like a photograph.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
baseline=""
runs=7
frames=100
while [ $# -gt 0 ]; do
    case "$1" in
    --baseline) baseline="$(realpath "$2")"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --frames) frames="$2"; shift 2 ;;
    *) break ;;
    esac
done
glfx="$(realpath "${1:-$root/build/cli/glfx}")"
[ -x "$glfx" ] || { echo "bench-cli: no glfx at $glfx (build it first)" >&2; exit 1; }

missing=()
command -v ffmpeg >/dev/null || missing+=(ffmpeg)
command -v convert >/dev/null || command -v magick >/dev/null || missing+=(imagemagick)
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "bench-cli: installing ${missing[*]}" >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2
fi
# The distribution's own, not a wrapper of the same name earlier on PATH.
magick=/usr/bin/convert
[ -x "$magick" ] || magick="$(command -v magick || command -v convert)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

corners=(-p "Top left=200,100" -p "Top right=1800,50" -p "Bottom right=1700,1000"
         -p "Bottom left=100,1050")
ffmpegPerspective="perspective=200:100:1800:50:100:1050:1700:1000:sense=destination"
magickPerspective="0,0 200,100 1919,0 1800,50 1919,1079 1700,1000 0,1079 100,1050"

"$glfx" render "$root/effects/test_card.glfx" --size 1920x1080 -o card.png
ffmpeg -loglevel error -y -f lavfi -i mandelbrot=s=1920x1080 -vf "noise=alls=5:allf=t" \
    -frames:v 1 -pix_fmt rgb24 grain.png

# "wall cpu peakKiB" of one command.
measure() {
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null 2>err.txt ||
        { cat err.txt >&2; echo "bench-cli: failed: $*" >&2; exit 1; }
    awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }' time.txt
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "bench-cli: $runs runs of the corner pin" >&2
for input in card grain; do
    : >"$input.glfx" && : >"$input.ffmpeg" && : >"$input.magick" && : >"$input.baseline"
    for ((i = 0; i < runs; ++i)); do
        measure "$glfx" render -i "$input.png" -o g.png "${corners[@]}" >>"$input.glfx"
        [ -z "$baseline" ] ||
            measure "$baseline" render -i "$input.png" -o b.png "${corners[@]}" >>"$input.baseline"
        measure ffmpeg -loglevel error -y -i "$input.png" -vf "$ffmpegPerspective" f.png \
            >>"$input.ffmpeg"
        measure "$magick" "$input.png" -virtual-pixel transparent -distort Perspective \
            "$magickPerspective" m.png >>"$input.magick"
    done
done

echo "bench-cli: the PNG settings" >&2
for setting in fast medium small; do
    for ((i = 0; i < 3; ++i)); do
        for input in card grain; do
            measure "$glfx" render -i "$input.png" -o "$input.$setting.png" \
                --png-compression "$setting" "${corners[@]}" >>"png.$setting.$input"
        done
    done
done

echo "bench-cli: a $frames-frame sequence" >&2
mkdir -p seq
for ((f = 0; f < frames; ++f)); do ln card.png "seq/in.$(printf %04d "$f").png"; done
last=$((frames - 1))
oneCommand="$(measure "$glfx" render -i seq/in.####.png -o seq/g.####.png --frames "0-$last" \
    -q "${corners[@]}")"
perFrame() { # GLFX: one command per frame, timed as a whole
    local start end
    start="$(date +%s.%N)"
    for ((f = 0; f < frames; ++f)); do
        "$1" render -i "seq/in.$(printf %04d "$f").png" -o "seq/p.$(printf %04d "$f").png" \
            "${corners[@]}" >/dev/null 2>&1
    done
    end="$(date +%s.%N)"
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
perFrameNow="$(perFrame "$glfx")"
perFrameBaseline=""
[ -n "$baseline" ] && perFrameBaseline="$(perFrame "$baseline")"
ffmpegSequence="$(measure ffmpeg -loglevel error -y -i seq/in.%04d.png -vf "$ffmpegPerspective" \
    seq/f.%04d.png)"

column() { awk -v k="$2" '{ print $k }' "$1" | median; }
echo "| 1920x1080 corner pin, median of $runs | wall s | CPU s | peak MiB | CPU vs ffmpeg |" \
     "CPU vs ImageMagick | wall vs ffmpeg |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for input in card grain; do
    gw="$(column "$input.glfx" 1)" gc="$(column "$input.glfx" 2)" gm="$(column "$input.glfx" 3)"
    fw="$(column "$input.ffmpeg" 1)" fc="$(column "$input.ffmpeg" 2)"
    fm="$(column "$input.ffmpeg" 3)"
    mw="$(column "$input.magick" 1)" mc="$(column "$input.magick" 2)"
    mm="$(column "$input.magick" 3)"
    mib() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
    echo "| $input: glfx | $gw | $gc | $(mib "$gm") | $(ratio "$gc" "$fc") |" \
         "$(ratio "$gc" "$mc") | $(ratio "$gw" "$fw") |"
    if [ -n "$baseline" ]; then
        bw="$(column "$input.baseline" 1)" bc="$(column "$input.baseline" 2)"
        bm="$(column "$input.baseline" 3)"
        echo "| $input: baseline glfx | $bw | $bc | $(mib "$bm") | $(ratio "$bc" "$fc") |" \
             "$(ratio "$bc" "$mc") | $(ratio "$bw" "$fw") |"
    fi
    echo "| $input: ffmpeg perspective | $fw | $fc | $(mib "$fm") | | | |"
    echo "| $input: ImageMagick -distort Perspective | $mw | $mc | $(mib "$mm") | | | |"
done
echo
echo "| --png-compression, median of 3 | card: CPU s | card: file KiB | grain: CPU s |" \
     "grain: file KiB |"
echo "|---|---:|---:|---:|---:|"
for setting in fast medium small; do
    kib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.0f", b / 1024 }'; }
    echo "| $setting | $(column "png.$setting.card" 2) | $(kib "card.$setting.png") |" \
         "$(column "png.$setting.grain" 2) | $(kib "grain.$setting.png") |"
done
echo
read -r sw sc sm <<<"$oneCommand"
read -r fw fc fm <<<"$ffmpegSequence"
echo "| $frames frames of 1920x1080, corner pin | wall s | frames/s | one command's speed-up |"
echo "|---|---:|---:|---:|"
fps() { awk -v n="$frames" -v s="$1" 'BEGIN { printf "%.1f", n / s }'; }
echo "| glfx, one command (CPU $sc s, peak $((sm / 1024)) MiB) | $sw | $(fps "$sw") | |"
echo "| glfx, one command per frame | $perFrameNow | $(fps "$perFrameNow") |" \
     "$(ratio "$perFrameNow" "$sw") |"
[ -n "$perFrameBaseline" ] &&
    echo "| baseline glfx, one command per frame | $perFrameBaseline |" \
         "$(fps "$perFrameBaseline") | $(ratio "$perFrameBaseline" "$sw") |"
echo "| ffmpeg perspective, one command (CPU $fc s) | $fw | $(fps "$fw") | |"
