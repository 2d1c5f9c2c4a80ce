#!/usr/bin/env bash
# `quillrun --demo`: with no input from the test, the built-in player starts a game and
# plays it (the HUD's power gauge is drawn and the field changes between two pictures).
# Escape brings back the title screen, which stays there, with no game starting by
# itself, until the left button is clicked; that starts a game as usual.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-demo.XXXXXX)
log=$work/game.log
cleanup() {
  stop_game
  rm -rf "$work"
}

shot() { import -display "$DISPLAY" -window "$window" "$work/$1.png" 2>/dev/null; }
# The share, in percent, of a region (WxH+X+Y) of a picture that is lit.
lit() {
  convert "$work/$1.png" -crop "$2" +repage -colorspace Gray -threshold 8% \
    -format '%[fx:int(mean*10000)/100]' info: 2>/dev/null || echo 0
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# The gauge's two base lines run from x 300 to 500 under the power bar in every game
# frame; the title screen draws nothing up there but a passing star now and then.
gauge=200x4+300+25
title_text=600x40+100+365
field=800x540+0+60

start_game "$build/quillrun" "$build" "$log" --demo
trap cleanup EXIT
answer_question Escape || fail "the question did not appear"
window=$(wait_window quillrun) || fail "no game window"

# The player starts the game from the title screen on its own.
playing=0
for _ in $(seq 40); do
  sleep 0.25
  shot a || continue
  if above "$(lit a $gauge)" 60; then playing=1; break; fi
done
[ "$playing" = 1 ] || fail "no game started in the demo (gauge $(lit a $gauge)% lit)"
sleep 1.5
shot a && sleep 0.7 && shot b || fail "no screenshot"
above "$(lit b $gauge)" 60 || fail "the HUD is gone in the demo"
convert "$work/a.png" -crop $field +repage "$work/fa.png" && convert "$work/b.png" -crop $field +repage "$work/fb.png" ||
  fail "cannot crop the screenshots"
changed=$(compare -metric AE -fuzz 5% "$work/fa.png" "$work/fb.png" null: 2>&1)
[[ "$changed" =~ ^[0-9]+$ ]] || fail "cannot compare the screenshots: $changed"
above "$changed" 500 || fail "the field did not move in the demo ($changed pixels changed)"
echo "demo: the field changed in $changed pixels"

# Escape: back to the title screen, and it stays.
xdotool windowfocus --sync "$window"
xdotool key Escape
sleep 0.5
for n in 1 2 3 4 5 6; do
  shot t || fail "no screenshot"
  above "$(lit t "$title_text")" 1 || fail "no title screen ${n}: $(lit t "$title_text")% of its text lit"
  above "$(lit t $gauge)" 30 && fail "a game started by itself after Escape"
  sleep 0.5
done
kill -0 "$game_pid" 2>/dev/null || fail "the game ended after Escape"

# The person's own click starts a game.
xdotool click 1
started=0
for _ in $(seq 20); do
  sleep 0.25
  shot g || continue
  if above "$(lit g $gauge)" 60; then started=1; break; fi
done
[ "$started" = 1 ] || fail "the left button did not start a game after the demo"

# Escape back to the title, Escape again ends the program.
xdotool key Escape
sleep 0.5
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"
echo "ok"
