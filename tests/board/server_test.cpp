// The board over real HTTP: a server started here on a free port with a SQLite file of
// its own, real recordings submitted and played again, and everything around them (the
// limits, the addresses counted, the queue, the page, the browser build's files, the
// stop). The program itself is run once for its start line, its signals and its errors.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "board/db.h"
#include "board/server.h"
#include "board/server_metrics.h"
#include "board/server_parts.h"
#include "board/verify.h"
#include "server_http.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

struct CurlOnce {
  CurlOnce() { curl_global_init(CURL_GLOBAL_DEFAULT); }
} curlOnce;

std::string ReadFile(const fs::path &path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The test data's whole game: seed 1, GAME OVER on frame 5482 with 19037 points.
std::string WholeGame(size_t frames = SIZE_MAX) {
  const char *source = std::getenv("QR_SOURCE_DIR");
  std::istringstream lines(ReadFile(fs::path(source ? source : ".") / "tests/data/wholegame.input"));
  std::string record = "# quillrun-record 2 rules 1 seed 1\n", line;
  for (size_t i = 0; i < frames && std::getline(lines, line); i++) record += line + "\n";
  return record;
}

// Another game of the test data from the same seed: it ends sooner with fewer points.
std::string ShorterGame() {
  const char *source = std::getenv("QR_SOURCE_DIR");
  return "# quillrun-record 2 rules 1 seed 1\n" + ReadFile(fs::path(source ? source : ".") / "tests/data/stage1.input");
}

// What the board keeps of a recording whose game began on frame 0: its header, the
// line naming that frame, the frames up to the game's end and a line with the count and
// the score, as the game's own --export writes a kept game.
std::string KeptForm(const std::string &record, int frames, int score) {
  std::istringstream lines(record);
  std::string line, kept;
  std::getline(lines, line);
  kept = line + "\n# game begins at frame 0\n";
  for (int i = 0; i < frames && std::getline(lines, line); i++) kept += line + "\n";
  return kept + "# frames " + std::to_string(frames) + " score " + std::to_string(score) + "\n";
}

// A run that stays on the title for `frames` frames: quick to send, slow to play.
std::string TitleOnly(size_t frames) {
  std::string record = "# quillrun-record 2 rules 1 seed 1\n";
  for (size_t i = 0; i < frames; i++) record += "0 0 0 0 0 0\n";
  return record;
}

std::string Gzip(const std::string &text) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, text.size()), '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef *>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

class BoardServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/board-server-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    dir = folder;
    options.db = (dir / "board.sqlite").string();
    options.bind = "127.0.0.1";
    options.log = false;
    options.workers = 2;
  }
  void TearDown() override {
    server.reset();
    fs::remove_all(dir);
  }
  void Start() {
    std::string error;
    server = BoardServer::Start(options, error);
    ASSERT_TRUE(server) << error;
    ASSERT_GT(server->Port(), 0);
  }
  std::string Url(const std::string &path) const {
    return "http://127.0.0.1:" + std::to_string(server->Port()) + path;
  }
  HttpAnswer Get(const std::string &path) { return Http({"GET", Url(path)}); }
  HttpAnswer Submit(const std::string &query, const std::string &body, std::vector<std::string> headers = {},
                    const std::string &from = "") {
    HttpRequest request{"POST", Url("/api/games" + query), body, std::move(headers)};
    request.from = from;
    return Http(request);
  }
  // A client that sends its whole request before reading anything, as simple ones do:
  // the status, or -1 when the board closed the connection while it was sending.
  int SendAtOnce(const std::string &path, const std::string &body) {
    int socket_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server->Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) return -1;
    std::string request = "POST " + path + " HTTP/1.1\r\nHost: board\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    for (size_t at = 0; at < request.size();) {
      ssize_t sent = send(socket_, request.data() + at, request.size() - at, MSG_NOSIGNAL);
      if (sent <= 0) {
        close(socket_);
        return -1;
      }
      at += static_cast<size_t>(sent);
    }
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = recv(socket_, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, got);
    close(socket_);
    int status = -1;
    return sscanf(answer.c_str(), "HTTP/1.1 %d", &status) == 1 ? status : -1;
  }
  static Json JsonOf(const HttpAnswer &answer) { return Json::parse(answer.body, nullptr, false); }
  // Waits (ten seconds at most) for the pool to reach a state.
  bool WaitFor(const std::function<bool()> &reached) {
    for (int i = 0; i < 5000 && !reached(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return reached();
  }

  fs::path dir;
  BoardOptions options;
  std::unique_ptr<BoardServer> server;
};

TEST_F(BoardServerTest, GamesAreProvenKeptRankedAndShown) {
  fs::create_directories(dir / "web");
  options.web = (dir / "web").string();
  Start();
  const std::string whole = WholeGame();
  HttpAnswer first = Submit("?name=%3Cscript%3Ex()%3C%2Fscript%3E", whole);
  ASSERT_EQ(first.status, 201) << first.body << first.error;
  EXPECT_EQ(first.Header("content-type"), "application/json; charset=utf-8");
  Json game = JsonOf(first);
  EXPECT_EQ(game["name"], "<script>x()</script>");
  EXPECT_EQ(game["score"], 19037);
  EXPECT_EQ(game["end"], "over");
  EXPECT_EQ(game["mode"], "normal");
  EXPECT_EQ(game["rules"], 1);
  EXPECT_EQ(game["place"], 1);
  EXPECT_EQ(game["frames"], 5482);
  EXPECT_EQ(game["began"], 0);
  const std::string url = game["url"];
  EXPECT_EQ(url, "/api/games/" + std::to_string(game["id"].get<int64_t>()));
  EXPECT_EQ(first.Header("location"), url);

  const std::string shorter = ShorterGame();
  HttpAnswer second = Submit("?name=%22%26%27+Zo%C3%AB", shorter);
  ASSERT_EQ(second.status, 201) << second.body;
  Json lower = JsonOf(second);
  EXPECT_EQ(lower["name"], "\"&' Zo\xC3\xAB");
  EXPECT_LT(lower["score"].get<int>(), 19037);
  EXPECT_EQ(lower["place"], 2);

  Json top = JsonOf(Get("/api/top?mode=normal"));
  EXPECT_EQ(top["mode"], "normal");
  EXPECT_EQ(top["rules"], 1);
  ASSERT_EQ(top["games"].size(), 2u);
  EXPECT_EQ(top["games"][0]["id"], game["id"]);
  EXPECT_EQ(top["games"][0]["place"], 1);
  EXPECT_EQ(top["games"][0]["url"], url);
  EXPECT_EQ(top["games"][1]["id"], lower["id"]);
  EXPECT_EQ(top["games"][1]["score"], lower["score"]);
  EXPECT_GT(top["games"][1]["submitted"].get<int64_t>(), 1600000000);
  EXPECT_EQ(JsonOf(Get("/api/top?mode=normal&limit=1"))["games"].size(), 1u);
  EXPECT_EQ(JsonOf(Get("/api/top?mode=random"))["games"].size(), 0u);
  EXPECT_EQ(JsonOf(Get("/api/top?mode=normal&rules=2"))["games"].size(), 0u);

  HttpAnswer recording = Get(url);
  EXPECT_EQ(recording.status, 200);
  EXPECT_EQ(recording.Header("content-type"), "text/plain; charset=utf-8");
  EXPECT_TRUE(recording.body == KeptForm(whole, 5482, 19037)) << "the game comes back as kept";
  EXPECT_TRUE(Get(lower["url"].get<std::string>()).body ==
              KeptForm(shorter, lower["frames"].get<int>(), lower["score"].get<int>()));

  // The page: names only ever as text, each game linked to its recording and to the
  // browser build watching it.
  HttpAnswer page = Get("/");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_EQ(page.body.find("<script>"), std::string::npos);
  EXPECT_NE(page.body.find("&lt;script&gt;x()&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.body.find("&quot;&amp;&#39; Zo\xC3\xAB"), std::string::npos);
  EXPECT_NE(page.body.find("href=\"" + url + "\""), std::string::npos);
  EXPECT_NE(page.body.find("/play/index.html?watch=" + UrlEncode(url)), std::string::npos);
  EXPECT_NE(page.body.find("19037"), std::string::npos);
  EXPECT_NE(page.body.find("not that a person played them"), std::string::npos);
  EXPECT_LT(page.body.find("19037"), page.body.find(std::to_string(lower["score"].get<int>())));
}

TEST_F(BoardServerTest, GzipBodiesAreOpened) {
  Start();
  const std::string whole = WholeGame();
  // Said by the header, and known by its first bytes.
  HttpAnswer said = Submit("?name=said", Gzip(whole), {"Content-Encoding: gzip"});
  ASSERT_EQ(said.status, 201) << said.body;
  EXPECT_EQ(JsonOf(said)["score"], 19037);
  EXPECT_TRUE(Get(JsonOf(said)["url"].get<std::string>()).body == KeptForm(whole, 5482, 19037));
  HttpAnswer sniffed = Submit("?name=sniffed", Gzip(ShorterGame()));
  ASSERT_EQ(sniffed.status, 201) << sniffed.body;
  EXPECT_EQ(JsonOf(sniffed)["place"], 2);
  // Said to be gzip and not.
  HttpAnswer fake = Submit("?name=fake", whole, {"Content-Encoding: gzip"});
  EXPECT_EQ(fake.status, 400);
  EXPECT_EQ(JsonOf(fake)["error"], "malformed");
  EXPECT_EQ(Submit("?name=odd", whole, {"Content-Encoding: br"}).status, 400);
}

std::string Gunzip(const std::string &gzip) {
  std::string text;
  Refusal refusal;
  std::string why;
  EXPECT_TRUE(InflateBody(gzip, text, refusal, why)) << why;
  return text;
}

TEST_F(BoardServerTest, RecordingsAreKeptAsGzipAndSentSoOrOpenedAsTheyGo) {
  Start();
  // A game after 1,900,000 title frames: 23 MB of text as the board keeps it.
  const std::string whole = WholeGame();
  const std::string idleFirst = TitleOnly(1900000) + whole.substr(whole.find('\n') + 1);
  HttpAnswer sent = Submit("?name=long", Gzip(idleFirst), {"Content-Encoding: gzip"});
  ASSERT_EQ(sent.status, 201) << sent.body;
  const int64_t id = JsonOf(sent)["id"];
  std::string error, kept;
  BoardGame game;
  bool found = false;
  std::unique_ptr<BoardDb> db = BoardDb::Open(options.db, error);
  ASSERT_TRUE(db && db->Game(id, game, &kept, &found, error) && found) << error;
  EXPECT_LT(kept.size(), 200000u);
  const std::string text = Gunzip(kept);
  EXPECT_GT(text.size(), 1900000u * 12);
  const std::string end = " score " + std::to_string(JsonOf(sent)["score"].get<int>()) + "\n";
  EXPECT_EQ(text.substr(text.size() - end.size()), end);

  struct Case {
    const char *accept;   // null: no Accept-Encoding at all
    bool gzip;
  } cases[] = {{nullptr, false}, {"gzip", true}, {"br, x-gzip;q=0.5", true}, {"*", true},
               {"identity", false}, {"gzip;q=0, *", false}, {"GZIP ; q=1", true}};
  for (const Case &c : cases) {
    HttpRequest request{"GET", Url("/api/games/" + std::to_string(id))};
    if (c.accept) request.headers.push_back(std::string("Accept-Encoding: ") + c.accept);
    HttpAnswer answer = Http(request);
    ASSERT_EQ(answer.status, 200) << (c.accept ? c.accept : "none");
    EXPECT_EQ(answer.Header("content-encoding"), c.gzip ? "gzip" : "") << (c.accept ? c.accept : "none");
    EXPECT_TRUE(answer.body == (c.gzip ? kept : text)) << (c.accept ? c.accept : "none");
  }
}

TEST_F(BoardServerTest, GamesKeptBeforeFingerprintsGetThemAndTheirCopiesAreKnown) {
  // Two games as a board kept them before: the text itself, no fingerprints; the second
  // is a copy of the first.
  std::string error;
  std::vector<int64_t> old;
  {
    std::unique_ptr<BoardDb> db = BoardDb::Open(options.db, error);
    ASSERT_TRUE(db) << error;
    for (const char *name : {"first", "copy"}) {
      BoardGame game;
      game.name = name;
      game.end = "over";
      game.score = 19037;
      game.frames = 5482;
      int64_t place = 0, copyOf = 0;
      ASSERT_TRUE(db->AddGame(game, KeptForm(WholeGame(), 5482, 19037), &place, &copyOf, error)) << error;
      old.push_back(game.id);
    }
  }
  Start();
  std::unique_ptr<BoardDb> db = BoardDb::Open(options.db, error);
  std::vector<int64_t> left;
  EXPECT_TRUE(WaitFor([&] { return db->Unfingerprinted(0, 10, left, error) && left.size() == 1; })) << error;
  EXPECT_EQ(left, std::vector<int64_t>{old[1]});
  HttpAnswer again = Submit("?name=late", WholeGame());
  EXPECT_EQ(again.status, 409) << again.body;
  EXPECT_EQ(JsonOf(again)["game"], old[0]);
  EXPECT_EQ(Get("/api/games/" + std::to_string(old[0])).body, KeptForm(WholeGame(), 5482, 19037));
}

TEST_F(BoardServerTest, RequestsRefusedBeforeAnyGameIsPlayed) {
  Start();
  // Too large: refused before it is sent when the client waits for the go-ahead, and
  // when it sends at once or does not say the length, answered once it is all in.
  std::string huge(5u << 20, '0');
  HttpAnswer large = Submit("?name=big", huge);
  EXPECT_EQ(large.status, 413) << large.error;
  EXPECT_EQ(JsonOf(large)["error"], "too-large");
  EXPECT_EQ(SendAtOnce("/api/games?name=big", huge), 413);
  HttpRequest chunked{"POST", Url("/api/games?name=big"), huge};
  chunked.chunked = true;
  EXPECT_EQ(Http(chunked).status, 413);

  // Names: missing, empty, too long, not UTF-8, a control character, a zero byte.
  for (const char *query : {"", "?name=", "?name=abcdefghijklmnopqrstuvwxy", "?name=%FF", "?name=a%01b",
                            "?name=a%00b", "?name=%C0%AF"}) {
    HttpAnswer answer = Submit(query, WholeGame(10));
    EXPECT_EQ(answer.status, 400) << query;
    EXPECT_EQ(JsonOf(answer)["error"], "bad-name") << query;
  }
  for (const char *query : {"?name=a&game=x", "?name=a&game=-1", "?name=a&game=", "?name=a&game=1.5"}) {
    EXPECT_EQ(Submit(query, WholeGame(10)).status, 400) << query;
  }
  // Bodies that are not recordings, and a game that does not end.
  EXPECT_EQ(JsonOf(Submit("?name=a", "hello"))["error"], "malformed");
  HttpAnswer unended = Submit("?name=a", WholeGame(100));
  EXPECT_EQ(unended.status, 422);
  EXPECT_EQ(JsonOf(unended)["error"], "no-end");
  EXPECT_EQ(Submit("?name=a&game=7", WholeGame()).status, 422);

  // Everything else.
  HttpAnswer missing = Get("/nothing");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(JsonOf(missing)["error"], "not-found");
  EXPECT_EQ(Get("/api/games/12345").status, 404);
  EXPECT_EQ(Get("/api/games/x1").status, 404);
  EXPECT_EQ(Get("/play/index.html").status, 404);  // no --web
  HttpAnswer wrong = Get("/api/games");
  EXPECT_EQ(wrong.status, 405);
  EXPECT_EQ(wrong.Header("allow"), "POST");
  EXPECT_EQ(Http({"DELETE", Url("/")}).status, 405);
  EXPECT_EQ(Http({"POST", Url("/api/top?mode=normal")}).status, 405);
  for (const char *query : {"", "?mode=fast", "?mode=normal&limit=0", "?mode=normal&limit=101",
                            "?mode=normal&limit=ten", "?mode=normal&rules=x"}) {
    EXPECT_EQ(Get(std::string("/api/top") + query).status, 400) << query;
  }
}

// A connection from `from` to the board that has sent `start`; -1 when it cannot be made.
int Connect(int port, const char *from, const std::string &start) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, from, &address.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) return close(fd), -1;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
      send(fd, start.data(), start.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(start.size()))
    return close(fd), -1;
  return fd;
}

// Sends `trickle` a byte every 100 ms for up to `seconds`: the seconds until the board
// closed the connection, or -1 when it never did.
double ClosedAfter(int fd, double seconds, const std::string &trickle = "x") {
  const auto start = std::chrono::steady_clock::now();
  char buffer[4096];
  for (size_t i = 0;; ++i) {
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (now > seconds) return -1;
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 100) > 0) {
      ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      continue;   // an answer: read on to its end
    }
    if (!trickle.empty() && send(fd, &trickle[i % trickle.size()], 1, MSG_NOSIGNAL) != 1)
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
}

