// The board's database, every case on SQLite and on PostgreSQL (a throwaway cluster of
// the test's own, made by pg_cluster.sh): the migrations, places and ties, the boards'
// order, names and recordings kept exactly, rate limits shared between connections, and
// many threads adding at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "board/db.h"
#include "board/db_internal.h"

namespace {

namespace fs = std::filesystem;

std::string MakeTempFolder(const char *prefix) {
  std::string pattern = std::string("/tmp/") + prefix + ".XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

// Runs a shell command; its output (both streams) and exit status.
int RunCommand(const std::string &command, std::string &output) {
  output.clear();
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[512];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ClusterScript() {
  const char *source = std::getenv("QR_SOURCE_DIR");
  return std::string(source ? source : ".") + "/tests/board/pg_cluster.sh";
}

}  // namespace

// The two databases, named as the tests are (a board on each).
struct Sqlite {
  static void SetUpSuite() {}
  static void TearDownSuite() {}
  static bool Ready(std::string &) { return true; }
  static bool MustRun() { return true; }
  // A file in a folder of its own, removed after the case.
  static std::string NewTarget(std::vector<std::string> &folders, std::string &error) {
    const std::string folder = MakeTempFolder("qr-db-test");
    if (folder.empty()) {
      error = "no temporary folder";
      return "";
    }
    folders.push_back(folder);
    return folder + "/board.sqlite";
  }
};

// One cluster for the suite; a new database in it for each case.
struct Postgres {
  static inline std::string folder, uri, problem;
  static inline bool skipped = false;
  static inline int databases = 0;

  static void SetUpSuite() {
    folder = MakeTempFolder("qr-pg");
    if (folder.empty()) {
      problem = "no temporary folder for the cluster";
      return;
    }
    std::string output;
    const int status = RunCommand("bash '" + ClusterScript() + "' start '" + folder + "'", output);
    while (!output.empty() && output.back() == '\n') output.pop_back();
    const std::string last = output.substr(output.rfind('\n') == std::string::npos ? 0 : output.rfind('\n') + 1);
    if (status == 0 && last.rfind("postgresql://", 0) == 0) {
      uri = last;
      return;
    }
    problem = "pg_cluster.sh start (status " + std::to_string(status) + "): " + output;
    skipped = status == 77;
    // The folder is ours: whatever the script left of it goes.
    fs::remove_all(folder);
    folder.clear();
  }
  static void TearDownSuite() {
    if (folder.empty() || uri.empty()) return;
    std::string output;
    const int status = RunCommand("bash '" + ClusterScript() + "' stop '" + folder + "'", output);
    if (status != 0) std::fprintf(stderr, "pg_cluster.sh stop: %s\n", output.c_str());
    uri.clear();
  }
  static bool Ready(std::string &why) {
    why = problem;
    return !uri.empty();
  }
  // Without PostgreSQL here its cases are skipped, unless the environment asks for them.
  static bool MustRun() {
    const char *required = std::getenv("QR_REQUIRE_POSTGRES");
    return !skipped || (required && std::string(required) == "1");
  }
  static std::string NewTarget(std::vector<std::string> &, std::string &error) {
    std::unique_ptr<board_db::Connection> admin = board_db::OpenConnection(uri, false, error);
    const std::string name = "case_" + std::to_string(++databases);
    if (!admin || !admin->Exec(("CREATE DATABASE " + name).c_str(), error)) return "";
    std::string target = uri;
    target.replace(target.find("///board?"), 9, "///" + name + "?");
    return target;
  }
};

namespace {

template <class Backend>
class DbTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Backend::SetUpSuite(); }
  static void TearDownTestSuite() { Backend::TearDownSuite(); }

  void SetUp() override {
    std::string why;
    if (!Backend::Ready(why)) {
      if (Backend::MustRun()) FAIL() << why;
      GTEST_SKIP() << why;
    }
    target_ = NewTarget();
  }
  void TearDown() override {
    for (const std::string &folder : folders_) fs::remove_all(folder);
  }

  std::string NewTarget() {
    std::string error;
    const std::string target = Backend::NewTarget(folders_, error);
    EXPECT_FALSE(target.empty()) << error;
    return target;
  }

  static std::unique_ptr<BoardDb> Open(const std::string &target) {
    std::string error;
    std::unique_ptr<BoardDb> db = BoardDb::Open(target, error);
    EXPECT_TRUE(db) << error;
    return db;
  }

  // The versions recorded in the database itself.
  static std::vector<int64_t> Recorded(const std::string &target) {
    std::string error;
    std::vector<board_db::Row> rows;
    std::unique_ptr<board_db::Connection> raw = board_db::OpenConnection(target, false, error);
    EXPECT_TRUE(raw && raw->Query("SELECT version FROM schema_migrations ORDER BY version", {}, rows, error))
        << error;
    std::vector<int64_t> versions;
    for (const board_db::Row &row : rows) versions.push_back(row.at(0).number);
    return versions;
  }

  std::string target_;
  std::vector<std::string> folders_;
};

using Backends = ::testing::Types<Sqlite, Postgres>;
TYPED_TEST_SUITE(DbTest, Backends);

BoardGame Game(int mode, int rules, int score, const std::string &name = "ann") {
  BoardGame game;
  game.name = name;
  game.mode = mode;
  game.rules = rules;
  game.end = score % 2 ? "clear" : "over";
  game.score = score;
  game.shield = score % 7;
  game.began = 1000 + score;
  game.frames = 3600 + score;
  game.submitted = 1700000000 + score;
  return game;
}

// Adds a game; its place (0 on failure, or when it is a copy of the game *copyOf).
int64_t Add(BoardDb &db, BoardGame &game, const std::string &record = "# a recording\n",
            int64_t *copyOf = nullptr) {
  int64_t place = 0, copy = 0;
  std::string error;
  EXPECT_TRUE(db.AddGame(game, record, &place, &copy, error)) << error;
  if (copyOf) *copyOf = copy;
  return place;
}

std::vector<BoardGame> TopOf(BoardDb &db, int mode, int rules, int limit) {
  std::vector<BoardGame> games;
  std::string error;
  EXPECT_TRUE(db.Top(mode, rules, limit, games, error)) << error;
  return games;
}

int64_t CountOf(BoardDb &db) {
  int64_t count = -1;
  std::string error;
  EXPECT_TRUE(db.Count(&count, error)) << error;
  return count;
}

TYPED_TEST(DbTest, MigrationsRunOnceAndAreRecorded) {
  const std::vector<board_db::Migration> &migrations = board_db::Migrations();
  std::vector<int64_t> expected;
  for (const board_db::Migration &migration : migrations) expected.push_back(migration.version);
  ASSERT_TRUE(std::is_sorted(expected.begin(), expected.end()));
  ASSERT_EQ(std::adjacent_find(expected.begin(), expected.end()), expected.end());

  {
    std::unique_ptr<BoardDb> db = this->Open(this->target_);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->SchemaVersion(), expected.back());
    BoardGame game = Game(0, 1, 10);
    Add(*db, game);
  }
  EXPECT_EQ(this->Recorded(this->target_), expected);
  // Opened again: nothing runs twice, and what was kept is still there.
  std::unique_ptr<BoardDb> again = this->Open(this->target_);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->SchemaVersion(), expected.back());
  EXPECT_EQ(CountOf(*again), 1);
  EXPECT_EQ(this->Recorded(this->target_), expected);

  // Several processes starting at once on a new database: one runs each migration (a
  // second run of the first would find its tables there and fail).
  const std::string fresh = this->NewTarget();
  std::vector<std::unique_ptr<BoardDb>> opened(6);
  std::vector<std::string> errors(opened.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < opened.size(); ++i)
    threads.emplace_back([&, i] { opened[i] = BoardDb::Open(fresh, errors[i]); });
  for (std::thread &thread : threads) thread.join();
  for (size_t i = 0; i < opened.size(); ++i) {
    ASSERT_TRUE(opened[i]) << errors[i];
    EXPECT_EQ(opened[i]->SchemaVersion(), expected.back());
  }
  EXPECT_EQ(this->Recorded(fresh), expected);

  // A database a later board has moved on is left alone.
  std::string error;
  std::vector<board_db::Row> rows;
  std::unique_ptr<board_db::Connection> raw = board_db::OpenConnection(fresh, false, error);
  ASSERT_TRUE(raw && raw->Query("INSERT INTO schema_migrations(version, applied) VALUES($1, 0)",
                                {board_db::Value::Of(expected.back() + 1)}, rows, error))
      << error;
  EXPECT_FALSE(BoardDb::Open(fresh, error));
  EXPECT_NE(error.find("later board"), std::string::npos) << error;
}

