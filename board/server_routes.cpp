// What the board is asked to read: the page of both boards, the top lists (kept for
// a second), the metrics, a kept recording (as gzip or opened a piece at a time) and
// the browser build's files.
#include "board/server_state.h"

#include <unistd.h>

#include <climits>
#include <cstring>

#include "board/server_parts.h"
#include "world/rules.h"

MHD_Result BoardServer::State::Route(MHD_Connection *connection, const char *method, const char *url, Request &request) {
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

MHD_Result BoardServer::State::Page(MHD_Connection *connection, const char *method, const char *url, Request &request) {
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

MHD_Result BoardServer::State::Top(MHD_Connection *connection, const char *method, const char *url, Request &request) {
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

MHD_Result BoardServer::State::Metrics(MHD_Connection *connection, const char *method, const char *url, Request &request) {
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

MHD_Result BoardServer::State::Recording(MHD_Connection *connection, const char *method, const char *url, Request &request,
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

MHD_Result BoardServer::State::WebFile(MHD_Connection *connection, const char *method, const char *url, Request &request,
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
