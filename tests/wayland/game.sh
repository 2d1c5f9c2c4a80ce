#!/usr/bin/env bash
# The game under a Wayland compositor (sway, headless, drawing in software): natively
# ($2 = native, SDL's Wayland driver) or through XWayland ($2 = xwayland: both displays
# given, SDL takes X11 as it does on a player's desktop). Such a compositor shows a
# window, and gives it the focus, only once something has been presented in it, while
# the game runs its frames only in the foreground: the title screen must show by itself,
# before any input. Then a click starts a game, the mouse's motion moves the hand, and
# Escape twice ends the program with status 0.
#
# The compositor has no input devices: qr-pointer (built beside the game) is the mouse,
# a wtype held for the whole test is the seat's keyboard (without one no window ever gets
# the keyboard's focus) and another wtype presses Escape. sway will not run as root, so
# run as root (as in CI) everything runs as the test user scripts/setup --test makes,
# from a copy of the build it can read. Skipped (77) without sway and its tools, unless
# QR_REQUIRE_WAYLAND=1 (the test command) makes that a failure.
set -u
build=$(cd "$1" && pwd)
mode=${2:-}
case "$mode" in
  native | xwayland) ;;
  *) echo "usage: game.sh BUILD native|xwayland" >&2; exit 2 ;;
esac
test_user=quillrun-test

work=
log=
fail() {
  echo "FAIL ($mode): $*"
  if [ -n "$work" ]; then
    [ -f "$log" ] && { echo "--- game output"; cat "$log"; }
    [ -f "$work/sway.log" ] && { echo "--- compositor output (last lines)"; tail -n 20 "$work/sway.log"; }
  fi
  exit 1
}

missing=
tools=(sway swaymsg grim wtype convert python3)
[ "$mode" = xwayland ] && tools+=(Xwayland)
for tool in "${tools[@]}"; do command -v "$tool" >/dev/null || missing+=" $tool"; done
[ -x "$build/qr-pointer" ] || missing+=" qr-pointer"
if [ "$(id -u)" -eq 0 ] && ! id -u "$test_user" >/dev/null 2>&1; then missing+=" user:$test_user"; fi
if [ -n "$missing" ]; then
  [ "${QR_REQUIRE_WAYLAND:-0}" = 1 ] && fail "missing:$missing (scripts/setup --test installs them)"
  echo "missing:$missing: skipped"
  exit 77
fi

# Everything below runs as the test user when we are root, with only the environment
# given here (none of ours: not our X display, above all).
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  run_as=(setpriv --reuid="$(id -u "$test_user")" --regid="$(id -g "$test_user")" --clear-groups)
  # XWayland's socket goes in /tmp/.X11-unix: made by root, open to all, as an X server
  # run as root would make it, not by the compositor as the test user.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
fi
work=$(mktemp -d /tmp/qr-wayland.XXXXXX) || fail "no temporary folder"
log=$work/game.log
mkdir -p "$work/game" "$work/home" "$work/run" && chmod 700 "$work/run" &&
  cp "$build/quillrun" "$build/libezds.so" "$build/qr-pointer" "$work/game/" &&
  cp -r "$build/data" "$work/game/" || fail "cannot copy the build"
