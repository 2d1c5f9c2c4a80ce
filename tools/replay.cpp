// quillrun-replay: runs the game's own frames with no window and no sound, from a seed
// and a recorded input (or the built-in player), and shows everything the game
// holds: a state dump per frame, a hash of the whole run, or a screenshot. The world
// steps on its own; only a screenshot starts the game's device, and only the frame
// asked for is drawn.
//
//   quillrun-replay [--seed N] (--input FILE | --play normal|random) [--frames N]
//                   [--dump] [--hash] [--summary] [--screenshot FILE --at FRAME]
//                   [--record FILE]
//
// The input file has one line per frame: "dx dy left right escape enter", six integers
// (the mouse motion and the held state, 0 or 1, of the two buttons and the two keys).
// Missing lines mean no motion and nothing held. Lines starting with '#' are comments;
// "# quillrun-record seed N", as `quillrun --record` writes it, gives the seed when
// --seed does not, and without --frames an input file plays all its lines. --record
// writes the input of every frame in that form, so a run of the built-in player can be
// kept and replayed. --summary prints one line at the end: the frame the game ended on
// (0 if it did not), the state, the score and the shield left. Exit status: 0 for a
// completed run, 2 for bad arguments or a bad input file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game.h"
#include "app/player.h"
#include "platform/headless.h"
#include "render/device.h"
#include "tools/replay_screenshot.h"
#include "tools/state_dump.h"
#include "world/step.h"

namespace {

struct Options {
  unsigned long seed = 0;
  bool haveSeed = false;
  const char *inputPath = nullptr;
  const char *play = nullptr;
  long frames = -1;
  bool dump = false;
  bool hash = false;
  bool summary = false;
  const char *screenshotPath = nullptr;
  long screenshotFrame = -1;
  const char *recordPath = nullptr;
};

int Usage(const char *why) {
  std::fprintf(stderr, "quillrun-replay: %s\n", why);
  std::fprintf(stderr,
               "usage: quillrun-replay --seed N (--input FILE | --play normal|random) --frames N\n"
               "                       [--dump] [--hash] [--summary] [--screenshot FILE --at FRAME]\n"
               "                       [--record FILE]\n");
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
    if (!line.empty() && line[0] == '#') {
      // A comment, not a frame.
      line.clear();
      pending = false;
      if (c == EOF) break;
      continue;
    }
    FrameInput input{};
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

// The seed a recording of the game gives in its header line, if the file has one.
bool ReadRecordedSeed(const char *path, unsigned long *seed) {
  FILE *file = std::fopen(path, "r");
  if (file == nullptr) return false;
  char header[128];
  bool found = false;
  if (std::fgets(header, sizeof header, file) != nullptr)
    found = std::sscanf(header, "# quillrun-record seed %lu", seed) == 1 && *seed <= 0xFFFFFFFFul;
  std::fclose(file);
  return found;
}

// The game's device on the headless backend, started only for a screenshot; the frame
// rate the caption line shows is counted on the virtual clock, 22 ms a frame.
bool StartDevice() {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  HeadlessEnable();
  HeadlessSetTime(0);
  mainWindow = nullptr;
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  return InitGame() != 0;
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
    } else if (std::strcmp(arg, "--summary") == 0) {
      options.summary = true;
    } else if (std::strcmp(arg, "--screenshot") == 0) {
      if (value == nullptr) return Usage("--screenshot wants a file");
      options.screenshotPath = value;
      i++;
    } else if (std::strcmp(arg, "--record") == 0) {
      if (value == nullptr) return Usage("--record wants a file");
      options.recordPath = value;
      i++;
    } else if (std::strcmp(arg, "--at") == 0) {
      if (!ParseCount(value, 100000000ul, &number) || number == 0) return Usage("--at wants a frame number from 1");
      options.screenshotFrame = static_cast<long>(number);
      i++;
    } else {
      return Usage((std::string("unknown argument ") + arg).c_str());
    }
  }
  if ((options.inputPath == nullptr) == (options.play == nullptr)) return Usage("give exactly one of --input and --play");
  if (!options.haveSeed && options.inputPath != nullptr)
    options.haveSeed = ReadRecordedSeed(options.inputPath, &options.seed);
  if (!options.haveSeed) return Usage("--seed is required");
  if (options.frames < 0 && options.inputPath == nullptr) return Usage("--frames is required");
  if ((options.screenshotPath == nullptr) != (options.screenshotFrame < 0))
    return Usage("--screenshot and --at go together");

