#!/usr/bin/env bash
# With no display at all the game must not run on unseen and unstoppable: the question
# says on stderr that it could not be asked, the window cannot be made, and the program
# ends at once with status 1. Needs no X server, so it runs with or without one.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"

log=$(mktemp /tmp/qr-shell-nodisplay.XXXXXX)
trap 'stop_game; rm -f "$log"' EXIT
(cd "$build" && exec env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy ./quillrun) >"$log" 2>&1 &
game_pid=$!
wait_exit 30
[ "$status" = 1 ] || fail "exit status $status without a display (want 1)"
grep -q "FULL SCREEN ?" "$log" || fail "the unasked question is not on stderr"
grep -q "no display for the window" "$log" || fail "the missing window is not on stderr"
echo "ok"
