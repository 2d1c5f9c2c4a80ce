// user32 over a driver written here, so what every driver relies on is checked once:
// scripted events become the right messages, focus comes and goes as the driver says,
// client areas come out of the outer size and the scale, the message box answers with
// one of its buttons whatever the driver could show (and is asked in a window of our own
// where the driver allows it), and the clock is the driver's when it has one. Also the
// key snapshot and the Shift-JIS texts, which no driver touches.
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "platform/drivers/driver.h"
#include "platform/platform.h"
#include "platform/raster/window_surface.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/mouse_mode.h"
#include "platform/user32/window_internal.h"
#include "platform/user32/window_messages.h"
#include "platform/user32/window_record.h"
#include "platform/user32/window_scale.h"

namespace {

struct FakeWindow {
  NativeWindowRequest request;
  std::string title;
  NativeShow show = NativeShow::Hidden;
  bool activated = false;
  bool focus = false;
  int width = 0, height = 0;  // as the person resized it; 0: as it was made
  int fullScreenCalls = 0;
  bool destroyed = false;
  bool freed = false;
};

FakeWindow *Of(NativeWindow *window) { return reinterpret_cast<FakeWindow *>(window); }
NativeWindow *NativeOf(FakeWindow *window) { return reinterpret_cast<NativeWindow *>(window); }

class FakeDriver;

// A window's surface that keeps the last picture shown.
class FakeSurface final : public WindowSurface {
public:
  FakeSurface(FakeDriver &owner, NativeWindow *shownIn);
  ~FakeSurface() override;
  uint32_t *DirectPixels(int, int) override { return nullptr; }
  void Show(const uint32_t *pixels, int width, int height) override;

private:
  FakeDriver &driver;
  NativeWindow *window;
};

class FakeDriver final : public Driver {
public:
  bool videoWorks = true;
  bool refuseWindows = false;
  bool grabbed = false;
  MouseMode mouseMode = MouseMode::Auto;  // as the last window's creation handed it over
  bool grabbedDuringBox = false;
  bool focusDuringBox = false;  // the window gets the focus back while the box is up
  int waits = 0;
  int pumps = 0;
  int boxAnswer = 0;  // 0: the box could not be shown
  MessageBoxRequest lastBox = {};
  std::string lastCaption, lastText;
  bool clock = false;
  DWORD now = 0;
  std::vector<std::unique_ptr<FakeWindow>> windows;
  // The message box of our own: whether the driver allows it, the surfaces it made, the
  // last picture shown and where, and the events handed over once something is shown,
  // one step per pump.
  bool ownBoxes = false;
  bool surfaces = true;
  int liveSurfaces = 0;
  int shows = 0;
  NativeWindow *shownIn = nullptr;
  std::vector<uint32_t> picture;
  int pictureWidth = 0, pictureHeight = 0;
  std::vector<std::function<void(NativeWindow *)>> script;
  size_t scriptStep = 0;
  int idlePumps = 0;

