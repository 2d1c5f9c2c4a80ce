// quillrun's command line: every option of the table in both GNU forms, the answers that
// stand in for the start-up question, and everything it must refuse with a reason.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/options.h"
#include "platform/platform.h"

namespace {

using Words = std::vector<const char *>;

bool Parse(const Words &words, StartOptions &options, std::string &error) {
  return ParseCommandLine(static_cast<int>(words.size()), words.data(), options, error);
}

TEST(Options, EachOptionSetsWhatItSaysAndNothingElse) {
  StartOptions none;
  std::string error;
  ASSERT_TRUE(Parse({}, none, error));
  EXPECT_EQ(none.displayMode, 0);  // no arguments: the question is asked as always
  EXPECT_EQ(none.windowScale, 1);
  EXPECT_FALSE(none.help || none.version);

  struct Case {
    Words words;
    int displayMode, scale;
    bool help, version;
  };
  for (const Case &c : std::vector<Case>{
           {{"--window"}, IDNO, 1, false, false},
           {{"--fullscreen"}, IDYES, 1, false, false},
           {{"--window", "--fullscreen"}, IDYES, 1, false, false},  // the last answer stands
           {{"--scale", "3"}, 0, 3, false, false},
           {{"--scale=4", "--window"}, IDNO, 4, false, false},
           {{"--scale", "2", "--scale", "1"}, 0, 1, false, false},
           {{"--help"}, 0, 1, true, false},
           {{"--version", "--window"}, IDNO, 1, false, true},
       }) {
    StartOptions options;
    SCOPED_TRACE(c.words[0]);
    ASSERT_TRUE(Parse(c.words, options, error)) << error;
    EXPECT_EQ(options.displayMode, c.displayMode);
    EXPECT_EQ(options.windowScale, c.scale);
    EXPECT_EQ(options.help, c.help);
    EXPECT_EQ(options.version, c.version);
  }
}

TEST(Options, AnythingElseIsRefusedWithItsReason) {
  for (const auto &[words, reason] : std::vector<std::pair<Words, const char *>>{
           {{"--bogus"}, "unknown option \"--bogus\""},
           {{"-h"}, "unexpected argument \"-h\""},
           {{"play"}, "unexpected argument \"play\""},
           {{"--"}, "unknown option \"--\""},
           {{"--win"}, "unknown option \"--win\""},  // no abbreviations
           {{"--scale"}, "--scale wants an argument, N"},
           {{"--scale", "0"}, "--scale wants a number from 1 to 4, not \"0\""},
           {{"--scale", "5"}, "from 1 to 4"},
           {{"--scale=22"}, "from 1 to 4"},
           {{"--scale="}, "from 1 to 4"},
           {{"--scale", "2x"}, "from 1 to 4"},
           {{"--window=yes"}, "--window takes no argument"},
           {{"--sensitivity", "0.2"}, "--sensitivity wants a number from 0.25 to 4, not \"0.2\""},
           {{"--sensitivity=4.01"}, "from 0.25 to 4"},
           {{"--sensitivity", "nan"}, "from 0.25 to 4"},
           {{"--sensitivity", "1x"}, "from 0.25 to 4"},
           {{"--sensitivity="}, "from 0.25 to 4"},
           {{"--sensitivity", "0x1p1"}, "from 0.25 to 4"},
           {{"--sensitivity", " 2"}, "from 0.25 to 4"},
           {{"--sensitivity", "2e0"}, "from 0.25 to 4"},
           {{"--mouse", "raw"}, "--mouse wants auto, relative, warp or absolute, not \"raw\""},
           {{"--mouse"}, "--mouse wants an argument, MODE"},
           {{"--pacing", "fast"}, "--pacing wants smooth or original, not \"fast\""},
           {{"--pacing", "Smooth"}, "--pacing wants smooth or original"},
           {{"--pacing"}, "--pacing wants an argument, MODE"},
           {{"--help", "--bogus"}, "unknown option"},
           {{"--export", "3"}, "--export wants a second argument, FILE"},
           {{"--export", "x1", "f.txt"}, "--export wants a kept game's id, not \"x1\""},
           {{"--export", "", "f.txt"}, "--export wants a kept game's id"},
           {{"--export", "1", ""}, "--export wants a file after the id"},
           {{"--watch="}, "--watch wants a kept game's id or a record file"},
           {{"--scores=1"}, "--scores takes no argument"},
           {{"--submit"}, "--submit wants an argument, URL"},
           {{"--submit", "ftp://board"}, "--submit wants a board's address, not \"ftp://board\""},
           {{"--submit="}, "http:// or https://"},
           {{"--submit", "http://board", "x1"}, "--submit wants a kept game's id after the address, not \"x1\""},
           {{"--board", "board.example"}, "--board wants a board's address"},
           {{"--board", "https://a b"}, "no blanks"},
           {{"--name", ""}, "--name wants a name of 1 to 24 characters"},
           {{"--name", "0123456789012345678901234"}, "longer than 24 characters"},
           {{"--name=a\tb"}, "a control character"},
           {{"--name", "\xE2\x82"}, "not UTF-8"},
           // The board's own rule: what it would refuse is refused here first.
           {{"--name", "evil\xE2\x80\xAEgnp.exe"}, "not seen"},
           {{"--name", " \xE3\x80\x80 "}, "empty"},
       }) {
    StartOptions options;
    std::string error;
    EXPECT_FALSE(Parse(words, options, error)) << words[0];
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
}

TEST(Options, TheMouseIsReadAsAskedAndScaledWithinItsRange) {
  StartOptions defaults;
  std::string error;
  ASSERT_TRUE(Parse({}, defaults, error));
  EXPECT_EQ(defaults.mouseMode, "auto");
  EXPECT_EQ(defaults.sensitivity, 1.0);
  for (const char *mode : {"auto", "relative", "warp", "absolute"}) {
    StartOptions options;
    ASSERT_TRUE(Parse({"--mouse", mode}, options, error)) << error;
    EXPECT_EQ(options.mouseMode, mode);
  }
  for (const auto &[word, value] : std::vector<std::pair<const char *, double>>{
           {"--sensitivity=0.25", 0.25}, {"--sensitivity=4", 4.0}, {"--sensitivity=1.5", 1.5}}) {
    StartOptions options;
    ASSERT_TRUE(Parse({word}, options, error)) << error;
    EXPECT_EQ(options.sensitivity, value);
  }
}

TEST(Options, PacingIsSmoothUnlessOriginalIsAsked) {
  StartOptions defaults, original, smooth;
  std::string error;
  ASSERT_TRUE(Parse({}, defaults, error));
  EXPECT_TRUE(defaults.smoothPacing);
  ASSERT_TRUE(Parse({"--pacing", "original"}, original, error)) << error;
  EXPECT_FALSE(original.smoothPacing);
  ASSERT_TRUE(Parse({"--pacing=original", "--pacing=smooth"}, smooth, error)) << error;
  EXPECT_TRUE(smooth.smoothPacing);
}

TEST(Options, TheKeptGamesOptionsTakeTheirArguments) {
  std::string error;
  StartOptions options;
  ASSERT_TRUE(Parse({"--export", "12", "out.txt", "--scores"}, options, error)) << error;
  EXPECT_EQ(options.exportId, "12");
  EXPECT_EQ(options.exportPath, "out.txt");
  EXPECT_TRUE(options.scores);
  EXPECT_TRUE(options.watch.empty());
  StartOptions watch;
  ASSERT_TRUE(Parse({"--window", "--watch=game.txt"}, watch, error)) << error;
  EXPECT_EQ(watch.watch, "game.txt");
  EXPECT_EQ(watch.displayMode, IDNO);
  EXPECT_FALSE(watch.scores);
  EXPECT_TRUE(watch.exportId.empty());

  // --submit's id may be left out: the next word is its id only when it is no option.
  for (const auto &[words, board, id] : std::vector<std::tuple<Words, const char *, const char *>>{
           {{"--submit", "http://b"}, "http://b", ""},
           {{"--submit", "https://b/x/", "42"}, "https://b/x/", "42"},
           {{"--submit=http://b", "7", "--window"}, "http://b", "7"},
           {{"--submit", "http://b", "--window"}, "http://b", ""},
       }) {
    StartOptions submit;
    ASSERT_TRUE(Parse(words, submit, error)) << error;
    EXPECT_EQ(submit.submitBoard, board);
    EXPECT_EQ(submit.submitId, id);
  }
  StartOptions named;
  ASSERT_TRUE(Parse({"--name", "Ann & B\xC3\xB6" "b", "--board", "http://b"}, named, error)) << error;
  EXPECT_EQ(named.name, "Ann & B\xC3\xB6" "b");
  EXPECT_EQ(named.board, "http://b");
  EXPECT_TRUE(named.submitBoard.empty());
}

// --board, --submit and the board setting take an address only when it parses as a URL.
TEST(Options, ABoardsAddressIsAUrlThatParses) {
  for (const char *good : {"http://b", "https://scores.example/quillrun/", "http://127.0.0.1:8080",
                           "http://[::1]:8080/", "http://[2001:db8::7]", "http://[::ffff:192.0.2.1]/",
                           "http://[fe80::1%25eth0]/", "http://[1:2:3:4:5:6:7:8]/",
                           "https://ann:pw@scores.example:443/quill%20run/"}) {
    std::string why;
    EXPECT_TRUE(BoardAddressOk(good, false, why)) << good << ": " << why;
  }
  for (const auto &[bad, reason] : std::vector<std::pair<const char *, const char *>>{
           {"https://[::1", "[ is not closed"},
           {"https://[::1/x", "[ is not closed"},
           {"https://[1:2:3:4:5:6:7:8:9]/", "not an IPv6 address"},
           {"https://[1::2::3]/", "not an IPv6 address"},
           {"https://[::1]x/", "followed by neither"},
           {"https://[]/", "not an IPv6 address"},
           {"https://b:/", "from 1 to 65535"},
           {"https://b:65536/", "from 1 to 65535"},
           {"https://b:8x/", "from 1 to 65535"},
           {"https://:80/", "neither a name nor an address"},
           {"https://b]/", "neither a name nor an address"},
           {"https:///path", "names its server"},
           {"https://b/a?b", "no ? or #"},
           {"https://b#top", "no ? or #"},
           {"https://b/a%2", "write it as %XX"},
           {"https://b/{x}", "write it as %XX"},
       }) {
    for (const char *option : {"--board", "--submit"}) {
      StartOptions options;
      std::string error;
      EXPECT_FALSE(Parse({option, bad}, options, error)) << option << " " << bad;
      EXPECT_NE(error.find(reason), std::string::npos) << option << " " << bad << ": " << error;
    }
  }
}

TEST(Options, TheUsageListsEveryOption) {
  testing::internal::CaptureStdout();
  PrintUsage(stdout);
  const std::string usage = testing::internal::GetCapturedStdout();
  EXPECT_EQ(usage.rfind("usage: quillrun", 0), 0u);
  for (const char *option :
       {"--window", "--fullscreen", "--scale N", "--mouse MODE", "--sensitivity X", "--pacing MODE", "--scores",
        "--watch ID|FILE", "--export ID FILE", "--submit URL [ID]", "--board URL", "--name NAME", "--help",
        "--version"})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
