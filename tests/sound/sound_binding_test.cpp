// The game's binding to the sound library: found only beside the executable, bound by
// decorated names, the seven effects loaded into ids 0 to 6, and every call harmless
// while the library is missing. The scenarios that need the executable somewhere else
// run in a copy of this program started in a scratch directory (child mode below).
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/game.h"
#include "ezds/wav_reader.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"
#include "sound/sound.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::pair<int, int>> observed;
void Observe(int id, int level) { observed.emplace_back(id, level); }

bool LibraryMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libezds.so") != std::string::npos) return true;
  }
  return false;
}

void UseDiskAudio(const std::string &file) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  unsetenv("SDL_DISKAUDIODELAY");
}

// Child mode: QR_SOUND_CHILD names a scenario; the process runs it instead of the
// tests and exits 0 when everything held, else 1 with the reason on stdout.
int Check(bool ok, const char *what) {
  if (!ok) printf("failed: %s\n", what);
  return ok ? 0 : 1;
}

int RunChild(const std::string &scenario) {
  int failures = 0;
  soundPlayObserver = Observe;
  if (scenario == "missing") {
    // As InitGame does it.
    soundEnabled = 1;
    soundEnabled = BindSoundLibrary(mainWindow);
    failures += Check(soundEnabled == 0, "soundEnabled is 0 without the library");
    failures += Check(!LibraryMapped(), "the library in the working directory is not loaded");
    for (int id = -1; id <= SoundCount; ++id) DSplay(char(id), 100);
    DSplay(4, 75);
    DSend();
    DSend();
    UnbindSoundLibrary();
    UnbindSoundLibrary();
    DSplay(6, 65);
    failures += Check(observed.size() == size_t(SoundCount + 4), "every DSplay reaches the observer");
    failures += Check(!observed.empty() && observed.back() == std::make_pair(6, 65), "the observer sees id and level");

    // And the whole game runs without it: start-up, a game with a fast swing (the
    // swing sound) and the slow motion (its beep), shutdown.
    observed.clear();
    HeadlessEnable();
    CreateMainWindow(nullptr, SW_SHOWDEFAULT);
    failures += Check(InitGame() == 1, "the game starts");
    failures += Check(soundEnabled == 0, "InitGame leaves soundEnabled at 0");
    HeadlessSetKey(VK_LBUTTON, true);
    RunFrame();
    failures += Check(game.GameState == Playing, "a game starts");
    for (int frame = 0; frame < 12; ++frame) {
      HeadlessMoveMouse(frame % 2 ? 70 : -70, 30);
      RunFrame();
    }
    HeadlessSetKey(VK_LBUTTON, false);
    HeadlessSetKey(VK_RBUTTON, true);
    for (int frame = 0; frame < 12; ++frame) RunFrame();
    HeadlessReleaseAllKeys();
    ShutdownGame();
    auto heard = [](int id, int level) {
      return std::find(observed.begin(), observed.end(), std::make_pair(id, level)) != observed.end();
    };
    failures += Check(heard(4, 75), "the swing sound was played");
    failures += Check(heard(6, 65), "the slow-motion beep was played");
  } else if (scenario == "beside") {
    soundEnabled = BindSoundLibrary(mainWindow);
    failures += Check(soundEnabled == 1, "the library beside the executable binds");
    failures += Check(LibraryMapped(), "the library is loaded");
    UnbindSoundLibrary();
  } else {
    failures += Check(false, "known scenario");
  }
  fflush(stdout);
  return failures ? 1 : 0;
}

// Runs before the first test, once every static object of the game exists.
class ChildMode : public testing::Environment {
 public:
  void SetUp() override {
    if (const char *scenario = getenv("QR_SOUND_CHILD")) exit(RunChild(scenario));
  }
};
testing::Environment *const childMode = testing::AddGlobalTestEnvironment(new ChildMode);

