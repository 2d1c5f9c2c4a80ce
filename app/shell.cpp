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
#ifndef _WIN32
#include "platform/user32/window_scale.h"
#endif

namespace {

constexpr DWORD WindowedStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

#ifdef _WIN32
RECT windowedRect;  // where the window was before it went full screen
#endif

// Alt+Enter or F11, once per press: a held key's repeats carry its previous state in bit
// 30, and a key pressed with Alt held comes as a system key with bit 29 set.
bool AsksSwitch(UINT message, WPARAM key, LPARAM lParam) {
  if (lParam & (1L << 30)) return false;
  if (message == WM_KEYDOWN) return key == VK_F11;
  return message == WM_SYSKEYDOWN && (key == VK_F11 || (key == VK_RETURN && (lParam & (1L << 29))));
}

}  // namespace

int fullScreen;
HWND mainWindow;
int soundEnabled;
int running;
int displayModeChoice;
int windowLeftWidth, windowLeftHeight;

void NoteWindowSize(HWND window) {
#ifndef _WIN32
  int width = 0, height = 0;
  if (!WindowedSize(window, &width, &height)) return;
  windowLeftWidth = width;
  windowLeftHeight = height;
#else
  (void)window;
#endif
}

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
  // The frame sizes: the person may resize and maximise the window, the picture scaled
  // to fit it.
  int width = 800;
  int height = 600;
  if (!fullScreen) {
    width = 800 + GetSystemMetrics(SM_CXSIZEFRAME) * 2;
    height = 600 + GetSystemMetrics(SM_CYSIZEFRAME) * 2 + GetSystemMetrics(SM_CYCAPTION);
  }
  mainWindow = CreateWindowExA(0, "template", "quillrun", WindowedStyle, 0, 0, width, height, nullptr, nullptr,
                               instance, nullptr);
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
    NoteWindowSize(window);
    running = 0;
    return 1;
  }
  if (AsksSwitch(message, wParam, lParam)) {
    if (wParam == VK_RETURN) enterTakenBySwitch = 1;
    SwitchDisplayMode();
    return 0;
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

void SwitchDisplayMode() {
  if (!device) return;
#ifdef _WIN32
  if (!fullScreen) GetWindowRect(mainWindow, &windowedRect);
#endif
  // Between messages, never inside a frame: the world does not step while the device
  // changes, and the motion and buttons of the meantime wait for the next frame.
  if (!ResetDisplayMode(fullScreen ? 0 : 1)) return;
  fullScreen = fullScreen ? 0 : 1;
#ifdef _WIN32
  // Back in a window, the frame and the place it had: the system's full screen left the
  // window a bare topmost one.
  if (!fullScreen) {
    SetWindowLongPtrA(mainWindow, GWL_STYLE, WindowedStyle | WS_VISIBLE);
    SetWindowPos(mainWindow, HWND_NOTOPMOST, windowedRect.left, windowedRect.top,
                 windowedRect.right - windowedRect.left, windowedRect.bottom - windowedRect.top,
                 SWP_FRAMECHANGED | SWP_SHOWWINDOW);
  }
#endif
  // The switch's own time is no frame's: the next one runs at once and waits its 22 ms
  // from then, no time made up.
  lastFrameTime = timeGetTime();
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
