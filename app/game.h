// The application shell: process start and stop, the window, the message loop, the
// frame driver with its pacing, the game-state machine and the shared game variables.
#pragma once
#include "platform/platform.h"

enum GameStateValue { Title = 0, Playing = 1, GameOver = 2, AllClear = 3 };

// Process-wide flags of the shell.
extern int fullScreen;
extern HWND mainWindow;
extern int soundEnabled;
extern int running;
// 0: WinMain asks "FULL SCREEN ?"; IDYES or IDNO: the answer it takes without asking.
extern int displayModeChoice;

// Shared game variables.
extern int GameState;
extern uint32_t frameCounter;
extern int randomMode;
extern int score;
extern int slowMotion;
extern BYTE keyCur[256];
extern BYTE keyPrev[256];
extern uint32_t lastFrameTime;
extern uint32_t fpsFrameCount;
extern uint32_t fpsWindowStart;
extern uint32_t fpsValue;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
int CreateMainWindow(HINSTANCE instance, int showCommand);
int InitGame();
void RunMessageLoop();
void ShutdownGame();
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RunFrame();
void ResetGame();
void UpdateInput();
void WaitFrame();
void CountFps();
