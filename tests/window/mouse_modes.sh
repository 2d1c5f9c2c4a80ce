#!/usr/bin/env bash
# The mouse modes for real: with --mouse absolute (remote desktops, VNC, virtual machines:
# the pointer kept in the window, the hand following its own positions) and with
# --mouse relative (the display's raw motion, no warps) the game starts, a move of the
# pointer moves the hand as far, the absolute mode keeps the pointer inside the window,
# and Escape twice (back to the title, then out) ends with status 0.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-mouse.XXXXXX)
log=$work/game.log
trap 'stop_game; rm -rf "$work"' EXIT
game=$build/quillrun

start_window() {
  start_game "$game" "$build" "$log" --window "$@"
  window=$(wait_window quillrun) || fail "$*: no game window"
}

for mode in absolute relative; do
  start_window --mouse "$mode"
  xdotool windowfocus --sync "$window"
  xdotool mousemove --window "$window" 400 300
  sleep 0.5
  xdotool click 1
  # The hand starts at (200, 300); 200 pixels of motion to the right take it to 400.
  start=$(hand_x_within 170 230)
  [ "$start" -ge 170 ] && [ "$start" -le 230 ] || fail "--mouse $mode: the hand starts at x $start, not 200"
  for _ in $(seq 10); do xdotool mousemove_relative -- 20 0; sleep 0.05; done
  moved=$(( $(hand_x_within $((start + 140)) $((start + 260))) - start ))
  [ "$moved" -ge 140 ] && [ "$moved" -le 260 ] || fail "--mouse $mode: 200 pixels of motion moved the hand $moved"
  echo "--mouse $mode: the hand started at x $start and moved $moved for 200 of motion"
  if [ "$mode" = absolute ]; then
    # Kept in the window: a move far past its left edge leaves the pointer on it.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove_relative -- -2000 0
    sleep 0.3
    eval "$(xdotool getmouselocation --shell | sed 's/^/POINTER_/')"
    [ "$POINTER_X" -ge "$X" ] || fail "--mouse absolute: the pointer left the window (x $POINTER_X, the window at $X)"
  fi
  xdotool key Escape
  sleep 0.3
  xdotool windowfocus --sync "$window"
  xdotool key Escape
  wait_exit 20
  [ "$status" = 0 ] || fail "--mouse $mode: exit status $status after Escape twice"
done
echo "ok"
