#!/usr/bin/env bash
# The game on a player's desktop: under GNOME's compositor ($2 = mutter) or KDE's
# ($2 = kwin), run headless, natively ($3 = native, SDL's Wayland driver) or through
# XWayland ($3 = xwayland, SDL's X11 driver as on a player's desktop). The title screen
# shows by itself, a click starts a game, the mouse's relative motion moves the hand,
# Alt+Enter takes the picture over the whole output and back into the window with the
# game going on, the compositor's own resizing of the window leaves the picture scaled to
# fit between black bands, and Escape twice ends the program with status 0. Each step is
# a function, run in the order of $steps: a new step is one more function and its name in
# the list, before the Escapes.
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

# Where the power gauge's base line lies on the desktop, "LEFT WIDTH TOP", and whether in
# screenshot $4 it is at ($1, $3) (either may be "any"), $2 long, give or take 3 pixels:
# the picture's place and scale.
gauge_line() { "$python" "$here/desktop_picture.py" gauge "$work/$1-desktop.png"; }
near() { [ "$2" = any ] || { [ $(($1 - $2)) -ge -3 ] && [ $(($1 - $2)) -le 3 ]; }; }
gauge_at() {
  local left width top
  read -r left width top <<<"$(gauge_line "$4")"
  near "$left" "$1" && near "$width" "$2" && near "$top" "$3"
}
alt_enter() { input keydown 56; input key 28; input keyup 56; }

# Alt+Enter: full screen, the picture over the whole 1024 x 768 output (the gauge 1.28
# times as long, from x 384); again: back in a window at the picture's own size, where
# the compositor places it (mutter centres an X window it had put in the corner). The
# world goes on through both (the hand stays where the motion left it).
step_switch() {
  local before after left top
  before=$(hand_x)
  alt_enter
  wait_shot full 15 gauge_at 384 256 32 || fail "Alt+Enter: the picture does not fill the output ($(gauge_line full))"
  alt_enter
  wait_shot window 15 gauge_at any 200 any ||
    fail "Alt+Enter again: the picture is not back in the window at its size ($(gauge_line window))"
  read -r left _ top <<<"$(gauge_line window)"
  picture_x=$((left - 300)) picture_y=$((top - 25))
  after=$(hand_x)
  # Through XWayland the pointer put back in the moved window may nudge it a little (13
  # pixels once on a busy machine).
  [ $((after - before)) -ge -20 ] && [ $((after - before)) -le 20 ] || fail "the hand was at x $before, after the switches at $after"
  # Motion after the switch is not checked here: on a busy machine these compositors
  # sometimes hand the game no motion at all after it (0 pixels for 120), natively and
  # through XWayland, which is not understood yet. The window tests under Xvfb and the
  # headless switch test check that motion goes on across a switch.
  echo "$test_name: full screen and back at ($picture_x, $picture_y), the hand at x $before then $after"
}

# Whether in screenshot $4 the picture is scaled to fit a window that spans x $1 to $2
# and ends at row $3, keeping its shape: its bottom on that row, centred across, narrower
# than the window, and the bands beside it black. The scale is the gauge's length, whose
# ends blur by a pixel: 8 pixels of slack on the picture's 600 rows.
fit_band=none
fits() {
  local left width top
  read -r left width top <<<"$(gauge_line "$4")"
  [ "$width" -gt 0 ] || return 1
  awk -v l="$left" -v w="$width" -v t="$top" -v x0="$1" -v x1="$2" -v bottom="$3" 'BEGIN {
    s = w / 200; x = l - 300 * s; y = t - 25 * s
    exit !(y + 600 * s - bottom <= 8 && bottom - (y + 600 * s) <= 8 && x - x0 - (x1 - x - 800 * s) <= 8 &&
           (x1 - x - 800 * s) - (x - x0) <= 8 && x - x0 >= 8) }' || return 1
  local band=$((left - $1 - width * 3 / 2 - 2))
  fit_band=${band}x$((width * 3 - 4))+$1+$(($3 - width * 3 + 2))
  [ "$band" -gt 0 ] && ! above "$(lit "$4-desktop" "$fit_band")" 0.5
}

# The compositor sizes the window: KDE's by a script on its bus, to 900 x 500 in the
# corner; GNOME's maximises it (Super+Up over its remote keyboard; it runs no scripts and
# its X and Wayland clients alike take the shortcut), over the output but for its title
# bar. The picture is scaled to fit between black bands, and goes back with the window.
step_resize() {
  local right=1024 bottom=768
  case "$compositor" in
    kwin)
      right=900 bottom=500
      as_user "$python" "$work/game/desktop_picture.py" kwin-size 0 0 $right $bottom || fail "the compositor's script failed"
      ;;
    mutter) input keydown 125; input key 103; input keyup 125 ;;
  esac
  wait_shot resized 15 fits 0 $right $bottom || fail "the picture does not fit the window sized to x 0 to $right" \
    "down to row $bottom with black bands ($(gauge_line resized), bands $(lit resized-desktop "$fit_band")% lit)"
  echo "$test_name: sized to x 0 to $right down to $bottom, the gauge at $(gauge_line resized), bands $fit_band black"
  case "$compositor" in
    # The frame is the picture: this compositor has no decoration to draw around it.
    kwin)
      as_user "$python" "$work/game/desktop_picture.py" kwin-size "$picture_x" "$picture_y" 800 600 ||
        fail "the compositor's script failed"
      ;;
    mutter) input keydown 125; input key 108; input keyup 125 ;;
  esac
  wait_shot restored 15 gauge_at $((picture_x + 300)) 200 $((picture_y + 25)) ||
    fail "the window did not come back to its size and place ($(gauge_line restored))"
}

# Escape returns to the title screen, and Escape there ends the program.
step_escape() {
  press_escape
  wait_shot back 20 is_title || fail "Escape did not bring back the title screen"
  press_escape
  wait_exit 20
  [ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"
}

steps=(title click motion switch resize escape)
for step in "${steps[@]}"; do "step_$step"; done
echo "ok"
