// The first line of a recording: "# quillrun-record 2 rules R seed N", the record
// format (2), the rules the game was played under and the seed of its world. The
// first recordings said only "# quillrun-record seed N": those were played under
// rules 1. A recording is only worth replaying under the rules it was made with, so a
// reader refuses one of other rules by name instead of playing a different game.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "world/step.h"

inline constexpr int RecordFormat = 2;

struct RecordHeader {
  int format = 0;
  int rules = 0;
  uint32_t seed = 0;
};

enum class HeaderLine {
  Other,   // not a header: a frame or an ordinary comment
  Header,  // read into *out
  Bad      // starts as a header but is not one this game can read; why says what is wrong
};

// The header for a recording made now, without its newline.
std::string RecordHeaderLine(uint32_t seed);

// The lines of one game as it is kept and shared: the header (of the rules it was
// played under), "# game begins at frame B", every frame's input from the run's first
// to the game's last ("dx dy left right escape enter"), and "# frames N score S".
// inputs holds at least ended + 1 frames.
std::string GameRecordText(int rules, uint32_t seed, uint32_t began, uint32_t ended, int score,
                           const FrameInput *inputs);

// Reads one line (without its newline) as a header.
HeaderLine ReadRecordHeader(const char *line, size_t length, RecordHeader *out, std::string *why);

// Empty when a recording of these rules replays here; otherwise the refusal, naming
// both versions.
std::string RulesRefusal(int recordedRules);
