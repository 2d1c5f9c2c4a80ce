// Fuzzes the replay runner's input reader, the record format's line reader and the
// recordings' header line: any bytes give frames whose values are in range, or a
// refusal that names the line; the runner's reader from a file and the record reader
// over the same bytes as text give the same frames and stop at the same line; a header
// read is one of a known format and rules, and the header of this game's own recordings
// reads back to the seed it was written with.
#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include "tools/replay_input.h"
#include "record/record_header.h"
#include "record/record_lines.h"
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
  // The same bytes as one text, through the record reader the board and --watch use.
  constexpr size_t MaxFrames = 100000;
  RecordLineReader reader(false);
  std::vector<FrameInput> whole;
  RecordFault fault;
  const bool wholeRead =
      ReadRecordText(std::string_view(reinterpret_cast<const char *>(data), size), reader, whole, MaxFrames, fault);
  ReplayInput input;
  std::string error;
  if (input.Open(path.c_str(), &error)) {
    // Only a recording of these rules is ever opened.
    if (input.HeaderRules() != 0 && input.HeaderRules() != RulesVersion) std::abort();
    FrameInput frame{};
    size_t frames = 0;
    for (; frames < MaxFrames; frames++) {
      const ReplayInput::Result got = input.Next(&frame, &error);
      if (got == ReplayInput::Frame) {
        if (frame.dx < -RecordMaxMotion || frame.dx > RecordMaxMotion || frame.dy < -RecordMaxMotion ||
            frame.dy > RecordMaxMotion)
          std::abort();
        if (frames >= whole.size() || frame.dx != whole[frames].dx || frame.dy != whole[frames].dy ||
            frame.left != whole[frames].left || frame.right != whole[frames].right ||
            frame.escape != whole[frames].escape || frame.enter != whole[frames].enter)
          std::abort();
        continue;
      }
      if (got == ReplayInput::Failed && error.find(':') == std::string::npos) std::abort();
      // Both stop at the same place: the end, or the same refused line.
      if (got == ReplayInput::End && (!wholeRead || frames != whole.size())) std::abort();
      if (got == ReplayInput::Failed &&
          (wholeRead || fault.tooManyFrames || error.find(":" + std::to_string(fault.line) + ": ") == std::string::npos))
        std::abort();
      break;
    }
  } else if (error.empty()) {
    std::abort();
  }
  close(file);
  return 0;
}
