#!/usr/bin/env bash
# The window the person sizes, on both devices: the hardware one on the display given,
# the reference one on a server of the test's own without GLX, each with another way of
# reading the mouse. Resized to 1200 x 900 the picture fills the window; at 1000 x 900 it
# is 1000 x 750 between black bands, and 200 pixels of motion move the hand 160 of the
# game's, 200 on the screen, under the pointer. Then, holding the slow motion, Alt+Enter
# to full screen and back twice: the hand stays where it was in the game, the held button
# and the motion go to the world exactly once (the recorded frames say), and Enter never
# reaches the game.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-size.XXXXXX)
log=$work/game.log
cleanup() { stop_game; stop_own_xvfb; rm -rf "$work"; }
trap cleanup EXIT

# The game's window, looked up again each time: without GLX the first window made is
# replaced by one without OpenGL.
game_window() { find_window quillrun; }
geometry() { xwininfo -id "$(game_window)" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'; }
wait_geometry() {
  for _ in $(seq 50); do [ "$(geometry)" = "$1" ] && return 0; sleep 0.1; done
  fail "$label: the window is $(geometry), not $1"
}

# The share of a region (WxH+X+Y) of the window's screenshot brighter than 8 %, in percent.
shoot() { import -window "$(game_window)" "$work/shot.png" 2>/dev/null; }
lit() { convert "$work/shot.png" -crop "$1" +repage -colorspace Gray -threshold 8% -format '%[fx:mean*100]' info: 2>/dev/null || echo 0; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

check_device() {
  label=$1
  local device=$2
  shift 2
  start_game "$build/quillrun" "$build" "$log" --window --pacing original --record "$work/$device.txt" "$@"
  trap cleanup EXIT  # start_game sets its own
  wait_window quillrun >/dev/null || fail "$label: no game window"
  for _ in $(seq 50); do grep -q "^d3d8: $device device" "$log" && break; sleep 0.1; done
  grep -q "^d3d8: $device device, 800x600" "$log" || fail "$label: not on the $device device"

  for size in 1200x900 1000x900; do
    xdotool windowsize "$(game_window)" "${size%x*}" "${size#*x}"
    wait_geometry "$size"
    picture_fit "${size%x*}" "${size#*x}"
    # The picture lit and the bands black, once a frame has been drawn at the new size.
    local picture=0 bands=none
    [ "$fit_y" -gt 0 ] && bands="${fit_w}x${fit_y}+0+0 ${fit_w}x${fit_y}+0+$((fit_y + fit_h))"
    for _ in $(seq 30); do
      shoot
      picture=$(lit "${fit_w}x${fit_h}+${fit_x}+${fit_y}")
      local band lit_bands=0
      for band in $bands; do [ "$band" = none ] || [ "$(lit "$band")" = 0 ] || lit_bands=1; done
      above "$picture" 0.2 && [ "$lit_bands" = 0 ] && break
      sleep 0.2
    done
    above "$picture" 0.2 || fail "$label at $size: the picture is black"
    [ "$lit_bands" = 0 ] || fail "$label at $size: the bands $bands are not black"
    echo "$label at $size: the picture ${fit_w}x${fit_h} at +${fit_x}+${fit_y}, $picture% lit, the bands black"
  done

  # A game, and 200 pixels of motion right.
  window=$(game_window)
  xdotool windowfocus --sync "$window"
  xdotool mousemove --window "$(game_window)" 500 450
  sleep 0.5
  xdotool click 1
  local start moved
  start=$(hand_x_within 180 220)
  [ "$start" -ge 180 ] && [ "$start" -le 220 ] || fail "$label: the hand starts at x $start, not 200"
  for _ in $(seq 10); do xdotool mousemove_relative -- 20 0; sleep 0.05; done
  moved=$(( $(hand_x_within $((start + 130)) $((start + 190))) - start ))
  [ "$moved" -ge 130 ] && [ "$moved" -le 190 ] || fail "$label: 200 pixels of motion moved the hand $moved, not 160"
  echo "$label: 200 screen pixels moved the hand $moved of the game's pixels (160 due)"

  # Slow motion held through two switches there and back.
  xdotool mousedown 3
  local before=$((start + moved)) at
  for round in 1 2; do
    for to in 1280x1024 1000x900; do
      xdotool key alt+Return
      wait_geometry "$to"
      picture_fit "${to%x*}" "${to#*x}"
      window=$(game_window)
      # The warped pointer put back in the moved window can nudge the hand a few pixels
      # (8 once from a fresh clone; known, not yet mended): 12 allowed, a jump is more.
      at=$(hand_x_within $((before - 12)) $((before + 12)))
      [ "$at" -ge $((before - 12)) ] && [ "$at" -le $((before + 12)) ] ||
        fail "$label, switch $round to $to: the hand is at x $at of the game's, not $before"
    done
  done
  echo "$label: the hand stayed at x $before through four switches"
  xdotool mouseup 3
  sleep 0.3
  xdotool key Escape
  sleep 0.3
  xdotool windowfocus --sync "$(game_window)"
  xdotool key Escape
  wait_exit 20
  [ "$status" = 0 ] || fail "$label: exit status $status"

  # The recorded frames from the click on: the motion once (a warp may drop a step's
  # worth, as it does at any size), none made up by the switches, the held button never
  # let go by them, no Enter.
  python3 - "$work/$device.txt" "$label" <<'PY' || fail "$label: the recorded frames"
import sys
frames = [l.split() for l in open(sys.argv[1]) if l.strip() and not l.startswith('#')]
click = next(i for i, f in enumerate(frames) if f[2] == '1')
held = [i for i, f in enumerate(frames) if f[3] == '1']
before = sum(int(f[0]) for f in frames[click:held[0]]) if held else 0
during = sum(abs(int(f[0])) + abs(int(f[1])) for f in frames[held[0]:]) if held else 0
gaps = [i for i in range(held[0], held[-1]) if frames[i][3] != '1'] if held else []
enters = sum(f[5] == '1' for f in frames)
print("%s: %d frames; %d of motion after the click (160 due), %d through the switches; the slow motion held %d "
      "frames, let go in %d; Enter in %d" % (sys.argv[2], len(frames), before, during, len(held), len(gaps), enters))
sys.exit(0 if 140 <= before <= 170 and during == 0 and held and not gaps and enters == 0 else 1)
PY
}

check_device "hardware, warp" hardware
start_own_xvfb 1280x1024 -extension GLX
check_device "reference, absolute" reference --mouse absolute
echo ok
