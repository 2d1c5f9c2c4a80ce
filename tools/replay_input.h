// The replay runner's input: a recording in the record format (record/record_lines.h),
// read as the frames go, never more than the run needs and never more than one buffer
// at a time, so an endless input from a pipe starts at once and a long recording costs
// no more memory than a short one. Every line goes through the record format's one line
// reader, so the runner plays a file as --watch and the board do. A first line "#
// quillrun-record 2 rules R seed N" (or the first recordings' "# quillrun-record seed N",
// rules 1) gives the seed the recording was made with; a recording of other rules than
// this game's is refused when it is opened. Without a header the seed is the caller's.
#pragma once
#include <cstddef>
#include <string>

#include "record/record_lines.h"
#include "world/step.h"

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
  // The next line as the record reader reads it.
  LineResult ReadLine(RecordLine *kind, FrameInput *frame, std::string *error);
  bool Fill(std::string *error, bool *stopped);
  std::string Where() const;

  static constexpr size_t BufferSize = 65536;
  static constexpr size_t MaxLine = RecordMaxLine;
  int file_ = -1;
  bool owned_ = false;
  bool ended_ = false;
  std::string name_;
  RecordLineReader reader_{false};
  bool pendingFrame_ = false;  // the header peek read a frame line: give it out first
  FrameInput pending_{};
  char buffer_[BufferSize];
  size_t start_ = 0, end_ = 0;
};
