// The board's HTTP side: starting it, requests as libmicrohttpd hands them in (a
// submission's size checked while it arrives, then routed or played), and a stop that
// lets games in play finish. The routes are in server_routes.cpp, the checks a
// submission goes through in order in server_submit.cpp.
#include "board/server_state.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <tuple>

#include "board/db.h"
#include "board/server_metrics.h"
#include "board/server_parts.h"
#include "board/server_pool.h"
#include "board/server_watch.h"
#include "board/verify.h"
#include "world/rules.h"

using Json = nlohmann::json;

// Games kept before fingerprints were get theirs in the background, one at a time,
// each played again from its recording as kept (a copy among them keeps none: the
// earlier game has the key). Until then a copy of one of them is not known as one.
void BoardServer::State::FingerprintOld() {
  int64_t after = 0;
  long done = 0;
  std::vector<int64_t> ids;
  std::string error;
  while (!stopping && db->Unfingerprinted(after, 16, ids, error) && !ids.empty()) {
    for (const int64_t id : ids) {
      if (stopping) break;
      after = id;
      BoardGame game;
      std::string kept, opened, why;
      bool found = false;
      Refusal refusal = Refusal::None;
      SubmittedRecord record;
      ProvenGame proven;
      if (!db->Game(id, game, &kept, &found, error) || !found ||
          (IsGzip(kept) && !InflateBody(kept, opened, refusal, why)) ||
          !ReadSubmittedRecord(IsGzip(kept) ? opened : kept, record, refusal, why) ||
          !ProveGame(record, game.began, proven, refusal, why, std::chrono::steady_clock::time_point::max(),
                     &stopping))
        continue;
      if (db->AddFingerprints(id, proven.fingerprints, error)) done++;
    }
  }
  if (!error.empty())
    fprintf(stderr, "quillrun-board: cannot fingerprint the games kept before: %s\n", error.c_str());
  if (done > 0 && options.log) fprintf(stderr, "quillrun-board: fingerprinted %ld games kept before\n", done);
}

MHD_Result BoardServer::State::Handle(void *cls, MHD_Connection *connection, const char *url, const char *method,
                         const char *, const char *upload, size_t *uploadSize, void **requestSlot) {
  State &state = *static_cast<State *>(cls);
  auto *request = static_cast<Request *>(*requestSlot);
  if (!request) {   // made when its first line came (RequestStarts); never otherwise
    request = new Request;
    *requestSlot = request;
  }
  ConnectionWatch::Entry *watched = WatchedOf(connection);
  if (!request->begun) {
    // The headers are in. Answers wait for the whole request (even an empty body):
    // one given before it is all in closes the connection after it.
    request->begun = true;
    state.watch->HeadersIn(watched);
    {
      std::lock_guard<std::mutex> lock(state.activeMutex);
      state.active++;
    }
    if (request->badPath || strcmp(url, "/api/games") != 0 || strcmp(method, MHD_HTTP_METHOD_POST) != 0)
      return MHD_YES;
    request->submission = true;
    // A body said to be too large is refused before it is sent when the client waits
    // for a go-ahead (Expect: 100-continue). One already on its way is read to its end
    // and thrown away, nothing of it kept: a client still sending when the connection
    // closes on it would see a broken pipe instead of the answer. Only a body too large
    // even to throw away is cut off at once.
    const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    const char *expect = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_EXPECT);
    int64_t bytes = 0;
    if (length && ParseDecimal(length, strlen(length), INT64_MAX / 10, bytes) &&
        bytes > static_cast<int64_t>(BoardMaxBody)) {
      if ((expect && strcasecmp(expect, "100-continue") == 0) || bytes > static_cast<int64_t>(DrainLimit)) {
        return state.Refuse(connection, method, url, *request, Refusal::TooLarge,
                            "the body is over " + std::to_string(BoardMaxBody) + " bytes");
      }
      request->tooLarge = true;
    }
    return MHD_YES;
  }
  if (*uploadSize != 0) {
    // More of the body. Past the limit nothing more is kept, and a body that goes on
    // past what is worth throwing away is cut off. Only a submission's is kept at all.
    if (request->submission && !request->tooLarge && request->body.size() + *uploadSize > BoardMaxBody) {
      request->tooLarge = true;
      state.Release(*request);
    }
    if (request->submission && !request->tooLarge && !request->overBudget) {
      if (state.bodies.fetch_add(*uploadSize) + *uploadSize > BodyBudget) {
        state.bodies.fetch_sub(*uploadSize);
        request->overBudget = true;
        state.Release(*request);
      } else {
        request->held += *uploadSize;
        request->body.append(upload, *uploadSize);
      }
    }
    request->received += *uploadSize;
    // A body trickling in below the lowest rate is cut, as is one past what is worth
    // throwing away.
    if (!state.watch->Body(watched, *uploadSize)) return MHD_NO;
    *uploadSize = 0;
    return request->received > (request->submission ? DrainLimit : BoardMaxBody) ? MHD_NO : MHD_YES;
  }
  state.watch->RequestIn(watched);
  if (state.stopping) {
    return state.SendError(connection, method, url, *request, MHD_HTTP_SERVICE_UNAVAILABLE, "busy",
                           "the board is shutting down", {{MHD_HTTP_HEADER_RETRY_AFTER, "10"}});
  }
  if (!request->submission) return state.Route(connection, method, url, *request);
  return state.Submit(connection, method, url, *request);
}

