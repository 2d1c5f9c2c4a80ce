// Stand-in for the kernel32 calls that load a library at run time, in the browser,
// where there are no shared libraries: a library linked into the program is registered
// with its exports (web_library.h), LoadLibraryA hands out a module for it, and
// GetProcAddress finds its exports by their decorated names. Any other library is not
// there.
#include "platform/drivers/web/web_library.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include "platform/kernel32/library.h"

namespace {

struct BuiltInLibrary {
  std::string name;  // lower case, without ".dll"
  const BuiltInExport *exports = nullptr;
  std::size_t exportCount = 0;
  int loads = 0;  // the module's handle is the address of this count
};

constexpr std::size_t MaxLibraries = 4;
BuiltInLibrary libraries[MaxLibraries];
std::size_t libraryCount;

// A file name in lower case without ".dll"; empty for a name with a path in it.
std::string ModuleName(const char *fileName) {
  std::string name;
  for (const char *c = fileName; *c; c++) name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  if (name.find_first_of("/\\:") != std::string::npos) return {};
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) name.resize(name.size() - 4);
  return name;
}

BuiltInLibrary *FindByName(const char *fileName) {
  const std::string name = ModuleName(fileName);
  if (name.empty()) return nullptr;
  for (std::size_t i = 0; i < libraryCount; i++)
    if (libraries[i].name == name) return &libraries[i];
  return nullptr;
}

BuiltInLibrary *FindLoaded(HMODULE module) {
  for (std::size_t i = 0; i < libraryCount; i++)
    if (reinterpret_cast<HMODULE>(&libraries[i].loads) == module && libraries[i].loads > 0) return &libraries[i];
  return nullptr;
}

}  // namespace

bool RegisterBuiltInLibrary(const char *fileName, const BuiltInExport *exports, std::size_t count) {
  if (fileName == nullptr || libraryCount == MaxLibraries || FindByName(fileName) != nullptr) return false;
  const std::string name = ModuleName(fileName);
  if (name.empty()) return false;
  libraries[libraryCount++] = BuiltInLibrary{name, exports, count, 0};
  return true;
}

HMODULE LoadLibraryA(LPCSTR fileName) {
  BuiltInLibrary *library = fileName ? FindByName(fileName) : nullptr;
  if (library == nullptr) {
    std::fprintf(stderr, "quillrun: cannot load library %s: not built into the page\n", fileName ? fileName : "(null)");
    return nullptr;
  }
  library->loads += 1;
  return reinterpret_cast<HMODULE>(&library->loads);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  const BuiltInLibrary *library = FindLoaded(module);
  if (library == nullptr || procName == nullptr) return nullptr;
  // No ordinals: in WebAssembly the program's own strings lie at low addresses, so a
  // small value cannot be told from a name, and every lookup is by name.
  for (std::size_t i = 0; i < library->exportCount; i++)
    if (std::strcmp(library->exports[i].name, procName) == 0) return library->exports[i].proc;
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  BuiltInLibrary *library = FindLoaded(module);
  if (library == nullptr) return FALSE;
  library->loads -= 1;
  return TRUE;
}
