#!/usr/bin/env bash
# A real game recorded and played again without a window: `quillrun --record FILE`
# under X, a normal game started with the left button and swung through until ships
# fall, Escape back to the title and Escape again to end. The replay runner, given only
# the recording, must reproduce the game frame for frame: the same number of frames
# and score at the end as the recording's closing line, and the points scored on the way.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

log=$(mktemp /tmp/qr-shell-record.XXXXXX)
record=$(mktemp /tmp/qr-record.XXXXXX)
dump=$(mktemp /tmp/qr-record-dump.XXXXXX)
cleanup() { stop_game; rm -f "$record" "$dump"; }
start_game "$build/quillrun" "$build" "$log" --record "$record"
trap cleanup EXIT
answer_question Escape || fail "the question did not appear"
window=$(wait_window quillrun) || fail "no game window"
sleep 0.5
xdotool windowfocus --sync "$window"
# The header is written once start-up is over (device, fonts, sounds), which can take a
# while after the window appears on a busy machine.
for _ in $(seq 100); do
  head -1 "$record" | grep -qE '^# quillrun-record 2 rules [0-9]+ seed [0-9]+$' && break
  sleep 0.1
done
head -1 "$record" | grep -qE '^# quillrun-record 2 rules [0-9]+ seed [0-9]+$' || fail "no seed header: $(head -1 "$record")"

# The best score so far, from the game recorded up to now (whole lines only).
best_score() {
  "$build/quillrun-replay" --input "$record" --dump 2>/dev/null |
    sed -n 's/.*"score":\([0-9-]*\),.*/\1/p' | sort -n | tail -1
}

# The left button starts a normal game; held, it swings the blade. The hand sweeps
# round a square on the right half of the field, where the ships come in; the button
# is let go now and then so the power gauge recharges.
xdotool mousedown 1
sleep 0.3
xdotool mousemove_relative -- 400 -100   # to the right half
score=0
for round in $(seq 15); do
  for _ in $(seq 6); do
    for move in "60 0" "0 60" "-60 0" "0 -60"; do
      xdotool mousemove_relative -- $move
      sleep 0.03
    done
  done
  xdotool mouseup 1
  for _ in $(seq 4); do xdotool mousemove_relative -- 3 3; sleep 0.05; xdotool mousemove_relative -- -3 -3; sleep 0.05; done
  score=$(best_score)
  [ "${score:-0}" -gt 0 ] && break
  xdotool mousedown 1
done
xdotool mouseup 1
[ "${score:-0}" -gt 0 ] || fail "no ship or shot was cut in the time given"

xdotool key Escape   # back to the title
sleep 0.5
xdotool key Escape   # and out
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status"

last=$(tail -1 "$record")
[[ "$last" =~ ^#\ frames\ ([0-9]+)\ score\ (-?[0-9]+)$ ]] || fail "no closing line: $last"
frames=${BASH_REMATCH[1]}
final=${BASH_REMATCH[2]}

"$build/quillrun-replay" --input "$record" --dump >"$dump" || fail "the replay runner failed on the recording"
replayed=$(tail -1 "$dump" | sed -n 's/^{"frameCounter":\([0-9]*\),.*"score":\([0-9-]*\),.*/\1 \2/p')
[ "$replayed" = "$frames $final" ] || fail "replayed to frame/score $replayed, the game ended at $frames $final"
[ "$(wc -l <"$dump")" = "$frames" ] || fail "the replay ran $(wc -l <"$dump") frames, the game $frames"
best=$(sed -n 's/.*"score":\([0-9-]*\),.*/\1/p' "$dump" | sort -n | tail -1)
[ "$best" -ge "$score" ] || fail "the replay's best score $best is below the $score seen"
# The game was a real one: started from the title, back on it at the end.
grep -q '"GameState":1,' "$dump" || fail "no frame of play in the replay"
tail -1 "$dump" | grep -q '"GameState":0,' || fail "the replay does not end on the title"
rm -f "$log"
echo "ok: $frames frames, best score $best, replayed exactly"
