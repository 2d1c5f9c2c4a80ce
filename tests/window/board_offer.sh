#!/usr/bin/env bash
# The offer at the end of a run, under X: a game played with a board set (--board, to a
# small board in this script that keeps what it is sent and places every game third)
# ends in GAME OVER; once the game's window is closed the game asks in its own box to
# send the run's best game, Yes sends it (the kept game's --export text, gzip-compressed,
# under the name given) and a second box and stdout give the place; the program ends
# with status 0. A run with no finished game asks nothing.
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

# The board: answers each POST with a placing and keeps its path and its opened body.
python3 - "$work" >"$work/board.log" 2>&1 <<'PY' &
import gzip, http.server, json, sys
work = sys.argv[1]
class Board(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        if self.headers.get('Content-Encoding') == 'gzip':
            body = gzip.decompress(body)
        with open(work + '/body.txt', 'wb') as f:
            f.write(body)
        with open(work + '/request.txt', 'w') as f:
            f.write(self.path + '\n' + self.headers.get('Content-Type', '') + '\n')
        answer = json.dumps({'id': 1, 'name': 'x', 'mode': 'normal', 'end': 'over', 'score': 77, 'shield': 0,
                             'frames': 9, 'began': 0, 'rules': 1, 'place': 3, 'url': '/api/games/1'}).encode()
        self.send_response(201)
        self.send_header('Content-Type', 'application/json')
        self.send_header('Content-Length', str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)
server = http.server.HTTPServer(('127.0.0.1', 0), Board)
with open(work + '/port', 'w') as f:
    f.write(str(server.server_port))
server.serve_forever()
PY
board_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || fail "the test's board did not start"
url=http://127.0.0.1:$(cat "$work/port")

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
[ ! -e "$work/request.txt" ] || fail "a run without a finished game sent something"

# A run whose game ends: the idle hand loses in about 500 frames.
start_game "$build/quillrun" "$build" "$log" --window --board "$url" --name "Tess T"
trap cleanup EXIT
window=$(wait_window quillrun) || fail "no game window"
sleep 1
xdotool windowfocus --sync "$window"
xdotool click 1
for _ in $(seq 600); do
  [ "$(kept)" = 1 ] && break
  sleep 0.1
done
[ "$(kept)" = 1 ] || fail "the game did not end: $("$build/quillrun" --scores)"
sleep 0.5
xdotool key Escape   # back to the title
sleep 1
xdotool key Escape   # and out
question=$(wait_other_window "$window") || fail "no question after the run"
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
grep -qx "quillrun: game $id took place 3 on the normal board (score 77, GAME OVER)" "$log" ||
  fail "the place is not on stdout"
"$build/quillrun" --export "$id" "$work/export.txt" || fail "--export failed"
began=$(sed -n 's/^# game begins at frame //p' "$work/export.txt")
[ "$(head -1 "$work/request.txt")" = "/api/games?name=Tess%20T&game=$began" ] ||
  fail "sent to $(head -1 "$work/request.txt"), not the game beginning at frame $began"
[ "$(sed -n 2p "$work/request.txt")" = "text/plain; charset=utf-8" ] || fail "not sent as text"
cmp -s "$work/body.txt" "$work/export.txt" || fail "the body sent is not the kept game's record"
echo "ok: game $id (score $score) offered after the run, sent, placed 3"
