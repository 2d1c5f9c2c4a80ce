// The process entry point: runs WinMain and turns its result into the exit status the
// shell expects (0 after a normal run, 1 when start-up failed). WinMain itself returns
// 1 after a normal run, which as a process status would read as a failure. On Windows
// the C runtime calls this main, not WinMain, once it is defined.
#include "app/game.h"

int main() {
#ifdef _WIN32
  HINSTANCE instance = GetModuleHandleA(nullptr);
#else
  HINSTANCE instance = nullptr;
#endif
  return WinMain(instance, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT) == 1 ? 0 : 1;
}
