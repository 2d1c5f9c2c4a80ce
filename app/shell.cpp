// The application shell: the process from the display-mode question to the shutdown.
// One window, every subsystem set up in a fixed order, a message loop that runs one game
// frame per pass while the window is in the foreground (in the background the window
// only repaints the picture it has), and the release of everything in the reverse order.
#include <ctime>
#include "app/game.h"
#include "app/record.h"
#include "app/screenshot.h"
#include "app/store.h"
#include "platform/d3dx/d3dx.h"
#include "render/device.h"
#include "render/scene.h"
#include "sound/sound.h"
#include "world/world.h"

int fullScreen;
HWND mainWindow;
int soundEnabled;
int running;
int displayModeChoice;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // An answer given on the command line stands in for the question.
  const int answer = displayModeChoice ? displayModeChoice : MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO);
  fullScreen = answer == IDYES ? 1 : 0;
  CreateMainWindow(instance, showCommand);
  // Without a window nothing could show the game or end it: start-up fails here, as
  // the device would for want of a focus window.
  if (!mainWindow) return 0;
  if (!InitGame()) return 0;
  RunMessageLoop();
  ShutdownGame();
  return 1;
}

int CreateMainWindow(HINSTANCE instance, int showCommand) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof(WNDCLASSEXA);
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = "template";
  windowClass.hIconSm = LoadIconA(nullptr, IDI_WINLOGO);
  if (!RegisterClassExA(&windowClass)) return 0;

  // Windowed, the outer size leaves a client area of exactly 800 x 600 inside the frame.
  int width = 800;
  int height = 600;
  if (!fullScreen) {
    width = 800 + GetSystemMetrics(SM_CXFIXEDFRAME) * 2;
    height = 600 + GetSystemMetrics(SM_CYFIXEDFRAME) * 2 + GetSystemMetrics(SM_CYCAPTION);
  }
  mainWindow = CreateWindowExA(0, "template", "quillrun", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, width,
                               height, nullptr, nullptr, instance, nullptr);
  ShowWindow(mainWindow, showCommand);
  UpdateWindow(mainWindow);
  return 1;
}

int InitGame() {
  // The clock's seconds seed the world's generator: every game differs.
  StartWorld(game, static_cast<uint32_t>(time(nullptr)));
  if (!InitDirect3D(mainWindow, fullScreen)) {
    ReleaseDirect3D();
    return 0;
  }
  CreateGameFont(0, 18);
  CreateGameFont(1, 60);
  soundEnabled = 1;
  soundEnabled = BindSoundLibrary(mainWindow);
  if (soundEnabled) LoadSounds();
  // The hand's motion is counted from the middle of the screen.
  SetCursorPos(400, 300);
  BeginRecording(game.randomSeed);
  if (keepGames) StartKeeping(game.randomSeed);
  // The cursor and the timer period change only once start-up cannot fail any more.
  timeBeginPeriod(1);
  ShowCursor(FALSE);
  // The window was shown before there was a device to paint it with: its first picture
  // is still owed. A desktop that shows a window, and gives it the focus, only once
  // something is drawn in it would otherwise wait for the game and the game for it.
  InvalidateRect(mainWindow, nullptr, FALSE);
  return 1;
}

void RunMessageLoop() {
  running = 1;
  while (running) {
    // At most three messages per pass, so a flood of input cannot starve the frames.
    for (int attempt = 0; attempt < 3; attempt++) {
      MSG msg;
      if (PeekMessageA(&msg, mainWindow, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    if (GetForegroundWindow() == mainWindow) {
      RunFrame();
      TakeOwedScreenshot();
    } else if (running) {
      // In the background the game is frozen: wait for the window's next event
      // instead of spinning.
      WaitMessage();
    }
  }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    running = 0;
    return 1;
  }
  if (message == WM_KEYDOWN && wParam == VK_F12) {
    // Once per press: a held key's repeats carry its previous state in bit 30.
    if ((lParam & (1L << 30)) == 0) RequestScreenshot();
    return 0;
  }
  if (message == WM_PAINT && device && GetForegroundWindow() != window) {
    // In the background no frame runs, so the picture of the world as it stands is
    // presented again, the world not stepped. In the foreground the next frame presents
    // one anyway, and before there is a device the default handling shows the class's
    // background, as it always has.
    PaintFrame(game, fpsValue);
    ValidateRect(window, nullptr);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void ShutdownGame() {
  EndRecording(game);
  StopKeeping();
  ShowCursor(TRUE);
  timeEndPeriod(1);
  UnbindSoundLibrary();
  for (ID3DXFont *&font : fonts) {
    if (font) {
      font->Release();
      font = nullptr;
    }
  }
  ReleaseDirect3D();
}