  std::vector<FrameInput> inputs;
  if (options.inputPath != nullptr && !ReadInputFile(options.inputPath, &inputs)) return 2;
  if (options.frames < 0) options.frames = static_cast<long>(inputs.size());
  if (options.screenshotFrame > options.frames) return Usage("--at is beyond --frames");
  FILE *record = nullptr;
  if (options.recordPath != nullptr) {
    record = std::fopen(options.recordPath, "w");
    if (record == nullptr) {
      std::fprintf(stderr, "quillrun-replay: cannot write %s: %s\n", options.recordPath, std::strerror(errno));
      return 2;
    }
  }

  // The world as the game starts it, with the seed in place of the clock's seconds.
  if (options.screenshotPath != nullptr && !StartDevice()) {
    std::fprintf(stderr, "quillrun-replay: the game could not start\n");
    return 1;
  }
  static World world;
  static BuiltInPlayer player(options.play != nullptr && std::strcmp(options.play, "random") == 0);
  StartWorld(world, static_cast<uint32_t>(options.seed));
  static FrameReport report;
  std::vector<std::pair<int, int>> frameSounds;
  frameSounds.reserve(FrameSoundLimit);

  StateHash hash;
  std::string line;
  int status = 0;
  bool quit = false;
  long endFrame = 0;
  for (long frame = 1; frame <= options.frames && !quit; frame++) {
    FrameInput input{};
    if (options.play != nullptr) {
      input = player.Decide(world);
    } else if (static_cast<size_t>(frame - 1) < inputs.size()) {
      input = inputs[frame - 1];
    }
    if (record != nullptr)
      std::fprintf(record, "%d %d %d %d %d %d\n", input.dx, input.dy, input.left, input.right, input.escape,
                   input.enter);
    StepWorld(world, input, report);
    quit = report.quit;
    if (endFrame == 0 && (world.GameState == GameOver || world.GameState == AllClear)) endFrame = frame;
    if (options.dump || options.hash) {
      frameSounds.clear();
      for (int i = 0; i < report.soundCount; i++) frameSounds.emplace_back(report.sounds[i].id, report.sounds[i].level);
      DumpState(world, frameSounds, &line);
      if (options.dump) std::fwrite(line.data(), 1, line.size(), stdout), std::fputc('\n', stdout);
      hash.Add(line);
    }
    if (options.screenshotPath != nullptr) {
      // The frame rate as the game would count it by now.
      HeadlessSetTime(static_cast<DWORD>(frame * 22));
      if (frame == options.screenshotFrame) {
        RenderFrame(world, fpsValue);
        if (!WriteScreenshot(options.screenshotPath)) status = 1;
      }
      CountFps();
    }
  }
  if (options.hash) std::printf("%016llx\n", static_cast<unsigned long long>(hash.value));
  if (options.summary) {
    static const char *const states[] = {"title", "playing", "game-over", "all-clear"};
    const int state = world.GameState >= Title && world.GameState <= AllClear ? world.GameState : Title;
    std::printf("ended %ld state %s score %d shield %d\n", endFrame, states[state], world.score,
                static_cast<int>(world.Player.shield));
  }
  if (record != nullptr && std::fclose(record) != 0) status = 1;
  if (options.screenshotPath != nullptr) ShutdownGame();
  return status;
}
