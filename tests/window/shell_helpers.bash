# Helpers of the shell's window tests (sourced, not a test itself): start the game from
# a build directory under the X server of $DISPLAY, find its windows by name with
# xwininfo (xdotool cannot match the UTF-8 names SDL gives them), answer the start-up
# question, and wait for the program's end.

# Skips the test (status 77) without a display.
require_display() {
  if [ -z "${DISPLAY:-}" ]; then
    echo "no DISPLAY: skipped"
    exit 77
  fi
}

# The id of the first top-level window called exactly $1, or nothing.
find_window() {
  xwininfo -root -tree 2>/dev/null | awk -v name="\"$1\":" 'index($0, name) { print $1; exit }'
}

# Waits up to $2 seconds (default 20) for a window called $1 and prints its id.
wait_window() {
  local name=$1 limit=${2:-20} id
  for _ in $(seq $((limit * 10))); do
    id=$(find_window "$name")
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  echo "no window \"$name\" after ${limit}s" >&2
  return 1
}

# Waits up to $2 seconds (default 20) until no window called $1 is left.
wait_no_window() {
  local name=$1 limit=${2:-20}
  for _ in $(seq $((limit * 10))); do
    [ -z "$(find_window "$name")" ] && return 0
    sleep 0.1
  done
  return 1
}

# Starts the game: $1 the executable, $2 its working directory, $3 the log file, then
# the program's arguments. Sets game_pid.
start_game() {
  local exe=$1 dir=$2 out=$3
  shift 3
  (cd "$dir" && SDL_AUDIODRIVER=dummy exec "$exe" "$@") >"$out" 2>&1 &
  game_pid=$!
  trap 'stop_game' EXIT
}

# A game that does not end within 5 s of SIGTERM is killed, so a hung game fails its
# test instead of holding it up.
stop_game() {
  if [ -n "${game_pid:-}" ] && kill -0 "$game_pid" 2>/dev/null; then
    kill "$game_pid" 2>/dev/null
    local state
    for _ in $(seq 50); do
      state=$(awk '{ print $3 }' "/proc/$game_pid/stat" 2>/dev/null)
      [ -z "$state" ] || [ "$state" = Z ] && break
      sleep 0.1
    done
    kill -KILL "$game_pid" 2>/dev/null
    wait "$game_pid" 2>/dev/null
  fi
}

# Answers the start-up question with a key (Escape = No, Return = Yes).
answer_question() {
  local box
  box=$(wait_window "disp mode") || return 1
  xdotool windowfocus --sync "$box" && xdotool key "$1"
}

# Waits up to $1 seconds for the game to end and sets status to its exit status (or
# "running"). Not for a command substitution: only this shell can wait for the game.
wait_exit() {
  local limit=$1
  status=running
  for _ in $(seq $((limit * 10))); do
    if ! kill -0 "$game_pid" 2>/dev/null; then
      wait "$game_pid"
      status=$?
      return 0
    fi
    sleep 0.1
  done
}

# Starts an X server of the test's own, its screen $1 (WIDTHxHEIGHT), on a free display
# number, and points DISPLAY at it, for a test that needs a screen of another size than
# the test command's (or, with "-extension GLX" after the size, one without OpenGL);
# stop_own_xvfb ends it. Skips the test (77) without Xvfb.
start_own_xvfb() {
  command -v Xvfb >/dev/null || { echo "no Xvfb: skipped"; exit 77; }
  local number_file
  number_file=$(mktemp /tmp/qr-xvfb.XXXXXX)
  Xvfb -displayfd 3 -screen 0 "${1}x24" "${@:2}" -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
  own_xvfb=$!
  # The number is written once the server takes connections.
  for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -n 1 "$number_file")
  rm -f "$number_file"
  [ "$DISPLAY" != ":" ] || fail "no X server of $1"
}

stop_own_xvfb() {
  if [ -n "${own_xvfb:-}" ]; then
    kill "$own_xvfb" 2>/dev/null
    wait "$own_xvfb" 2>/dev/null
    own_xvfb=
  fi
}

# Where the game's 800 x 600 picture stands in a window of $1 x $2 (as large as fits,
# centred, bands around): sets fit_x, fit_y, fit_w and fit_h; the whole window until set.
fit_x=0 fit_y=0 fit_w=800 fit_h=600
picture_fit() {
  if [ $(($1 * 600)) -gt $(($2 * 800)) ]; then
    fit_w=$(($2 * 800 / 600)); fit_h=$2
  else
    fit_w=$1; fit_h=$(($1 * 600 / 800))
  fi
  fit_x=$((($1 - fit_w) / 2)); fit_y=$((($2 - fit_h) / 2))
}

# The hand's x in the game's own pixels, in window $window's picture (picture_fit): the
# median column of the bright pixels about its row, from left of where it starts (200,
# 300) to right of where 200 pixels of motion take it (the game's 125..415 x 225..375).
# A median is not pulled aside by a passing star or spark. Needs $work.
hand_x() {
  import -display "$DISPLAY" -window "$window" "$work/shot.png" 2>/dev/null
  local x0=$((fit_x + 125 * fit_w / 800)) y0=$((fit_y + 225 * fit_h / 600))
  local w=$((290 * fit_w / 800)) h=$((150 * fit_h / 600))
  convert "$work/shot.png" -crop "${w}x${h}+${x0}+${y0}" +repage -colorspace Gray -depth 8 "gray:$work/shot.gray" 2>/dev/null
  python3 - "$work/shot.gray" "$w" "$x0" "$fit_x" "$fit_w" <<'PY'
import sys
grey = open(sys.argv[1], 'rb').read()
w, x0, fx, fw = (int(v) for v in sys.argv[2:])
xs = sorted(x0 + i % w for i, v in enumerate(grey) if v > 102)
print(round((xs[len(xs) // 2] - fx) * 800 / fw) if xs else -1)
PY
}

# The hand's x once it stands between $1 and $2, waiting up to 10 s for the game to draw
# it there (a busy machine draws late); the last reading when it never does.
hand_x_within() {
  local x
  for _ in $(seq 20); do
    x=$(hand_x)
    [ "$x" -ge "$1" ] && [ "$x" -le "$2" ] && break
    sleep 0.5
  done
  echo "$x"
}

fail() {
  echo "FAIL: $*"
  [ -n "${log:-}" ] && [ -f "$log" ] && { echo "--- game output"; cat "$log"; }
  exit 1
}

# The game keeps its games under the XDG folders: every test has fresh ones of its own
# in the build folder (or a temporary one for a script without $build), never the
# home's, so what one test plays shows in no other.
if [ -n "${build:-}" ]; then
  test_home=$build/test-home/$(basename "$0" .sh)
  rm -rf "$test_home"
  mkdir -p "$test_home"
else
  test_home=$(mktemp -d /tmp/qr-test-home.XXXXXX)
fi
export XDG_DATA_HOME=$test_home/data XDG_CONFIG_HOME=$test_home/config XDG_STATE_HOME=$test_home/state