TEST_F(BoardServerTest, NoClientHoldsTheBoardBySendingSlowly) {
  options.perAddress = 4;
  options.headerSeconds = 1;
  options.bodyRate = 1000;
  Start();
  const int port = server->Port();
  // Past its share, an address's connections are closed at once; another address is
  // answered meanwhile.
  std::vector<int> held;
  for (int i = 0; i < 6; ++i) held.push_back(Connect(port, "127.0.0.1", "GET / HTTP/1.1\r\nHost: b\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int closedAtOnce = 0;
  char byte;
  for (int fd : held) closedAtOnce += recv(fd, &byte, 1, MSG_DONTWAIT) == 0 ? 1 : 0;
  EXPECT_EQ(closedAtOnce, 2);
  EXPECT_TRUE(WaitFor([&] { return server->Connections() == 4; }));
  HttpRequest other{"GET", Url("/api/top?mode=normal")};
  other.from = "127.0.0.2";
  EXPECT_EQ(Http(other).status, 200);
  for (int fd : held) close(fd);
  ASSERT_TRUE(WaitFor([&] { return server->Connections() == 0; }));

  // A byte now and then keeps no connection beyond the header's deadline, nor a body
  // below the lowest rate; a whole request at the same pace on an answered connection
  // waits its turn like any other.
  struct Case {
    const char *what;
    std::string start, trickle;
  } cases[] = {
      {"a header a byte at a time", "GET / HTTP/1.1\r\n", "X-Slow: x\r\n"},
      {"a body a byte at a time", "POST /api/games?name=a HTTP/1.1\r\nHost: b\r\nContent-Length: 100000\r\n\r\n",
       "0 0 0 0 0 0\n"},
      {"an idle connection", "GET /api/top HTTP/1.1\r\nHost: b\r\n\r\n", ""},
  };
  for (const Case &c : cases) {
    const int fd = Connect(port, "127.0.0.1", c.start);
    const double closed = ClosedAfter(fd, 5, c.trickle);
    EXPECT_GT(closed, 0.9) << c.what;
    EXPECT_LT(closed, 2.5) << c.what;
    close(fd);
  }
}

TEST_F(BoardServerTest, MetricsCountWhatHappensForTheAddressesAllowed) {
  options.metricsFrom = {"127.0.0.1/32"};
  Start();
  ASSERT_EQ(Submit("?name=Ada", WholeGame()).status, 201);
  ASSERT_EQ(Submit("?name=Ada", WholeGame()).status, 409);
  ASSERT_EQ(Submit("?name=%E2%80%AE", WholeGame()).status, 400);
  HttpAnswer metrics = Get("/metrics");
  ASSERT_EQ(metrics.status, 200);
  EXPECT_EQ(metrics.Header("content-type"), "text/plain; version=0.0.4; charset=utf-8");
  for (const char *line :
       {"quillrun_board_games_taken_total 1\n", "quillrun_board_games_refused_total{reason=\"copy\"} 1\n",
        "quillrun_board_games_refused_total{reason=\"bad-name\"} 1\n",
        "quillrun_board_games_refused_total{reason=\"too-many\"} 0\n", "quillrun_board_play_seconds_count 2\n",
        "quillrun_board_play_seconds_bucket{le=\"+Inf\"} 2\n", "quillrun_board_games_waiting 0\n",
        "\nquillrun_board_connections_open ", "# TYPE quillrun_board_play_seconds histogram\n"})
    EXPECT_NE(metrics.body.find(line), std::string::npos) << line << metrics.body;
  HttpRequest other{"GET", Url("/metrics")};
  other.from = "127.0.0.2";
  EXPECT_EQ(Http(other).status, 403);

  struct Case {
    const char *address, *cidr;
    bool in;
  } cases[] = {{"10.1.2.3", "10.1.0.0/16", true}, {"10.2.0.1", "10.1.0.0/16", false}, {"10.1.2.3", "10.1.2.3", true},
               {"10.1.2.4", "10.1.2.3", false},   {"10.1.2.3", "0.0.0.0/0", true},    {"fd00::1", "fd00::/8", true},
               {"fe80::1", "fd00::/8", false},    {"10.1.2.3", "::/0", false},        {"10.1.2.3", "10.1.0.0/x", false},
               {"", "0.0.0.0/0", false}};
  for (const Case &c : cases) EXPECT_EQ(InCidr(c.address, c.cidr), c.in) << c.address << " " << c.cidr;
}

TEST_F(BoardServerTest, EachAddressHasItsShare) {
  // The shares are counted in the clock's minutes: the requests below must not straddle
  // two of them.
  if (const time_t second = time(nullptr) % 60; second > 40)
    std::this_thread::sleep_for(std::chrono::seconds(61 - second));
  options.rate = 2;
  options.trustProxy = {"127.0.0.1"};
  Start();
  auto status = [&](const std::vector<std::string> &headers, const std::string &from = "") {
    return Submit("?name=a", "not a recording", headers, from).status;
  };
  // A refused name is turned away before it is counted.
  for (int i = 0; i < 3; i++) EXPECT_EQ(Submit("?name=", "x").status, 400);
  // The trusted proxy's own requests, then two clients behind it, each with a share.
  EXPECT_EQ(status({}), 400);
  EXPECT_EQ(status({}), 400);
  HttpAnswer refused = Submit("?name=a", "x");
  EXPECT_EQ(refused.status, 429);
  EXPECT_EQ(JsonOf(refused)["error"], "too-many");
  EXPECT_EQ(refused.Header("retry-after"), "60");
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.1"}), 400);
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.2"}), 400);
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.1"}), 400);
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.1"}), 429);
  // Only the address the proxy appended counts, whatever the client put before it.
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.2, 10.0.0.1"}), 429);
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.1, 10.0.0.2"}), 400);
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.1,10.0.0.2"}), 429);
  // A peer that is not trusted is counted by its own address, the header ignored.
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.3"}, "127.0.0.2"), 400);
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.4"}, "127.0.0.2"), 400);
  EXPECT_EQ(status({"X-Forwarded-For: 10.0.0.5"}, "127.0.0.2"), 429);
}

TEST_F(BoardServerTest, ForwardedAddressesAreReadAsTheProxyWroteThem) {
  const std::vector<std::string> trusted = {"127.0.0.1", "::1"};
  EXPECT_EQ(ForwardedClient("127.0.0.1", {"10.0.0.1"}, trusted), "10.0.0.1");
  EXPECT_EQ(ForwardedClient("::1", {"1.1.1.1", "2001:db8::1 , 10.0.0.9"}, trusted), "10.0.0.9");
  EXPECT_EQ(ForwardedClient("127.0.0.1", {"[2001:DB8:0::1]:443"}, trusted), "2001:db8::1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", {"10.0.0.1:5555"}, trusted), "10.0.0.1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", {"::ffff:10.0.0.1"}, trusted), "10.0.0.1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", {"unknown"}, trusted), "127.0.0.1");
  EXPECT_EQ(ForwardedClient("127.0.0.1", {""}, trusted), "127.0.0.1");
  EXPECT_EQ(ForwardedClient("127.0.0.3", {"10.0.0.1"}, trusted), "127.0.0.3");
}

