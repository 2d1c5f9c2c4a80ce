// The kept games: the inputs' compact form, the store's file (write, reopen, prune, a
// damaged or foreign file moved aside), the writer thread keeping a real game so that
// its run plays it again to the same end, --export and what --watch refuses, and the
// reading commands, which change nothing on the disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/player.h"
#include "app/store.h"
#include "app/store_commands.h"
#include "render/scene.h"
#include "world/rules.h"
#include "world/step.h"

namespace fs = std::filesystem;

namespace {

class StoreTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qr-store-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/quillrun/games.sqlite";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<GameStore> Open() {
    std::string error;
    std::unique_ptr<GameStore> store = GameStore::Open(path_, error);
    EXPECT_TRUE(store) << error;
    return store;
  }

  // A run of the given inputs with one game, committed; its id.
  int64_t KeepRun(GameStore &store, const std::vector<FrameInput> &inputs, KeptGame game, int rules = RulesVersion,
                  int64_t lease = 0) {
    std::string error;
    EXPECT_TRUE(store.Begin(error)) << error;
    const int64_t run = store.AddRun(7, rules, 1000, error);
    for (uint32_t first = 0; first < inputs.size(); first += GameStore::ChunkFrames) {
      std::vector<uint8_t> encoded;
      const uint32_t count = std::min<uint32_t>(GameStore::ChunkFrames, inputs.size() - first);
      for (uint32_t i = 0; i < count; ++i) EncodeInput(inputs[first + i], encoded);
      EXPECT_TRUE(store.PutChunk(run, first, count, encoded, error)) << error;
    }
    EXPECT_TRUE(store.SetLease(run, inputs.size(), lease, error)) << error;
    game.run = run;
    game.id = store.AddGame(game, error);
    EXPECT_TRUE(store.UpdateGame(game, error)) << error;
    EXPECT_TRUE(store.Commit(error)) << error;
    return game.id;
  }

  std::string dir_;
  std::string path_;
};

std::vector<FrameInput> SomeInputs(size_t count) {
  std::vector<FrameInput> inputs;
  for (size_t i = 0; i < count; ++i)
    inputs.push_back(FrameInput{static_cast<int>(i % 61) - 30, static_cast<int>(i * 7 % 1001) - 500, i % 3 == 0,
                                i % 5 == 0, i % 97 == 0, i % 11 == 0});
  return inputs;
}

// One statement on a database file opened as flags say.
void Sql(const std::string &path, const char *sql, int flags) {
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK) sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// Every file of a folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string &folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry &entry : fs::directory_iterator(folder)) {
    std::ostringstream bytes;
    bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    files[entry.path().filename().string()] = bytes.str();
  }
  return files;
}

std::string Names(const std::map<std::string, std::string> &files) {
  std::string names;
  for (const auto &[name, bytes] : files) names += name + " (" + std::to_string(bytes.size()) + ") ";
  return names;
}

bool Same(const FrameInput &a, const FrameInput &b) {
  return a.dx == b.dx && a.dy == b.dy && a.left == b.left && a.right == b.right && a.escape == b.escape &&
         a.enter == b.enter;
}

TEST(StoreInputs, RoundTripAndRejectTruncated) {
  std::vector<FrameInput> inputs = SomeInputs(300);
  inputs.push_back(FrameInput{INT32_MIN, INT32_MAX, true, true, true, true});
  std::vector<uint8_t> encoded;
  for (const FrameInput &input : inputs) EncodeInput(input, encoded);
  std::vector<FrameInput> decoded;
  ASSERT_TRUE(DecodeInputs(encoded.data(), encoded.size(), decoded));
  ASSERT_EQ(decoded.size(), inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) EXPECT_TRUE(Same(decoded[i], inputs[i])) << i;
  // A frame cut in its middle, and keys no frame has, are refused.
  decoded.clear();
  EXPECT_FALSE(DecodeInputs(encoded.data(), encoded.size() - 1, decoded));
  const uint8_t badKeys[] = {0, 0, 0x10};
  EXPECT_FALSE(DecodeInputs(badKeys, sizeof badKeys, decoded));
  const uint8_t endless[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0};
  EXPECT_FALSE(DecodeInputs(endless, sizeof endless, decoded));
}

