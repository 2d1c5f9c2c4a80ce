// The replay runner's input: one line per frame, "dx dy left right escape enter" (six
// integers: the mouse motion and the held state, 0 or 1, of the two buttons and the two
// keys), read as the frames go, never more than the run needs and never more than one
// buffer at a time, so an endless input from a pipe starts at once and a long recording
// costs no more memory than a short one. Lines that start with '#' are comments; a first
// line "# quillrun-record 2 rules R seed N" (or the first recordings' "# quillrun-record
// seed N", rules 1) gives the seed the recording was made with; a recording of other
// rules than this game's is refused when it is opened.
#pragma once
#include <cstddef>
#include <string>

#include "world/step.h"


// One input line without its newline: six integers separated by blanks or commas; an
// empty line is a frame with no motion and nothing held. False with the reason in *why.
bool ParseInputLine(const char *line, size_t length, FrameInput *out, std::string *why);

class ReplayInput {
 public:
  enum Result { Frame, End, Failed, Interrupted };

  ReplayInput() = default;
  ReplayInput(const ReplayInput &) = delete;
  ReplayInput &operator=(const ReplayInput &) = delete;
  ~ReplayInput();

  // Opens a regular file or a pipe ("-" is standard input) and reads the header line
  // when there is one. Anything else (a directory, a device), a header it cannot read
  // and a recording of other rules are refused.
  bool Open(const char *path, std::string *error);
  // Reads from a descriptor the caller opened and keeps open.
  void Attach(int file, const char *name);

  // The next frame's input; End once the input has no more lines; Failed with a
  // message naming the line; Interrupted when `interrupted` said so while waiting for
  // a pipe.
  Result Next(FrameInput *out, std::string *error);

  // The seed of the header line, when the input has one.
  bool HeaderSeed(unsigned long *seed) const;
  // The rules version of the header line; 0 without one.
  int HeaderRules() const;

  // Asked while waiting for more input; true stops the wait.
  bool (*interrupted)() = nullptr;

 private:
  enum LineResult { Line, NoMore, Bad, Stopped };
  LineResult ReadLine(const char **line, size_t *length, std::string *error);
  bool Fill(std::string *error, bool *stopped);
  std::string Where() const;

  static constexpr size_t BufferSize = 65536;
  static constexpr size_t MaxLine = 1000;
  int file_ = -1;
  bool owned_ = false;
  bool ended_ = false;
  std::string name_;
  long lineNumber_ = 0;
  bool haveSeed_ = false;
  unsigned long seed_ = 0;
  int rules_ = 0;
  bool pendingLine_ = false;  // the header peek read a frame line: give it out first
  char buffer_[BufferSize];
  size_t start_ = 0, end_ = 0;
  size_t pendingStart_ = 0, pendingLength_ = 0;
};
