# Helpers of the Wayland tests (sourced, not a test itself; $build set first): sway run
# headless, drawing in software, with one 800 x 600 output; the game copied out of the
# build and run under it; screenshots of the output and how bright parts of them are.
#
# sway will not run as root, so run as root (as in CI) everything runs as the test user
# scripts/setup --test makes, from a copy of the build it can read, with only the
# environment given here (none of ours: not our X display, above all). The compositor has
# no input devices: a wtype held for the whole test is the seat's keyboard (without one no
# window ever gets the keyboard's focus) and another wtype presses Escape.
#
# The test names itself in $test_name (for its failures) and lists in $build_programs
# what it runs from the build besides the game.
# shellcheck disable=SC2154 # $build, $test_name and $game_env are the test's own

test_user=quillrun-test
declare -a build_programs # none unless the test names some
work=
log=

fail() {
  echo "FAIL ($test_name): $*"
  if [ -n "$work" ]; then
    [ -f "$log" ] && { echo "--- game output"; cat "$log"; }
    [ -f "$work/sway.log" ] && { echo "--- compositor output (last lines)"; tail -n 20 "$work/sway.log"; }
  fi
  exit 1
}

# Skips the test (status 77) without sway, its tools (and the further ones named here),
# the build's programs or, as root, the test user; with QR_REQUIRE_WAYLAND=1 (the test
# command) that is a failure instead.
require_compositor() {
  local missing='' tool
  for tool in sway swaymsg grim wtype convert python3 "$@"; do command -v "$tool" >/dev/null || missing+=" $tool"; done
  skip_if_missing "$missing"
}

# The end of every compositor test's check: the build's programs and, as root, the test
# user added to what is missing ($1, " name" each), then a skip (77) or, with
# QR_REQUIRE_WAYLAND=1, a failure when anything is.
skip_if_missing() {
  local missing=$1 program
  for program in "${build_programs[@]}"; do [ -x "$build/$program" ] || missing+=" $program"; done
  if [ "$(id -u)" -eq 0 ] && ! id -u "$test_user" >/dev/null 2>&1; then missing+=" user:$test_user"; fi
  if [ -n "$missing" ]; then
    [ "${QR_REQUIRE_WAYLAND:-0}" = 1 ] && fail "missing:$missing (scripts/setup --test installs them)"
    echo "missing:$missing: skipped"
    exit 77
  fi
}

