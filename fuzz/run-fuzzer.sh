#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time: first every finding kept as a regression and the
# seed corpus, then new inputs for SECONDS seconds in a scratch corpus (the repository's corpus is
# only read). A crash, a hang, a leak, a sanitizer report or a failed property fails the run; the
# input that caused it is left under FINDINGS_DIR and printed in hex.
#
#   run-fuzzer.sh TARGET SECONDS SEED_CORPUS REGRESSIONS FINDINGS_DIR
set -uo pipefail

target="$1" seconds="$2" seeds="$3" regressions="$4" findings="$5"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$findings"

dirs=("$scratch" "$seeds")
[ -d "$regressions" ] && dirs+=("$regressions")

status=0
"$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$findings/" "${dirs[@]}" || status=$?
if [ "$status" -ne 0 ]; then
    for f in "$findings"/*; do
        [ -f "$f" ] || continue
        echo "run-fuzzer: finding $f:"
        od -A x -t x1z -v "$f" | head -n 64
    done
    echo "run-fuzzer: $(basename "$target") failed (exit $status); keep the input under" \
         "fuzz/regressions/$(basename "$target" | sed 's/^fuzz_//')/ once it is fixed" >&2
fi
exit "$status"
