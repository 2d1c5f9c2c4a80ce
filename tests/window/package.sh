#!/usr/bin/env bash
# The Debian package: cpack -G DEB makes a .deb that depends only on runtime libraries
# and the font, never on anything that builds or tests the game; its version is the one
# the game shows; and its contents unpacked into any folder play from / (see
# play_from_root). The sanitized build makes no package: its program needs the
# sanitizers' runtime.
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
. "$(dirname "$0")/install_helpers.bash"
require_display
if grep -q '^QR_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then echo "sanitized build: skipped"; exit 77; fi

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
# zlib's runtime is the one library whose package name does not start with "lib".
bad=$(grep -v -x -e 'fonts-ipafont-gothic' -e 'zlib1g' <<<"$names" | grep -v '^lib' ; grep -E -- '-dev$|gtest|gmock|benchmark' <<<"$names")
[ -z "$bad" ] || fail "dependencies that are not runtime libraries: $bad"
# zenity shows SDL's message boxes on Wayland; it is recommended, not required.
[ "$(dpkg-deb -f "$deb" Recommends)" = zenity ] || fail "the package does not recommend zenity"

version=$(dpkg-deb -f "$deb" Version)
[ "$("$build/quillrun" --version)" = "quillrun $version" ] || fail "package version $version is not the game's"

dpkg-deb -x "$deb" "$work/root" || fail "cannot unpack the package"
[ -x "$work/root/usr/lib/quillrun/quillrun" ] && [ -L "$work/root/usr/bin/quillrun" ] || fail "the package lacks the program or its link"
play_from_root "$work/root/usr/bin/quillrun" unpacked
rm -rf "$work"
echo "ok"