# Copies the game (and $build_programs) into a temporary folder named after $1, with a
# home and a runtime folder of its own, and removes it all at the end.
run_as=()
copy_build() {
  if [ "$(id -u)" -eq 0 ]; then
    run_as=(setpriv --reuid="$(id -u "$test_user")" --regid="$(id -g "$test_user")" --clear-groups)
  fi
  work=$(mktemp -d "/tmp/$1.XXXXXX") || fail "no temporary folder"
  log=$work/game.log
  mkdir -p "$work/game" "$work/home" "$work/run" && chmod 700 "$work/run" &&
    cp "$build/quillrun" "$build/libezds.so" "${build_programs[@]/#/$build/}" "$work/game/" &&
    cp -r "$build/data" "$work/game/" || fail "cannot copy the build"
  base_env=(PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run")
  # The sanitized build's settings reach the game.
  local name
  for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
    [ -n "${!name:-}" ] && base_env+=("$name=${!name}")
  done
  trap cleanup EXIT
}
as_user() { "${run_as[@]}" env -i "${base_env[@]}" "$@"; }
# The same in the background, as the process itself (its pid in $!, for the cleanup).
spawn_as_user() { (exec "${run_as[@]}" env -i "${base_env[@]}" "$@") & }

sway_pid=
keyboard_pid=
game_pid=
x_display=none
cleanup() {
  local pid
  for pid in $game_pid $keyboard_pid $sway_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  # XWayland leaves by itself once its compositor has gone, taking its socket along.
  if [ "$x_display" != none ]; then
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${x_display#:}" ] || break; sleep 0.1; done
  fi
  rm -rf "$work"
}

# The compositor, with XWayland or not ($1 = enable or disable), and the seat's keyboard:
# one output (800 x 600 unless $2 says otherwise, as sway's output settings) with nothing
# drawn around windows, so the game's window of that size is exactly the output and a
# screenshot of the output is the game's picture. Once up it says where its displays are.
start_compositor() {
  cat >"$work/ready.sh" <<EOF
printf '%s %s %s\n' "\$WAYLAND_DISPLAY" "\${DISPLAY:-none}" "\$SWAYSOCK" >"$work/run/displays.new"
mv "$work/run/displays.new" "$work/run/displays"
EOF
  cat >"$work/sway.conf" <<EOF
output * ${2:-mode 800x600} position 0 0
default_border none
default_floating_border none
xwayland $1
exec sh $work/ready.sh
EOF
  [ "$(id -u)" -eq 0 ] && chown -R "$test_user:" "$work"
  spawn_as_user WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$work/sway.conf" \
    >"$work/sway.log" 2>&1
  sway_pid=$!
  for _ in $(seq 200); do [ -s "$work/run/displays" ] && break; sleep 0.1; done
  [ -s "$work/run/displays" ] || fail "the compositor did not come up in 20 s"
  local wayland_display swaysock
  read -r wayland_display x_display swaysock <"$work/run/displays"
  base_env+=(WAYLAND_DISPLAY="$wayland_display" SWAYSOCK="$swaysock")

  spawn_as_user wtype -s 600000
  keyboard_pid=$!
}

press_escape() { as_user wtype -s 800 -k Escape || fail "wtype could not press Escape"; }

# Starts the game from its own folder as a player would, with the environment of
# $game_env and the arguments given.
start_game() {
  (cd "$work/game" &&
    exec "${run_as[@]}" env -i "${base_env[@]}" "${game_env[@]}" SDL_AUDIODRIVER=dummy ./quillrun "$@") >"$log" 2>&1 &
  game_pid=$!
}

# Waits up to $1 seconds for the game to end and sets status to its exit status (or
# "running"). Not for a command substitution: only this shell can wait for the game.
wait_exit() {
  status=running
  for _ in $(seq $(($1 * 10))); do
    if ! kill -0 "$game_pid" 2>/dev/null; then
      wait "$game_pid"
      status=$?
      break
    fi
    sleep 0.1
  done
  game_pid=
}

shot() { as_user grim "$work/$1.png" 2>/dev/null; }
# The share, in percent, of a region (WxH+X+Y) of a screenshot brighter than $3 % (8 %
# unless given), or with $4 = dark, darker than it.
lit() {
  local negate=() level=${3:-8}
  [ "${4:-}" = dark ] && negate=(-negate) && level=$((100 - level))
  convert "$work/$1.png" -crop "$2" +repage -colorspace Gray "${negate[@]}" -threshold "$level%" \
    -format '%[fx:int(mean*10000)/100]' info: 2>/dev/null || echo 0
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# Whether screenshot $1 is the title screen: its button lines bright on a picture that is
# black but for a few stars and lines of text. The compositor's own background is grey,
# and a window with nothing presented in it shows as that or as black.
title_text=600x40+100+365
is_title() {
  above "$(lit "$1" "$title_text" 50)" 1 && ! above "$(lit "$1" 800x600+0+0)" 20
}

# The windows as the compositor has them, one line each: name, whether focused, full
# screen or not, and the rectangle as WxH+X+Y.
windows() {
  as_user swaymsg -t get_tree >"$work/tree.json" 2>/dev/null || return 0
  python3 - "$work/tree.json" <<'PY'
import json, sys
def walk(node):
    if node.get("pid") and node.get("name") is not None:
        r = node["rect"]
        print("%s|%s|%s|%dx%d+%d+%d" % (node["name"], str(node["focused"]).lower(),
              node.get("fullscreen_mode", 0), r["width"], r["height"], r["x"], r["y"]))
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(open(sys.argv[1])))
PY
}
window_named() { windows | awk -F'|' -v name="$1" '$1 == name'; }
