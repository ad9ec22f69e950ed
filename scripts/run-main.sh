#!/usr/bin/env bash
# The main job on the built-in effect: the shipped plug-in (Quadra_remapping_fx, its code packed
# in) corner-pins a test card through the emulated host's render commands, into an image to open:
# out/quadra_remapping.png. The test card is rendered first, from effects/test_card.glfx.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
glfx="$build/cli/glfx"
mkdir -p out
"$glfx" render effects/test_card.glfx --size 640x360 -o out/sample.png -q
# The four corners in layer pixels, y down: a perspective tilt that leaves the frame's corners
# transparent, and a 2-pixel feather on the edges.
"$glfx" render -i out/sample.png -o out/quadra_remapping.png -q \
    -p "Top left=70,40" -p "Top right=600,10" -p "Bottom right=560,340" -p "Bottom left=30,300" \
    -p "Feather=2"
"$glfx" info effects/quadra_remapping.glfx
echo "wrote out/quadra_remapping.png (input: out/sample.png)"
