// The replay runner run as a program: same seed and input give the same game, a kept
// recording still gives its hash, the built-in player's recorded game replays to the
// same game, and bad input files are reported by line.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

#include "platform/d3d8/d3d8_readback.h"
#include "png/png_writer.h"
#include "render/device.h"
#include "tests/app/headless_game.h"
#include "world/rules.h"
#include "world/step.h"

namespace {

std::string BuildDir() {
  const char *dir = std::getenv("QR_BUILD_DIR");
  return dir ? dir : ".";
}

std::string SourceDir() {
  const char *dir = std::getenv("QR_SOURCE_DIR");
  return dir ? dir : "..";
}

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

// Runs the replay runner with the given arguments, keeping its output and its messages.
// A prefix such as "yes | " feeds it through a pipe.
RunResult Replay(const std::string &args, const std::string &prefix = "") {
  std::string errPath = ::testing::TempDir() + "replay." + std::to_string(getpid()) + ".err";
  std::string command = prefix + BuildDir() + "/quillrun-replay " + args + " 2>" + errPath;
  RunResult result{-1, {}, {}};
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errPath);
  result.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  return result;
}

std::string WriteTemp(const std::string &name, const std::string &content) {
  std::string path = ::testing::TempDir() + std::to_string(getpid()) + "." + name;
  std::ofstream(path) << content;
  return path;
}

// A minute of play: start a normal game, sweep the hand about with the blade out, slow
// the world down for a while, hold Enter for the caption line.
std::string SampleInput() {
  std::string input = "0 0 1 0 0 0\n";
  for (int i = 0; i < 400; i++) {
    int dx = (i % 40) < 20 ? 12 : -12;
    int dy = (i % 16) < 8 ? 6 : -6;
    int left = (i % 30) < 12 ? 1 : 0;
    int right = (i > 200 && i < 240) ? 1 : 0;
    int enter = (i > 300 && i < 320) ? 1 : 0;
    input += std::to_string(dx) + " " + std::to_string(dy) + " " + std::to_string(left) + " " +
             std::to_string(right) + " 0 " + std::to_string(enter) + "\n";
  }
  return input;
}

TEST(Replay, SameSeedAndInputGiveTheSameDumpAndAnotherSeedDoesNot) {
  std::string input = WriteTemp("sample.input", SampleInput());
  RunResult a = Replay("--seed 7 --input " + input + " --frames 500 --dump");
  RunResult b = Replay("--seed 7 --input " + input + " --frames 500 --dump");
  RunResult c = Replay("--seed 8 --input " + input + " --frames 500 --dump");
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out, c.out);
  // One JSON object per frame, with every part of the state in it.
  size_t lines = 0;
  for (char ch : a.out) lines += ch == '\n';
  EXPECT_EQ(lines, 500u);
  for (const char *key : {"\"frameCounter\":500", "\"GameState\":1", "\"player\":{", "\"trail\":[[[",
                          "\"enemies\":[", "\"particles\":[{", "\"effects\":[", "\"rngSeed\":", "\"sounds\":[",
                          "\"scriptWait\":[50,100,"}) {
    EXPECT_NE(a.out.find(key), std::string::npos) << key;
  }
  // The swing sound shows up among the recorded sounds of some frame.
  EXPECT_NE(a.out.find("[4,75]"), std::string::npos);
}

TEST(Replay, HashIsStableAndFollowsTheGame) {
  std::string input = WriteTemp("hash.input", SampleInput());
  RunResult a = Replay("--seed 3 --input " + input + " --frames 300 --hash");
  RunResult b = Replay("--seed 3 --input " + input + " --frames 300 --hash");
  RunResult c = Replay("--seed 3 --input " + input + " --frames 299 --hash");
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out, c.out);
  EXPECT_EQ(a.out.size(), 17u);  // sixteen hex digits and a newline
}

