// The kept games' file: its tables, its check at opening, and the reads and writes of
// runs and games (see store.h).
#include "app/store.h"

#include <cstdlib>

#ifdef QR_KEEP_GAMES
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#endif

void EncodeInput(const FrameInput &input, std::vector<uint8_t> &out) {
  for (const int value : {input.dx, input.dy}) {
    uint32_t zigzag = (static_cast<uint32_t>(value) << 1) ^ static_cast<uint32_t>(value >> 31);
    while (zigzag >= 0x80) {
      out.push_back(static_cast<uint8_t>(zigzag | 0x80));
      zigzag >>= 7;
    }
    out.push_back(static_cast<uint8_t>(zigzag));
  }
  out.push_back(static_cast<uint8_t>((input.left ? 1 : 0) | (input.right ? 2 : 0) | (input.escape ? 4 : 0) |
                                     (input.enter ? 8 : 0)));
}

bool DecodeInputs(const uint8_t *data, size_t size, std::vector<FrameInput> &out) {
  size_t at = 0;
  while (at < size) {
    int values[2];
    for (int &value : values) {
      uint32_t zigzag = 0;
      int shift = 0;
      for (;;) {
        if (at >= size || shift > 28) return false;
        const uint8_t byte = data[at++];
        zigzag |= static_cast<uint32_t>(byte & 0x7F) << shift;
        shift += 7;
        if ((byte & 0x80) == 0) break;
      }
      value = static_cast<int>((zigzag >> 1) ^ (0u - (zigzag & 1)));
    }
    if (at >= size || data[at] > 15) return false;
    const uint8_t keys = data[at++];
    out.push_back(FrameInput{values[0], values[1], (keys & 1) != 0, (keys & 2) != 0, (keys & 4) != 0,
                             (keys & 8) != 0});
  }
  return true;
}

std::string GameStore::DefaultPath() {
  const char *data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/quillrun/games.sqlite";
  const char *home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share/quillrun/games.sqlite";
  return "";
}

#ifdef QR_KEEP_GAMES

