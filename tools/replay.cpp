// quillrun-replay: runs the game's own frames with no window and no sound, from a seed
// and a recorded input (or a simple built-in player), and shows everything the game
// holds: a state dump per frame, a hash of the whole run, or a screenshot.
//
//   quillrun-replay --seed N (--input FILE | --play normal|random) --frames N
//                   [--dump] [--hash] [--screenshot FILE --at FRAME] [--record FILE]
//
// The input file has one line per frame: "dx dy left right escape enter", six integers
// (the mouse motion and the held state, 0 or 1, of the two buttons and the two keys),
// read as the frames go: a pipe works, an endless one too. Missing lines mean no motion
// and nothing held; a first line "# quillrun-record seed N" stands for --seed. --record
// writes the input of every frame in that form, so a run of the built-in player can be
// kept and replayed. Exit status: 0 for a completed run, 1 when an output could not be
// written, 2 for bad arguments or a bad input file; SIGINT, SIGTERM and SIGHUP end the
// run after the frame in progress, with whole lines in every output, and then the
// runner ends by that signal.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game.h"
#include "platform/headless.h"
#include "platform/signals.h"
#include "sound/sound.h"
#include "tools/replay_input.h"
#include "tools/replay_output.h"
#include "tools/replay_player.h"
#include "tools/replay_screenshot.h"
#include "tools/state_dump.h"

namespace {

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
};

int Usage(const char *why) {
  std::fprintf(stderr, "quillrun-replay: %s\n", why);
  std::fprintf(stderr,
               "usage: quillrun-replay --seed N (--input FILE|- | --play normal|random) --frames N\n"
               "                       [--dump] [--hash] [--screenshot FILE --at FRAME] [--record FILE]\n");
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

std::vector<std::pair<int, int>> frameSounds;

void RecordSound(int id, int level) { frameSounds.emplace_back(id, level); }

bool QuitRequested() { return QuitSignal() != 0; }

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
    } else if (std::strcmp(arg, "--at") == 0) {
      if (!ParseCount(value, 100000000ul, &number) || number == 0) return Usage("--at wants a frame number from 1");
      options.screenshotFrame = static_cast<long>(number);
      i++;
    } else {
      return Usage((std::string("unknown argument ") + arg).c_str());
    }
  }
  if (options.frames < 0) return Usage("--frames is required");
  if ((options.inputPath == nullptr) == (options.play == nullptr)) return Usage("give exactly one of --input and --play");
  if ((options.screenshotPath == nullptr) != (options.screenshotFrame < 0))
    return Usage("--screenshot and --at go together");
  if (options.screenshotFrame > options.frames) return Usage("--at is beyond --frames");

  InstallQuitSignals();
  const bool outputOpen = HoldStandardDescriptors();
  ReplayInput inputs;
  inputs.interrupted = QuitRequested;
  std::string error;
  if (options.inputPath != nullptr && !inputs.Open(options.inputPath, &error)) {
    if (QuitRequested()) EndByQuitSignal();
    std::fprintf(stderr, "quillrun-replay: %s\n", error.c_str());
    return 2;
  }
  if (!options.haveSeed) options.haveSeed = inputs.HeaderSeed(&options.seed);
  if (!options.haveSeed) return Usage("--seed is required (or an input whose first line gives it)");

  // Every output is known to be writable before the first frame.
  CheckedOutput out, record;
  if ((options.dump || options.hash) && !OpenStandardOutput(outputOpen, &out)) return 1;
  if (options.screenshotPath != nullptr) {
    const std::string why = WhyNotWritable(options.screenshotPath);
    if (!why.empty()) {
      std::fprintf(stderr, "quillrun-replay: cannot write the screenshot %s: %s\n", options.screenshotPath,
                   why.c_str());
      return 1;
    }
  }
  if (options.recordPath != nullptr && !OpenOutputFile(options.recordPath, &record)) return 1;

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

  StateHash hash;
  std::string line;
  int status = 0;
  bool stopped = false;
  for (long frame = 1; frame <= options.frames && running && !stopped; frame++) {
    FrameInput input;
    if (QuitRequested()) break;
    if (options.play != nullptr) {
      PlayerInput bot = ChooseBotInput(std::strcmp(options.play, "random") == 0);
      input.dx = bot.dx;
      input.dy = bot.dy;
      input.left = bot.left;
      input.right = bot.right;
    } else {
      const ReplayInput::Result got = inputs.Next(&input, &error);
      if (got == ReplayInput::Interrupted) break;
      if (got == ReplayInput::Failed) {
        std::fprintf(stderr, "quillrun-replay: %s\n", error.c_str());
        status = 2;
        break;
      }
    }
    ApplyInput(input);
    if (options.recordPath != nullptr &&
        !record.Printf("%d %d %d %d %d %d\n", input.dx, input.dy, input.left, input.right, input.escape, input.enter))
      stopped = true;
    frameSounds.clear();
    RunFrame();
    if (options.dump || options.hash) {
      DumpState(frameSounds, &line);
      line.push_back('\n');
      if (options.dump && !out.Write(line.data(), line.size())) stopped = true;
      line.pop_back();
      hash.Add(line);
    }
    if (frame == options.screenshotFrame && !WriteScreenshot(options.screenshotPath)) status = 1;
  }
  // A run cut short by a signal or an error has no hash: it would look like a whole one.
  if (options.hash && !stopped && status == 0 && !QuitRequested())
    out.Printf("%016llx\n", static_cast<unsigned long long>(hash.value));
  const bool outWritten = out.Finish();
  const bool recordWritten = record.Finish();
  if (!outWritten || !recordWritten) status = 1;
  soundPlayObserver = nullptr;
  ShutdownGame();
  EndByQuitSignal();
  return status;
}
