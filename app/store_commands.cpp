// --scores, --export and what --watch plays (see store_commands.h).
#include "app/store_commands.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "record/record_header.h"
#include "record/record_lines.h"
#include "world/rules.h"

bool ReadRecordFile(const std::string &path, WatchedRun &watched, std::string &error) {
  // Bytes as they are, on every system: the record reader takes a CR LF line end itself.
  FILE *file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  watched = WatchedRun{};
  // The header is looked for on the first line, and its absence said once all is read.
  RecordLineReader reader(false);
  RecordFault fault;
  const bool read = ReadRecordStream(file, reader, watched.run.inputs, 100000000, fault);
  std::fclose(file);
  if (!read) {
    error = fault.readError ? "cannot read " + path : path + ":" + std::to_string(fault.line) + ": " + fault.why;
    watched.run.inputs.clear();
    return false;
  }
  if (!reader.HasHeader()) {
    error = path + " has no \"# quillrun-record\" header";
    return false;
  }
  watched.run.seed = reader.Header().seed;
  watched.run.rules = reader.Header().rules;
  if (watched.run.inputs.empty()) {
    error = path + " holds no frames";
    return false;
  }
  watched.ended = static_cast<uint32_t>(watched.run.inputs.size() - 1);
  watched.began = reader.HasBegins() ? reader.Begins() : 0;
  if (watched.began > watched.ended) {
    error = path + ": its game begins after its last frame";
    return false;
  }
  return true;
}

#ifdef QR_KEEP_GAMES
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace {

const char *const ModeNames[2] = {"normal", "random"};

std::unique_ptr<GameStore> OpenForReading(const std::string &storePath, std::string &error) {
  return GameStore::Open(storePath, error, false);
}

bool LoadKept(GameStore &store, const std::string &id, WatchedRun &watched, std::string &error) {
  KeptGame game;
  if (!store.FindGame(std::strtoll(id.c_str(), nullptr, 10), game)) {
    error = "no kept game " + id;
    return false;
  }
  if (!store.LoadRun(game.run, watched.run, error)) return false;
  if (game.ended < game.began || game.ended >= watched.run.inputs.size()) {
    error = "kept game " + id + " ends after its run's last kept frame";
    return false;
  }
  watched.began = game.began;
  watched.ended = game.ended;
  return true;
}

}  // namespace

int PrintKeptScores(const std::string &storePath, FILE *out) {
  std::fprintf(out, "rank\tmode\tscore\tend\tframes\tdate\tid\n");
  std::string error;
  std::unique_ptr<GameStore> store = OpenForReading(storePath, error);
  if (!store) {
    // No store yet: nothing kept, which is no error.
    if (!storePath.empty() && access(storePath.c_str(), F_OK) != 0 && errno == ENOENT) return 0;
    std::fprintf(stderr, "quillrun: %s\n", error.c_str());
    return 1;
  }
  for (int mode = 0; mode < 2; ++mode) {
    int rank = 0;
    for (const KeptGame &game : store->Best(mode, 10)) {
      char date[32] = "-";
      const time_t when = static_cast<time_t>(game.date);
      struct tm local;
      if (localtime_r(&when, &local)) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
      std::fprintf(out, "%d\t%s\t%d\t%s\t%u\t%s\t%lld\n", ++rank, ModeNames[mode], game.score, game.end.c_str(),
                   game.ended - game.began + 1, date, static_cast<long long>(game.id));
    }
  }
  return std::fflush(out) == 0 ? 0 : 1;
}

bool KeptGameRecord(const std::string &storePath, const std::string &id, std::string &text, KeptGame &game,
                    std::string &error) {
  std::unique_ptr<GameStore> store = OpenForReading(storePath, error);
  return store && KeptGameRecord(*store, id, text, game, error);
}

bool KeptGameRecord(GameStore &store, const std::string &id, std::string &text, KeptGame &game, std::string &error) {
  WatchedRun watched;
  if (!LoadKept(store, id, watched, error)) return false;
  if (!store.FindGame(std::strtoll(id.c_str(), nullptr, 10), game)) {
    error = "no kept game " + id;
    return false;
  }
  text = GameRecordText(watched.run.rules, watched.run.seed, watched.began, watched.ended, game.score,
                        watched.run.inputs.data());
  return true;
}

