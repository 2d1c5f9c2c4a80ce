// The quit signals' handler and the end by the caught signal (see signals.h).
#include "platform/kernel32/signals.h"

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t caught = 0;

void NoteQuitSignal(int signal) {
  if (caught == 0) caught = signal;
}

constexpr int QuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

void InstallQuitSignals() {
  struct sigaction action = {};
  action.sa_handler = NoteQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : QuitSignals) {
    // A signal ignored from the start stays ignored: nohup, or a background job of a
    // shell, asked for that.
    struct sigaction before = {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int QuitSignal() { return caught; }

void EndByQuitSignal() {
  const int signal = caught;
  if (signal == 0) return;
  std::fflush(nullptr);
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal);
}
