// The player's settings: every key read, every bad line named with its file and line and
// left at the default, the first run's file (whole, commented, read back to the
// defaults), a file that is there left as it is, the folders found from the environment,
// and the command line over the file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/settings.h"
#include "app/user_dirs.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

Settings Parse(const std::string &text, std::vector<std::string> *problems) {
  return ParseSettings(text, "settings.ini", problems);
}

std::string Read(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A fresh scratch folder per test.
std::string Scratch(const char *name) {
  const std::string path = ::testing::TempDir() + "qr-settings-" + std::to_string(getpid()) + "-" + name;
  fs::remove_all(path);
  fs::create_directories(path);
  return path;
}

std::map<std::string, const char *> environment;
const char *FakeEnvironment(const char *name) {
  const auto found = environment.find(name);
  return found == environment.end() ? nullptr : found->second;
}

}  // namespace

TEST(Settings, EveryKeyIsRead) {
  std::vector<std::string> problems;
  const Settings s = Parse(
      "display = fullscreen\nscale=3\n  mouse =  warp  \nsensitivity = 0.5\r\npacing = original\nvolume = 40\n"
      "board = https://scores.example/quillrun\nname = Ann & B\xC3\xB6" "b\n",
      &problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(s.display, Settings::FullScreen);
  EXPECT_EQ(s.scale, 3);
  EXPECT_EQ(s.mouse, "warp");
  EXPECT_DOUBLE_EQ(s.sensitivity, 0.5);
  EXPECT_EQ(s.pacing, "original");
  EXPECT_EQ(s.volume, 40);
  EXPECT_EQ(s.board, "https://scores.example/quillrun");
  EXPECT_EQ(s.name, "Ann & B\xC3\xB6" "b");

  // The other words of each key, and the ends of the ranges.
  EXPECT_EQ(Parse("display = window\n", &problems).display, Settings::Window);
  EXPECT_EQ(Parse("display = ask\n", &problems).display, Settings::Ask);
  EXPECT_EQ(Parse("scale = 1\n", &problems).scale, 1);
  EXPECT_EQ(Parse("scale = 4\n", &problems).scale, 4);
  for (const char *mode : {"auto", "relative", "absolute"})
    EXPECT_EQ(Parse(std::string("mouse = ") + mode, &problems).mouse, mode);
  EXPECT_DOUBLE_EQ(Parse("sensitivity = 4", &problems).sensitivity, 4.0);
  EXPECT_DOUBLE_EQ(Parse("sensitivity = 0.25", &problems).sensitivity, 0.25);
  EXPECT_EQ(Parse("pacing = smooth", &problems).pacing, "smooth");
  EXPECT_EQ(Parse("volume = 0", &problems).volume, 0);
  EXPECT_EQ(Parse("volume = 100", &problems).volume, 100);
  EXPECT_EQ(Parse("board = http://localhost:8080/", &problems).board, "http://localhost:8080/");
  EXPECT_EQ(Parse("board = http://[::1]:8080/", &problems).board, "http://[::1]:8080/");
  EXPECT_EQ(Parse("board = https://x\nboard =\n", &problems).board, "");
  EXPECT_EQ(Parse("name = " + std::string(24, 'n'), &problems).name, std::string(24, 'n'));
  // 24 characters of two bytes each are still 24.
  std::string wide;
  for (int i = 0; i < 24; ++i) wide += "\xC3\xA9";
  EXPECT_EQ(Parse("name = " + wide, &problems).name, wide);
  EXPECT_EQ(Parse("name = x\nname =\n", &problems).name, "");
  // Comments, blank lines and a byte-order mark are nothing.
  EXPECT_EQ(Parse("\xEF\xBB\xBFvolume = 7\n# volume = 8\n; volume = 9\n\n   \n", &problems).volume, 7);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(Settings, BadLinesAreNamedAndTheirKeysKeepTheDefault) {
  struct Case {
    const char *line;
    const char *why;  // a piece of the message
  };
  for (const Case &c : std::vector<Case>{
           {"display = sometimes", "ask, window or fullscreen"},
           {"scale = 5", "1 to 4"},
           {"scale = 0", "1 to 4"},
           {"scale = 2x", "1 to 4"},
           {"scale = -1", "1 to 4"},
           {"mouse = fast", "auto, relative, warp or absolute"},
           {"sensitivity = 5", "0.25 to 4"},
           {"sensitivity = 0.1", "0.25 to 4"},
           {"sensitivity = nan", "0.25 to 4"},
           {"sensitivity = 1,5", "0.25 to 4"},
           {"sensitivity = 0x1p1", "0.25 to 4"},  // 2, in hexadecimal
           {"sensitivity = 1e0", "0.25 to 4"},
           {"sensitivity = +1", "0.25 to 4"},
           {"sensitivity =", "0.25 to 4"},
           {"pacing = fast", "smooth or original"},
           {"volume = 101", "0 to 100"},
           {"volume = 50.5", "0 to 100"},
           {"volume = 1000000000000", "0 to 100"},
           {"board = ftp://example", "http:// or https://"},
           {"board = https://a b", "no blanks"},
           {"board = http://", "names its server"},
           {"board = scores.example", "http:// or https://"},
           {"board = https://[::1", "[ is not closed"},
           {"board = https://[::g]/", "not an IPv6 address"},
           {"board = https://scores.example:0/", "from 1 to 65535"},
           {"board = https://scores.example/top?x=1", "no ? or #"},
           {"name = 0123456789012345678901234", "longer than 24 characters"},
           {"name = \xFF\xFE", "not UTF-8"},
           {"name = \xC0\xAF", "not UTF-8"},            // an overlong '/'
           {"name = \xED\xA0\x80", "not UTF-8"},        // a surrogate
           {"name = a\xC2\x85", "a control character"},  // a C1 control
           {"colour = red", "unknown key \"colour\""},
           {"just words", "not \"key = value\""},
           {"board = https://a\x01", "control character"},
       }) {
    std::vector<std::string> problems;
    // A good line before and after: only the bad line's key falls back.
    const Settings s = Parse(std::string("scale = 2\nvolume = 30\nmouse = warp\n") + c.line + "\npacing = original\n",
                             &problems);
    ASSERT_EQ(problems.size(), 1u) << c.line;
    EXPECT_EQ(problems[0].rfind("settings.ini:4: ", 0), 0u) << problems[0];
    EXPECT_NE(problems[0].find(c.why), std::string::npos) << problems[0];
    const Settings defaults;
    const std::string key = std::string(c.line).substr(0, std::string(c.line).find(' '));
    EXPECT_EQ(s.scale, key == "scale" ? defaults.scale : 2) << c.line;
    EXPECT_EQ(s.volume, key == "volume" ? defaults.volume : 30) << c.line;
    EXPECT_EQ(s.mouse, key == "mouse" ? defaults.mouse : "warp") << c.line;
    EXPECT_EQ(s.pacing, "original") << c.line;
  }
  std::vector<std::string> problems;
  Parse(std::string(2000, 'x') + "\n", &problems);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("settings.ini:1: line too long"), std::string::npos) << problems[0];
}

TEST(Settings, FirstRunWritesEveryDefaultWithAComment) {
  const std::string text = DefaultSettingsText();
  std::vector<std::string> problems;
  const Settings read = Parse(text, &problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  const Settings defaults;
  EXPECT_EQ(read.display, Settings::Ask);
  EXPECT_EQ(read.scale, defaults.scale);
  EXPECT_EQ(read.mouse, "auto");
  EXPECT_DOUBLE_EQ(read.sensitivity, 1.0);
  EXPECT_EQ(read.pacing, "smooth");
  EXPECT_EQ(read.volume, 100);
  EXPECT_EQ(read.board, "");
  EXPECT_EQ(read.name, "");
  // Each key on a line of its own, with its comment on the line before.
  for (const char *key : {"display", "scale", "mouse", "sensitivity", "pacing", "volume", "board", "name"}) {
    const size_t at = text.find(std::string("\n") + key + " = ");
    ASSERT_NE(at, std::string::npos) << key;
    const size_t commentStart = text.rfind('\n', at - 1);
    EXPECT_EQ(text[commentStart + 1], '#') << key;
  }

  // In a folder that does not exist yet: the folders are made and the file written whole.
  const std::string home = Scratch("first");
  const std::string path = home + "/config/quillrun/settings.ini";
  const Settings loaded = LoadSettings(path);
  EXPECT_EQ(loaded.volume, 100);
  EXPECT_EQ(Read(path), text);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(home + "/config/quillrun"), fs::directory_iterator()), 1);
  fs::remove_all(home);
}

