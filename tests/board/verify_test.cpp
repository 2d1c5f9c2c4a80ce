// Proving submitted games: the body opened within its limits, the recording read with
// its faults named, the game found and played to its end, the built-in player's own game
// refused, and names checked.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/player.h"
#include "board/verify.h"
#include "record/record_header.h"

namespace {

std::string ReadSource(const std::string &relative) {
  std::ifstream in(std::string(std::getenv("QR_SOURCE_DIR")) + "/" + relative, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The scripted whole game of the test data: from seed 1 it ends in GAME OVER with 19037
// points on the input of frame 5481 counted from 0, as kept games count (the replay
// runner's --summary, which counts from 1, says frame 5482).
std::string WholeGame() { return "# quillrun-record 2 rules 1 seed 1\n" + ReadSource("tests/data/wholegame.input"); }

std::string Gzip(const std::string &text, int windowBits = 15 + 16) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, text.size()) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef *>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

struct Outcome {
  bool ok = false;
  Refusal refusal = Refusal::None;
  std::string why;
  ProvenGame game;
};

Outcome Prove(const std::string &text, int64_t game = -1) {
  Outcome outcome;
  SubmittedRecord record;
  if (!ReadSubmittedRecord(text, record, outcome.refusal, outcome.why)) return outcome;
  outcome.ok = ProveGame(record, game, outcome.game, outcome.refusal, outcome.why);
  return outcome;
}

std::string Lines(const std::string &line, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += line + "\n";
  return out;
}

}  // namespace

TEST(BoardBody, OpensGzipAndZlibAndRefusesWhatIsDamagedOrTooLarge) {
  const std::string text = WholeGame();
  std::string opened;
  Refusal refusal = Refusal::None;
  std::string why;
  ASSERT_TRUE(InflateBody(Gzip(text), opened, refusal, why)) << why;
  EXPECT_EQ(opened, text);
  ASSERT_TRUE(InflateBody(Gzip(text, 15), opened, refusal, why)) << why;   // zlib
  EXPECT_EQ(opened, text);
  // Two gzip members one after the other open as one text.
  ASSERT_TRUE(InflateBody(Gzip("abc") + Gzip("def"), opened, refusal, why)) << why;
  EXPECT_EQ(opened, "abcdef");

  const std::string packed = Gzip(text);
  EXPECT_FALSE(InflateBody(packed.substr(0, packed.size() / 2), opened, refusal, why));
  EXPECT_EQ(refusal, Refusal::Malformed);
  EXPECT_TRUE(opened.empty());
  EXPECT_FALSE(InflateBody("plain text, not compressed", opened, refusal, why));
  EXPECT_EQ(refusal, Refusal::Malformed);

  // A small body that opens to far more than the limit is stopped at the limit.
  const std::string bomb = Gzip(std::string(8u << 20, '0'));
  EXPECT_LT(bomb.size(), 64u << 10);
  EXPECT_FALSE(InflateBody(bomb, opened, refusal, why, 1u << 20));
  EXPECT_EQ(refusal, Refusal::TooLarge);
  EXPECT_TRUE(opened.empty());
}

TEST(BoardRecord, NamesTheFaultyLineAndRefusesOtherRulesAndTooManyFrames) {
  SubmittedRecord record;
  Refusal refusal = Refusal::None;
  std::string why;
  const std::string header = "# quillrun-record 2 rules 1 seed 5\n";

  ASSERT_TRUE(ReadSubmittedRecord(header + "# a comment\n1 -2 1 0 0 0\n\n3,4,0,1,0,1\r\n", record, refusal, why))
      << why;
  EXPECT_EQ(record.seed, 5u);
  EXPECT_EQ(record.rules, 1);
  ASSERT_EQ(record.inputs.size(), 3u);   // the empty line is a frame with nothing done
  EXPECT_EQ(record.inputs[0].dy, -2);
  EXPECT_TRUE(record.inputs[0].left);
  EXPECT_EQ(record.inputs[1].dx, 0);
  EXPECT_TRUE(record.inputs[2].right && record.inputs[2].enter);
  // The first recordings' header reads as rules 1.
  EXPECT_TRUE(ReadSubmittedRecord("# quillrun-record seed 9\n0 0 0 0 0 0\n", record, refusal, why)) << why;
  EXPECT_EQ(record.seed, 9u);

  struct Case {
    std::string text;
    Refusal refusal;
    std::string where;
  };
  const Case cases[] = {
      {"", Refusal::Malformed, "empty"},
      {"0 0 0 0 0 0\n", Refusal::Malformed, "line 1:"},
      {"# quillrun-record 3 rules 1 seed 5\n", Refusal::Malformed, "line 1:"},
      {"# quillrun-record 2 rules 7 seed 5\n0 0 0 0 0 0\n", Refusal::OtherRules, "rules 7"},
      {header + "0 0 0 0 0 0\n0 0 2 0 0 0\n", Refusal::Malformed, "line 3:"},
      {header + "0 0 0 0 0\n", Refusal::Malformed, "line 2:"},
      {header + "0 0 0 0 0 0 0\n", Refusal::Malformed, "line 2:"},
      {header + "1000001 0 0 0 0 0\n", Refusal::Malformed, "line 2:"},   // past the largest motion
      {header + "0 0 0 0 0 0\n" + std::string("0 0\0 0 0 0 0\n", 13), Refusal::Malformed, "line 3: a NUL"},
      {header + "# quillrun-record 2 rules 1 seed 6\n", Refusal::Malformed, "line 2: a second header"},
      {header + "# game begins at frame x\n", Refusal::Malformed, "line 2:"},
      {header + "# game begins at frame 1\n# game begins at frame 2\n", Refusal::Malformed, "line 3:"},
  };
  for (const Case &c : cases) {
    EXPECT_FALSE(ReadSubmittedRecord(c.text, record, refusal, why)) << c.text;
    EXPECT_EQ(refusal, c.refusal) << c.text;
    EXPECT_NE(why.find(c.where), std::string::npos) << why;
  }

  // The frame limit: exactly the most is read, one more is refused.
  std::string most = header + Lines("0 0 0 0 0 0", static_cast<int>(BoardMaxFrames));
  ASSERT_TRUE(ReadSubmittedRecord(most, record, refusal, why)) << why;
  EXPECT_EQ(record.inputs.size(), BoardMaxFrames);
  most += "0 0 0 0 0 0\n";
  EXPECT_FALSE(ReadSubmittedRecord(most, record, refusal, why));
  EXPECT_EQ(refusal, Refusal::TooLarge);
  EXPECT_TRUE(record.inputs.empty());
}

TEST(BoardProof, ScoresTheGameItPlaysAsTheReplayRunnerDoes) {
  Outcome whole = Prove(WholeGame());
  ASSERT_TRUE(whole.ok) << whole.why;
  EXPECT_STREQ(whole.game.end, "over");
  EXPECT_EQ(whole.game.score, 19037);
  EXPECT_EQ(whole.game.mode, 0);
  EXPECT_EQ(whole.game.rules, 1);
  EXPECT_EQ(whole.game.began, 0u);
  EXPECT_EQ(whole.game.ended, 5481u);
  EXPECT_EQ(whole.game.frames, 5482u);
  EXPECT_EQ(whole.game.shield, 0);

  // Asked for by its first frame, or named by the file: the same game.
  Outcome asked = Prove(WholeGame(), 0);
  ASSERT_TRUE(asked.ok) << asked.why;
  EXPECT_EQ(asked.game.score, 19037);
  std::string named = WholeGame();
  named.insert(named.find('\n') + 1, "# game begins at frame 0\n");
  EXPECT_TRUE(Prove(named).ok);

  // No game begins on frame 3; the file's own line does not outweigh the question.
  Outcome none = Prove(WholeGame(), 3);
  EXPECT_EQ(none.refusal, Refusal::NoGame);
  std::string wrong = WholeGame();
  wrong.insert(wrong.find('\n') + 1, "# game begins at frame 3\n");
  EXPECT_EQ(Prove(wrong).refusal, Refusal::NoGame);
  wrong.insert(wrong.find('\n') + 1, "");
  EXPECT_TRUE(Prove(wrong, 0).ok);

  // Cut short before its end: no score to give.
  const std::string text = WholeGame();
  size_t at = 0;
  for (int line = 0; line < 3001; ++line) at = text.find('\n', at) + 1;
  Outcome cut = Prove(text.substr(0, at));
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.refusal, Refusal::NoEnd);
  EXPECT_NE(cut.why.find("has not ended"), std::string::npos) << cut.why;
  // Nothing but the title.
  EXPECT_EQ(Prove("# quillrun-record 2 rules 1 seed 1\n" + Lines("0 0 0 0 0 0", 500)).refusal, Refusal::NoEnd);
}

