// Stand-in for the kernel32 calls that load a library at run time: dlopen underneath.
// A Windows library name such as "ezds.dll" means the shared object libezds.so in the
// executable's own directory, and only there: never the working directory, never a
// search path, so a stray file next to the data cannot be loaded in its place.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/library.h"
#include "platform/unsupported.h"

namespace {

// The directory of the running executable, with its trailing '/'; empty if unknown.
std::string ExecutableDirectory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  const std::string executable(path, static_cast<size_t>(length));
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

bool ReadAt(int file, uint64_t offset, void *into, size_t size) {
  return pread(file, into, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

// The loader maps a library's segments straight from the file and touching a page past
// the end of a cut-short file kills the process, so the file must hold every segment,
// header and section table it claims before it is handed over. Empty when it does,
// else why not.
std::string WhyNotLoadable(const std::string &path) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return "cannot open it";
  std::string why;
  struct stat status;
  ElfW(Ehdr) header;
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
    why = "not a regular file";
  } else if (!ReadAt(file, 0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
    why = "not a shared object";
  } else {
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    const auto fits = [size](uint64_t offset, uint64_t length) { return offset <= size && length <= size - offset; };
    if (header.e_phentsize != sizeof(ElfW(Phdr)) ||
        !fits(header.e_phoff, static_cast<uint64_t>(header.e_phnum) * sizeof(ElfW(Phdr))) ||
        (header.e_shnum != 0 && !fits(header.e_shoff, static_cast<uint64_t>(header.e_shnum) * header.e_shentsize))) {
      why = "its headers run past the end of the file";
    }
    for (int i = 0; why.empty() && i < header.e_phnum; i++) {
      ElfW(Phdr) segment;
      if (!ReadAt(file, header.e_phoff + static_cast<uint64_t>(i) * sizeof segment, &segment, sizeof segment) ||
          !fits(segment.p_offset, segment.p_filesz))
        why = "it is cut short";
    }
  }
  close(file);
  return why;
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
