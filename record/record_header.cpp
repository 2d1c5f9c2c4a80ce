// The header line of a recording, and a kept game as a whole recording (see record_header.h).
#include "record/record_header.h"

#include <cstring>

#include "record/record_lines.h"
#include "world/rules.h"

namespace {

constexpr char Prefix[] = "# quillrun-record";

// A decimal number of at most ten digits up to `limit`, then a blank or the line's end.
bool ReadNumber(const char *line, size_t length, size_t *at, unsigned long long limit, unsigned long long *out) {
  size_t digits = 0;
  unsigned long long value = 0;
  while (*at < length && line[*at] >= '0' && line[*at] <= '9') {
    if (++digits > 10) return false;
    value = value * 10 + static_cast<unsigned long long>(line[*at] - '0');
    ++*at;
  }
  if (digits == 0 || value > limit) return false;
  *out = value;
  return true;
}

bool ReadWord(const char *line, size_t length, size_t *at, const char *word) {
  const size_t size = std::strlen(word);
  if (length - *at < size || std::memcmp(line + *at, word, size) != 0) return false;
  *at += size;
  return true;
}

bool ReadBlanks(const char *line, size_t length, size_t *at) {
  const size_t start = *at;
  while (*at < length && (line[*at] == ' ' || line[*at] == '\t')) ++*at;
  return *at > start;
}

}  // namespace

std::string RecordHeaderLine(uint32_t seed) {
  return std::string(Prefix) + " " + std::to_string(RecordFormat) + " rules " + std::to_string(RulesVersion) +
         " seed " + std::to_string(seed);
}

std::string GameRecordText(int rules, uint32_t seed, uint32_t began, uint32_t ended, int score,
                           const FrameInput *inputs) {
  std::string text;
  // About 16 bytes a frame.
  text.reserve((static_cast<size_t>(ended) + 1) * 16 + 128);
  text += std::string(Prefix) + " " + std::to_string(RecordFormat) + " rules " + std::to_string(rules) + " seed " +
          std::to_string(seed) + "\n" + RecordBeginsLine(began) + "\n";
  for (uint32_t frame = 0; frame <= ended; ++frame) text += RecordFrameLine(inputs[frame]) + '\n';
  text += RecordEndLine(static_cast<uint64_t>(ended) + 1, score) + '\n';
  return text;
}

HeaderLine ReadRecordHeader(const char *line, size_t length, RecordHeader *out, std::string *why) {
  const size_t prefix = sizeof Prefix - 1;
  if (length < prefix || std::memcmp(line, Prefix, prefix) != 0) return HeaderLine::Other;
  if (length > prefix && line[prefix] != ' ' && line[prefix] != '\t') return HeaderLine::Other;
  // A Windows line end is not part of the header.
  while (length > prefix && line[length - 1] == '\r') length--;
  size_t at = prefix;
  RecordHeader header;
  unsigned long long number = 0;
  const char *want = "malformed header (want \"# quillrun-record 2 rules R seed N\")";
  if (!ReadBlanks(line, length, &at)) {
    *why = want;
    return HeaderLine::Bad;
  }
  if (ReadWord(line, length, &at, "seed")) {
    header.format = 1;
    header.rules = 1;
  } else {
    if (!ReadNumber(line, length, &at, 1000000, &number)) {
      *why = want;
      return HeaderLine::Bad;
    }
    if (number < 2 || number > static_cast<unsigned long long>(RecordFormat)) {
      *why = "a recording of format " + std::to_string(number) + ", which this quillrun cannot read (it reads 1 to " +
             std::to_string(RecordFormat) + ")";
      return HeaderLine::Bad;
    }
    header.format = static_cast<int>(number);
    if (!ReadBlanks(line, length, &at) || !ReadWord(line, length, &at, "rules") || !ReadBlanks(line, length, &at) ||
        !ReadNumber(line, length, &at, 1000000, &number) || number == 0 || !ReadBlanks(line, length, &at) ||
        !ReadWord(line, length, &at, "seed")) {
      *why = want;
      return HeaderLine::Bad;
    }
    header.rules = static_cast<int>(number);
  }
  if (!ReadBlanks(line, length, &at) || !ReadNumber(line, length, &at, 0xFFFFFFFFull, &number)) {
    *why = want;
    return HeaderLine::Bad;
  }
  header.seed = static_cast<uint32_t>(number);
  while (at < length && (line[at] == ' ' || line[at] == '\t')) at++;
  if (at != length) {
    *why = want;
    return HeaderLine::Bad;
  }
  *out = header;
  return HeaderLine::Header;
}

std::string RulesRefusal(int recordedRules) {
  if (recordedRules == RulesVersion) return {};
  return "recorded under rules " + std::to_string(recordedRules) + ", but this quillrun plays rules " +
         std::to_string(RulesVersion) + ": it would not replay the same game";
}
