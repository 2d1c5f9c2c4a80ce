// The board's database over either SQLite or PostgreSQL: the schema's migrations, the
// games and the rate limits, each operation one transaction on a pooled connection
// (see db.h). What differs between the two databases is in db_sqlite.cpp and
// db_postgres.cpp; the statements here are written once for both.
#include "board/db.h"

#include <atomic>
#include <ctime>
#include <exception>
#include <utility>

#include "board/db_internal.h"

namespace board_db {

bool IsPostgres(const std::string &target) {
  return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Connection> OpenConnection(const std::string &target, bool create, std::string &error) {
  return IsPostgres(target) ? OpenPostgres(target, error) : OpenSqlite(target, create, error);
}

Pool::Lease &Pool::Lease::operator=(Lease &&other) noexcept {
  if (this != &other) {
    GiveBack();
    pool_ = other.pool_;
    connection_ = std::move(other.connection_);
    other.pool_ = nullptr;
  }
  return *this;
}

void Pool::Lease::GiveBack() {
  if (pool_ && connection_) pool_->GiveBack(std::move(connection_));
  pool_ = nullptr;
}

// First come, first served: a connection given back goes straight to the thread that
// has waited longest, so a thread that gives one back and asks again at once (the next
// request on the same HTTP connection) cannot overtake the threads already waiting,
// whose waits would otherwise grow to hundreds of milliseconds under load. A handed
// over slot with no connection in it (one found broken) is the waiter's to open.
bool Pool::Take(Lease &lease, std::string &error) {
  std::unique_ptr<Connection> connection;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (waiters_.empty() && !idle_.empty()) {
      connection = std::move(idle_.back());
      idle_.pop_back();
      ++inUse_;
    } else if (waiters_.empty() && inUse_ < most_) {
      ++inUse_;
    } else {
      Waiter waiter;
      waiters_.push_back(&waiter);
      waiter.handed.wait(lock, [&waiter] { return waiter.ready; });
      connection = std::move(waiter.connection);
    }
  }
  if (!connection) {
    try {
      connection = open_(error);
    } catch (const std::exception &e) {
      error = e.what();
    }
    if (!connection) {
      Release(nullptr);
      return false;
    }
  }
  lease = Lease(this, std::move(connection));
  return true;
}

void Pool::Add(std::unique_ptr<Connection> connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++inUse_;
  HandOver(std::move(connection));
}

void Pool::GiveBack(std::unique_ptr<Connection> connection) {
  // Whatever a failure left open is ended here, outside the pool's lock.
  connection->Rollback();
  if (!connection->Healthy()) connection.reset();
  Release(std::move(connection));
}

void Pool::Release(std::unique_ptr<Connection> connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  HandOver(std::move(connection));
}

void Pool::HandOver(std::unique_ptr<Connection> connection) {
  if (!waiters_.empty()) {
    // The slot passes to the first waiter as it is, connection or not.
    Waiter *waiter = waiters_.front();
    waiters_.pop_front();
    waiter->connection = std::move(connection);
    waiter->ready = true;
    waiter->handed.notify_one();
    return;
  }
  --inUse_;
  if (connection) idle_.push_back(std::move(connection));
}

// The schema, in the order it grew. The two columns of a row say the same in each
// database's words: identities, 64-bit integers and raw bytes are spelled differently.
// "end" is quoted: a reserved word in PostgreSQL.
const std::vector<Migration> &Migrations() {
  static const std::vector<Migration> migrations = {
      {1,
       "CREATE TABLE games("
       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
       " name TEXT NOT NULL,"
       " mode INTEGER NOT NULL CHECK (mode IN (0, 1)),"
       " rules INTEGER NOT NULL,"
       " \"end\" TEXT NOT NULL CHECK (\"end\" IN ('over', 'clear')),"
       " score INTEGER NOT NULL,"
       " shield INTEGER NOT NULL,"
       " began INTEGER NOT NULL,"
       " frames INTEGER NOT NULL,"
       " submitted INTEGER NOT NULL);"
       "CREATE INDEX games_by_board ON games(rules, mode, score DESC, id);"
       "CREATE TABLE recordings("
       " game INTEGER PRIMARY KEY REFERENCES games(id),"
       " content BLOB NOT NULL);",
       "CREATE TABLE games("
       " id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
       " name TEXT NOT NULL,"
       " mode INTEGER NOT NULL CHECK (mode IN (0, 1)),"
       " rules INTEGER NOT NULL,"
       " \"end\" TEXT NOT NULL CHECK (\"end\" IN ('over', 'clear')),"
       " score INTEGER NOT NULL,"
       " shield INTEGER NOT NULL,"
       " began BIGINT NOT NULL,"
       " frames BIGINT NOT NULL,"
       " submitted BIGINT NOT NULL);"
       "CREATE INDEX games_by_board ON games(rules, mode, score DESC, id);"
       "CREATE TABLE recordings("
       " game BIGINT PRIMARY KEY REFERENCES games(id),"
       " content BYTEA NOT NULL);"},
      // Submissions counted per address, per length of window and per window.
      {2,
       "CREATE TABLE rate_limits("
       " address TEXT NOT NULL,"
       " span INTEGER NOT NULL,"
       " window_start INTEGER NOT NULL,"
       " taken INTEGER NOT NULL,"
       " PRIMARY KEY (address, span, window_start));",
       "CREATE TABLE rate_limits("
       " address TEXT NOT NULL,"
       " span INTEGER NOT NULL,"
       " window_start BIGINT NOT NULL,"
       " taken INTEGER NOT NULL,"
       " PRIMARY KEY (address, span, window_start));"},
      // A game is kept once: its fingerprints, each a unique key naming the game. Games
      // kept before this have none.
      {3,
       "CREATE TABLE fingerprints("
       " fingerprint BLOB PRIMARY KEY,"
       " game INTEGER NOT NULL REFERENCES games(id));"
       "CREATE INDEX fingerprints_by_game ON fingerprints(game);",
       "CREATE TABLE fingerprints("
       " fingerprint BYTEA PRIMARY KEY,"
       " game BIGINT NOT NULL REFERENCES games(id));"
       "CREATE INDEX fingerprints_by_game ON fingerprints(game);"},
  };
  return migrations;
}

bool ValidName(const std::string &name) {
  const auto *at = reinterpret_cast<const unsigned char *>(name.data());
  const unsigned char *const end = at + name.size();
  while (at < end) {
    const unsigned char lead = *at++;
    if (lead == 0) return false;
    if (lead < 0x80) continue;
    int more;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (end - at < more) return false;
    for (int i = 0; i < more; ++i, ++at) {
      if ((*at & 0xC0) != 0x80) return false;
      code = (code << 6) | (*at & 0x3F);
    }
    // Overlong forms, UTF-16's surrogates and past U+10FFFF.
    if ((more == 2 && code < 0x800) || (more == 3 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
  }
  return true;
}

int64_t WindowStart(int64_t now, int seconds) {
  int64_t window = now / seconds;
  if (now % seconds != 0 && now < 0) --window;
  return window * seconds;
}

namespace {

// Keys of PostgreSQL's advisory locks: one for the migrations, one for each board ('QRBM'
// and 'QRBD' in the high half).
constexpr int64_t MigrationLock = int64_t{0x5152424D} << 32;
int64_t BoardLock(int mode, int rules) {
  return (int64_t{0x51524244} << 32) | ((static_cast<uint32_t>(rules) << 1) ^ static_cast<uint32_t>(mode));
}

// How an operation uses its connection: one statement alone, or a transaction that writes.
enum class Use { Statement, Write };

// Runs `body` on `connection`, in a transaction unless `use` is Statement, again when
// the database was busy or the connection had broken before anything was kept.
template <class Body>
bool RunOn(Connection &connection, Use use, Body &&body, std::string &error) {
  for (int attempt = 0;; ++attempt) {
    if (use == Use::Statement) {
      if (body(connection, error)) return true;
    } else if (connection.Begin(error) && body(connection, error) && connection.Commit(error)) {
      return true;
    }
    connection.Rollback();
    if (!connection.Retry(attempt)) return false;
  }
}

const char *const GameColumns = "id, name, mode, rules, \"end\", score, shield, began, frames, submitted";

bool ReadGame(const Row &row, BoardGame &game, std::string &error) {
  if (row.size() < 10) {
    error = "a game's row is short";
    return false;
  }
  for (const int column : {0, 2, 3, 5, 6, 7, 8, 9}) {
    if (row[column].kind != Value::Int) {
      error = "a game's row holds a number of the wrong kind";
      return false;
    }
  }
  game.id = row[0].number;
  game.name = row[1].bytes;
  game.mode = static_cast<int>(row[2].number);
  game.rules = static_cast<int>(row[3].number);
  game.end = row[4].bytes;
  game.score = static_cast<int>(row[5].number);
  game.shield = static_cast<int>(row[6].number);
  game.began = row[7].number;
  game.frames = row[8].number;
  game.submitted = row[9].number;
  return true;
}

// A single number from a query of one row and one column (null as 0).
bool OneNumber(const std::vector<Row> &rows, int64_t *number, std::string &error) {
  if (rows.size() != 1 || rows[0].size() != 1 || (rows[0][0].kind != Value::Int && rows[0][0].kind != Value::Null)) {
    error = "an unexpected answer from the database";
    return false;
  }
  *number = rows[0][0].number;
  return true;
}

// Nothing is thrown out of the board's database: a failure of memory is one more reason.
template <class Work>
bool Guard(std::string &error, Work &&work) {
  try {
    return work();
  } catch (const std::exception &e) {
    error = std::string("unexpected failure: ") + e.what();
    return false;
  }
}

// The migrations not yet run, each in a transaction of its own under the migrations'
// lock (SQLite's write lock; an advisory lock in PostgreSQL), so that of several
// processes starting together one runs each and the others find it done.
bool Migrate(Connection &connection, bool postgres, const std::string &target, std::string &error) {
  const int known = Migrations().back().version;
  for (const Migration &migration : Migrations()) {
    const bool ok = RunOn(
        connection, Use::Write,
        [&](Connection &c, std::string &why) {
          if (!c.Lock(MigrationLock, why)) return false;
          std::vector<Row> rows;
          if (!postgres) {
            // A SQLite file with tables but not our record of migrations is some other
            // program's: nothing is added to it.
            int64_t others = 0, ours = 0;
            if (!c.Query("SELECT count(*) FROM sqlite_master WHERE name NOT LIKE 'sqlite%'", {}, rows, why) ||
                !OneNumber(rows, &others, why) ||
                !c.Query("SELECT count(*) FROM sqlite_master WHERE name = 'schema_migrations'", {}, rows, why) ||
                !OneNumber(rows, &ours, why))
              return false;
            if (others > 0 && ours == 0) {
              why = target + " is some other program's database, not a board's";
              return false;
            }
          }
          int64_t done = 0;
          if (!c.Exec("CREATE TABLE IF NOT EXISTS schema_migrations("
                      " version INTEGER PRIMARY KEY, applied BIGINT NOT NULL)",
                      why) ||
              !c.Query("SELECT max(version) FROM schema_migrations", {}, rows, why) || !OneNumber(rows, &done, why))
            return false;
          if (done > known) {
            why = "the database has schema version " + std::to_string(done) + ", made by a later board (this one knows " +
                  std::to_string(known) + ")";
            return false;
          }
          if (done >= migration.version) return true;
          if (!c.Exec(postgres ? migration.postgres : migration.sqlite, why)) {
            why = "migration " + std::to_string(migration.version) + " failed: " + why;
            return false;
          }
          return c.Query("INSERT INTO schema_migrations(version, applied) VALUES($1, $2)",
                         {Value::Of(migration.version), Value::Of(static_cast<int64_t>(time(nullptr)))}, rows, why);
        },
        error);
    if (!ok) return false;
  }
  return true;
}

class SqlBoardDb : public BoardDb {
 public:
  explicit SqlBoardDb(const std::string &target)
      : pool_([target](std::string &error) { return OpenConnection(target, false, error); }, 8) {}

  void AddConnection(std::unique_ptr<Connection> connection) { pool_.Add(std::move(connection)); }

  int SchemaVersion() override {
    int64_t version = -1;
    std::string error;
    const bool ok = Guard(error, [&] {
      return Run(Use::Statement, [&](Connection &c, std::string &why) {
        std::vector<Row> rows;
        return c.Query("SELECT max(version) FROM schema_migrations", {}, rows, why) && OneNumber(rows, &version, why);
      }, error);
    });
    return ok ? static_cast<int>(version) : -1;
  }

  bool TakeSubmission(const std::string &address, int64_t now, int limit, int windowSeconds, bool *allowed,
                      std::string &error) override {
    return Guard(error, [&] {
      if (!allowed || windowSeconds <= 0) {
        error = "cannot count a submission in a window of " + std::to_string(windowSeconds) + " seconds";
        return false;
      }
      if (!ValidName(address)) {
        error = "the address is not UTF-8 text";
        return false;
      }
      if (limit <= 0) {
        *allowed = false;
        return true;
      }
      const int64_t start = WindowStart(now, windowSeconds);
      // Now and then the windows that have ended go.
      const bool clean = takes_.fetch_add(1) % 64 == 0;
      bool taken = false;
      const bool ok = Run(Use::Write, [&](Connection &c, std::string &why) {
        std::vector<Row> rows;
        // One row per address and window: counted up only while below the limit, so
        // a row comes back only when this submission was counted.
        if (!c.Query("INSERT INTO rate_limits(address, span, window_start, taken) VALUES($1, $2, $3, 1)"
                     " ON CONFLICT (address, span, window_start) DO UPDATE SET taken = rate_limits.taken + 1"
                     " WHERE rate_limits.taken < $4 RETURNING taken",
                     {Value::OfText(address), Value::Of(windowSeconds), Value::Of(start), Value::Of(limit)}, rows, why))
          return false;
        taken = !rows.empty();
        std::vector<Row> none;
        return !clean || c.Query("DELETE FROM rate_limits WHERE window_start + span <= $1", {Value::Of(now)}, none, why);
      }, error);
      if (!ok) {
        error = "cannot count the submission: " + error;
        return false;
      }
      *allowed = taken;
      return true;
    });
  }

  bool AddGame(BoardGame &game, const std::string &record, int64_t *place, int64_t *copyOf,
               std::string &error) override {
    return Guard(error, [&] {
      if (!place || !copyOf) {
        error = "no place to say the game's place";
        return false;
      }
      if (!ValidName(game.name)) {
        error = "the name is not UTF-8 text";
        return false;
      }
      if (game.mode != 0 && game.mode != 1) {
        error = "no such mode: " + std::to_string(game.mode);
        return false;
      }
      if (game.end != "over" && game.end != "clear") {
        error = "a game ends 'over' or 'clear'";
        return false;
      }
      int64_t id = 0, above = 0, kept = 0;
      const bool ok = Run(Use::Write, [&](Connection &c, std::string &why) {
        kept = 0;
        // One game at a time on a board, so that its place counts every game kept
        // before it (SQLite's write lock already makes it so).
        if (!c.Lock(BoardLock(game.mode, game.rules), why)) return false;
        std::vector<Row> rows;
        if (!c.Query("INSERT INTO games(name, mode, rules, \"end\", score, shield, began, frames, submitted)"
                     " VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9) RETURNING id",
                     {Value::OfText(game.name), Value::Of(game.mode), Value::Of(game.rules), Value::OfText(game.end),
                      Value::Of(game.score), Value::Of(game.shield), Value::Of(game.began), Value::Of(game.frames),
                      Value::Of(game.submitted)},
                     rows, why) ||
            !OneNumber(rows, &id, why))
          return false;
        // The unique key decides: a fingerprint already there (kept by this process or
        // any other, even one committing this moment) makes this game a copy, and the
        // row just made goes again.
        for (const std::string &fingerprint : game.fingerprints) {
          if (!c.Query("INSERT INTO fingerprints(fingerprint, game) VALUES($1, $2)"
                       " ON CONFLICT (fingerprint) DO NOTHING RETURNING game",
                       {Value::OfBlob(fingerprint), Value::Of(id)}, rows, why))
            return false;
          if (!rows.empty()) continue;
          if (!c.Query("SELECT game FROM fingerprints WHERE fingerprint = $1", {Value::OfBlob(fingerprint)}, rows,
                       why) ||
              !OneNumber(rows, &kept, why))
            return false;
          std::vector<Row> none;
          return c.Query("DELETE FROM fingerprints WHERE game = $1", {Value::Of(id)}, none, why) &&
                 c.Query("DELETE FROM games WHERE id = $1", {Value::Of(id)}, none, why);
        }
        if (!c.Query("INSERT INTO recordings(game, content) VALUES($1, $2)",
                     {Value::Of(id), Value::OfBlob(record)}, rows, why))
          return false;
        // Above it: a higher score, or the same one kept earlier.
        return c.Query("SELECT (SELECT count(*) FROM games WHERE rules = $1 AND mode = $2 AND score > $3)"
                       " + (SELECT count(*) FROM games WHERE rules = $1 AND mode = $2 AND score = $3 AND id < $4)",
                       {Value::Of(game.rules), Value::Of(game.mode), Value::Of(game.score), Value::Of(id)}, rows,
                       why) &&
               OneNumber(rows, &above, why);
      }, error);
      if (!ok) {
        error = "cannot keep the game: " + error;
        return false;
      }
      *copyOf = kept;
      if (kept) {
        *place = 0;
        return true;
      }
      game.id = id;
      *place = above + 1;
      return true;
    });
  }

  bool Unfingerprinted(int64_t after, int limit, std::vector<int64_t> &ids, std::string &error) override {
    return Guard(error, [&] {
      ids.clear();
      std::vector<Row> rows;
      if (!Run(Use::Statement, [&](Connection &c, std::string &why) {
            return c.Query("SELECT id FROM games WHERE id > $1 AND NOT EXISTS"
                           " (SELECT 1 FROM fingerprints WHERE fingerprints.game = games.id) ORDER BY id LIMIT $2",
                           {Value::Of(after), Value::Of(limit)}, rows, why);
          }, error))
        return false;
      for (const Row &row : rows) {
        if (row.empty() || row[0].kind != Value::Int) {
          error = "a game's id is not a number";
          return false;
        }
        ids.push_back(row[0].number);
      }
      return true;
    });
  }

  bool AddFingerprints(int64_t id, const std::vector<std::string> &fingerprints, std::string &error) override {
    return Guard(error, [&] {
      return Run(Use::Write, [&](Connection &c, std::string &why) {
        std::vector<Row> rows;
        for (const std::string &fingerprint : fingerprints)
          if (!c.Query("INSERT INTO fingerprints(fingerprint, game) VALUES($1, $2)"
                       " ON CONFLICT (fingerprint) DO NOTHING",
                       {Value::OfBlob(fingerprint), Value::Of(id)}, rows, why))
            return false;
        return true;
      }, error);
    });
  }

  bool Top(int mode, int rules, int limit, std::vector<BoardGame> &games, std::string &error) override {
    return Guard(error, [&] {
      games.clear();
      if (limit <= 0) return true;
      std::vector<Row> rows;
      const std::string sql = std::string("SELECT ") + GameColumns +
                              " FROM games WHERE rules = $1 AND mode = $2 ORDER BY score DESC, id LIMIT $3";
      if (!Run(Use::Statement, [&](Connection &c, std::string &why) {
            return c.Query(sql.c_str(), {Value::Of(rules), Value::Of(mode), Value::Of(limit)}, rows, why);
          }, error)) {
        error = "cannot read the board: " + error;
        return false;
      }
      games.resize(rows.size());
      for (size_t i = 0; i < rows.size(); ++i) {
        if (!ReadGame(rows[i], games[i], error)) {
          games.clear();
          return false;
        }
      }
      return true;
    });
  }

  bool Game(int64_t id, BoardGame &game, std::string *record, bool *found, std::string &error) override {
    return Guard(error, [&] {
      if (!found) {
        error = "no place to say whether the game was found";
        return false;
      }
      const std::string sql =
          record ? std::string("SELECT ") + GameColumns +
                       ", content FROM games JOIN recordings ON recordings.game = games.id WHERE id = $1"
                 : std::string("SELECT ") + GameColumns + " FROM games WHERE id = $1";
      std::vector<Row> rows;
      if (!Run(Use::Statement, [&](Connection &c, std::string &why) {
            return c.Query(sql.c_str(), {Value::Of(id)}, rows, why);
          }, error)) {
        error = "cannot read game " + std::to_string(id) + ": " + error;
        return false;
      }
      *found = !rows.empty();
      if (rows.empty()) return true;
      if (!ReadGame(rows[0], game, error)) return false;
      if (record) {
        if (rows[0].size() < 11 || rows[0][10].kind != Value::Blob) {
          error = "game " + std::to_string(id) + "'s recording is not bytes";
          return false;
        }
        *record = std::move(rows[0][10].bytes);
      }
      return true;
    });
  }

  bool Count(int64_t *games, std::string &error) override {
    return Guard(error, [&] {
      if (!games) {
        error = "no place for the count";
        return false;
      }
      return Run(Use::Statement, [&](Connection &c, std::string &why) {
        std::vector<Row> rows;
        return c.Query("SELECT count(*) FROM games", {}, rows, why) && OneNumber(rows, games, why);
      }, error);
    });
  }

 private:
  template <class Body>
  bool Run(Use use, Body &&body, std::string &error) {
    Pool::Lease connection;
    if (!pool_.Take(connection, error)) return false;
    return RunOn(*connection, use, body, error);
  }

  Pool pool_;
  std::atomic<uint64_t> takes_{0};
};

}  // namespace
}  // namespace board_db

std::unique_ptr<BoardDb> BoardDb::Open(const std::string &target, std::string &error) {
  using namespace board_db;
  std::unique_ptr<BoardDb> opened;
  Guard(error, [&] {
    if (target.empty()) {
      error = "no database given";
      return false;
    }
    std::unique_ptr<Connection> connection = OpenConnection(target, true, error);
    if (!connection) return false;
    if (!Migrate(*connection, IsPostgres(target), target, error)) {
      error = "cannot bring the database's schema up to date: " + error;
      return false;
    }
    auto db = std::make_unique<SqlBoardDb>(target);
    db->AddConnection(std::move(connection));
    opened = std::move(db);
    return true;
  });
  return opened;
}

bool BackupBoard(const std::string &target, const std::string &file, std::string &error) {
  if (board_db::IsPostgres(target)) {
    error = "a PostgreSQL database is copied with its own tools (pg_dump), not by the board";
    return false;
  }
  return board_db::Guard(error, [&] { return board_db::BackupSqlite(target, file, error); });
}
