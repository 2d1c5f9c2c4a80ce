#!/usr/bin/env bash
# The game under X: the display-mode question comes first; "No" (Escape) gives a window
# titled "quillrun" whose client area is exactly 800 x 600; Escape on the title screen
# then ends the program with status 0.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

log=$(mktemp /tmp/qr-shell-start.XXXXXX)
start_game "$build/quillrun" "$build" "$log"
answer_question Escape || fail "the question did not appear"
window=$(wait_window quillrun) || fail "no game window after answering No"

geometry=$(xwininfo -id "$window")
width=$(awk '/Width:/ { print $2 }' <<<"$geometry")
height=$(awk '/Height:/ { print $2 }' <<<"$geometry")
[ "$width" = 800 ] && [ "$height" = 600 ] || fail "client area ${width}x${height}, not 800x600"

# Let the title screen run a few frames, then leave it.
sleep 1
kill -0 "$game_pid" 2>/dev/null || fail "the game ended on its own"
xdotool windowfocus --sync "$window"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"
rm -f "$log"
echo "ok"
