#!/usr/bin/env bash
# The game under a Wayland compositor (sway, headless, drawing in software): natively
# ($2 = native, SDL's Wayland driver) or through XWayland ($2 = xwayland: both displays
# given, SDL takes X11 as it does on a player's desktop). Such a compositor shows a
# window, and gives it the focus, only once something has been presented in it, while
# the game runs its frames only in the foreground: the title screen must show by itself,
# before any input. Then a click starts a game, the mouse's motion moves the hand, and
# Escape twice ends the program with status 0.
#
# The compositor has no input devices: qr-pointer (built beside the game) is the mouse.
# The keyboard, running as the test user when root and the skip (77) without sway and its
# tools unless QR_REQUIRE_WAYLAND=1 are in sway_helpers.bash.
set -u
build=$(cd "$1" && pwd)
mode=${2:-}
case "$mode" in
  native | xwayland) ;;
  *) echo "usage: game.sh BUILD native|xwayland" >&2; exit 2 ;;
esac
test_name=$mode
build_programs=(qr-pointer)
. "$(dirname "$0")/sway_helpers.bash"
tools=()
[ "$mode" = xwayland ] && tools+=(Xwayland)
require_compositor "${tools[@]}"

# XWayland's socket goes in /tmp/.X11-unix: made by root, open to all, as an X server run
# as root would make it, not by the compositor as the test user.
if [ "$(id -u)" -eq 0 ]; then
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
fi
copy_build qr-wayland
pointer_input=
close_pointer() {
  # The pointer ends when its input does.
  [ -n "$pointer_input" ] && exec {pointer_input}>&-
  cleanup
}
trap close_pointer EXIT

xwayland=disable
[ "$mode" = xwayland ] && xwayland=enable
start_compositor $xwayland

# The seat's mouse. Each pointer command is answered once the compositor has it.
coproc POINTER { exec "${run_as[@]}" env -i "${base_env[@]}" "$work/game/qr-pointer"; }
# Kept apart: bash forgets the coprocess's descriptors once it has ended.
pointer_input=${POINTER[1]}
pointer_output=${POINTER[0]}
point() {
  local reply
  echo "$*" >&"$pointer_input" && read -r -t 10 reply <&"$pointer_output" && [ "$reply" = ok ] ||
    fail "the virtual pointer did not take: $*"
}

if [ "$mode" = native ]; then
  game_env=(SDL_VIDEODRIVER=wayland)
else
  [ "$x_display" != none ] || fail "the compositor gave no X display"
  game_env=(DISPLAY="$x_display")
fi
start_game --window

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
# The game's power gauge: its base lines run from x 300 to 500 in every game frame; the
# title draws nothing there but a passing star.
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
wait_exit 20
[ "$status" = 0 ] || fail "exit status $status after Escape on the title screen"
echo "ok"
