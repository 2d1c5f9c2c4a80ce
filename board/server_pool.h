// The games waiting to be played and the threads playing them. Proving a game is the
// costly part of a submission (up to millions of frames), so a fixed number of workers
// play them, a bounded queue holds the ones waiting, and a submission finding the queue
// full is turned away at once (Busy) instead of piling up. Each game is cut when it has
// played longer than the time limit (TooSlow), counted from the moment a worker takes it.
//
// A waiting game holds only its body as sent (at most BoardMaxBody, a few kilobytes
// when gzipped): the worker opens and reads it again before playing, so a queue full of
// recordings that open to forty megabytes each costs little memory while it waits.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/verify.h"

// Opens a submission's body (gzip when `gzip`, into `opened`; else the body is the
// text) and reads its recording. False with the refusal and the reason.
bool OpenSubmission(const std::string &body, bool gzip, std::string &opened, SubmittedRecord &record,
                    Refusal &refusal, std::string &why);

// At most `count` holders at once; the others wait their turn.
class Turns {
 public:
  explicit Turns(int count) : free_(count) {}
  void Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [this] { return free_ > 0; });
    free_--;
  }
  void Give() {
    std::lock_guard<std::mutex> lock(mutex_);
    free_++;
    freed_.notify_one();
  }
  struct Held {
    explicit Held(Turns &turns) : turns_(turns) { turns_.Take(); }
    ~Held() { turns_.Give(); }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    Turns &turns_;
  };

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  int free_;
};

class PlayPool {
 public:
  PlayPool(int workers, int queue, std::chrono::steady_clock::duration timeLimit);
  PlayPool(const PlayPool &) = delete;
  PlayPool &operator=(const PlayPool &) = delete;
  ~PlayPool();

  // Opens, reads and plays the submission on a worker and waits for it: ProveGame's
  // answer and the game's text as the board keeps it (the run up to the game's end, as
  // GameRecordText writes it, in gzip), or Busy at once when the queue is full or the pool is
  // closing.
  // `seconds` is how long the game took to play (0 when it was never played).
  bool Play(std::string body, bool gzip, int64_t game, ProvenGame &proven, std::string &text, Refusal &refusal,
            std::string &why, double &seconds);

  // Takes no more games, answers the ones still waiting with Busy, lets the ones being
  // played finish and joins the workers. Safe to call twice.
  void Close();

  // The games being played and the ones waiting, now.
  int Playing();
  int Waiting();

 private:
  struct Job {
    std::string body;
    bool gzip = false;
    int64_t game = -1;
    ProvenGame proven;
    std::string text;
    Refusal refusal = Refusal::None;
    std::string why;
    double seconds = 0;
    bool ok = false;
    bool done = false;
  };
  void Work();
  void Run(Job &job);

  const int workerCount_;
  const size_t queueLimit_;
  const std::chrono::steady_clock::duration timeLimit_;
  std::mutex mutex_;
  std::condition_variable work_;   // a job came, or the pool is closing
  std::condition_variable done_;   // a job is done
  std::deque<Job *> waiting_;
  int playing_ = 0;
  bool closing_ = false;
  std::vector<std::thread> workers_;
};