TEST(BoardProof, AGameLeftWithEscapeIsNotScoredAndTheNextOneIs) {
  // A game started, left with Escape on frame 100 while the button is held, which starts
  // the next game on that same frame; then the scripted game's inputs play it out.
  const std::string whole = ReadSource("tests/data/wholegame.input");
  std::string text = "# quillrun-record 2 rules 1 seed 1\n1 0 1 0 0 0\n" + Lines("0 0 0 0 0 0", 99) +
                     "0 0 1 0 1 0\n" + whole.substr(whole.find('\n') + 1) + Lines("0 0 0 0 0 0", 20000);
  Outcome next = Prove(text);
  ASSERT_TRUE(next.ok) << next.why;
  EXPECT_EQ(next.game.began, 100u);
  // Asked for by name, the game that was left has no end.
  Outcome left = Prove(text, 0);
  EXPECT_EQ(left.refusal, Refusal::NoEnd);
  EXPECT_NE(left.why.find("left at frame 100"), std::string::npos) << left.why;
  EXPECT_TRUE(Prove(text, 100).ok);
}

TEST(BoardProof, StopsWhenItsTimeIsUpOrItIsCancelled) {
  SubmittedRecord record;
  Refusal refusal = Refusal::None;
  std::string why;
  ASSERT_TRUE(ReadSubmittedRecord(WholeGame(), record, refusal, why));
  ProvenGame game;
  EXPECT_FALSE(ProveGame(record, -1, game, refusal, why, std::chrono::steady_clock::now() - std::chrono::seconds(1)));
  EXPECT_EQ(refusal, Refusal::TooSlow);
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(ProveGame(record, -1, game, refusal, why, std::chrono::steady_clock::time_point::max(), &cancel));
  EXPECT_EQ(refusal, Refusal::TooSlow);
}

