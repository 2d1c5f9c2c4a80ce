// The lines of a recording after its header, and the one reader every program uses for
// them: the game's --watch, the replay runner, the board, and the page's replay and
// watching. A recording is
//   # quillrun-record 2 rules R seed N      the header (record_header.h), first line only
//   # game begins at frame B                 where the game to score or watch begins
//   dx dy left right escape enter            one line for each frame, from the run's first
//   # frames N score S                       how it ended (a comment to every reader)
// and any other line starting with '#' is a comment.
//
// The rules every reader keeps, chosen so that every file the game, the tools and the
// board have written reads as it did:
//  - A line ends at LF; CRs just before it are no part of the line, so a recording made
//    on Windows (written in text mode, CR LF) reads as the same frames. A CR anywhere
//    else is a stray byte.
//  - A frame's six values are separated by any run of blanks, tabs and commas; leading
//    and trailing ones are allowed. Each is a decimal integer with an optional sign.
//  - An empty line, or one of blanks alone, is a frame with no motion and nothing held:
//    the replay runner and the board have always read it so, and the board's scores
//    were proven that way, so skipping it (as --watch once did) would move every later
//    frame of such a file by one.
//  - Motion is at most a million either way: the game holds a person's scaled motion to
//    that before the world (and the recording) sees it, so a fast flick at a high
//    sensitivity on a large screen is a real game's line, not a hostile one.
//  - A line is at most RecordMaxLine bytes before its LF; the longest line a writer
//    writes is about fifty.
//  - A NUL or another control byte (tab and the line end's CR aside) is refused
//    anywhere; bytes of 0x80 and up only in comments, where a person's UTF-8 note is
//    harmless.
//  - The header is read on the first line only; a header anywhere else, a second
//    "game begins" line or a malformed one is refused, as no writer writes them.
// What a program does with a missing header or other rules (the runner takes --seed; the
// board and --watch refuse) stays with that program.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "record/record_header.h"
#include "world/step.h"

inline constexpr int RecordMaxMotion = 1000000;
inline constexpr size_t RecordMaxLine = 1000;

// One frame line without its newline (trailing CRs already dropped or not): six values;
// an empty or blank line is a frame with nothing done. False with the reason in *why.
bool ParseInputLine(const char *line, size_t length, FrameInput *out, std::string *why);

// The lines the writers write, without their newline.
std::string RecordFrameLine(const FrameInput &input);
std::string RecordBeginsLine(uint32_t frame);
std::string RecordEndLine(uint64_t frames, int score);

enum class RecordLine { Frame, Header, Begins, Comment, Bad };

// Reads a recording one line at a time, as the frames go; it keeps the header and the
// "game begins" frame when it has met them.
class RecordLineReader {
 public:
  // With `headerRequired`, a first line that is not a header is refused.
  explicit RecordLineReader(bool headerRequired) : headerRequired_(headerRequired) {}

  // The next line, without its LF (any length: longer than RecordMaxLine is refused).
  // A Frame fills *frame; Bad says why in *why.
  RecordLine Read(const char *line, size_t length, FrameInput *frame, std::string *why);

  long LineNumber() const { return lineNumber_; }
  bool HasHeader() const { return hasHeader_; }
  const RecordHeader &Header() const { return header_; }
  bool HasBegins() const { return hasBegins_; }
  uint32_t Begins() const { return begins_; }

 private:
  bool headerRequired_;
  long lineNumber_ = 0;
  bool hasHeader_ = false;
  RecordHeader header_;
  bool hasBegins_ = false;
  uint32_t begins_ = 0;
};

// Why a whole recording could not be read: the line and the reason, or too many frames.
struct RecordFault {
  long line = 0;
  std::string why;
  bool tooManyFrames = false;
  bool readError = false;   // the stream itself failed
};

// Every line of a text (or of a stdio stream, read in pieces) through `reader`, each
// frame appended to `inputs`, at most `maxFrames` of them. False with the fault.
bool ReadRecordText(std::string_view text, RecordLineReader &reader, std::vector<FrameInput> &inputs,
                    size_t maxFrames, RecordFault &fault);
bool ReadRecordStream(std::FILE *file, RecordLineReader &reader, std::vector<FrameInput> &inputs, size_t maxFrames,
                      RecordFault &fault);
