// The application shell: process start and stop, the window, the message loop, the
// frame driver with its pacing, and the one world the program plays.
#pragma once
#include "platform/platform.h"
#include "world/world.h"

// Process-wide flags of the shell.
extern int fullScreen;
extern HWND mainWindow;
extern int soundEnabled;
extern int running;
// 0: WinMain asks "FULL SCREEN ?"; IDYES or IDNO: the answer it takes without asking.
extern int displayModeChoice;
// 1 while the built-in player plays (`quillrun --demo`); Escape sets it back to 0.
extern int demoMode;
// 1 for smooth pacing (pictures at the display's rate between the world frames), 0 for
// the original (one picture per world frame); --pacing, smooth unless told.
extern int smoothPacing;

// The game being played: the title screen, a game, its end.
extern World game;

// Frame pacing and the frame-rate count.
extern uint32_t lastFrameTime;
extern uint32_t fpsFrameCount;
extern uint32_t fpsWindowStart;
extern uint32_t fpsValue;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
int CreateMainWindow(HINSTANCE instance, int showCommand);
int InitGame();
void RunMessageLoop();
void ShutdownGame();
// The framed size the window was left at (screen pixels; 0 before it is known), noted
// while the window still exists, for the next run to open at.
extern int windowLeftWidth, windowLeftHeight;
void NoteWindowSize(HWND window);
// 1 from Alt+Enter's switch until a frame sees Enter let go: that press is not the game's.
extern int enterTakenBySwitch;
// Alt+Enter and F11: full screen to a window or back, through the device's Reset.
void SwitchDisplayMode();
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void RunFrame();
// The parts of a frame for a caller that does its own waiting (the browser, called once
// per display frame): the world's step alone, and one smooth picture of this moment.
void StepFrame();
void DrawPictureNow();
void WaitFrame();
void CountFps();