TEST_F(BoardServerTest, AFullQueueTurnsGamesAway) {
  options.workers = 1;
  options.queue = 1;
  Start();
  const std::string slow = Gzip(TitleOnly(1000000));
  HttpAnswer playing, waiting;
  std::thread first([&] { playing = Submit("?name=first", slow); });
  ASSERT_TRUE(WaitFor([&] { return server->Playing() == 1; }));
  // Quick to read, so it is waiting long before the first is played.
  std::thread second([&] { waiting = Submit("?name=second", WholeGame(100)); });
  bool queued = WaitFor([&] { return server->Waiting() == 1; });
  HttpAnswer turned = Submit("?name=third", WholeGame(100));
  first.join();
  second.join();
  ASSERT_TRUE(queued);
  EXPECT_EQ(turned.status, 503);
  EXPECT_EQ(JsonOf(turned)["error"], "busy");
  EXPECT_FALSE(turned.Header("retry-after").empty());
  // The two in the pool were played to the end (no game ends in them).
  EXPECT_EQ(JsonOf(playing)["error"], "no-end");
  EXPECT_EQ(JsonOf(waiting)["error"], "no-end");
}

TEST_F(BoardServerTest, AGameTooSlowToPlayIsCut) {
  options.timeLimit = 0.001;
  Start();
  HttpAnswer answer = Submit("?name=slow", WholeGame());
  EXPECT_EQ(answer.status, 503);
  EXPECT_EQ(JsonOf(answer)["error"], "too-slow");
}

