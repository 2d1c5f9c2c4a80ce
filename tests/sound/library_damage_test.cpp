// A damaged sound library costs the game its sound, not its life. Copies of the built
// library with a few bytes changed (made here from fixed seeds, never stored) sit beside
// a copy of this program, which binds the library as the game does, loads the seven
// effects, plays one and unbinds it (child mode below). The child must end normally:
// either with sound, or silent with one line saying why the library was refused.
// A survey of 300 changes anywhere in the file runs on request:
//   library_damage_test --gtest_also_run_disabled_tests --gtest_filter='*Survey*'
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/game.h"
#include "sound/sound.h"

namespace fs = std::filesystem;

namespace {

// Child mode: bind, load, play, unbind; says "sound" or "silent" on stdout.
class ChildMode : public testing::Environment {
 public:
  void SetUp() override {
    if (!getenv("QR_DAMAGE_CHILD")) return;
    soundEnabled = BindSoundLibrary(mainWindow);
    if (soundEnabled) {
      LoadSounds();
      DSplay(0, 100);
    }
    UnbindSoundLibrary();
    std::printf("%s\n", soundEnabled ? "sound" : "silent");
    std::fflush(stdout);
    _exit(0);
  }
};
testing::Environment *const childMode = testing::AddGlobalTestEnvironment(new ChildMode);

fs::path BuildDir() {
  const char *dir = getenv("QR_BUILD_DIR");
  return dir ? fs::path(dir) : fs::current_path();
}

std::vector<uint8_t> ReadBytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One to four bytes changed, at offsets drawn from the given ranges of the file (all of
// it when none are given); every changed byte really differs from the original.
std::vector<uint8_t> Mutant(const std::vector<uint8_t> &library, uint32_t seed,
                            const std::vector<std::pair<size_t, size_t>> &ranges) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes = library;
  size_t span = 0;
  for (const auto &range : ranges) span += range.second;
  const int changes = 1 + int(random() % 4);
  for (int i = 0; i < changes; i++) {
    size_t at = random() % (ranges.empty() ? bytes.size() : span);
    for (const auto &range : ranges) {
      if (at < range.second) {
        at += range.first;
        break;
      }
      at -= range.second;
    }
    bytes[at] ^= uint8_t(1 + random() % 255);
  }
  return bytes;
}

// The parts of the library the dynamic loader reads before any of its code runs: the
// file and segment headers and what the dynamic section points at (the hash table, the
// symbols and their names, the versions and the relocations).
std::vector<std::pair<size_t, size_t>> LoaderTables(const std::vector<uint8_t> &library) {
  std::vector<std::pair<size_t, size_t>> ranges;
  ElfW(Ehdr) header;
  std::memcpy(&header, library.data(), sizeof header);
  ranges.emplace_back(0, sizeof header);
  ranges.emplace_back(header.e_phoff, header.e_phnum * sizeof(ElfW(Phdr)));
  for (int i = 0; i < header.e_shnum; i++) {
    ElfW(Shdr) section;
    std::memcpy(&section, library.data() + header.e_shoff + i * sizeof section, sizeof section);
    switch (section.sh_type) {
      case SHT_DYNAMIC: case SHT_HASH: case SHT_GNU_HASH: case SHT_DYNSYM: case SHT_RELA:
      case SHT_GNU_versym: case SHT_GNU_verneed:
        ranges.emplace_back(section.sh_offset, section.sh_size);
        break;
      case SHT_STRTAB:
        if (section.sh_flags & SHF_ALLOC) ranges.emplace_back(section.sh_offset, section.sh_size);
        break;
      default:
        break;
    }
  }
  return ranges;
}

struct Outcome {
  int status = 0;      // exit status, or 128 + the signal that ended it
  bool hung = false;
  std::string out, err;
};

// Runs the child beside `library`, from the build directory (where ./data/ is).
Outcome RunWithLibrary(const fs::path &dir, const std::vector<uint8_t> &library) {
  {
    std::ofstream(dir / "libezds.so", std::ios::binary)
        .write(reinterpret_cast<const char *>(library.data()), std::streamsize(library.size()));
  }
  const fs::path copy = dir / "damage_child", out = dir / "out", err = dir / "err";
  if (!fs::exists(copy)) fs::copy_file("/proc/self/exe", copy);
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(BuildDir().c_str()) != 0 || !freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr))
      _exit(3);
    setenv("QR_DAMAGE_CHILD", "1", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // A crash is to be seen as one here, not turned into a report and a status 1.
    setenv("ASAN_OPTIONS", "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0:detect_leaks=0", 1);
    execl(copy.c_str(), copy.c_str(), static_cast<char *>(nullptr));
    _exit(4);
  }
  Outcome outcome;
  int status = 0;
  auto start = std::chrono::steady_clock::now();
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60)) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      outcome.hung = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream o(out), e(err);
  outcome.out.assign(std::istreambuf_iterator<char>(o), std::istreambuf_iterator<char>());
  outcome.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
  return outcome;
}

