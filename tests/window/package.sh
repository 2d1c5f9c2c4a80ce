#!/usr/bin/env bash
# The Debian packages: cpack -G DEB makes the game's .deb, which depends only on runtime
# libraries and the font, never on anything that builds or tests the game nor on the
# leaderboard server's libraries; its version is the one the game shows; and its
# contents unpacked into any folder play from / (see play_from_root). Where the build
# makes the leaderboard server, a second package, quillrun-board, holds it alone, with
# its own runtime dependencies. The sanitized build makes no package: its program needs
# the sanitizers' runtime.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
. "$(dirname "$0")/install_helpers.bash"
require_display
if grep -q '^QR_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then echo "sanitized build: skipped"; exit 77; fi

# The service file as systemd reads it, within the unpacked package (the system's own
# targets beside it): not a word of complaint, and its sandbox at most "OK" in systemd's exposure scale.
check_board_service() {
  local root=$1
  command -v systemd-analyze >/dev/null || { echo "no systemd-analyze: the service file is not checked"; return; }
  mkdir -p "$root/lib/systemd/system"
  cp -n /lib/systemd/system/*.target "$root/lib/systemd/system/" 2>/dev/null
  # A line systemd ignores is only warned about: any word from it is a fault.
  local said
  said=$(systemd-analyze verify --man=no --root="$root" "$root/lib/systemd/system/quillrun-board.service" 2>&1) &&
    [ -z "$said" ] || fail "systemd finds faults in the service file: $said"
  local exposure
  exposure=$(systemd-analyze security --offline=true --root="$root" quillrun-board.service 2>&1 |
    sed -n 's/.*Overall exposure level for quillrun-board.service: \([0-9.]*\).*/\1/p')
  [ -n "$exposure" ] || fail "systemd-analyze security gave no exposure level"
  awk -v e="$exposure" 'BEGIN { exit !(e < 2.0) }' || fail "the service's exposure is $exposure, above OK"
  echo "quillrun-board.service: verified, exposure $exposure"
}

# Installed for real, as root on a machine that has neither the package nor its user
# (a test machine): dpkg makes the user and the folder only it can enter, and the
# installed server, run as that user with the package's own options file, makes its
# database there. Removed again, user and folder with it.
install_board_package() {
  local deb=$1
  if [ "$(id -u)" != 0 ] || dpkg-query -W quillrun-board >/dev/null 2>&1 || getent passwd quillrun-board >/dev/null ||
      [ -e /var/lib/quillrun-board ]; then
    echo "the server's package is not installed for real here (not root, or a board is installed)"
    return
  fi
  local out status=0
  out=$(dpkg -i "$deb" 2>&1) || status=1
  if [ $status = 0 ]; then
    [ "$(stat -c '%U %G %a' /var/lib/quillrun-board 2>/dev/null)" = "quillrun-board quillrun-board 750" ] ||
      status=2
    [ $status = 0 ] && ! getent passwd quillrun-board | grep -q ':/usr/sbin/nologin$' && status=3
    if [ $status = 0 ]; then
      # The options file's database, with the port left to the system.
      local options
      options=$(. /etc/default/quillrun-board && echo "$QUILLRUN_BOARD_OPTIONS" | sed 's/--port [0-9]*/--port 0/')
      : >"$work/served"
      (cd /var/lib/quillrun-board &&
        exec setpriv --reuid=quillrun-board --regid=quillrun-board --clear-groups /usr/bin/quillrun-board $options) \
        >"$work/served" 2>&1 &
      local board=$!
      for _ in $(seq 100); do grep -q "listening on" "$work/served" && break; sleep 0.1; done
      kill -TERM $board 2>/dev/null
      wait $board
      grep -q "listening on" "$work/served" && [ -s /var/lib/quillrun-board/board.sqlite ] || status=4
    fi
  fi
  dpkg --purge quillrun-board >/dev/null 2>&1
  deluser --system quillrun-board >/dev/null 2>&1
  delgroup --system quillrun-board >/dev/null 2>&1
  rm -rf /var/lib/quillrun-board
  case $status in
    1) fail "the server's package does not install: $out" ;;
    2) fail "the board's folder is not the board user's alone: $(stat -c '%U %G %a' /var/lib/quillrun-board 2>&1)" ;;
    3) fail "the board's user can log in" ;;
    4) fail "the installed server did not start as its user on its options: $(cat "$work/served")" ;;
  esac
  echo "quillrun-board: installed, made its user and folder, served as that user, removed"
}

work=$build/test-package
rm -rf "$work"
mkdir -p "$work"
trap 'stop_game' EXIT
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/quillrun_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no package made"