TYPED_TEST(DbTest, PlacesCountHigherScoresAndEarlierTies) {
  std::unique_ptr<BoardDb> db = this->Open(this->target_);
  ASSERT_TRUE(db);
  const int scores[] = {100, 200, 100, 50, 200, 100};
  const int64_t places[] = {1, 1, 3, 4, 2, 5};
  std::vector<int64_t> ids;
  for (size_t i = 0; i < std::size(scores); ++i) {
    BoardGame game = Game(0, 3, scores[i]);
    EXPECT_EQ(Add(*db, game), places[i]) << "game " << i << " scoring " << scores[i];
    EXPECT_TRUE(ids.empty() || game.id > ids.back());
    ids.push_back(game.id);
  }
  // Other boards (the other mode, other rules) count on their own.
  BoardGame random = Game(1, 3, 10);
  EXPECT_EQ(Add(*db, random), 1);
  BoardGame otherRules = Game(0, 4, 10);
  EXPECT_EQ(Add(*db, otherRules), 1);
  BoardGame last = Game(0, 3, 10);
  EXPECT_EQ(Add(*db, last), 7);
}

TYPED_TEST(DbTest, TopIsBestFirstEarlierFirstPerBoard) {
  std::unique_ptr<BoardDb> db = this->Open(this->target_);
  ASSERT_TRUE(db);
  std::mt19937 random(7);
  std::map<std::pair<int, int>, std::vector<BoardGame>> boards;
  for (int i = 0; i < 60; ++i) {
    BoardGame game = Game(i % 2, 1 + (i / 2) % 2, static_cast<int>(random() % 8) * 100, "p" + std::to_string(i));
    Add(*db, game);
    boards[{game.mode, game.rules}].push_back(game);
  }
  for (auto &[board, games] : boards) {
    std::stable_sort(games.begin(), games.end(), [](const BoardGame &a, const BoardGame &b) {
      return a.score != b.score ? a.score > b.score : a.id < b.id;
    });
    for (const int limit : {100, 15, 3, 1}) {
      const std::vector<BoardGame> top = TopOf(*db, board.first, board.second, limit);
      ASSERT_EQ(top.size(), std::min<size_t>(limit, games.size()));
      for (size_t i = 0; i < top.size(); ++i) {
        const BoardGame &want = games[i];
        EXPECT_EQ(top[i].id, want.id);
        EXPECT_EQ(top[i].name, want.name);
        EXPECT_EQ(top[i].mode, want.mode);
        EXPECT_EQ(top[i].rules, want.rules);
        EXPECT_EQ(top[i].end, want.end);
        EXPECT_EQ(top[i].score, want.score);
        EXPECT_EQ(top[i].shield, want.shield);
        EXPECT_EQ(top[i].began, want.began);
        EXPECT_EQ(top[i].frames, want.frames);
        EXPECT_EQ(top[i].submitted, want.submitted);
      }
    }
  }
  EXPECT_TRUE(TopOf(*db, 0, 1, 0).empty());
  EXPECT_TRUE(TopOf(*db, 0, 9, 10).empty());
  EXPECT_EQ(CountOf(*db), 60);
}

