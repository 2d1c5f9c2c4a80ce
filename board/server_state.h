// The board server's state and the parts of its work, each defined in a file of its
// own: server.cpp (starting, stopping, and requests as libmicrohttpd hands them in),
// server_answers.cpp (responses and the client they go to), server_routes.cpp (the
// pages and lists read) and server_submit.cpp (a game sent to be kept).
#pragma once
#include <microhttpd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

#include "board/db.h"
#include "board/server.h"
#include "board/server_metrics.h"
#include "board/server_pool.h"
#include "board/server_watch.h"
#include "board/verify.h"

using Json = nlohmann::json;


inline constexpr const char *JsonType = "application/json; charset=utf-8";
inline constexpr const char *TextType = "text/plain; charset=utf-8";
inline constexpr const char *HtmlType = "text/html; charset=utf-8";
// A game on the page's two boards and the most /api/top gives.
inline constexpr int PageGames = 100;
inline constexpr int TopLimit = 100;
// Bodies held at once, arriving or waiting for their game, all connections together:
// a thousand connections each sending four megabytes would otherwise take four gigabytes.
// A game's body is tens of kilobytes in gzip.
inline constexpr size_t BodyBudget = 16 * BoardMaxBody;
// Recordings being sent at once, as kept (gzip), all connections together. Past it a
// download is answered 503 at once.
inline constexpr size_t AnswerBudget = 64u << 20;
// A body over BoardMaxBody is still read to its end (and thrown away) up to this size,
// so the client gets its 413.
inline constexpr size_t DrainLimit = 16 * BoardMaxBody;

// One request while it is handled: the body of a submission as it arrives.
struct Request {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  bool begun = false;       // its headers are in and the handler has seen it
  bool badPath = false;     // a control character in its path: no such path
  bool submission = false;
  bool tooLarge = false;
  bool overBudget = false;  // the board holds as many bodies as it will
  size_t received = 0;
  size_t held = 0;          // bytes counted against BodyBudget until the request ends
  std::string body;
};

inline std::string Text(const Json &json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

struct BoardServer::State {
  BoardOptions options;
  std::string webRoot;  // the real path of --web, empty without it
  std::unique_ptr<BoardDb> db;
  std::unique_ptr<PlayPool> pool;
  std::unique_ptr<Turns> openings;  // connections opening a body at once
  std::unique_ptr<ConnectionWatch> watch;
  BoardMetrics metrics;
  std::thread fingerprinter;   // games kept before fingerprints were get theirs
  MHD_Daemon *daemon = nullptr;
  int port = 0;
  std::string url;

  std::atomic<bool> stopping{false};
  std::atomic<size_t> bodies{0};  // bytes of bodies held, against BodyBudget
  std::atomic<size_t> answers{0}; // bytes of recordings being sent, against AnswerBudget

  // The lists /api/top answered lately. A board is read far more often than a game is
  // added to it, so an answer is given again for up to --top-cache seconds; a game this
  // process adds makes every list stale at once, and one another process adds to a
  // shared database shows within those seconds.
  struct TopAnswer {
    std::string text;
    std::chrono::steady_clock::time_point made;
    uint64_t generation = 0;
  };
  std::mutex topMutex;
  std::map<std::tuple<int, int64_t, int64_t>, TopAnswer> topAnswers;
  std::atomic<uint64_t> generation{0};   // raised by every game this process adds
  std::mutex stopMutex;
  bool stopped = false;
  // Requests begun and not yet answered, so a stop can wait for their answers.
  std::mutex activeMutex;
  std::condition_variable activeDone;
  int active = 0;

  // ---- Requests as libmicrohttpd hands them in (server.cpp) ----
  // Games kept before fingerprints were get theirs in the background, one at a time,
  // each played again from its recording as kept (a copy among them keeps none: the
  // earlier game has the key). Until then a copy of one of them is not known as one.
  void FingerprintOld();
  static MHD_Result Handle(void *cls, MHD_Connection *connection, const char *url, const char *method,
                           const char *, const char *upload, size_t *uploadSize, void **requestSlot);
  // libmicrohttpd's own messages (a port taken, a connection gone wrong), as the board's.
  static void LibraryLog(void *cls, const char *format, va_list arguments);
  // A request's first line is in: its target as sent, before libmicrohttpd reads its
  // %XX into the C string the handler gets (where a %00 would end it).
  static void *RequestStarts(void *, const char *target, MHD_Connection *);
  static ConnectionWatch::Entry *WatchedOf(MHD_Connection *connection);
  // A connection opens (watched from now on, and cut at once past its address's share)
  // or closes.
  static void ConnectionChanged(void *cls, MHD_Connection *connection, void **socketContext,
                                MHD_ConnectionNotificationCode code);
  static void Completed(void *cls, MHD_Connection *connection, void **requestSlot, MHD_RequestTerminationCode);

  // ---- Answers (server_answers.cpp) ----
  void Log(MHD_Connection *connection, const char *method, const char *url, int status, const Request &request);
  MHD_Result Send(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                  MHD_Response *response, const char *type);
  MHD_Result SendText(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                      std::string text, const char *type,
                      std::initializer_list<std::pair<const char *, std::string>> headers = {});
  MHD_Result SendJson(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                      const Json &json, std::initializer_list<std::pair<const char *, std::string>> headers = {});
  MHD_Result SendError(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                       const char *error, const std::string &reason,
                       std::initializer_list<std::pair<const char *, std::string>> headers = {});
  MHD_Result Refuse(MHD_Connection *connection, const char *method, const char *url, Request &request,
                    Refusal refusal, const std::string &why);
  MHD_Result DatabaseFailed(MHD_Connection *connection, const char *method, const char *url, Request &request,
                            const std::string &error);
  std::string Client(MHD_Connection *connection);
  // A query value as sent (it may hold a zero byte); false when it is not there.
  static bool Argument(MHD_Connection *connection, const char *key, std::string &value);

  // ---- What is read (server_routes.cpp) ----
  MHD_Result Route(MHD_Connection *connection, const char *method, const char *url, Request &request);
  MHD_Result Page(MHD_Connection *connection, const char *method, const char *url, Request &request);
  MHD_Result Top(MHD_Connection *connection, const char *method, const char *url, Request &request);
  MHD_Result Metrics(MHD_Connection *connection, const char *method, const char *url, Request &request);
  MHD_Result Recording(MHD_Connection *connection, const char *method, const char *url, Request &request,
                       const std::string &idText);
  MHD_Result WebFile(MHD_Connection *connection, const char *method, const char *url, Request &request,
                     const std::string &path);

  // ---- A submission, once its body is all in (server_submit.cpp) ----
  MHD_Result Submit(MHD_Connection *connection, const char *method, const char *url, Request &request);
  // Lets go of a request's body and its share of the budget.
  void Release(Request &request);
};
