#!/usr/bin/env bash
# Renders the gallery listed in tests/data/golden/gallery.txt: the goldens the tests compare
# against (tests/data/golden/, 160x90) and the README's pictures (docs/gallery/, 320x180).
# Run it after changing an effect on purpose, look at the pictures, and commit them.
#
#   scripts/render-gallery.sh [BUILD-FOLDER]     (default: build)
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
glfx="$build/cli/glfx"
[ -x "$glfx" ] || { echo "render-gallery: $glfx not built (make build first)" >&2; exit 1; }

render_set() { # folder size
    local folder=$1 size=$2
    mkdir -p "$folder"
    while IFS='|' read -r name tolerance args; do
        name=${name//[[:space:]]/}
        { [ -z "$name" ] || [ "${name:0:1}" = "#" ]; } && continue
        args=${args//INPUT/$folder/test_card.png}
        args=${args//SIZE/$size}
        # shellcheck disable=SC2086 # the arguments are words on purpose
        "$glfx" render $args -o "$folder/$name.png" -q
        echo "$folder/$name.png"
    done < tests/data/golden/gallery.txt
}

render_set tests/data/golden 160x90
render_set docs/gallery 320x180
