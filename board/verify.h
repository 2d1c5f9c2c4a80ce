// Proving a submitted game: the board never takes a score, only a recording, and plays
// it again from its seed to compute the score itself. A recording is the run's every
// frame input from start-up ("# quillrun-record 2 rules R seed N", then one
// "dx dy left right escape enter" line per frame); the game scored is the one that
// begins on the frame asked for, or else on the frame an exported game names
// ("# game begins at frame N"), or else the first game in the run that ends.
#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "record/player_name.h"
#include "world/step.h"

// What a submission may be, at most.
inline constexpr size_t BoardMaxBody = 4u << 20;        // bytes as sent
inline constexpr size_t BoardMaxInflated = 40u << 20;   // bytes once a gzip body is opened
inline constexpr size_t BoardMaxFrames = 2000000;       // frame lines in a recording

// Why a submission is refused; each has its own HTTP status (RefusalStatus).
enum class Refusal {
  None,
  Malformed,       // 400: a line that is not a frame, a bad header, not gzip when said to be
  TooLarge,        // 413: over the body, the opened body or the frame limit
  OtherRules,      // 422: recorded under other rules than the board's
  NoGame,          // 422: no game begins on the frame asked for
  NoEnd,           // 422: the game does not end in GAME OVER or ALL CLEAR within the run
  BuiltInPlayer,   // 422: every input of the game is what the built-in player plays there
  BadName,         // 400: empty, over 24 code points, not UTF-8, or a control character
  TooMany,         // 429: the address has sent its share for now
  Busy,            // 503: the queue of games to play is full
  TooSlow,         // 503: playing it took longer than the board allows
  Copy,            // 409: the same game is kept already (its fingerprints, below)
};
int RefusalStatus(Refusal refusal);
// A short name for the refusal in answers ("malformed", "too-large", ...).
const char *RefusalName(Refusal refusal);

// A recording read from a submission.
struct SubmittedRecord {
  uint32_t seed = 0;
  int rules = 0;                    // from the header; 1 for the first recordings' header
  bool beginsNamed = false;         // the file said "# game begins at frame N"
  uint32_t beginsAt = 0;
  std::vector<FrameInput> inputs;   // frame 0 is the run's first input
};

// Opens a gzip (or zlib) body into text, refusing one whose text would pass `limit`
// bytes. False with TooLarge or Malformed and the reason.
bool InflateBody(const std::string &body, std::string &text, Refusal &refusal, std::string &why,
                 size_t limit = BoardMaxInflated);

// Text as one gzip member (what the board keeps of a game). False only when zlib fails.
bool GzipText(const std::string &text, std::string &gzip);

// Reads a recording from text. The header is required and must be the first line; a
// malformed line is named by its number ("line 12: ..."). Refuses a recording of other
// rules than this board plays (OtherRules) and one over BoardMaxFrames (TooLarge).
bool ReadSubmittedRecord(const std::string &text, SubmittedRecord &record, Refusal &refusal, std::string &why);

// The game as the board computed it.
struct ProvenGame {
  int mode = 0;             // 0 normal, 1 random
  int rules = 0;
  const char *end = "";     // "over" (GAME OVER) or "clear" (ALL CLEAR)
  int score = 0;
  int shield = 0;
  uint32_t began = 0;       // the frame whose input started it
  uint32_t ended = 0;       // the frame whose input ended it
  uint32_t frames = 0;      // ended - began + 1
  // What makes the game the game it is, as keys a board keeps only once (SHA-256, 32
  // bytes each): see GameFingerprints.
  std::vector<std::string> fingerprints;
};

// A game's fingerprints, each of its mode, its rules and its own inputs, never of the
// seed or of anything before its first frame (the header's spelling, the title frames
// before it, an earlier game in the run):
//   "whole"    every input the world read in the game, update by update: the hand's
//              motion as taken (motion made over frames slow motion skips is taken at
//              once at the next update) and the two buttons. Keys the world never reads
//              in a game (Enter, a held Escape) and the first frame's motion (a new game
//              throws it away) are not in it, so a copy changed only there is the same.
//   "opening"  the game's inputs frame by frame (motion and buttons) up to its
//              OpeningMovingFrames-th frame of mouse motion, whatever the world does.
//              Title frames before a game move the world's generator (a star is drawn
//              each one), so the same inputs after them play another world that ends
//              elsewhere, with another score: the opening is still this game's. A game
//              ending before that many frames of motion has no opening key.
inline constexpr int OpeningMovingFrames = 60;

// Plays the recording and scores its game: the one beginning on frame `game` when
// asked (game >= 0), else on the frame the file names, else the first that ends. Then
// refuses a game whose every input from its first frame to its last is what the
// built-in player decides from that state (a fresh player from the game's first frame,
// stopping at the first input that differs). Fills in the game's fingerprints.
// `cancel`, when set, or the deadline passing stops the work with TooSlow. False with the refusal and the reason.
bool ProveGame(const SubmittedRecord &record, int64_t game, ProvenGame &proven, Refusal &refusal, std::string &why,
               std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max(),
               const std::atomic<bool> *cancel = nullptr);

// Empty when `name` may be a player's name on the boards (record/player_name.h), else
// the reason, for the answer.
std::string NameRefusal(const std::string &name);

// Text for an HTML page: & < > " ' as character references, nothing else changed.
std::string HtmlEscape(const std::string &text);
