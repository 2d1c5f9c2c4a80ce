// What the board's database is built on, shared by its SQLite and PostgreSQL sides: one
// connection as the board uses it (statements with bound values, transactions), a pool
// of them for many threads, and the migrations that make the schema.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace board_db {

// A value bound to a statement or read from a row.
struct Value {
  enum Kind { Null, Int, Text, Blob };
  Kind kind = Null;
  int64_t number = 0;
  std::string bytes;  // Text (UTF-8) and Blob

  static Value Of(int64_t number) { return Value{Int, number, {}}; }
  static Value OfText(std::string text) { return Value{Text, 0, std::move(text)}; }
  static Value OfBlob(std::string bytes) { return Value{Blob, 0, std::move(bytes)}; }
};
using Row = std::vector<Value>;

// One connection to the database, used by one thread at a time. Statements are written
// once for both databases, with $1, $2... for their values.
class Connection {
 public:
  virtual ~Connection() = default;
  // Statements without values: the migrations, BEGIN, COMMIT.
  virtual bool Exec(const char *sql, std::string &error) = 0;
  // One statement; its rows (if any) replace `rows`.
  virtual bool Query(const char *sql, const std::vector<Value> &values, std::vector<Row> &rows,
                     std::string &error) = 0;
  // A transaction that writes. It holds SQLite's one write lock from its start;
  // PostgreSQL's writers that must go one at a time take a lock of their own with Lock.
  virtual bool Begin(std::string &error) = 0;
  virtual bool Lock(int64_t key, std::string &error) = 0;
  virtual bool Commit(std::string &error) = 0;
  // Ends any transaction left open (after a failure), without a word.
  virtual void Rollback() = 0;
  // After a failure: whether the whole transaction may be run again (the database was
  // busy, or a broken connection was made again before anything could have been kept).
  // `attempt` counts from 0.
  virtual bool Retry(int attempt) = 0;
  // False when the connection is no good any more and should not go back to the pool.
  virtual bool Healthy() = 0;
};

// Opens a connection to a board's database: PostgreSQL for a libpq URI, else a SQLite
// file (its folder made when `create`).
bool IsPostgres(const std::string &target);
std::unique_ptr<Connection> OpenSqlite(const std::string &path, bool create, std::string &error);
std::unique_ptr<Connection> OpenPostgres(const std::string &uri, std::string &error);
std::unique_ptr<Connection> OpenConnection(const std::string &target, bool create, std::string &error);
bool BackupSqlite(const std::string &path, const std::string &file, std::string &error);

// Connections for many threads: an idle one is taken, or a new one opened while fewer
// than `most` are in use; past that a thread waits for one to come back.
class Pool {
 public:
  using Opener = std::function<std::unique_ptr<Connection>(std::string &error)>;
  Pool(Opener open, int most) : open_(std::move(open)), most_(most) {}

  // A connection held for a while, given back (or closed, when no good) at the end.
  class Lease {
   public:
    Lease() = default;
    Lease(Pool *pool, std::unique_ptr<Connection> connection) : pool_(pool), connection_(std::move(connection)) {}
    Lease(Lease &&other) noexcept = default;
    Lease &operator=(Lease &&other) noexcept;
    ~Lease() { GiveBack(); }
    Connection *operator->() { return connection_.get(); }
    Connection &operator*() { return *connection_; }

   private:
    void GiveBack();
    Pool *pool_ = nullptr;
    std::unique_ptr<Connection> connection_;
  };

  bool Take(Lease &lease, std::string &error);
  // Adds a connection opened elsewhere (the one the migrations ran on).
  void Add(std::unique_ptr<Connection> connection);

 private:
  void GiveBack(std::unique_ptr<Connection> connection);
  // A slot in use ends: its connection (or none) to the first waiter, else to the idle.
  void Release(std::unique_ptr<Connection> connection);
  void HandOver(std::unique_ptr<Connection> connection);   // with the lock held

  struct Waiter {
    std::condition_variable handed;
    std::unique_ptr<Connection> connection;
    bool ready = false;
  };

  Opener open_;
  const int most_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
  int inUse_ = 0;                  // slots taken, each with a connection or opening one
  std::deque<Waiter *> waiters_;   // oldest first
};

// A change of the schema: run once, in order, in a transaction of its own.
struct Migration {
  int version;
  const char *sqlite;
  const char *postgres;
};
const std::vector<Migration> &Migrations();

// The name as the board keeps it: UTF-8 without NUL (PostgreSQL would refuse either,
// and both databases must take the same names).
bool ValidName(const std::string &name);

// The start of the window of `seconds` that `now` falls in (rounding down, also before
// 1970).
int64_t WindowStart(int64_t now, int seconds);

}  // namespace board_db