TEST_F(BoardServerTest, TheBrowserBuildIsServedAndNothingElse) {
  fs::path web = dir / "web";
  fs::create_directories(web / "sub");
  std::ofstream(web / "index.html") << "<p>game</p>";
  std::ofstream(web / "game.js") << "var x;";
  std::ofstream(web / "game.wasm") << "\0asm";
  std::ofstream(web / "sub" / "index.html") << "sub";
  std::ofstream(dir / "secret.txt") << "secret";
  fs::create_symlink(dir / "secret.txt", web / "out.txt");
  fs::create_symlink(web / "game.js", web / "in.js");
  options.web = web.string();
  Start();
  HttpAnswer index = Get("/play/");
  EXPECT_EQ(index.status, 200);
  EXPECT_EQ(index.body, "<p>game</p>");
  EXPECT_EQ(index.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_EQ(Get("/play/index.html").body, "<p>game</p>");
  EXPECT_EQ(Get("/play/sub/").body, "sub");
  EXPECT_EQ(Get("/play/game.wasm").Header("content-type"), "application/wasm");
  EXPECT_EQ(Get("/play/game.js").Header("content-type"), "text/javascript; charset=utf-8");
  EXPECT_EQ(Get("/play/in.js").body, "var x;");
  EXPECT_EQ(Get("/play").Header("location"), "/play/");
  for (const char *path : {"/play/../secret.txt", "/play/%2e%2e/secret.txt", "/play/sub/../../secret.txt",
                           "/play/out.txt", "/play//etc/passwd", "/play/nothing.js", "/play/..", "/play/sub/..",
                           "/play/index.html%00.txt", "/play/index.html%00", "/play/sub%0a/", "/play/index.html%7f",
                           "/%00", "/api/top%00?mode=normal"}) {
    HttpRequest request{"GET", Url(path)};
    request.pathAsIs = true;
    HttpAnswer answer = Http(request);
    EXPECT_EQ(answer.status, 404) << path;
    EXPECT_EQ(answer.body.find("secret"), std::string::npos) << path;
  }
  EXPECT_EQ(Http({"PUT", Url("/play/index.html")}).status, 405);
}

TEST_F(BoardServerTest, StoppingLetsTheGameInPlayFinish) {
  options.workers = 1;
  Start();
  HttpAnswer answer;
  std::thread submit([&] { answer = Submit("?name=last", WholeGame()); });
  ASSERT_TRUE(WaitFor([&] { return server->Playing() == 1; }));
  const int port = server->Port();
  server->Stop();
  submit.join();
  EXPECT_EQ(answer.status, 201) << answer.body << answer.error;
  // Kept before it was answered, and nothing listens any more.
  std::string error;
  std::unique_ptr<BoardDb> db = BoardDb::Open(options.db, error);
  ASSERT_TRUE(db) << error;
  int64_t games = 0;
  ASSERT_TRUE(db->Count(&games, error)) << error;
  EXPECT_EQ(games, 1);
  EXPECT_EQ(Http({"GET", "http://127.0.0.1:" + std::to_string(port) + "/"}).status, 0);
}

TEST(BoardCommandLine, OptionsAndTheirErrors) {
  auto parse = [](std::vector<const char *> args, BoardOptions &options, std::string &error) {
    args.insert(args.begin(), "quillrun-board");
    bool help = false;
    return ParseBoardOptions(static_cast<int>(args.size()), const_cast<char **>(args.data()), options, help, error);
  };
  BoardOptions options;
  std::string error;
  ASSERT_TRUE(parse({"--db", "b.sqlite", "--port=0", "--bind", "::1", "--trust-proxy", "10.0.0.1",
                     "--trust-proxy=::FFFF:10.0.0.2", "--workers", "3", "--queue", "0", "--time-limit", "2.5",
                     "--rate", "5", "--web", "/"},
                    options, error))
      << error;
  EXPECT_EQ(options.db, "b.sqlite");
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.bind, "::1");
  EXPECT_EQ(options.trustProxy, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(options.workers, 3);
  EXPECT_EQ(options.queue, 0);
  EXPECT_DOUBLE_EQ(options.timeLimit, 2.5);
  EXPECT_EQ(options.rate, 5);
  BoardOptions backup;
  ASSERT_TRUE(parse({"--db", "b.sqlite", "--backup", "copy.sqlite", "--metrics-from", "10.1.0.0/16",
                     "--metrics-from=fd00::/8"},
                    backup, error))
      << error;
  EXPECT_EQ(backup.backup, "copy.sqlite");
  EXPECT_EQ(backup.metricsFrom, (std::vector<std::string>{"10.1.0.0/16", "fd00::/8"}));
  for (std::vector<const char *> bad : std::vector<std::vector<const char *>>{
           {"--db", "b", "--port", "1", "--metrics-from", "10.0.0.0/33"},
           {"--db", "b", "--port", "1", "--metrics-from", "everyone"},
           {"--db", "b", "--port", "1", "--connections-per-address", "-1"},
           {"--port", "80"},
           {"--db", "b", "--port", "65536"},
           {"--db", "b", "--port", "-1"},
           {"--db", "b", "--port"},
           {"--db", "b", "--port", "1", "--workers", "0"},
           {"--db", "b", "--port", "1", "--time-limit", "0"},
           {"--db", "b", "--port", "1", "--time-limit", "nan"},
           {"--db", "b", "--port", "1", "--rate", "1x"},
           {"--db", "b", "--port", "1", "--bind", "localhost"},
           {"--db", "b", "--port", "1", "--trust-proxy", "10.0.0.0/8"},
           {"--db", "b", "--port", "1", "--web", "/no/such/folder"},
           {"--db", "b", "--port", "1", "--colour"},
           {"--db", "b", "--port", "1", "extra"}}) {
    BoardOptions ignored;
    error.clear();
    EXPECT_FALSE(parse(bad, ignored, error)) << bad.back();
    EXPECT_FALSE(error.empty());
  }
}

// The program: its start line with the port it got, and SIGTERM ending it with 0.
TEST_F(BoardServerTest, TheProgramStartsAndStopsOnSigterm) {
  const char *build = std::getenv("QR_BUILD_DIR");
  const std::string program = std::string(build ? build : ".") + "/quillrun-board";
  ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], 1);
    close(out[0]);
    dup2(open("/dev/null", O_WRONLY), 2);
    execl(program.c_str(), program.c_str(), "--db", options.db.c_str(), "--port", "0", "--bind", "127.0.0.1",
          static_cast<char *>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE *lines = fdopen(out[0], "r");
  char line[256] = "";
  ASSERT_NE(fgets(line, sizeof line, lines), nullptr);
  fclose(lines);
  int port = 0;
  ASSERT_EQ(sscanf(line, "quillrun-board: listening on http://127.0.0.1:%d/", &port), 1) << line;
  EXPECT_EQ(Http({"GET", "http://127.0.0.1:" + std::to_string(port) + "/api/top?mode=random"}).status, 200);
  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // A bad option: the usage and 2.
  child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(open("/dev/null", O_WRONLY), 2);
    execl(program.c_str(), program.c_str(), "--db", options.db.c_str(), "--port", "x", static_cast<char *>(nullptr));
    _exit(127);
  }
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

}  // namespace