// Copies this program into dir, runs a scenario there with workDir as the working
// directory, and returns its exit status; its stderr goes to errors.
int RunCopy(const fs::path &dir, const fs::path &workDir, const char *scenario, const fs::path &errors) {
  fs::path copy = dir / "sound_binding_copy";
  fs::copy_file("/proc/self/exe", copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::owner_all);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(workDir.c_str()) != 0) _exit(3);
    int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 2) < 0) _exit(3);
    setenv("QR_SOUND_CHILD", scenario, 1);
    execl(copy.c_str(), copy.c_str(), static_cast<char *>(nullptr));
    _exit(4);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadText(const fs::path &path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path BuildDir() {
  const char *dir = getenv("QR_BUILD_DIR");
  return dir ? fs::path(dir) : fs::current_path();
}

long FileFrames(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? long(st.st_size / 4) : 0;
}

bool WaitForFrames(const std::string &path, long frames) {
  auto start = std::chrono::steady_clock::now();
  while (FileFrames(path) < frames) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace

TEST(SoundBinding, LibraryOnlyBesideTheExecutable) {
  fs::path root = fs::path(testing::TempDir()) / ("quillrun_sound_" + std::to_string(getpid()));
  fs::path exeDir = root / "bin", workDir = root / "work";
  fs::create_directories(exeDir);
  fs::create_directories(workDir);
  // The library where a careless loader would find it: the working directory.
  fs::copy_file(BuildDir() / "libezds.so", workDir / "libezds.so");
  fs::copy_file(BuildDir() / "libezds.so", workDir / "ezds.dll");

  EXPECT_EQ(RunCopy(exeDir, workDir, "missing", root / "missing.err"), 0);
  std::string errors = ReadText(root / "missing.err");
  EXPECT_NE(errors.find((exeDir / "libezds.so").string()), std::string::npos) << errors;
  // One line per attempt (the scenario's own bind, then InitGame's) says the library
  // could not be loaded; the rest of the start-up may report its own missing files.
  int soundLines = 0;
  std::istringstream lines(errors);
  for (std::string line; std::getline(lines, line);) soundLines += line.find("ezds") != std::string::npos;
  EXPECT_EQ(soundLines, 2) << errors;

  // The same program with the library beside it does bind it.
  fs::copy_file(BuildDir() / "libezds.so", exeDir / "libezds.so");
  UseDiskAudio((root / "beside.raw").string());
  EXPECT_EQ(RunCopy(exeDir, workDir, "beside", root / "beside.err"), 0) << ReadText(root / "beside.err");
  fs::remove_all(root);
}

TEST(SoundBinding, LoadsAndPlaysTheSevenEffects) {
  std::string output = testing::TempDir() + "quillrun_binding_" + std::to_string(getpid()) + ".raw";
  UseDiskAudio(output);
  observed.clear();
  soundPlayObserver = Observe;
  soundEnabled = 1;
  soundEnabled = BindSoundLibrary(mainWindow);
  ASSERT_EQ(soundEnabled, 1);
  LoadSounds();

  // Each effect in turn, well apart: its samples must show up in the output after the
  // point the file had reached when it was played.
  struct Played {
    long from, to;
  };
  std::vector<Played> played;
  for (int id = 0; id < SoundCount; ++id) {
    std::vector<uint8_t> bytes;
    WavData wav;
    ASSERT_EQ(ReadFileBytes(SoundId[id], 1 << 24, bytes, nullptr), 1) << SoundId[id];
    ASSERT_EQ(ParseWav(bytes.data(), bytes.size(), &wav, nullptr), 1) << SoundId[id];
    long frames = long(ConvertedFrameCount(wav, 44100));
    long from = FileFrames(output);
    DSplay(char(id), 100);
    played.push_back(Played{from, from + frames + 2048});
    ASSERT_TRUE(WaitForFrames(output, from + frames + 4096));
  }
  UnbindSoundLibrary();   // ends the library, which closes the output file
  UnbindSoundLibrary();
  DSplay(0, 100);         // unbound again: only the observer hears it
  DSend();

  std::vector<int16_t> out(size_t(FileFrames(output)) * 2);
  FILE *file = fopen(output.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(fread(out.data(), sizeof(int16_t), out.size(), file), out.size());
  fclose(file);
  remove(output.c_str());
  for (int id = 0; id < SoundCount; ++id) {
    int peak = 0;
    for (long f = played[size_t(id)].from; f < played[size_t(id)].to && size_t(2 * f) < out.size(); ++f) {
      peak = std::max(peak, std::abs(int(out[size_t(2 * f)])));
    }
    EXPECT_GT(peak, 1000) << SoundId[id] << " did not sound";
  }
  ASSERT_EQ(observed.size(), size_t(SoundCount + 1));
  EXPECT_EQ(observed[4], std::make_pair(4, 100));
}
