#!/usr/bin/env bash
# Instructions per world update over whole headless games (a normal game and the random
# mode), counted by callgrind one frame at a time: the median and the worst single
# update, and the same over every frame. Usage: bench/update_instructions.sh BUILD_DIR [FRAMES]
set -euo pipefail
build=$(cd "$1" && pwd)
frames=${2:-20000}
work=$(mktemp -d /tmp/qr-update-cost.XXXXXX)
trap 'rm -rf "$work"' EXIT

printf '%-8s %8s %8s %10s %10s %12s\n' mode frames updates median worst median-all
for mode in normal random; do
  mkdir -p "$work/$mode"
  (cd "$work/$mode" &&
    valgrind --tool=callgrind --collect-atstart=no --dump-instr=no --dump-line=no \
      --callgrind-out-file="$work/$mode/cg.%p" "$build/bench_update_cost" "$mode" "$frames" >"$work/$mode/tags" \
      2>"$work/$mode/valgrind.log")
  # One profile per frame, numbered in order: its "summary:" line is the frame's cost.
  for f in "$work/$mode"/cg.*.*; do
    n=${f##*.}
    printf '%d %s\n' "$n" "$(awk '/^summary:/ {print $2; exit}' "$f")"
  done | sort -n | awk '{print $2}' >"$work/$mode/costs"
  paste -d' ' "$work/$mode/tags" "$work/$mode/costs" | awk -v mode="$mode" '
    { all[NR] = $2 + 0; if ($1 == "u") up[++u] = $2 + 0 }
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j > 0 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    END {
      worst = 0; for (i = 1; i <= u; i++) if (up[i] > worst) worst = up[i]
      printf "%-8s %8d %8d %10d %10d %12d\n", mode, NR, u, median(up, u), worst, median(all, NR)
    }'
done