  bool StartVideo() override { return videoWorks; }
  NativeWindow *CreateWindow(const NativeWindowRequest &request) override {
    if (refuseWindows) return nullptr;
    windows.push_back(std::make_unique<FakeWindow>());
    windows.back()->request = request;
    windows.back()->title = request.titleUtf8;
    return NativeOf(windows.back().get());
  }
  void DestroyWindow(NativeWindow *window) override { Of(window)->destroyed = true; }
  void FreeWindow(NativeWindow *window) override {
    EXPECT_FALSE(Of(window)->freed) << "freed twice";
    Of(window)->freed = true;
  }
  void ShowWindow(NativeWindow *window, NativeShow show, bool activate) override {
    Of(window)->show = show;
    Of(window)->activated = activate;
  }
  void WindowSize(NativeWindow *window, int *width, int *height) override {
    *width = Of(window)->width ? Of(window)->width : Of(window)->request.width;
    *height = Of(window)->height ? Of(window)->height : Of(window)->request.height;
  }
  // Full screen is the desktop's 1920 x 1080; back, the size it is handed.
  void SetFullScreen(NativeWindow *window, bool fullScreen, int width, int height) override {
    Of(window)->fullScreenCalls += 1;
    Of(window)->width = fullScreen ? 1920 : width;
    Of(window)->height = fullScreen ? 1080 : height;
  }
  bool HasFocus(NativeWindow *window) override { return Of(window)->focus && Of(window)->show == NativeShow::Normal; }
  bool Desktop(DesktopMode *mode) override {
    *mode = DesktopMode{1920, 1080, 60, 32};
    return true;
  }
  int usableWidth = 0, usableHeight = 0;  // 0: no limit known
  bool UsableArea(int *width, int *height) override {
    *width = usableWidth;
    *height = usableHeight;
    return usableWidth > 0;
  }
  void PumpEvents() override {
    pumps += 1;
    if (shows == 0 || Of(shownIn)->destroyed || Of(shownIn)->show != NativeShow::Normal) return;
    if (scriptStep < script.size()) {
      script[scriptStep++](shownIn);
    } else if (++idlePumps > 200) {
      ADD_FAILURE() << "the box never answered; closing it";
      DriverCloseAsked(shownIn);
    }
  }
  void WaitEvents() override { waits += 1; }
  void GrabMouse(bool grab) override { grabbed = grab; }
  void SetMouseMode(MouseMode mode) override { mouseMode = mode; }
  int ShowMessageBox(const MessageBoxRequest &box) override {
    lastBox = box;
    lastCaption = box.captionUtf8;
    lastText = box.textUtf8;
    if (focusDuringBox) DriverFocusGained(box.owner);
    grabbedDuringBox = grabbed;
    return boxAnswer;
  }
  bool OwnClock() override { return clock; }
  DWORD ClockMilliseconds() override { return now; }
  void ClockSleep(DWORD milliseconds) override { now += milliseconds; }
  bool AllowsOwnMessageBox() override { return ownBoxes; }
  WindowSurface *CreateWindowSurface(HWND window) override {
    NativeWindow *native = NativeWindowOf(window, *this);
    return surfaces && native ? new FakeSurface(*this, native) : nullptr;
  }
};

FakeSurface::FakeSurface(FakeDriver &owner, NativeWindow *shownIn) : driver(owner), window(shownIn) {
  driver.liveSurfaces += 1;
}
FakeSurface::~FakeSurface() { driver.liveSurfaces -= 1; }
void FakeSurface::Show(const uint32_t *pixels, int width, int height) {
  driver.shows += 1;
  driver.shownIn = window;
  driver.picture.assign(pixels, pixels + static_cast<size_t>(width) * height);
  driver.pictureWidth = width;
  driver.pictureHeight = height;
}

// A message of the program's own.
constexpr UINT TestMessage = 0x0400;

struct Seen {
  UINT message;
  WPARAM wParam;
};
std::vector<Seen> seen;
LRESULT createAnswer;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back({message, wParam});
  if (message == WM_CREATE) return createAnswer;
  return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> SeenMessages() {
  std::vector<UINT> messages;
  for (const Seen &s : seen) messages.push_back(s.message);
  return messages;
}

class WindowDriver : public ::testing::Test {
protected:
  void SetUp() override {
    UseDriver(&fake);
    ResetWindows();
    InputReset();
    seen.clear();
    createAnswer = 0;
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "fake";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
  }
  void TearDown() override {
    ResetWindows();
    for (const auto &window : fake.windows) EXPECT_TRUE(window->freed) << "every native window is freed";
    SetWindowScale(1);
    SetWindowOpenSize(0, 0);
    SetMouseMode(MouseMode::Auto);
    UseDriver(nullptr);
  }
  // A captioned window whose client area is 800 x 600.
  HWND MakeWindow(const char *title = "w") {
    return CreateWindowExA(0, "fake", title, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 10, 20, 806, 625, nullptr,
                           nullptr, nullptr, nullptr);
  }
  MSG Take(HWND window) {
    MSG msg = {};
    EXPECT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
    return msg;
  }
  FakeDriver fake;
};

TEST_F(WindowDriver, KeysAndButtonsBecomeQueuedMessagesOfTheirWindow) {
  HWND window = MakeWindow();
  FakeWindow *made = fake.windows.at(0).get();
  NativeWindow *native = NativeOf(made);
  DriverKeyEvent(native, 'A', true, false);
  DriverKeyEvent(native, 'A', true, true);
  DriverKeyEvent(native, 'A', false, false);
  DriverButtonEvent(native, VK_LBUTTON, true, 30, 40);
  DriverButtonEvent(native, VK_XBUTTON2, false, 1, 2);
  DriverButtonEvent(native, 0x41, true, 1, 2);  // not a button: nothing

  MSG msg = Take(window);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('A'));
  EXPECT_EQ(msg.lParam, 1);
  EXPECT_TRUE(TranslateMessage(&msg));
  EXPECT_EQ(Take(window).lParam, 1 | (1L << 30));  // the repeat: bit 30, the key was down
  EXPECT_EQ(Take(window).lParam, static_cast<LPARAM>(0xC0000001u));
  MSG button = Take(window);
  EXPECT_EQ(button.message, static_cast<UINT>(WM_LBUTTONDOWN));
  EXPECT_EQ(button.lParam, (40 << 16) | 30);
  MSG xbutton = Take(window);
  EXPECT_EQ(xbutton.message, static_cast<UINT>(WM_XBUTTONUP));
  EXPECT_EQ(xbutton.wParam, static_cast<WPARAM>(2 << 16));
  // TranslateMessage's character came after the messages queued before it.
  MSG character = Take(window);
  EXPECT_EQ(character.message, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(character.wParam, static_cast<WPARAM>('a'));
  EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_GT(fake.pumps, 0) << "PeekMessageA takes the driver's events first";

  // Shift held makes capitals; an event of no window of ours keeps the key state only.
  DriverKeyEvent(nullptr, VK_LSHIFT, true, false);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  DriverKeyEvent(native, 'B', true, false);
  msg = Take(window);
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('B'));
  ASSERT_TRUE(TranslateMessage(&msg));
  EXPECT_EQ(Take(window).wParam, static_cast<WPARAM>('B'));
  const MSG function = {window, WM_KEYDOWN, VK_F1, 1, 0, {}};
  EXPECT_FALSE(TranslateMessage(&function)) << "no character";
}