// libmicrohttpd's own messages (a port taken, a connection gone wrong), as the board's.
void BoardServer::State::LibraryLog(void *cls, const char *format, va_list arguments) {
  if (!static_cast<State *>(cls)->options.log) return;
  char text[512];
  vsnprintf(text, sizeof text, format, arguments);
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = '\0';
  fprintf(stderr, "quillrun-board: %s\n", text);
}

// A request's first line is in: its target as sent, before libmicrohttpd reads its
// %XX into the C string the handler gets (where a %00 would end it).
void *BoardServer::State::RequestStarts(void *, const char *target, MHD_Connection *) {
  auto *request = new Request;
  request->badPath = PathHasControl(target);
  return request;
}

ConnectionWatch::Entry *BoardServer::State::WatchedOf(MHD_Connection *connection) {
  const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? static_cast<ConnectionWatch::Entry *>(info->socket_context) : nullptr;
}

// A connection opens (watched from now on, and cut at once past its address's share)
// or closes.
void BoardServer::State::ConnectionChanged(void *cls, MHD_Connection *connection, void **socketContext,
                              MHD_ConnectionNotificationCode code) {
  State &state = *static_cast<State *>(cls);
  if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
    state.watch->Closed(static_cast<ConnectionWatch::Entry *>(*socketContext));
    *socketContext = nullptr;
    return;
  }
  const MHD_ConnectionInfo *fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  const MHD_ConnectionInfo *peer = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!fd) return;
  *socketContext = state.watch->Opened(fd->connect_fd, peer ? SocketAddress(peer->client_addr) : "");
}

void BoardServer::State::Completed(void *cls, MHD_Connection *connection, void **requestSlot, MHD_RequestTerminationCode) {
  State &state = *static_cast<State *>(cls);
  state.watch->Answered(WatchedOf(connection));
  auto *request = static_cast<Request *>(*requestSlot);
  if (!request) return;
  state.Release(*request);
  const bool begun = request->begun;
  delete request;
  *requestSlot = nullptr;
  if (!begun) return;
  std::lock_guard<std::mutex> lock(state.activeMutex);
  state.active--;
  state.activeDone.notify_all();
}


BoardServer::BoardServer(std::unique_ptr<State> state) : state_(std::move(state)) {}

BoardServer::~BoardServer() { Stop(); }

int BoardServer::Port() const { return state_->port; }

std::string BoardServer::Url() const { return state_->url; }

int BoardServer::Playing() const { return state_->pool->Playing(); }

int BoardServer::Waiting() const { return state_->pool->Waiting(); }

int BoardServer::Connections() const { return state_->watch ? state_->watch->Open() : 0; }

