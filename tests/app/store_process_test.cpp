// The kept games across processes: two programs keeping at once keep both runs, and a
// disk that fills up during a run costs one line and no crash, leaving the store sound.
// Each program is a forked child running the writer over a scripted world.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "app/player.h"
#include "app/store.h"
#include "world/step.h"

namespace fs = std::filesystem;

namespace {

// Plays `games` games (the built-in player starts each, then the hand is left alone),
// or plays on for `seconds` when games is 0, keeping them; exits 0.
[[noreturn]] void PlayAndKeep(uint32_t seed, int games, int seconds, bool noisy) {
  World world;
  StartWorld(world, seed);
  if (!StartKeeping(world.randomSeed)) _exit(3);
  BuiltInPlayer player;
  uint32_t began = 0;
  int ended = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (uint32_t frame = 0;; ++frame) {
    const int before = world.GameState;
    FrameInput input = world.GameState == Playing && frame - began > 100 ? FrameInput{} : player.Decide(world);
    if (world.GameState == GameOver || world.GameState == AllClear) input = FrameInput{0, 0, false, false, true, false};
    // Motion that does not compress, so the disk fills.
    if (noisy) input.dx = static_cast<int>((frame * 2654435761u) >> 8);
    FrameReport report;
    StepWorld(world, input, report);
    KeepFrame(input, world);
    if (before != Playing && world.GameState == Playing) began = frame;
    if (before == Playing && world.GameState != Playing && ++ended == games) break;
    if (games == 0 && std::chrono::steady_clock::now() > until) break;
    if (frame % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  StopKeeping();
  _exit(0);
}

class StoreProcesses : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qr-store-processes.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    fs::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(StoreProcesses, TwoProgramsAtOnceKeepBothRuns) {
  pid_t children[2];
  for (int i = 0; i < 2; ++i) {
    children[i] = fork();
    ASSERT_GE(children[i], 0);
    if (children[i] == 0) PlayAndKeep(500 + i, 3, 0, false);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::string error;
  std::unique_ptr<GameStore> store = GameStore::Open(dir_ + "/quillrun/games.sqlite", error, false);
  ASSERT_TRUE(store) << error;
  EXPECT_TRUE(store->IntegrityOk());
  const std::vector<KeptGame> games = store->All();
  ASSERT_EQ(games.size(), 6u);
  std::map<int64_t, int> perRun;
  for (const KeptGame &game : games) {
    ++perRun[game.run];
    EXPECT_TRUE(game.end == "over" || game.end == "clear") << game.end;
  }
  ASSERT_EQ(perRun.size(), 2u);
  for (const auto &[run, count] : perRun) {
    EXPECT_EQ(count, 3);
    KeptRun kept;
    ASSERT_TRUE(store->LoadRun(run, kept, error)) << error;
  }
}

TEST_F(StoreProcesses, AFullDiskCostsOneLineAndTheGamePlaysOn) {
  const std::string log = dir_ + "/stderr.txt";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Files may not grow past 64 KB: past that every write fails as on a full disk.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    if (!freopen(log.c_str(), "w", stderr)) _exit(5);
    setvbuf(stderr, nullptr, _IONBF, 0);
    PlayAndKeep(77, 0, 6, true);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the program did not end by itself: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::stringstream said;
  said << std::ifstream(log).rdbuf();
  const std::string text = said.str();
  EXPECT_NE(text.find("cannot keep the games any more"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  std::string error;
  std::unique_ptr<GameStore> store = GameStore::Open(dir_ + "/quillrun/games.sqlite", error, false);
  ASSERT_TRUE(store) << error;
  EXPECT_TRUE(store->IntegrityOk());
}

}  // namespace