TEST(Settings, AFileThatIsThereIsReadAndNeverRewritten) {
  const std::string home = Scratch("kept");
  const std::string path = home + "/settings.ini";
  const std::string mine = "# mine\nvolume = 20\nscale = 9\ndisplay = window\n";
  std::ofstream(path, std::ios::binary) << mine;
  testing::internal::CaptureStderr();
  const Settings loaded = LoadSettings(path);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(loaded.volume, 20);
  EXPECT_EQ(loaded.scale, 1);
  EXPECT_EQ(loaded.display, Settings::Window);
  EXPECT_NE(said.find(path + ":3: scale \"9\""), std::string::npos) << said;
  EXPECT_EQ(Read(path), mine);

  // Not a file, or far too big to be one: one line, and the defaults.
  const std::string folder = home + "/folder.ini";
  fs::create_directories(folder);
  const std::string big = home + "/big.ini";
  std::ofstream(big, std::ios::binary) << std::string(100000, '#');
  for (const std::string &bad : {folder, big}) {
    testing::internal::CaptureStderr();
    const Settings fallback = LoadSettings(bad);
    const std::string line = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fallback.volume, 100) << bad;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    EXPECT_NE(line.find("playing with the defaults"), std::string::npos) << line;
  }
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(fs::file_size(big), 100000u);

  // A link is the player's: read through, or left as it is when it leads nowhere.
  fs::create_symlink("settings.ini", home + "/link.ini");
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadSettings(home + "/link.ini").display, Settings::Window);
  testing::internal::GetCapturedStderr();
  fs::create_symlink("gone/settings.ini", home + "/dangling.ini");
  testing::internal::CaptureStderr();
  EXPECT_EQ(LoadSettings(home + "/dangling.ini").volume, 100);
  const std::string dangling = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(dangling.begin(), dangling.end(), '\n'), 1) << dangling;
  EXPECT_NE(dangling.find("a link to gone/settings.ini, which is not there"), std::string::npos) << dangling;
  EXPECT_TRUE(fs::is_symlink(home + "/dangling.ini"));
  EXPECT_FALSE(fs::exists(home + "/gone"));

  // A file of nothing but bad lines names the first few and counts the rest.
  const std::string bad = home + "/bad.ini";
  std::string lines;
  while (lines.size() < 64 * 1024) lines += "x\n";
  std::ofstream(bad, std::ios::binary) << lines;
  testing::internal::CaptureStderr();
  LoadSettings(bad);
  const std::string flood = testing::internal::GetCapturedStderr();
  EXPECT_LE(std::count(flood.begin(), flood.end(), '\n'), 6) << flood.substr(0, 1000);
  EXPECT_NE(flood.find(bad + ":1: not \"key = value\""), std::string::npos) << flood.substr(0, 1000);
  EXPECT_NE(flood.find(": 32763 more lines the game cannot take\n"), std::string::npos) << flood.substr(0, 1000);

  // A folder where the game may not write: one line, the defaults, no file.
  if (geteuid() != 0) {
    const std::string locked = home + "/locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadSettings(locked + "/quillrun/settings.ini").scale, 1);
    const std::string line = testing::internal::GetCapturedStderr();
    EXPECT_NE(line.find("cannot write the settings"), std::string::npos) << line;
    fs::permissions(locked, fs::perms::owner_all);
  }
  fs::remove_all(home);
}

