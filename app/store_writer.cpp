// Keeping the run being played: the game's thread hands every stepped frame over
// through a fixed ring (two atomic counters, no lock, no allocation, no disk); a writer
// thread of its own takes them, finds where games begin and end, and commits the run's
// inputs and its games at least once a second and at every game's end, so a crash
// loses at most the last second.
#include "app/store.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "render/scene.h"
#include "world/rules.h"
#include "world/world.h"

bool keepGames;

#ifdef QR_KEEP_GAMES

namespace {

// One frame as the writer needs it: the input and what the world made of it.
struct HandedFrame {
  FrameInput input;
  int32_t score;
  int8_t state;
  int8_t mode;
  int8_t shield;
};

// 65536 frames: 24 minutes of play, far beyond any stall of a disk the writer waits on.
constexpr uint32_t RingFrames = 1u << 16;
HandedFrame ring[RingFrames];
std::atomic<uint32_t> ringHead;   // frames handed over (written by the game's thread)
std::atomic<uint32_t> ringTail;   // frames taken (written by the writer)
std::atomic<bool> ringOverflowed;
std::atomic<bool> stopWriter;
std::thread writer;
bool keeping;
int64_t keptRun;
// The game's thread's own: the best kept scores as the title and end screens show them.
KeptBest best;
KeptScoresLine scoresLine;
int previousState = Title;

void ShowBest() {
  scoresLine.shown = best.any;
  scoresLine.bestNormal = best.best[0];
  scoresLine.bestRandom = best.best[1];
}

const char *EndName(int state) {
  switch (state) {
    case GameOver: return "over";
    case AllClear: return "clear";
    default: return "quit";
  }
}

int64_t Now() { return static_cast<int64_t>(time(nullptr)); }

// The writer's side: everything here belongs to its thread.
class RunWriter {
 public:
  RunWriter(std::unique_ptr<GameStore> store, int64_t run) : store_(std::move(store)), run_(run) {}