TEST_F(WindowDriver, AnAskedCloseIsDispatchedAndTheDefaultHandlingDestroysTheWindow) {
  HWND window = MakeWindow();
  FakeWindow *made = fake.windows.at(0).get();
  NativeWindow *native = NativeOf(made);
  ASSERT_EQ(SeenMessages(), std::vector<UINT>{WM_CREATE});
  PostMessageA(window, WM_KEYDOWN, VK_SPACE, 1);
  DriverCloseAsked(native);

  // The filter on the message range leaves the key in the queue.
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  ASSERT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
  seen.clear();
  DispatchMessageA(&msg);
  EXPECT_EQ(SeenMessages(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
  EXPECT_TRUE(made->destroyed);
  EXPECT_FALSE(made->freed) << "a device may still point at it";

  // Gone: nothing left queued for it, its events go nowhere, it cannot be used again.
  DriverKeyEvent(native, 'A', true, false);
  DriverCloseAsked(native);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_FALSE(PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_FALSE(GetClientRect(window, nullptr));
  EXPECT_EQ(NativeWindowOf(window, fake), nullptr);

  // Its slot taken again, the old native window is freed, once.
  HWND again = MakeWindow();
  EXPECT_EQ(again, window);
  EXPECT_TRUE(made->freed);
}

TEST_F(WindowDriver, FocusFollowsTheDriverAndALossIsCountedReleasedAndTold) {
  HWND window = MakeWindow();
  FakeWindow *made = fake.windows.at(0).get();
  NativeWindow *native = NativeOf(made);
  EXPECT_FALSE(ShowWindow(window, SW_SHOWDEFAULT));
  EXPECT_EQ(made->show, NativeShow::Normal);
  EXPECT_TRUE(made->activated);
  EXPECT_EQ(GetForegroundWindow(), nullptr);

  seen.clear();
  made->focus = true;
  DriverFocusGained(native);
  EXPECT_EQ(GetForegroundWindow(), window);
  EXPECT_TRUE(fake.grabbed);
  ASSERT_EQ(seen.size(), 2u) << "sent at once, not queued";
  EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_ACTIVATE));
  EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(WA_ACTIVE));
  EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_SETFOCUS));

  DriverKeyEvent(native, VK_RBUTTON, true, false);
  seen.clear();
  made->focus = false;
  DriverFocusLost(native);
  EXPECT_EQ(WindowFocusLossCount(window), 1u);
  EXPECT_FALSE(fake.grabbed);
  EXPECT_EQ(SeenMessages(), (std::vector<UINT>{WM_ACTIVATE, WM_KILLFOCUS}));
  EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(WA_INACTIVE));
  BYTE keys[256];
  GetKeyboardState(keys);
  EXPECT_FALSE(keys[VK_RBUTTON] & 0x80) << "a key released elsewhere never comes back";
  EXPECT_EQ(GetForegroundWindow(), nullptr);

  // Minimised, the window does not take the keyboard and is not in the foreground.
  made->focus = true;
  EXPECT_TRUE(ShowWindow(window, SW_MINIMIZE));
  EXPECT_EQ(made->show, NativeShow::Minimised);
  EXPECT_FALSE(made->activated);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  ShowWindow(window, SW_HIDE);
  EXPECT_FALSE(ShowWindow(window, SW_SHOWNA));
  EXPECT_FALSE(made->activated);
  EXPECT_EQ(GetForegroundWindow(), window);
}

TEST_F(WindowDriver, TheClientAreaIsTheOuterSizeLessTheFrameTimesTheScaleOnTheScreen) {
  SetWindowScale(2);
  HWND window = MakeWindow("\x83\x4e\x83\x43\x83\x8b");  // katakana in Shift-JIS
  const NativeWindowRequest &request = fake.windows.at(0)->request;
  EXPECT_EQ(request.width, 1600);
  EXPECT_EQ(request.height, 1200);
  EXPECT_TRUE(request.framed);
  EXPECT_FALSE(request.fullScreen);
  EXPECT_TRUE(request.placed);
  EXPECT_EQ(request.x, 10);
  EXPECT_EQ(request.y, 20);
  EXPECT_EQ(fake.windows[0]->title, "\u30af\u30a4\u30eb");
  RECT client;
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);

  // Points and motion arrive in the game's own pixels; slow motion adds up.
  NativeWindow *native = NativeOf(fake.windows[0].get());
  DriverButtonEvent(native, VK_RBUTTON, true, 101, 51);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.lParam, (25 << 16) | 50);
  SetCursorPos(400, 300);
  DriverMouseMotion(native, 1, -1);
  EXPECT_EQ(InputCursor().x, 400);
  DriverMouseMotion(native, 1, -1);
  DriverMouseMotion(native, 5, 0);
  EXPECT_EQ(InputCursor().x, 403);
  EXPECT_EQ(InputCursor().y, 299);
  DriverMouseMotion(nullptr, 5, 5);  // no window of ours: as it comes
  EXPECT_EQ(InputCursor().x, 408);

  // The full-screen request (a captioned 800 x 600 at the corner) is not scaled; a
  // window of the default size gets a 640 x 480 client area wherever the system likes.
  HWND full = CreateWindowExA(0, "fake", nullptr, WS_CAPTION, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(IsFullScreenWindow(full));
  EXPECT_FALSE(IsFullScreenWindow(window));
  EXPECT_TRUE(fake.windows.at(1)->request.fullScreen);
  EXPECT_EQ(fake.windows[1]->request.width, 800);
  EXPECT_EQ(fake.windows[1]->title, "");
  SetWindowScale(9);  // held to 4
  CreateWindowExA(0, "fake", "d", WS_POPUP, CW_USEDEFAULT, 0, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr,
                  nullptr);
  EXPECT_FALSE(fake.windows.at(2)->request.placed);
  EXPECT_FALSE(fake.windows[2]->request.framed);
  EXPECT_EQ(fake.windows[2]->request.width, 640 * 4);
  EXPECT_EQ(fake.windows[2]->request.height, 480 * 4);

  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFIXEDFRAME), 625 - 600);
  fake.videoWorks = false;
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 0);
}