TEST_F(StoreTest, WrittenRunsAndGamesReadBackAfterReopening) {
  const std::vector<FrameInput> inputs = SomeInputs(GameStore::ChunkFrames * 2 + 100);
  KeptGame game;
  game.mode = 1;
  game.began = 50;
  game.ended = 9000;
  game.end = "over";
  game.score = 1234;
  game.date = 99;
  int64_t id;
  {
    std::unique_ptr<GameStore> store = Open();
    ASSERT_TRUE(store);
    id = KeepRun(*store, inputs, game);
  }
  std::unique_ptr<GameStore> store = Open();
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->IntegrityOk());
  KeptGame found;
  ASSERT_TRUE(store->FindGame(id, found));
  EXPECT_EQ(found.mode, 1);
  EXPECT_EQ(found.began, 50u);
  EXPECT_EQ(found.ended, 9000u);
  EXPECT_EQ(found.end, "over");
  EXPECT_EQ(found.score, 1234);
  KeptRun run;
  std::string error;
  ASSERT_TRUE(store->LoadRun(found.run, run, error)) << error;
  EXPECT_EQ(run.seed, 7u);
  EXPECT_EQ(run.rules, RulesVersion);
  ASSERT_EQ(run.inputs.size(), inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) ASSERT_TRUE(Same(run.inputs[i], inputs[i])) << i;
  const KeptBest best = store->ReadBest();
  EXPECT_TRUE(best.any);
  EXPECT_FALSE(best.have[0]);
  EXPECT_EQ(best.best[1], 1234);
}

TEST_F(StoreTest, PruneKeepsTheBestOfEachModeAndTheLastAndDropsRunsWithoutGames) {
  std::unique_ptr<GameStore> store = Open();
  ASSERT_TRUE(store);
  const std::vector<FrameInput> inputs = SomeInputs(10);
  // 300 games, one run each: modes alternate, scores in a scrambled order.
  std::vector<KeptGame> games;
  for (int i = 0; i < 300; ++i) {
    KeptGame game;
    game.mode = i % 2;
    game.score = (i * 7919) % 1000;
    game.end = "over";
    game.id = KeepRun(*store, inputs, game);
    games.push_back(game);
  }
  // A live run (its lease not run out) with a game in play and a low score.
  KeptGame playing;
  playing.end = "cut";
  playing.score = -1;
  const int64_t playingId = KeepRun(*store, inputs, playing, RulesVersion, 5000);
  std::string error;
  ASSERT_TRUE(store->Begin(error));
  ASSERT_TRUE(store->Prune(1000, error)) << error;
  ASSERT_TRUE(store->Commit(error));

  std::set<int64_t> expected = {playingId};
  for (int mode = 0; mode < 2; ++mode) {
    std::vector<KeptGame> ofMode;
    for (const KeptGame &g : games)
      if (g.mode == mode) ofMode.push_back(g);
    std::stable_sort(ofMode.begin(), ofMode.end(), [](auto &a, auto &b) { return a.score > b.score; });
    for (int i = 0; i < GameStore::KeptPerList; ++i) expected.insert(ofMode[i].id);
  }
  // The last 100 are counted with the game in play (the newest of all).
  for (size_t i = games.size() - GameStore::KeptPerList + 1; i < games.size(); ++i) expected.insert(games[i].id);
  std::set<int64_t> kept;
  for (const KeptGame &g : store->All()) kept.insert(g.id);
  EXPECT_EQ(kept, expected);

  // Every run left has a game (or is live), and no chunk outlives its run.
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  auto count = [db](const char *sql) {
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    sqlite3_step(statement);
    const int value = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    return value;
  };
  EXPECT_EQ(count("SELECT count(*) FROM runs"), static_cast<int>(expected.size()));
  EXPECT_EQ(count("SELECT count(*) FROM chunks WHERE run NOT IN (SELECT run FROM games)"), 0);
  sqlite3_close(db);

  // Once the live run's lease has run out its cut game is ranked like any other: with
  // 100 newer games and its low score, it goes.
  for (int i = 0; i < GameStore::KeptPerList; ++i) {
    KeptGame game;
    game.score = 500;
    game.end = "over";
    KeepRun(*store, inputs, game);
  }
  ASSERT_TRUE(store->Begin(error));
  ASSERT_TRUE(store->Prune(6000, error)) << error;
  ASSERT_TRUE(store->Commit(error));
  KeptGame gone;
  EXPECT_FALSE(store->FindGame(playingId, gone));
}

