// Sending kept games to a score board (see submit.h): libcurl for the exchange, zlib for
// the body, nlohmann's JSON for the answer. Whatever comes back is taken as untrusted:
// at most 64 KiB of it is read, and only the fields the line needs, of the types they
// must have, are used.
#include "app/submit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/options.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

bool BestEndedGame(const std::vector<KeptGame> &games, int64_t run, KeptGame &best) {
  bool found = false;
  for (const KeptGame &game : games) {
    if (game.end != "over" && game.end != "clear") continue;
    if (run != 0 && game.run != run) continue;
    const bool better = !found || game.score > best.score ||
                        (game.score == best.score && (game.date < best.date || (game.date == best.date && game.id < best.id)));
    if (better) {
      best = game;
      found = true;
    }
  }
  return found;
}

std::string BoardPlayerName(const std::string &given) {
  std::string why;
  if (!given.empty()) return given;
#ifndef _WIN32
  if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_name && PlayerNameOk(entry->pw_name, why))
    return entry->pw_name;
  const char *user = std::getenv("USER");
#else
  const char *user = std::getenv("USERNAME");
#endif
  if (user && PlayerNameOk(user, why)) return user;
  return "player";
}

bool ShouldOffer(const OfferFacts &facts, const std::vector<KeptGame> &kept, KeptGame &best) {
  if (facts.board.empty() || facts.keptRun == 0 || facts.demo || facts.watching || facts.quitSignal != 0) return false;
  return BestEndedGame(kept, facts.keptRun, best);
}

#ifdef QR_KEEP_GAMES

#include <curl/curl.h>
#include <zlib.h>

#include <mutex>
#include <nlohmann/json.hpp>

#include "app/store_commands.h"
#include "platform/kernel32/signals.h"
#include "platform/platform.h"
#include "world/rules.h"

namespace {

// The most of an answer read: a placing or a refusal is a few hundred bytes.
constexpr size_t MaxAnswer = 64 * 1024;
// The most of a board's reason passed on to the player.
constexpr size_t MaxReason = 300;

bool Gzip(const std::string &text, std::string &out) {
  z_stream stream{};
  // 15 window bits plus 16: a gzip header and trailer around the deflated text.
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&stream, text.size()));
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef *>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

// The board's own words for the player: control characters out, cut to a length that
// fits a line (at a character's start, so the UTF-8 stays whole).
std::string Tidy(const std::string &text) {
  std::string out;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (out.size() >= MaxReason && (byte & 0xC0) != 0x80) {
      out += "...";
      break;
    }
    out += byte < 0x20 || byte == 0x7F ? ' ' : c;
  }
  return out;
}

// The message box reads its text as Shift-JIS: anything past ASCII shows as '?'.
std::string BoxText(const std::string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out += text[i];
    } else if ((byte & 0xC0) != 0x80) {
      out += '?';
    }
  }
  return out;
}

struct Exchange {
  std::string answer;
  bool answerTooLarge = false;
  std::string retryAfter;
};

size_t TakeAnswer(char *data, size_t size, size_t count, void *user) {
  Exchange &exchange = *static_cast<Exchange *>(user);
  const size_t bytes = size * count;
  if (exchange.answer.size() + bytes > MaxAnswer) {
    exchange.answerTooLarge = true;
    return 0;  // ends the transfer
  }
  exchange.answer.append(data, bytes);
  return bytes;
}

size_t TakeHeader(char *data, size_t size, size_t count, void *user) {
  Exchange &exchange = *static_cast<Exchange *>(user);
  const size_t bytes = size * count;
  const std::string line(data, bytes);
  static const char name[] = "retry-after:";
  if (bytes > sizeof name - 1 && bytes < 64) {
    bool match = true;
    for (size_t i = 0; i + 1 < sizeof name && match; ++i)
      match = (line[i] | 0x20) == name[i];  // header names are read in any case
    if (match) {
      std::string value;
      for (char c : line.substr(sizeof name - 1))
        if (c >= '0' && c <= '9') value += c;
        else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
          value.clear();
          break;
        }
      exchange.retryAfter = value.size() <= 6 ? value : "";
    }
  }
  return bytes;
}

