#!/usr/bin/env bash
# The start-up question natively under a Wayland compositor (sway, headless, drawing in
# software), where SDL's own message box needs zenity and the test machine has none: the
# game started without --window must still ask "FULL SCREEN ?", in a window of its own
# (user32's question box), before any game window. Escape answers No: the box goes and
# the game opens its 800 x 600 window, not full screen, and shows the title; Escape
# there ends the program with status 0. A quit signal while the question is up ends the
# program by that signal.
#
# The compositor, the keyboard and running as the test user when root are in
# sway_helpers.bash. Skipped (77) without sway and its tools unless QR_REQUIRE_WAYLAND=1,
# and where zenity is installed (SDL would show its own box).
set -u
build=$(cd "$1" && pwd)
test_name=question
. "$(dirname "$0")/sway_helpers.bash"
require_compositor
if command -v zenity >/dev/null; then
  echo "zenity is installed: SDL shows its own box, not the game's; skipped"
  exit 77
fi

copy_build qr-wayland-question
start_compositor disable
game_env=(SDL_VIDEODRIVER=wayland)

# First a quit signal while the question is up: it closes the box, and the game, asked
# nothing more, ends by that signal (143 for SIGTERM) leaving no window behind. (Done
# before any key is typed: once wtype has typed, the seat's keymap is wtype's own, and
# SDL's Wayland keyboard has been seen to crash on it in the next program it starts.)
start_game
for _ in $(seq 120); do
  [ -n "$(window_named "disp mode")" ] && break
  sleep 0.25
done
[ -n "$(window_named "disp mode")" ] || fail "the question did not come"
kill -TERM "$game_pid"
wait_exit 30
[ "$status" = 143 ] || fail "exit status $status after SIGTERM during the question (want 143)"
[ -z "$(windows)" ] || fail "windows left after SIGTERM: $(windows | tr '\n' ' ')"
echo "question: SIGTERM during the question ended the program by it"

# Then the question answered: the game as a player starts it, no answer given beforehand.
start_game

# The question: a focused window called "disp mode", the game's window not made yet, and
# on the screen its white paper with black text. The box keeps its own small size, and
# the compositor shows it in the middle of the output whether it floats or is tiled (a
# tile bigger than the window is the compositor's grey around it, not black).
box=
for _ in $(seq 120); do
  kill -0 "$game_pid" 2>/dev/null || fail "the game ended without asking"
  box=$(window_named "disp mode")
  [ -n "$box" ] && [ "$(echo "$box" | cut -d'|' -f2)" = true ] && break
  box=
  sleep 0.25
done
[ -n "$box" ] || fail "no focused question window in 30 s (windows: $(windows | tr '\n' ' '))"
[ -z "$(window_named quillrun)" ] || fail "the game's window came before the answer"
area=480x240+160+180
shown=no
for _ in $(seq 40); do
  if shot question && above "$(lit question "$area" 90)" 5 && above "$(lit question "$area" 12 dark)" 0.1; then
    shown=yes
    break
  fi
  sleep 0.25
done
[ "$shown" = yes ] || fail "the middle of the screen shows no paper with text (bright $(lit question "$area" 90)%," \
  "dark $(lit question "$area" 12 dark)%)"
grep -q "no display for the message box \"disp mode: FULL SCREEN ?\"" "$log" ||
  fail "SDL's own box was not the one that failed"
echo "question: asked in a window of the game's own, before any game window"

# Escape answers No: the question goes, and the game's window is 800 x 600, not full
# screen, and shows the title screen.
press_escape
game=
for _ in $(seq 80); do
  kill -0 "$game_pid" 2>/dev/null || fail "the game ended after the answer"
  game=$(window_named quillrun)
  [ -n "$game" ] && break
  sleep 0.25
done
[ -n "$game" ] || fail "no game window after Escape (windows: $(windows | tr '\n' ' '))"
[ -z "$(window_named "disp mode")" ] || fail "the question window is left after the answer"
[ "$(echo "$game" | cut -d'|' -f3)" = 0 ] || fail "Escape answered Yes: the game's window is full screen ($game)"
title=no
for _ in $(seq 120); do
  kill -0 "$game_pid" 2>/dev/null || break
  if shot title && is_title title; then title=yes; break; fi
  sleep 0.25
done
[ "$title" = yes ] || fail "the title screen never showed after the answer"
game=$(window_named quillrun)
state=$(echo "$game" | cut -d'|' -f2,4)
[ "${state%%+*}" = "true|800x600" ] ||
  fail "the game's window is \"$game\", not focused and 800x600"
echo "question: Escape answered No; the title showed in the 800x600 window"

# Escape on the title ends the program.
press_escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"

echo "ok"