TEST(Replay, AGameRecordingGivesItsSeedAndItsLengthAndCommentsAreNoFrames) {
  // The form `quillrun --record` writes: a seed header, frames, comments, a closing line.
  std::string frames = SampleInput();
  size_t middle = frames.find('\n', frames.size() / 2) + 1;
  std::string recorded = WriteTemp("recorded.input", "# quillrun-record seed 3\n" + frames.substr(0, middle) +
                                                         "# a note\n" + frames.substr(middle) + "# frames 401 score 0\n");
  std::string plain = WriteTemp("plain.input", frames);
  RunResult fromHeader = Replay("--input " + recorded + " --dump");
  RunResult given = Replay("--seed 3 --input " + plain + " --frames 401 --dump");
  ASSERT_EQ(fromHeader.status, 0) << fromHeader.err;
  EXPECT_EQ(fromHeader.out, given.out);
  // --seed still wins over the header.
  EXPECT_NE(Replay("--seed 4 --input " + recorded + " --dump").out, given.out);
  // Without a header or --seed there is no game to play.
  EXPECT_EQ(Replay("--input " + plain + " --frames 5").status, 2);
}

// A run of the built-in player through stage 1, recorded once and kept with its hash:
// a change to any rule of the game changes this hash, and the change must explain it.
TEST(Replay, KeptRecordingOfStageOneKeepsItsHash) {
  std::string input = SourceDir() + "/tests/data/stage1.input";
  std::ifstream expectedFile(SourceDir() + "/tests/data/stage1.hash");
  std::string expected;
  std::getline(expectedFile, expected);
  ASSERT_FALSE(expected.empty());
  RunResult run = Replay("--seed 20261207 --input " + input + " --frames 3000 --hash");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected + "\n");
}

// The kept hashes belong to one version of the rules. A change to what a frame does
// changes them; whoever changes them must raise RulesVersion too, so the recordings of
// the old rules are refused instead of replaying into another game.
TEST(Replay, KeptHashesBelongToTheRulesVersion) {
  struct Kept {
    int rules;
    const char *stageOneHash;
  };
  static const Kept kept[] = {{1, "dce272507188e06d"}};
  std::ifstream file(SourceDir() + "/tests/data/stage1.hash");
  std::string current;
  std::getline(file, current);
  const Kept *mine = nullptr;
  for (const Kept &entry : kept)
    if (entry.rules == RulesVersion) mine = &entry;
  ASSERT_NE(mine, nullptr) << "no kept hash for rules " << RulesVersion << ": add tests/data/stage1.hash here";
  EXPECT_EQ(current, mine->stageOneHash)
      << "tests/data/stage1.hash changed under rules " << RulesVersion
      << ": a frame now does something else, so raise RulesVersion in world/rules.h and add the new hash here";
}

// A recording says which rules it was played under: the first recordings, without a
// version, are rules 1; another version is refused by name, with status 2, even with
// --seed given.
TEST(Replay, RecordingsOfOtherRulesAreRefused) {
  const std::string frames = "0 0 1 0 0 0\n0 0 0 0 0 0\n";
  const std::string old = WriteTemp("old.input", "# quillrun-record seed 3\n" + frames);
  const std::string now = WriteTemp("now.input", "# quillrun-record 2 rules " + std::to_string(RulesVersion) +
                                                     " seed 3\n" + frames);
  const std::string other = WriteTemp("other.input", "# quillrun-record 2 rules " +
                                                         std::to_string(RulesVersion + 1) + " seed 3\n" + frames);
  const std::string newer = WriteTemp("newer.input", "# quillrun-record 3 rules 1 seed 3\n" + frames);
  RunResult fromNow = Replay("--input " + now + " --dump");
  ASSERT_EQ(fromNow.status, 0) << fromNow.err;
  EXPECT_EQ(Replay("--seed 3 --input " + now + " --frames 2 --dump").out, fromNow.out);
  RunResult fromOld = Replay("--input " + old + " --dump");
  if (RulesVersion == 1) {
    ASSERT_EQ(fromOld.status, 0) << fromOld.err;
    EXPECT_EQ(fromOld.out, fromNow.out);
  } else {
    EXPECT_EQ(fromOld.status, 2);
    EXPECT_NE(fromOld.err.find("recorded under rules 1,"), std::string::npos) << fromOld.err;
  }
  for (const std::string &args : {"--input " + other + " --dump", "--seed 3 --input " + other + " --frames 2"}) {
    RunResult refused = Replay(args);
    EXPECT_EQ(refused.status, 2) << args;
    EXPECT_TRUE(refused.out.empty()) << args;
    EXPECT_NE(refused.err.find(other + ":1: recorded under rules " + std::to_string(RulesVersion + 1)),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("plays rules " + std::to_string(RulesVersion)), std::string::npos) << refused.err;
  }
  RunResult newerRun = Replay("--input " + newer + " --dump");
  EXPECT_EQ(newerRun.status, 2);
  EXPECT_NE(newerRun.err.find("format 3"), std::string::npos) << newerRun.err;
  for (const std::string &path : {old, now, other, newer}) std::remove(path.c_str());
}

