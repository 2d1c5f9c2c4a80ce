// The board's database in a SQLite file: one connection per pooled slot, in WAL mode
// (readers beside the one writer) with every commit synced before it returns.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "board/db_internal.h"

namespace board_db {
namespace {

// Waits for another connection's write lock this long before a statement says busy.
constexpr int BusyMilliseconds = 5000;

bool Busy(int code) {
  code &= 0xFF;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

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

// The statements are written with $1, $2...; SQLite numbers its values ?1, ?2...
std::string SqliteText(const char *sql) {
  std::string text = sql;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '$' && text[i + 1] >= '0' && text[i + 1] <= '9') text[i] = '?';
  }
  return text;
}

class SqliteConnection : public Connection {
 public:
  explicit SqliteConnection(sqlite3 *db) : db_(db) {}
  ~SqliteConnection() override {
    for (auto &entry : statements_) sqlite3_finalize(entry.second);
    sqlite3_close(db_);
  }
  SqliteConnection(const SqliteConnection &) = delete;
  SqliteConnection &operator=(const SqliteConnection &) = delete;

  bool Exec(const char *sql, std::string &error) override {
    char *message = nullptr;
    last_ = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (last_ == SQLITE_OK) return true;
    error = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
  }

  bool Query(const char *sql, const std::vector<Value> &values, std::vector<Row> &rows,
             std::string &error) override {
    rows.clear();
    sqlite3_stmt *statement = Prepared(sql, error);
    if (!statement) return false;
    // The statement is kept for the next time, without this time's values.
    struct Reset {
      sqlite3_stmt *statement;
      ~Reset() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
      }
    } reset{statement};
    if (!Bind(statement, values, error)) return false;
    for (;;) {
      last_ = sqlite3_step(statement);
      if (last_ == SQLITE_DONE) return true;
      if (last_ != SQLITE_ROW) {
        error = sqlite3_errmsg(db_);
        return false;
      }
      Row row(sqlite3_column_count(statement));
      for (int column = 0; column < static_cast<int>(row.size()); ++column) {
        Value &value = row[column];
        const int type = sqlite3_column_type(statement, column);
        switch (type) {
          case SQLITE_INTEGER:
            value = Value::Of(sqlite3_column_int64(statement, column));
            break;
          case SQLITE_TEXT:
          case SQLITE_BLOB: {
            // The pointer first, then its length (the order SQLite asks for).
            const void *bytes = type == SQLITE_TEXT ? static_cast<const void *>(sqlite3_column_text(statement, column))
                                                    : sqlite3_column_blob(statement, column);
            const int size = sqlite3_column_bytes(statement, column);
            value.kind = type == SQLITE_TEXT ? Value::Text : Value::Blob;
            if (bytes) value.bytes.assign(static_cast<const char *>(bytes), static_cast<size_t>(size));
            break;
          }
          case SQLITE_NULL:
            break;
          default:
            error = "a value of a kind the board does not keep";
            return false;
        }
      }
      rows.push_back(std::move(row));
    }
  }

  bool Begin(std::string &error) override { return Exec("BEGIN IMMEDIATE", error); }
  bool Lock(int64_t, std::string &) override { return true; }
  bool Commit(std::string &error) override { return Exec("COMMIT", error); }
  void Rollback() override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  // Another process or thread held the write lock past the busy timeout: once more, a
  // little later, for a while.
  bool Retry(int attempt) override {
    if (!Busy(last_) || attempt >= 20) return false;
    usleep(static_cast<useconds_t>(10000 * (attempt + 1)));
    return true;
  }
  bool Healthy() override { return true; }

