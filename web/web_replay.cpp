// The replay run inside the page, for the tests (not shown to players): the game's own
// frames on the headless backend from a seed and a recorded input, exactly as the
// replay runner on the desktop runs them, ending with the same hash over the dumped
// state of every frame. A page opened with "?replay" starts no game, so the run starts
// from the process's first state; one run per page load.
#include <emscripten.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>
#include "app/game.h"
#include "platform/headless.h"
#include "sound/sound.h"
#include "tools/state_dump.h"

namespace {

struct ReplayInput {
  int dx = 0, dy = 0;
  bool left = false, right = false, escape = false, enter = false;
};

// One line "dx dy left right escape enter"; an empty line is a frame with nothing.
bool ParseLine(const std::string &line, ReplayInput *out) {
  long values[6] = {0, 0, 0, 0, 0, 0};
  const char *p = line.c_str();
  int count = 0;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == ',' || *p == '\r') p++;
    if (*p == '\0') break;
    if (count == 6) return false;
    char *end = nullptr;
    long value = std::strtol(p, &end, 10);
    if (end == p) return false;
    values[count++] = value;
    p = end;
  }
  if (count != 0 && count != 6) return false;
  if (values[0] < -10000 || values[0] > 10000 || values[1] < -10000 || values[1] > 10000) return false;
  for (int i = 2; i < 6; i++)
    if (values[i] != 0 && values[i] != 1) return false;
  *out = ReplayInput{int(values[0]), int(values[1]), values[2] != 0, values[3] != 0, values[4] != 0, values[5] != 0};
  return true;
}

std::vector<std::pair<int, int>> frameSounds;
void RecordSound(int id, int level) { frameSounds.emplace_back(id, level); }

std::string result;
bool ran;

}  // namespace

// Runs `frames` frames and returns the hash as 16 hex digits, or a line starting with
// "error:" for a bad input or a second run.
extern "C" EMSCRIPTEN_KEEPALIVE const char *QrReplay(unsigned seed, const char *input, int frames) {
  if (ran) return result = "error: one replay per page load", result.c_str();
  ran = true;
  std::vector<ReplayInput> inputs;
  std::string text = input ? input : "";
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ReplayInput line;
    if (!ParseLine(text.substr(start, end - start), &line))
      return result = "error: malformed line " + std::to_string(inputs.size() + 1), result.c_str();
    inputs.push_back(line);
    start = end + 1;
  }
  HeadlessEnable();
  HeadlessSetTime(0);
  mainWindow = nullptr;
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  if (!InitGame()) return result = "error: the game could not start", result.c_str();
  srand(seed);
  soundPlayObserver = RecordSound;
  running = 1;
  StateHash hash;
  std::string line;
  for (int frame = 1; frame <= frames && running; frame++) {
    ReplayInput in;
    if (size_t(frame - 1) < inputs.size()) in = inputs[size_t(frame - 1)];
    HeadlessSetKey(VK_LBUTTON, in.left);
    HeadlessSetKey(VK_RBUTTON, in.right);
    HeadlessSetKey(VK_ESCAPE, in.escape);
    HeadlessSetKey(VK_RETURN, in.enter);
    if (in.dx != 0 || in.dy != 0) HeadlessMoveMouse(in.dx, in.dy);
    frameSounds.clear();
    RunFrame();
    DumpState(frameSounds, &line);
    hash.Add(line);
  }
  soundPlayObserver = nullptr;
  ShutdownGame();
  char hex[24];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash.value));
  return result = hex, result.c_str();
}
