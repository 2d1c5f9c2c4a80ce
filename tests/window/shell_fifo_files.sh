#!/usr/bin/env bash
# A named pipe in place of a texture, a sound or the sound library must not hang the
# game: each is refused with one line on stderr before anything reads from it, the game
# reaches its title screen (without that texture, that sound or any sound), and Escape
# ends it with status 0. Nobody ever writes to the pipes.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-shell-fifo.XXXXXX)
log=$work/game.log
trap 'stop_game; rm -rf "$work"' EXIT

# A copy of the game with its library and data, one of them replaced by a pipe.
prepare() {
  rm -rf "$work/bin" "$work/run"
  mkdir -p "$work/bin" "$work/run/data"
  cp "$build/quillrun" "$build/libezds.so" "$work/bin/"
  for file in "$build"/data/*; do ln -s "$file" "$work/run/data/"; done
  rm -f "$work/$1"
  mkfifo "$work/$1"
}

for pipe in run/data/qrtex1.dds run/data/bom.wav bin/libezds.so; do
  prepare "$pipe"
  start_game "$work/bin/quillrun" "$work/run" "$log"
  trap 'stop_game; rm -rf "$work"' EXIT
  answer_question Escape || fail "$pipe: the question did not appear"
  window=$(wait_window quillrun) || fail "$pipe: no game window"
  # The title screen runs: the game takes CPU time for its frames instead of sleeping
  # in an open() that waits for a writer.
  sleep 1
  ticks_before=$(awk '{ print $14 + $15 }' "/proc/$game_pid/stat")
  sleep 1
  ticks_after=$(awk '{ print $14 + $15 }' "/proc/$game_pid/stat")
  [ "$ticks_after" -gt "$ticks_before" ] || fail "$pipe: the game is stuck"
  xdotool windowfocus --sync "$window"
  xdotool key Escape
  wait_exit 20
  [ "$status" = 0 ] || fail "$pipe: exit status $status"
  grep -q "$(basename "$pipe").*not a regular file" "$log" || fail "$pipe: nothing on stderr about the pipe"
done
echo "ok"