std::unique_ptr<BoardServer> BoardServer::Start(const BoardOptions &options, std::string &error) {
  auto state = std::make_unique<State>();
  State &s = *state;
  s.options = options;
  for (std::string &address : s.options.trustProxy) {
    std::string canonical = CanonicalAddress(address);
    if (canonical.empty()) {
      error = "not an address to trust: " + address;
      return nullptr;
    }
    address = canonical;
  }
  if (!options.web.empty()) {
    char *real = realpath(options.web.c_str(), nullptr);
    if (!real) {
      error = "cannot open the folder " + options.web + ": " + strerror(errno);
      return nullptr;
    }
    s.webRoot = real;
    free(real);
  }

  // The address to listen on.
  sockaddr_storage address{};
  bool ipv6 = false;
  {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET, options.bind.c_str(), &v4.sin_addr) == 1) {
      v4.sin_family = AF_INET;
      v4.sin_port = htons(static_cast<uint16_t>(options.port));
      memcpy(&address, &v4, sizeof v4);
    } else if (inet_pton(AF_INET6, options.bind.c_str(), &v6.sin6_addr) == 1) {
      v6.sin6_family = AF_INET6;
      v6.sin6_port = htons(static_cast<uint16_t>(options.port));
      memcpy(&address, &v6, sizeof v6);
      ipv6 = true;
    } else {
      error = "not an address to listen on: " + options.bind;
      return nullptr;
    }
  }

  s.db = BoardDb::Open(options.db, error);
  if (!s.db) return nullptr;

  int workers = options.workers > 0 ? options.workers : static_cast<int>(std::thread::hardware_concurrency());
  auto limit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(options.timeLimit));
  workers = std::max(workers, 1);
  s.pool = std::make_unique<PlayPool>(workers, options.queue, limit);
  s.openings = std::make_unique<Turns>(std::max(workers, 2));

  s.watch = std::make_unique<ConnectionWatch>(
      WatchLimits{options.perAddress, options.headerSeconds, static_cast<size_t>(options.bodyRate)},
      s.options.trustProxy);

  unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ITC | MHD_USE_AUTO;
  if (ipv6) flags |= MHD_USE_IPv6;
  flags |= MHD_USE_ERROR_LOG;
  errno = 0;
  s.daemon = MHD_start_daemon(
      flags, static_cast<uint16_t>(options.port), nullptr, nullptr, &State::Handle, &s,
      MHD_OPTION_EXTERNAL_LOGGER, &State::LibraryLog, &s,
      MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr *>(&address),
      MHD_OPTION_CONNECTION_LIMIT, 1024u,
      // Silent connections go after this long; a connection waiting on its game is not
      // silent in this sense (its thread is in the handler). The watch's deadlines are
      // the tighter ones.
      MHD_OPTION_CONNECTION_TIMEOUT, 30u,
      MHD_OPTION_NOTIFY_COMPLETED, &State::Completed, &s,
      MHD_OPTION_URI_LOG_CALLBACK, &State::RequestStarts, &s,
      MHD_OPTION_NOTIFY_CONNECTION, &State::ConnectionChanged, &s,
      MHD_OPTION_END);
  if (!s.daemon) {
    int code = errno;
    error = "cannot listen on " + options.bind + " port " + std::to_string(options.port) +
            (code ? std::string(": ") + strerror(code) : std::string());
    s.pool->Close();
    return nullptr;
  }
  s.fingerprinter = std::thread([&s] { s.FingerprintOld(); });
  const MHD_DaemonInfo *info = MHD_get_daemon_info(s.daemon, MHD_DAEMON_INFO_BIND_PORT);
  s.port = info && info->port ? info->port : options.port;
  s.url = "http://" + (ipv6 ? "[" + options.bind + "]" : options.bind) + ":" + std::to_string(s.port) + "/";
  return std::unique_ptr<BoardServer>(new BoardServer(std::move(state)));
}

void BoardServer::Stop() {
  if (!state_) return;
  State &s = *state_;
  std::lock_guard<std::mutex> stopLock(s.stopMutex);
  if (s.stopped) return;
  s.stopped = true;
  s.stopping = true;
  // No new connections; requests on open ones are answered 503 from now on.
  MHD_socket listening = MHD_quiesce_daemon(s.daemon);
  // The games being played finish; the ones waiting are answered Busy.
  s.pool->Close();
  // Their answers go out before the connections close (a client stuck sending a body
  // is not waited for long).
  {
    std::unique_lock<std::mutex> lock(s.activeMutex);
    s.activeDone.wait_for(lock, std::chrono::seconds(10), [&s] { return s.active == 0; });
  }
  MHD_stop_daemon(s.daemon);
  s.daemon = nullptr;
  s.watch.reset();
  if (s.fingerprinter.joinable()) s.fingerprinter.join();
  if (listening != MHD_INVALID_SOCKET) close(listening);
  s.db.reset();
}
