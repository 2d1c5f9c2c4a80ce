// quillrun-replay: runs the game's own frames with no window and no sound, from a seed
// and a recorded input (or a simple built-in player), and shows everything the game
// holds: a state dump per frame, a hash of the whole run, or a screenshot.
//
//   quillrun-replay --seed N (--input FILE | --play normal|random) --frames N
//                   [--dump] [--hash] [--screenshot FILE --at FRAME] [--record FILE]
//                   [--math-log FILE]
//
// The input file has one line per frame: "dx dy left right escape enter", six integers
// (the mouse motion and the held state, 0 or 1, of the two buttons and the two keys).
// Missing lines mean no motion and nothing held. --record writes the input of every frame
// in that form, so a run of the built-in player can be kept and replayed. --math-log writes
// every distinct argument of the world's sine, cosine and arctangent (for qr-mathcheck). Exit status: 0 for a completed run,
// 2 for bad arguments or a bad input file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game.h"
#include "platform/headless.h"
#include "sound/sound.h"
#include "tools/replay_math_log.h"
#include "tools/replay_player.h"
#include "tools/replay_screenshot.h"
#include "tools/state_dump.h"

namespace {

struct FrameInput {
  int dx = 0;
  int dy = 0;
  bool left = false;
  bool right = false;
  bool escape = false;
  bool enter = false;
};

struct Options {
  unsigned long seed = 0;
  bool haveSeed = false;
  const char *inputPath = nullptr;
  const char *play = nullptr;
  long frames = -1;
  bool dump = false;
  bool hash = false;
  const char *screenshotPath = nullptr;
  long screenshotFrame = -1;
  const char *recordPath = nullptr;
  const char *mathLogPath = nullptr;
};

int Usage(const char *why) {
  std::fprintf(stderr, "quillrun-replay: %s\n", why);
  std::fprintf(stderr,
               "usage: quillrun-replay --seed N (--input FILE | --play normal|random) --frames N\n"
               "                       [--dump] [--hash] [--screenshot FILE --at FRAME] [--record FILE]\n"
               "                       [--math-log FILE]\n");
  return 2;
}

bool ParseCount(const char *text, unsigned long max, unsigned long *out) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  errno = 0;
  char *end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > max) return false;
  *out = value;
  return true;
}

// One input line: six integers separated by blanks or commas; an empty line is a frame
// with no motion and nothing held.
bool ParseInputLine(const std::string &line, FrameInput *out) {
  long values[6] = {0, 0, 0, 0, 0, 0};
  const char *p = line.c_str();
  int count = 0;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == ',' || *p == '\r') p++;
    if (*p == '\0') break;
    if (count == 6) return false;
    errno = 0;
    char *end = nullptr;
    long value = std::strtol(p, &end, 10);
    if (end == p || errno != 0) return false;
    if (*end != '\0' && *end != ' ' && *end != '\t' && *end != ',' && *end != '\r') return false;
    values[count++] = value;
    p = end;
  }
  if (count != 0 && count != 6) return false;
  if (values[0] < -10000 || values[0] > 10000 || values[1] < -10000 || values[1] > 10000) return false;
  for (int i = 2; i < 6; i++) {
    if (values[i] != 0 && values[i] != 1) return false;
  }
  out->dx = static_cast<int>(values[0]);
  out->dy = static_cast<int>(values[1]);
  out->left = values[2] != 0;
  out->right = values[3] != 0;
  out->escape = values[4] != 0;
  out->enter = values[5] != 0;
  return true;
}

bool ReadInputFile(const char *path, std::vector<FrameInput> *frames) {
  FILE *file = std::fopen(path, "r");
  if (file == nullptr) {
    std::fprintf(stderr, "quillrun-replay: cannot open input file %s: %s\n", path, std::strerror(errno));
    return false;
  }
  std::string line;
  long lineNumber = 0;
  bool ok = true;
  int c;
  bool pending = false;
  while (ok) {
    c = std::fgetc(file);
    if (c != EOF && c != '\n') {
      line.push_back(static_cast<char>(c));
      pending = true;
      if (line.size() > 1000) {
        std::fprintf(stderr, "quillrun-replay: %s:%ld: line too long\n", path, lineNumber + 1);
        ok = false;
      }
      continue;
    }
    if (c == EOF && !pending) break;
    lineNumber++;
    FrameInput input;
    if (!ParseInputLine(line, &input)) {
      std::fprintf(stderr, "quillrun-replay: %s:%ld: malformed line (want \"dx dy left right escape enter\"): %s\n",
                   path, lineNumber, line.c_str());
      ok = false;
      break;
    }
    frames->push_back(input);
    line.clear();
    pending = false;
    if (c == EOF) break;
  }
  std::fclose(file);
  return ok;
}

std::vector<std::pair<int, int>> frameSounds;

void RecordSound(int id, int level) { frameSounds.emplace_back(id, level); }

void ApplyInput(const FrameInput &input) {
  HeadlessSetKey(VK_LBUTTON, input.left);
  HeadlessSetKey(VK_RBUTTON, input.right);
  HeadlessSetKey(VK_ESCAPE, input.escape);
  HeadlessSetKey(VK_RETURN, input.enter);
  if (input.dx != 0 || input.dy != 0) HeadlessMoveMouse(input.dx, input.dy);
}

}  // namespace

