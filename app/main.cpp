// The process entry point outside Windows: runs WinMain and turns its result into the
// host's exit status (0 after a normal run, 1 when start-up failed). `--record FILE`
// keeps the game played in FILE for the replay runner; `--demo` lets the built-in
// player play a normal game until Escape.
#include <cstdio>
#include <cstring>
#include "app/game.h"
#include "app/record.h"

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--demo") == 0) demoMode = 1;
    if (std::strcmp(argv[i], "--record") != 0) continue;
    if (i + 1 >= argc || !OpenRecording(argv[i + 1])) {
      if (i + 1 >= argc) std::fprintf(stderr, "quillrun: --record wants a file\n");
      return 1;
    }
    ++i;
  }
  return WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT) == 1 ? 0 : 1;
}
