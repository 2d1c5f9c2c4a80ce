// Reading and writing a recording's lines (see record_lines.h).
#include "record/record_lines.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char BeginsPrefix[] = "# game begins at frame ";

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// An optional sign, then decimal digits, nothing else. Held at a billion either way,
// far past any value a line may hold, so a long run of digits cannot overflow.
bool ReadValue(const char *text, size_t length, long long *out) {
  size_t at = 0;
  const bool negative = length > 0 && text[0] == '-';
  if (length > 0 && (text[0] == '-' || text[0] == '+')) at = 1;
  if (at == length) return false;
  long long value = 0;
  for (; at < length; at++) {
    if (text[at] < '0' || text[at] > '9') return false;
    if (value < 1000000000) value = value * 10 + (text[at] - '0');
  }
  *out = negative ? -value : value;
  return true;
}

// "# game begins at frame N", then blanks alone.
bool ReadBegins(const char *line, size_t length, uint32_t *frame) {
  size_t at = sizeof BeginsPrefix - 1;
  uint64_t value = 0;
  const size_t first = at;
  for (; at < length && line[at] >= '0' && line[at] <= '9'; ++at) {
    value = value * 10 + static_cast<uint64_t>(line[at] - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  if (at == first) return false;
  while (at < length && (line[at] == ' ' || line[at] == '\t')) ++at;
  if (at != length) return false;
  *frame = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

bool ParseInputLine(const char *line, size_t length, FrameInput *out, std::string *why) {
  long long values[6] = {0, 0, 0, 0, 0, 0};
  int count = 0;
  size_t at = 0;
  for (;;) {
    while (at < length && IsSeparator(line[at])) at++;
    if (at == length) break;
    if (count == 6) {
      *why = "more than six values";
      return false;
    }
    size_t size = 0;
    while (at + size < length && !IsSeparator(line[at + size])) size++;
    if (!ReadValue(line + at, size, &values[count])) {
      *why = "not a number";
      return false;
    }
    count++;
    at += size;
  }
  if (count != 0 && count != 6) {
    *why = "want six values";
    return false;
  }
  if (values[0] < -RecordMaxMotion || values[0] > RecordMaxMotion || values[1] < -RecordMaxMotion ||
      values[1] > RecordMaxMotion) {
    *why = "motion beyond " + std::to_string(RecordMaxMotion);
    return false;
  }
  for (int i = 2; i < 6; i++) {
    if (values[i] != 0 && values[i] != 1) {
      *why = "a button or key that is not 0 or 1";
      return false;
    }
  }
  *out = FrameInput{static_cast<int>(values[0]), static_cast<int>(values[1]), values[2] != 0, values[3] != 0,
                    values[4] != 0,                values[5] != 0};
  return true;
}

std::string RecordFrameLine(const FrameInput &input) {
  std::string line = std::to_string(input.dx);
  line += ' ';
  line += std::to_string(input.dy);
  for (const bool held : {input.left, input.right, input.escape, input.enter}) {
    line += ' ';
    line += held ? '1' : '0';
  }
  return line;
}

std::string RecordBeginsLine(uint32_t frame) { return BeginsPrefix + std::to_string(frame); }

std::string RecordEndLine(uint64_t frames, int score) {
  return "# frames " + std::to_string(frames) + " score " + std::to_string(score);
}

RecordLine RecordLineReader::Read(const char *line, size_t length, FrameInput *frame, std::string *why) {
  lineNumber_++;
  size_t content = length;
  while (content > 0 && line[content - 1] == '\r') content--;
  const bool comment = length > 0 && line[0] == '#';
  // A stray byte says more about the input than its length does.
  for (size_t i = 0; i < length && i <= RecordMaxLine; i++) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == '\0') {
      *why = "a NUL byte in the line";
      return RecordLine::Bad;
    }
    const bool lineEnd = c == '\r' && i >= content;
    if ((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7F || (c >= 0x80 && !comment)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", c);
      *why = std::string("unexpected byte ") + hex + " in the line";
      return RecordLine::Bad;
    }
  }
  if (length > RecordMaxLine) {
    *why = "line too long";
    return RecordLine::Bad;
  }
  RecordHeader header;
  const HeaderLine kind = ReadRecordHeader(line, content, &header, why);
  if (lineNumber_ > 1 && kind != HeaderLine::Other) {
    *why = "a second header";
    return RecordLine::Bad;
  }
  if (kind == HeaderLine::Bad) return RecordLine::Bad;
  if (lineNumber_ == 1) {
    if (kind == HeaderLine::Header) {
      hasHeader_ = true;
      header_ = header;
      return RecordLine::Header;
    }
    if (headerRequired_) {
      *why = "not a recording's header (want \"# quillrun-record 2 rules R seed N\")";
      return RecordLine::Bad;
    }
  }
  if (comment) {
    const size_t prefix = sizeof BeginsPrefix - 1;
    if (content < prefix || std::memcmp(line, BeginsPrefix, prefix) != 0) return RecordLine::Comment;
    if (hasBegins_) {
      *why = "a second \"game begins\" line";
      return RecordLine::Bad;
    }
    if (!ReadBegins(line, content, &begins_)) {
      *why = "a bad frame number";
      return RecordLine::Bad;
    }
    hasBegins_ = true;
    return RecordLine::Begins;
  }
  *frame = FrameInput{};
  if (!ParseInputLine(line, content, frame, why)) {
    *why = "not a frame's input (dx dy left right escape enter): " + *why + ": " + std::string(line, content);
    return RecordLine::Bad;
  }
  return RecordLine::Frame;
}

namespace {

// One line to the reader; false with the fault when it is refused or one frame too many.
bool TakeLine(const char *line, size_t length, RecordLineReader &reader, std::vector<FrameInput> &inputs,
              size_t maxFrames, RecordFault &fault) {
  FrameInput frame{};
  std::string why;
  const RecordLine kind = reader.Read(line, length, &frame, &why);
  fault.line = reader.LineNumber();
  if (kind == RecordLine::Bad) {
    fault.why = why;
    return false;
  }
  if (kind != RecordLine::Frame) return true;
  if (inputs.size() >= maxFrames) {
    fault.why = "more than " + std::to_string(maxFrames) + " frames";
    fault.tooManyFrames = true;
    return false;
  }
  inputs.push_back(frame);
  return true;
}

}  // namespace

bool ReadRecordText(std::string_view text, RecordLineReader &reader, std::vector<FrameInput> &inputs,
                    size_t maxFrames, RecordFault &fault) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (!TakeLine(text.data() + start, end - start, reader, inputs, maxFrames, fault)) return false;
    start = end + 1;
  }
  return true;
}

bool ReadRecordStream(std::FILE *file, RecordLineReader &reader, std::vector<FrameInput> &inputs, size_t maxFrames,
                      RecordFault &fault) {
  // The line so far, never more than one byte past the longest a line may be: that
  // byte is enough for the reader to refuse it, and nothing after it is read.
  std::string line;
  char chunk[65536];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file);
    size_t at = 0;
    while (at < got) {
      const char *newline = static_cast<const char *>(std::memchr(chunk + at, '\n', got - at));
      const size_t size = newline ? static_cast<size_t>(newline - (chunk + at)) : got - at;
      line.append(chunk + at, std::min(size, RecordMaxLine + 1 - line.size()));
      at += size + (newline ? 1 : 0);
      if (newline || line.size() > RecordMaxLine) {
        if (!TakeLine(line.data(), line.size(), reader, inputs, maxFrames, fault)) return false;
        line.clear();
      }
    }
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file)) {
    fault.line = reader.LineNumber();
    fault.why = "cannot read";
    fault.readError = true;
    return false;
  }
  return line.empty() || TakeLine(line.data(), line.size(), reader, inputs, maxFrames, fault);
}