  void Loop() {
    auto lastCommit = std::chrono::steady_clock::now();
    for (;;) {
      const bool stopping = stopWriter.load(std::memory_order_acquire);
      Drain();
      if (stopping) {
        if (open_) Close(frames_ - 1, "quit", current_.score, current_.shield);
        Write(true);
        return;
      }
      const auto now = std::chrono::steady_clock::now();
      if (!pending_.empty() || now - lastCommit >= std::chrono::seconds(1)) {
        Write(false);
        lastCommit = now;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

 private:
  void Drain() {
    const uint32_t head = ringHead.load(std::memory_order_acquire);
    uint32_t tail = ringTail.load(std::memory_order_relaxed);
    for (; tail != head; ++tail) {
      const HandedFrame &frame = ring[tail % RingFrames];
      if (!failed_) Take(frame);
    }
    ringTail.store(tail, std::memory_order_release);
    if (ringOverflowed.load(std::memory_order_acquire) && !failed_) {
      // Frames are missing from here on: the rest of this run would replay differently.
      std::fprintf(stderr, "quillrun: the kept games fell behind; this run is kept up to here\n");
      if (open_) Close(frames_ - 1, "cut", current_.score, current_.shield);
      Write(true);
      failed_ = true;
    }
  }

  void Take(const HandedFrame &frame) {
    const uint32_t index = frames_++;
    EncodeInput(frame.input, chunk_);
    if (frame.state == Playing && previousState_ != Playing) {
      open_ = true;
      current_ = KeptGame{};
      current_.run = run_;
      current_.mode = frame.mode;
      current_.began = index;
      current_.end = "cut";
      current_.date = Now();
    }
    if (open_) {
      current_.ended = index;
      current_.score = frame.score;
      current_.shield = frame.shield;
      if (frame.state != Playing) Close(index, EndName(frame.state), frame.score, frame.shield);
    }
    previousState_ = frame.state;
  }

  void Close(uint32_t index, const char *end, int score, int shield) {
    current_.ended = index;
    current_.end = end;
    current_.score = score;
    current_.shield = shield;
    pending_.push_back(current_);
    open_ = false;
  }

  // One transaction: the inputs since the chunk began, the games closed, the one in play,
  // the lease. Any failure (a full disk, a file gone read-only) ends the keeping.
  void Write(bool last) {
    if (failed_) return;
    std::string error;
    bool ok = store_->Begin(error);
    if (ok && frames_ > chunkFirst_) ok = store_->PutChunk(run_, chunkFirst_, frames_ - chunkFirst_, chunk_, error);
    bool closed = false;
    for (KeptGame &game : pending_) {
      if (!ok) break;
      if (game.id == 0) {
        game.id = store_->AddGame(game, error);
        ok = game.id != 0;
      }
      ok = ok && store_->UpdateGame(game, error);
      closed = true;
    }
    if (ok && open_) {
      if (current_.id == 0) {
        current_.id = store_->AddGame(current_, error);
        ok = current_.id != 0;
      }
      ok = ok && store_->UpdateGame(current_, error);
    }
    const int64_t now = Now();
    ok = ok && store_->SetLease(run_, frames_, last ? 0 : now + LeaseSeconds, error);
    if (ok && (closed || last)) ok = store_->Prune(now, error);
    ok = ok && store_->Commit(error);
    if (!ok) {
      store_->Rollback();
      std::fprintf(stderr, "quillrun: cannot keep the games any more: %s\n", error.c_str());
      failed_ = true;
      return;
    }
    pending_.clear();
    if (frames_ - chunkFirst_ >= GameStore::ChunkFrames) {
      chunkFirst_ = frames_;
      chunk_.clear();
    }
  }

  // A run whose program was killed stops protecting its game in play after this long.
  static constexpr int64_t LeaseSeconds = 30;

  std::unique_ptr<GameStore> store_;
  int64_t run_;
  uint32_t frames_ = 0;
  uint32_t chunkFirst_ = 0;
  std::vector<uint8_t> chunk_;
  int previousState_ = Title;
  bool open_ = false;
  KeptGame current_;
  std::vector<KeptGame> pending_;
  bool failed_ = false;
};

}  // namespace

bool StartKeeping(uint32_t seed) {
  if (keeping) return true;
  std::string error;
  std::unique_ptr<GameStore> store = GameStore::Open(GameStore::DefaultPath(), error);
  int64_t run = 0;
  if (store) {
    if (store->Begin(error)) {
      run = store->AddRun(seed, RulesVersion, Now(), error);
      if (run && store->SetLease(run, 0, Now() + 30, error) && store->Prune(Now(), error) && store->Commit(error)) {
      } else {
        store->Rollback();
        run = 0;
      }
    }
  }
  if (!run) {
    std::fprintf(stderr, "quillrun: the games are not kept: %s\n", error.c_str());
    return false;
  }
  best = store->ReadBest();
  scoresLine = KeptScoresLine{};
  ShowBest();
  ShowKeptScores(&scoresLine);
  previousState = Title;
  ringHead.store(0);
  ringTail.store(0);
  ringOverflowed.store(false);
  stopWriter.store(false);
  writer = std::thread([writerState = std::make_shared<RunWriter>(std::move(store), run)] { writerState->Loop(); });
  keeping = true;
  keptRun = run;
  return true;
}

void KeepFrame(const FrameInput &input, const World &after) {
  if (!keeping) return;
  const uint32_t head = ringHead.load(std::memory_order_relaxed);
  if (head - ringTail.load(std::memory_order_acquire) >= RingFrames) {
    ringOverflowed.store(true, std::memory_order_release);
    return;
  }
  HandedFrame &frame = ring[head % RingFrames];
  frame.input = input;
  frame.score = after.score;
  frame.state = static_cast<int8_t>(after.GameState);
  frame.mode = static_cast<int8_t>(after.randomMode);
  frame.shield = after.Player.shield;
  ringHead.store(head + 1, std::memory_order_release);

  // A game's end is a new best when it beats the best of its mode kept before it; the
  // first game of a mode is no new best (nothing was kept to beat).
  if (after.GameState == Playing && previousState != Playing) scoresLine.newBest = false;
  if (previousState == Playing && after.GameState != Playing) {
    const int mode = after.randomMode == 1 ? 1 : 0;
    scoresLine.newBest = best.have[mode] && after.score > best.best[mode];
    if (!best.have[mode] || after.score > best.best[mode]) best.best[mode] = after.score;
    best.have[mode] = best.any = true;
    ShowBest();
  }
  previousState = after.GameState;
}

void StopKeeping() {
  if (!keeping) return;
  stopWriter.store(true, std::memory_order_release);
  writer.join();
  keeping = false;
  ShowKeptScores(nullptr);
}

bool Keeping() { return keeping; }

int64_t KeptRunId() { return keptRun; }

const KeptScoresLine *KeptScores() { return keeping ? &scoresLine : nullptr; }

#else

bool StartKeeping(uint32_t) { return false; }
void KeepFrame(const FrameInput &, const World &) {}
void StopKeeping() {}
bool Keeping() { return false; }
int64_t KeptRunId() { return 0; }
const KeptScoresLine *KeptScores() { return nullptr; }

#endif
