#!/usr/bin/env bash
# The game on a player's desktop: under GNOME's compositor ($2 = mutter) or KDE's
# ($2 = kwin), run headless, natively ($3 = native, SDL's Wayland driver) or through
# XWayland ($3 = xwayland, SDL's X11 driver as on a player's desktop). The title screen
# shows by itself, a click starts a game, the mouse's relative motion moves the hand, and
# Escape twice ends the program with status 0. Each step is a function, run in the order
# of $steps: a new step (the window switched to full screen and back, say, with
# `input keydown 56; input key 28; input keyup 56` for Alt+Enter) is one more function
# and its name in the list, before the Escapes.
#
# The compositors, their input and their screenshots, running as the test user when
# root, and the skip (77) without them unless QR_REQUIRE_WAYLAND=1 are in
# desktop_helpers.bash.
set -u
build=$(cd "$1" && pwd)
compositor=${2:-}
mode=${3:-}
case "$compositor:$mode" in
  mutter:native | mutter:xwayland | kwin:native | kwin:xwayland) ;;
  *) echo "usage: desktop.sh BUILD mutter|kwin native|xwayland" >&2; exit 2 ;;
esac
test_name="$compositor $mode"
build_programs=()
[ "$compositor" = kwin ] && build_programs=(qr-fake-input)
. "$(dirname "$0")/desktop_helpers.bash"
tools=()
[ "$mode" = xwayland ] && tools+=(Xwayland)
require_desktop "${tools[@]}"

# XWayland's socket goes in /tmp/.X11-unix: made by root, open to all, as an X server run
# as root would make it, not by the compositor as the test user.
if [ "$(id -u)" -eq 0 ]; then
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
fi
copy_build "qr-$compositor"
start_desktop "$mode"
start_game --window

# The title shows by itself, somewhere on the desktop, and is where the picture is found.
step_title() {
  wait_shot title 30 found_title || fail "the title screen never showed (found at ${picture_x:-nowhere}" \
    "${picture_y:-}, button lines $(lit title "$title_text" 50)% bright, the picture $(lit title 800x600+0+0)% lit)"
  echo "$test_name: the title showed, its picture at ($picture_x, $picture_y) on the desktop"
}

# A click on the picture starts a game. The pointer is put there first (where it starts
# depends on the compositor), and a pause follows: a click right after motion was lost.
step_click() {
  input warp $((picture_x + 400)) $((picture_y + 300))
  sleep 0.2
  input click left
  wait_shot game 20 is_game || fail "the left button did not start a game (gauge $(lit game "$gauge")% lit)"
}

# The mouse moves the hand: 120 pixels to the right, in steps. It stands still until then.
step_motion() {
  local start moved
  start=$(hand_x)
  [ "$start" -ge 170 ] && [ "$start" -le 230 ] || fail "the hand starts at x $start, not 200"
  for _ in $(seq 12); do input move 10 0; sleep 0.03; done
  for _ in $(seq 40); do
    moved=$(($(hand_x) - start))
    [ "$moved" -ge 80 ] && break
    sleep 0.25
  done
  [ "$moved" -ge 80 ] && [ "$moved" -le 160 ] || fail "120 pixels of motion moved the hand $moved pixels"
  echo "$test_name: the hand started at x $start and moved $moved pixels for 120 of motion"
}

# Escape returns to the title screen, and Escape there ends the program.
step_escape() {
  press_escape
  wait_shot back 20 is_title || fail "Escape did not bring back the title screen"
  press_escape
  wait_exit 20
  [ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"
}

steps=(title click motion escape)
for step in "${steps[@]}"; do "step_$step"; done
echo "ok"
