# Helpers of the desktop tests (sourced; $build, $test_name and $compositor set first):
# GNOME's compositor (mutter) or KDE's (kwin) run headless, drawing in software, with one
# 1024 x 768 monitor; each in a session of its own with its own runtime folder and
# private bus, torn down at the end whatever happened. What sway_helpers.bash offers for
# running the game as the test user (copy_build, as_user, start_game, wait_exit, lit,
# is_title) serves here too; the compositor, its input and its screenshots are these.
#
#   mutter: input and the monitor's stream over its remote-desktop and screen-cast
#           sessions (mutter_input.py), screenshots read from PipeWire by gst-launch;
#   kwin:   input through its fake-input protocol (qr-fake-input), screenshots over
#           its screenshot interface on the bus (desktop_picture.py kwin-shot).
# shellcheck disable=SC2154 # $build, $compositor, $test_name and $game_env are the test's own
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../wayland/sway_helpers.bash"
python=/usr/bin/python3

fail() {
  echo "FAIL ($test_name): $*"
  if [ -n "$work" ]; then
    [ -f "$log" ] && { echo "--- game output"; cat "$log"; }
    local file
    for file in "$work"/compositor.log "$work"/input.log; do
      [ -s "$file" ] && { echo "--- $(basename "$file" .log) output (last lines)"; tail -n 20 "$file"; }
    done
  fi
  exit 1
}

# Skips the test (77) without the compositor, its helpers or the build's programs; with
# QR_REQUIRE_WAYLAND=1 (the test command) that is a failure instead.
require_desktop() {
  local missing='' tool
  local tools=(dbus-daemon setsid convert "$@")
  case "$compositor" in
    mutter) tools+=(mutter pipewire wireplumber gst-launch-1.0) ;;
    kwin) tools+=(kwin_wayland) ;;
  esac
  for tool in "${tools[@]}"; do command -v "$tool" >/dev/null || missing+=" $tool"; done
  "$python" -c 'import dbus, gi' 2>/dev/null || missing+=" python3-dbus/python3-gi"
  if [ "$compositor" = mutter ] && command -v gst-inspect-1.0 >/dev/null &&
    ! gst-inspect-1.0 pipewiresrc >/dev/null 2>&1; then missing+=" gstreamer1.0-pipewire"; fi
  skip_if_missing "$missing"
}