TEST(BoardProof, TheBuiltInPlayersOwnGameIsRefusedAndOneChangedInputIsNot) {
  // The built-in player's normal game from seed 7, as `quillrun-replay --play normal`
  // records it, up to its end and a few frames past.
  auto world = std::make_unique<World>();
  StartWorld(*world, 7);
  auto player = std::make_unique<BuiltInPlayer>(false);
  FrameReport report;
  std::string text = RecordHeaderLine(7) + "\n";
  std::vector<FrameInput> inputs;
  for (int frame = 0; frame < 60000 && world->GameState != GameOver && world->GameState != AllClear; ++frame) {
    const FrameInput input = player->Decide(*world);
    inputs.push_back(input);
    StepWorld(*world, input, report);
  }
  ASSERT_TRUE(world->GameState == GameOver || world->GameState == AllClear);
  auto write = [](const std::vector<FrameInput> &frames) {
    std::string out = RecordHeaderLine(7) + "\n";
    for (const FrameInput &in : frames)
      out += std::to_string(in.dx) + " " + std::to_string(in.dy) + " " + std::to_string(in.left) + " " +
             std::to_string(in.right) + " " + std::to_string(in.escape) + " " + std::to_string(in.enter) + "\n";
    return out + Lines("0 0 0 0 0 0", 10);
  };
  Outcome own = Prove(write(inputs));
  EXPECT_EQ(own.refusal, Refusal::BuiltInPlayer) << own.why;
  EXPECT_EQ(RefusalStatus(own.refusal), 422);

  // The same game with the Enter key held on its tenth frame (the HUD's caption key,
  // which changes nothing the world plays) is no longer the player's own from end to end.
  inputs[10].enter = !inputs[10].enter;
  Outcome changed = Prove(write(inputs));
  ASSERT_TRUE(changed.ok) << changed.why;
  EXPECT_EQ(changed.game.score, world->score);
  EXPECT_EQ(changed.game.ended + 1, inputs.size());
}

