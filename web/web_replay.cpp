// The replay run inside the page, for the tests (not shown to players): a world stepped
// from a seed and a recorded input, exactly as the replay runner on the desktop steps
// it, ending with the same hash over the dumped state of every frame. Nothing is drawn
// and nothing is heard; the game the page shows is not touched.
#include <emscripten.h>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include "tools/replay_input.h"
#include "tools/state_dump.h"
#include "world/record_header.h"
#include "world/step.h"

namespace {

std::string result;
World world;
FrameReport report;

}  // namespace

// Runs `frames` frames and returns the hash as 16 hex digits, or a line starting with
// "error:" for a bad input. Lines starting with '#' are comments, as on the desktop, and
// a recording of other rules than these is refused by its header line, as there.
extern "C" EMSCRIPTEN_KEEPALIVE const char *QrReplay(unsigned seed, const char *input, int frames) {
  std::vector<FrameInput> inputs;
  const std::string text = input ? input : "";
  size_t start = 0;
  long lineNumber = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lineNumber++;
    if (lineNumber == 1) {
      RecordHeader header;
      std::string refusal;
      const HeaderLine kind = ReadRecordHeader(text.data() + start, end - start, &header, &refusal);
      if (kind == HeaderLine::Header) refusal = RulesRefusal(header.rules);
      if (!refusal.empty()) return result = "error: line 1: " + refusal, result.c_str();
    }
    if (text[start] != '#') {
      FrameInput line{};
      std::string why;
      if (!ParseInputLine(text.data() + start, end - start, &line, &why))
        return result = "error: line " + std::to_string(lineNumber) + ": " + why, result.c_str();
      inputs.push_back(line);
    }
    start = end + 1;
  }
  StartWorld(world, seed);
  std::vector<std::pair<int, int>> sounds;
  StateHash hash;
  std::string line;
  for (int frame = 1; frame <= frames; frame++) {
    FrameInput in{};
    if (size_t(frame - 1) < inputs.size()) in = inputs[size_t(frame - 1)];
    StepWorld(world, in, report);
    sounds.clear();
    for (int i = 0; i < report.soundCount; i++) sounds.emplace_back(report.sounds[i].id, report.sounds[i].level);
    DumpState(world, sounds, &line);
    hash.Add(line);
    if (report.quit) break;
  }
  char hex[24];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash.value));
  return result = hex, result.c_str();
}
