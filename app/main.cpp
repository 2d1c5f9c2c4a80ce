// The process entry point outside Windows: runs WinMain and turns its result into the
// host's exit status (0 after a normal run, 1 when start-up failed).
#include "app/game.h"

int main() {
  return WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT) == 1 ? 0 : 1;
}