int main(int argc, char **argv) {
  Options options;
  for (int i = 1; i < argc; i++) {
    const char *arg = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
    unsigned long number = 0;
    if (std::strcmp(arg, "--seed") == 0) {
      if (!ParseCount(value, 0xFFFFFFFFul, &number)) return Usage("--seed wants a number from 0 to 4294967295");
      options.seed = number;
      options.haveSeed = true;
      i++;
    } else if (std::strcmp(arg, "--input") == 0) {
      if (value == nullptr) return Usage("--input wants a file");
      options.inputPath = value;
      i++;
    } else if (std::strcmp(arg, "--play") == 0) {
      if (value == nullptr || (std::strcmp(value, "normal") != 0 && std::strcmp(value, "random") != 0))
        return Usage("--play wants normal or random");
      options.play = value;
      i++;
    } else if (std::strcmp(arg, "--frames") == 0) {
      if (!ParseCount(value, 100000000ul, &number)) return Usage("--frames wants a number");
      options.frames = static_cast<long>(number);
      i++;
    } else if (std::strcmp(arg, "--dump") == 0) {
      options.dump = true;
    } else if (std::strcmp(arg, "--hash") == 0) {
      options.hash = true;
    } else if (std::strcmp(arg, "--screenshot") == 0) {
      if (value == nullptr) return Usage("--screenshot wants a file");
      options.screenshotPath = value;
      i++;
    } else if (std::strcmp(arg, "--record") == 0) {
      if (value == nullptr) return Usage("--record wants a file");
      options.recordPath = value;
      i++;
    } else if (std::strcmp(arg, "--math-log") == 0) {
      if (value == nullptr) return Usage("--math-log wants a file");
      options.mathLogPath = value;
      i++;
    } else if (std::strcmp(arg, "--at") == 0) {
      if (!ParseCount(value, 100000000ul, &number) || number == 0) return Usage("--at wants a frame number from 1");
      options.screenshotFrame = static_cast<long>(number);
      i++;
    } else {
      return Usage((std::string("unknown argument ") + arg).c_str());
    }
  }
  if (!options.haveSeed) return Usage("--seed is required");
  if (options.frames < 0) return Usage("--frames is required");
  if ((options.inputPath == nullptr) == (options.play == nullptr)) return Usage("give exactly one of --input and --play");
  if ((options.screenshotPath == nullptr) != (options.screenshotFrame < 0))
    return Usage("--screenshot and --at go together");
  if (options.screenshotFrame > options.frames) return Usage("--at is beyond --frames");

  std::vector<FrameInput> inputs;
  if (options.inputPath != nullptr && !ReadInputFile(options.inputPath, &inputs)) return 2;
  FILE *record = nullptr;
  if (options.recordPath != nullptr) {
    record = std::fopen(options.recordPath, "w");
    if (record == nullptr) {
      std::fprintf(stderr, "quillrun-replay: cannot write %s: %s\n", options.recordPath, std::strerror(errno));
      return 2;
    }
  }

  // The game as it starts, on the headless backend: no window, no sound output, the
  // clock moving 22 ms per frame. The seed replaces the clock's seconds.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  HeadlessEnable();
  HeadlessSetTime(0);
  mainWindow = nullptr;
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  if (!InitGame()) {
    std::fprintf(stderr, "quillrun-replay: the game could not start\n");
    return 1;
  }
  srand(static_cast<unsigned int>(options.seed));
  soundPlayObserver = RecordSound;
  running = 1;
  if (options.mathLogPath != nullptr) StartMathLog();

  StateHash hash;
  std::string line;
  int status = 0;
  for (long frame = 1; frame <= options.frames && running; frame++) {
    FrameInput input;
    if (options.play != nullptr) {
      PlayerInput bot = ChooseBotInput(std::strcmp(options.play, "random") == 0);
      input.dx = bot.dx;
      input.dy = bot.dy;
      input.left = bot.left;
      input.right = bot.right;
    } else if (static_cast<size_t>(frame - 1) < inputs.size()) {
      input = inputs[frame - 1];
    }
    ApplyInput(input);
    if (record != nullptr)
      std::fprintf(record, "%d %d %d %d %d %d\n", input.dx, input.dy, input.left, input.right, input.escape,
                   input.enter);
    frameSounds.clear();
    RunFrame();
    if (options.dump || options.hash) {
      DumpState(frameSounds, &line);
      if (options.dump) std::fwrite(line.data(), 1, line.size(), stdout), std::fputc('\n', stdout);
      hash.Add(line);
    }
    if (frame == options.screenshotFrame && !WriteScreenshot(options.screenshotPath)) status = 1;
  }
  if (options.hash) std::printf("%016llx\n", static_cast<unsigned long long>(hash.value));
  if (record != nullptr && std::fclose(record) != 0) status = 1;
  if (options.mathLogPath != nullptr && !WriteMathLog(options.mathLogPath)) status = 1;
  soundPlayObserver = nullptr;
  ShutdownGame();
  return status;
}