TEST_F(StoreTest, ADamagedOrForeignFileIsMovedAsideAndANewStoreStarted) {
  fs::create_directories(dir_ + "/quillrun");
  for (const bool foreign : {false, true}) {
    for (const fs::directory_entry &entry : fs::directory_iterator(dir_ + "/quillrun")) fs::remove(entry.path());
    if (foreign) {
      sqlite3 *db = nullptr;
      ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')", nullptr, nullptr, nullptr),
                SQLITE_OK);
      sqlite3_close(db);
    } else {
      std::ofstream(path_) << std::string(5000, 'x');
    }
    const uintmax_t size = fs::file_size(path_);
    testing::internal::CaptureStderr();
    std::unique_ptr<GameStore> store = Open();
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(store) << foreign;
    EXPECT_TRUE(store->All().empty());
    EXPECT_NE(said.find("moved aside"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    int aside = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator(dir_ + "/quillrun"))
      if (entry.path().filename().string().rfind("games.sqlite.damaged-", 0) == 0 &&
          entry.path().string().find("-wal") == std::string::npos &&
          entry.path().string().find("-shm") == std::string::npos) {
        ++aside;
        EXPECT_EQ(entry.file_size(), size) << "the file moved aside is the old one, whole";
      }
    EXPECT_EQ(aside, 1);
    // The new store is a store: it takes a run.
    EXPECT_GT(KeepRun(*store, SomeInputs(3), KeptGame{}), 0);
  }
}

TEST_F(StoreTest, AStoreOfALaterVersionIsLeftAlone) {
  {
    std::unique_ptr<GameStore> store = Open();
    ASSERT_TRUE(store);
    KeepRun(*store, SomeInputs(3), KeptGame{});
  }
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 2", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::string error;
  EXPECT_FALSE(GameStore::Open(path_, error));
  EXPECT_NE(error.find("later"), std::string::npos) << error;
  for (const fs::directory_entry &entry : fs::directory_iterator(dir_ + "/quillrun"))
    EXPECT_EQ(entry.path().string().find("damaged"), std::string::npos) << entry.path();
}

TEST_F(StoreTest, NoPlaceForTheStoreIsAnErrorNotACrash) {
  // The folder's place is taken by a file: nothing can be kept there.
  std::ofstream(dir_ + "/quillrun") << "a file";
  std::string error;
  EXPECT_FALSE(GameStore::Open(path_, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(GameStore::Open("", error));
}

// The writer thread keeps a real game, started by the built-in player: the game's row has its
// end and score, and the run from start-up played again ends the game the same way.
TEST_F(StoreTest, TheWriterKeepsAGameItsRunPlaysAgain) {
  setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  World world;
  StartWorld(world, 4242);
  ASSERT_TRUE(StartKeeping(world.randomSeed));
  BuiltInPlayer player;
  uint32_t frame = 0, began = 0, ended = 0;
  int endState = Title;
  for (; frame < 200000; ++frame) {
    const int before = world.GameState;
    // The built-in player's motion for a while, then nothing: the hand soon loses.
    const FrameInput input = frame < 600 ? player.Decide(world) : FrameInput{};
    FrameReport report;
    StepWorld(world, input, report);
    KeepFrame(input, world);
    if (before != Playing && world.GameState == Playing) began = frame;
    if (before == Playing && world.GameState != Playing) {
      ended = frame;
      endState = world.GameState;
      break;
    }
  }
  ASSERT_NE(endState, Title) << "the built-in player's game did not end";
  // A few frames of the title after it, then the program ends.
  for (int i = 0; i < 30; ++i) {
    FrameReport report;
    const FrameInput nothing{};
    StepWorld(world, nothing, report);
    KeepFrame(nothing, world);
  }
  StopKeeping();

  std::unique_ptr<GameStore> store = Open();
  ASSERT_TRUE(store);
  const std::vector<KeptGame> games = store->All();
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].began, began);
  EXPECT_EQ(games[0].ended, ended);
  EXPECT_EQ(games[0].end, endState == GameOver ? "over" : "clear");
  KeptRun run;
  std::string error;
  ASSERT_TRUE(store->LoadRun(games[0].run, run, error)) << error;
  ASSERT_EQ(run.inputs.size(), ended + 31);

  World again;
  StartWorld(again, run.seed);
  for (uint32_t i = 0; i <= ended; ++i) {
    FrameReport report;
    StepWorld(again, run.inputs[i], report);
  }
  EXPECT_EQ(again.GameState, endState);
  EXPECT_EQ(again.score, games[0].score);

  // --export writes that run up to the game's end; read back it is the same run.
  const std::string exported = dir_ + "/game.txt";
  ASSERT_EQ(ExportKeptGame(path_, std::to_string(games[0].id), exported), 0);
  WatchedRun watched;
  ASSERT_TRUE(ReadRecordFile(exported, watched, error)) << error;
  EXPECT_EQ(watched.run.seed, run.seed);
  EXPECT_EQ(watched.began, began);
  EXPECT_EQ(watched.ended, ended);
  ASSERT_EQ(watched.run.inputs.size(), ended + 1);
  for (uint32_t i = 0; i <= ended; ++i) ASSERT_TRUE(Same(watched.run.inputs[i], run.inputs[i])) << i;
  std::ifstream file(exported);
  std::string header;
  std::getline(file, header);
  EXPECT_EQ(header, "# quillrun-record 2 rules " + std::to_string(RulesVersion) + " seed 4242");
  unsetenv("XDG_DATA_HOME");
}

