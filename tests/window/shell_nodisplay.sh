#!/usr/bin/env bash
# With no display at all the game must not run on unseen and unstoppable: the question
# says on stderr that it could not be asked, the window cannot be made, and the program
# ends at once with status 1. Needs no X server, so it runs with or without one. Both
# with no zenity on the PATH and with one that cannot open the display (as the real one
# fails without a display), which must count as a box not shown, not as an answer.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"

log=$(mktemp /tmp/qr-shell-nodisplay.XXXXXX)
tools=$(mktemp -d /tmp/qr-shell-nodisplay-path.XXXXXX)
trap 'stop_game; rm -rf "$log" "$tools"' EXIT
mkdir "$tools/none" "$tools/failing"
cat >"$tools/failing/zenity" <<'ZENITY'
#!/bin/sh
echo "(zenity:$$): Gtk-WARNING **: cannot open display: ${DISPLAY:-}" >&2
exit 1
ZENITY
chmod +x "$tools/failing/zenity"

for case in none failing; do
  (cd "$build" && exec env -u DISPLAY -u WAYLAND_DISPLAY PATH="$tools/$case" SDL_AUDIODRIVER=dummy ./quillrun) \
    >"$log" 2>&1 &
  game_pid=$!
  wait_exit 30
  [ "$status" = 1 ] || fail "zenity $case: exit status $status without a display (want 1)"
  grep -q "FULL SCREEN ?" "$log" || fail "zenity $case: the unasked question is not on stderr"
  grep -q "no display for the window" "$log" || fail "zenity $case: the missing window is not on stderr"
done
echo "ok"
