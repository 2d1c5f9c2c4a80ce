#!/usr/bin/env bash
# The layer check itself: a wrong include planted deep in a subfolder of each layer is
# found and named, and a tree with only downward includes passes. Runs layers.sh on
# small trees made here.
set -uo pipefail
check=$(dirname "$0")/layers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

plant() {  # plant <file> <include>: a tree with that one file; layers.sh must refuse it
  local tree=$work/tree-$RANDOM
  mkdir -p "$tree/$(dirname "$1")"
  printf '#include "%s"\n' "$2" >"$tree/$1"
  if out=$(bash "$check" "$tree" 2>&1); then
    echo "FAIL: $1 including $2 passed the layer check"
    failures=$((failures + 1))
  elif ! grep -q "$1" <<<"$out"; then
    echo "FAIL: the layer check did not name $1: $out"
    failures=$((failures + 1))
  fi
}

plant platform/drivers/web/deep/planted.cpp app/game.h
plant platform/raster/gl/planted.h world/world.h
plant platform/kernel32/posix/planted.cpp ezds/ezds.h
plant ezds/planted.cpp platform/user32/window.h
plant base/planted.h platform/platform.h
plant world/sub/planted.cpp render/scene.h
plant sound/planted.cpp app/game.h
plant board/planted.cpp render/scene.h
plant board/deep/planted.cpp app/game.h
plant app/planted.cpp board/db.h
plant record/planted.cpp app/store_commands.h
plant record/deep/planted.h board/verify.h
plant record/planted.h tools/replay_input.h
plant world/planted.cpp record/record_lines.h
plant board/planted.h tools/replay_input.h

# Downward includes only: passes.
tree=$work/good
mkdir -p "$tree/platform/drivers/sdl" "$tree/ezds" "$tree/render" "$tree/board" "$tree/record" "$tree/app"
printf '#include "base/win32_types.h"\n#include "platform/user32/window.h"\n' >"$tree/platform/drivers/sdl/ok.cpp"
printf '#include "base/file_check.h"\n' >"$tree/ezds/ok.cpp"
printf '#include "world/world.h"\n#include "platform/platform.h"\n' >"$tree/render/ok.cpp"
printf '#include "world/step.h"\n#include "app/player.h"\n#include "record/record_lines.h"\n' >"$tree/board/ok.cpp"
printf '#include "world/step.h"\n#include "record/record_header.h"\n' >"$tree/record/ok.cpp"
printf '#include "record/record_lines.h"\n' >"$tree/app/ok.cpp"
if ! out=$(bash "$check" "$tree" 2>&1); then
  echo "FAIL: a tree of downward includes was refused: $out"
  failures=$((failures + 1))
fi

[ $failures -eq 0 ] && echo "layers_planted: every planted include was found"
exit $((failures > 0))
