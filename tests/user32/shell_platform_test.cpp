// The Win32 stand-in on the headless driver: the start-up sequence of the shell, the
// window's size, the foreground, the messages and paints of two windows, the relative
// cursor, the message box's texts and answers as the headless driver records and gives
// them, and library loading only from the executable's directory. (What user32 does over
// any driver is window_driver_test.cpp's.)
#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "app/game.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"
#include "platform/user32/window_internal.h"

namespace {

// What the game keeps in Shift-JIS, and what the player must see.
const char CreateFailedSjis[] =
    "Direct3D\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";

class Platform : public ::testing::Test {
protected:
  void SetUp() override {
    HeadlessEnable();
    HeadlessReset();
  }
};

// A window procedure that remembers what it was sent.
std::vector<UINT> seen;
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back(message);
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char *className, int width, int height) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = RecordingProc;
  windowClass.lpszClassName = className;
  RegisterClassExA(&windowClass);
  return CreateWindowExA(0, className, "w", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, width, height, nullptr,
                         nullptr, nullptr, nullptr);
}

std::string ExecutableDirectory() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string executable(path, length > 0 ? static_cast<size_t>(length) : 0);
  return executable.substr(0, executable.rfind('/') + 1);
}

void CopyFile(const std::string &from, const std::string &to, size_t keep = SIZE_MAX) {
  std::ifstream in(from, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(to, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(std::min(keep, bytes.size())));
}

TEST_F(Platform, WindowedStartAsksTheQuestionAndMakesAnExact800By600ClientArea) {
  HeadlessSetMessageBoxAnswer(IDNO);
  fullScreen = MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO) == IDYES;
  EXPECT_STREQ(HeadlessLastMessageBoxText(), "FULL SCREEN ?");
  EXPECT_STREQ(HeadlessLastMessageBoxCaption(), "disp mode");
  ASSERT_EQ(CreateMainWindow(nullptr, SW_SHOWDEFAULT), 1);
  RECT client;
  ASSERT_TRUE(GetClientRect(mainWindow, &client));
  EXPECT_EQ(client.right - client.left, 800);
  EXPECT_EQ(client.bottom - client.top, 600);
  EXPECT_FALSE(IsFullScreenWindow(mainWindow));
  EXPECT_EQ(GetForegroundWindow(), mainWindow);

  // A second registration of the class fails, and the shell reports it by its result.
  EXPECT_EQ(CreateMainWindow(nullptr, SW_SHOWDEFAULT), 0);
}

TEST_F(Platform, AYesMakesAFullScreenWindowOfTheSameClassAndStyle) {
  HeadlessSetMessageBoxAnswer(IDYES);
  fullScreen = MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO) == IDYES;
  ASSERT_EQ(fullScreen, 1);
  CreateMainWindow(nullptr, SW_SHOWDEFAULT);
  EXPECT_TRUE(IsFullScreenWindow(mainWindow));
  fullScreen = 0;
}

TEST_F(Platform, MessagesOfOtherWindowsStayQueuedAndBackgroundCountsAsAFocusLoss) {
  HWND first = MakeWindow("first", 806, 625);
  HWND second = MakeWindow("second", 806, 625);
  PostMessageA(second, WM_KEYDOWN, 'A', 1);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, first, 0, 0, PM_REMOVE));
  EXPECT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, second);

  // Leaving the foreground is a focus loss of every window, told at once, and keys held
  // then are let go; once more away changes nothing; the return is a focus gain.
  EXPECT_EQ(WindowFocusLossCount(first), 0u);
  HeadlessSetKey(VK_LBUTTON, true);
  seen.clear();
  HeadlessSetForeground(false);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_ACTIVATE, WM_KILLFOCUS, WM_ACTIVATE, WM_KILLFOCUS}));
  BYTE keys[256];
  GetKeyboardState(keys);
  EXPECT_FALSE(keys[VK_LBUTTON] & 0x80);
  HeadlessSetForeground(false);
  seen.clear();
  HeadlessSetForeground(true);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_ACTIVATE, WM_SETFOCUS, WM_ACTIVATE, WM_SETFOCUS}));
  EXPECT_EQ(WindowFocusLossCount(first), 1u);
  EXPECT_EQ(WindowFocusLossCount(second), 1u);
  ShowWindow(first, SW_MINIMIZE);
  EXPECT_EQ(GetForegroundWindow(), second);
}

