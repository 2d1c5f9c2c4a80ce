// quillrun's command line, in the GNU style: long options from one table, each with the
// name of its argument (given as "--scale 2" or "--scale=2"), its line of the usage, and
// what it sets. With no arguments the game starts as it always has.
#pragma once
#include <cstdio>
#include <string>

#include "record/player_name.h"

struct StartOptions {
  int displayMode = 0;   // 0 asks "FULL SCREEN ?" at start; IDYES or IDNO is the answer taken instead
  int windowScale = 1;   // screen pixels per pixel of the game's 800 x 600 window
  bool scaleGiven = false;  // --scale given: the window opens at it, not at its last size
  std::string recordPath;   // --record: where the games played are kept for replays
  bool demo = false;        // --demo: the built-in player plays until Escape
  double sensitivity = 1.0; // --sensitivity: the mouse motion's scale, 0.25 to 4
  std::string mouseMode = "auto";   // --mouse: auto, relative, warp or absolute
  int volume = 100;                 // --volume: the sound effects' volume, 0 (silent) to 100
  bool smoothPacing = true;  // --pacing: smooth (pictures at the display's rate) or original
  bool scores = false;       // --scores: print the best kept games and exit
  std::string watch;         // --watch: a kept game's id or a record file to play again
  std::string exportId;      // --export ID FILE: a kept game's run written as a record
  std::string exportPath;
  std::string submitBoard;   // --submit URL [ID]: send a kept game (the best when no id) to a board
  std::string submitId;
  std::string board;         // --board: the board a run's best game is offered to; empty: none
  std::string name;          // --name: the player's name on boards; empty: the login name
  bool help = false;
  bool version = false;
};

// Reads the arguments after the program's name. False, with the reason in error, for an
// unknown option, a missing or bad argument, or anything that is not an option.
bool ParseCommandLine(int argc, const char *const *argv, StartOptions &options, std::string &error);

// A board's address as the settings and the command line take it: a URL that parses,
// http:// or https://, a server (a name, an IPv4 address or an IPv6 one in brackets)
// with an optional port, and a path without blanks, query or fragment (empty, for no
// board, only where allowEmpty). False with the reason.
bool BoardAddressOk(const std::string &address, bool allowEmpty, std::string &why);
// A number as the settings and the command line take it: decimal digits with at most
// one point (no sign, exponent or hexadecimal).
bool DecimalNumberOk(const std::string &text, double &value);

// The usage: one line per option of the table.
void PrintUsage(FILE *to);
