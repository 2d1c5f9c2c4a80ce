# Helpers of the install and package tests (sourced, not a test itself): play an
# installed game the way a player would, from / as the working directory, and check
# that it found its data and its sound library there.

# Peak of the 16-bit samples of a raw audio file between two byte offsets.
audio_peak() {
  python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
start, end = int(sys.argv[2]) & ~3, min(int(sys.argv[3]), len(data)) & ~3
samples = struct.unpack('<%dh' % ((end - start) // 2), data[start:end]) if end > start else ()
print(max((abs(s) for s in samples), default=0))
PY
}

# Says why the picture around the hand's start (200, 300) is not the textured hand, or
# nothing when it is: a textured hand lights part of the square around it, in many
# colours, with the background showing at the corners; an untextured sprite is one
# flat square.
hand_problem() {
  convert "$1" -crop 60x60+170+270 +repage -depth 8 "rgb:$1.raw" || { echo "no screenshot"; return; }
  python3 - "$1.raw" <<'PY'
import sys
raw = open(sys.argv[1], 'rb').read()
pixels = [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]
lit = sum(1 for p in pixels if max(p) > 128) / max(len(pixels), 1)
colours = len(set(pixels))
corners = [pixels[y * 60 + x] for y in (0, 59) for x in (0, 59)]
if len(pixels) != 3600: print("the screenshot is too small")
elif not 0.03 < lit < 0.6: print("%.0f%% of the square around the hand is lit" % (lit * 100))
elif colours < 40: print("only %d colours around the hand" % colours)
elif any(max(c) > 64 for c in corners): print("the corners around the hand are not background")
PY
}

# Plays the game at $1 from /, with its sound going to a file: the question answered
# No, a click starts a game whose hand is textured, holding the right button sounds,
# and Escape twice ends the program with status 0. $2 names the run in messages.
play_from_root() {
  local game=$1 what=$2 audio=$work/$2.raw shot=$work/$2.png problem before after
  log=$work/$2.log
  (cd / && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$audio exec "$game") >"$log" 2>&1 &
  game_pid=$!
  answer_question Escape || fail "$what: the question did not appear"
  window=$(wait_window quillrun) || fail "$what: no game window"
  xdotool windowfocus --sync "$window"
  sleep 0.5
  xdotool click 1
  # The game's picture, once drawn: up to 10 s on a busy machine.
  for _ in $(seq 20); do
    sleep 0.5
    import -display "$DISPLAY" -window "$window" "$shot" 2>/dev/null || fail "$what: no screenshot"
    problem=$(hand_problem "$shot")
    [ -z "$problem" ] && break
  done
  [ -z "$problem" ] || fail "$what: the hand is not textured ($problem)"
  # Nothing sounds while the hand rests; holding the right button plays the slow motion.
  before=$(stat -c %s "$audio")
  [ "$(audio_peak "$audio" 0 "$before")" -lt 100 ] || fail "$what: sound before the right button"
  xdotool mousedown 3
  sleep 1
  xdotool mouseup 3
  after=$(stat -c %s "$audio")
  [ "$(audio_peak "$audio" "$before" "$after")" -gt 1000 ] || fail "$what: holding the right button made no sound"
  xdotool key Escape
  sleep 0.3
  xdotool key Escape
  wait_exit 20
  [ "$status" = 0 ] || fail "$what: exit status $status after Escape twice"
  ! grep -q "no game data\|cannot load\|cannot open" "$log" || fail "$what: something was not found"
  echo "$what: textured, sounding, ended with status 0"
}
