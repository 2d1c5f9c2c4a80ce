// The board's HTTP side: the routes, the checks a submission goes through in order
// (its size while it arrives, the name, the address's share, the body opened and read,
// the game played on a worker, then kept), and a stop that lets games in play finish.
#include "board/server.h"

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

namespace {

constexpr const char *JsonType = "application/json; charset=utf-8";
constexpr const char *TextType = "text/plain; charset=utf-8";
constexpr const char *HtmlType = "text/html; charset=utf-8";
// A game on the page's two boards and the most /api/top gives.
constexpr int PageGames = 100;
constexpr int TopLimit = 100;
// Bodies held at once, arriving or waiting for their game, all connections together:
// a thousand connections each sending four megabytes would otherwise take four gigabytes.
// A game's body is tens of kilobytes in gzip.
constexpr size_t BodyBudget = 16 * BoardMaxBody;
// Recordings being sent at once, as kept (gzip), all connections together. Past it a
// download is answered 503 at once.
constexpr size_t AnswerBudget = 64u << 20;
// A body over BoardMaxBody is still read to its end (and thrown away) up to this size,
// so the client gets its 413.
constexpr size_t DrainLimit = 16 * BoardMaxBody;

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

std::string Text(const Json &json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

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

  // Games kept before fingerprints were get theirs in the background, one at a time,
  // each played again from its recording as kept (a copy among them keeps none: the
  // earlier game has the key). Until then a copy of one of them is not known as one.
  void FingerprintOld() {
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

  // ---- answers ----
  void Log(MHD_Connection *connection, const char *method, const char *url, int status, const Request &request) {
    if (!options.log) return;
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - request.start).count();
    // A path is the client's text: only printable ASCII goes to the log, and not much of it.
    std::string path;
    for (const char *c = url; *c && path.size() < 120; c++) path += (*c >= 32 && *c < 127) ? *c : '?';
    std::string method_;
    for (const char *c = method; *c && method_.size() < 16; c++) method_ += (*c >= 32 && *c < 127) ? *c : '?';
    fprintf(stderr, "%s %s %s %d %.0fms\n", Client(connection).c_str(), method_.c_str(), path.c_str(), status, ms);
  }

  MHD_Result Send(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                  MHD_Response *response, const char *type) {
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    if (stopping) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    Log(connection, method, url, status, request);
    return result;
  }

  MHD_Result SendText(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                      std::string text, const char *type,
                      std::initializer_list<std::pair<const char *, std::string>> headers = {}) {
    // The response keeps its own copy of the text until it is sent.
    auto *kept = new std::string(std::move(text));
    MHD_Response *response = MHD_create_response_from_buffer_with_free_callback_cls(
        kept->size(), kept->data(), [](void *cls) { delete static_cast<std::string *>(cls); }, kept);
    if (!response) {
      delete kept;
      return MHD_NO;
    }
    for (const auto &header : headers) MHD_add_response_header(response, header.first, header.second.c_str());
    return Send(connection, method, url, request, status, response, type);
  }

  MHD_Result SendJson(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                      const Json &json, std::initializer_list<std::pair<const char *, std::string>> headers = {}) {
    return SendText(connection, method, url, request, status, Text(json) + "\n", JsonType, headers);
  }

  MHD_Result SendError(MHD_Connection *connection, const char *method, const char *url, Request &request, int status,
                       const char *error, const std::string &reason,
                       std::initializer_list<std::pair<const char *, std::string>> headers = {}) {
    return SendJson(connection, method, url, request, status, Json{{"error", error}, {"reason", reason}}, headers);
  }

  MHD_Result Refuse(MHD_Connection *connection, const char *method, const char *url, Request &request,
                    Refusal refusal, const std::string &why) {
    metrics.Refused(refusal);
    int status = RefusalStatus(refusal);
    if (refusal == Refusal::TooMany) {
      return SendError(connection, method, url, request, status, RefusalName(refusal), why,
                       {{MHD_HTTP_HEADER_RETRY_AFTER, std::to_string(options.rateWindow)}});
    }
    if (refusal == Refusal::Busy) {
      long seconds = std::clamp(static_cast<long>(std::ceil(options.timeLimit)), 1L, 60L);
      return SendError(connection, method, url, request, status, RefusalName(refusal), why,
                       {{MHD_HTTP_HEADER_RETRY_AFTER, std::to_string(seconds)}});
    }
    return SendError(connection, method, url, request, status, RefusalName(refusal), why);
  }

  MHD_Result DatabaseFailed(MHD_Connection *connection, const char *method, const char *url, Request &request,
                            const std::string &error) {
    fprintf(stderr, "quillrun-board: the database failed: %s\n", error.c_str());
    return SendError(connection, method, url, request, MHD_HTTP_INTERNAL_SERVER_ERROR, "internal",
                     "the board's database failed");
  }

  // ---- the client ----
  std::string Client(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    std::string peer = info ? SocketAddress(info->client_addr) : "";
    if (options.trustProxy.empty()) return peer;
    std::vector<std::string> forwarded;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void *cls, MHD_ValueKind, const char *key, const char *value) {
          if (key && value && strcasecmp(key, "X-Forwarded-For") == 0) {
            static_cast<std::vector<std::string> *>(cls)->push_back(value);
          }
          return MHD_YES;
        },
        &forwarded);
    return ForwardedClient(peer, forwarded, options.trustProxy);
  }

  // A query value as sent (it may hold a zero byte); false when it is not there.
  static bool Argument(MHD_Connection *connection, const char *key, std::string &value) {
    const char *text = nullptr;
    size_t length = 0;
    if (MHD_lookup_connection_value_n(connection, MHD_GET_ARGUMENT_KIND, key, strlen(key), &text, &length) !=
        MHD_YES) {
      return false;
    }
    value.assign(text ? text : "", text ? length : 0);
    return true;
  }

  // ---- routes ----
  MHD_Result Route(MHD_Connection *connection, const char *method, const char *url, Request &request) {
    if (request.badPath)
      return SendError(connection, method, url, request, MHD_HTTP_NOT_FOUND, "not-found", "no such path");
    std::string path = url;
    bool get = strcmp(method, MHD_HTTP_METHOD_GET) == 0 || strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    auto wrongMethod = [&](const char *allowed) {
      return SendError(connection, method, url, request, MHD_HTTP_METHOD_NOT_ALLOWED, "method-not-allowed",
                       std::string("this path takes ") + allowed, {{MHD_HTTP_HEADER_ALLOW, allowed}});
    };
    if (path == "/api/games") return wrongMethod("POST");
    if (path == "/" || path == "/api/top" || path == "/metrics" || path.compare(0, 11, "/api/games/") == 0 ||
        (!webRoot.empty() && (path == "/play" || path.compare(0, 6, "/play/") == 0))) {
      if (!get) return wrongMethod("GET, HEAD");
    }
    if (path == "/") return Page(connection, method, url, request);
    if (path == "/metrics") return Metrics(connection, method, url, request);
    if (path == "/api/top") return Top(connection, method, url, request);
    if (path.compare(0, 11, "/api/games/") == 0) return Recording(connection, method, url, request, path.substr(11));
    if (!webRoot.empty() && path == "/play") {
      return SendText(connection, method, url, request, MHD_HTTP_MOVED_PERMANENTLY, "", TextType,
                      {{MHD_HTTP_HEADER_LOCATION, "/play/"}});
    }
    if (!webRoot.empty() && path.compare(0, 6, "/play/") == 0) {
      return WebFile(connection, method, url, request, path.substr(6));
    }
    return SendError(connection, method, url, request, MHD_HTTP_NOT_FOUND, "not-found", "nothing is at this path");
  }

  MHD_Result Page(MHD_Connection *connection, const char *method, const char *url, Request &request) {
    std::vector<BoardGame> normal, random;
    std::string error;
    if (!db->Top(0, RulesVersion, PageGames, normal, error) || !db->Top(1, RulesVersion, PageGames, random, error)) {
      return DatabaseFailed(connection, method, url, request, error);
    }
    return SendText(connection, method, url, request, MHD_HTTP_OK, BoardPage(normal, random, RulesVersion, !webRoot.empty()),
                    HtmlType,
                    {{"Cache-Control", "no-cache"},
                     {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"}});
  }

  MHD_Result Top(MHD_Connection *connection, const char *method, const char *url, Request &request) {
    auto bad = [&](const std::string &reason) {
      return SendError(connection, method, url, request, MHD_HTTP_BAD_REQUEST, "bad-request", reason);
    };
    std::string text;
    int mode = -1;
    if (Argument(connection, "mode", text)) mode = text == "normal" ? 0 : text == "random" ? 1 : -1;
    if (mode < 0) return bad("mode must be normal or random");
    int64_t limit = 10, rules = RulesVersion;
    if (Argument(connection, "limit", text) &&
        (!ParseDecimal(text.data(), text.size(), TopLimit, limit) || limit < 1)) {
      return bad("limit must be a number from 1 to " + std::to_string(TopLimit));
    }
    if (Argument(connection, "rules", text) && !ParseDecimal(text.data(), text.size(), INT_MAX, rules)) {
      return bad("rules must be a number");
    }
    const auto key = std::make_tuple(mode, limit, rules);
    const auto now = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::mutex> lock(topMutex);
      auto kept = topAnswers.find(key);
      if (kept != topAnswers.end() && kept->second.generation == generation.load() &&
          now - kept->second.made < std::chrono::seconds(options.topSeconds))
        return SendText(connection, method, url, request, MHD_HTTP_OK, kept->second.text, JsonType,
                        {{"Cache-Control", "no-cache"}});
    }
    const uint64_t asOf = generation.load();
    std::vector<BoardGame> games;
    std::string error;
    if (!db->Top(mode, static_cast<int>(rules), static_cast<int>(limit), games, error)) {
      return DatabaseFailed(connection, method, url, request, error);
    }
    Json list = Json::array();
    int64_t place = 0;
    for (const BoardGame &game : games) {
      list.push_back({{"place", ++place},
                      {"id", game.id},
                      {"name", game.name},
                      {"score", game.score},
                      {"end", game.end},
                      {"frames", game.frames},
                      {"submitted", game.submitted},
                      {"url", "/api/games/" + std::to_string(game.id)}});
    }
    std::string answer = Text(Json{{"mode", mode == 0 ? "normal" : "random"}, {"rules", rules}, {"games", list}}) + "\n";
    {
      std::lock_guard<std::mutex> lock(topMutex);
      // A few lists at most: the modes, the limits and the rules asked for.
      if (topAnswers.size() >= 64) topAnswers.clear();
      topAnswers[key] = TopAnswer{answer, now, asOf};
    }
    return SendText(connection, method, url, request, MHD_HTTP_OK, std::move(answer), JsonType,
                    {{"Cache-Control", "no-cache"}});
  }

  MHD_Result Metrics(MHD_Connection *connection, const char *method, const char *url, Request &request) {
    const std::string client = Client(connection);
    bool allowed = false;
    for (const std::string &cidr : options.metricsFrom) allowed = allowed || InCidr(client, cidr);
    if (!allowed)
      return SendError(connection, method, url, request, MHD_HTTP_FORBIDDEN, "forbidden",
                       "the metrics are for the addresses of --metrics-from");
    return SendText(connection, method, url, request, MHD_HTTP_OK,
                    metrics.Text(pool->Waiting(), pool->Playing(), watch->Open(), watch->Cut()),
                    "text/plain; version=0.0.4; charset=utf-8", {{"Cache-Control", "no-store"}});
  }

  MHD_Result Recording(MHD_Connection *connection, const char *method, const char *url, Request &request,
                       const std::string &idText) {
    int64_t id = 0;
    BoardGame game;
    std::string record, error;
    bool found = false;
    if (ParseDecimal(idText.data(), idText.size(), INT64_MAX / 10, id)) {
      if (!db->Game(id, game, &record, &found, error)) return DatabaseFailed(connection, method, url, request, error);
    }
    if (!found) return SendError(connection, method, url, request, MHD_HTTP_NOT_FOUND, "not-found", "no such game");
    const size_t size = record.size();
    if (answers.fetch_add(size) + size > AnswerBudget) {
      answers.fetch_sub(size);
      return SendError(connection, method, url, request, MHD_HTTP_SERVICE_UNAVAILABLE, "busy",
                       "the board is sending as many recordings as it will at once",
                       {{MHD_HTTP_HEADER_RETRY_AFTER, "1"}});
    }
    // The recording as kept goes with the response and gives back its share when the
    // response is done with it: gzip as it is to a client that takes it, else opened a
    // piece at a time (a game kept before recordings were kept as gzip is sent as it is).
    struct Sent {
      State *state;
      std::unique_ptr<GzipPieces> pieces;
      std::string bytes;
      size_t size;
      ~Sent() { state->answers.fetch_sub(size); }
    };
    const bool gzip = IsGzip(record);
    const bool asGzip = gzip && AcceptsGzip(MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                                       MHD_HTTP_HEADER_ACCEPT_ENCODING));
    auto *sent = new Sent{this, nullptr, {}, size};
    MHD_Response *response;
    auto done = [](void *cls) { delete static_cast<Sent *>(cls); };
    if (gzip && !asGzip) {
      sent->pieces = std::make_unique<GzipPieces>(std::move(record));
      response = MHD_create_response_from_callback(
          MHD_SIZE_UNKNOWN, 32 * 1024,
          [](void *cls, uint64_t, char *out, size_t most) -> ssize_t {
            const long got = static_cast<Sent *>(cls)->pieces->Read(out, most);
            return got > 0 ? got : got == 0 ? MHD_CONTENT_READER_END_OF_STREAM : MHD_CONTENT_READER_END_WITH_ERROR;
          },
          sent, done);
    } else {
      sent->bytes = std::move(record);
      response = MHD_create_response_from_buffer_with_free_callback_cls(sent->bytes.size(), sent->bytes.data(), done,
                                                                        sent);
    }
    if (!response) {
      delete sent;
      return MHD_NO;
    }
    if (asGzip) MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    if (gzip) MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, MHD_HTTP_HEADER_ACCEPT_ENCODING);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_DISPOSITION,
                            ("inline; filename=\"quillrun-" + std::to_string(id) + ".rec\"").c_str());
    // A kept recording never changes.
    MHD_add_response_header(response, "Cache-Control", "public, max-age=31536000, immutable");
    return Send(connection, method, url, request, MHD_HTTP_OK, response, TextType);
  }

  MHD_Result WebFile(MHD_Connection *connection, const char *method, const char *url, Request &request,
                     const std::string &path) {
    uint64_t size = 0;
    std::string name;
    int file = OpenWebFile(webRoot, path, size, name);
    if (file < 0) return SendError(connection, method, url, request, MHD_HTTP_NOT_FOUND, "not-found", "no such file");
    MHD_Response *response = MHD_create_response_from_fd64(size, file);  // closes the file when done
    if (!response) {
      close(file);
      return MHD_NO;
    }
    MHD_add_response_header(response, "Cache-Control", "no-cache");
    return Send(connection, method, url, request, MHD_HTTP_OK, response, WebContentType(name));
  }

  // ---- a submission, once its body is all in ----
  MHD_Result Submit(MHD_Connection *connection, const char *method, const char *url, Request &request) {
    auto refuse = [&](Refusal refusal, const std::string &why) {
      return Refuse(connection, method, url, request, refusal, why);
    };
    if (request.tooLarge) {
      return refuse(Refusal::TooLarge, "the body is over " + std::to_string(BoardMaxBody) + " bytes");
    }
    if (request.overBudget) return refuse(Refusal::Busy, "the board is holding too many games to take more now");

    std::string name, gameText;
    Argument(connection, "name", name);
    name = TrimmedName(name);
    std::string nameWhy = NameRefusal(name);
    if (!nameWhy.empty()) return refuse(Refusal::BadName, nameWhy);
    int64_t game = -1;
    if (Argument(connection, "game", gameText) &&
        !ParseDecimal(gameText.data(), gameText.size(), INT64_MAX / 10, game)) {
      return refuse(Refusal::Malformed, "game must be a frame number");
    }

    std::string client = Client(connection);
    bool allowed = false;
    std::string error;
    if (!db->TakeSubmission(client, static_cast<int64_t>(time(nullptr)), options.rate, options.rateWindow, &allowed,
                            error)) {
      return DatabaseFailed(connection, method, url, request, error);
    }
    if (!allowed) {
      return refuse(Refusal::TooMany, "this address has sent " + std::to_string(options.rate) + " games in " +
                                          std::to_string(options.rateWindow) + " seconds; try again later");
    }

    // The body: gzip when it says so or when it starts like gzip, else the text itself.
    const char *encodingHeader = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                             MHD_HTTP_HEADER_CONTENT_ENCODING);
    std::string encoding = encodingHeader ? encodingHeader : "";
    std::transform(encoding.begin(), encoding.end(), encoding.begin(), [](unsigned char c) { return tolower(c); });
    encoding.erase(0, encoding.find_first_not_of(" \t"));
    encoding.erase(encoding.find_last_not_of(" \t") + 1);
    bool plain = encoding.empty() || encoding == "identity";
    bool gzipMagic = request.body.size() >= 2 && static_cast<unsigned char>(request.body[0]) == 0x1f &&
                     static_cast<unsigned char>(request.body[1]) == 0x8b;
    bool gzip = encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate" || (plain && gzipMagic);
    if (!plain && !gzip) {
      return refuse(Refusal::Malformed, "the body is in an encoding the board does not read (gzip or none)");
    }
    std::string why;
    Refusal refusal = Refusal::None;
    {
      // Opened and read here to answer a faulty one at once, then let go: the game waits
      // for its worker as the body sent. Opening takes up to BoardMaxInflated bytes and
      // the frames as much again, so only a few connections open bodies at a time.
      Turns::Held turn(*openings);
      std::string opened;
      SubmittedRecord record;
      if (!OpenSubmission(request.body, gzip, opened, record, refusal, why)) return refuse(refusal, why);
    }
    ProvenGame proven;
    std::string text;
    double seconds = 0;
    const bool played = pool->Play(std::move(request.body), gzip, game, proven, text, refusal, why, seconds);
    if (seconds > 0) metrics.Played(seconds);
    if (!played) return refuse(refusal, why);

    BoardGame kept;
    kept.name = name;
    kept.mode = proven.mode;
    kept.rules = proven.rules;
    kept.end = proven.end;
    kept.score = proven.score;
    kept.shield = proven.shield;
    kept.began = proven.began;
    kept.frames = proven.frames;
    kept.submitted = static_cast<int64_t>(time(nullptr));
    kept.fingerprints = std::move(proven.fingerprints);
    int64_t place = 0, copyOf = 0;
    if (!db->AddGame(kept, text, &place, &copyOf, error))
      return DatabaseFailed(connection, method, url, request, error);
    if (copyOf) {
      metrics.Refused(Refusal::Copy);
      const std::string keptUrl = "/api/games/" + std::to_string(copyOf);
      return SendJson(connection, method, url, request, RefusalStatus(Refusal::Copy),
                      {{"error", RefusalName(Refusal::Copy)},
                       {"reason", "this game is kept already, as game " + std::to_string(copyOf) +
                                      ": the same inputs from its first frame, whatever came before it"},
                       {"game", copyOf},
                       {"url", keptUrl}},
                      {{MHD_HTTP_HEADER_LOCATION, keptUrl}});
    }
    generation++;
    metrics.Taken();
    std::string location = "/api/games/" + std::to_string(kept.id);
    return SendJson(connection, method, url, request, MHD_HTTP_CREATED,
                    {{"id", kept.id},
                     {"name", kept.name},
                     {"mode", kept.mode == 1 ? "random" : "normal"},
                     {"end", kept.end},
                     {"score", kept.score},
                     {"shield", kept.shield},
                     {"frames", kept.frames},
                     {"began", kept.began},
                     {"rules", kept.rules},
                     {"place", place},
                     {"url", location}},
                    {{MHD_HTTP_HEADER_LOCATION, location}});
  }

  // Lets go of a request's body and its share of the budget.
  void Release(Request &request) {
    bodies.fetch_sub(request.held);
    request.held = 0;
    std::string().swap(request.body);
  }

  // ---- libmicrohttpd's calls ----
  static MHD_Result Handle(void *cls, MHD_Connection *connection, const char *url, const char *method,
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
  static void LibraryLog(void *cls, const char *format, va_list arguments) {
    if (!static_cast<State *>(cls)->options.log) return;
    char text[512];
    vsnprintf(text, sizeof text, format, arguments);
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = '\0';
    fprintf(stderr, "quillrun-board: %s\n", text);
  }

  // A request's first line is in: its target as sent, before libmicrohttpd reads its
  // %XX into the C string the handler gets (where a %00 would end it).
  static void *RequestStarts(void *, const char *target, MHD_Connection *) {
    auto *request = new Request;
    request->badPath = PathHasControl(target);
    return request;
  }

  static ConnectionWatch::Entry *WatchedOf(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<ConnectionWatch::Entry *>(info->socket_context) : nullptr;
  }

  // A connection opens (watched from now on, and cut at once past its address's share)
  // or closes.
  static void ConnectionChanged(void *cls, MHD_Connection *connection, void **socketContext,
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

  static void Completed(void *cls, MHD_Connection *connection, void **requestSlot, MHD_RequestTerminationCode) {
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
};

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
