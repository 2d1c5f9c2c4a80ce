#!/usr/bin/env bash
# The offer at the end of a run, under X: a game played with a board set (--board, to a
# real quillrun-board of this test's) ends in GAME OVER; once the game's window is
# closed the game asks in its own box to send the run's best game, Yes sends it (the
# kept game's --export text, gzip-compressed, under the name given), the board plays it
# again to the score the game kept, and a second box and stdout give the place; the
# program ends with status 0. A run with no finished game asks nothing, and a quit
# signal while the box is up ends the program by that signal.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-board-offer.XXXXXX)
log=$work/game.log
board_pid=
cleanup() {
  # A box of the game's left open by a failure does not end on SIGTERM: the game is
  # killed outright after a while.
  if [ -n "${game_pid:-}" ] && kill -0 "$game_pid" 2>/dev/null; then
    kill "$game_pid" 2>/dev/null
    for _ in $(seq 30); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$game_pid" 2>/dev/null
    wait "$game_pid" 2>/dev/null
  fi
  [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null && wait "$board_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The board: the real one, on a SQLite file of this test's, playing every game it is
# sent again.
[ -x "$build/quillrun-board" ] || { echo "no quillrun-board in this build: skipped"; exit 77; }
"$build/quillrun-board" --db "$work/board.sqlite" --port 0 --bind 127.0.0.1 >"$work/board.out" 2>"$work/board.log" &
board_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/board.out" && break; sleep 0.1; done
url=$(sed -n 's|^quillrun-board: listening on \(http://[^ ]*\)/$|\1|p' "$work/board.out")
[ -n "$url" ] || fail "the board did not start: $(cat "$work/board.log")"
board_games() { curl -s "$url/api/top?mode=normal&limit=100" | python3 -c 'import json, sys; print(len(json.load(sys.stdin)["games"]))'; }

# A window called quillrun that is shown and is none of those given.
other_window() {
  local id
  for id in $(xwininfo -root -tree 2>/dev/null | awk 'index($0, "\"quillrun\":") { print $1 }'); do
    [[ " $* " == *" $id "* ]] && continue
    xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && { echo "$id"; return 0; }
  done
  return 1
}
wait_other_window() {
  for _ in $(seq 200); do
    other_window "$@" && return 0
    sleep 0.1
  done
  return 1
}
kept() { "$build/quillrun" --scores | awk -F'\t' 'NR > 1 && $4 != "cut"' | grep -c . ; }

# A run without a finished game: nothing is asked, nothing sent.
start_game "$build/quillrun" "$build" "$log" --window --board "$url"
trap cleanup EXIT
window=$(wait_window quillrun) || fail "no game window"
sleep 1
xdotool windowfocus --sync "$window"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "a run without a game ended with status $status"
[ "$(board_games)" = 0 ] || fail "a run without a finished game sent something"

# Plays a game with a board set to GAME OVER (the idle hand loses in about 500 frames)
# and leaves the program, which then asks its question: $1 is the number of finished
# games kept after it. Sets window (the game's) and question (the box's).
play_to_offer() {
  start_game "$build/quillrun" "$build" "$log" --window --board "$url" --name "Tess T"
  trap cleanup EXIT
  window=$(wait_window quillrun) || fail "no game window"
  sleep 1
  xdotool windowfocus --sync "$window"
  xdotool click 1
  for _ in $(seq 600); do
    [ "$(kept)" = "$1" ] && break
    sleep 0.1
  done
  [ "$(kept)" = "$1" ] || fail "game $1 did not end: $("$build/quillrun" --scores)"
  sleep 0.5
  xdotool key Escape   # back to the title
  sleep 1
  xdotool key Escape   # and out
  question=$(wait_other_window "$window") || fail "no question after game $1"
}

# A run whose game ends.
play_to_offer 1
xwininfo -id "$window" 2>/dev/null | grep -q 'Map State: IsViewable' && fail "the game's window is still shown under the question"
xdotool windowfocus --sync "$question" && xdotool key Return
# The question's box is gone once the game has the answer; the place is printed, then
# shown in a box of its own (which may take the question's window id again).
for _ in $(seq 200); do
  grep -q "took place" "$log" && break
  sleep 0.1
done
placed=$(wait_other_window "$window") || fail "no box with the place"
xdotool windowfocus --sync "$placed" && xdotool key Return
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after the offer"

scores=$("$build/quillrun" --scores)
id=$(echo "$scores" | awk -F'\t' 'NR > 1 && $4 == "over" { print $7 }')
score=$(echo "$scores" | awk -F'\t' 'NR > 1 && $4 == "over" { print $3 }')
# The board played the kept game again and came to the score the game kept.
grep -qx "quillrun: game $id took place 1 on the normal board (score $score, GAME OVER)" "$log" ||
  fail "the place is not on stdout: $(grep 'took place' "$log")"
"$build/quillrun" --export "$id" "$work/export.txt" || fail "--export failed"
began=$(sed -n 's/^# game begins at frame //p' "$work/export.txt")
top=$(curl -s "$url/api/top?mode=normal")
python3 - "$top" "$began" "$score" <<'PY' || fail "the board's entry is not the game sent: $top"
import json, sys
game = json.loads(sys.argv[1])["games"][0]
assert (game["name"], game["score"], game["place"]) == ("Tess T", int(sys.argv[3]), 1), game
PY
board_id=$(echo "$top" | python3 -c 'import json, sys; print(json.load(sys.stdin)["games"][0]["id"])')
curl -s "$url/api/games/$board_id" >"$work/kept-by-board.txt"
cmp -s "$work/kept-by-board.txt" "$work/export.txt" || fail "the board keeps another record than the kept game's"

# A quit signal while the offer's box is up ends the program by that signal, sending
# nothing.
play_to_offer 2
kill -TERM "$game_pid"
wait_exit 20
[ "$status" = 143 ] || fail "SIGTERM during the offer ended the program with status $status"
[ "$(board_games)" = 1 ] || fail "a game was sent after SIGTERM"
echo "ok: game $id (score $score) offered after the run, proved by the board and placed 1; SIGTERM at the offer ends the program"