// The title's best and the end screens' NEW BEST: nothing shown for an empty store until a
// game ends, a new best only when it beats what was kept of its mode before it.
TEST_F(StoreTest, TheScoresLineShowsTheBestAndANewBestOnlyOverOneKept) {
  setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  World world{};
  world.GameState = Title;
  int frame = 0;
  auto step = [&](int state, int score, int mode = 0) {
    world.GameState = state;
    world.score = score;
    world.randomMode = mode;
    KeepFrame(FrameInput{frame++, 0, false, false, false, false}, world);
  };
  ASSERT_TRUE(StartKeeping(1));
  const KeptScoresLine *line = KeptScores();
  ASSERT_NE(line, nullptr);
  EXPECT_FALSE(line->shown) << "an empty store shows nothing";
  step(Playing, 0);
  step(GameOver, 100);
  EXPECT_TRUE(line->shown);
  EXPECT_FALSE(line->newBest) << "the first game has nothing to beat";
  EXPECT_EQ(line->bestNormal, 100);
  StopKeeping();
  EXPECT_EQ(KeptScores(), nullptr);

  // The next program starts from what was kept.
  ASSERT_TRUE(StartKeeping(2));
  line = KeptScores();
  ASSERT_NE(line, nullptr);
  EXPECT_TRUE(line->shown);
  EXPECT_EQ(line->bestNormal, 100);
  EXPECT_EQ(line->bestRandom, 0);
  step(Title, 0);
  step(Playing, 0);
  step(GameOver, 100);
  EXPECT_FALSE(line->newBest) << "equal is no new best";
  step(Title, 0);
  step(Playing, 0);
  step(AllClear, 150);
  EXPECT_TRUE(line->newBest);
  EXPECT_EQ(line->bestNormal, 150);
  step(Title, 0);
  EXPECT_TRUE(line->newBest) << "kept until the next game begins";
  step(Playing, 0, 1);
  EXPECT_FALSE(line->newBest);
  step(GameOver, 20, 1);
  EXPECT_FALSE(line->newBest) << "the first random game has nothing to beat";
  EXPECT_EQ(line->bestRandom, 20);
  EXPECT_EQ(line->bestNormal, 150);
  StopKeeping();
  unsetenv("XDG_DATA_HOME");

  std::unique_ptr<GameStore> store = Open();
  ASSERT_TRUE(store);
  EXPECT_EQ(store->All().size(), 4u);
  EXPECT_EQ(store->Best(0, 1).at(0).score, 150);
  EXPECT_EQ(store->Best(0, 1).at(0).end, "clear");
}

