// quillrun-board: the leaderboard server. Listens until SIGTERM or SIGINT, then stops
// taking connections, lets the games being played finish and exits 0.
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <sys/resource.h>

#include "board/db.h"
#include "board/server.h"

int main(int argc, char **argv) {
  BoardOptions options;
  bool help = false;
  std::string error;
  if (!ParseBoardOptions(argc, argv, options, help, error)) {
    fprintf(stderr, "quillrun-board: %s\n%s", error.c_str(), BoardUsage());
    return 2;
  }
  if (help) {
    fputs(BoardUsage(), stdout);
    return 0;
  }
  if (!options.backup.empty()) {
    if (!BackupBoard(options.db, options.backup, error)) {
      fprintf(stderr, "quillrun-board: %s\n", error.c_str());
      return 1;
    }
    printf("quillrun-board: copied %s to %s\n", options.db.c_str(), options.backup.c_str());
    return 0;
  }

  // The signals are taken by this thread alone, with sigwait: every thread started
  // from here on has them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // A connection is a file: as many as the system lets this process have, for the
  // board's thousand connections and its databases' files.
  rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  std::unique_ptr<BoardServer> server = BoardServer::Start(options, error);
  if (!server) {
    fprintf(stderr, "quillrun-board: %s\n", error.c_str());
    return 1;
  }
  printf("quillrun-board: listening on %s\n", server->Url().c_str());
  fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  fprintf(stderr, "quillrun-board: %s, stopping\n", received == SIGINT ? "SIGINT" : "SIGTERM");
  server->Stop();
  return 0;
}
