#!/usr/bin/env bash
# "Yes" to the display-mode question: the window covers the whole screen at the desktop's
# own resolution (no mode switch), and Escape on the title screen still ends the program
# with status 0.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

screen=$(xwininfo -root | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
log=$(mktemp /tmp/qr-shell-full.XXXXXX)
start_game "$build/quillrun" "$build" "$log"
answer_question Return || fail "the question did not appear"
window=$(wait_window quillrun) || fail "no game window after answering Yes"
size=""
for _ in $(seq 50); do
  size=$(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
  [ "$size" = "$screen" ] && break
  sleep 0.1
done
[ "$size" = "$screen" ] || fail "full-screen window is $size, the screen $screen"
[ "$(xdpyinfo | awk '/dimensions:/ { print $2 }')" = "$screen" ] || fail "the screen's mode changed"

sleep 1
xdotool windowfocus --sync "$window"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after Escape"
rm -f "$log"
echo "ok"