# The processes started here, each the leader of its own session and process group:
# ended with their whole group (XWayland, the compositor's helpers), in this order.
session_pids=()
input_pid=
input_in=
desktop_cleanup() {
  local pid
  [ -n "$input_in" ] && exec {input_in}>&-
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null && wait "$game_pid" 2>/dev/null
  [ -n "$input_pid" ] && kill "$input_pid" 2>/dev/null
  for ((i = ${#session_pids[@]} - 1; i >= 0; i--)); do
    pid=${session_pids[i]}
    kill -TERM -- "-$pid" 2>/dev/null || continue
    # mutter now and then spins on SIGTERM and never leaves: three seconds, then SIGKILL.
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}

# Starts "$@" as the test user in a session of its own, output into $work/$name.log.
start_session() {
  local name=$1
  shift
  (exec "${run_as[@]}" env -i "${base_env[@]}" setsid "$@" >"$work/$name.log" 2>&1) &
  session_pids+=($!)
}

# The private bus, then the compositor with XWayland or not ($1 = native or xwayland).
# Once up, it runs ready.sh, which says where its displays are (kwin takes each of its
# arguments after the options for a program of its own: the script is one, with no
# arguments).
start_desktop() {
  trap desktop_cleanup EXIT
  # The test user may not read the sources: the helpers go beside the game.
  cp "$here/mutter_input.py" "$here/desktop_picture.py" "$work/game/" || fail "cannot copy the helpers"
  base_env+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$work/run/bus")
  cat >"$work/ready.sh" <<EOF
#!/bin/sh
printf '%s %s %s\n' "\$WAYLAND_DISPLAY" "\${DISPLAY:-none}" "\${XAUTHORITY:-none}" >"$work/run/displays.new"
mv "$work/run/displays.new" "$work/run/displays"
# mutter ends with the command it runs: the command lasts as long as the test.
[ "\${1:-}" = stay ] && exec sleep 86400
EOF
  chmod +x "$work/ready.sh"
  [ "$(id -u)" -eq 0 ] && chown -R "$test_user:" "$work"
  start_session bus dbus-daemon --session --nofork --address="unix:path=$work/run/bus"
  for _ in $(seq 50); do [ -S "$work/run/bus" ] && break; sleep 0.1; done
  [ -S "$work/run/bus" ] || fail "the session bus did not come up"
  local x11=()
  case "$compositor" in
    mutter)
      # The screen cast streams into PipeWire, whose session manager links the streams.
      start_session pipewire pipewire
      for _ in $(seq 50); do [ -S "$work/run/pipewire-0" ] && break; sleep 0.1; done
      [ -S "$work/run/pipewire-0" ] || fail "PipeWire did not come up"
      start_session wireplumber wireplumber
      [ "$1" = native ] && x11=(--no-x11)
      start_session compositor mutter --wayland --headless --virtual-monitor 1024x768 "${x11[@]}" -- sh "$work/ready.sh" stay
      ;;
    kwin)
      # The installed program carries a file capability that a container may not grant;
      # a copy has none, and runs anywhere.
      cp "$(command -v kwin_wayland)" "$work/kwin_wayland" || fail "cannot copy kwin_wayland"
      [ "$1" = xwayland ] && x11=(--xwayland)
      start_session compositor env KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 \
        "$work/kwin_wayland" --virtual --width 1024 --height 768 --no-lockscreen --no-global-shortcuts \
        --socket "qr-kwin" "${x11[@]}" "$work/ready.sh"
      ;;
  esac
  for _ in $(seq 300); do [ -s "$work/run/displays" ] && break; sleep 0.1; done
  [ -s "$work/run/displays" ] || fail "the compositor did not come up in 30 s"
  local wayland_display xauthority
  read -r wayland_display x_display xauthority <"$work/run/displays"
  base_env+=(WAYLAND_DISPLAY="$wayland_display")
  if [ "$1" = xwayland ]; then
    [ "$x_display" != none ] || fail "the compositor gave no X display"
    game_env=(DISPLAY="$x_display")
    [ "$xauthority" != none ] && game_env+=(XAUTHORITY="$xauthority")
  else
    game_env=(SDL_VIDEODRIVER=wayland)
  fi
  start_input
}

# The seat's mouse and keyboard: a client that takes one command a line and answers "ok".
start_input() {
  local program=("$work/game/qr-fake-input")
  [ "$compositor" = mutter ] && program=("$python" "$work/game/mutter_input.py")
  coproc INPUT { exec "${run_as[@]}" env -i "${base_env[@]}" "${program[@]}" 2>"$work/input.log"; }
  input_pid=$INPUT_PID
  # Kept apart: bash forgets the coprocess's descriptors once it has ended.
  input_in=${INPUT[1]}
  input_out=${INPUT[0]}
  if [ "$compositor" = mutter ]; then
    local reply
    read -r -t 30 reply <&"$input_out" && [ "$reply" = ready ] || fail "the remote desktop did not start"
    echo node >&"$input_in" && read -r -t 10 reply <&"$input_out" && [ "${reply%% *}" = node ] ||
      fail "the screen cast gave no stream"
    stream_node=${reply#node }
  fi
}

input() {
  local reply
  echo "$*" >&"$input_in" && read -r -t 10 reply <&"$input_out" && [ "$reply" = ok ] ||
    fail "the compositor did not take: $*"
}
press_escape() { input key 1; }

# A screenshot of the whole desktop into $work/$1-desktop.png and, once the picture has
# been found ($picture_x, $picture_y), the picture alone into $work/$1.png.
picture_x=
picture_y=
desktop_shot() {
  local out=$work/$1-desktop.png
  rm -f "$out"
  case "$compositor" in
    mutter)
      as_user timeout 10 gst-launch-1.0 -q pipewiresrc path="$stream_node" num-buffers=1 ! videoconvert ! pngenc ! \
        filesink location="$out" >/dev/null 2>&1
      ;;
    kwin) as_user "$python" "$work/game/desktop_picture.py" kwin-shot "$out" 2>/dev/null ;;
  esac
  [ -s "$out" ] || return 1
  [ -z "$picture_x" ] || convert "$out" -crop "800x600+$picture_x+$picture_y" +repage "$work/$1.png"
}

# Waits up to $2 seconds for a screenshot that `$3 NAME` accepts.
wait_shot() {
  local name=$1 limit=$2
  shift 2
  for _ in $(seq $((limit * 2))); do
    kill -0 "$game_pid" 2>/dev/null || return 1
    if desktop_shot "$name" && "$@" "$name"; then return 0; fi
    sleep 0.3
  done
  return 1
}

# Whether the title screen shows somewhere on the desktop: found by its button lines,
# then checked as sway's test checks it (lines bright, the rest dark but for stars).
found_title() {
  local at
  at=$("$python" "$here/desktop_picture.py" locate "$work/$1-desktop.png") || return 1
  read -r picture_x picture_y <<<"$at"
  convert "$work/$1-desktop.png" -crop "800x600+$picture_x+$picture_y" +repage "$work/$1.png" && is_title "$1"
}

# The game's power gauge: its base lines run from x 300 to 500 at rows 25 to 28 in every
# game frame; the title draws nothing there but a passing star. Two rows of margin above
# and below for where the picture was found.
gauge=200x8+300+23
is_game() { above "$(lit "$1" "$gauge")" 30; }
hand_x() {
  desktop_shot hand || { echo -1; return; }
  "$python" "$here/desktop_picture.py" hand "$work/hand-desktop.png" "$picture_x" "$picture_y"
}