TEST_F(StoreTest, WatchRefusesAGameOfOtherRulesNamingBoth) {
  std::unique_ptr<GameStore> store = Open();
  ASSERT_TRUE(store);
  KeptGame game;
  game.ended = 5;
  game.end = "over";
  const int64_t other = KeepRun(*store, SomeInputs(10), game, RulesVersion + 1);
  const int64_t ours = KeepRun(*store, SomeInputs(10), game);
  WatchedRun watched;
  std::string error;
  EXPECT_FALSE(LoadWatched(path_, std::to_string(other), watched, error));
  EXPECT_NE(error.find("rules " + std::to_string(RulesVersion + 1)), std::string::npos) << error;
  EXPECT_NE(error.find("rules " + std::to_string(RulesVersion)), std::string::npos) << error;
  EXPECT_TRUE(LoadWatched(path_, std::to_string(ours), watched, error)) << error;
  EXPECT_EQ(watched.ended, 5u);
  EXPECT_FALSE(LoadWatched(path_, "999", watched, error));

  // Record files: a header without a version is rules 1, other rules are refused.
  const std::string file = dir_ + "/run.txt";
  std::ofstream(file) << "# quillrun-record 2 rules " << RulesVersion + 1 << " seed 3\n1 2 0 0 0 0\n";
  EXPECT_FALSE(LoadWatched(path_, file, watched, error));
  EXPECT_NE(error.find("rules " + std::to_string(RulesVersion + 1)), std::string::npos) << error;
  std::ofstream(file) << "# quillrun-record seed 3\n# game begins at frame 1\n1 2 0 0 0 0\n-3 4 1 0 0 1\n";
  ASSERT_TRUE(ReadRecordFile(file, watched, error)) << error;
  EXPECT_EQ(watched.run.rules, 1);
  EXPECT_EQ(watched.run.seed, 3u);
  EXPECT_EQ(watched.began, 1u);
  EXPECT_EQ(watched.ended, 1u);
  for (const char *bad : {"1 2 0 0 0 0\n", "# quillrun-record seed 3\n1 2 0 0 0\n", "# quillrun-record seed 3\n1 2 0 0 0 7\n",
                          "# quillrun-record 3 rules 1 seed 3\n1 2 0 0 0 0\n",
                          "# quillrun-record seed 3\n# game begins at frame 9\n1 2 0 0 0 0\n"}) {
    std::ofstream(file) << bad;
    EXPECT_FALSE(ReadRecordFile(file, watched, error)) << bad;
  }
}

// --scores, --export and --watch only read: whatever the store is, its folder holds the
// same files with the same bytes after them, and what they cannot read is said truly.
TEST_F(StoreTest, TheReadingCommandsChangeNothingOnTheDisk) {
  const std::string folder = dir_ + "/quillrun";
  KeptGame ended;
  ended.ended = 5;
  ended.end = "over";
  ended.score = 321;
  std::unique_ptr<GameStore> writer;  // a program keeping games meanwhile
  const struct {
    std::function<void()> make;
    const char *said;  // a piece of what the reading says on stderr; null: it reads the game
  } cases[] = {
      {[&] { KeepRun(*Open(), SomeInputs(10), ended); }, nullptr},
      {[&] { KeepRun(*(writer = Open()), SomeInputs(10), ended); }, nullptr},
      {[&] { std::ofstream(path_) << ""; }, "no kept game 1"},
      {[&] { std::ofstream(path_) << std::string(5000, 'x'); },
       "games.sqlite is not a database: left as it is for now; when the game next starts to play (not to watch) it "
       "moves it aside, as games.sqlite.damaged-TIME, and starts a new store"},
      {[&] { Sql(path_, "CREATE TABLE notes(text)", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE); },
       "games.sqlite is not a store of kept games: left as it is"},
  };
  for (const auto &c : cases) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    c.make();
    const std::map<std::string, std::string> before = Snapshot(folder);
    FILE *out = std::tmpfile();
    testing::internal::CaptureStderr();
    const bool listed = PrintKeptScores(path_, out) == 0 && std::ftell(out) > 40;
    const bool exported = ExportKeptGame(path_, "1", dir_ + "/game.txt") == 0;
    WatchedRun watched;
    std::string error;
    const bool watching = LoadWatched(path_, "1", watched, error);
    const std::string said = testing::internal::GetCapturedStderr() + error;
    std::fclose(out);
    EXPECT_EQ(listed && exported && watching, c.said == nullptr) << said;
    EXPECT_NE(said.find(c.said ? c.said : ""), std::string::npos) << said;
    std::map<std::string, std::string> after = Snapshot(folder);
    // The -shm of a program at work is its memory, shared with whoever reads.
    if (writer) after["games.sqlite-shm"] = before.at("games.sqlite-shm");
    EXPECT_EQ(Names(after), Names(before));
    EXPECT_TRUE(after == before) << "the bytes changed";
    writer.reset();
  }
  // What was said is true: the game moves a file that is not a store aside.
  std::string error;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(GameStore::Open(path_, error)) << error;
  testing::internal::GetCapturedStderr();
  EXPECT_NE(Names(Snapshot(folder)).find("games.sqlite.damaged-"), std::string::npos);
}

