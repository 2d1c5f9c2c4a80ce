#!/usr/bin/env bash
# Keeps the layers apart. All folders share one include root, so nothing in the compiler
# stops an include in the wrong direction: this check does, reading every file of each
# folder and of all its subfolders. Each folder may include only the folders below it:
#   world     the standard library only
#   record    world: the record format (its header, its lines, its one reader), below
#             everything that reads or writes recordings
#   base      the standard library only (the Win32 base types, the file check)
#   datadir   the standard library only (where the game's data is read from)
#   png       the standard library and zlib only (the PNG encoder)
#   platform  base; nothing of the game, of the tools or of the sound library
#   ezds      base; nothing of the platform, whose loader takes it in
#   sound     platform, base, datadir
#   render    world, platform, base, datadir
#   app       everything above (never the tools, which are built on it, nor the board),
#             except the built-in player (app/player.*), which plays
#             through the frame input alone and so includes the world only
#   board     the leaderboard server: the world, the record format and the built-in
#             player (app/player.h); nothing that draws, sounds or opens a window
# And the world library must not need anything but the C and C++ runtimes: every symbol
# it leaves undefined has to come from them (no platform call, no sound, no rand).
# Usage: layers.sh SOURCE_DIR [LIBWORLD.a]
set -uo pipefail
source_dir=$1
world_library=${2:-}
status=0

forbid() {   # folder, then the folders it must not include
  local folder=$1; shift
  local pattern
  pattern=$(printf '|%s/' "$@")
  pattern=${pattern:1}
  local hits
  hits=$(grep -rnE --include='*.cpp' --include='*.h' --include='*.c' \
    "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"](${pattern})" "$source_dir/$folder" 2>/dev/null)
  if [ -n "$hits" ]; then
    echo "layers: $folder/ includes what it must not:"
    echo "$hits" | sed "s|^$source_dir/|  |"
    status=1
  fi
}

forbid world app render sound platform tools ezds base datadir board record
forbid record app render sound platform tools ezds base datadir png board
forbid base app render sound platform tools ezds world datadir board record
forbid datadir app render sound platform tools ezds world base board record
forbid png app render sound platform tools ezds world base datadir board record
forbid platform app render sound world tools ezds datadir board record
forbid ezds app render sound world tools platform datadir board record
forbid sound app render world tools board record
forbid render app sound tools board
forbid app tools board
forbid board render sound platform ezds base datadir png
hits=$(grep -rnE --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<](app|tools)/' \
  "$source_dir/board" 2>/dev/null | grep -vE '["<]app/player\.h[">]')
if [ -n "$hits" ]; then
  echo "layers: board/ includes more of the game than the player:"
  echo "$hits" | sed "s|^$source_dir/|  |"
  status=1
fi
hits=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "$source_dir"/app/player.* 2>/dev/null |
  grep -E '["<](app|render|sound|platform|tools|ezds)/' | grep -v '"app/player.h"')
if [ -n "$hits" ]; then
  echo "layers: the built-in player includes more than the world:"
  echo "$hits" | sed "s|^$source_dir/|  |"
  status=1
fi

if [ -n "$world_library" ]; then
  if [ ! -f "$world_library" ]; then
    echo "layers: no world library at $world_library"
    exit 1
  fi
  # The runtimes' symbols: the standard library (mangled into std), the C++ ABI, the C
  # library's memory and maths, the stack protector and the sanitizers' hooks.
  runtime_prefixes='^(_ZS|_ZNS|_ZNKS|__cxa_|__gxx_personality|_Unwind_|__asan_|__ubsan_|__sanitizer_|__lsan_)'
  runtime_names='^(_ZdlPv|_ZdlPvm|_ZdaPv|_ZdaPvm|_Znwm|_Znam|__stack_chk_fail|_GLOBAL_OFFSET_TABLE_|__dso_handle|mem(set|cpy|move|cmp)|(sincos|sin|cos|tan|atan2|atan|sqrt|fmod|floor|ceil|round|lround|hypot|exp|log|pow|frexp|ldexp|ilogb)f?)$'
  # Undefined in one of its objects and defined in none of them.
  defined=$(nm --defined-only "$world_library" | awk 'NF == 3 {print $3}' | sort -u)
  foreign=$(nm -u "$world_library" | awk '$1 == "U" {print $2}' | sort -u | comm -23 - <(echo "$defined") |
    grep -vE "$runtime_prefixes" | grep -vE "$runtime_names")
  if [ -n "$foreign" ]; then
    echo "layers: the world library reaches outside the runtimes for:"
    echo "$foreign" | sed 's/^/  /'
    status=1
  fi
fi

[ $status -eq 0 ] && echo "layers: every include goes downwards; the world needs only the runtimes"
exit $status