// The built-in player starts the game it is asked for and takes the blade to it; the
// screenshot is the reference device's 800 x 600 picture of the frame asked for.
TEST(Replay, BuiltInPlayerPlaysAndScreenshotsShowTheFrame) {
  RunResult random = Replay("--seed 11 --play random --frames 400 --dump");
  ASSERT_EQ(random.status, 0) << random.err;
  std::string last = random.out.substr(random.out.rfind('\n', random.out.size() - 2) + 1);
  EXPECT_NE(last.find("\"GameState\":1,\"randomMode\":1"), std::string::npos) << last.substr(0, 200);
  EXPECT_NE(last.find("\"scriptIndex\":0,\"scriptTimer\":0"), std::string::npos);

  std::string early = ::testing::TempDir() + std::to_string(getpid()) + ".early.png";
  std::string late = ::testing::TempDir() + std::to_string(getpid()) + ".late.png";
  ASSERT_EQ(Replay("--seed 11 --play normal --frames 60 --screenshot " + early + " --at 2").status, 0);
  RunResult shot = Replay("--seed 11 --play normal --frames 60 --screenshot " + late + " --at 60");
  ASSERT_EQ(shot.status, 0) << shot.err;
  auto readAll = [](const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  };
  std::string a = readAll(early), b = readAll(late);
  ASSERT_GT(b.size(), 33u);
  EXPECT_EQ(b.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  // IHDR: width and height, big-endian, right after the chunk's length and name.
  EXPECT_EQ(b.substr(16, 8), std::string("\0\0\x03\x20\0\0\x02\x58", 8));
  // The HUD, the hand and the stars are on it, and the world moved between the two.
  EXPECT_GT(b.size(), 4000u);
  EXPECT_NE(a, b);
}

// --at F.x is the picture x of the way from frame F to F + 1; --at F and --at F.0 are
// the picture of frame F as it always was, and the picture between moves off both ends.
TEST(Replay, ScreenshotsBetweenFramesAreTheirOwnAndWholeFramesAreUnchanged) {
  auto shoot = [](const std::string &at, const std::string &frames = "61") {
    const std::string path = ::testing::TempDir() + std::to_string(getpid()) + ".at" + at + ".png";
    RunResult shot = Replay("--seed 11 --play normal --frames " + frames + " --screenshot " + path + " --at " + at);
    EXPECT_EQ(shot.status, 0) << at << ": " << shot.err;
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  };
  const std::string whole = shoot("60"), zero = shoot("60.0"), half = shoot("60.5"), next = shoot("61");
  ASSERT_GT(whole.size(), 4000u);
  EXPECT_EQ(whole, zero);
  // The run up to frame 60 alone gives the same picture: the frame after it is not drawn.
  EXPECT_EQ(shoot("60", "60"), whole);
  EXPECT_NE(half, whole);
  EXPECT_NE(half, next);
  EXPECT_EQ(shoot("60.50"), half);
  // A picture between frames needs the next one; the fraction is digits after one point.
  EXPECT_EQ(Replay("--seed 11 --play normal --frames 60 --screenshot x.png --at 60.5").status, 2);
  for (const char *bad : {"60.", "60.-5", "60.5.5", ".5", "0.5", "60,5", "60.5e1"})
    EXPECT_EQ(Replay(std::string("--seed 11 --play normal --frames 61 --screenshot x.png --at ") + bad).status, 2)
        << bad;
}

std::string ReadFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The runner draws between frames what the smooth game shows then. The game runs here
// through its own frame driver on the headless clock (frame f at f x 22 ms, as the
// runner counts), the right button held over frames 20 to 30 (the world moving on one
// frame in three) and the mouse swinging, half of each frame's motion made by the
// middle of the frame before, where the game draws a picture. The runner's F.5 from the
// same input is that picture, pixel for pixel; its F is the original pacing's picture.
class ReplayBesideTheGame : public HeadlessGame {};

TEST_F(ReplayBesideTheGame, PicturesBetweenFramesAreTheSmoothGamesOwnInSlowMotion) {
  std::string text = "0 0 1 0 0 0\n";   // frame 1 starts a normal game
  for (int f = 2; f <= 34; ++f)
    text += std::to_string((f / 5) % 2 ? -18 : 26) + (f % 4 < 2 ? " 8 " : " -6 ") + (f % 9 < 6 ? "1 " : "0 ") +
            (f >= 20 && f < 31 ? "1" : "0") + " 0 0\n";
  const std::string input = WriteTemp("slow.input", text);
  StartOnTitle(0);
  StartWorld(game, 5);
  smoothPacing = 1;
  std::vector<DWORD> pixels(800 * 600);
  std::map<std::string, std::string> shots;   // --at, and the game's picture there
  auto keep = [&](const std::string &at) {
    shots[at] = ::testing::TempDir() + std::to_string(getpid()) + ".game" + at + ".png";
    EXPECT_TRUE(ReadBackPresented(device, pixels.data(), 800, 600));
    EXPECT_TRUE(WritePng(shots[at].c_str(), 800, 600, pixels.data()));
  };
  std::istringstream lines(text);
  int dx, dy, left, right, escape, enter;
  for (int f = 1; lines >> dx >> dy >> left >> right >> escape >> enter; ++f) {
    HeadlessSetKey(VK_LBUTTON, left);
    HeadlessSetKey(VK_RBUTTON, right);
    HeadlessMoveMouse(dx / 2, dy / 2);
    if (f >= 22 && f <= 27) {
      HeadlessSetTime(static_cast<DWORD>((f - 1) * 22 + 11));
      DrawPictureNow();
      keep(std::to_string(f - 1) + ".5");
    }
    HeadlessMoveMouse(dx - dx / 2, dy - dy / 2);
    HeadlessSetTime(static_cast<DWORD>(f * 22));
    StepFrame();
    if (f == 25) RenderFrame(game, fpsValue), keep("25");
  }
  ASSERT_EQ(game.GameState, Playing);
  smoothPacing = 0;
  for (const auto &[at, gamePicture] : shots) {
    const std::string path = ::testing::TempDir() + std::to_string(getpid()) + ".runner" + at + ".png";
    RunResult run = Replay("--seed 5 --input " + input + " --screenshot " + path + " --at " + at);
    ASSERT_EQ(run.status, 0) << at << ": " << run.err;
    EXPECT_GT(ReadFile(path).size(), 4000u) << at;
    EXPECT_TRUE(ReadFile(path) == ReadFile(gamePicture)) << "--at " << at << " is not the game's picture";
    std::remove(path.c_str());
    std::remove(gamePicture.c_str());
  }
  std::remove(input.c_str());
}

// A stretch of the built-in player's game kept with --record and replayed from that
// file alone is the same game: the player acted only through the frame input, and the
// file starts with the seed as the game's own recordings do. The summary line says how
// far the game got.
TEST(Replay, BuiltInPlayerRecordingReplaysToTheSameGame) {
  std::string recording = ::testing::TempDir() + std::to_string(getpid()) + ".played.input";
  RunResult played = Replay("--seed 4 --play normal --frames 2500 --hash --summary --record " + recording);
  ASSERT_EQ(played.status, 0) << played.err;
  std::ifstream kept(recording);
  std::string header;
  std::getline(kept, header);
  EXPECT_EQ(header, "# quillrun-record 2 rules " + std::to_string(RulesVersion) + " seed 4");
  RunResult replayed = Replay("--input " + recording + " --frames 2500 --hash --summary");
  ASSERT_EQ(replayed.status, 0) << replayed.err;
  EXPECT_EQ(played.out, replayed.out);
  // Still playing, with points scored and the shield kept.
  EXPECT_NE(played.out.find("\nended 0 state playing score "), std::string::npos) << played.out;
  EXPECT_EQ(played.out.find("score 0 "), std::string::npos) << played.out;
  EXPECT_EQ(played.out.find("shield 0"), std::string::npos) << played.out;
  std::remove(recording.c_str());
}

TEST(Replay, BadInputIsReportedWithItsLineNumber) {
  std::string bad = WriteTemp("bad.input", "0 0 0 0 0 0\n1 2 3\n");
  RunResult r = Replay("--seed 1 --input " + bad + " --frames 10");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(":2:"), std::string::npos) << r.err;

  std::string notNumber = WriteTemp("word.input", "0 0 0 0 0 0\n0 0 0 0 0 0\nleft 0 1 0 0 0\n");
  r = Replay("--seed 1 --input " + notNumber + " --frames 10");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(":3:"), std::string::npos) << r.err;

  std::string notFlag = WriteTemp("flag.input", "0 0 2 0 0 0\n");
  r = Replay("--seed 1 --input " + notFlag + " --frames 10");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(":1:"), std::string::npos) << r.err;

  // Missing lines are frames with nothing held: a short file is fine.
  std::string shortFile = WriteTemp("short.input", "5 5 0 0 0 0\n");
  EXPECT_EQ(Replay("--seed 1 --input " + shortFile + " --frames 50").status, 0);
}

