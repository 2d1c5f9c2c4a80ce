// Sending kept games to a score board, against a small HTTP board inside the test (a
// socket on 127.0.0.1 answering canned replies and keeping each request): the request as
// sent (method, path, escaped query, headers, a gzip body that opens to exactly the
// --export text), the line for a placing, a refusal, answers that are not what a board
// answers, a board that is not there, redirects, the best game picked when none is
// named, and the offer at the end of a run (when it is made, and its boxes on the
// headless driver).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/player.h"
#include "app/store.h"
#include "app/store_commands.h"
#include "app/submit.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"
#include "world/rules.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {

struct Request {
  std::string method, target, body;
  std::map<std::string, std::string> headers;  // names in lower case
};

std::string Reply(int status, const std::string &body, const std::string &extraHeaders = "") {
  return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: application/json\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

// Answers one connection per reply given, in order, and keeps what each asked.
class FakeBoard {
 public:
  explicit FakeBoard(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 || getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
      ADD_FAILURE() << "no listening socket";
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeBoard() {
    Finish();
    close(listener_);
  }
  // Waits until every reply is sent (or nobody came for 20 s); the requests kept.
  const std::vector<Request> &Finish() {
    if (thread_.joinable()) thread_.join();
    return requests_;
  }
  std::string Url(const std::string &path = "") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  void Serve() {
    for (const std::string &reply : replies_) {
      pollfd wait = {listener_, POLLIN, 0};
      if (poll(&wait, 1, 20000) <= 0) return;
      const int connection = accept(listener_, nullptr, nullptr);
      if (connection < 0) return;
      requests_.push_back(Read(connection));
      for (size_t sent = 0; sent < reply.size();) {
        const ssize_t n = send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(connection, SHUT_WR);
      char drain[256];
      while (recv(connection, drain, sizeof drain, 0) > 0) {
      }
      close(connection);
    }
  }

  static Request Read(int connection) {
    std::string data;
    size_t headerEnd = std::string::npos;
    char buffer[4096];
    Request request;
    size_t bodyLength = 0;
    for (;;) {
      pollfd wait = {connection, POLLIN, 0};
      if (poll(&wait, 1, 10000) <= 0) return request;
      const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
      if (n <= 0) return request;
      data.append(buffer, static_cast<size_t>(n));
      if (headerEnd == std::string::npos && (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
        size_t at = data.find("\r\n");
        const std::string first = data.substr(0, at);
        request.method = first.substr(0, first.find(' '));
        request.target = first.substr(first.find(' ') + 1, first.rfind(' ') - first.find(' ') - 1);
        while (at < headerEnd) {
          const size_t next = data.find("\r\n", at + 2);
          const std::string line = data.substr(at + 2, next - at - 2);
          const size_t colon = line.find(':');
          std::string name = line.substr(0, colon);
          for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          if (colon != std::string::npos) request.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
          at = next;
        }
        bodyLength = std::strtoul(request.headers["content-length"].c_str(), nullptr, 10);
      }
      if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + bodyLength) {
        request.body = data.substr(headerEnd + 4, bodyLength);
        return request;
      }
    }
  }

  std::vector<std::string> replies_;
  std::vector<Request> requests_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

std::string Gunzip(const std::string &data) {
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 16) != Z_OK) return "(not opened)";
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  int result = Z_OK;
  while (result == Z_OK) {
    char buffer[16384];
    stream.next_out = reinterpret_cast<Bytef *>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  }
  inflateEnd(&stream);
  return result == Z_STREAM_END ? out : "(not gzip)";
}

std::string ReadFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const char *const Placed =
    R"({"id":41,"name":"x","mode":"normal","end":"over","score":1234,"shield":0,"frames":500,"began":7,)"
    R"("rules":1,"place":3,"url":"http://b/games/41"})";

class SubmitTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qr-submit-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/quillrun/games.sqlite";
    std::string error;
    store_ = GameStore::Open(path_, error);
    ASSERT_TRUE(store_) << error;
  }
  void TearDown() override {
    store_.reset();
    fs::remove_all(dir_);
  }

  // A run of `frames` made-up inputs holding the games given (end, score, mode, first
  // frame); the games' ids in order.
  std::vector<int64_t> Keep(uint32_t frames, const std::vector<KeptGame> &games) {
    std::string error;
    EXPECT_TRUE(store_->Begin(error)) << error;
    const int64_t run = store_->AddRun(99, RulesVersion, 1000, error);
    std::vector<uint8_t> encoded;
    for (uint32_t i = 0; i < frames; ++i)
      EncodeInput(FrameInput{static_cast<int>(i % 13) - 6, -static_cast<int>(i % 5), i % 3 == 0, false, false, i % 7 == 0},
                  encoded);
    EXPECT_TRUE(store_->PutChunk(run, 0, frames, encoded, error)) << error;
    EXPECT_TRUE(store_->SetLease(run, frames, 0, error)) << error;
    std::vector<int64_t> ids;
    for (KeptGame game : games) {
      game.run = run;
      if (game.ended == 0) game.ended = frames - 1;
      game.id = store_->AddGame(game, error);
      EXPECT_TRUE(store_->UpdateGame(game, error)) << error;
      ids.push_back(game.id);
    }
    EXPECT_TRUE(store_->Commit(error)) << error;
    return ids;
  }

  static KeptGame Game(const char *end, int score, uint32_t began, int64_t date = 1000, int mode = 0) {
    KeptGame game;
    game.end = end;
    game.score = score;
    game.began = began;
    game.date = date;
    game.mode = mode;
    return game;
  }

  // --submit's exit status, stdout and stderr.
  struct Said {
    int status;
    std::string out, err;
  };
  Said Submit(const std::string &board, const std::string &id, const std::string &name = "ann") {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = SubmitCommand(path_, board, id, name);
    Said said{status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
    return said;
  }

  std::string dir_, path_;
  std::unique_ptr<GameStore> store_;
};

TEST_F(SubmitTest, TheRequestCarriesTheExportedRecordAndThePlacingIsOneLine) {
  const int64_t id = Keep(900, {Game("over", 1234, 120)})[0];
  const std::string exported = dir_ + "/export.txt";
  ASSERT_EQ(ExportKeptGame(path_, std::to_string(id), exported), 0);

  // With a path before /api and a slash at the end, a name of spaces, & and UTF-8.
  FakeBoard board({Reply(201, Placed)});
  const Said said = Submit(board.Url("/boards/q/"), std::to_string(id), "Ann & Bob \xC3\xBC=1");
  const std::vector<Request> &requests = board.Finish();
  ASSERT_EQ(requests.size(), 1u);
  const Request &request = requests[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/boards/q/api/games?name=Ann%20%26%20Bob%20%C3%BC%3D1&game=120");
  EXPECT_EQ(request.headers.at("content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(request.headers.at("content-encoding"), "gzip");
  EXPECT_EQ(request.headers.count("expect"), 0u);
  const std::string text = ReadFile(exported);
  EXPECT_LT(request.body.size(), text.size() / 2);
  EXPECT_EQ(Gunzip(request.body), text);

  EXPECT_EQ(said.status, 0);
  EXPECT_EQ(said.out, "quillrun: game " + std::to_string(id) + " took place 3 on the normal board (score 1234, GAME OVER)\n");
  EXPECT_EQ(said.err, "");

  // Without the slash the same path; the random board and ALL CLEAR as answered.
  std::string random = Placed;
  random.replace(random.find("\"normal\""), 8, "\"random\"");
  random.replace(random.find("\"over\""), 6, "\"clear\"");
  FakeBoard again({Reply(201, random)});
  const Said second = Submit(again.Url("/boards/q"), std::to_string(id));
  ASSERT_EQ(again.Finish().size(), 1u);
  EXPECT_EQ(again.Finish()[0].target, "/boards/q/api/games?name=ann&game=120");
  EXPECT_EQ(second.out, "quillrun: game " + std::to_string(id) + " took place 3 on the random board (score 1234, ALL CLEAR)\n");
}

TEST_F(SubmitTest, ARefusalGivesTheBoardsReasonOnStderr) {
  const std::string id = std::to_string(Keep(300, {Game("over", 10, 5)})[0]);
  FakeBoard board({Reply(422, R"({"error":"no-end","reason":"the game does not end in GAME OVER or ALL CLEAR"})"),
                   Reply(429, R"({"error":"too-many","reason":"too many games from your address"})",
                         "Retry-After: 120\r\n"),
                   Reply(503, R"({"error":"busy","reason":"busy\u0007\nnow"})")});
  const Said refused = Submit(board.Url(), id);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "quillrun: the board refused game " + id + ": the game does not end in GAME OVER or ALL CLEAR\n");
  const Said tooMany = Submit(board.Url(), id);
  EXPECT_EQ(tooMany.status, 1);
  EXPECT_EQ(tooMany.err, "quillrun: the board refused game " + id + ": too many games from your address (try again in 120 s)\n");
  // Control characters in a reason stay out of the player's terminal.
  const Said busy = Submit(board.Url(), id);
  EXPECT_EQ(busy.err, "quillrun: the board refused game " + id + ": busy  now\n");
  EXPECT_EQ(board.Finish().size(), 3u);
}

TEST_F(SubmitTest, AnswersThatAreNoBoardsAreSaidInOneLine) {
  const std::string id = std::to_string(Keep(300, {Game("clear", 10, 5)})[0]);
  struct Case {
    std::string reply;
    std::string said;
  };
  const std::string huge = "{\"reason\":\"" + std::string(100000, 'x') + "\"}";
  for (const Case &c : std::vector<Case>{
           {Reply(201, "<html>placed!</html>"), "but its answer makes no sense"},
           {Reply(201, R"({"place":"3","mode":"normal","end":"over","score":5})"), "but its answer makes no sense"},
           {Reply(201, R"({"place":0,"mode":"normal","end":"over","score":5})"), "but its answer makes no sense"},
           {Reply(201, R"({"place":3,"mode":"other","end":"over","score":5})"), "but its answer makes no sense"},
           {Reply(201, R"({"place":3,"mode":"normal","end":"over","score":1e99})"), "but its answer makes no sense"},
           {Reply(201, R"([{"place":3}])"), "but its answer makes no sense"},
           {Reply(201, std::string(20000, '[')), "but its answer makes no sense"},
           {Reply(500, "Internal Server Error"), "refused game " + id + ": status 500"},
           {Reply(418, R"({"reason":7})"), "refused game " + id + ": status 418"},
           {Reply(200, R"({"place":3})"), "answered game " + id + " with status 200"},
           {Reply(200, huge), "with more than 64 KiB; not read"},
       }) {
    FakeBoard board({c.reply});
    const Said said = Submit(board.Url(), id);
    EXPECT_EQ(said.status, 1) << c.said;
    EXPECT_EQ(said.out, "") << c.said;
    EXPECT_NE(said.err.find(c.said), std::string::npos) << said.err;
    EXPECT_EQ(std::count(said.err.begin(), said.err.end(), '\n'), 1) << said.err;
  }
}

TEST_F(SubmitTest, NoBoardThereOrAnotherProtocolIsANetworkErrorInOneLine) {
  const std::string id = std::to_string(Keep(300, {Game("over", 10, 5)})[0]);
  // A port just given up: nobody listens there.
  int closedPort = 0;
  {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length), 0);
    closedPort = ntohs(address.sin_port);
    close(probe);
  }
  const std::string nowhere = "http://127.0.0.1:" + std::to_string(closedPort);
  const Said refused = Submit(nowhere, id);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.rfind("quillrun: cannot send game " + id + " to the board at " + nowhere + ": ", 0), 0u)
      << refused.err;
  EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;

  // A redirect to a file is not followed; one to the board's new address keeps the POST.
  FakeBoard board({Reply(302, "", "Location: file:///etc/passwd\r\n"),
                   Reply(301, "", "Location: /moved/api/games?name=ann&game=5\r\n"), Reply(201, Placed)});
  const Said file = Submit(board.Url(), id);
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(file.err.rfind("quillrun: cannot send game " + id, 0), 0u) << file.err;
  const Said moved = Submit(board.Url(), id);
  EXPECT_EQ(moved.status, 0) << moved.err;
  const std::vector<Request> &requests = board.Finish();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].method, "POST");
  EXPECT_EQ(requests[2].target, "/moved/api/games?name=ann&game=5");
  EXPECT_EQ(requests[2].body, requests[1].body);

  // A game that is not kept never reaches the board.
  const Said missing = Submit(nowhere, "999999");
  EXPECT_EQ(missing.err, "quillrun: no kept game 999999\n");
}