dpkg-deb --info "$deb" >"$work/info" || fail "dpkg-deb cannot read the package"
depends=$(sed -n 's/^ Depends: //p' "$work/info")
echo "Depends: $depends"
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/ //g' | grep .)
grep -qx fonts-ipafont-gothic <<<"$names" || fail "no dependency on the font"
grep -qx 'libsdl2-2.0-0' <<<"$names" || fail "no dependency on SDL"
grep -qx 'libsdl2-mixer-2.0-0' <<<"$names" || fail "no dependency on the mixer of the sound library"
grep -qx libgl1 <<<"$names" || fail "no dependency on the OpenGL library of the hardware device"
grep -qx libsqlite3-0 <<<"$names" || fail "no dependency on SQLite, which keeps the games"
grep -q '^libcurl' <<<"$names" || fail "no dependency on libcurl, which sends games to a board"
server=$(grep -E '^(libmicrohttpd|libpq)' <<<"$names")
[ -z "$server" ] || fail "the game depends on the leaderboard server's libraries: $server"
# zlib's runtime is the one library whose package name does not start with "lib".
bad=$(grep -v -x -e 'fonts-ipafont-gothic' -e 'zlib1g' <<<"$names" | grep -v '^lib' ; grep -E -- '-dev$|gtest|gmock|benchmark' <<<"$names")
[ -z "$bad" ] || fail "dependencies that are not runtime libraries: $bad"
# zenity shows SDL's message boxes on Wayland and the libdecor plugin draws the native
# window's frame where the compositor leaves it to the client; both recommended, not required.
recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$recommends" = "zenity, libdecor-0-plugin-1-cairo" ] ||
  fail "the package recommends \"$recommends\", not zenity and the libdecor plugin"

version=$(dpkg-deb -f "$deb" Version)
[ "$("$build/quillrun" --version)" = "quillrun $version" ] || fail "package version $version is not the game's"

dpkg-deb -x "$deb" "$work/root" || fail "cannot unpack the package"
[ -x "$work/root/usr/lib/quillrun/quillrun" ] && [ -L "$work/root/usr/bin/quillrun" ] || fail "the package lacks the program or its link"
[ ! -e "$work/root/usr/bin/quillrun-board" ] || fail "the game's package holds the leaderboard server"

# The leaderboard server's package, when this build makes the server.
board_deb=$(ls "$work"/quillrun-board_*.deb 2>/dev/null | head -1)
if grep -q '^set(CPACK_COMPONENTS_ALL.*board' "$build/CPackConfig.cmake"; then
  [ -n "$board_deb" ] || fail "no package of the leaderboard server made"
  [ "$(dpkg-deb -f "$board_deb" Version)" = "$version" ] || fail "the server's package is not version $version"
  [ "$(dpkg-deb -f "$board_deb" Description | head -1)" = "leaderboard server for quillrun" ] ||
    fail "the server's package has not its own summary: $(dpkg-deb -f "$board_deb" Description | head -1)"
  board_depends=$(dpkg-deb -f "$board_deb" Depends)
  echo "quillrun-board Depends: $board_depends"
  board_names=$(tr ',|' '\n\n' <<<"$board_depends" | sed 's/(.*)//; s/ //g' | grep .)
  for library in libmicrohttpd libpq libsqlite3 zlib1g; do
    grep -q "^$library" <<<"$board_names" || fail "the server's package does not depend on $library"
  done
  bad=$(grep -v -x -e 'zlib1g' -e 'adduser' <<<"$board_names" | grep -v '^lib'; grep -E -- '-dev$|gtest|gmock|benchmark|^libsdl' <<<"$board_names")
  [ -z "$bad" ] || fail "the server's package has dependencies it does not need: $bad"
  # Only the server, its manual page, its licence and its service: nothing of the game.
  contents=$(dpkg-deb -c "$board_deb" | awk '{ print $6 }' | grep -v '/$' | sort)
  expected=$(printf '%s\n' ./usr/bin/quillrun-board ./usr/share/doc/quillrun-board/LICENSE \
    ./usr/share/man/man1/quillrun-board.1 ./lib/systemd/system/quillrun-board.service \
    ./etc/default/quillrun-board | sort)
  [ "$contents" = "$expected" ] || fail "the server's package holds: $contents"
  [ "$(dpkg-deb -I "$board_deb" conffiles)" = /etc/default/quillrun-board ] || fail "the server's options are no conffile"
  dpkg-deb -I "$board_deb" postinst | grep -q 'adduser --system' || fail "the server's package makes no user"
  dpkg-deb -x "$board_deb" "$work/board" || fail "cannot unpack the server's package"
  groff -man -ww -z "$work/board/usr/share/man/man1/quillrun-board.1" 2>&1 | grep . && fail "the server's man page has errors"
  "$work/board/usr/bin/quillrun-board" --help >"$work/board.help" 2>&1 || fail "the unpacked server does not run"
  check_board_service "$work/board"
  install_board_package "$board_deb"
  echo "quillrun-board: $(echo "$contents" | wc -l) files, runs"
else
  [ -z "$board_deb" ] || fail "a server package made by a build without the server"
fi
play_from_root "$work/root/usr/bin/quillrun" unpacked
rm -rf "$work"
echo "ok"
