// The board's database: SQLite in one file by default, or PostgreSQL for several board
// processes behind one proxy, the same schema in both. The schema is built by numbered
// migrations run at start (each once, in order, recorded in the database itself, so
// processes starting together do not run one twice). Every statement binds its values;
// no text from a request is ever put into SQL. Rate limits are rows here, so they hold
// across every process sharing the database. Safe to call from many threads at once.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One game on a board, as the board computed it.
struct BoardGame {
  int64_t id = 0;
  std::string name;      // as given; shown escaped
  int mode = 0;          // 0 normal, 1 random
  int rules = 0;
  std::string end;       // "over" or "clear"
  int score = 0;
  int shield = 0;
  int64_t began = 0;     // the frame of the run its game began on
  int64_t frames = 0;    // the game's length in frames
  int64_t submitted = 0; // seconds since 1970
  // The game's fingerprints (ProvenGame's), each kept under a unique key: a game with
  // any of them already kept is a copy of that game and is not added.
  std::vector<std::string> fingerprints;
};

class BoardDb {
 public:
  // target: "postgresql://..." or "postgres://..." (a libpq connection URI) for
  // PostgreSQL, anything else a SQLite file (created with its folder as needed).
  // Connects, runs the migrations not yet run, and is ready. Null with the reason.
  static std::unique_ptr<BoardDb> Open(const std::string &target, std::string &error);
  virtual ~BoardDb() = default;

  // The number of the last migration run (the schema's version).
  virtual int SchemaVersion() = 0;

  // Counts one submission from `address` at `now` against at most `limit` in each
  // window of `windowSeconds`; false in *allowed once the window's share is used up.
  // False with the reason when the database fails.
  virtual bool TakeSubmission(const std::string &address, int64_t now, int limit, int windowSeconds, bool *allowed,
                              std::string &error) = 0;

  // Stores a proven game and its recording (as the board keeps it) durably before it
  // returns: its id and the place it took on its board (mode and rules; 1 is the top;
  // a game tying an earlier one comes after it). When a game with one of its
  // fingerprints is kept already, nothing is added: *place is 0 and *copyOf that game's
  // id (also between processes adding the same game at once: the key decides). False
  // with the reason.
  virtual bool AddGame(BoardGame &game, const std::string &record, int64_t *place, int64_t *copyOf,
                       std::string &error) = 0;

  // Games kept before fingerprints were (none of their own), with ids above `after`,
  // oldest first, at most `limit`.
  virtual bool Unfingerprinted(int64_t after, int limit, std::vector<int64_t> &ids, std::string &error) = 0;
  // Keeps fingerprints for a kept game. One another game has already is left to it (the
  // earlier of two copies kept before fingerprints keeps the key).
  virtual bool AddFingerprints(int64_t id, const std::vector<std::string> &fingerprints, std::string &error) = 0;

  // The best `limit` games of a board, best first (ties: the earlier first).
  virtual bool Top(int mode, int rules, int limit, std::vector<BoardGame> &games, std::string &error) = 0;

  // One game and its recording; false in *found when there is none with that id.
  virtual bool Game(int64_t id, BoardGame &game, std::string *record, bool *found, std::string &error) = 0;

  // Every game kept, for the tests and the benchmarks.
  virtual bool Count(int64_t *games, std::string &error) = 0;
};

// Copies a board's SQLite database, live (its board may be taking games meanwhile),
// into `file` with SQLite's online backup: one consistent copy in a file of its own,
// in place only once whole. PostgreSQL's databases are copied with its own tools
// (pg_dump). False with the reason.
bool BackupBoard(const std::string &target, const std::string &file, std::string &error);