namespace {

// 'QRKG': a SQLite file of another program in the store's place is not taken for ours.
constexpr int ApplicationId = 0x51524B47;
constexpr int SchemaVersion = 1;

const char *const Schema =
    "CREATE TABLE IF NOT EXISTS runs(id INTEGER PRIMARY KEY, seed INTEGER NOT NULL, rules INTEGER NOT NULL,"
    " started INTEGER NOT NULL, frames INTEGER NOT NULL DEFAULT 0, lease INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS chunks(run INTEGER NOT NULL, first INTEGER NOT NULL, frames INTEGER NOT NULL,"
    " data BLOB NOT NULL, PRIMARY KEY(run, first));"
    "CREATE TABLE IF NOT EXISTS games(id INTEGER PRIMARY KEY, run INTEGER NOT NULL, mode INTEGER NOT NULL,"
    " began INTEGER NOT NULL, ended INTEGER NOT NULL, end TEXT NOT NULL, score INTEGER NOT NULL,"
    " shield INTEGER NOT NULL, date INTEGER NOT NULL, closed INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS games_by_run ON games(run);";

// A statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;
  bool ok() const { return statement_ != nullptr; }
  Statement &Bind(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Statement &Bind(int index, const std::string &value) {
    sqlite3_bind_text(statement_, index, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement &BindBlob(int index, const void *data, size_t size) {
    sqlite3_bind_blob(statement_, index, data, static_cast<int>(size), SQLITE_STATIC);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return statement_ ? sqlite3_step(statement_) : SQLITE_ERROR; }
  int64_t Int(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) {
    const unsigned char *text = sqlite3_column_text(statement_, column);
    return text ? reinterpret_cast<const char *>(text) : "";
  }
  const uint8_t *Blob(int column, size_t &size) {
    const void *blob = sqlite3_column_blob(statement_, column);
    size = static_cast<size_t>(sqlite3_column_bytes(statement_, column));
    return static_cast<const uint8_t *>(blob);
  }

 private:
  sqlite3_stmt *statement_ = nullptr;
};

std::string Message(sqlite3 *db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

// Creates every missing folder of the path's parent.
bool MakeParents(const std::string &path, std::string &error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      error = "cannot make " + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

// What an opened file is as a store.
enum class Verdict { Ours, Damaged, Unreadable };

// Only what the file holds makes it damaged: a lock held too long by another program,
// an I/O error or want of memory leave it alone (it is not moved aside for those).
Verdict Failure(sqlite3 *db, std::string &why) {
  const int code = sqlite3_errcode(db) & 0xFF;
  if (code == SQLITE_NOTADB) {
    why = "not a database";
    return Verdict::Damaged;
  }
  why = code == SQLITE_CORRUPT ? "damaged (" + Message(db) + ")" : Message(db);
  return code == SQLITE_CORRUPT ? Verdict::Damaged : Verdict::Unreadable;
}

Verdict CheckStore(sqlite3 *db, std::string &why) {
  Statement id(db, "PRAGMA application_id");
  if (!id.ok() || id.Step() != SQLITE_ROW) return Failure(db, why);
  const int64_t application = id.Int(0);
  Statement tables(db, "SELECT count(*) FROM sqlite_master");
  if (!tables.ok() || tables.Step() != SQLITE_ROW) return Failure(db, why);
  if (tables.Int(0) == 0) return Verdict::Ours;  // new
  why = "not a store of kept games";
  if (application != ApplicationId) return Verdict::Damaged;
  Statement check(db, "PRAGMA quick_check");
  if (!check.ok()) return Failure(db, why);
  const int step = check.Step();
  if (step != SQLITE_ROW) return Failure(db, why);
  why = "damaged (" + check.Text(0) + ")";
  if (check.Text(0) != "ok") return Verdict::Damaged;
  Statement version(db, "PRAGMA user_version");
  if (!version.ok() || version.Step() != SQLITE_ROW) return Failure(db, why);
  // A store of a later quillrun is left as it is, for that quillrun.
  why = "kept by a later quillrun (store version " + std::to_string(version.Int(0)) + ")";
  if (version.Int(0) > SchemaVersion) return Verdict::Unreadable;
  why = "a store of no version";
  return version.Int(0) == SchemaVersion ? Verdict::Ours : Verdict::Damaged;
}

void MoveAside(const std::string &path, const std::string &why) {
  char stamp[32];
  const time_t now = time(nullptr);
  struct tm utc;
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  const std::string aside = path + ".damaged-" + stamp;
  if (std::rename(path.c_str(), aside.c_str()) != 0) {
    std::fprintf(stderr, "quillrun: the kept games %s are %s and cannot be moved aside: %s\n", path.c_str(),
                 why.c_str(), std::strerror(errno));
    return;
  }
  // Its journal belongs to it: left in place it would be replayed into the new store.
  for (const char *suffix : {"-wal", "-shm", "-journal"}) {
    const std::string from = path + suffix;
    if (access(from.c_str(), F_OK) == 0) std::rename(from.c_str(), (aside + suffix).c_str());
  }
  std::fprintf(stderr, "quillrun: the kept games %s were %s: moved aside to %s, a new store started\n", path.c_str(),
               why.c_str(), aside.c_str());
}

bool Exists(const std::string &path, struct stat &status) { return lstat(path.c_str(), &status) == 0; }

// The store's path as a URI, for the parameters only a URI can give.
std::string FileUri(const std::string &path, const char *parameters) {
  std::string uri = "file:";
  for (const char c : path) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
        std::strchr("/-._~", c) != nullptr) {
      uri += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      uri += escaped;
    }
  }
  return uri + "?" + parameters;
}

// A program that only reads opens the store so that nothing changes on the disk. SQLite
// makes the -wal and -shm beside a store in WAL mode for every connection, a read-only
// one too, and gives them the store's mode: a store that was read-only at that moment
// got side files no writer could use after it. While there is no -wal, or an empty one,
// the file holds every commit, and it is read as an unchanging file, with no locks and
// no side files (a writer that starts meanwhile only appends to a -wal of its own until
// it has written a thousand pages). A -wal with content is another program's, running
// or killed, and is read through as SQLite reads it: that takes a -shm, which it makes
// when there is none (a killed program's that was deleted). Where none can be made the
// file is read as the last program to close it left it.
sqlite3 *OpenForReading(const std::string &path, std::string &error) {
  struct stat status, wal;
  if (!Exists(path, status)) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  bool settled = !Exists(path + "-wal", wal) || (S_ISREG(wal.st_mode) && wal.st_size == 0);
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (!settled && !Exists(path + "-shm", wal) && access(folder.c_str(), W_OK) != 0) {
    std::fprintf(stderr, "quillrun: %s-wal cannot be read without a -shm beside it: the games kept before it are"
                 " read\n", path.c_str());
    settled = true;
  }
  const std::string name = settled ? FileUri(path, "immutable=1") : FileUri(path, "mode=ro");
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX, nullptr) !=
      SQLITE_OK) {
    error = "cannot open " + path + ": " + Message(db);
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 5000);
  return db;
}

// The -wal and -shm that SQLite made while the store could not be written have its mode
// of then (0444): once the store is writable again they are made so too, or SQLite says
// "attempt to write a readonly database" for ever. False, with the reason, for a side
// file that stays unwritable.
bool SideFilesWritable(const std::string &path, const struct stat &store, std::string &error) {
  for (const char *suffix : {"-wal", "-shm"}) {
    const std::string side = path + suffix;
    struct stat status;
    if (!Exists(side, status) || access(side.c_str(), W_OK) == 0) continue;
    if (S_ISREG(status.st_mode) && status.st_uid == geteuid() && chmod(side.c_str(), store.st_mode & 0666) == 0 &&
        access(side.c_str(), W_OK) == 0)
      continue;
    error = "cannot write " + side + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

sqlite3 *OpenForWriting(const std::string &path, std::string &error) {
  // A store that cannot be written is not opened to write: SQLite would open it
  // read-only and make its side files unwritable.
  struct stat status;
  if (Exists(path, status) &&
      (access(path.c_str(), W_OK) != 0 || (S_ISREG(status.st_mode) && !SideFilesWritable(path, status, error)))) {
    if (error.empty()) error = "cannot write " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  sqlite3 *db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    error = "cannot open " + path + ": " + Message(db);
    sqlite3_close(db);
    return nullptr;
  }
  // Two programs at once take turns at writing.
  sqlite3_busy_timeout(db, 5000);
  return db;
}

// Another program's lock: it holds the store for a moment (a busy timeout does not
// cover every case: a change of journal mode, or two programs setting up a new store at
// once, are refused at once instead of waited for).
bool Busy(sqlite3 *db) {
  const int code = sqlite3_errcode(db) & 0xFF;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

}  // namespace

std::unique_ptr<GameStore> GameStore::Open(const std::string &path, std::string &error, bool write) {
  // Two programs starting at once take turns, for up to about five seconds.
  for (int attempt = 0;; ++attempt) {
    bool busy = false;
    std::unique_ptr<GameStore> store = OpenOnce(path, error, write, busy);
    if (store || !busy || attempt == 100) return store;
    usleep(50000);
  }
}

std::unique_ptr<GameStore> GameStore::OpenOnce(const std::string &path, std::string &error, bool write,
                                               bool &busy) {
  if (path.empty()) {
    error = "no folder for the kept games (neither XDG_DATA_HOME nor HOME is set)";
    return nullptr;
  }
  if (write && !MakeParents(path, error)) return nullptr;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string why;
    sqlite3 *db = write ? OpenForWriting(path, why) : OpenForReading(path, why);
    if (!db) {
      error = why;
      return nullptr;
    }
    std::string wrong;
    const Verdict verdict = CheckStore(db, wrong);
    if (verdict == Verdict::Unreadable) {
      error = "cannot read " + path + ": " + wrong;
      busy = Busy(db);
      sqlite3_close(db);
      return nullptr;
    }
    if (verdict == Verdict::Ours) {
      std::unique_ptr<GameStore> store(new GameStore(db));
      if (!write) return store;
      // WAL: a commit is one append, and a kill at any moment leaves the last commit.
      if (!store->Exec("PRAGMA journal_mode=WAL", error) || !store->Exec("PRAGMA synchronous=NORMAL", error)) {
        busy = Busy(db);
        return nullptr;
      }
      const std::string setup = std::string("BEGIN IMMEDIATE;") + Schema + "PRAGMA application_id=" +
                                std::to_string(ApplicationId) + ";PRAGMA user_version=" +
                                std::to_string(SchemaVersion) + ";COMMIT;";
      if (!store->Exec(setup.c_str(), error)) {
        busy = Busy(db);
        store->Rollback();
        error = "cannot set up " + path + ": " + error;
        return nullptr;
      }
      return store;
    }
    sqlite3_close(db);
    if (!write) {
      // What the game does with it when it next keeps games (MoveAside, below).
      error = path + " is " + wrong +
              ": left as it is for now; when the game next starts to play (not to watch) it moves it aside, as " +
              path.substr(path.rfind('/') + 1) + ".damaged-TIME, and starts a new store";
      return nullptr;
    }
    MoveAside(path, wrong);
  }
  error = "cannot start a new store at " + path;
  return nullptr;
}

GameStore::~GameStore() { sqlite3_close(db_); }

bool GameStore::Exec(const char *sql, std::string &error) {
  char *message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message ? message : Message(db_);
  sqlite3_free(message);
  return false;
}

bool GameStore::Begin(std::string &error) { return Exec("BEGIN IMMEDIATE", error); }
bool GameStore::Commit(std::string &error) { return Exec("COMMIT", error); }
void GameStore::Rollback() {
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

int64_t GameStore::AddRun(uint32_t seed, int rules, int64_t started, std::string &error) {
  Statement insert(db_, "INSERT INTO runs(seed, rules, started) VALUES(?, ?, ?)");
  insert.Bind(1, seed).Bind(2, rules).Bind(3, started);
  if (insert.Step() != SQLITE_DONE) {
    error = Message(db_);
    return 0;
  }
  return sqlite3_last_insert_rowid(db_);
}

bool GameStore::PutChunk(int64_t run, uint32_t first, uint32_t frames, const std::vector<uint8_t> &encoded,
                         std::string &error) {
  uLongf size = compressBound(encoded.size());
  std::vector<uint8_t> packed(size);
  if (compress2(packed.data(), &size, encoded.data(), encoded.size(), 6) != Z_OK) {
    error = "cannot compress the inputs";
    return false;
  }
  Statement put(db_, "INSERT OR REPLACE INTO chunks(run, first, frames, data) VALUES(?, ?, ?, ?)");
  put.Bind(1, run).Bind(2, first).Bind(3, frames).BindBlob(4, packed.data(), size);
  if (put.Step() != SQLITE_DONE) {
    error = Message(db_);
    return false;
  }
  return true;
}

bool GameStore::SetLease(int64_t run, uint32_t frames, int64_t until, std::string &error) {
  Statement update(db_, "UPDATE runs SET frames = ?, lease = ? WHERE id = ?");
  update.Bind(1, frames).Bind(2, until).Bind(3, run);
  if (update.Step() != SQLITE_DONE) {
    error = Message(db_);
    return false;
  }
  return true;
}

int64_t GameStore::AddGame(const KeptGame &game, std::string &error) {
  Statement insert(db_,
                   "INSERT INTO games(run, mode, began, ended, end, score, shield, date) VALUES(?,?,?,?,?,?,?,?)");
  insert.Bind(1, game.run).Bind(2, game.mode).Bind(3, game.began).Bind(4, game.ended).Bind(5, game.end);
  insert.Bind(6, game.score).Bind(7, game.shield).Bind(8, game.date);
  if (insert.Step() != SQLITE_DONE) {
    error = Message(db_);
    return 0;
  }
  return sqlite3_last_insert_rowid(db_);
}

bool GameStore::UpdateGame(const KeptGame &game, std::string &error) {
  Statement update(db_, "UPDATE games SET ended = ?, end = ?, score = ?, shield = ?, closed = ? WHERE id = ?");
  update.Bind(1, game.ended).Bind(2, game.end).Bind(3, game.score).Bind(4, game.shield);
  update.Bind(5, game.end == "cut" ? 0 : 1).Bind(6, game.id);
  if (update.Step() != SQLITE_DONE) {
    error = Message(db_);
    return false;
  }
  return true;
}

bool GameStore::Prune(int64_t now, std::string &error) {
  // A game still in play in a live run (this program's or another's) is never dropped;
  // the run of a program that was killed stops being live when its lease runs out.
  Statement games(db_,
                  "DELETE FROM games WHERE id NOT IN ("
                  " SELECT id FROM (SELECT id, ROW_NUMBER() OVER (PARTITION BY mode ORDER BY score DESC, id) AS r"
                  "  FROM games) WHERE r <= ?1"
                  " UNION SELECT id FROM (SELECT id FROM games ORDER BY id DESC LIMIT ?1))"
                  " AND NOT (closed = 0 AND run IN (SELECT id FROM runs WHERE lease >= ?2))");
  games.Bind(1, KeptPerList).Bind(2, now);
  Statement runs(db_, "DELETE FROM runs WHERE lease < ? AND id NOT IN (SELECT run FROM games)");
  runs.Bind(1, now);
  Statement chunks(db_, "DELETE FROM chunks WHERE run NOT IN (SELECT id FROM runs)");
  if (games.Step() != SQLITE_DONE || runs.Step() != SQLITE_DONE || chunks.Step() != SQLITE_DONE) {
    error = Message(db_);
    return false;
  }
  return true;
}

namespace {

const char *const GameColumns = "SELECT id, run, mode, began, ended, end, score, shield, date FROM games ";

KeptGame ReadGame(Statement &row) {
  KeptGame game;
  game.id = row.Int(0);
  game.run = row.Int(1);
  game.mode = static_cast<int>(row.Int(2));
  game.began = static_cast<uint32_t>(row.Int(3));
  game.ended = static_cast<uint32_t>(row.Int(4));
  game.end = row.Text(5);
  game.score = static_cast<int>(row.Int(6));
  game.shield = static_cast<int>(row.Int(7));
  game.date = row.Int(8);
  return game;
}

}  // namespace

std::vector<KeptGame> GameStore::Best(int mode, int count) {
  std::vector<KeptGame> games;
  Statement query(db_, (std::string(GameColumns) + "WHERE mode = ? ORDER BY score DESC, id LIMIT ?").c_str());
  query.Bind(1, mode).Bind(2, count);
  while (query.Step() == SQLITE_ROW) games.push_back(ReadGame(query));
  return games;
}

std::vector<KeptGame> GameStore::All() {
  std::vector<KeptGame> games;
  Statement query(db_, (std::string(GameColumns) + "ORDER BY id").c_str());
  while (query.Step() == SQLITE_ROW) games.push_back(ReadGame(query));
  return games;
}

bool GameStore::FindGame(int64_t id, KeptGame &game) {
  Statement query(db_, (std::string(GameColumns) + "WHERE id = ?").c_str());
  query.Bind(1, id);
  if (query.Step() != SQLITE_ROW) return false;
  game = ReadGame(query);
  return true;
}

bool GameStore::LoadRun(int64_t id, KeptRun &run, std::string &error) {
  Statement header(db_, "SELECT seed, rules, started FROM runs WHERE id = ?");
  header.Bind(1, id);
  if (header.Step() != SQLITE_ROW) {
    error = "no run " + std::to_string(id);
    return false;
  }
  run.id = id;
  run.seed = static_cast<uint32_t>(header.Int(0));
  run.rules = static_cast<int>(header.Int(1));
  run.started = header.Int(2);
  run.inputs.clear();
  Statement chunks(db_, "SELECT first, frames, data FROM chunks WHERE run = ? ORDER BY first");
  chunks.Bind(1, id);
  while (chunks.Step() == SQLITE_ROW) {
    const int64_t first = chunks.Int(0);
    const int64_t frames = chunks.Int(1);
    if (first != static_cast<int64_t>(run.inputs.size()) || frames < 0 || frames > ChunkFrames * 2) {
      error = "run " + std::to_string(id) + " has a gap in its inputs at frame " + std::to_string(run.inputs.size());
      return false;
    }
    size_t packedSize = 0;
    const uint8_t *packed = chunks.Blob(2, packedSize);
    // At most 11 bytes a frame (two five-byte varints and the keys).
    std::vector<uint8_t> encoded(static_cast<size_t>(frames) * 11 + 1);
    uLongf size = encoded.size();
    const size_t before = run.inputs.size();
    if (packed == nullptr || uncompress(encoded.data(), &size, packed, packedSize) != Z_OK ||
        !DecodeInputs(encoded.data(), size, run.inputs) || run.inputs.size() - before != static_cast<size_t>(frames)) {
      error = "run " + std::to_string(id) + " has damaged inputs at frame " + std::to_string(before);
      return false;
    }
  }
  return true;
}

KeptBest GameStore::ReadBest() {
  KeptBest best;
  Statement query(db_, "SELECT mode, max(score) FROM games WHERE mode IN (0, 1) GROUP BY mode");
  while (query.Step() == SQLITE_ROW) {
    const int mode = static_cast<int>(query.Int(0));
    best.any = true;
    best.have[mode] = true;
    best.best[mode] = static_cast<int>(query.Int(1));
  }
  return best;
}

bool GameStore::IntegrityOk() {
  Statement check(db_, "PRAGMA integrity_check");
  return check.Step() == SQLITE_ROW && check.Text(0) == "ok";
}

#endif
