// Reading the replay runner's input line by line as the frames go (see replay_input.h).
#include "tools/replay_input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "record/record_header.h"

ReplayInput::~ReplayInput() {
  if (owned_ && file_ >= 0) close(file_);
}

bool ReplayInput::Open(const char *path, std::string *error) {
  const bool standardInput = std::strcmp(path, "-") == 0;
  // Without O_NONBLOCK, opening a named pipe would wait here for its writer.
  const int file = standardInput ? dup(0) : open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  const char *name = standardInput ? "standard input" : path;
  if (file < 0) {
    *error = std::string("cannot open input ") + name + ": " + std::strerror(errno);
    return false;
  }
  struct stat info = {};
  if (fstat(file, &info) != 0 || (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode))) {
    close(file);
    *error = std::string("cannot read input ") + name + ": " +
             (S_ISDIR(info.st_mode) ? "it is a directory" : "not a regular file or a pipe");
    return false;
  }
  // Reads need not block: Fill waits in poll, where a quit signal can end the wait, and
  // reads only what poll says is there.
  if (!standardInput) {
    const int flags = fcntl(file, F_GETFL);
    if (flags >= 0) fcntl(file, F_SETFL, flags & ~O_NONBLOCK);
  }
  Attach(file, name);
  owned_ = true;
  // The header, when the first line is one: the seed of the recording.
  RecordLine kind = RecordLine::Comment;
  const LineResult first = ReadLine(&kind, &pending_, error);
  if (first == Bad) return false;
  if (first != Line) return true;
  if (kind == RecordLine::Header) {
    // Another version of the rules would play another game from the same input.
    const std::string refusal = RulesRefusal(reader_.Header().rules);
    if (!refusal.empty()) {
      *error = Where() + ": " + refusal;
      return false;
    }
  }
  // A frame line: Next gives it out first.
  pendingFrame_ = kind == RecordLine::Frame;
  return true;
}

void ReplayInput::Attach(int file, const char *name) {
  file_ = file;
  owned_ = false;
  name_ = name;
}

bool ReplayInput::HeaderSeed(unsigned long *seed) const {
  if (reader_.HasHeader()) *seed = reader_.Header().seed;
  return reader_.HasHeader();
}

int ReplayInput::HeaderRules() const { return reader_.HasHeader() ? reader_.Header().rules : 0; }

std::string ReplayInput::Where() const { return name_ + ":" + std::to_string(reader_.LineNumber()); }

bool ReplayInput::Fill(std::string *error, bool *stopped) {
  if (start_ > 0) {
    std::memmove(buffer_, buffer_ + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  for (;;) {
    // A pipe whose writer has not come yet, or is slow, waits here; a file never does.
    pollfd wait = {file_, POLLIN, 0};
    const int ready = poll(&wait, 1, 100);
    if (interrupted && interrupted()) {
      *stopped = true;
      return false;
    }
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    const ssize_t got = read(file_, buffer_ + end_, BufferSize - end_);
    if (got > 0) {
      end_ += static_cast<size_t>(got);
      return true;
    }
    if (got == 0) {
      ended_ = true;
      return false;
    }
    if (errno == EAGAIN || errno == EINTR) continue;
    *error = "cannot read input " + name_ + ": " + std::strerror(errno);
    return false;
  }
}

ReplayInput::LineResult ReplayInput::ReadLine(RecordLine *kind, FrameInput *frame, std::string *error) {
  for (;;) {
    const char *newline = static_cast<const char *>(std::memchr(buffer_ + start_, '\n', end_ - start_));
    const size_t size = newline ? static_cast<size_t>(newline - (buffer_ + start_)) : end_ - start_;
    // A line longer than any may be is given to the reader as it stands, which refuses it.
    if (size > MaxLine || newline || (ended_ && size > 0)) {
      const char *text = buffer_ + start_;
      start_ += size + (newline ? 1 : 0);
      std::string why;
      *kind = reader_.Read(text, size, frame, &why);
      if (*kind == RecordLine::Bad) {
        *error = Where() + ": " + why;
        return Bad;
      }
      return Line;
    }
    if (ended_) return NoMore;
    bool stopped = false;
    error->clear();
    if (!Fill(error, &stopped)) {
      if (stopped) return Stopped;
      if (!error->empty()) return Bad;
    }
  }
}

ReplayInput::Result ReplayInput::Next(FrameInput *out, std::string *error) {
  if (pendingFrame_) {
    pendingFrame_ = false;
    *out = pending_;
    return Frame;
  }
  for (;;) {
    RecordLine kind = RecordLine::Comment;
    switch (ReadLine(&kind, out, error)) {
      case Line: break;
      case NoMore: return End;
      case Bad: return Failed;
      case Stopped: return Interrupted;
    }
    if (kind == RecordLine::Frame) return Frame;
  }
}
