#!/usr/bin/env bash
# Closing the game's window (the window manager's close request, WM_DELETE_WINDOW) ends
# the program with status 0: once while the game runs in the foreground, and once while
# it is frozen in the background, where it blocks on its window's events instead of
# running frames.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-shell-close.XXXXXX)
log=$work/game.log
trap 'stop_game; rm -rf "$work"' EXIT

# What a window manager sends when the close button is clicked.
cat >"$work/close.c" <<'SOURCE'
#include <X11/Xlib.h>
#include <stdlib.h>
int main(int argc, char **argv) {
  if (argc != 2) return 2;
  Display *display = XOpenDisplay(NULL);
  if (!display) return 1;
  Window window = strtoul(argv[1], NULL, 0);
  XEvent event = {0};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = XInternAtom(display, "WM_DELETE_WINDOW", False);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XCloseDisplay(display);
  return 0;
}
SOURCE
cc -o "$work/close" "$work/close.c" -lX11 || fail "cannot build the close helper"

for where in foreground background; do
  start_game "$build/quillrun" "$build" "$log"
  trap 'stop_game; rm -rf "$work"' EXIT
  answer_question Escape || fail "$where: the question did not appear"
  window=$(wait_window quillrun) || fail "$where: no game window"
  sleep 1
  if [ "$where" = background ]; then
    # Another window takes the keyboard: the game freezes and waits.
    root=$(xwininfo -root | awk '/Window id:/ { print $4; exit }')
    xdotool windowfocus "$root"
    sleep 1
    ticks_before=$(awk '{ print $14 + $15 }' "/proc/$game_pid/stat")
    sleep 2
    ticks_after=$(awk '{ print $14 + $15 }' "/proc/$game_pid/stat")
    echo "background: $((ticks_after - ticks_before)) clock ticks of CPU in 2 s"
  fi
  "$work/close" "$window" || fail "$where: cannot send the close request"
  wait_exit 20
  [ "$status" = 0 ] || fail "$where: exit status $status after closing the window"
done
echo "ok"