TEST(Settings, FoldersFollowTheBaseDirectoryRules) {
  std::string why;
  environment = {{"HOME", "/home/p"}};
  EXPECT_EQ(UserFolderPath(UserFolder::Config, FakeEnvironment, &why), "/home/p/.config/quillrun");
  EXPECT_EQ(UserFolderPath(UserFolder::Data, FakeEnvironment, &why), "/home/p/.local/share/quillrun");
  environment = {{"HOME", "/home/p/"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_DATA_HOME", "/data"}};
  EXPECT_EQ(UserFolderPath(UserFolder::Config, FakeEnvironment, &why), "/cfg/quillrun");
  EXPECT_EQ(UserFolderPath(UserFolder::Data, FakeEnvironment, &why), "/data/quillrun");
  // Empty or relative values are as good as unset.
  environment = {{"HOME", "/home/p/"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", "data"}};
  EXPECT_EQ(UserFolderPath(UserFolder::Config, FakeEnvironment, &why), "/home/p/.config/quillrun");
  EXPECT_EQ(UserFolderPath(UserFolder::Data, FakeEnvironment, &why), "/home/p/.local/share/quillrun");
  // Without a usable home there is no folder, and the reason says which variables.
  for (const char *home : std::vector<const char *>{"", "relative", nullptr}) {
    environment.clear();
    if (home) environment["HOME"] = home;
    why.clear();
    EXPECT_EQ(UserFolderPath(UserFolder::Config, FakeEnvironment, &why), "");
    EXPECT_NE(why.find("$XDG_CONFIG_HOME nor $HOME"), std::string::npos) << why;
  }
}

TEST(Settings, TheCommandLineWinsOverTheFileForTheRun) {
  std::vector<std::string> problems;
  const Settings file = Parse(
      "display = fullscreen\nscale = 3\nmouse = warp\nsensitivity = 2\nvolume = 40\npacing = original\n"
      "board = https://scores.example\nname = ann\n",
      &problems);
  auto Run = [&](std::vector<const char *> words) {
    StartOptions options;
    ApplySettings(file, options);
    std::string error;
    EXPECT_TRUE(ParseCommandLine(static_cast<int>(words.size()), words.data(), options, error)) << error;
    return options;
  };
  const StartOptions fromFile = Run({});
  EXPECT_EQ(fromFile.displayMode, IDYES);
  EXPECT_EQ(fromFile.windowScale, 3);
  EXPECT_EQ(fromFile.mouseMode, "warp");
  EXPECT_DOUBLE_EQ(fromFile.sensitivity, 2.0);
  EXPECT_EQ(fromFile.volume, 40);
  EXPECT_FALSE(fromFile.smoothPacing);
  EXPECT_EQ(fromFile.board, "https://scores.example");
  EXPECT_EQ(fromFile.name, "ann");
  const StartOptions given = Run(
      {"--window", "--scale", "1", "--mouse=absolute", "--sensitivity", "0.5", "--volume", "0", "--pacing", "smooth"});
  EXPECT_EQ(given.displayMode, IDNO);
  EXPECT_EQ(given.windowScale, 1);
  EXPECT_EQ(given.mouseMode, "absolute");
  EXPECT_DOUBLE_EQ(given.sensitivity, 0.5);
  EXPECT_EQ(given.volume, 0);
  EXPECT_TRUE(given.smoothPacing);
  // The board and the name for this run; an empty --board offers nothing this run.
  const StartOptions board = Run({"--board", "http://127.0.0.1:8080/", "--name=bo"});
  EXPECT_EQ(board.board, "http://127.0.0.1:8080/");
  EXPECT_EQ(board.name, "bo");
  EXPECT_EQ(Run({"--board="}).board, "");
  // Only what is given changes.
  const StartOptions some = Run({"--volume=100"});
  EXPECT_EQ(some.volume, 100);
  EXPECT_EQ(some.windowScale, 3);
  // The default, without a file, is full volume; --volume takes only 0 to 100.
  EXPECT_EQ(StartOptions().volume, 100);
  for (const char *bad : {"101", "-1", "", "5x", "1000", "50.0"}) {
    StartOptions options;
    std::string error;
    const char *words[] = {"--volume", bad};
    EXPECT_FALSE(ParseCommandLine(2, words, options, error)) << bad;
    EXPECT_NE(error.find("--volume wants a whole number from 0 to 100"), std::string::npos) << error;
  }
}