TEST_F(Platform, AWindowInViewIsPaintedAfterItsOtherMessagesUntilItIsValidated) {
  static int waits;
  waits = 0;
  HeadlessSetWaitHook([] { waits += 1; });
  seen.clear();
  HWND window = MakeWindow("painted", 806, 625);
  MSG msg;
  // Never shown: nothing to paint, and WaitMessage waits.
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  WaitMessage();
  EXPECT_EQ(waits, 1);

  // Shown: the paint comes after what is queued, stays until validated, passes only a
  // filter that lets WM_PAINT through, and WaitMessage does not wait for it.
  ShowWindow(window, SW_SHOW);
  EXPECT_EQ(seen, std::vector<UINT>{WM_CREATE});
  PostMessageA(window, WM_KEYDOWN, 'A', 1);
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_KEYDOWN, WM_CHAR, PM_REMOVE));
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  }
  WaitMessage();
  EXPECT_EQ(waits, 1);
  // The default handling counts it as painted.
  DispatchMessageA(&msg);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_CREATE, WM_PAINT}));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  WaitMessage();
  EXPECT_EQ(waits, 2);

  // UpdateWindow paints at once, and only a window that needs it.
  EXPECT_TRUE(UpdateWindow(window));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_TRUE(InvalidateRect(window, nullptr, FALSE));
  EXPECT_TRUE(UpdateWindow(window));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_CREATE, WM_PAINT, WM_PAINT}));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // A minimised or hidden window shows no picture: nothing owed.
  InvalidateRect(window, nullptr, FALSE);
  ShowWindow(window, SW_MINIMIZE);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  ShowWindow(window, SW_RESTORE);
  ShowWindow(window, SW_HIDE);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // A destroyed window's paint goes with it, and it can be neither invalidated nor
  // validated any more.
  ShowWindow(window, SW_SHOW);
  DestroyWindow(window);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(InvalidateRect(window, nullptr, FALSE));
  EXPECT_FALSE(ValidateRect(window, nullptr));
  EXPECT_FALSE(UpdateWindow(window));
  EXPECT_FALSE(InvalidateRect(nullptr, nullptr, FALSE));
}

TEST_F(Platform, TheCursorReportsTheMotionSinceItWasPutBackToTheCentre) {
  POINT point;
  SetCursorPos(400, 300);
  HeadlessMoveMouse(5, -3);
  HeadlessMoveMouse(7, 1);
  GetCursorPos(&point);
  EXPECT_EQ(point.x, 412);
  EXPECT_EQ(point.y, 298);
  SetCursorPos(400, 300);
  GetCursorPos(&point);
  EXPECT_EQ(point.x, 400);
  EXPECT_EQ(point.y, 300);
  // Motion is not clipped at the edge of the picture: a swing is as long as it was.
  HeadlessMoveMouse(-900, 700);
  GetCursorPos(&point);
  EXPECT_EQ(point.x, -500);
  EXPECT_EQ(point.y, 1000);
}

TEST_F(Platform, MessageBoxesAnswerWithOneOfTheirButtonsOrAsIfClosed) {
  EXPECT_EQ(MessageBoxA(nullptr, CreateFailedSjis, "ERROR", MB_ICONERROR), IDOK);
  EXPECT_STREQ(HeadlessLastMessageBoxText(), "Direct3D\u306e\u4f5c\u6210\u306b\u5931\u6557\u3057\u307e\u3057\u305f");
  EXPECT_STREQ(HeadlessLastMessageBoxCaption(), "ERROR");
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDNO);
  HeadlessSetMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "FULL SCREEN ?", "disp mode", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "x", nullptr, MB_OK), IDOK);
  EXPECT_STREQ(HeadlessLastMessageBoxCaption(), "Error");
  EXPECT_EQ(HeadlessMessageBoxCount(), 5);
}

TEST_F(Platform, LibrariesLoadOnlyFromTheExecutablesOwnDirectory) {
  const std::string own = ExecutableDirectory();
  const std::string library = own + "libezds.so";
  ASSERT_EQ(access(library.c_str(), R_OK), 0) << "the sound library is built next to the tests";

  HMODULE sound = LoadLibraryA("EZDS.DLL");
  ASSERT_NE(sound, nullptr);
  EXPECT_NE(GetProcAddress(sound, "?DSinit@@YAHPAUHWND__@@@Z"), nullptr);
  EXPECT_EQ(GetProcAddress(sound, "?NoSuchExport@@YAXXZ"), nullptr);
  EXPECT_TRUE(FreeLibrary(sound));

  EXPECT_EQ(LoadLibraryA("qr_absent.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA("../ezds.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA("/tmp/ezds.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "x"), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));

  // A good library in the working directory is never picked up.
  char scratch[] = "/tmp/qr_library_XXXXXX";
  ASSERT_NE(mkdtemp(scratch), nullptr);
  const std::string stray = std::string(scratch) + "/libqr_stray.so";
  CopyFile(library, stray);
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(scratch), 0);
  EXPECT_EQ(LoadLibraryA("qr_stray.dll"), nullptr);
  ASSERT_EQ(chdir(previous), 0);
  unlink(stray.c_str());
  rmdir(scratch);

  // A library cut short in the executable's directory fails to load, without harm,
  // wherever the cut falls: in the header, the segment table, the code, the sections.
  const std::string truncated = own + "libqr_truncated.so";
  std::ifstream whole(library, std::ios::binary | std::ios::ate);
  const size_t size = static_cast<size_t>(whole.tellg());
  for (size_t keep : {size_t{0}, size_t{10}, size_t{64}, size_t{300}, size_t{3000}, size / 2, size - 1}) {
    SCOPED_TRACE(keep);
    CopyFile(library, truncated, keep);
    EXPECT_EQ(LoadLibraryA("qr_truncated.dll"), nullptr);
  }
  unlink(truncated.c_str());
}

}  // namespace
