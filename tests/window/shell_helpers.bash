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

stop_game() {
  if [ -n "${game_pid:-}" ] && kill -0 "$game_pid" 2>/dev/null; then
    kill "$game_pid" 2>/dev/null
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
export XDG_DATA_HOME=$test_home/data XDG_CONFIG_HOME=$test_home/config
