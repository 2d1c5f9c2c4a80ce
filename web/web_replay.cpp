// The replay run inside the page, for the tests (not shown to players): a world stepped
// from a seed and a recorded input, exactly as the replay runner on the desktop steps
// it, ending with the same hash over the dumped state of every frame. Nothing is drawn
// and nothing is heard; the game the page shows is not touched.
#include <emscripten.h>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>
#include "tools/state_dump.h"
#include "record/record_header.h"
#include "record/record_lines.h"
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
  // The record format's own reader, as the replay runner reads its input: the seed is
  // the caller's, a header is not needed, and one of other rules is refused.
  RecordLineReader reader(false);
  RecordFault fault;
  const bool read = ReadRecordText(input ? input : "", reader, inputs, size_t(frames > 0 ? frames : 0), fault);
  if (reader.HasHeader()) {
    const std::string refusal = RulesRefusal(reader.Header().rules);
    if (!refusal.empty()) return result = "error: line 1: " + refusal, result.c_str();
  }
  // More frames than asked for are not needed: the frames after them are never read.
  if (!read && !fault.tooManyFrames)
    return result = "error: line " + std::to_string(fault.line) + ": " + fault.why, result.c_str();
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
