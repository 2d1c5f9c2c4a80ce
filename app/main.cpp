// The process entry point outside Windows: runs WinMain and turns its result into the
// host's exit status (0 after a normal run, 1 when start-up failed). SIGINT, SIGTERM and
// SIGHUP close the game's window; after the usual shutdown the program ends by that
// signal.
#include "app/game.h"
#include "platform/signals.h"

int main() {
  InstallQuitSignals();
  const int status = WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT) == 1 ? 0 : 1;
  EndByQuitSignal();
  return status;
}
