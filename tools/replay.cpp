// quillrun-replay: runs the game's own frames with no window and no sound, from a seed
// and a recorded input (or the built-in player), and shows everything the game
// holds: a state dump per frame, a hash of the whole run, or a screenshot. The world
// steps on its own; only a screenshot starts the game's device, and only the frame
// asked for is drawn (with FRAME.X, the picture the smooth game shows X of the way from
// that frame to the next: between its last two updates, the hand led by the motion made
// since; FRAME alone is the picture of the frame, as the original pacing draws it).
//
//   quillrun-replay [--seed N] (--input FILE | --play normal|random) [--frames N]
//                   [--dump] [--hash] [--summary] [--screenshot FILE --at FRAME[.X]]
//                   [--record FILE] [--math-log FILE]
//
// The input file has one line per frame: "dx dy left right escape enter", six integers
// (the mouse motion and the held state, 0 or 1, of the two buttons and the two keys),
// read as the frames go: a pipe works, an endless one too. Missing lines mean no motion
// and nothing held. Lines starting with '#' are comments; "# quillrun-record 2 rules R seed
// N", as `quillrun --record` writes it, gives the seed when --seed does not (a recording
// of other rules than these is refused, status 2), and without
// --frames an input plays all its lines. --record writes the input of every frame in
// that form, so a run of the built-in player can be kept and replayed. Exit status: 0
// for a completed run and for --help (the usage on stdout), 1 when an output could not
// be written, 2 for bad arguments or a bad input file; SIGINT, SIGTERM and SIGHUP end the
// run after the frame in progress, with whole lines in every output, and then the
// runner ends by that signal. --summary prints one line at the end: the frame the game
// ended on (0 if it did not), the state, the score and the shield left. --math-log writes every distinct argument of the world's
// sine, cosine and arctangent (for qr-mathcheck).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game.h"
#include "app/player.h"
#include "platform/drivers/headless/headless.h"
#include "platform/kernel32/signals.h"
#include "render/between.h"
#include "render/device.h"
#include "tools/replay_input.h"
#include "tools/replay_math_log.h"
#include "tools/replay_output.h"
#include "tools/replay_screenshot.h"
#include "tools/state_dump.h"
#include "record/record_header.h"
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
  const char *screenshotPath = nullptr;
  long screenshotFrame = -1;
  float screenshotFraction = 0.0f;   // --at F.x: x of the way to frame F + 1
  const char *recordPath = nullptr;
  const char *mathLogPath = nullptr;
  bool summary = false;
};

void PrintUsage(FILE *to) {
  std::fprintf(to,
               "usage: quillrun-replay [--seed N] (--input FILE|- | --play normal|random) [--frames N]\n"
               "                       [--dump] [--hash] [--summary] [--screenshot FILE --at FRAME[.X]]\n"
               "                       [--record FILE] [--math-log FILE]\n");
}