// A quit signal ends the wait for the board.
int CheckQuit(void *, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return QuitSignal() != 0 ? 1 : 0; }

std::string WithoutTrailingSlashes(std::string address) {
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address;
}

std::string Escaped(CURL *curl, const std::string &text) {
  char *escaped = curl_easy_escape(curl, text.c_str(), static_cast<int>(text.size()));
  if (!escaped) return {};
  std::string result = escaped;
  curl_free(escaped);
  return result;
}

// An integer field of the answer within the given range, or false.
bool IntegerField(const nlohmann::json &answer, const char *key, int64_t low, int64_t high, int64_t &value) {
  const auto found = answer.find(key);
  if (found == answer.end() || !found->is_number_integer()) return false;
  if (found->is_number_unsigned()) {
    const uint64_t number = found->get<uint64_t>();
    if (number > static_cast<uint64_t>(high)) return false;
    value = static_cast<int64_t>(number);
  } else {
    value = found->get<int64_t>();
  }
  return value >= low && value <= high;
}

std::string StringField(const nlohmann::json &answer, const char *key) {
  const auto found = answer.find(key);
  return found != answer.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The line for a board's answer to game `id`.
SubmitResult ReadAnswer(long status, const Exchange &exchange, const std::string &id, const std::string &board) {
  SubmitResult result;
  const nlohmann::json answer = nlohmann::json::parse(exchange.answer, nullptr, false);
  const bool object = !answer.is_discarded() && answer.is_object();
  if (status == 201) {
    int64_t place = 0, score = 0;
    const std::string mode = object ? StringField(answer, "mode") : "";
    const std::string end = object ? StringField(answer, "end") : "";
    if (!object || !IntegerField(answer, "place", 1, INT64_MAX, place) ||
        !IntegerField(answer, "score", INT32_MIN, INT32_MAX, score) || (mode != "normal" && mode != "random") ||
        (end != "over" && end != "clear")) {
      result.line = "the board at " + board + " took game " + id + " but its answer makes no sense";
      return result;
    }
    result.placed = true;
    result.line = "game " + id + " took place " + std::to_string(place) + " on the " + mode + " board (score " +
                  std::to_string(score) + ", " + (end == "over" ? "GAME OVER" : "ALL CLEAR") + ")";
    return result;
  }
  if (status >= 400 && status <= 599) {
    std::string reason = object ? Tidy(StringField(answer, "reason")) : "";
    if (reason.empty()) reason = "status " + std::to_string(status);
    result.line = "the board refused game " + id + ": " + reason;
    if (status == 429 && !exchange.retryAfter.empty()) result.line += " (try again in " + exchange.retryAfter + " s)";
    return result;
  }
  result.line = "the board at " + board + " answered game " + id + " with status " + std::to_string(status);
  return result;
}

void StartCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Sends the record text of game `id` and reads the answer.
SubmitResult Send(const std::string &board, const std::string &id, const KeptGame &game, const std::string &text,
                  const std::string &name) {
  SubmitResult result;
  std::string body;
  if (!Gzip(text, body)) {
    result.line = "cannot compress game " + id;
    return result;
  }
  StartCurl();
  CURL *curl = curl_easy_init();
  if (!curl) {
    result.line = "cannot start an exchange with the board";
    return result;
  }
  const std::string url = WithoutTrailingSlashes(board) + "/api/games?name=" + Escaped(curl, name) +
                          "&game=" + Escaped(curl, std::to_string(game.began));
  curl_slist *headers = nullptr;
  for (const char *header : {"Content-Type: text/plain; charset=utf-8", "Content-Encoding: gzip",
                             "Accept: application/json", "Expect:"}) {
    curl_slist *more = curl_slist_append(headers, header);
    if (!more) break;
    headers = more;
  }
  const std::string agent = std::string("quillrun/") + gameVersion;
  Exchange exchange;
  char error[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 120L);
  // Only the web's own protocols, on the first address and on any redirect; a board
  // moved to https keeps the POST.
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
  curl_easy_setopt(curl, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
  // The program's own signal handlers stay; timeouts do without SIGALRM.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckQuit);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, TakeAnswer);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, TakeHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);

  if (exchange.answerTooLarge) {
    result.line = "the board at " + board + " answered game " + id + " with more than 64 KiB; not read";
  } else if (code == CURLE_ABORTED_BY_CALLBACK) {
    result.line = "game " + id + " not sent: the program was asked to end";
  } else if (code != CURLE_OK) {
    result.line = "cannot send game " + id + " to the board at " + board + ": " +
                  Tidy(error[0] ? error : curl_easy_strerror(code));
  } else {
    result = ReadAnswer(status, exchange, id, board);
  }
  return result;
}

}  // namespace

SubmitResult SubmitKeptGame(const std::string &storePath, const std::string &board, const std::string &id,
                            const std::string &name) {
  SubmitResult result;
  std::string gameId = id, text, error;
  KeptGame game;
  {
    // Open once for the best game and its record, and closed before the sending.
    std::unique_ptr<GameStore> store = GameStore::Open(storePath, error, false);
    if (!store) {
      result.line = error;
      return result;
    }
    KeptGame best;
    if (gameId.empty()) {
      if (!BestEndedGame(store->All(), 0, best)) {
        result.line = "no kept game ended in GAME OVER or ALL CLEAR";
        return result;
      }
      gameId = std::to_string(best.id);
    }
    if (!KeptGameRecord(*store, gameId, text, game, error)) {
      result.line = error;
      return result;
    }
  }
  return Send(board, gameId, game, text, name);
}

int SubmitCommand(const std::string &storePath, const std::string &board, const std::string &id,
                  const std::string &name) {
  const SubmitResult result = SubmitKeptGame(storePath, board, id, name);
  std::fprintf(result.placed ? stdout : stderr, "quillrun: %s\n", result.line.c_str());
  std::fflush(stdout);
  return result.placed ? 0 : 1;
}

void OfferBestGame(const std::string &storePath, const OfferFacts &facts, const std::string &name) {
  if (facts.board.empty() || facts.keptRun == 0) return;
  std::string error, text;
  KeptGame best, game;
  {
    // The store is opened once, for the game to offer and its record, and closed before
    // the question, which may wait as long as the player likes.
    std::unique_ptr<GameStore> store = GameStore::Open(storePath, error, false);
    if (!store || !ShouldOffer(facts, store->All(), best)) return;
    if (!KeptGameRecord(*store, std::to_string(best.id), text, game, error)) {
      std::fprintf(stderr, "quillrun: %s\n", error.c_str());
      return;
    }
  }
  const std::string question = "Send your best game of this run (score " + std::to_string(best.score) + ") to " +
                               BoxText(facts.board) + "?";
  if (MessageBoxA(nullptr, question.c_str(), "quillrun", MB_YESNO) != IDYES) return;
  const SubmitResult result = Send(facts.board, std::to_string(best.id), game, text, name);
  std::fprintf(result.placed ? stdout : stderr, "quillrun: %s\n", result.line.c_str());
  std::fflush(stdout);
  // A signal that ended the wait ends the program without more questions.
  if (QuitSignal() != 0) return;
  std::string shown = BoxText(result.line);
  if (!shown.empty() && shown[0] >= 'a' && shown[0] <= 'z') shown[0] = static_cast<char>(shown[0] - 'a' + 'A');
  MessageBoxA(nullptr, shown.c_str(), "quillrun", MB_OK | (result.placed ? MB_ICONINFORMATION : MB_ICONWARNING));
}

#else

SubmitResult SubmitKeptGame(const std::string &, const std::string &, const std::string &, const std::string &) {
  return SubmitResult{false, "this build keeps no games to send"};
}

int SubmitCommand(const std::string &storePath, const std::string &board, const std::string &id,
                  const std::string &name) {
  std::fprintf(stderr, "quillrun: %s\n", SubmitKeptGame(storePath, board, id, name).line.c_str());
  return 1;
}

void OfferBestGame(const std::string &, const OfferFacts &, const std::string &) {}

#endif
