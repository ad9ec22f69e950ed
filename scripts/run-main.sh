#!/usr/bin/env bash
# The main job on the built-in effect: shows its parsed description.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
"$build/cli/glfx" info effects/quadra_remapping.glfx
