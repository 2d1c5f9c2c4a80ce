// The kept games survive a kill at any moment: a child process plays short scripted
// games as fast as it can, keeping them (so the writer is often closing a game or
// pruning the store, which fills past its 300 games), and is killed with SIGKILL at 30
// random moments. After each kill the store opens as it is (nothing moved aside),
// passes SQLite's integrity check, holds every game that had ended a while before the
// kill with its score, and the run of each kept game plays it again to the same end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "app/player.h"
#include "app/store.h"
#include "world/step.h"

namespace fs = std::filesystem;

namespace {

// What the child says about a game, when the world began or ended it.
struct Report {
  int64_t at;       // CLOCK_MONOTONIC, ms
  uint32_t began;
  uint32_t ended;   // 0 while it plays
  int32_t score;
  int32_t state;
};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

[[noreturn]] void PlayAndKeep(uint32_t seed, int reports) {
  World world;
  StartWorld(world, seed);
  if (!StartKeeping(world.randomSeed)) _exit(3);
  BuiltInPlayer player;
  uint32_t began = 0;
  for (uint32_t frame = 0;; ++frame) {
    const int before = world.GameState;
    // The built-in player starts each game; after 150 frames the hand is left alone and
    // soon loses, so games are short and end often.
    // Escape goes from an end back to the title, where the player starts the next game.
    FrameInput input = world.GameState == Playing && frame - began > 300 ? FrameInput{} : player.Decide(world);
    if (world.GameState == GameOver || world.GameState == AllClear) input = FrameInput{0, 0, false, false, true, false};
    FrameReport report;
    StepWorld(world, input, report);
    KeepFrame(input, world);
    if (before != Playing && world.GameState == Playing) {
      began = frame;
      const Report said{NowMs(), began, 0, 0, Playing};
      if (write(reports, &said, sizeof said) != sizeof said) _exit(4);
    }
    if (before == Playing && world.GameState != Playing) {
      const Report said{NowMs(), began, frame, world.score, world.GameState};
      if (write(reports, &said, sizeof said) != sizeof said) _exit(4);
    }
    // About twenty times the game's own pace: a game lasts about a commit's second.
    if (frame % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

struct Row {
  int64_t id;
  uint32_t began, ended;
  std::string end;
  int score;
};

std::vector<Row> GamesOfRun(const std::string &path, uint32_t seed) {
  std::vector<Row> rows;
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return rows;
  sqlite3_stmt *query = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT g.id, g.began, g.ended, g.end, g.score FROM games g JOIN runs r ON g.run = r.id"
                     " WHERE r.seed = ? ORDER BY g.id",
                     -1, &query, nullptr);
  sqlite3_bind_int64(query, 1, seed);
  while (sqlite3_step(query) == SQLITE_ROW)
    rows.push_back(Row{sqlite3_column_int64(query, 0), static_cast<uint32_t>(sqlite3_column_int64(query, 1)),
                       static_cast<uint32_t>(sqlite3_column_int64(query, 2)),
                       reinterpret_cast<const char *>(sqlite3_column_text(query, 3)),
                       sqlite3_column_int(query, 4)});
  sqlite3_finalize(query);
  sqlite3_close(db);
  return rows;
}

TEST(StoreKill, KilledAtThirtyRandomMomentsNothingThatWasWrittenIsLost) {
  char pattern[] = "/tmp/qr-store-kill.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  setenv("XDG_DATA_HOME", dir.c_str(), 1);
  const std::string path = dir + "/quillrun/games.sqlite";
  // 250 games of old runs first, so every game closed from here on drops an old one:
  // the kills fall while pruning too.
  {
    std::string error;
    std::unique_ptr<GameStore> store = GameStore::Open(path, error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->Begin(error)) << error;
    for (int i = 0; i < 250; ++i) {
      const int64_t run = store->AddRun(7, 1, 0, error);
      std::vector<uint8_t> encoded;
      EncodeInput(FrameInput{}, encoded);
      ASSERT_TRUE(store->PutChunk(run, 0, 1, encoded, error)) << error;
      KeptGame game;
      game.run = run;
      game.end = "over";
      game.score = 100000 + (i * 37) % 250;
      ASSERT_GT(store->AddGame(game, error), 0) << error;
    }
    ASSERT_TRUE(store->Commit(error)) << error;
  }
  // The kills land at the same moments every run (what the child has reached by then
  // still varies with the machine's load, which is the point).
  std::mt19937 random(20261208);
  int closedSeen = 0, cutSeen = 0;

  for (uint32_t kill = 1; kill <= 30; ++kill) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeEnds[0]);
      PlayAndKeep(1000 + kill, pipeEnds[1]);
    }
    close(pipeEnds[1]);
    const int lifetime = std::uniform_int_distribution<int>(200, 3000)(random);
    std::this_thread::sleep_for(std::chrono::milliseconds(lifetime));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    const int64_t killedAt = NowMs();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended on its own, status " << status;
    std::vector<Report> reports;
    Report report;
    while (read(pipeEnds[0], &report, sizeof report) == sizeof report) reports.push_back(report);
    close(pipeEnds[0]);

    // The store opens as it is: nothing is moved aside, and its check passes.
    testing::internal::CaptureStderr();
    std::string error;
    std::unique_ptr<GameStore> store = GameStore::Open(path, error, false);
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(store) << "after kill " << kill << " at " << lifetime << " ms: " << error;
    EXPECT_EQ(said, "") << "after kill " << kill;
    ASSERT_TRUE(store->IntegrityOk()) << "after kill " << kill;

    // Every game that had ended a second and a half before the kill (the writer commits
    // within a second, and at once at a game's end) is there, closed, with its score.
    const std::vector<Row> rows = GamesOfRun(path, 1000 + kill);
    if (getenv("QR_KILL_VERBOSE")) {
      std::fprintf(stderr, "kill %u at %d ms: %zu reports, %zu rows:", kill, lifetime, reports.size(), rows.size());
      for (const Row &row : rows) std::fprintf(stderr, " %u-%u %s %d;", row.began, row.ended, row.end.c_str(), row.score);
      std::fprintf(stderr, "\n");
    }
    for (const Report &r : reports) {
      if (r.at > killedAt - 1500) continue;
      bool found = false;
      for (const Row &row : rows)
        if (row.began == r.began) {
          found = true;
          if (r.ended) {
            EXPECT_EQ(row.ended, r.ended) << "kill " << kill;
            EXPECT_EQ(row.score, r.score) << "kill " << kill;
            EXPECT_EQ(row.end, r.state == GameOver ? "over" : "clear") << "kill " << kill;
          }
        }
      EXPECT_TRUE(found) << "kill " << kill << ": the game begun on frame " << r.began << " is missing";
    }
    // Each game of the run plays again from its run to what was kept: the same score on
    // its last kept frame, and the same end for the ones that ended.
    for (const Row &row : rows) {
      KeptGame game;
      ASSERT_TRUE(store->FindGame(row.id, game));
      KeptRun run;
      ASSERT_TRUE(store->LoadRun(game.run, run, error)) << error;
      ASSERT_LT(row.ended, run.inputs.size()) << "kill " << kill << ": a game kept past its run's inputs";
      World world;
      StartWorld(world, run.seed);
      for (uint32_t i = 0; i <= row.ended; ++i) {
        FrameReport frameReport;
        StepWorld(world, run.inputs[i], frameReport);
      }
      EXPECT_EQ(world.score, row.score) << "kill " << kill << " game " << row.id;
      if (row.end == "cut") {
        ++cutSeen;
        EXPECT_EQ(world.GameState, Playing) << "kill " << kill;
      } else {
        ++closedSeen;
        EXPECT_EQ(world.GameState, row.end == "over" ? GameOver : AllClear) << "kill " << kill;
      }
    }
  }
  // The kills fell both during games and between them.
  EXPECT_GT(closedSeen, 0);
  EXPECT_GT(cutSeen, 0);
  for (const fs::directory_entry &entry : fs::directory_iterator(dir + "/quillrun"))
    EXPECT_EQ(entry.path().string().find("damaged"), std::string::npos) << entry.path();
  fs::remove_all(dir);
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
