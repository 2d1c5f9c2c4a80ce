// A game sent to be kept, once its body is all in: the checks it goes through in
// order (its size, the name, the address's share, the body opened and read, the game
// played on a worker), then kept, or named as the copy of a kept one.
#include "board/server_state.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "board/server_parts.h"

MHD_Result BoardServer::State::Submit(MHD_Connection *connection, const char *method, const char *url, Request &request) {
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
void BoardServer::State::Release(Request &request) {
  bodies.fetch_sub(request.held);
  request.held = 0;
  std::string().swap(request.body);
}
