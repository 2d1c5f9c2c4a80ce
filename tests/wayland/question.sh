#!/usr/bin/env bash
# The start-up question natively under a Wayland compositor (sway, headless, drawing in
# software), where SDL's own message box needs zenity and the test machine has none: the
# game started without --window must still ask "FULL SCREEN ?", in a window of its own
# (user32's question box), before any game window. Escape answers No: the box goes and
# the game opens its 800 x 600 window, not full screen, and shows the title; Escape
# there ends the program with status 0. A quit signal while the question is up ends the
# program by that signal.
#
# As game.sh: a wtype held for the whole test is the seat's keyboard (without one no
# window gets the keyboard's focus), another presses Escape; run as root, everything runs
# as the test user from a copy of the build. Skipped (77) without sway and its tools
# unless QR_REQUIRE_WAYLAND=1, and where zenity is installed (SDL would show its own box).
set -u
build=$(cd "$1" && pwd)
test_user=quillrun-test

work=
log=
fail() {
  echo "FAIL (question): $*"
  if [ -n "$work" ]; then
    [ -f "$log" ] && { echo "--- game output"; cat "$log"; }
    [ -f "$work/sway.log" ] && { echo "--- compositor output (last lines)"; tail -n 20 "$work/sway.log"; }
  fi
  exit 1
}

missing=
for tool in sway swaymsg grim wtype convert python3; do command -v "$tool" >/dev/null || missing+=" $tool"; done
if [ "$(id -u)" -eq 0 ] && ! id -u "$test_user" >/dev/null 2>&1; then missing+=" user:$test_user"; fi
if [ -n "$missing" ]; then
  [ "${QR_REQUIRE_WAYLAND:-0}" = 1 ] && fail "missing:$missing (scripts/setup --test installs them)"
  echo "missing:$missing: skipped"
  exit 77
fi
if command -v zenity >/dev/null; then
  echo "zenity is installed: SDL shows its own box, not the game's; skipped"
  exit 77
fi

run_as=()
if [ "$(id -u)" -eq 0 ]; then
  run_as=(setpriv --reuid="$(id -u "$test_user")" --regid="$(id -g "$test_user")" --clear-groups)
fi
work=$(mktemp -d /tmp/qr-wayland-question.XXXXXX) || fail "no temporary folder"
log=$work/game.log
mkdir -p "$work/game" "$work/home" "$work/run" && chmod 700 "$work/run" &&
  cp "$build/quillrun" "$build/libezds.so" "$work/game/" &&
  cp -r "$build/data" "$work/game/" || fail "cannot copy the build"
base_env=(PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run")
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
  [ -n "${!name:-}" ] && base_env+=("$name=${!name}")
done
as_user() { "${run_as[@]}" env -i "${base_env[@]}" "$@"; }
spawn_as_user() { (exec "${run_as[@]}" env -i "${base_env[@]}" "$@") & }

sway_pid=
keyboard_pid=
game_pid=
cleanup() {
  for pid in $game_pid $keyboard_pid $sway_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# One 800 x 600 output, no XWayland, nothing drawn around windows.
cat >"$work/ready.sh" <<EOF
printf '%s %s\n' "\$WAYLAND_DISPLAY" "\$SWAYSOCK" >"$work/run/displays.new"
mv "$work/run/displays.new" "$work/run/displays"
EOF
cat >"$work/sway.conf" <<EOF
output * mode 800x600 position 0 0
default_border none
default_floating_border none
xwayland disable
exec sh $work/ready.sh
EOF
[ "$(id -u)" -eq 0 ] && chown -R "$test_user:" "$work"
spawn_as_user WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$work/sway.conf" \
  >"$work/sway.log" 2>&1
sway_pid=$!
for _ in $(seq 200); do [ -s "$work/run/displays" ] && break; sleep 0.1; done
[ -s "$work/run/displays" ] || fail "the compositor did not come up in 20 s"
read -r wayland_display swaysock <"$work/run/displays"
base_env+=(WAYLAND_DISPLAY="$wayland_display" SWAYSOCK="$swaysock")

spawn_as_user wtype -s 600000
keyboard_pid=$!


shot() { as_user grim "$work/$1.png" 2>/dev/null; }
# The share, in percent, of a region (WxH+X+Y) of a screenshot brighter than $3 %, or
# with $4 = dark, darker than it.
lit() {
  local negate=() level=$3
  [ "${4:-}" = dark ] && negate=(-negate) && level=$((100 - $3))
  convert "$work/$1.png" -crop "$2" +repage -colorspace Gray "${negate[@]}" -threshold "$level%" \
    -format '%[fx:int(mean*10000)/100]' info: 2>/dev/null || echo 0
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

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

# First a quit signal while the question is up: it closes the box, and the game, asked
# nothing more, ends by that signal (143 for SIGTERM) leaving no window behind. (Done
# before any key is typed: once wtype has typed, the seat's keymap is wtype's own, and
# SDL's Wayland keyboard has been seen to crash on it in the next program it starts.)
(cd "$work/game" &&
  exec "${run_as[@]}" env -i "${base_env[@]}" SDL_VIDEODRIVER=wayland SDL_AUDIODRIVER=dummy ./quillrun) >"$log" 2>&1 &
game_pid=$!
for _ in $(seq 120); do
  [ -n "$(window_named "disp mode")" ] && break
  sleep 0.25
done
[ -n "$(window_named "disp mode")" ] || fail "the question did not come"
kill -TERM "$game_pid"
status=running
for _ in $(seq 300); do
  if ! kill -0 "$game_pid" 2>/dev/null; then
    wait "$game_pid"
    status=$?
    break
  fi
  sleep 0.1
done
game_pid=
[ "$status" = 143 ] || fail "exit status $status after SIGTERM during the question (want 143)"
[ -z "$(windows)" ] || fail "windows left after SIGTERM: $(windows | tr '\n' ' ')"
echo "question: SIGTERM during the question ended the program by it"

# Then the question answered: the game as a player starts it, no answer given beforehand.
(cd "$work/game" &&
  exec "${run_as[@]}" env -i "${base_env[@]}" SDL_VIDEODRIVER=wayland SDL_AUDIODRIVER=dummy ./quillrun) >"$log" 2>&1 &
game_pid=$!

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
as_user wtype -s 800 -k Escape || fail "wtype could not press Escape"
title_text=600x40+100+365
is_title() { above "$(lit "$1" "$title_text" 50)" 1 && ! above "$(lit "$1" 800x600+0+0 8)" 20; }
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
as_user wtype -s 800 -k Escape || fail "wtype could not press Escape"
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
