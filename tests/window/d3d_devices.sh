#!/usr/bin/env bash
# Which device the game starts on, and that it shows its picture: on the display given
# (with GLX, Mesa's software OpenGL) the hardware device; on a second X server started
# here without GLX, the reference device, presenting through the window without OpenGL.
# Then a full-screen run asks for the vertical retrace, loses the focus and gets it
# back: the device is lost once, reset once, and the frames go on.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-d3d.XXXXXX)
log=$work/game.log
xvfb_pid=
cleanup() {
  stop_game
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The share of the window's pixels that are not black, in percent (the title screen's
# texts and particles light a few percent of it).
lit_percent() {
  import -display "$DISPLAY" -window "$1" "$work/shot.png" 2>/dev/null || { echo 0; return; }
  convert "$work/shot.png" -colorspace Gray -threshold 8% -format '%[fx:int(mean*10000)/100]' info: 2>/dev/null || echo 0
}

# Starts the game windowed on the current display (with the options after the label)
# and waits for its window; the picture must not stay black.
run_windowed() {
  local attempt
  for attempt in 1 2; do
    start_game "$build/quillrun" "$build" "$log" "${@:2}"
    trap cleanup EXIT
    answer_question Escape || fail "$1: the question did not appear"
    window=$(wait_window quillrun) && break
    # Now and then SDL cannot open the X display on a busy machine and the game says
    # so; that is not what this test is about, so it is tried once more (and said).
    grep -q 'no display for the window' "$log" && [ "$attempt" = 1 ] || fail "$1: no game window"
    echo "$1: the game could not open the display, trying again"
    stop_game
  done
  local lit=0
  for _ in $(seq 30); do
    sleep 0.2
    # Looked up again each time: without GLX the first window made is replaced by one
    # without OpenGL.
    window=$(find_window quillrun)
    [ -n "$window" ] || continue
    lit=$(lit_percent "$window")
    awk -v l="$lit" 'BEGIN { exit !(l > 0.2) }' && break
  done
  awk -v l="$lit" 'BEGIN { exit !(l > 0.2) }' || fail "$1: the window stays black ($lit% lit)"
  echo "$1: $lit% of the window lit"
  xdotool windowfocus --sync "$window"
  xdotool key Escape
  wait_exit 20
  [ "$status" = 0 ] || fail "$1: exit status $status after Escape"
}

# 1. With GLX: the hardware device.
run_windowed "with GLX" --pacing original
grep -q '^d3d8: hardware device, 800x600' "$log" || fail "with GLX: the game did not start on the hardware device"
# With the original pacing a window presents at once: no word of the vertical retrace.
grep -q 'vertical retrace' "$log" && fail "with GLX: the windowed game asked for the vertical retrace"
# Smooth pacing (the default) asks a window for the retrace too, or says why it cannot.
run_windowed "with GLX, smooth"
grep -q 'vertical retrace' "$log" || fail "with GLX, smooth: the windowed game did not ask for the vertical retrace"

# 2. A server without GLX: the hardware device fails cleanly and the reference one runs.
display=
for n in $(seq 121 160); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free display number"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset -extension GLX >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
glx_display=$DISPLAY
export DISPLAY=$display
xdpyinfo | grep -q GLX && fail "the second server still offers GLX"
run_windowed "without GLX"
grep -q '^d3d8: reference device, 800x600' "$log" || fail "without GLX: the game did not start on the reference device"
grep -q 'hardware device unavailable' "$log" || fail "without GLX: no line saying why the hardware device is missing"
export DISPLAY=$glx_display

# 3. Full screen: lose the focus and get it back.
start_game "$build/quillrun" "$build" "$log"
trap cleanup EXIT
answer_question Return || fail "full screen: the question did not appear"
window=$(wait_window quillrun) || fail "full screen: no game window"
sleep 1
xdotool windowfocus --sync "$window"
sleep 0.5
root=$(xwininfo -root | awk '/Window id:/ { print $4; exit }')
xdotool windowfocus "$root"
sleep 1
xdotool windowfocus --sync "$window"
sleep 1.5
# Full screen presents on the vertical retrace, or says why it cannot (Xvfb has none).
grep -q 'vertical retrace' "$log" || fail "full screen: the device did not ask for the vertical retrace"
lost=$(grep -c 'device is lost' "$log")
reset=$(grep -c 'device is reset' "$log")
[ "$lost" = 1 ] || fail "full screen: the device was lost $lost times, not once"
[ "$reset" = 1 ] || fail "full screen: the device was reset $reset times, not once"
lit=$(lit_percent "$window")
awk -v l="$lit" 'BEGIN { exit !(l > 0.2) }' || fail "full screen: no picture after the reset ($lit% lit)"
kill -0 "$game_pid" 2>/dev/null || fail "full screen: the game ended"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "full screen: exit status $status after Escape"
grep -q 'Reset' "$log" && grep -q 'ERROR' "$log" && fail "full screen: a message box about Reset"
echo "ok"
