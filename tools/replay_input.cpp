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

#include "world/record_header.h"

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

}  // namespace

bool ParseInputLine(const char *line, size_t length, FrameInput *out, std::string *why) {
  long values[6] = {0, 0, 0, 0, 0, 0};
  int count = 0;
  size_t at = 0;
  for (;;) {
    while (at < length && IsSeparator(line[at])) at++;
    if (at == length) break;
    if (count == 6) {
      *why = "more than six values";
      return false;
    }
    // Up to 6 characters: a sign and five digits (motion is at most 10000 either way).
    char number[8];
    size_t digits = 0;
    while (at + digits < length && !IsSeparator(line[at + digits]) && digits < 7) digits++;
    if (at + digits < length && !IsSeparator(line[at + digits])) {
      *why = "a value out of range";
      return false;
    }
    std::memcpy(number, line + at, digits);
    number[digits] = '\0';
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(number, &end, 10);
    if (end == number || *end != '\0' || errno != 0) {
      *why = "not a number";
      return false;
    }
    values[count++] = value;
    at += digits;
  }
  if (count != 0 && count != 6) {
    *why = "want six values";
    return false;
  }
  if (values[0] < -10000 || values[0] > 10000 || values[1] < -10000 || values[1] > 10000) {
    *why = "motion beyond 10000";
    return false;
  }
  for (int i = 2; i < 6; i++) {
    if (values[i] != 0 && values[i] != 1) {
      *why = "a button or key that is not 0 or 1";
      return false;
    }
  }
  out->dx = static_cast<int>(values[0]);
  out->dy = static_cast<int>(values[1]);
  out->left = values[2] != 0;
  out->right = values[3] != 0;
  out->escape = values[4] != 0;
  out->enter = values[5] != 0;
  return true;
}

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
  const char *line = nullptr;
  size_t length = 0;
  const LineResult first = ReadLine(&line, &length, error);
  if (first == Bad) return false;
  if (first == Stopped) return true;
  if (first == Line) {
    RecordHeader header;
    std::string why;
    const HeaderLine kind = ReadRecordHeader(line, length, &header, &why);
    if (kind == HeaderLine::Bad) {
      *error = Where() + ": " + why;
      return false;
    }
    if (kind == HeaderLine::Header) {
      // Another version of the rules would play another game from the same input.
      const std::string refusal = RulesRefusal(header.rules);
      if (!refusal.empty()) {
        *error = Where() + ": " + refusal;
        return false;
      }
      haveSeed_ = true;
      seed_ = header.seed;
      rules_ = header.rules;
    } else if (line[0] != '#') {
      // A frame line: Next gives it out first.
      pendingLine_ = true;
      pendingStart_ = static_cast<size_t>(line - buffer_);
      pendingLength_ = length;
    }
  }
  return true;
}

void ReplayInput::Attach(int file, const char *name) {
  file_ = file;
  owned_ = false;
  name_ = name;
}

bool ReplayInput::HeaderSeed(unsigned long *seed) const {
  if (haveSeed_) *seed = seed_;
  return haveSeed_;
}

int ReplayInput::HeaderRules() const { return haveSeed_ ? rules_ : 0; }

std::string ReplayInput::Where() const { return name_ + ":" + std::to_string(lineNumber_); }

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

ReplayInput::LineResult ReplayInput::ReadLine(const char **line, size_t *length, std::string *error) {
  for (;;) {
    const char *newline = static_cast<const char *>(std::memchr(buffer_ + start_, '\n', end_ - start_));
    size_t size = newline ? static_cast<size_t>(newline - (buffer_ + start_)) : end_ - start_;
    const bool tooLong = size > MaxLine;
    if (tooLong || newline || (ended_ && size > 0)) {
      lineNumber_++;
      const char *text = buffer_ + start_;
      start_ += size + (newline ? 1 : 0);
      // A stray byte says more about the input than its length does.
      for (size_t i = 0; i < size && i <= MaxLine; i++) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\0') {
          *error = Where() + ": a NUL byte in the line";
          return Bad;
        }
        if ((c < 0x20 && c != '\t' && c != '\r') || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "0x%02X", c);
          *error = Where() + ": unexpected byte " + hex + " in the line";
          return Bad;
        }
      }
      if (tooLong) {
        *error = Where() + ": line too long";
        return Bad;
      }
      *line = text;
      *length = size;
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
  for (;;) {
    const char *line = nullptr;
    size_t length = 0;
    if (pendingLine_) {
      // The header peek's line still sits in the buffer: nothing has been read since.
      pendingLine_ = false;
      line = buffer_ + pendingStart_;
      length = pendingLength_;
    } else {
      switch (ReadLine(&line, &length, error)) {
        case Line: break;
        case NoMore: return End;
        case Bad: return Failed;
        case Stopped: return Interrupted;
      }
    }
    if (length > 0 && line[0] == '#') continue;
    std::string why;
    *out = FrameInput{};
    if (!ParseInputLine(line, length, out, &why)) {
      *error = Where() + ": malformed line (want \"dx dy left right escape enter\"): " + why + ": " +
               std::string(line, length);
      return Failed;
    }
    return Frame;
  }
}