// A window never outgrows the desktop: the scale comes down until the client area and
// the frame counted around it (6 x 25) fit.
TEST_F(WindowDriver, AScaleTooLargeForTheDesktopComesDownToOneThatFits) {
  const struct {
    int usableWidth, usableHeight, asked, got;
  } cases[] = {{1024, 768, 4, 1}, {1920, 1225, 2, 2}, {1920, 1224, 2, 1}, {2405, 1825, 3, 2}, {0, 0, 4, 4}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.usableWidth << " x " << c.usableHeight << " at scale " << c.asked);
    fake.usableWidth = c.usableWidth;
    fake.usableHeight = c.usableHeight;
    SetWindowScale(c.asked);
    DestroyWindow(MakeWindow());
    EXPECT_EQ(fake.windows.back()->request.width, 800 * c.got);
    EXPECT_EQ(fake.windows.back()->request.height, 600 * c.got);
  }
}

// The person moves the pointer along `path` (in screen pixels over the window, which may
// run past its edges); the driver reports it as a driver of its mode does: the
// relative and warp modes as the motion of a pointer that has no edges, the absolute
// mode as positions. Returns the cursor the game reads after each point, the cursor put
// at (400, 300) first.
using Path = std::vector<std::pair<int, int>>;

Path HandPath(FakeDriver &driver, NativeWindow *native, const std::vector<POINT> &path) {
  SetCursorPos(400, 300);
  Path hand;
  POINT last = path.at(0);
  for (const POINT &point : path) {
    if (driver.mouseMode == MouseMode::Absolute) {
      DriverMousePosition(native, point.x, point.y);
    } else {
      DriverMouseMotion(native, point.x - last.x, point.y - last.y);
    }
    last = point;
    POINT cursor;
    GetCursorPos(&cursor);
    hand.emplace_back(cursor.x, cursor.y);
  }
  return hand;
}

TEST_F(WindowDriver, TheHandFollowsTheDriversMotionOrInTheAbsoluteModeThePointersOwnPositions) {
  MouseMode mode = MouseMode::Warp;
  EXPECT_TRUE(MouseModeNamed("absolute", &mode));
  EXPECT_EQ(mode, MouseMode::Absolute);
  EXPECT_FALSE(MouseModeNamed("Absolute", &mode));
  EXPECT_FALSE(MouseModeNamed(nullptr, &mode));
  EXPECT_EQ(mode, MouseMode::Absolute) << "a name it does not know leaves the mode alone";

  // Right, then left past the window's left edge (x 0) and on, then back in.
  const std::vector<POINT> path = {{100, 100}, {110, 105}, {-50, 105}, {-80, 110}, {5, 110}};
  const MouseMode relativeModes[] = {MouseMode::Relative, MouseMode::Warp};
  for (MouseMode relative : relativeModes) {
    SetMouseMode(relative);
    HWND window = MakeWindow();
    EXPECT_EQ(fake.mouseMode, relative) << "the window's driver is told the mode before the window is made";
    // The driver's motion one for one, past the edge too: its pointer has no edges.
    EXPECT_EQ(HandPath(fake, NativeOf(fake.windows.back().get()), path),
              (Path{{400, 300}, {410, 305}, {250, 305}, {220, 310}, {305, 310}}));
    DestroyWindow(window);
  }

  SetMouseMode(MouseMode::Absolute);
  HWND window = MakeWindow();
  ASSERT_EQ(fake.mouseMode, MouseMode::Absolute);
  FakeWindow *made = fake.windows.back().get();
  NativeWindow *native = NativeOf(made);
  made->focus = true;
  ShowWindow(window, SW_SHOW);
  DriverFocusGained(native);
  // The first position only says where the pointer is; the hand stops at the window's
  // left edge and comes back from it, with no jump.
  EXPECT_EQ(HandPath(fake, native, path),
            (Path{{400, 300}, {410, 305}, {300, 305}, {300, 310}, {305, 310}}));
  // Past the right and bottom edges (the client area is 800 x 600).
  EXPECT_EQ(HandPath(fake, native, {{5, 110}, {790, 590}, {1000, 900}, {799, 599}, {700, 500}}),
            (Path{{400, 300}, {1185, 780}, {1194, 789}, {1194, 789}, {1095, 690}}));

  // Pointer leaves, and comes back somewhere else: no jump, and the motion from there on.
  DriverMouseLeft(native);
  EXPECT_EQ(HandPath(fake, native, {{20, 30}, {25, 30}}), (Path{{400, 300}, {405, 300}}));
  // Whatever the pointer did while another window had the focus is not the hand's.
  HandPath(fake, native, {{25, 30}});
  made->focus = false;
  DriverFocusLost(native);
  DriverMousePosition(native, 600, 400);
  made->focus = true;
  DriverFocusGained(native);
  EXPECT_EQ(HandPath(fake, native, {{200, 100}, {190, 100}}), (Path{{400, 300}, {390, 300}}));
  // Nor while a message box held the mouse.
  fake.boxAnswer = IDOK;
  HandPath(fake, native, {{190, 100}});
  MessageBoxA(window, "t", "c", MB_OK);
  EXPECT_EQ(HandPath(fake, native, {{700, 500}, {700, 510}}), (Path{{400, 300}, {400, 310}}));
  DriverMousePosition(nullptr, 0, 0);  // no window of ours
  EXPECT_EQ(InputCursor().x, 400);
  DestroyWindow(window);

  // On a scaled window the positions are screen pixels, and the hand moves by whole
  // pixels of the game's with the rest kept, as relative motion does.
  SetWindowScale(2);
  window = MakeWindow();
  native = NativeOf(fake.windows.back().get());
  EXPECT_EQ(HandPath(fake, native, {{10, 10}, {13, 11}, {14, 12}, {1700, 12}}),
            (Path{{400, 300}, {401, 300}, {402, 301}, {1194, 301}}));
}