TEST_F(SubmitTest, WithoutAnIdTheBestEndedGameIsSent) {
  // Of the games that ended, the highest score of either mode; of a tie the earlier.
  const std::vector<int64_t> first = Keep(400, {Game("over", 100, 10, 1000), Game("quit", 900, 150, 1001)});
  const std::vector<int64_t> second =
      Keep(500, {Game("clear", 300, 20, 1005, 1), Game("cut", 1000, 100, 1006), Game("over", 300, 200, 1007)});
  FakeBoard board({Reply(201, Placed)});
  const Said said = Submit(board.Url(), "");
  const std::vector<Request> &requests = board.Finish();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/api/games?name=ann&game=20");
  EXPECT_EQ(said.out.rfind("quillrun: game " + std::to_string(second[0]) + " took place 3", 0), 0u) << said.out;

  // A store with no game that ended says so and sends nothing.
  store_.reset();
  fs::remove_all(dir_ + "/quillrun");
  std::string error;
  store_ = GameStore::Open(path_, error);
  Keep(100, {Game("quit", 50, 3)});
  const Said none = Submit("http://127.0.0.1:1", "");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "quillrun: no kept game ended in GAME OVER or ALL CLEAR\n");
}

TEST(SubmitOffer, OfferedOnlyForARunWithAFinishedGameAndABoard) {
  auto game = [](int64_t id, int64_t run, const char *end, int score) {
    KeptGame g;
    g.id = id;
    g.run = run;
    g.end = end;
    g.score = score;
    return g;
  };
  const std::vector<KeptGame> kept = {game(1, 4, "over", 500), game(2, 5, "over", 200), game(3, 5, "quit", 900),
                                      game(4, 5, "clear", 350), game(5, 5, "over", 350), game(6, 6, "cut", 50)};
  OfferFacts facts;
  facts.board = "http://board";
  facts.keptRun = 5;
  KeptGame best;
  // This run's best that ended (not the other run's higher score, not the quit one).
  ASSERT_TRUE(ShouldOffer(facts, kept, best));
  EXPECT_EQ(best.id, 4);
  for (auto change : std::vector<void (*)(OfferFacts &)>{
           [](OfferFacts &f) { f.board.clear(); }, [](OfferFacts &f) { f.keptRun = 0; },
           [](OfferFacts &f) { f.demo = true; }, [](OfferFacts &f) { f.watching = true; },
           [](OfferFacts &f) { f.quitSignal = 15; }, [](OfferFacts &f) { f.keptRun = 6; },
           [](OfferFacts &f) { f.keptRun = 7; }}) {
    OfferFacts changed = facts;
    change(changed);
    EXPECT_FALSE(ShouldOffer(changed, kept, best)) << changed.board << changed.keptRun;
  }
}

