#!/usr/bin/env bash
# The sound library is looked up only next to the executable. Run from a copy of the
# game whose directory has no libezds.so, with a working directory that holds one (that
# would leave a mark if it were ever loaded): LoadLibraryA returns null without a crash,
# the game says on stderr what it could not load, runs silent, and Escape ends it with 0.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
require_display

work=$(mktemp -d /tmp/qr-shell-library.XXXXXX)
log=$work/game.log
trap 'stop_game; rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/run"
cp "$build/quillrun" "$work/bin/"
ln -s "$build/data" "$work/run/data"

cat >"$work/stray.c" <<'SOURCE'
#include <stdio.h>
#include <stdlib.h>
__attribute__((constructor)) static void Loaded(void) {
  FILE *mark = fopen(getenv("QR_STRAY_MARK"), "w");
  if (mark) fclose(mark);
}
SOURCE
cc -shared -fPIC -o "$work/run/libezds.so" "$work/stray.c" || fail "cannot build the stray library"
export QR_STRAY_MARK=$work/stray-was-loaded

start_game "$work/bin/quillrun" "$work/run" "$log"
trap 'stop_game; rm -rf "$work"' EXIT
answer_question Escape || fail "the question did not appear"
window=$(wait_window quillrun) || fail "no game window without the sound library"
sleep 1
kill -0 "$game_pid" 2>/dev/null || fail "the game ended without its sound library"
xdotool windowfocus --sync "$window"
xdotool key Escape
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status"
[ -e "$QR_STRAY_MARK" ] && fail "the library in the working directory was loaded"
grep -q "libezds.so" "$log" || fail "nothing on stderr about the missing library"
echo "ok"
