// Recording the game being played into one file in the replay runner's input format.
#include "app/record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "record/record_header.h"
#include "record/record_lines.h"

namespace {

FILE *recording;
const char *recordingPath;

}  // namespace

bool OpenRecording(const char *path) {
  recording = std::fopen(path, "w");
  if (recording == nullptr) {
    std::fprintf(stderr, "quillrun: cannot write the recording %s: %s\n", path, std::strerror(errno));
    return false;
  }
  recordingPath = path;
  return true;
}

void BeginRecording(uint32_t seed) {
  if (recording == nullptr) return;
  std::fprintf(recording, "%s\n", RecordHeaderLine(seed).c_str());
  std::fflush(recording);
}

void RecordFrame(const FrameInput &input) {
  if (recording == nullptr) return;
  std::fprintf(recording, "%s\n", RecordFrameLine(input).c_str());
  // Line by line, so what was played is on disk whatever happens to the program, and
  // the game so far can be replayed while it goes on.
  std::fflush(recording);
}

void EndRecording(const World &world) {
  if (recording == nullptr) return;
  std::fprintf(recording, "%s\n", RecordEndLine(world.frameCounter, world.score).c_str());
  const bool failed = std::ferror(recording) != 0;
  if (std::fclose(recording) != 0 || failed)
    std::fprintf(stderr, "quillrun: the recording %s could not be written in full\n", recordingPath);
  recording = nullptr;
}
