// Fuzzes the replay runner's input reader and line parser: any bytes give frames whose
// values are in range, or a refusal that names the line.
#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <string>
#include "tools/replay_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
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