TEST_F(BoardServerTest, ATopListIsNeverStaleForItsOwnGamesAndSoonShowsAnothers) {
  Start();
  // Asked for, and so kept for a while, before the game is added here: the game still
  // shows at once.
  EXPECT_EQ(JsonOf(Get("/api/top?mode=normal"))["games"].size(), 0u);
  ASSERT_EQ(Submit("?name=here", ShorterGame()).status, 201);
  EXPECT_EQ(JsonOf(Get("/api/top?mode=normal"))["games"].size(), 1u);

  // A second board on the same database adds a game: the first shows it once its kept
  // list has aged (a second).
  BoardOptions second = options;
  std::string error;
  std::unique_ptr<BoardServer> other = BoardServer::Start(second, error);
  ASSERT_TRUE(other) << error;
  HttpAnswer added = Http({"POST", "http://127.0.0.1:" + std::to_string(other->Port()) + "/api/games?name=there",
                           WholeGame(), {}});
  ASSERT_EQ(added.status, 201) << added.body;
  const auto sent = std::chrono::steady_clock::now();
  size_t shown = 0;
  while ((shown = JsonOf(Get("/api/top?mode=normal"))["games"].size()) < 2 &&
         std::chrono::steady_clock::now() - sent < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(shown, 2u);
  EXPECT_EQ(JsonOf(Get("/api/top?mode=normal"))["games"][0]["name"], "there");
}
