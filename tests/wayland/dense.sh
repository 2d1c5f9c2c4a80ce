#!/usr/bin/env bash
# The game on a dense screen under a Wayland compositor (sway, headless, drawing in
# software): one output of 1600 x 1200 pixels at scale 2, which the compositor scales
# with a linear filter, so anything not drawn at the output's own pixels comes out
# blurred. Natively ($2 = native) the 800 x 600 window is drawn at those pixels: every
# pixel of the game's picture is an even 2 x 2 square of the output's, the text's
# one-pixel strokes two pixels wide and sharp. Natively and through XWayland ($2 =
# xwayland), Alt+Enter (F11 through XWayland) takes the window to full screen and back,
# twice, the picture going on, and Escape on the title screen ends the program with
# status 0.
#
# The compositor, the keyboard and running as the test user when root are in
# sway_helpers.bash. Skipped (77) without sway and its tools unless QR_REQUIRE_WAYLAND=1.
set -u
build=$(cd "$1" && pwd)
mode=${2:-}
case "$mode" in
  native | xwayland) ;;
  *) echo "usage: dense.sh BUILD native|xwayland" >&2; exit 2 ;;
esac
test_name=dense-$mode
. "$(dirname "$0")/sway_helpers.bash"
tools=()
[ "$mode" = xwayland ] && tools+=(Xwayland)
require_compositor "${tools[@]}"
if [ "$(id -u)" -eq 0 ]; then
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
fi

copy_build qr-wayland-dense
xwayland=disable
[ "$mode" = xwayland ] && xwayland=enable
start_compositor $xwayland "mode 1600x1200 scale 2 scale_filter linear"
if [ "$mode" = native ]; then
  game_env=(SDL_VIDEODRIVER=wayland)
else
  [ "$x_display" != none ] || fail "the compositor gave no X display"
  game_env=(DISPLAY="$x_display")
fi
start_game --window

# A screenshot of the output at its own pixels, and a copy at the game's (every second
# pixel), which the title's checks read.
dense_shot() { shot "$1" && convert "$work/$1.png" -sample 50% "$work/$1-game.png" 2>/dev/null; }
wait_title() {
  for _ in $(seq $(($2 * 4))); do
    kill -0 "$game_pid" 2>/dev/null || return 1
    dense_shot "$1" && is_title "$1-game" && return 0
    sleep 0.25
  done
  return 1
}
wait_title title 30 || fail "the title screen never showed"
size=$(convert "$work/title.png" -format '%wx%h' info:)
[ "$size" = 1600x1200 ] || fail "the output's screenshot is $size, not 1600x1200"

if [ "$mode" = native ]; then
  grep -q "the window's 800 x 600 points are drawn at 1600 x 1200 pixels" "$log" ||
    fail "the window is not drawn at the output's own pixels"
  # The 2 x 2 squares of the title's text lines that are not even, out of those that
  # are lit; a picture blown up by the compositor has the text's every edge soft.
  python3 - "$work/title.png" <<'PY' || fail "the picture is not drawn at the output's own pixels"
import subprocess, sys
raw = subprocess.run(["convert", sys.argv[1], "-crop", "1200x560+200+560", "+repage", "-colorspace", "Gray",
                      "-depth", "8", "gray:-"], capture_output=True, check=True).stdout
w, h = 1200, 560
lit = uneven = 0
for y in range(0, h, 2):
    for x in range(0, w, 2):
        square = {raw[y * w + x], raw[y * w + x + 1], raw[(y + 1) * w + x], raw[(y + 1) * w + x + 1]}
        if max(square) > 60:
            lit += 1
            uneven += len(square) > 1
print("native: %d lit squares of the text, %d not even" % (lit, uneven))
sys.exit(0 if lit > 500 and uneven <= lit // 100 else 1)
PY
fi

# The switch's keys: Alt+Enter natively. Through XWayland F11: wtype loads a keymap of
# its own for what it types, and XWayland gives a program only the first key of such a
# keymap under its right name (the X11 test types Alt+Enter on X11 itself).
switch_keys=(-P Alt_L -k Return -p Alt_L)
[ "$mode" = xwayland ] && switch_keys=(-k F11)
fullscreen_mode() { window_named quillrun | awk -F'|' '{ print $3 }' | head -n 1; }
for round in 1 2; do
  for want in 1 0; do
    as_user wtype "${switch_keys[@]}" || fail "wtype could not press ${switch_keys[*]}"
    for _ in $(seq 40); do [ "$(fullscreen_mode)" = "$want" ] && break; sleep 0.25; done
    [ "$(fullscreen_mode)" = "$want" ] || fail "Alt+Enter $round: the window's full-screen mode is" \
      "\"$(fullscreen_mode)\", not $want"
    wait_title "switch-$round-$want" 20 || fail "Alt+Enter $round: the title screen is gone"
  done
done
echo "$mode: ${switch_keys[*]} took the window to full screen and back twice, the title showing throughout"

press_escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"
echo "ok"
