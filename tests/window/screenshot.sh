#!/usr/bin/env bash
# F12 under X, with the player's settings: a settings file that answers the start-up
# question gives a window at once (its bad line named in the log, the file left as it
# is); F12 keeps the picture as an 800 x 600 PNG of the title screen in the data
# folder's screenshots/, made as needed, and says where in one line. Where no folder can
# be made, F12 says so in one line and the game plays on. The first run of a player
# without settings writes the file with every default.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

scratch=$(mktemp -d /tmp/qr-f12.XXXXXX)
log=$scratch/log
cleanup() { stop_game; rm -rf "$scratch"; }
trap cleanup EXIT
mkdir -p "$scratch/config/quillrun"
settings="# mine
display = window
volume = loud
"
printf '%s' "$settings" >"$scratch/config/quillrun/settings.ini"

export XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_STATE_HOME=$scratch/state
start_game "$build/quillrun" "$build" "$log"
trap cleanup EXIT
window=$(wait_window quillrun) || fail "no game window: the setting did not answer the question"
[ -z "$(find_window "disp mode")" ] || fail "the question was asked despite display = window"
grep -q "settings.ini:3: volume \"loud\"" "$log" || fail "the bad line is not named: $(cat "$log")"
[ "$(cat "$scratch/config/quillrun/settings.ini")" = "$(printf '%s' "$settings")" ] || fail "the settings file was changed"

sleep 1
xdotool windowfocus --sync "$window"
xdotool key F12
shot=
for _ in $(seq 50); do
  shot=$(sed -n 's/^quillrun: screenshot saved to //p' "$log")
  [ -n "$shot" ] && break
  sleep 0.1
done
[ -n "$shot" ] || fail "no screenshot line: $(cat "$log")"
case $shot in "$scratch/data/quillrun/screenshots/"quillrun-*.png) ;; *) fail "screenshot in $shot" ;; esac
[ -f "$shot" ] || fail "no file $shot"
# 800 x 600, and a picture: the title screen has more than a handful of colours.
/usr/bin/python3 - "$shot" <<'PY' || fail "the screenshot is not the game's picture"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n"
width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
assert (width, height, depth, colour) == (800, 600, 8, 6), (width, height, depth, colour)
at, idat = 8, b""
while at < len(data):
    length, kind = struct.unpack(">I4s", data[at:at + 8])
    if kind == b"IDAT":
        idat += data[at + 8:at + 8 + length]
    at += 12 + length
raw = zlib.decompress(idat)
assert len(raw) == 600 * (1 + 800 * 4)
# Rows unfiltered well enough to count colours: filters change bytes, not the count of
# distinct rows, so distinct filtered rows stand in for a picture with content.
rows = {raw[y * 3201:(y + 1) * 3201] for y in range(600)}
assert len(rows) > 20, len(rows)
PY
[ "$(grep -cE '^quillrun: (screenshot saved|no screenshot)' "$log")" = 1 ] || fail "not one line for one F12: $(cat "$log")"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status"

# Nowhere to keep it: one line, and the game goes on.
: >"$log"
touch "$scratch/blocked"
export XDG_DATA_HOME=$scratch/blocked
start_game "$build/quillrun" "$build" "$log"
trap cleanup EXIT
window=$(wait_window quillrun) || fail "no game window on the second run"
sleep 1
xdotool windowfocus --sync "$window"
xdotool key F12
for _ in $(seq 50); do grep -q "no screenshot" "$log" && break; sleep 0.1; done
[ "$(grep -c 'no screenshot' "$log")" = 1 ] || fail "not one line for a failed screenshot: $(cat "$log")"
sleep 0.5
kill -0 "$game_pid" 2>/dev/null || fail "the game ended after a failed screenshot"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after a failed screenshot"

# A player without settings: the first run writes them all, and asks the question.
: >"$log"
export XDG_CONFIG_HOME=$scratch/fresh
start_game "$build/quillrun" "$build" "$log"
trap cleanup EXIT
answer_question Escape || fail "the question did not appear without settings"
wait_window quillrun >/dev/null || fail "no game window after the question"
for key in display scale mouse sensitivity pacing volume board; do
  grep -q "^$key = " "$scratch/fresh/quillrun/settings.ini" || fail "the first run's file lacks $key"
done
grep -q "^display = ask$" "$scratch/fresh/quillrun/settings.ini" || fail "display is not ask by default"
echo "ok"
