#!/usr/bin/env bash
# Instructions per world update over whole headless games (a normal game and the random
# mode), counted by callgrind one frame at a time: the median and the worst single
# update, and the same over every frame.
# Usage: bench/update_instructions.sh BUILD_DIR [FRAMES [MODES]]   (MODES: "normal random")
set -euo pipefail
build=$(cd "$1" && pwd)
frames=${2:-20000}
modes=${3:-normal random}
work=$(mktemp -d /tmp/qr-update-cost.XXXXXX)
trap 'rm -rf "$work"' EXIT

printf '%-8s %8s %8s %10s %10s %12s\n' mode frames updates median worst median-all
for mode in $modes; do
  mkdir -p "$work/$mode"
  (cd "$work/$mode" &&
    valgrind --tool=callgrind --collect-atstart=no --dump-instr=no --dump-line=no \
      --callgrind-out-file="$work/$mode/cg.%p" "$build/bench_update_cost" "$mode" "$frames" >"$work/$mode/tags" \
      2>"$work/$mode/valgrind.log")
  # One profile per frame, numbered in order: its "summary:" line is the frame's cost.
  find "$work/$mode" -name 'cg.*.*' -print0 |
    xargs -0 awk '/^summary:/ { n = split(FILENAME, part, "."); print part[n], $2; nextfile }' |
    sort -n | awk '{print $2}' >"$work/$mode/costs"
  paste -d' ' "$work/$mode/tags" "$work/$mode/costs" >"$work/$mode/frames"
  awk '$1 == "u" {print $2}' "$work/$mode/frames" | sort -n >"$work/$mode/updates"
  awk '{print $2}' "$work/$mode/frames" | sort -n >"$work/$mode/all"
  median() { awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2)}' "$1"; }
  printf '%-8s %8d %8d %10d %10d %12d\n' "$mode" "$(wc -l <"$work/$mode/all")" "$(wc -l <"$work/$mode/updates")" \
    "$(median "$work/$mode/updates")" "$(tail -1 "$work/$mode/updates")" "$(median "$work/$mode/all")"
done