  // The settings every connection needs. WAL: readers do not wait for the writer, and a
  // commit is one append; synchronous=FULL syncs it before the commit returns.
  bool Setup(std::string &error) {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, BusyMilliseconds);
    std::vector<Row> rows;
    if (!Query("PRAGMA journal_mode=WAL", {}, rows, error)) return false;
    if (rows.size() != 1 || rows[0].empty() || sqlite3_stricmp(rows[0][0].bytes.c_str(), "wal") != 0) {
      error = "cannot keep a write-ahead log here";
      return false;
    }
    return Exec("PRAGMA synchronous=FULL", error) && Exec("PRAGMA foreign_keys=ON", error);
  }
  int Last() const { return last_; }

 private:
  sqlite3_stmt *Prepared(const char *sql, std::string &error) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return found->second;
    sqlite3_stmt *statement = nullptr;
    const std::string text = SqliteText(sql);
    last_ = sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT,
                               &statement, nullptr);
    if (last_ != SQLITE_OK || !statement) {
      error = last_ == SQLITE_OK ? "an empty statement" : sqlite3_errmsg(db_);
      sqlite3_finalize(statement);
      return nullptr;
    }
    statements_.emplace(sql, statement);
    return statement;
  }

  bool Bind(sqlite3_stmt *statement, const std::vector<Value> &values, std::string &error) {
    for (size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i) + 1;
      const Value &value = values[i];
      switch (value.kind) {
        case Value::Null:
          last_ = sqlite3_bind_null(statement, index);
          break;
        case Value::Int:
          last_ = sqlite3_bind_int64(statement, index, value.number);
          break;
        case Value::Text:
          last_ = sqlite3_bind_text64(statement, index, value.bytes.data(), value.bytes.size(), SQLITE_STATIC,
                                      SQLITE_UTF8);
          break;
        case Value::Blob:
          last_ = sqlite3_bind_blob64(statement, index, value.bytes.data(), value.bytes.size(), SQLITE_STATIC);
          break;
      }
      if (last_ != SQLITE_OK) {
        error = sqlite3_errmsg(db_);
        return false;
      }
    }
    return true;
  }

  sqlite3 *db_;
  int last_ = SQLITE_OK;
  std::unordered_map<std::string, sqlite3_stmt *> statements_;
};

}  // namespace

bool BackupSqlite(const std::string &path, const std::string &file, std::string &error) {
  sqlite3 *source = nullptr, *copy = nullptr;
  sqlite3_backup *backup = nullptr;
  const std::string part = file + ".part";
  auto fail = [&](const std::string &why) {
    error = why;
    if (backup) sqlite3_backup_finish(backup);
    sqlite3_close(copy);
    sqlite3_close(source);
    unlink(part.c_str());
    return false;
  };
  // Never made here: only an existing board's database is copied.
  if (sqlite3_open_v2(path.c_str(), &source, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    return fail("cannot open " + path + ": " + (source ? sqlite3_errmsg(source) : "out of memory"));
  sqlite3_busy_timeout(source, BusyMilliseconds);
  sqlite3_stmt *statement = nullptr;
  bool board = false;
  if (sqlite3_prepare_v2(source, "SELECT count(*) FROM sqlite_master WHERE name = 'schema_migrations'", -1,
                         &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    board = sqlite3_column_int(statement, 0) == 1;
  sqlite3_finalize(statement);
  if (!board) return fail(path + " is not a board's database");
  unlink(part.c_str());
  if (sqlite3_open_v2(part.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    return fail("cannot make " + part + ": " + (copy ? sqlite3_errmsg(copy) : "out of memory"));
  backup = sqlite3_backup_init(copy, "main", source, "main");
  if (!backup) return fail("cannot copy " + path + ": " + sqlite3_errmsg(copy));
  // All pages in one step: one read transaction, which in WAL mode never holds back the
  // board's writer; only a writer holding a lock that blocks readers is waited for.
  int result = SQLITE_OK;
  for (int attempt = 0; attempt < 200; ++attempt) {
    result = sqlite3_backup_step(backup, -1);
    if (!Busy(result)) break;
    sqlite3_sleep(50);
  }
  sqlite3_backup_finish(backup);
  backup = nullptr;
  if (result != SQLITE_DONE) return fail("cannot copy " + path + ": " + sqlite3_errstr(result));
  // The copy is one file of its own, synced before it takes its name.
  char *message = nullptr;
  if (sqlite3_exec(copy, "PRAGMA journal_mode=DELETE", nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string why = message ? message : "no reason given";
    sqlite3_free(message);
    return fail("cannot finish the copy: " + why);
  }
  sqlite3_close(copy);
  copy = nullptr;
  sqlite3_close(source);
  source = nullptr;
  const int fd = open(part.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  if (!synced || rename(part.c_str(), file.c_str()) != 0)
    return fail("cannot put the copy at " + file + ": " + std::strerror(errno));
  const size_t slash = file.rfind('/');
  const int folder = open(slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash).c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

std::unique_ptr<Connection> OpenSqlite(const std::string &path, bool create, std::string &error) {
  if (create && !MakeParents(path, error)) return nullptr;
  // Another process making the file at this moment can refuse the change of journal
  // mode at once instead of waiting: tried again for about as long as a busy timeout.
  for (int attempt = 0;; ++attempt) {
    sqlite3 *db = nullptr;
    // Each connection is used by one thread at a time (the pool's), so no mutex of its own.
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
      error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
      sqlite3_close(db);
      return nullptr;
    }
    auto connection = std::make_unique<SqliteConnection>(db);
    std::string why;
    if (connection->Setup(why)) return connection;
    if (!Busy(connection->Last()) || attempt >= 100) {
      error = "cannot open " + path + ": " + why;
      return nullptr;
    }
    connection.reset();
    usleep(50000);
  }
}

}  // namespace board_db