TEST(Replay, BadArgumentsExitWithTwo) {
  EXPECT_EQ(Replay("").status, 2);
  EXPECT_EQ(Replay("--seed x --play normal --frames 5").status, 2);
  EXPECT_EQ(Replay("--seed 1 --play sideways --frames 5").status, 2);
  EXPECT_EQ(Replay("--seed 1 --play normal").status, 2);
  EXPECT_EQ(Replay("--seed 1 --play normal --frames 5 --screenshot x.png").status, 2);
  EXPECT_EQ(Replay("--seed 1 --input /nonexistent/file --frames 5").status, 2);
  EXPECT_EQ(Replay("--seed 1 --play normal --frames 5 --bogus").status, 2);
}

// Only regular files and pipes are read, and a line with a NUL or another control byte
// is refused by its number instead of being cut short or taken as it stands.
TEST(Replay, InputIsAFileOrAPipeOfPlainLines) {
  RunResult dir = Replay("--seed 1 --input " + ::testing::TempDir() + " --frames 5 --hash");
  EXPECT_EQ(dir.status, 2);
  EXPECT_NE(dir.err.find("directory"), std::string::npos) << dir.err;
  EXPECT_EQ(dir.out, "");

  const char nulText[] = "0 0 0 0 0 0\n0 0 1 0 0 0\n5 5 0 0 0 0\0 junk\n";
  std::string nul = WriteTemp("nul.input", std::string(nulText, sizeof nulText - 1));
  RunResult r = Replay("--seed 1 --input " + nul + " --frames 5");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(":3: a NUL byte"), std::string::npos) << r.err;
  std::string control = WriteTemp("control.input", "0 0 0 0 0 0\n0 0 0 0 \x1b[2J 0\n");
  r = Replay("--seed 1 --input " + control + " --frames 5");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(":2: unexpected byte 0x1B"), std::string::npos) << r.err;

  // An endless input through a pipe: the run takes what its frames need and ends. The
  // same lines from a file, and comments among them, give the same game.
  RunResult zeros = Replay("--seed 4 --input /dev/stdin --frames 200 --hash", "head -c 100000 /dev/zero | ");
  EXPECT_EQ(zeros.status, 2);
  EXPECT_NE(zeros.err.find(":1: a NUL byte"), std::string::npos) << zeros.err;
  std::string lines;
  for (int i = 0; i < 200; i++) lines += i == 50 ? "# a comment\n3 1 1 0 0 0\n" : "3 1 1 0 0 0\n";
  RunResult file = Replay("--seed 4 --input " + WriteTemp("lines.input", lines) + " --frames 200 --hash");
  RunResult yes = Replay("--seed 4 --input - --frames 200 --hash", "yes '3 1 1 0 0 0' | ");
  ASSERT_EQ(yes.status, 0) << yes.err;
  EXPECT_EQ(yes.out.size(), 17u);
  EXPECT_EQ(yes.out, file.out);

  // A recording's first line gives its seed when --seed is not given.
  RunResult seeded = Replay("--input " + WriteTemp("seeded.input", "# quillrun-record seed 4\n" + lines) +
                            " --frames 200 --hash");
  ASSERT_EQ(seeded.status, 0) << seeded.err;
  EXPECT_EQ(seeded.out, file.out);
}

