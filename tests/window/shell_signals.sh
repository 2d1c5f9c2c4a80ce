#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP end the game the orderly way and then as killed by that
# signal (status 128 + N): once while the start-up question is showing, which must take
# the question's box (and any process showing it) along, and once while the game runs,
# which shuts it down through the same path as closing its window.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-shell-signals.XXXXXX)
log=$work/game.log
trap 'stop_game; rm -rf "$work"' EXIT

# The processes of the session the game was started in (setsid below), the game excepted.
session_left() {
  ps -eo pid=,sid= | awk -v sid="$game_pid" -v game="$game_pid" '$2 == sid && $1 != game { print $1 }'
}

# In a session of its own, with the three signals at their default action (a background
# job of a script starts with SIGINT ignored, which the game would respect).
start_in_session() {
  (cd "$build" && SDL_AUDIODRIVER=dummy exec setsid python3 -c '
import os, signal, sys
for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP): signal.signal(s, signal.SIG_DFL)
os.execv(sys.argv[1], sys.argv[1:])' "$build/quillrun") >"$log" 2>&1 &
  game_pid=$!
}

for signal in TERM INT HUP; do
  start_in_session
  wait_window "disp mode" >/dev/null || fail "SIG$signal: the question did not appear"
  kill -s "$signal" "$game_pid"
  wait_exit 10
  expected=$((128 + $(kill -l "$signal")))
  [ "$status" = "$expected" ] || fail "SIG$signal during the question: exit status $status, want $expected"
  sleep 0.3
  left=$(session_left)
  [ -z "$left" ] || { ps -o pid,ppid,pgid,sid,stat,args -p "$(echo $left | tr " " ,)"; fail "SIG$signal during the question left processes behind: $left"; }
  wait_no_window "disp mode" 5 || fail "SIG$signal during the question left its box on the screen"
done

start_in_session
answer_question Escape || fail "the question did not appear"
wait_window quillrun >/dev/null || fail "no game window"
sleep 1
kill -TERM "$game_pid"
wait_exit 10
[ "$status" = 143 ] || fail "SIGTERM while playing: exit status $status, want 143"
wait_no_window quillrun 5 || fail "the game's window stayed after SIGTERM"
echo "ok"