fs::path ScratchDir(const char *name) {
  fs::path dir = fs::path(testing::TempDir()) / (std::string(name) + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

TEST(LibraryDamage, DamagedLoaderTablesSilenceTheGameWithoutKillingIt) {
  const std::vector<uint8_t> library = ReadBytes(BuildDir() / "libezds.so");
  ASSERT_GT(library.size(), sizeof(ElfW(Ehdr)));
  const fs::path dir = ScratchDir("quillrun_damage_");
  // The intact library first: the checks must not refuse it.
  Outcome intact = RunWithLibrary(dir, library);
  ASSERT_EQ(intact.status, 0) << intact.err;
  EXPECT_TRUE(intact.out.ends_with("\nsound\n")) << intact.err;

  const auto tables = LoaderTables(library);
  int refused = 0;
  for (uint32_t seed = 1; seed <= 16; seed++) {
    Outcome run = RunWithLibrary(dir, Mutant(library, seed, tables));
    EXPECT_FALSE(run.hung) << "seed " << seed;
    EXPECT_EQ(run.status, 0) << "seed " << seed << ": " << run.err;
    if (run.out.ends_with("\nsilent\n")) {
      refused++;
      EXPECT_NE(run.err.find("cannot load"), std::string::npos) << "seed " << seed << ": " << run.err;
    }
  }
  // Damage to these tables is mostly refused (the rest changed something harmless).
  EXPECT_GE(refused, 8);
  fs::remove_all(dir);
}

// 300 changes of one to four bytes anywhere in the library: how many the game survives.
TEST(LibraryDamage, DISABLED_Survey) {
  const std::vector<uint8_t> library = ReadBytes(BuildDir() / "libezds.so");
  const fs::path dir = ScratchDir("quillrun_survey_");
  int crashed = 0, hung = 0, refused = 0, sound = 0, other = 0;
  for (uint32_t seed = 1000; seed < 1300; seed++) {
    Outcome run = RunWithLibrary(dir, Mutant(library, seed, {}));
    if (run.hung) hung++;
    else if (run.status >= 128) {
      crashed++;
      std::vector<uint8_t> bytes = Mutant(library, seed, {});
      std::printf("crash, seed %u (signal %d), changed at", seed, run.status - 128);
      for (size_t i = 0; i < bytes.size(); i++)
        if (bytes[i] != library[i]) std::printf(" 0x%zx", i);
      std::printf("\n");
    }
    else if (run.status != 0) other++;
    else if (run.out.ends_with("\nsilent\n")) refused++;
    else sound++;
  }
  std::printf("300 mutants: %d crashed, %d hung, %d refused (silent), %d played, %d other\n", crashed, hung, refused,
              sound, other);
  fs::remove_all(dir);
}

}  // namespace
