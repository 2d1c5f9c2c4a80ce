# The test command's steps (sourced by scripts/test): each step's output goes to
# test-logs/<step>.log, shown in full when the step fails; a line says when each one ends,
# and `steps_table` prints every step with its time and verdict and the total at the end.
# Steps may run in lanes side by side (a lane is a function started with `lane`); a step
# whose inputs failed is "not run", not a second failure.

steps_logs=$PWD/test-logs
rm -rf "$steps_logs"
mkdir -p "$steps_logs"
steps_began=$(date +%s)
: >"$steps_logs/steps.tsv"

# step NAME COMMAND...: runs COMMAND, returns its status (77 counts as skipped).
step() {
  local name=$1 began ended status verdict
  shift
  began=$(date +%s)
  "$@" >"$steps_logs/$name.log" 2>&1
  status=$?
  ended=$(date +%s)
  case $status in
    0) verdict=ok ;;
    77) verdict=skipped; status=0 ;;
    *) verdict=FAILED ;;
  esac
  if [ "$verdict" = FAILED ]; then
    # One block, so that lanes side by side do not mix their lines.
    { echo "==== $name FAILED (status $status); its output:"; cat "$steps_logs/$name.log"; echo "==== end of $name"; } |
      flock "$steps_logs/steps.tsv" cat
  fi
  printf '%s\t%s\t%s\t%s\n' "$name" "$began" "$ended" "$verdict" >>"$steps_logs/steps.tsv"
  printf '[%s] %s: %s in %s s\n' "$(steps_clock "$ended")" "$name" "$verdict" $((ended - began))
  return $status
}

# not_run NAME WHY: a step left out because something it needs failed.
not_run() {
  local now
  now=$(date +%s)
  printf '%s\t%s\t%s\t%s\n' "$1" "$now" "$now" "not run ($2)" >>"$steps_logs/steps.tsv"
  printf '[%s] %s: not run (%s)\n' "$(steps_clock "$now")" "$1" "$2"
}

# lane FUNCTION...: runs a function in the background; `lanes_wait` waits for them all.
steps_lanes=()
lane() {
  "$@" &
  steps_lanes+=($!)
}
lanes_wait() {
  local pid
  for pid in "${steps_lanes[@]}"; do wait "$pid"; done
  steps_lanes=()
}

steps_clock() {
  local s=$(($1 - steps_began))
  printf '%d:%02d' $((s / 60)) $((s % 60))
}

# Prints the table and returns 1 when any step failed.
steps_table() {
  local ended failed=0
  ended=$(date +%s)
  echo
  printf '%-28s %8s  %s\n' step time verdict
  sort -t$'\t' -k2,2n -k3,3n "$steps_logs/steps.tsv" | while IFS=$'\t' read -r name began finished verdict; do
    printf '%-28s %6d s  %s\n' "$name" $((finished - began)) "$verdict"
  done
  printf '%-28s %8s  ' total "$(steps_clock "$ended")"
  if cut -f4 "$steps_logs/steps.tsv" | grep -qv -e '^ok$' -e '^skipped$'; then failed=1; echo FAILED; else echo ok; fi
  echo "(logs in $steps_logs)"
  return $failed
}