// A descriptor's name, as /dev/stdout or /proc/self/fd/1 are, rather than a file's.
bool DescriptorName(const std::string &path) {
  std::error_code failed;
  const std::string absolute = std::filesystem::absolute(path, failed).lexically_normal().string();
  return !failed && (absolute.rfind("/dev/", 0) == 0 || absolute.rfind("/proc/", 0) == 0);
}

// Writes the text to path whole or not at all: into a new file beside it, renamed over
// it once written and synced, so a failure leaves the file that was there as it was. A
// link is followed to the file it names; what is no file (a terminal, a pipe) or names a
// descriptor (/dev/stdout, which may well be a file) is written to as it is.
bool WriteWhole(const std::string &path, const std::string &text, std::string &error) {
  std::string target = path;
  bool descriptor = DescriptorName(target);
  struct stat status;
  for (int hops = 0; hops < 40 && lstat(target.c_str(), &status) == 0 && S_ISLNK(status.st_mode); ++hops) {
    std::error_code failed;
    const std::filesystem::path link = std::filesystem::read_symlink(target, failed);
    if (failed) break;
    target = link.is_absolute() ? link.string() : (std::filesystem::path(target).parent_path() / link).string();
    descriptor = descriptor || DescriptorName(target);
  }
  const bool there = stat(target.c_str(), &status) == 0;
  if (descriptor || (there && !S_ISREG(status.st_mode))) {
    FILE *file = std::fopen(path.c_str(), "w");
    if (!file) {
      error = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    const bool failed = std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) {
      error = path + " could not be written in full";
      return false;
    }
    return true;
  }
  std::string temporary = target + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  // The file's own mode, or a new file's.
  mode_t mode = there ? status.st_mode & 07777 : 0;
  if (!there) {
    mode = umask(0);
    umask(mode);
    mode = 0666 & ~mode;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) break;
    done += static_cast<size_t>(wrote);
  }
  const int written = done == text.size() && fchmod(fd, mode) == 0 && fsync(fd) == 0 ? 0 : errno != 0 ? errno : EIO;
  if (close(fd) != 0 || written != 0 || std::rename(temporary.c_str(), target.c_str()) != 0) {
    const int why = written != 0 ? written : errno;
    unlink(temporary.c_str());
    error = "cannot write " + path + ": " + std::strerror(why) + (there ? "; it is left as it was" : "");
    return false;
  }
  return true;
}

int ExportKeptGame(const std::string &storePath, const std::string &id, const std::string &path) {
  std::string error, text;
  KeptGame game;
  if (!KeptGameRecord(storePath, id, text, game, error) || !WriteWhole(path, text, error)) {
    std::fprintf(stderr, "quillrun: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

bool LoadWatched(const std::string &storePath, const std::string &target, WatchedRun &watched, std::string &error) {
  const bool id = !target.empty() && target.find_first_not_of("0123456789") == std::string::npos;
  if (id) {
    std::unique_ptr<GameStore> store = OpenForReading(storePath, error);
    if (!store || !LoadKept(*store, target, watched, error)) return false;
  } else if (!ReadRecordFile(target, watched, error)) {
    return false;
  }
  if (watched.run.rules != RulesVersion) {
    error = target + " was played under rules " + std::to_string(watched.run.rules) + "; this quillrun plays rules " +
            std::to_string(RulesVersion);
    return false;
  }
  return true;
}

#else

int PrintKeptScores(const std::string &, FILE *) {
  std::fprintf(stderr, "quillrun: this build keeps no games\n");
  return 1;
}

int ExportKeptGame(const std::string &, const std::string &, const std::string &) { return PrintKeptScores("", nullptr); }

bool KeptGameRecord(const std::string &, const std::string &, std::string &, KeptGame &, std::string &error) {
  error = "this build keeps no games";
  return false;
}

bool LoadWatched(const std::string &, const std::string &target, WatchedRun &watched, std::string &error) {
  if (target.find_first_not_of("0123456789") == std::string::npos) {
    error = "this build keeps no games; --watch takes a record file here";
    return false;
  }
  if (!ReadRecordFile(target, watched, error)) return false;
  if (watched.run.rules != RulesVersion) {
    error = target + " was played under rules " + std::to_string(watched.run.rules) + "; this quillrun plays rules " +
            std::to_string(RulesVersion);
    return false;
  }
  return true;
}

#endif