// A full disk, a closed standard output or a path that cannot be written is an error
// with a message and status 1; a bad path is found before the first frame.
TEST(Replay, EveryOutputIsCheckedAndFailuresAreErrors) {
  for (const char *what : {"--dump", "--hash"}) {
    RunResult full = Replay(std::string("--seed 1 --play normal --frames 300 ") + what + " > /dev/full");
    EXPECT_EQ(full.status, 1) << what;
    EXPECT_NE(full.err.find("cannot write standard output: No space left"), std::string::npos) << full.err;
    RunResult closed = Replay(std::string("--seed 1 --play normal --frames 30 ") + what + " >&-");
    EXPECT_EQ(closed.status, 1) << what;
    EXPECT_NE(closed.err.find("standard output"), std::string::npos) << closed.err;
  }
  RunResult record = Replay("--seed 1 --play normal --frames 300 --record /dev/full");
  EXPECT_EQ(record.status, 1);
  EXPECT_NE(record.err.find("cannot write /dev/full"), std::string::npos) << record.err;

  // Reported at once: a run of a hundred million frames would never get there.
  std::string kept = ::testing::TempDir() + std::to_string(getpid()) + ".never.txt";
  RunResult shot = Replay("--seed 1 --play normal --frames 100000000 --screenshot /nonexistent/dir/shot.png --at "
                          "100000000 --record " + kept);
  EXPECT_EQ(shot.status, 1);
  EXPECT_NE(shot.err.find("/nonexistent/dir/shot.png"), std::string::npos) << shot.err;
  struct stat info;
  EXPECT_NE(stat(kept.c_str(), &info), 0) << "nothing is written before the paths are known to be good";
}

