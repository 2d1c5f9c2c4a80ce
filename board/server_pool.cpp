#include "board/server_pool.h"

#include <algorithm>

#include "record/record_header.h"

bool OpenSubmission(const std::string &body, bool gzip, std::string &opened, SubmittedRecord &record,
                    Refusal &refusal, std::string &why) {
  if (!gzip) return ReadSubmittedRecord(body, record, refusal, why);
  return InflateBody(body, opened, refusal, why) && ReadSubmittedRecord(opened, record, refusal, why);
}

PlayPool::PlayPool(int workers, int queue, std::chrono::steady_clock::duration timeLimit)
    : workerCount_(std::max(workers, 1)), queueLimit_(static_cast<size_t>(std::max(queue, 0))), timeLimit_(timeLimit) {
  workers_.reserve(static_cast<size_t>(workerCount_));
  for (int i = 0; i < workerCount_; i++) workers_.emplace_back([this] { Work(); });
}

PlayPool::~PlayPool() { Close(); }

bool PlayPool::Play(std::string body, bool gzip, int64_t game, ProvenGame &proven, std::string &text,
                    Refusal &refusal, std::string &why, double &seconds) {
  seconds = 0;
  Job job;
  job.body = std::move(body);
  job.gzip = gzip;
  job.game = game;
  std::unique_lock<std::mutex> lock(mutex_);
  if (closing_) {
    refusal = Refusal::Busy;
    why = "the board is shutting down";
    return false;
  }
  // Games a free worker is about to take are not waiting: the limit counts the others.
  if (waiting_.size() >= queueLimit_ + static_cast<size_t>(workerCount_ - playing_)) {
    refusal = Refusal::Busy;
    why = "too many games are waiting to be played";
    return false;
  }
  waiting_.push_back(&job);
  work_.notify_one();
  done_.wait(lock, [&job] { return job.done; });
  proven = job.proven;
  text = std::move(job.text);
  refusal = job.refusal;
  why = std::move(job.why);
  seconds = job.seconds;
  return job.ok;
}

void PlayPool::Run(Job &job) {
  SubmittedRecord record;
  if (!OpenSubmission(job.body, job.gzip, job.text, record, job.refusal, job.why)) return;
  std::string().swap(job.body);
  std::string().swap(job.text);
  const auto start = std::chrono::steady_clock::now();
  job.ok = ProveGame(record, job.game, job.proven, job.refusal, job.why, start + timeLimit_);
  job.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // What the board keeps and serves is the game as the game itself exports one: the
  // run up to the game's last frame, with the frame it began on, so whoever watches it
  // sees that game and no other, and it reads the same as a kept game's --export.
  // It is kept as gzip: a run of two million idle frames is 24 MB of text, and tens of
  // kilobytes so.
  if (job.ok &&
      !GzipText(GameRecordText(record.rules, record.seed, job.proven.began, job.proven.ended, job.proven.score,
                               record.inputs.data()),
                job.text)) {
    job.ok = false;
    job.refusal = Refusal::Busy;
    job.why = "the board could not compress the game";
  }
}

void PlayPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // closing, nothing left
    Job &job = *waiting_.front();
    waiting_.pop_front();
    playing_++;
    lock.unlock();
    Run(job);
    lock.lock();
    playing_--;
    job.done = true;
    done_.notify_all();
  }
}

void PlayPool::Close() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    for (Job *job : waiting_) {
      job->ok = false;
      job->refusal = Refusal::Busy;
      job->why = "the board is shutting down";
      job->done = true;
    }
    done_.notify_all();
    waiting_.clear();
    workers.swap(workers_);
  }
  work_.notify_all();
  for (std::thread &worker : workers) worker.join();
}

int PlayPool::Playing() {
  std::lock_guard<std::mutex> lock(mutex_);
  return playing_;
}

int PlayPool::Waiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(waiting_.size());
}
