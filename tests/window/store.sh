#!/usr/bin/env bash
# The kept games, end to end under X. Two normal games are played in one run (the left
# button starts each, then the hand is left alone until the ships win), and `--scores`
# lists both; before the first the title has nothing under its last line, after them it
# shows the best. The second game is watched with `--watch` at speed x8 to the same end
# and score, and exported with `--export`, which the replay runner plays to that score.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-store.XXXXXX)
log=$work/game.log
cleanup() {
  stop_game
  rm -rf "$work"
}
trap cleanup EXIT

shot() { import -display "$DISPLAY" -window "$window" "$work/$1.png" 2>/dev/null; }
lit() {
  convert "$work/$1.png" -crop "$2" +repage -colorspace Gray -threshold 8% \
    -format '%[fx:int(mean*10000)/100]' info: 2>/dev/null || echo 0
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# The line under the title's copyright line, where the best scores go.
best_line=500x24+150+488
# The number of games --scores lists as ended (one in play is listed too, as cut).
kept() { "$build/quillrun" --scores | awk -F'\t' 'NR > 1 && $4 != "cut"' | grep -c . ; }

# The reading commands write nothing, not even to an empty file in the store's place.
mkdir -p "$work/empty/quillrun" && : >"$work/empty/quillrun/games.sqlite"
XDG_DATA_HOME=$work/empty "$build/quillrun" --scores >/dev/null || fail "--scores of an empty file failed"
[ "$(cd "$work/empty/quillrun" && find . -type f -size 0)" = ./games.sqlite ] ||
  fail "--scores wrote beside or into an empty file: $(ls -l "$work/empty/quillrun")"
# What the store's folder holds: each file's name and bytes.
folder() { (cd "$XDG_DATA_HOME/quillrun" && find . -type f | sort | xargs md5sum); }

start_game "$build/quillrun" "$build" "$log" --window
trap cleanup EXIT
window=$(wait_window quillrun) || fail "no game window"
sleep 1
xdotool windowfocus --sync "$window"
shot empty || fail "no screenshot"
above "$(lit empty $best_line)" 1 && fail "the title of an empty store shows something under its lines ($(lit empty $best_line)% lit)"
echo "under the title: $(lit empty $best_line)% lit with nothing kept"
[ "$(kept)" = 0 ] || fail "a new store lists games"

for game in 1 2; do
  xdotool windowfocus --sync "$window"
  xdotool click 1
  # The idle hand loses in about 500 frames; the writer closes the game at once.
  for _ in $(seq 600); do
    [ "$(kept)" = "$game" ] && break
    sleep 0.1
  done
  [ "$(kept)" = "$game" ] || fail "game $game is not listed by --scores: $("$build/quillrun" --scores)"
  sleep 0.5
  xdotool key Escape   # back to the title
  sleep 1
done
shot best || fail "no screenshot"
echo "under the title: $(lit best $best_line)% lit with two games kept"
above "$(lit best $best_line)" 2 || fail "the title does not show the best ($(lit best $best_line)% lit)"
xdotool key Escape     # and out
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status"

scores=$("$build/quillrun" --scores)
echo "$scores"
[ "$(echo "$scores" | head -1)" = "$(printf 'rank\tmode\tscore\tend\tframes\tdate\tid')" ] || fail "no header line"
[ "$(echo "$scores" | awk -F'\t' 'NR > 1 && $2 == "normal" && $4 == "over"' | wc -l)" = 2 ] ||
  fail "--scores does not list two normal games that ended"
second=$(echo "$scores" | awk -F'\t' 'NR > 1 { print $7 }' | sort -n | tail -1)
score=$(echo "$scores" | awk -F'\t' -v id="$second" 'NR > 1 && $7 == id { print $3 }')

# Exported, the run up to the second game's end replays to its score. Read while the
# store is read-only, it leaves no side files that would keep it so.
before=$(folder)
chmod 444 "$XDG_DATA_HOME/quillrun/games.sqlite"
"$build/quillrun" --export "$second" "$work/game.txt" || fail "--export failed"
"$build/quillrun" --scores >/dev/null || fail "--scores of a read-only store failed"
chmod 644 "$XDG_DATA_HOME/quillrun/games.sqlite"
[ "$(folder)" = "$before" ] || fail "--export and --scores changed the store's folder: $(folder)"
header=$(head -1 "$work/game.txt")
[[ "$header" =~ ^#\ quillrun-record\ 2\ rules\ [0-9]+\ seed\ ([0-9]+)$ ]] || fail "bad header: $header"
seed=${BASH_REMATCH[1]}
grep -qE '^# game begins at frame [0-9]+$' "$work/game.txt" || fail "no line giving the game's first frame"
last=$(tail -1 "$work/game.txt")
[[ "$last" =~ ^#\ frames\ ([0-9]+)\ score\ $score$ ]] || fail "bad closing line: $last"
frames=${BASH_REMATCH[1]}
summary=$("$build/quillrun-replay" --seed "$seed" --input "$work/game.txt" --summary) || fail "the replay runner failed"
[[ "$summary" =~ state\ game-over\ score\ $score\  ]] || fail "replayed to \"$summary\", kept score $score"
# (The summary's frame is the run's first end, the first game's; the last dump line is
# where the run stops: the second game's end.)
end=$("$build/quillrun-replay" --seed "$seed" --input "$work/game.txt" --dump | tail -1 |
  sed -n 's/^{"frameCounter":\([0-9]*\),"GameState":\([0-9]*\),.*"score":\([0-9-]*\),.*/\1 \2 \3/p')
[ "$end" = "$frames 2 $score" ] || fail "the export replays to frame/state/score $end, not $frames 2 $score"

# Watched at x8 to the same end.
log=$work/watch.log
start_game "$build/quillrun" "$build" "$log" --window --watch "$second"
window=$(wait_window quillrun) || fail "no window to watch in"
sleep 0.5
xdotool windowfocus --sync "$window"
xdotool key 4
for _ in $(seq 300); do
  grep -q "watched to frame" "$log" && break
  sleep 0.1
done
grep -q "watched to frame $((frames - 1)): game over, score $score," "$log" ||
  fail "the watched game did not end as kept (frame $((frames - 1)), score $score)"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "--watch ended with status $status"
echo "ok: two games kept, the second (score $score) watched, exported and replayed to its end"
