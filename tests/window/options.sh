#!/usr/bin/env bash
# quillrun's options for real: --help and --version answer on stdout with status 0 and
# the version is the one the metainfo releases; anything else gives the usage on stderr
# and status 2; --window and --fullscreen start without the question, in a window of
# 800 x 600 or across the screen; --scale 2 makes a 1600 x 1200 window in which the hand
# still moves by the game's own pixels (on an X server of the test's own, as the window
# would not fit the test command's screen).
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-options.XXXXXX)
log=$work/game.log
trap 'stop_game; stop_own_xvfb; rm -rf "$work"' EXIT
game=$build/quillrun

"$game" --help >"$work/out" 2>"$work/err"
[ $? = 0 ] && grep -q '^usage: quillrun' "$work/out" && [ ! -s "$work/err" ] || fail "--help: not the usage on stdout with status 0"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$build/packaging/org.quillrun.quillrun.metainfo.xml")
"$game" --version >"$work/out" 2>"$work/err"
[ $? = 0 ] && [ "$(cat "$work/out")" = "quillrun $release" ] || fail "--version: \"$(cat "$work/out")\", not quillrun $release"
for args in "--bogus" "play" "-h" "--scale 0" "--scale 5" "--scale" "--window=1" "--window --bogus" \
  "--sensitivity 0x1p1" "--board http://b:99999/"; do
  # shellcheck disable=SC2086
  "$game" $args >"$work/out" 2>"$work/err"
  code=$?
  [ "$code" = 2 ] && [ ! -s "$work/out" ] && grep -q '^usage: quillrun' "$work/err" ||
    fail "\"$args\": status $code, $(wc -c <"$work/out") bytes on stdout"
done
"$build/quillrun-replay" --help >"$work/out" 2>"$work/err"
[ $? = 0 ] && grep -q '^usage: quillrun-replay' "$work/out" && [ ! -s "$work/err" ] || fail "quillrun-replay --help"

# Starts the game with the given options; no question may appear before its window.
start_without_question() {
  (cd "$build" && SDL_AUDIODRIVER=dummy exec "$game" "$@") >"$log" 2>&1 &
  game_pid=$!
  for _ in $(seq 200); do
    [ -n "$(find_window "disp mode")" ] && fail "$*: the question was asked"
    window=$(find_window quillrun)
    [ -n "$window" ] && return 0
    sleep 0.1
  done
  fail "$*: no game window"
}

# The client area of the window, as WIDTHxHEIGHT.
client_size() {
  xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'
}

quit() {
  xdotool windowfocus --sync "$window"
  xdotool key Escape
  wait_exit 20
  [ "$status" = 0 ] || fail "$1: exit status $status after Escape"
}

start_without_question --window
[ "$(client_size "$window")" = 800x600 ] || fail "--window: client area $(client_size "$window")"
quit --window

start_without_question --fullscreen
screen=$(xdpyinfo | awk '/dimensions:/ { print $2 }')
sleep 0.5
[ "$(client_size "$window")" = "$screen" ] || fail "--fullscreen: $(client_size "$window") on a $screen screen"
quit --fullscreen

# The hand's centre on the screen: the median column of the bright pixels near where it
# started, out to where 200 pixels of motion take it and no further: the first ship comes
# in from the right within a second or two, sooner the faster the frames are drawn, and
# a median is not pulled aside by a passing star or spark.
hand_x() {
  import -display "$DISPLAY" -window "$window" "$work/shot.png" 2>/dev/null
  convert "$work/shot.png" -crop 470x300+250+450 +repage -colorspace Gray -depth 8 "gray:$work/shot.gray" 2>/dev/null
  python3 - "$work/shot.gray" <<'PY'
import sys
grey = open(sys.argv[1], 'rb').read()
xs = sorted(250 + i % 470 for i, v in enumerate(grey) if v > 102)
print(xs[len(xs) // 2] if xs else -1)
PY
}

start_own_xvfb 1700x1300
start_without_question --window --scale 2
[ "$(xdotool getwindowgeometry "$window" | awk '/Geometry:/ { print $2 }')" = 1600x1200 ] ||
  fail "--scale 2: window $(xdotool getwindowgeometry "$window" | awk '/Geometry:/ { print $2 }')"
[ "$(client_size "$window")" = 1600x1200 ] || fail "--scale 2: client area $(client_size "$window")"
xdotool windowfocus --sync "$window"
sleep 0.5
xdotool click 1
# The hand starts at (200, 300) of the game's picture: (400, 600) on the screen, and 200
# if the picture were not scaled. Held to 400 within 40, as whatever else is lit near the
# hand moves the median a little; the motion below is measured from wherever it is.
start=$(hand_x_within 360 440)
[ "$start" -ge 360 ] && [ "$start" -le 440 ] || fail "--scale 2: the hand starts at x $start on the screen, not 400"
# 200 screen pixels of motion are 100 of the game's: the hand moves 200 on the screen
# (400 if the motion were taken in screen pixels). Some motion may be lost to the
# pointer's warps, so the bounds are wide.
for _ in $(seq 10); do xdotool mousemove_relative -- 20 0; sleep 0.05; done
moved=$(( $(hand_x_within $((start + 140)) $((start + 260))) - start ))
[ "$moved" -ge 140 ] && [ "$moved" -le 260 ] || fail "--scale 2: 200 screen pixels of motion moved the hand $moved"
echo "--scale 2: the hand started at x $start and moved $moved screen pixels for 200 of motion"
xdotool key Escape
sleep 0.3
quit "--scale 2"
echo "ok"