// The whole offer on the headless driver: a run kept by the real writer, its question,
// and the place shown after Yes; No sends nothing.
TEST_F(SubmitTest, TheOfferAsksInTheGamesBoxAndShowsThePlace) {
  // A game of an earlier run with a higher score: not this run's, so not offered.
  Keep(300, {Game("over", 999999, 5)});
  setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  HeadlessEnable();
  HeadlessReset();
  World world;
  StartWorld(world, 777);
  ASSERT_TRUE(StartKeeping(world.randomSeed));
  BuiltInPlayer player;
  uint32_t began = 0;
  bool ended = false;
  for (uint32_t frame = 0; frame < 200000 && !ended; ++frame) {
    const int before = world.GameState;
    const FrameInput input = frame < 400 ? player.Decide(world) : FrameInput{};
    FrameReport report;
    StepWorld(world, input, report);
    KeepFrame(input, world);
    if (before != Playing && world.GameState == Playing) began = frame;
    ended = before == Playing && world.GameState != Playing;
  }
  StopKeeping();
  ASSERT_TRUE(ended);
  const int score = world.score;

  OfferFacts facts;
  facts.keptRun = KeptRunId();
  FakeBoard board({Reply(201, Placed)});
  facts.board = board.Url();
  HeadlessSetMessageBoxAnswer(IDNO);
  OfferBestGame(path_, facts, "ann");
  EXPECT_EQ(HeadlessMessageBoxCount(), 1);
  EXPECT_EQ(std::string(HeadlessLastMessageBoxText()),
            "Send your best game of this run (score " + std::to_string(score) + ") to " + board.Url() + "?");
  EXPECT_STREQ(HeadlessLastMessageBoxCaption(), "quillrun");

  HeadlessSetMessageBoxAnswer(IDYES);
  testing::internal::CaptureStdout();
  OfferBestGame(path_, facts, "ann");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(HeadlessMessageBoxCount(), 3);
  const std::vector<Request> &requests = board.Finish();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/api/games?name=ann&game=" + std::to_string(began));
  const std::string line = out.substr(std::string("quillrun: g").size());
  EXPECT_EQ(std::string(HeadlessLastMessageBoxText()), "G" + line.substr(0, line.size() - 1));
  EXPECT_NE(out.find(" took place 3 on the normal board"), std::string::npos) << out;

  // In --demo nothing is asked.
  facts.demo = true;
  OfferBestGame(path_, facts, "ann");
  EXPECT_EQ(HeadlessMessageBoxCount(), 3);
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
