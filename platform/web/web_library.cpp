// Stand-in for the kernel32 calls that load a library at run time, in the browser,
// where there are no shared libraries: the sound library is linked into the program,
// and LoadLibraryA("ezds.dll") hands out a module whose exports GetProcAddress finds
// by the same seven decorated names in a table. Any other library is not there.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include "ezds/ezds.h"
#include "platform/library.h"

namespace {

struct Export {
  const char *name;
  FARPROC proc;
};

template <typename Function>
FARPROC Proc(Function *function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const Export soundExports[] = {
    {"?DSinit@@YAHPAUHWND__@@@Z", Proc(DSinit)},   {"?DSend@@YAXXZ", Proc(DSend)},
    {"?DSload@@YAHPADD@Z", Proc(DSload)},          {"?DSloadL@@YAHPAD@Z", Proc(DSloadL)},
    {"?DSplay@@YAXDD@Z", Proc(DSplay)},            {"?DSloopOPE@@YAXDD@Z", Proc(DSloopOPE)},
    {"?DSver@@YAPADXZ", Proc(DSver)},
};

// The one built-in module; its handle is the address of its load count.
int soundModuleLoads;

HMODULE SoundModule() { return reinterpret_cast<HMODULE>(&soundModuleLoads); }

// "ezds.dll" or "ezds", in any case, with no path.
bool IsSoundLibraryName(const char *fileName) {
  std::string name;
  for (const char *c = fileName; *c; c++) name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  return name == "ezds.dll" || name == "ezds";
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (fileName == nullptr || !IsSoundLibraryName(fileName)) {
    std::fprintf(stderr, "quillrun: cannot load library %s: not built into the page\n", fileName ? fileName : "(null)");
    return nullptr;
  }
  soundModuleLoads += 1;
  return SoundModule();
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (module != SoundModule() || soundModuleLoads == 0 || procName == nullptr) return nullptr;
  // No ordinals: in WebAssembly the program's own strings lie at low addresses, so a
  // small value cannot be told from a name, and every lookup is by name.
  for (const Export &entry : soundExports)
    if (std::strcmp(entry.name, procName) == 0) return entry.proc;
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (module != SoundModule() || soundModuleLoads == 0) return FALSE;
  soundModuleLoads -= 1;
  return TRUE;
}
