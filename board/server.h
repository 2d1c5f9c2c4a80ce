// The leaderboard over HTTP: games submitted as recordings are played again here and
// kept with the score the board computed, and the boards are served as JSON and as a
// page. GNU libmicrohttpd runs the connections, one thread each; the games themselves
// are played by a fixed pool of workers (board/server_pool.h).
//
//   POST /api/games?name=NAME[&game=N]  a recording (text, or gzip) -> 201 and the game
//   GET  /api/top?mode=normal|random[&limit=N][&rules=R]
//   GET  /api/games/ID                  the recording as kept
//   GET  /                              both boards of the current rules as a page
//   GET  /metrics                       for the addresses of --metrics-from
//   GET  /play/...                      the browser build, with --web DIR
#pragma once
#include <memory>
#include <string>
#include <vector>

struct BoardOptions {
  std::string db;                       // a SQLite file, or a postgresql:// URI
  int port = 0;                         // 0 asks for any free port
  std::string bind = "0.0.0.0";         // the address to listen on (IPv4 or IPv6)
  std::string web;                      // the browser build's folder; empty: no /play/
  std::vector<std::string> trustProxy;  // peers whose X-Forwarded-For is believed
  int workers = 0;                      // games played at once; 0: one per core
  int queue = 256;                      // games waiting for a worker, at most
  double timeLimit = 60;                // seconds one game may take to play
  int rate = 10;                        // submissions per address per window
  int rateWindow = 60;                  // the window's length in seconds
  int topSeconds = 1;                   // how long a /api/top list is answered again (0: never)
  int perAddress = 32;                  // connections one address may hold (0: any number)
  double headerSeconds = 10;            // for a request's header; then a body's rate counts
  int bodyRate = 1024;                  // bytes a second a body must average after that
  // Who may read GET /metrics (the client as Client() finds it): CIDRs or addresses.
  std::vector<std::string> metricsFrom = {"127.0.0.0/8", "::1"};
  std::string backup;                   // --backup FILE: copy the database there and exit
  bool log = true;                      // one line per request on stderr
};

// The command line into options. False with the error (or with *help set for --help).
bool ParseBoardOptions(int argc, char **argv, BoardOptions &options, bool &help, std::string &error);
const char *BoardUsage();

class BoardServer {
 public:
  // Opens the database, starts the workers and listens. Null with the reason.
  static std::unique_ptr<BoardServer> Start(const BoardOptions &options, std::string &error);
  BoardServer(const BoardServer &) = delete;
  BoardServer &operator=(const BoardServer &) = delete;
  ~BoardServer();

  // The port listened on (the one given, or the one the system chose for 0).
  int Port() const;
  // "http://ADDR:PORT/".
  std::string Url() const;

  // The games being played now, the ones waiting for a worker, the connections open.
  int Playing() const;
  int Waiting() const;
  int Connections() const;

  // Takes no more connections or submissions, lets the games being played finish and
  // their answers go out, then closes everything. Safe to call twice.
  void Stop();

  struct State;

 private:
  explicit BoardServer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};
