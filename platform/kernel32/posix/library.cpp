// Stand-in for the kernel32 calls that load a library at run time: dlopen underneath.
// A Windows library name such as "ezds.dll" means the shared object libezds.so in the
// executable's own directory, and only there: never the working directory, never a
// search path, so a stray file next to the data cannot be loaded in its place. The file
// must be a regular file that passes the check of library_check.h and loads cleanly in a
// child process first: a damaged library costs the game its sound, not its life.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include "base/file_check.h"
#include "platform/kernel32/library.h"
#include "platform/kernel32/posix/library_check.h"
#include "platform/kernel32/unsupported.h"

namespace {

// The running executable's path, every link resolved (a bin/ link to the program finds
// the real file and the library beside it); empty if unknown.
std::string ExecutablePath() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || length >= static_cast<ssize_t>(sizeof path)) return std::string();
  return std::string(path, static_cast<size_t>(length));
}

// The directory of the running executable, with its trailing '/'; empty if unknown.
std::string ExecutableDirectory() {
  const std::string executable = ExecutablePath();
  const size_t slash = executable.rfind('/');
  return slash == std::string::npos ? std::string() : executable.substr(0, slash + 1);
}

// "ezds.dll" (any case) or "ezds" gives "libezds.so"; empty for a name with a path.
std::string SharedObjectName(const char *fileName) {
  std::string name;
  for (const char *c = fileName; *c; c++) {
    if (*c == '/' || *c == '\\' || *c == ':') return std::string();
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  }
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) name.resize(name.size() - 4);
  if (name.empty() || name == "." || name == "..") return std::string();
  return "lib" + name + ".so";
}

// How long a trial load may take; the real one takes a few milliseconds.
constexpr int TrialLoadMilliseconds = 10000;

// Loads the library in a short-lived child process first and looks up every export
// there: damage that the file check cannot see (a wrong value the loader follows into
// the weeds, a constructor that crashes) then kills the child, not the game. Empty when
// the child loaded it cleanly, else why not.
std::string WhyTrialLoadFails(const std::string &path, const LibraryFileReport &report) {
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) return "cannot start a trial load";
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    return "cannot start a trial load";
  }
  if (child == 0) {
    // Only the reason goes back, through the pipe: whatever else the child would say
    // (a crash report) is noise for the player.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, 2);
    char reason[512] = "";
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char *error = dlerror();
      std::snprintf(reason, sizeof reason, "%s", error ? error : "the loader refused it");
    } else {
      struct link_map *map = nullptr;
      const uintptr_t base = dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map ? map->l_addr : 0;
      for (const auto &[name, address] : report.exports) {
        // Each export is found by name, where its symbol says it is.
        const void *found = dlsym(library, name.c_str());
        if (!found || reinterpret_cast<uintptr_t>(found) - base != address) {
          std::snprintf(reason, sizeof reason, "its export %.200s cannot be found where it says", name.c_str());
          break;
        }
      }
    }
    if (reason[0] != '\0') {
      const ssize_t written = write(channel[1], reason, std::strlen(reason));
      (void)written;
      _exit(1);
    }
    _exit(0);
  }
  close(channel[1]);
  int status = 0;
  pid_t done = 0;
  for (int waited = 0; waited < TrialLoadMilliseconds; waited += 2) {
    done = waitpid(child, &status, WNOHANG);
    if (done != 0) break;
    usleep(2000);
  }
  std::string why;
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    why = "loading it did not finish";
  } else if (done < 0) {
    why = "the trial load was lost";
  } else if (WIFSIGNALED(status)) {
    why = std::string("loading it crashed (") + strsignal(WTERMSIG(status)) + ")";
  } else if (WEXITSTATUS(status) != 0) {
    char reason[512];
    const ssize_t got = read(channel[0], reason, sizeof reason - 1);
    why = got > 0 ? std::string(reason, static_cast<size_t>(got))
                  : "loading it failed (status " + std::to_string(WEXITSTATUS(status)) + ")";
  }
  close(channel[0]);
  return why;
}

// Empty when the library may be handed to the loader in this process, else why not.
std::string WhyNotLoadable(const std::string &path) {
  const char *why = nullptr;
  const int file = OpenRegularFile(path.c_str(), &why);
  if (file < 0) return why;
  const LibraryFileReport report = CheckLibraryFile(file);
  close(file);
  if (!report.problem.empty()) return report.problem;
  return WhyTrialLoadFails(path, report);
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (!fileName) return nullptr;
  const std::string name = SharedObjectName(fileName);
  if (name.empty()) {
    QR_UNSUPPORTED_ONCE("LoadLibraryA: only a plain library name is supported, not \"%s\"", fileName);
    return nullptr;
  }
  const std::string directory = ExecutableDirectory();
  if (directory.empty()) {
    std::fprintf(stderr, "quillrun: cannot load %s: the program's own directory is unknown\n", name.c_str());
    return nullptr;
  }
  const std::string path = directory + name;
  if (access(path.c_str(), F_OK) == 0) {
    const std::string why = WhyNotLoadable(path);
    if (!why.empty()) {
      std::fprintf(stderr, "quillrun: cannot load %s (%s)\n", path.c_str(), why.c_str());
      return nullptr;
    }
  }
  void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char *reason = dlerror();
    std::fprintf(stderr, "quillrun: cannot load %s (%s)\n", path.c_str(), reason ? reason : "unknown reason");
    return nullptr;
  }
  return static_cast<HMODULE>(library);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (!module || !procName) return nullptr;
  if (reinterpret_cast<uintptr_t>(procName) < 0x10000) {
    QR_UNSUPPORTED_ONCE("GetProcAddress: exports by ordinal are not supported");
    return nullptr;
  }
  // A Windows export name may hold '@' (a decorated C++ name does), but an ELF linker
  // reads '@' in a symbol as a version marker, so a library built for us spells every
  // '@' of its export names as '$'. This is the one place that spelling is defined.
  std::string symbol(procName);
  for (char &c : symbol) {
    if (c == '@') c = '$';
  }
  return reinterpret_cast<FARPROC>(dlsym(module, symbol.c_str()));
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) return FALSE;
  return dlclose(module) == 0 ? TRUE : FALSE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  if (module) {
    QR_UNSUPPORTED_ONCE("GetModuleFileNameA: only the executable's own name is supported");
    return 0;
  }
  if (!fileName || size == 0) return 0;
  const std::string path = ExecutablePath();
  if (path.empty()) return 0;
  const size_t copied = path.size() < size ? path.size() : size - 1;
  std::memcpy(fileName, path.data(), copied);
  fileName[copied] = '\0';
  return path.size() < size ? static_cast<DWORD>(copied) : size;
}
