#!/usr/bin/env bash
# Runs one window test on an X server of its own, so that window tests can run side by
# side: none finds another's windows by name or takes another's focus. The server is a
# bare Xvfb with GLX, as the test command used to share, left with -noreset (an X server
# that resets when its last client leaves refuses connections meanwhile, and the
# start-up question's box is often the last client just before the game's window
# connects). QR_TEST_DISPLAY=given runs the test on $DISPLAY instead (one at a time).
#   own_display.bash SCRIPT ARGUMENTS...
set -u
script=$1
shift
if [ "${QR_TEST_DISPLAY:-}" = given ] || ! command -v Xvfb >/dev/null; then
  exec bash "$script" "$@"
fi

number_file=$(mktemp /tmp/qr-display.XXXXXX)
# -displayfd: the server takes the first free display number itself and writes it
# there, so two tests starting at once never race for the same one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$number_file"' EXIT
for _ in $(seq 100); do
  [ -s "$number_file" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
number=$(tr -dc 0-9 <"$number_file")
if [ -z "$number" ]; then
  echo "FAIL: no X server of its own for $(basename "$script")"
  exit 1
fi
export DISPLAY=:$number
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
bash "$script" "$@"
