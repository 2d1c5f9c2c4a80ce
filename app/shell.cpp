// Placeholder until the shell lands.
#include "app/game.h"
int fullScreen, soundEnabled, running;
HWND mainWindow;
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 1; }
