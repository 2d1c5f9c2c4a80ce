// Stand-in for the kernel32 calls that load a library at run time: dlopen underneath.
// A Windows library name such as "ezds.dll" means the shared object libezds.so in the
// executable's own directory, and only there: never the working directory, never a
// search path, so a stray file next to the data cannot be loaded in its place.
#include <dlfcn.h>
#include <unistd.h>
#include <cctype>
#include <cstdint>
#include <cstdio>
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
  return reinterpret_cast<FARPROC>(dlsym(module, procName));
}

BOOL FreeLibrary(HMODULE module) {
  if (!module) return FALSE;
  return dlclose(module) == 0 ? TRUE : FALSE;
}
