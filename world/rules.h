// The version of the game's rules: what one frame does to a world. Every change to what
// StepWorld makes of a world and its input raises it, so a replay kept under other rules
// is refused by name instead of playing a different game (the kept replay hashes in the
// tests are tied to it). Recordings without a version were made under rules 1.
#pragma once

inline constexpr int RulesVersion = 1;

// The program's own version, as the title screen shows it, `--version` prints it and the
// game names itself to a board: kept here, below the picture, the program and the board
// client alike, beside the version of its rules.
inline constexpr const char *gameVersion = "0.14";
