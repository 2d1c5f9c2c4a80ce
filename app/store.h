// The kept games: every run of the program since its start-up (the world's seed, the
// rules it played under, every frame's input) and every game played in it, in one
// SQLite file, $XDG_DATA_HOME/quillrun/games.sqlite. A game does not replay from its own
// inputs: the world is seeded once at start-up, the title screen draws from its
// generator, and the frame count and the stage script's rewritten waits outlive a game,
// so a kept game is its run's inputs plus the frame its game began on.
//
// The best 100 games of each mode and the last 100 are kept; a run goes when none of its
// games is kept any more. Only the Linux build keeps games (QR_KEEP_GAMES).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "world/step.h"

// One kept game. The frames count from the run's first input (0): the game began with
// the input of frame `began` and ended with that of frame `ended`.
struct KeptGame {
  int64_t id = 0;
  int64_t run = 0;
  int mode = 0;             // 0 normal, 1 random
  uint32_t began = 0;
  uint32_t ended = 0;
  std::string end;          // over, clear, quit, or cut (the program ended during it)
  int score = 0;
  int shield = 0;
  int64_t date = 0;         // seconds since 1970 at its start
};

// A run's inputs as kept, from start-up on.
struct KeptRun {
  int64_t id = 0;
  uint32_t seed = 0;
  int rules = 0;
  int64_t started = 0;
  std::vector<FrameInput> inputs;
};

// The best scores kept when the program started, for the title screen.
struct KeptBest {
  bool any = false;         // something is kept
  int best[2] = {0, 0};     // normal, random
  bool have[2] = {false, false};
};

// The inputs of frames in the store's compact form: per frame the motion as two
// zigzag varints and one byte of held keys. Decoding stops at the first bad byte.
void EncodeInput(const FrameInput &input, std::vector<uint8_t> &out);
bool DecodeInputs(const uint8_t *data, size_t size, std::vector<FrameInput> &out);

struct sqlite3;

// One connection to the store. Every call says what failed in error and returns false
// (or an empty result); nothing is thrown.
class GameStore {
 public:
  // $XDG_DATA_HOME/quillrun/games.sqlite, or ~/.local/share/... when unset; empty when
  // neither is known.
  static std::string DefaultPath();
  // Opens (creating folder and file as needed) the store at path to write. A file that
  // is not a store or fails its check is moved aside as path.damaged-TIME, said on
  // stderr, and a new store started. Null, with the reason in error, when nothing can be
  // kept there. Without `write` the store is only read and nothing on the disk changes:
  // no file is made, set up, moved aside or written, SQLite's side files included (but
  // for the -shm SQLite needs to read another program's -wal when there is none).
  static std::unique_ptr<GameStore> Open(const std::string &path, std::string &error, bool write = true);

private:
  // One try at Open; `busy` says the failure was another program's lock, worth a retry.
  static std::unique_ptr<GameStore> OpenOnce(const std::string &path, std::string &error, bool write, bool &busy);

public:
  ~GameStore();

  // Writing a run as it goes (the writer thread's calls).
  bool Begin(std::string &error);
  bool Commit(std::string &error);
  void Rollback();
  int64_t AddRun(uint32_t seed, int rules, int64_t started, std::string &error);
  bool PutChunk(int64_t run, uint32_t first, uint32_t frames, const std::vector<uint8_t> &encoded,
                std::string &error);
  // Marks the run alive until the given time: its games are not pruned while it plays.
  bool SetLease(int64_t run, uint32_t frames, int64_t until, std::string &error);
  int64_t AddGame(const KeptGame &game, std::string &error);
  bool UpdateGame(const KeptGame &game, std::string &error);
  // Drops the games that are not kept and the runs left without one.
  bool Prune(int64_t now, std::string &error);

  // Reading.
  std::vector<KeptGame> Best(int mode, int count);
  std::vector<KeptGame> All();
  bool FindGame(int64_t id, KeptGame &game);
  bool LoadRun(int64_t id, KeptRun &run, std::string &error);
  KeptBest ReadBest();
  bool IntegrityOk();

  static constexpr int KeptPerList = 100;
  static constexpr uint32_t ChunkFrames = 4096;

 private:
  explicit GameStore(sqlite3 *db) : db_(db) {}
  bool Exec(const char *sql, std::string &error);
  sqlite3 *db_;
};

// The keeping of this run, for the frame driver. StartKeeping opens the store and starts
// the writer (one line on stderr and no keeping when it cannot); KeepFrame hands one
// stepped frame to the writer without locking, allocating or touching the disk;
// StopKeeping closes a game still in play, writes the rest and waits for the writer.
// keepGames: set by the program (not by tests driving the shell) to keep this run.
extern bool keepGames;
bool StartKeeping(uint32_t seed);
void KeepFrame(const FrameInput &input, const World &after);
void StopKeeping();
bool Keeping();
// The store's id of the run this program keeps or kept (still there after StopKeeping),
// or 0 when it keeps none.
int64_t KeptRunId();
// The line of best scores the title and end screens show while keeping; null otherwise.
struct KeptScoresLine;
const KeptScoresLine *KeptScores();