int Usage(const char *why) {
  std::fprintf(stderr, "quillrun-replay: %s\n", why);
  PrintUsage(stderr);
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

// FRAME or FRAME.X: a frame from 1, and the digits of a fraction of the way to the next.
bool ParseMoment(const char *text, unsigned long *frame, float *fraction) {
  if (text == nullptr) return false;
  const char *dot = std::strchr(text, '.');
  const std::string whole = dot ? std::string(text, dot) : std::string(text);
  if (!ParseCount(whole.c_str(), 100000000ul, frame) || *frame == 0) return false;
  *fraction = 0.0f;
  if (dot == nullptr) return true;
  const char *digits = dot + 1;
  if (*digits == '\0' || std::strlen(digits) > 9) return false;
  double value = 0.0, scale = 0.1;
  for (const char *c = digits; *c != '\0'; ++c, scale /= 10.0) {
    if (*c < '0' || *c > '9') return false;
    value += (*c - '0') * scale;
  }
  *fraction = static_cast<float>(value);
  return true;
}

bool QuitRequested() { return QuitSignal() != 0; }

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
    if (std::strcmp(arg, "--help") == 0) {
      PrintUsage(stdout);
      return 0;
    } else if (std::strcmp(arg, "--seed") == 0) {
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
    } else if (std::strcmp(arg, "--math-log") == 0) {
      if (value == nullptr) return Usage("--math-log wants a file");
      options.mathLogPath = value;
      i++;
    } else if (std::strcmp(arg, "--at") == 0) {
      if (!ParseMoment(value, &number, &options.screenshotFraction))
        return Usage("--at wants a frame number from 1, with a fraction after a point (900 or 900.5)");
      options.screenshotFrame = static_cast<long>(number);
      i++;
    } else {
      return Usage((std::string("unknown argument ") + arg).c_str());
    }
  }
  if ((options.inputPath == nullptr) == (options.play == nullptr)) return Usage("give exactly one of --input and --play");
  if (options.frames < 0 && options.inputPath == nullptr) return Usage("--frames is required");
  if ((options.screenshotPath == nullptr) != (options.screenshotFrame < 0))
    return Usage("--screenshot and --at go together");
  // A picture between frames needs the frame after it too.
  const long lastShotFrame = options.screenshotFrame + (options.screenshotFraction > 0.0f ? 1 : 0);
  if (options.frames >= 0 && lastShotFrame > options.frames) return Usage("--at is beyond --frames");

  InstallQuitSignals();
  const bool outputOpen = HoldStandardDescriptors();
  static ReplayInput inputs;
  inputs.interrupted = QuitRequested;
  std::string error;
  if (options.inputPath != nullptr && !inputs.Open(options.inputPath, &error)) {
    if (QuitRequested()) EndByQuitSignal();
    std::fprintf(stderr, "quillrun-replay: %s\n", error.c_str());
    return 2;
  }
  if (!options.haveSeed) options.haveSeed = inputs.HeaderSeed(&options.seed);
  if (!options.haveSeed) return Usage("--seed is required (or an input whose first line gives it)");
  // Without --frames an input plays to its last line.
  const bool toTheEnd = options.frames < 0;
  if (toTheEnd) options.frames = 100000000;

  // Every output is known to be writable before the first frame.
  CheckedOutput out, record;
  if ((options.dump || options.hash || options.summary) && !OpenStandardOutput(outputOpen, &out)) return 1;
  if (options.screenshotPath != nullptr) {
    const std::string why = WhyNotWritable(options.screenshotPath);
    if (!why.empty()) {
      std::fprintf(stderr, "quillrun-replay: cannot write the screenshot %s: %s\n", options.screenshotPath,
                   why.c_str());
      return 1;
    }
  }
  if (options.recordPath != nullptr && !OpenOutputFile(options.recordPath, &record)) return 1;

  // The world as the game starts it, with the seed in place of the clock's seconds.
  if (options.screenshotPath != nullptr && !StartDevice()) {
    std::fprintf(stderr, "quillrun-replay: the game could not start\n");
    return 1;
  }
  static World world;
  // For a picture between frames F and F + 1: the updates it is drawn between, noted
  // frame by frame as the smooth game notes them, frame f due at f x 22 ms.
  const bool between = options.screenshotPath != nullptr && options.screenshotFraction > 0.0f;
  static UpdatePair updates;
  static World before;
  StartWorld(world, static_cast<uint32_t>(options.seed));
  // The same header the game's own recordings start with, so the file replays by itself.
  if (options.recordPath != nullptr &&
      !record.Printf("%s\n", RecordHeaderLine(static_cast<uint32_t>(options.seed)).c_str()))
    return 1;
  static FrameReport report;
  std::vector<std::pair<int, int>> frameSounds;
  frameSounds.reserve(FrameSoundLimit);

  if (options.mathLogPath != nullptr) StartMathLog();
  StateHash hash;
  std::string line;
  int status = 0;
  bool quit = false;
  bool stopped = false;
  long played = 0;
  long endFrame = 0;
  static BuiltInPlayer player(options.play != nullptr && std::strcmp(options.play, "random") == 0);
  for (long frame = 1; frame <= options.frames && !quit && !stopped; frame++) {
    if (QuitRequested()) break;
    FrameInput input{};
    if (options.play != nullptr) {
      input = player.Decide(world);
    } else {
      const ReplayInput::Result got = inputs.Next(&input, &error);
      if (got == ReplayInput::Interrupted) break;
      if (got == ReplayInput::End && toTheEnd) break;
      if (got == ReplayInput::Failed) {
        std::fprintf(stderr, "quillrun-replay: %s\n", error.c_str());
        status = 2;
        break;
      }
    }
    if (between && frame == options.screenshotFrame + 1) {
      // As the smooth game draws it x of the way from frame F to F + 1: between its last
      // two updates, the hand led by the motion not yet taken, which by then is what
      // frame F kept and x of frame F + 1's motion.
      const double x = options.screenshotFraction;
      const double mx = world.pendingDx + input.dx * x, my = world.pendingDy + input.dy * x;
      RenderMoment(MomentAt(updates, world, (options.screenshotFrame + x) * 22.0, mx, my), fpsValue);
      if (!WriteScreenshot(options.screenshotPath)) status = 1;
    }
    if (options.recordPath != nullptr &&
        !record.Printf("%d %d %d %d %d %d\n", input.dx, input.dy, input.left, input.right, input.escape, input.enter))
      stopped = true;
    if (between) std::memcpy(&before, &world, sizeof world);   // the padding too, for NoteFrame
    StepWorld(world, input, report);
    if (between) NoteFrame(updates, before, world, frame * 22.0);
    played = frame;
    quit = report.quit;
    if (endFrame == 0 && (world.GameState == GameOver || world.GameState == AllClear)) endFrame = frame;
    if (options.dump || options.hash) {
      frameSounds.clear();
      for (int i = 0; i < report.soundCount; i++) frameSounds.emplace_back(report.sounds[i].id, report.sounds[i].level);
      DumpState(world, frameSounds, &line);
      line.push_back('\n');
      if (options.dump && !out.Write(line.data(), line.size())) stopped = true;
      line.pop_back();
      hash.Add(line);
    }
    if (options.screenshotPath != nullptr) {
      // The frame rate as the game would count it by now.
      HeadlessSetTime(static_cast<DWORD>(frame * 22));
      if (frame == options.screenshotFrame && !between) {
        RenderFrame(world, fpsValue);
        if (!WriteScreenshot(options.screenshotPath)) status = 1;
      }
      CountFps();
    }
  }
  if (options.screenshotPath != nullptr && played < lastShotFrame && status == 0 && !QuitRequested()) {
    std::fprintf(stderr, "quillrun-replay: the run ended at frame %ld, before the screenshot's frame %ld\n", played,
                 lastShotFrame);
    status = 1;
  }
  // A run cut short by a signal or an error has no hash: it would look like a whole one.
  if (options.hash && !stopped && status == 0 && !QuitRequested())
    out.Printf("%016llx\n", static_cast<unsigned long long>(hash.value));
  if (options.summary && !stopped && status == 0 && !QuitRequested()) {
    static const char *const states[] = {"title", "playing", "game-over", "all-clear"};
    const int state = world.GameState >= Title && world.GameState <= AllClear ? world.GameState : Title;
    out.Printf("ended %ld state %s score %d shield %d\n", endFrame, states[state], world.score,
               static_cast<int>(world.Player.shield));
  }
  if (options.mathLogPath != nullptr && !WriteMathLog(options.mathLogPath)) status = 1;
  const bool outWritten = out.Finish();
  const bool recordWritten = record.Finish();
  if ((!outWritten || !recordWritten) && status == 0) status = 1;
  if (options.screenshotPath != nullptr) ShutdownGame();
  EndByQuitSignal();
  return status;
}