base_env=(PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run")
# The sanitized build's settings reach the game.
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
  [ -n "${!name:-}" ] && base_env+=("$name=${!name}")
done
as_user() { "${run_as[@]}" env -i "${base_env[@]}" "$@"; }
# The same in the background, as the process itself (its pid in $!, for the cleanup).
spawn_as_user() { (exec "${run_as[@]}" env -i "${base_env[@]}" "$@") & }

sway_pid=
keyboard_pid=
game_pid=
pointer_input=
x_display=none
cleanup() {
  # The pointer ends when its input does.
  [ -n "$pointer_input" ] && exec {pointer_input}>&-
  for pid in $game_pid $keyboard_pid $sway_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  # XWayland leaves by itself once its compositor has gone, taking its socket along.
  if [ "$x_display" != none ]; then
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${x_display#:}" ] || break; sleep 0.1; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The compositor: one 800 x 600 output with nothing drawn around windows, so the game's
# window, floating (its size is fixed) or not, is exactly the output and a screenshot of
# the output is the game's picture. Once up it says where its displays are.
cat >"$work/ready.sh" <<EOF
printf '%s %s %s\n' "\$WAYLAND_DISPLAY" "\${DISPLAY:-none}" "\$SWAYSOCK" >"$work/run/displays.new"
mv "$work/run/displays.new" "$work/run/displays"
EOF
xwayland=disable
[ "$mode" = xwayland ] && xwayland=enable
cat >"$work/sway.conf" <<EOF
output * mode 800x600 position 0 0
default_border none
default_floating_border none
xwayland $xwayland
exec sh $work/ready.sh
EOF
[ "$(id -u)" -eq 0 ] && chown -R "$test_user:" "$work"
spawn_as_user WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$work/sway.conf" \
  >"$work/sway.log" 2>&1
sway_pid=$!
for _ in $(seq 200); do [ -s "$work/run/displays" ] && break; sleep 0.1; done
[ -s "$work/run/displays" ] || fail "the compositor did not come up in 20 s"
read -r wayland_display x_display swaysock <"$work/run/displays"
base_env+=(WAYLAND_DISPLAY="$wayland_display" SWAYSOCK="$swaysock")

# The seat's keyboard and mouse. Each pointer command is answered once the compositor
# has it.
spawn_as_user wtype -s 600000
keyboard_pid=$!
coproc POINTER { exec "${run_as[@]}" env -i "${base_env[@]}" "$work/game/qr-pointer"; }
# Kept apart: bash forgets the coprocess's descriptors once it has ended.
pointer_input=${POINTER[1]}
pointer_output=${POINTER[0]}
point() {
  local reply
  echo "$*" >&"$pointer_input" && read -r -t 10 reply <&"$pointer_output" && [ "$reply" = ok ] ||
    fail "the virtual pointer did not take: $*"
}
press_escape() { as_user wtype -s 800 -k Escape || fail "wtype could not press Escape"; }

# The game, from its own folder as a player would start it.
if [ "$mode" = native ]; then
  game_env=(SDL_VIDEODRIVER=wayland)
else
  [ "$x_display" != none ] || fail "the compositor gave no X display"
  game_env=(DISPLAY="$x_display")
fi
(cd "$work/game" &&
  exec "${run_as[@]}" env -i "${base_env[@]}" "${game_env[@]}" SDL_AUDIODRIVER=dummy ./quillrun --window) >"$log" 2>&1 &
game_pid=$!

shot() { as_user grim "$work/$1.png" 2>/dev/null; }
# The share, in percent, of a region (WxH+X+Y) of a screenshot brighter than $3 % (8 %
# unless given).
lit() {
  convert "$work/$1.png" -crop "$2" +repage -colorspace Gray -threshold "${3:-8}%" \
    -format '%[fx:int(mean*10000)/100]' info: 2>/dev/null || echo 0
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# Whether screenshot $1 is the title screen: its button lines bright on a picture that is
# black but for a few stars and lines of text. The compositor's own background is grey,
# and a window with nothing presented in it shows as that or as black.
is_title() {
  above "$(lit "$1" "$title_text" 50)" 1 && ! above "$(lit "$1" 800x600+0+0)" 20
}
# Waits up to $2 seconds for a screenshot that `$3 NAME` accepts.
wait_shot() {
  local name=$1 limit=$2
  shift 2
  for _ in $(seq $((limit * 4))); do
    kill -0 "$game_pid" 2>/dev/null || return 1
    if shot "$name" && "$@" "$name"; then return 0; fi
    sleep 0.25
  done
  return 1
}
# Whether the power gauge's base lines are drawn: a game is on.
is_game() { above "$(lit "$1" "$gauge")" 60; }
# The title screen's button lines, and the game's power gauge (its base lines run from
# x 300 to 500 in every game frame; the title draws nothing there but a passing star).
title_text=600x40+100+365
gauge=200x4+300+25
# The hand's centre: the median column of the bright pixels about its row, from left of
# where it starts (200, 300) to right of where 120 pixels of motion take it. Ships come
# in from the right, but not this far before the hand has moved; a median is not pulled
# aside by a passing star or spark.
hand_x() {
  shot hand || { echo -1; return; }
  convert "$work/hand.png" -crop 300x200+100+200 +repage -colorspace Gray -depth 8 "gray:$work/hand.gray" 2>/dev/null
  python3 - "$work/hand.gray" <<'PY'
import sys
grey = open(sys.argv[1], 'rb').read()
xs = sorted(100 + i % 300 for i, v in enumerate(grey) if v > 102)
print(xs[len(xs) // 2] if xs else -1)
PY
}

# The title shows by itself, and the window has the focus, in the compositor's words.
wait_shot title 30 is_title || fail "the title screen never showed (button lines $(lit title "$title_text" 50)% bright," \
  "the picture $(lit title 800x600+0+0)% lit)"
# The game's window as the compositor has it: its shell, whether it has the focus, its size.
window_state() {
  as_user swaymsg -t get_tree >"$work/tree.json" 2>/dev/null || { echo "unknown"; return; }
  python3 - "$work/tree.json" <<'PY'
import json, sys
def find(node):
    if node.get("name") == "quillrun":
        return node
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        found = find(child)
        if found:
            return found
game = find(json.load(open(sys.argv[1])))
print("%s %s %dx%d" % (game["shell"], str(game["focused"]).lower(), game["rect"]["width"], game["rect"]["height"])
      if game else "none")
PY
}
expected_shell=xdg_shell
[ "$mode" = xwayland ] && expected_shell=xwayland
for _ in $(seq 40); do
  window=$(window_state)
  [ "$window" = "$expected_shell true 800x600" ] && break
  sleep 0.25
done
[ "$window" = "$expected_shell true 800x600" ] ||
  fail "the game's window is \"$window\", not \"$expected_shell true 800x600\" (shell, focused, size)"
echo "$mode: the title showed in an 800x600 $expected_shell window with the focus"

# A click starts a game.
point move 1 0
point click left
wait_shot game 20 is_game || fail "the left button did not start a game (gauge $(lit game "$gauge")% lit)"

# The mouse moves the hand: 120 pixels to the right, in steps. It stands still until then.
start=$(hand_x)
[ "$start" -ge 170 ] && [ "$start" -le 230 ] || fail "the hand starts at x $start, not 200"
for _ in $(seq 12); do point move 10 0; sleep 0.03; done
for _ in $(seq 40); do
  moved=$(( $(hand_x) - start ))
  [ "$moved" -ge 80 ] && break
  sleep 0.25
done
[ "$moved" -ge 80 ] && [ "$moved" -le 160 ] || fail "120 pixels of motion moved the hand $moved pixels"
echo "$mode: the hand started at x $start and moved $moved pixels for 120 of motion"

# Escape returns to the title screen, and Escape there ends the program.
press_escape
wait_shot back 20 is_title || fail "Escape did not bring back the title screen"
press_escape
status=running
for _ in $(seq 200); do
  if ! kill -0 "$game_pid" 2>/dev/null; then
    wait "$game_pid"
    status=$?
    break
  fi
  sleep 0.1
done
game_pid=
[ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"
echo "ok"
