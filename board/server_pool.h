// The games waiting to be played and the threads playing them. Proving a game is the
// costly part of a submission (up to millions of frames), so a fixed number of workers
// play them, a bounded queue holds the ones waiting, and a submission finding the queue
// full is turned away at once (Busy) instead of piling up. Each game is cut when it has
// played longer than the time limit (TooSlow), counted from the moment a worker takes it.
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

class PlayPool {
 public:
  PlayPool(int workers, int queue, std::chrono::steady_clock::duration timeLimit);
  PlayPool(const PlayPool &) = delete;
  PlayPool &operator=(const PlayPool &) = delete;
  ~PlayPool();

  // Plays the record's game on a worker and waits for it: ProveGame's answer, or Busy
  // at once when the queue is full or the pool is closing.
  bool Play(const SubmittedRecord &record, int64_t game, ProvenGame &proven, Refusal &refusal, std::string &why);

  // Takes no more games, answers the ones still waiting with Busy, lets the ones being
  // played finish and joins the workers. Safe to call twice.
  void Close();

  // The games being played and the ones waiting, now.
  int Playing();
  int Waiting();

 private:
  struct Job {
    const SubmittedRecord *record;
    int64_t game;
    ProvenGame proven;
    Refusal refusal = Refusal::None;
    std::string why;
    bool ok = false;
    bool done = false;
  };
  void Work();
  void Finish(Job &job);

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