// A store made read-only for a while (chmod 444) is read without side files being made
// beside it and written again once it is writable again; so is one whose side files an
// older quillrun left read-only then. A child process runs it as nobody when the test
// runs as root, which writes whatever file modes say.
TEST_F(StoreTest, AReadOnlyMomentLeavesTheStoreWritableAfterwards) {
  KeepRun(*Open(), SomeInputs(10), KeptGame{});
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0) {
      for (const fs::directory_entry &entry : fs::recursive_directory_iterator(dir_))
        if (lchown(entry.path().c_str(), 65534, 65534) != 0) _exit(10);
      if (chown(dir_.c_str(), 65534, 65534) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(11);
    }
    auto writes = [this] {
      std::string error;
      std::unique_ptr<GameStore> store = GameStore::Open(path_, error);
      return store && store->Begin(error) && store->AddRun(1, 1, 1, error) > 0 && store->Commit(error);
    };
    auto sideFiles = [this] { return fs::exists(path_ + "-wal") || fs::exists(path_ + "-shm"); };
    chmod(path_.c_str(), 0444);
    if (PrintKeptScores(path_, std::fopen("/dev/null", "w")) != 0 || sideFiles()) _exit(12);
    if (geteuid() != 0 && (writes() || sideFiles())) _exit(13);  // nothing kept, nothing made
    chmod(path_.c_str(), 0644);
    if (!writes()) _exit(14);
    // What an older quillrun's read left: SQLite gives side files the store's mode.
    chmod(path_.c_str(), 0444);
    Sql(path_, "SELECT count(*) FROM games", SQLITE_OPEN_READONLY);
    if (access((path_ + "-shm").c_str(), F_OK) != 0) _exit(15);
    chmod(path_.c_str(), 0644);
    _exit(writes() ? 0 : 16);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  // 12: --scores made side files; 13: a read-only store was written or given side
  // files; 14 and 16: the store could not be written again.
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << WEXITSTATUS(status);
}

// --export writes beside the file and renames: a failed export leaves the file that was
// there as it was, and no other file beside it.
TEST_F(StoreTest, AFailedExportLeavesTheFileThatWasThere) {
  KeptGame game;
  game.ended = 7999;  // a record of about 110 KB
  const int64_t id = KeepRun(*Open(), SomeInputs(8000), game);
  const std::string folder = dir_ + "/out", file = folder + "/game.txt";
  // The game, and the most bytes a file may have: past that writes fail as on a full disk.
  for (const auto &[game, limit] : std::vector<std::pair<int64_t, rlim_t>>{
           {id, 64 * 1024}, {999, RLIM_INFINITY}, {id, RLIM_INFINITY}}) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(file) << "mine\n";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit most{limit, limit};
      setrlimit(RLIMIT_FSIZE, &most);
      _exit(freopen("/dev/null", "w", stderr) ? ExportKeptGame(path_, std::to_string(game), file) : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const bool exported = game == id && limit == RLIM_INFINITY;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (exported ? 0 : 1)) << status;
    const std::map<std::string, std::string> files = Snapshot(folder);
    EXPECT_EQ(Names(files), "game.txt (" + std::to_string(files.at("game.txt").size()) + ") ");
    WatchedRun watched;
    std::string error;
    EXPECT_EQ(files.at("game.txt") == "mine\n", !exported);
    EXPECT_EQ(ReadRecordFile(file, watched, error), exported) << error;
  }
}

}  // namespace