TEST_F(WindowDriver, AWindowTheDriverCannotMakeOrTheProcedureRefusesIsNoWindow) {
  fake.videoWorks = false;
  EXPECT_EQ(MakeWindow(), nullptr);
  EXPECT_TRUE(fake.windows.empty());
  fake.videoWorks = true;
  fake.refuseWindows = true;
  EXPECT_EQ(MakeWindow(), nullptr);
  EXPECT_TRUE(seen.empty()) << "no WM_CREATE for a window that was never made";
  fake.refuseWindows = false;

  createAnswer = -1;
  EXPECT_EQ(CreateWindowExA(0, "fake", "w", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(SeenMessages(), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
  EXPECT_TRUE(fake.windows.at(0)->destroyed);
  EXPECT_EQ(fake.windows[0]->show, NativeShow::Hidden) << "never shown";
  EXPECT_EQ(CreateWindowExA(0, "no such class", "w", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(WindowDriver, MessageBoxesAnswerWithOneOfTheirButtonsWhateverTheDriverCouldShow) {
  HWND window = MakeWindow();
  FakeWindow *made = fake.windows.at(0).get();
  NativeWindow *native = NativeOf(made);
  ShowWindow(window, SW_SHOW);
  made->focus = true;
  DriverFocusGained(native);

  // The driver cannot show it: the answer of closing the box.
  EXPECT_EQ(MessageBoxA(window, "Reset\x82\xc9\x8e\xb8\x94\x73", "ERROR", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(fake.lastText, "Reset\u306b\u5931\u6557");
  EXPECT_EQ(fake.lastCaption, "ERROR");
  EXPECT_EQ(fake.lastBox.owner, native);
  EXPECT_EQ(fake.lastBox.icon, MessageBoxIcon::Error);
  EXPECT_FALSE(fake.grabbedDuringBox) << "the box needs the mouse";
  EXPECT_TRUE(fake.grabbed) << "taken again for the focused window";
  fake.focusDuringBox = true;
  MessageBoxA(window, "x", "y", MB_OK);
  EXPECT_FALSE(fake.grabbedDuringBox) << "not even when the window has the focus back meanwhile";
  EXPECT_TRUE(fake.grabbed);
  fake.focusDuringBox = false;
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  EXPECT_EQ(fake.lastBox.owner, nullptr);
  ASSERT_EQ(fake.lastBox.buttonCount, 2);
  EXPECT_EQ(fake.lastBox.buttons[0].answer, IDYES);
  EXPECT_TRUE(fake.lastBox.buttons[0].enter);
  EXPECT_EQ(fake.lastBox.buttons[1].answer, IDNO);
  EXPECT_TRUE(fake.lastBox.buttons[1].escape);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_RETRYCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_OK | MB_ICONQUESTION), IDOK);
  EXPECT_EQ(fake.lastCaption, "Error");
  EXPECT_EQ(fake.lastBox.icon, MessageBoxIcon::Information);

  // Shown and answered: a button of the box, or else the answer of closing it.
  fake.boxAnswer = IDYES;
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", 0xE), IDOK) << "an unknown button set shows OK";
  EXPECT_EQ(fake.lastBox.buttonCount, 1);
}

int Luma(uint32_t pixel) { return (((pixel >> 16) & 0xFF) * 3 + ((pixel >> 8) & 0xFF) * 6 + (pixel & 0xFF)) / 10; }

// The buttons of the box's picture, left to right: the runs of a row through the lower
// half that differ from the row's colour at its left edge (the row with the most such
// pixels goes through the buttons).
struct Span {
  int left, right;
};
std::vector<Span> ButtonSpans(const FakeDriver &fake, int *throughRow = nullptr) {
  std::vector<Span> best;
  int bestCount = -1;
  for (int y = fake.pictureHeight / 2; y < fake.pictureHeight; y++) {
    const uint32_t *row = &fake.picture[static_cast<size_t>(y) * fake.pictureWidth];
    std::vector<Span> spans;
    int count = 0;
    for (int x = 0; x < fake.pictureWidth; x++) {
      if (row[x] == row[0]) continue;
      count += 1;
      if (spans.empty() || spans.back().right != x) spans.push_back({x, x});
      spans.back().right = x + 1;
    }
    if (count > bestCount) {
      bestCount = count;
      best = spans;
      if (throughRow) *throughRow = y;
    }
  }
  return best;
}

int DarkPixels(const FakeDriver &fake, int left, int top, int right, int bottom) {
  int dark = 0;
  for (int y = top; y < bottom; y++)
    for (int x = left; x < right; x++)
      if (Luma(fake.picture[static_cast<size_t>(y) * fake.pictureWidth + x]) < 100) dark += 1;
  return dark;
}

class OwnMessageBox : public WindowDriver {
protected:
  void SetUp() override {
    WindowDriver::SetUp();
    fake.ownBoxes = true;
  }
  // What happens once the next box is on the screen, one step per pump of its loop.
  void Script(std::vector<std::function<void(NativeWindow *)>> steps) {
    fake.script = std::move(steps);
    fake.scriptStep = 0;
    fake.shows = 0;
    fake.idlePumps = 0;
  }
  static std::function<void(NativeWindow *)> Key(int key, bool down, bool repeat = false) {
    return [key, down, repeat](NativeWindow *box) { DriverKeyEvent(box, key, down, repeat); };
  }
  // A step that presses (or releases) the left button in the middle of button `index`.
  std::function<void(NativeWindow *)> Button(size_t index, bool down) {
    return [this, index, down](NativeWindow *box) {
      int row = 0;
      const std::vector<Span> spans = ButtonSpans(fake, &row);
      ASSERT_LT(index, spans.size());
      DriverButtonEvent(box, VK_LBUTTON, down, (spans[index].left + spans[index].right) / 2, row);
    };
  }
  void ExpectNothingLeft() {
    for (const auto &window : fake.windows)
      if (window->title != "w") {
        EXPECT_TRUE(window->destroyed) << window->title;
        EXPECT_TRUE(window->freed) << "freed at once, not when its slot is reused: " << window->title;
      }
    int live = 0;
    for (const WindowRecord &record : WindowRecords()) live += record.live ? 1 : 0;
    EXPECT_EQ(live, game ? 1 : 0) << "the box's window is gone";
    EXPECT_EQ(fake.liveSurfaces, 0);
    EXPECT_FALSE(AnyPaintPending());
    EXPECT_EQ(CreateWindowExA(0, "quillrun message box", "x", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr),
              nullptr)
        << "its class is gone";
  }
  HWND game = nullptr;
};

TEST_F(OwnMessageBox, ShowsTheQuestionWithItsTextAndButtonsAndEnterAnswersTheFirst) {
  Script({Key(VK_RETURN, true), Key(VK_RETURN, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDYES);
  EXPECT_EQ(fake.lastCaption, "disp mode") << "the driver was asked first";
  ASSERT_EQ(fake.windows.size(), 1u);
  const FakeWindow &box = *fake.windows[0];
  EXPECT_EQ(box.title, "disp mode");
  EXPECT_TRUE(box.request.framed);
  EXPECT_FALSE(box.request.fullScreen);
  EXPECT_TRUE(box.activated) << "it takes the keyboard";
  EXPECT_EQ(fake.scriptStep, 2u) << "answered once the key is let go";

  // The picture fills the client area, opaque, with the text in its upper half and the
  // two buttons, each with its label, side by side below.
  ASSERT_GT(fake.shows, 0);
  EXPECT_EQ(fake.pictureWidth, box.request.width);
  EXPECT_EQ(fake.pictureHeight, box.request.height);
  bool opaque = true;
  for (uint32_t pixel : fake.picture) opaque = opaque && (pixel >> 24) == 0xFF;
  EXPECT_TRUE(opaque) << "a display that blends would show nothing";
  EXPECT_GT(DarkPixels(fake, 0, 0, fake.pictureWidth, fake.pictureHeight / 2), 40) << "the text shows";
  const std::vector<Span> buttons = ButtonSpans(fake);
  ASSERT_EQ(buttons.size(), 2u);
  for (const Span &button : buttons) {
    EXPECT_GE(button.right - button.left, 60);
    EXPECT_GT(DarkPixels(fake, button.left, fake.pictureHeight / 2, button.right, fake.pictureHeight), 10)
        << "a label";
  }
  // A longer text makes a bigger picture (the text is laid out, not a fixed image).
  const int firstWidth = fake.pictureWidth;
  const int firstDark = DarkPixels(fake, 0, 0, fake.pictureWidth, fake.pictureHeight / 2);
  Script({Key(VK_RETURN, true), Key(VK_RETURN, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?\nThe window is 800 x 600 pixels otherwise, as it always was.",
                        "disp mode", MB_YESNO),
            IDYES);
  EXPECT_GT(fake.pictureWidth, firstWidth);
  EXPECT_GT(DarkPixels(fake, 0, 0, fake.pictureWidth, fake.pictureHeight / 2), 2 * firstDark);

  ExpectNothingLeft();
  BYTE keys[256];
  GetKeyboardState(keys);
  EXPECT_FALSE(keys[VK_RETURN] & 0x80) << "the key that answered the box does not reach the game";
}

TEST_F(OwnMessageBox, EscapeTheCloseButtonAndClicksAnswerWithTheirButtons) {
  Script({Key(VK_ESCAPE, true), Key(VK_ESCAPE, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  EXPECT_EQ(fake.scriptStep, 2u);

  // A press on one button released on another is no click; a click is.
  Script({Button(0, true), Button(1, false), Button(1, true), Button(1, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  EXPECT_EQ(fake.scriptStep, 4u) << "answered by the last release, not before";
  Script({Button(0, true), Button(0, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDYES);
  Script({Button(1, true), Button(1, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_YESNOCANCEL), IDNO);
  EXPECT_EQ(ButtonSpans(fake).size(), 3u);

  // The close button and Escape give the close answer; a key held from before (its
  // repeats and its release) answers nothing.
  Script({[](NativeWindow *box) { DriverCloseAsked(box); }});
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_YESNOCANCEL), IDCANCEL);
  Script({Key(VK_RETURN, true, true), Key(VK_RETURN, false), Key(VK_ESCAPE, true), Key(VK_ESCAPE, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(fake.scriptStep, 4u);
  Script({Key(VK_ESCAPE, true), Key(VK_ESCAPE, false)});
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OK), IDOK);
  EXPECT_EQ(ButtonSpans(fake).size(), 1u);
  ExpectNothingLeft();
}

TEST_F(OwnMessageBox, LeavesTheGamesWindowAloneAndAnswersAsClosedWhereItCannotShow) {
  game = MakeWindow();
  PostMessageA(game, TestMessage, 0, 0);
  Script({Key(VK_RETURN, true), Key(VK_RETURN, false)});
  EXPECT_EQ(MessageBoxA(game, "x", "y", MB_OKCANCEL), IDOK);
  EXPECT_EQ(Take(game).message, TestMessage) << "the game's message stays queued for it";
  EXPECT_EQ(SeenMessages(), std::vector<UINT>{WM_CREATE}) << "nothing of the box reaches the game's window";
  ExpectNothingLeft();

  // No window, or a window with no surface, or no display: the close answer, at once,
  // nothing shown.
  fake.shows = 0;
  const size_t made = fake.windows.size();
  fake.refuseWindows = true;
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  EXPECT_EQ(fake.windows.size(), made);
  fake.refuseWindows = false;
  fake.surfaces = false;
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  EXPECT_EQ(fake.windows.size(), made + 1);
  fake.surfaces = true;
  fake.videoWorks = false;
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  EXPECT_EQ(fake.windows.size(), made + 1);
  fake.videoWorks = true;
  ExpectNothingLeft();

  // A driver that does not allow it (headless, the page) is never given one.
  fake.ownBoxes = false;
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  EXPECT_EQ(fake.windows.size(), made + 1);
  EXPECT_EQ(fake.shows, 0);
}

TEST_F(WindowDriver, TheDriversClockIsTheTimersAndWaitingIsTheDriversOnlyWithNothingQueued) {
  fake.clock = true;
  fake.now = 123456;
  EXPECT_EQ(timeGetTime(), 123456u);
  Sleep(22);
  EXPECT_EQ(timeGetTime(), 123478u);
  HWND window = MakeWindow();
  PostMessageA(window, TestMessage, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.time, 123478u) << "messages are stamped by the same clock";
  WaitMessage();
  EXPECT_EQ(fake.waits, 0);
  PeekMessageA(&msg, window, 0, 0, PM_REMOVE);
  WaitMessage();
  EXPECT_EQ(fake.waits, 1);

  fake.clock = false;
  Sleep(1);
  EXPECT_EQ(fake.now, 123478u) << "without a clock of its own the driver is not asked";
}

TEST_F(WindowDriver, AKeyTappedBetweenTwoSnapshotsShowsInExactlyOne) {
  BYTE keys[256];
  DriverKeyEvent(nullptr, VK_ESCAPE, true, false);
  DriverKeyEvent(nullptr, VK_ESCAPE, false, false);
  DriverKeyEvent(nullptr, VK_LSHIFT, true, false);
  GetKeyboardState(keys);
  EXPECT_TRUE(keys[VK_ESCAPE] & 0x80);
  EXPECT_TRUE(keys[VK_SHIFT] & 0x80);
  EXPECT_TRUE(keys[VK_LSHIFT] & 0x80);
  EXPECT_FALSE(keys[VK_RSHIFT] & 0x80);
  GetKeyboardState(keys);
  EXPECT_FALSE(keys[VK_ESCAPE] & 0x80);
  EXPECT_TRUE(keys[VK_SHIFT] & 0x80);
  DriverKeyEvent(nullptr, VK_LSHIFT, false, false);
  GetKeyboardState(keys);
  EXPECT_FALSE(keys[VK_SHIFT] & 0x80);
  // Out-of-range codes are ignored rather than written anywhere.
  DriverKeyEvent(nullptr, 256, true, false);
  DriverKeyEvent(nullptr, -1, true, false);
  InputKeyEvent(256, true);
  EXPECT_FALSE(GetKeyboardState(nullptr));
}

TEST(ShiftJis, TextsAreShownAsTheirCharacters) {
  const char createFailed[] =
      "Direct3D\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
  const char initFailed[] =
      "Direct3D\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
  const char resetFailed[] = "Reset\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
  EXPECT_EQ(Cp932ToUtf8(createFailed), "Direct3D\u306e\u4f5c\u6210\u306b\u5931\u6557\u3057\u307e\u3057\u305f");
  EXPECT_EQ(Cp932ToUtf8(initFailed), "Direct3D\u306e\u521d\u671f\u5316\u306b\u5931\u6557\u3057\u307e\u3057\u305f");
  EXPECT_EQ(Cp932ToUtf8(resetFailed), "Reset\u306b\u5931\u6557\u3057\u307e\u3057\u305f");
  // Half-width katakana are single bytes in Shift-JIS.
  EXPECT_EQ(Cp932ToUtf8("\xb1\xb2"), "\uff71\uff72");
  // Bytes that are no Shift-JIS, and a lead byte cut off at the end, become '?'.
  EXPECT_EQ(Cp932ToUtf8("a\xff" "b"), "a?b");
  EXPECT_EQ(Cp932ToUtf8("ab\x82"), "ab?");
  EXPECT_EQ(Cp932ToUtf8(nullptr), "");
  // Long texts come through whole.
  std::string many;
  for (int i = 0; i < 200; i++) many += resetFailed;
  EXPECT_EQ(Cp932ToUtf8(many.c_str()).size(), 200u * std::string("Reset\u306b\u5931\u6557\u3057\u307e\u3057\u305f").size());
}

}  // namespace

// A resizable window shows the picture as large as fits, centred between black bands:
// its client area, its points and the hand's motion (relative and absolute) are in the
// picture's own pixels whatever the window's size, full screen too.
TEST_F(WindowDriver, AResizedWindowShowsThePictureAsLargeAsFitsAndTheMouseMovesThroughIt) {
  const struct {
    int width, height;  // the window, resized; the picture fits it at x, y
    int x, y;
    LONG clientWidth, clientHeight;
    int relativeX, absoluteX, absoluteY;  // the hand after 25 right, and at the picture's far corner
  } cases[] = {
      {1200, 900, 0, 0, 800, 600, 16, 1199, 899},    // 1.5 times, no bands
      {1000, 900, 0, 75, 800, 720, 20, 1199, 899},   // 1.25 times, bands above and below
      {1600, 900, 200, 0, 1066, 600, 16, 1199, 899}, // 1.5 times, bands to the sides
      {1600, 1200, 0, 0, 800, 600, 12, 1199, 899},   // 2 times, a whole multiple
      {500, 300, 50, 0, 1000, 600, 50, 1198, 898},   // smaller: two game pixels a screen pixel
  };
  for (const MouseMode mode : {MouseMode::Warp, MouseMode::Absolute}) {
    SetMouseMode(mode);
    for (const auto &c : cases) {
      SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << (mode == MouseMode::Warp ? " relative" : " absolute"));
      HWND window = CreateWindowExA(0, "fake", "w", WS_OVERLAPPEDWINDOW, 10, 20, 806, 625, nullptr, nullptr, nullptr,
                                    nullptr);
      FakeWindow *made = fake.windows.back().get();
      EXPECT_TRUE(made->request.resizable);
      made->width = c.width;
      made->height = c.height;
      RECT client;
      ASSERT_TRUE(GetClientRect(window, &client));
      EXPECT_EQ(client.right, c.clientWidth);
      EXPECT_EQ(client.bottom, c.clientHeight);
      NativeWindow *native = NativeOf(made);
      // The picture's corner is the game's (0, 0); the window's centre is the game's.
      DriverButtonEvent(native, VK_LBUTTON, true, c.x, c.y);
      EXPECT_EQ(Take(window).lParam, 0);
      DriverButtonEvent(native, VK_LBUTTON, false, c.width / 2, c.height / 2);
      EXPECT_EQ(Take(window).lParam, (300 << 16) | 400);
      if (mode == MouseMode::Warp) {
        // 25 screen pixels right, one at a time: whole game pixels, the rest kept.
        SetCursorPos(400, 300);
        for (int i = 0; i < 25; i++) DriverMouseMotion(native, 1, 0);
        EXPECT_EQ(InputCursor().x - 400, c.relativeX);
      } else {
        // Held to the picture, not the window: from its corner to past the far one.
        EXPECT_EQ(HandPath(fake, native, {{c.x, c.y}, {c.x - 40, c.y - 40}, {c.width + 40, c.height + 40}}).back(),
                  (std::pair<int, int>{c.absoluteX, c.absoluteY}));
      }
      DestroyWindow(window);
    }
  }
}

// Full screen and back: the window covers the desktop, then comes back at the size it
// had, which is what the game keeps for the next run; a remembered size opens a
// resizable window, held to the desktop, but no fixed one.
TEST_F(WindowDriver, AWindowGoesFullScreenAndBackToTheSizeItHadAndOpensAtARememberedSize) {
  fake.usableWidth = 1920;
  fake.usableHeight = 1050;
  SetWindowOpenSize(1000, 900);
  HWND window = CreateWindowExA(0, "fake", "w", WS_OVERLAPPEDWINDOW, 10, 20, 806, 625, nullptr, nullptr, nullptr,
                                nullptr);
  FakeWindow *made = fake.windows.back().get();
  EXPECT_EQ(made->request.width, 1000);
  EXPECT_EQ(made->request.height, 900);
  made->width = 1100;  // resized since
  SetWindowFullScreen(window, true);
  EXPECT_TRUE(IsFullScreenWindow(window));
  int width = 0, height = 0;
  ASSERT_TRUE(WindowedSize(window, &width, &height));
  EXPECT_EQ(width, 1100) << "the framed size, not the screen's";
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 1066);  // 1920 x 1080 shows the picture at 1.8 times
  SetWindowFullScreen(window, true);
  EXPECT_EQ(made->fullScreenCalls, 1) << "already full screen";
  SetWindowFullScreen(window, false);
  EXPECT_FALSE(IsFullScreenWindow(window));
  EXPECT_EQ(made->width, 1100);
  EXPECT_EQ(made->height, 900);

  const struct {
    int openWidth, openHeight;
    DWORD style;
    int width, height;
  } cases[] = {{3000, 2000, WS_OVERLAPPEDWINDOW, 1914, 1025},  // held to the desktop less the frame
               {10, 10, WS_OVERLAPPEDWINDOW, 200, 150},        // a quarter of the picture at least
               {1000, 900, WS_CAPTION | WS_SYSMENU, 800, 600}, // a fixed window keeps its size
               {0, 0, WS_OVERLAPPEDWINDOW, 800, 600}};         // none kept
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.openWidth << " x " << c.openHeight);
    SetWindowOpenSize(c.openWidth, c.openHeight);
    DestroyWindow(CreateWindowExA(0, "fake", "w", c.style, 10, 20, 806, 625, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(fake.windows.back()->request.width, c.width);
    EXPECT_EQ(fake.windows.back()->request.height, c.height);
  }
  SetWindowOpenSize(0, 0);
}