// The frames of a recording's text, and a recording of frames.
std::vector<FrameInput> FramesOf(const std::string &text) {
  SubmittedRecord record;
  Refusal refusal;
  std::string why;
  EXPECT_TRUE(ReadSubmittedRecord(text, record, refusal, why)) << why;
  return record.inputs;
}
std::string RecordOf(const std::vector<FrameInput> &frames, const std::string &header = RecordHeaderLine(1)) {
  std::string out = header + "\n";
  for (const FrameInput &in : frames)
    out += std::to_string(in.dx) + " " + std::to_string(in.dy) + " " + std::to_string(in.left) + " " +
           std::to_string(in.right) + " " + std::to_string(in.escape) + " " + std::to_string(in.enter) + "\n";
  return out;
}

TEST(BoardProof, AGamesFingerprintsAreItsOwnInputsWhateverCameBefore) {
  const std::string whole = WholeGame();
  const std::string frames = whole.substr(whole.find('\n') + 1);
  const Outcome first = Prove(whole);
  ASSERT_TRUE(first.ok) << first.why;
  ASSERT_EQ(first.game.fingerprints.size(), 2u);
  std::vector<FrameInput> inputs = FramesOf(whole);

  // Enter and a held Escape toggled through the game, and motion on the first frame
  // (which a new game throws away): nothing the world reads.
  std::vector<FrameInput> unread = inputs;
  unread[0].dx = 37;
  for (int i = 1000; i < 1100; ++i) unread[i].enter = true;
  // A slow-motion stretch, and the same one with the motion of every frame it skips
  // moved onto the next frame: the same motion taken at the same updates.
  std::vector<FrameInput> slow = inputs;
  for (int i = 400; i < 700; ++i) slow[i].right = true;
  std::vector<FrameInput> moved = slow;
  {
    auto world = std::make_unique<World>();
    StartWorld(*world, 1);
    FrameReport report;
    int skipped = 0;
    for (size_t i = 0; i + 1 < slow.size() && i < 800; ++i) {
      StepWorld(*world, slow[i], report);
      if (i > 0 && (world->pendingDx != 0 || world->pendingDy != 0) && (moved[i].dx || moved[i].dy)) {
        moved[i + 1].dx += moved[i].dx;
        moved[i + 1].dy += moved[i].dy;
        moved[i].dx = moved[i].dy = 0;
        ++skipped;
      }
    }
    ASSERT_GT(skipped, 20);
  }
  const Outcome slowGame = Prove(RecordOf(slow));
  ASSERT_TRUE(slowGame.ok) << slowGame.why;
  std::vector<FrameInput> changed = inputs;
  changed[200].dx += 1;   // a frame of motion in the game's opening

  struct Case {
    const char *what;
    std::string text;
    const Outcome *like;
    bool whole, opening;   // the same fingerprint as `like`'s
  } cases[] = {
      {"the header as the first recordings wrote it", "# quillrun-record seed 1\n" + frames, &first, true, true},
      {"the seed written 01, and a space after it", "# quillrun-record 2 rules 1 seed 01 \n" + frames, &first, true,
       true},
      {"as the board keeps it",
       GameRecordText(1, 1, first.game.began, first.game.ended, first.game.score, inputs.data()), &first, true, true},
      {"one title frame before it: the same world", RecordOf({}) + Lines("0 0 0 0 0 0", 1) + frames, &first, true,
       true},
      {"three title frames before it: another world", RecordOf({}) + Lines("0 0 0 0 0 0", 3) + frames, &first, false,
       true},
      {"another seed", "# quillrun-record 2 rules 1 seed 2\n" + frames, &first, false, true},
      {"keys the world does not read", RecordOf(unread), &first, true, true},
      {"slow motion's skipped motion taken later", RecordOf(moved), &slowGame, true, true},
      {"one frame of motion changed", RecordOf(changed), &first, false, false},
      {"another game", "# quillrun-record 2 rules 1 seed 1\n" + ReadSource("tests/data/stage1.input"), &first, false,
       false},
  };
  for (const Case &c : cases) {
    const Outcome got = Prove(c.text);
    ASSERT_TRUE(got.ok) << c.what << ": " << got.why;
    ASSERT_FALSE(got.game.fingerprints.empty()) << c.what;
    EXPECT_EQ(got.game.fingerprints[0] == c.like->game.fingerprints[0], c.whole) << c.what;
    const bool opening = got.game.fingerprints.size() > 1 && got.game.fingerprints[1] == c.like->game.fingerprints[1];
    EXPECT_EQ(opening, c.opening) << c.what;
  }
  // The title frames' world is no small change: the same inputs score far more there.
  EXPECT_EQ(Prove(RecordOf({}) + Lines("0 0 0 0 0 0", 3) + frames).game.score, 35532);
}