TYPED_TEST(DbTest, HostileNamesAreKeptExactly) {
  std::unique_ptr<BoardDb> db = this->Open(this->target_);
  ASSERT_TRUE(db);
  const std::vector<std::string> names = {
      "'); DROP TABLE games; --",
      "Robert'); DELETE FROM games WHERE ('1'='1",
      "\"double\" 'single' `back` \\slash\\",
      "$1 ?1 :name @name %s %n",
      "semi;colon;\n\tnew line",
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\xA6\x94 \xC3\xA9",  // CJK, a hedgehog, an accent
      std::string(2000, 'x'),
      "",
  };
  std::vector<int64_t> ids;
  for (const std::string &name : names) {
    BoardGame game = Game(0, 1, 10, name);
    Add(*db, game);
    ids.push_back(game.id);
  }
  for (size_t i = 0; i < names.size(); ++i) {
    BoardGame got;
    bool found = false;
    std::string error;
    ASSERT_TRUE(db->Game(ids[i], got, nullptr, &found, error)) << error;
    ASSERT_TRUE(found);
    EXPECT_EQ(got.name, names[i]);
  }
  EXPECT_EQ(TopOf(*db, 0, 1, 100).size(), names.size());

  // What neither database could keep the same way is refused, and nothing is kept.
  for (const std::string &name : {std::string("nul\0inside", 10), std::string("bad \xC3\x28 byte"),
                                  std::string("overlong \xC0\xAF"), std::string("surrogate \xED\xA0\x80")}) {
    BoardGame game = Game(0, 1, 10, name);
    int64_t place = 0, copyOf = 0;
    std::string error;
    EXPECT_FALSE(db->AddGame(game, "r", &place, &copyOf, error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(CountOf(*db), static_cast<int64_t>(names.size()));
}

TYPED_TEST(DbTest, RecordingsRoundTripByteForByte) {
  std::unique_ptr<BoardDb> db = this->Open(this->target_);
  ASSERT_TRUE(db);
  std::string record(3 << 20, '\0');
  std::mt19937 random(11);
  for (char &c : record) c = static_cast<char>(random());
  record.replace(0, 40, "# every byte value, NUL among them\n\0\r\n\xFF", 40);
  BoardGame big = Game(1, 2, 500);
  Add(*db, big, record);
  BoardGame empty = Game(1, 2, 400);
  Add(*db, empty, "");

  BoardGame got;
  std::string back = "stale";
  bool found = false;
  std::string error;
  ASSERT_TRUE(db->Game(big.id, got, &back, &found, error)) << error;
  ASSERT_TRUE(found);
  EXPECT_EQ(got.id, big.id);
  EXPECT_EQ(got.score, 500);
  EXPECT_EQ(back.size(), record.size());
  EXPECT_TRUE(back == record);
  ASSERT_TRUE(db->Game(empty.id, got, &back, &found, error)) << error;
  EXPECT_TRUE(found);
  EXPECT_EQ(back, "");
  ASSERT_TRUE(db->Game(big.id, got, nullptr, &found, error)) << error;
  EXPECT_TRUE(found);
  ASSERT_TRUE(db->Game(big.id + 1000, got, &back, &found, error)) << error;
  EXPECT_FALSE(found);
}

TYPED_TEST(DbTest, RateLimitsHoldAcrossConnectionsAndReset) {
  std::unique_ptr<BoardDb> first = this->Open(this->target_), second = this->Open(this->target_);
  ASSERT_TRUE(first && second);
  std::string error;
  auto take = [&](BoardDb &db, const std::string &address, int64_t now, int limit = 3, int window = 60) {
    bool allowed = false;
    EXPECT_TRUE(db.TakeSubmission(address, now, limit, window, &allowed, error)) << error;
    return allowed;
  };
  const int64_t start = 60 * 1000;
  EXPECT_TRUE(take(*first, "10.0.0.1", start + 1));
  EXPECT_TRUE(take(*second, "10.0.0.1", start + 2));
  EXPECT_TRUE(take(*first, "10.0.0.1", start + 30));
  EXPECT_FALSE(take(*second, "10.0.0.1", start + 31));
  EXPECT_FALSE(take(*first, "10.0.0.1", start + 59));
  // Another address, and another length of window, count on their own.
  EXPECT_TRUE(take(*second, "10.0.0.2", start + 59));
  EXPECT_TRUE(take(*second, "10.0.0.1", start + 59, 3, 3600));
  // The next window starts again.
  EXPECT_TRUE(take(*second, "10.0.0.1", start + 60));
  EXPECT_TRUE(take(*first, "10.0.0.1", start + 61));
  EXPECT_TRUE(take(*first, "10.0.0.1", start + 62));
  EXPECT_FALSE(take(*second, "10.0.0.1", start + 63));
  EXPECT_FALSE(take(*first, "", start, 0));

  // Many submissions from two connections, with the old windows cleared out among them:
  // exactly the limit gets through.
  int allowed = 0;
  for (int i = 0; i < 150; ++i) allowed += take(i % 2 ? *first : *second, "10.0.0.3", start + 120, 100) ? 1 : 0;
  EXPECT_EQ(allowed, 100);

  bool answer = true;
  EXPECT_FALSE(first->TakeSubmission("x", start, 3, 0, &answer, error));
}

TYPED_TEST(DbTest, ManyThreadsAddingLoseNothing) {
  std::unique_ptr<BoardDb> db = this->Open(this->target_);
  ASSERT_TRUE(db);
  struct Added {
    int64_t id, place;
    int mode, score;
  };
  constexpr int Threads = 8, Each = 25;
  std::vector<std::vector<Added>> added(Threads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t));
      for (int i = 0; i < Each; ++i) {
        BoardGame game = Game(i % 2, 1, static_cast<int>(random() % 10) * 10, "t" + std::to_string(t));
        game.fingerprints = {"t" + std::to_string(t) + "." + std::to_string(i)};
        int64_t place = 0, copyOf = 0;
        std::string error;
        if (!db->AddGame(game, "# thread " + std::to_string(t), &place, &copyOf, error) || copyOf) {
          ++failures;
          continue;
        }
        added[t].push_back({game.id, place, game.mode, game.score});
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(CountOf(*db), Threads * Each);

  std::vector<Added> all;
  for (const std::vector<Added> &some : added) all.insert(all.end(), some.begin(), some.end());
  std::sort(all.begin(), all.end(), [](const Added &a, const Added &b) { return a.id < b.id; });
  ASSERT_EQ(all.size(), static_cast<size_t>(Threads * Each));
  for (size_t i = 1; i < all.size(); ++i) ASSERT_NE(all[i].id, all[i - 1].id);
  // Each game's place counts exactly the games of its board kept before it that scored
  // as much or more: none missed, none counted twice.
  for (size_t i = 0; i < all.size(); ++i) {
    int64_t above = 0;
    for (size_t j = 0; j < i; ++j) above += all[j].mode == all[i].mode && all[j].score >= all[i].score ? 1 : 0;
    EXPECT_EQ(all[i].place, above + 1) << "game " << all[i].id;
  }
  for (const int mode : {0, 1}) {
    std::vector<Added> board;
    for (const Added &game : all)
      if (game.mode == mode) board.push_back(game);
    std::stable_sort(board.begin(), board.end(), [](const Added &a, const Added &b) { return a.score > b.score; });
    const std::vector<BoardGame> top = TopOf(*db, mode, 1, 1000);
    ASSERT_EQ(top.size(), board.size());
    for (size_t i = 0; i < top.size(); ++i) EXPECT_EQ(top[i].id, board[i].id);
  }
}

TYPED_TEST(DbTest, AGameIsKeptOnceWhicheverProcessTakesIt) {
  std::unique_ptr<BoardDb> one = this->Open(this->target_), two = this->Open(this->target_);
  ASSERT_TRUE(one && two);
  BoardGame kept = Game(0, 1, 300);
  kept.fingerprints = {"whole-a", "opening-a"};
  ASSERT_EQ(Add(*one, kept), 1);
  struct Case {
    std::vector<std::string> fingerprints;
    bool copy;
  } cases[] = {
      {{"whole-a"}, true}, {{"whole-b", "opening-a"}, true}, {{"whole-b"}, false}, {{"opening-a"}, true}, {{}, false},
  };
  for (const Case &c : cases) {
    BoardGame game = Game(0, 1, 900);
    game.fingerprints = c.fingerprints;
    int64_t copyOf = -1;
    const int64_t place = Add(*two, game, "# r\n", &copyOf);
    EXPECT_EQ(copyOf, c.copy ? kept.id : 0) << c.fingerprints.size();
    EXPECT_EQ(place == 0, c.copy);
  }
  EXPECT_EQ(CountOf(*one), 3);   // the copies left nothing behind

  // Two processes taking one game at the same moment, again and again: one keeps it.
  for (int round = 0; round < 10; ++round) {
    std::vector<int64_t> copyOf(8, -1), ids(8, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < copyOf.size(); ++t)
      threads.emplace_back([&, t] {
        BoardGame game = Game(1, 1, 50);
        game.fingerprints = {"race " + std::to_string(round)};
        Add(t % 2 ? *one : *two, game, "# r\n", &copyOf[t]);
        ids[t] = game.id;
      });
    for (std::thread &thread : threads) thread.join();
    const int64_t winner = *std::max_element(ids.begin(), ids.end());
    EXPECT_EQ(std::count(copyOf.begin(), copyOf.end(), 0), 1) << round;
    EXPECT_EQ(std::count(copyOf.begin(), copyOf.end(), winner), 7) << round;
  }
  EXPECT_EQ(CountOf(*one), 13);

  // Games kept without fingerprints are found, and given them; a key another game has
  // stays that game's.
  BoardGame bare = Game(1, 1, 7);
  Add(*one, bare);
  std::vector<int64_t> left;
  std::string error;
  ASSERT_TRUE(one->Unfingerprinted(0, 100, left, error)) << error;
  ASSERT_EQ(left.size(), 2u);   // the table's game without any, and this one
  EXPECT_EQ(left[1], bare.id);
  const int64_t given = left[0];
  ASSERT_TRUE(two->AddFingerprints(given, {"whole-late"}, error)) << error;
  ASSERT_TRUE(two->AddFingerprints(bare.id, {"whole-a"}, error)) << error;
  ASSERT_TRUE(one->Unfingerprinted(0, 100, left, error)) << error;
  EXPECT_EQ(left, std::vector<int64_t>{bare.id});
  BoardGame late = Game(0, 1, 5);
  late.fingerprints = {"whole-late"};
  int64_t copyOf = 0;
  Add(*one, late, "# r\n", &copyOf);
  EXPECT_EQ(copyOf, given);
}

class SqliteDb : public DbTest<Sqlite> {};

TEST_F(SqliteDb, MissingFoldersAreMade) {
  const std::string path = fs::path(target_).parent_path() / "not" / "yet" / "there" / "board.sqlite";
  std::unique_ptr<BoardDb> db = Open(path);
  ASSERT_TRUE(db);
  EXPECT_TRUE(fs::is_regular_file(path));
  EXPECT_EQ(CountOf(*db), 0);
}

TEST_F(SqliteDb, ABackupTakenWhileGamesAreAddedIsWhole) {
  std::unique_ptr<BoardDb> db = Open(target_);
  ASSERT_TRUE(db);
  std::atomic<bool> done{false};
  std::thread adding([&] {
    for (int i = 0; !done; ++i) {
      BoardGame game = Game(i % 2, 1, i);
      Add(*db, game, "# recording " + std::to_string(i));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string copy = fs::path(target_).parent_path() / "copy.sqlite";
  std::string error;
  const bool copied = BackupBoard(target_, copy, error);
  done = true;
  adding.join();
  ASSERT_TRUE(copied) << error;
  EXPECT_FALSE(fs::exists(copy + ".part"));
  // A database of its own, whole: every game it holds has its recording.
  std::unique_ptr<board_db::Connection> raw = board_db::OpenConnection(copy, false, error);
  std::vector<board_db::Row> rows;
  ASSERT_TRUE(raw && raw->Query("PRAGMA integrity_check", {}, rows, error)) << error;
  EXPECT_EQ(rows.at(0).at(0).bytes, "ok");
  ASSERT_TRUE(raw->Query("SELECT count(*), (SELECT count(*) FROM recordings) FROM games", {}, rows, error)) << error;
  EXPECT_GT(rows.at(0).at(0).number, 0);
  EXPECT_EQ(rows.at(0).at(0).number, rows.at(0).at(1).number);
  EXPECT_LE(rows.at(0).at(0).number, CountOf(*db));
  // Only a board's database is copied, and PostgreSQL's with its own tools.
  for (const std::string &source :
       {std::string(fs::path(target_).parent_path() / "none.sqlite"), std::string("postgresql:///board")}) {
    EXPECT_FALSE(BackupBoard(source, copy + "2", error)) << source;
    EXPECT_FALSE(fs::exists(copy + "2")) << source;
  }
  EXPECT_NE(error.find("pg_dump"), std::string::npos) << error;
}

TEST_F(SqliteDb, WhatIsNotABoardIsRefusedAndLeftAlone) {
  const std::string text = std::string(4096, 'q') + "\nnot a database at all\n";
  std::ofstream(target_, std::ios::binary) << text;
  std::string error;
  EXPECT_FALSE(BoardDb::Open(target_, error));
  EXPECT_NE(error.find("not a database"), std::string::npos) << error;
  std::ifstream in(target_, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);

  // Another program's SQLite file: no tables of ours added to it.
  const std::string other = fs::path(target_).parent_path() / "other.sqlite";
  std::unique_ptr<board_db::Connection> raw = board_db::OpenConnection(other, true, error);
  ASSERT_TRUE(raw && raw->Exec("CREATE TABLE notes(text TEXT)", error)) << error;
  raw.reset();
  EXPECT_FALSE(BoardDb::Open(other, error));
  EXPECT_NE(error.find("other program"), std::string::npos) << error;
  EXPECT_FALSE(BoardDb::Open("", error));
}

class PostgresDb : public DbTest<Postgres> {};

TEST_F(PostgresDb, ConnectionsEndedByTheServerAreMadeAgain) {
  std::unique_ptr<BoardDb> db = Open(target_);
  ASSERT_TRUE(db);
  BoardGame game = Game(0, 1, 10);
  EXPECT_EQ(Add(*db, game), 1);
  std::string error;
  std::vector<board_db::Row> rows;
  std::unique_ptr<board_db::Connection> admin = board_db::OpenConnection(target_, false, error);
  ASSERT_TRUE(admin && admin->Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                    " WHERE datname = current_database() AND pid <> pg_backend_pid()",
                                    {}, rows, error))
      << error;
  ASSERT_EQ(rows.size(), 1u);  // the board's one connection
  EXPECT_EQ(CountOf(*db), 1);
  ASSERT_TRUE(admin->Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                           " WHERE datname = current_database() AND pid <> pg_backend_pid()",
                           {}, rows, error))
      << error;
  BoardGame next = Game(0, 1, 20);
  EXPECT_EQ(Add(*db, next), 1);
  EXPECT_EQ(CountOf(*db), 2);
}

TEST(PostgresDbUnreachable, SaysWhy) {
  std::string error;
  EXPECT_FALSE(BoardDb::Open("postgresql:///board?host=/nonexistent/folder&connect_timeout=2", error));
  EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;
}

}  // namespace
