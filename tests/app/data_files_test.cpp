// Where the game finds its data: ./data first, exactly as before, then the data/ beside
// the executable, then the installed data directory; what counts as holding game data;
// and the one line that names every place tried when none does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/data_files.h"
#include "datadir/data_path.h"

namespace {

namespace fs = std::filesystem;

class DataFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("qr-data-files-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
  }
  void TearDown() override {
    FindGameData({"./data"});  // back to the working directory's data for later tests
    fs::remove_all(root);
  }
  std::string Folder(const std::string &name, const char *file = nullptr) {
    const fs::path folder = root / name;
    fs::create_directories(folder);
    if (file) std::ofstream(folder / file) << "x";
    return folder.string();
  }
  fs::path root;
};

TEST_F(DataFiles, TheCandidatesStartWithTheWorkingDirectoryAndFollowTheExecutable) {
  const auto installed = DataDirectoryCandidates("/opt/game/lib/quillrun/quillrun");
  ASSERT_EQ(installed.size(), 3u);
  EXPECT_EQ(installed[0], "./data");
  EXPECT_EQ(installed[1], "/opt/game/lib/quillrun/data");
  EXPECT_EQ(installed[2], "/opt/game/share/quillrun/data");
  // Without the executable's path only ./data is left.
  EXPECT_EQ(DataDirectoryCandidates(""), std::vector<std::string>{"./data"});
}

TEST_F(DataFiles, OneTextureOrSoundIsEnoughButNothingElseCounts) {
  EXPECT_FALSE(HoldsGameData(Folder("empty")));
  EXPECT_FALSE(HoldsGameData((root / "missing").string()));
  EXPECT_FALSE(HoldsGameData(Folder("other", "readme.txt")));
  EXPECT_TRUE(HoldsGameData(Folder("texture", "qrtex2.dds")));
  EXPECT_TRUE(HoldsGameData(Folder("sound", "pi.wav")));
  // A folder where a file should be is not data.
  fs::create_directories(root / "folder" / "qrtex1.dds");
  EXPECT_FALSE(HoldsGameData((root / "folder").string()));
}

TEST_F(DataFiles, TheFirstPlaceHoldingDataIsUsedForEveryFile) {
  const std::string empty = Folder("empty"), first = Folder("first", "bom.wav"), second = Folder("second", "bom.wav");
  EXPECT_EQ(FindGameData({empty, first, second}), first);
  EXPECT_EQ(DataFilePath("./data/qrtex1.dds"), (fs::path(first) / "qrtex1.dds").string());
  EXPECT_EQ(DataFilePath("./data/pi.wav"), (fs::path(first) / "pi.wav").string());
  // Only the game's own data names move.
  EXPECT_EQ(DataFilePath("other/file.wav"), "other/file.wav");

  // The first candidate (the working directory's ./data) keeps the names as they are.
  EXPECT_EQ(FindGameData({second, first}), second);
  EXPECT_EQ(DataFilePath("./data/qrtex1.dds"), "./data/qrtex1.dds");
}

TEST_F(DataFiles, WithNoDataAnywhereOneLineNamesEveryPlaceTried) {
  const std::string a = Folder("a"), b = (root / "b").string();
  testing::internal::CaptureStderr();
  EXPECT_EQ(FindGameData({"./no-such-data", a, b}), "./data");
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  for (const std::string &place : {std::string("./no-such-data"), a, b})
    EXPECT_NE(said.find(place), std::string::npos) << said;
  EXPECT_EQ(DataFilePath("./data/pi.wav"), "./data/pi.wav");
}

}  // namespace