TEST(BoardNames, TakesUtf8UpToTwentyFourCharactersWithoutControls) {
  for (const char *fine : {"a", "Ada", "<img src=x onerror=a()>", "'); DROP TABLE games; --",
                           "\xe5\xb1\xb1\xe7\x94\xb0",                    // 2 CJK characters
                           "\xf0\x9f\x97\xa1 sword", "abcdefghijklmnopqrstuvwx"})
    EXPECT_EQ(NameRefusal(fine), "") << fine;
  // 24 four-byte characters are 24 characters.
  std::string emoji;
  for (int i = 0; i < 24; ++i) emoji += "\xf0\x9f\x97\xa1";
  EXPECT_EQ(NameRefusal(emoji), "");
  EXPECT_NE(NameRefusal(emoji + "a"), "");
  for (const std::string &bad :
       {std::string(), std::string("abcdefghijklmnopqrstuvwxy"), std::string("tab\there"), std::string("new\nline"),
        std::string("nul\0x", 5), std::string("del\x7f"), std::string("c1 \xc2\x85"), std::string("\xff"),
        std::string("\xc0\xaf"),                 // an overlong '/'
        std::string("\xed\xa0\x80"),             // a surrogate
        std::string("\xf4\x90\x80\x80"),         // past U+10FFFF
        std::string("cut \xe5\xb1"),
        std::string("   "), std::string("\xe3\x80\x80"),               // only spaces
        std::string("evil\xe2\x80\xaegnp.exe"),                       // right-to-left override
        std::string("\xe2\x81\xa7x\xe2\x81\xa9"),                       // an isolate
        std::string("a\xe2\x80\x8b" "b"), std::string("\xef\xbb\xbf" "a"),  // zero-width, byte order mark
        std::string("tag\xf3\xa0\x81\x81"),                            // a tag character
        std::string("two\xe2\x80\xa8lines"), std::string("p\xe2\x80\xa9"),  // line, paragraph separator
        std::string("\xee\x80\x80"), std::string("\xf3\xb0\x80\x80"),      // private use
        std::string("\xef\xb7\x90"), std::string("\xef\xbf\xbf"), std::string("\xf0\x9f\xbf\xbe")})  // nonchar.
    EXPECT_NE(NameRefusal(bad), "") << bad;
  // Spaces at either end go; the ones inside stay.
  for (const auto &[given, kept] : std::initializer_list<std::pair<std::string, std::string>>{
           {" Ada ", "Ada"}, {"\xe3\x80\x80" "Ada Lo\xc2\xa0", "Ada Lo"}, {"   ", ""}, {"\xff ", "\xff "}})
    EXPECT_EQ(TrimmedName(given), kept) << given;
}

TEST(BoardNames, EscapesEveryCharacterThatMeansSomethingInAPage) {
  EXPECT_EQ(HtmlEscape("<a href=\"x\" title='y'>&amp;</a>"),
            "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
  EXPECT_EQ(HtmlEscape("\xe5\xb1\xb1 plain"), "\xe5\xb1\xb1 plain");
}
