// Fuzzes the replay runner's input reader, its line parser and the recordings' header
// line: any bytes give frames whose values are in range, or a refusal that names the
// line; a header read is one of a known format and rules, and the header of this
// game's own recordings reads back to the seed it was written with.
#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <string>
#include "tools/replay_input.h"
#include "world/record_header.h"
#include "world/rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  RecordHeader header;
  std::string why;
  const HeaderLine kind = ReadRecordHeader(reinterpret_cast<const char *>(data), size, &header, &why);
  if (kind == HeaderLine::Bad && why.empty()) std::abort();
  if (kind == HeaderLine::Header) {
    if (header.format < 1 || header.format > RecordFormat || header.rules < 1) std::abort();
    const std::string line = RecordHeaderLine(header.seed);
    RecordHeader again;
    if (ReadRecordHeader(line.data(), line.size(), &again, &why) != HeaderLine::Header || again.seed != header.seed ||
        again.rules != RulesVersion || again.format != RecordFormat)
      std::abort();
  }
  const int file = memfd_create("replay-input", MFD_CLOEXEC);
  if (file < 0) return 0;
  if (write(file, data, size) != static_cast<ssize_t>(size) || lseek(file, 0, SEEK_SET) != 0) {
    close(file);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(file);
  ReplayInput input;
  std::string error;
  if (input.Open(path.c_str(), &error)) {
    // Only a recording of these rules is ever opened.
    if (input.HeaderRules() != 0 && input.HeaderRules() != RulesVersion) std::abort();
    FrameInput frame{};
    for (int frames = 0; frames < 100000; frames++) {
      const ReplayInput::Result got = input.Next(&frame, &error);
      if (got == ReplayInput::Frame) {
        if (frame.dx < -10000 || frame.dx > 10000 || frame.dy < -10000 || frame.dy > 10000) std::abort();
        continue;
      }
      if (got == ReplayInput::Failed && error.find(':') == std::string::npos) std::abort();
      break;
    }
  } else if (error.empty()) {
    std::abort();
  }
  close(file);
  return 0;
}
