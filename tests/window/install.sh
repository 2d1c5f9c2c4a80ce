#!/usr/bin/env bash
# The install: cmake --install into a fresh prefix puts the program and its sound
# library in lib/quillrun with a bin/ link to it, the data, the desktop entry, the icons,
# the metainfo, the man page and the licence in their places; the desktop entry and the
# metainfo pass their validators; and the installed game, started through the link from
# / as its working directory, finds its textures and sounds (see play_from_root).
set -u
build=$(cd "$1" && pwd)
. "$(dirname "$0")/shell_helpers.bash"
. "$(dirname "$0")/install_helpers.bash"
require_display

work=$build/test-install
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
trap 'stop_game' EXIT
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install failed"; }

[ "$(readlink "$prefix/bin/quillrun")" = ../lib/quillrun/quillrun ] || fail "bin/quillrun is not a relative link to the program"
for file in lib/quillrun/quillrun lib/quillrun/libezds.so share/quillrun/data/qrtex1.dds share/quillrun/data/pi.wav \
    share/applications/org.quillrun.quillrun.desktop share/metainfo/org.quillrun.quillrun.metainfo.xml \
    share/man/man6/quillrun.6 share/doc/quillrun/LICENSE; do
  [ -s "$prefix/$file" ] || fail "nothing installed at $file"
done
for size in 48 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/org.quillrun.quillrun.png
  [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}" ] || fail "no ${size} pixel icon"
  # A rounded tile: clear in the corners, opaque in the middle where the hand is.
  [ "$(convert "$icon" -format '%[fx:p{0,0}.a] %[fx:p{w/2,h/2}.a]' info:)" = "0 1" ] || fail "the ${size} pixel icon is not the tile"
done
desktop-file-validate "$prefix/share/applications/org.quillrun.quillrun.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/org.quillrun.quillrun.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "the metainfo does not validate"; }
groff -man -ww -z "$prefix/share/man/man6/quillrun.6" 2>&1 | grep . && fail "the man page has errors"

play_from_root "$prefix/bin/quillrun" installed
rm -rf "$work"
echo "ok"