// SIGTERM and SIGINT stop a long run after the frame in progress: the record ends on a
// whole line and the runner ends as killed by the signal.
TEST(Replay, QuitSignalsEndARunWithWholeLines) {
  for (int signal : {SIGTERM, SIGINT}) {
    std::string recordPath = ::testing::TempDir() + std::to_string(getpid()) + ".signal.record";
    std::remove(recordPath.c_str());
    std::string runner = BuildDir() + "/quillrun-replay";
    pid_t pid = fork();
    if (pid == 0) {
      std::signal(SIGINT, SIG_DFL);
      freopen("/dev/null", "w", stderr);
      execl(runner.c_str(), runner.c_str(), "--seed", "1", "--play", "random", "--frames", "100000000", "--record",
            recordPath.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    // Past start-up and a few frames in (the record is flushed in blocks).
    auto start = std::chrono::steady_clock::now();
    struct stat info = {};
    while ((stat(recordPath.c_str(), &info) != 0 || info.st_size < 8192) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, signal);
    int status = 0;
    start = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "signal " << signal << " did not end the run";
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    std::ifstream file(recordPath);
    std::string record((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(record.size(), 8192u);
    EXPECT_EQ(record.back(), '\n');
    std::remove(recordPath.c_str());
  }
}

}  // namespace
