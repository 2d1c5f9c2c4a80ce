// user32's own message box (question_box.h): the box's text on white above a grey strip
// of buttons, the one Enter picks framed in blue, drawn once into a 32-bit DIB section
// with the GDI stand-in and shown through the driver's window surface whenever the
// window asks for its picture. The window is an ordinary window of ours, of a class of
// its own that lives as long as the box, and its message loop takes only its own
// messages: whatever is queued for the game's window stays there.
#include "platform/user32/question_box.h"

#include <cstdio>
#include <cstring>
#include <vector>
#include "platform/gdi32/gdi.h"
#include "platform/kernel32/signals.h"
#include "platform/raster/window_surface.h"
#include "platform/user32/input.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/window_internal.h"

namespace {

constexpr char ClassName[] = "quillrun message box";
constexpr int Margin = 16;           // around the text
constexpr int StripHeight = 46;      // the buttons' strip
constexpr int ButtonHeight = 26;
constexpr int ButtonMinWidth = 80;
constexpr int ButtonPadding = 24;    // beside the label
constexpr int ButtonGap = 8;
constexpr int MinWidth = 240;
// Never so big that it could be taken for the game's full-screen request (a captioned
// 800 x 600 window at the corner); a longer text is cut off.
constexpr int MaxWidth = 760, MaxHeight = 560;
constexpr uint32_t Paper = 0xFFFFFF, Strip = 0xF0F0F0, Face = 0xE1E1E1, Edge = 0xADADAD, Focus = 0x0078D7;

struct BoxButton {
  RECT rect;
  int answer;
};

// The box on the screen. One at a time: a box asked while one is up (nothing does)
// cannot be shown.
struct Box {
  HWND window = nullptr;
  WindowSurface *surface = nullptr;
  int width = 0, height = 0;
  std::vector<uint32_t> picture;  // as the surface takes it: opaque 0xAARRGGBB
  BoxButton buttons[3] = {};
  int count = 0;
  int enterAnswer = 0, escapeAnswer = 0, closeAnswer = 0;
  int pressed = -1;  // the button the left button went down on
  WPARAM keyDown = 0;  // Enter or Escape, gone down in the box
  int answer = 0;
};
Box *shownBox;

int ButtonAt(const Box &box, LPARAM point) {
  const int x = static_cast<short>(point & 0xFFFF), y = static_cast<short>((point >> 16) & 0xFFFF);
  for (int i = 0; i < box.count; i++) {
    const RECT &r = box.buttons[i].rect;
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return i;
  }
  return -1;
}

LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Box *box = shownBox;
  // Closing is answering, never the default destruction: the box ends its window itself.
  if (message == WM_CLOSE) {
    if (box && box->window == window) box->answer = box->closeAnswer;
    return 0;
  }
  if (!box || box->window != window) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    // Enter and Escape answer when they are let go, as a push button does: the display
    // then has told the box of the release, and no window after it is left with a key
    // it thinks held (SDL on Wayland would repeat it into the game's window). A key
    // already down when the box came up answers nothing.
    case WM_KEYDOWN:
      if ((wParam == VK_RETURN || wParam == VK_ESCAPE) && !(lParam & (1L << 30))) box->keyDown = wParam;
      return 0;
    case WM_KEYUP:
      if (wParam == box->keyDown && wParam == VK_RETURN) box->answer = box->enterAnswer;
      if (wParam == box->keyDown && wParam == VK_ESCAPE) box->answer = box->escapeAnswer;
      box->keyDown = 0;
      return 0;
    case WM_LBUTTONDOWN:
      box->pressed = ButtonAt(*box, lParam);
      return 0;
    case WM_LBUTTONUP: {
      // A click is a press and a release on the same button, as a push button takes it.
      const int at = ButtonAt(*box, lParam);
      if (at >= 0 && at == box->pressed) box->answer = box->buttons[at].answer;
      box->pressed = -1;
      return 0;
    }
    case WM_PAINT:
      box->surface->Show(box->picture.data(), box->width, box->height);
      ValidateRect(window, nullptr);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void Fill(uint32_t *pixels, int stride, const RECT &r, uint32_t colour) {
  for (LONG y = r.top; y < r.bottom; y++)
    for (LONG x = r.left; x < r.right; x++) pixels[y * stride + x] = colour;
}

void Frame(uint32_t *pixels, int stride, RECT r, uint32_t colour, int thickness) {
  for (int i = 0; i < thickness; i++) {
    Fill(pixels, stride, RECT{r.left, r.top, r.right, r.top + 1}, colour);
    Fill(pixels, stride, RECT{r.left, r.bottom - 1, r.right, r.bottom}, colour);
    Fill(pixels, stride, RECT{r.left, r.top, r.left + 1, r.bottom}, colour);
    Fill(pixels, stride, RECT{r.right - 1, r.top, r.right, r.bottom}, colour);
    r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
}

// The GDI objects the picture is drawn with, given back whatever happens.
struct Drawing {
  HDC dc = nullptr;
  HFONT font = nullptr;
  HBITMAP bitmap = nullptr;
  uint32_t *bits = nullptr;
  ~Drawing() {
    if (dc) DeleteDC(dc);
    if (bitmap) DeleteObject(bitmap);
    if (font) DeleteObject(font);
  }
};

// Lays the box out and draws its picture; false when the GDI stand-in cannot.
bool DrawBox(Box &box, const char *text, const MessageBoxButton *buttons, int count) {
  Drawing gdi;
  LOGFONTA logFont = {};
  logFont.lfHeight = -15;
  logFont.lfWeight = FW_NORMAL;
  logFont.lfCharSet = SHIFTJIS_CHARSET;  // the game's texts
  logFont.lfQuality = ANTIALIASED_QUALITY;
  logFont.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  gdi.font = CreateFontIndirectA(&logFont);
  gdi.dc = CreateCompatibleDC(nullptr);
  if (!gdi.font || !gdi.dc) return false;
  SelectObject(gdi.dc, gdi.font);

  RECT textRect = {0, 0, 0, 0};
  DrawTextA(gdi.dc, text, -1, &textRect, DT_CALCRECT | DT_NOPREFIX);
  int buttonsWidth = 0;
  int widths[3] = {};
  for (int i = 0; i < count; i++) {
    RECT label = {0, 0, 0, 0};
    DrawTextA(gdi.dc, buttons[i].label, -1, &label, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    widths[i] = label.right + ButtonPadding > ButtonMinWidth ? label.right + ButtonPadding : ButtonMinWidth;
    buttonsWidth += widths[i] + (i ? ButtonGap : 0);
  }
  int width = textRect.right + 2 * Margin;
  if (buttonsWidth + 2 * Margin > width) width = buttonsWidth + 2 * Margin;
  width = width < MinWidth ? MinWidth : width > MaxWidth ? MaxWidth : width;
  int height = textRect.bottom + 2 * Margin + StripHeight;
  height = height > MaxHeight ? MaxHeight : height;
  box.width = width;
  box.height = height;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows, as the surface takes them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  gdi.bitmap = CreateDIBSection(gdi.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!gdi.bitmap || !bits) return false;
  gdi.bits = static_cast<uint32_t *>(bits);
  SelectObject(gdi.dc, gdi.bitmap);
  SetBkMode(gdi.dc, TRANSPARENT);
  SetTextColor(gdi.dc, RGB(0, 0, 0));

  const int stripTop = height - StripHeight;
  Fill(gdi.bits, width, RECT{0, 0, width, stripTop}, Paper);
  Fill(gdi.bits, width, RECT{0, stripTop, width, height}, Strip);
  RECT textAt = {Margin, Margin, width - Margin, stripTop - Margin / 2};
  DrawTextA(gdi.dc, text, -1, &textAt, DT_NOPREFIX);

  // The buttons in a row in the middle of the strip.
  int x = (width - buttonsWidth) / 2;
  box.count = count;
  for (int i = 0; i < count; i++) {
    const int top = stripTop + (StripHeight - ButtonHeight) / 2;
    RECT r = {x, top, x + widths[i], top + ButtonHeight};
    box.buttons[i] = BoxButton{r, buttons[i].answer};
    Fill(gdi.bits, width, r, Face);
    Frame(gdi.bits, width, r, buttons[i].enter ? Focus : Edge, buttons[i].enter ? 2 : 1);
    DrawTextA(gdi.dc, buttons[i].label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    x += widths[i] + ButtonGap;
  }
  GdiFlush();
  box.picture.assign(gdi.bits, gdi.bits + static_cast<size_t>(width) * height);
  for (uint32_t &pixel : box.picture) pixel |= 0xFF000000u;  // the DIB leaves alpha 0
  return true;
}

// Makes the window and its surface, placed in the middle of the desktop; false (the
// window gone again) when the driver cannot show it.
bool OpenWindow(Box &box, const char *caption) {
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = BoxProc;
  windowClass.lpszClassName = ClassName;
  if (!RegisterClassExA(&windowClass)) return false;
  const DWORD style = WS_CAPTION | WS_SYSMENU;
  const int outerWidth = box.width + 2 * GetSystemMetrics(SM_CXFIXEDFRAME);
  const int outerHeight = box.height + 2 * GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (screenWidth > outerWidth && screenHeight > outerHeight) {
    x = (screenWidth - outerWidth) / 2;
    y = (screenHeight - outerHeight) / 2;
  }
  box.window = CreateWindowExA(0, ClassName, caption, style, x, y, outerWidth, outerHeight, nullptr, nullptr, nullptr,
                               nullptr);
  Driver *driver = box.window ? DriverOf(box.window) : nullptr;
  box.surface = driver ? driver->CreateWindowSurface(box.window) : nullptr;
  return box.surface != nullptr;
}

void CloseWindow(Box &box) {
  delete box.surface;
  box.surface = nullptr;
  if (box.window) {
    DestroyWindow(box.window);
    FreeDestroyedWindow(box.window);
  }
  box.window = nullptr;
  UnregisterClassA(ClassName, nullptr);
}

}  // namespace

int ShowQuestionBox(const char *textCp932, const char *captionCp932, const MessageBoxButton *buttons, int count,
                    int closeAnswer) {
  if (shownBox || count < 1 || count > 3) return 0;
  const char *text = textCp932 ? textCp932 : "";
  const char *caption = captionCp932 ? captionCp932 : "Error";
  Box box;
  box.closeAnswer = closeAnswer;
  box.enterAnswer = box.escapeAnswer = closeAnswer;
  for (int i = 0; i < count; i++) {
    if (buttons[i].enter) box.enterAnswer = buttons[i].answer;
    if (buttons[i].escape) box.escapeAnswer = buttons[i].answer;
  }
  shownBox = &box;
  if (!DrawBox(box, text, buttons, count) || !OpenWindow(box, caption)) {
    CloseWindow(box);
    shownBox = nullptr;
    std::fprintf(stderr, "quillrun: no window for the message box \"%s: %s\" either; answered as if it was closed\n",
                 Cp932ToUtf8(caption).c_str(), Cp932ToUtf8(text).c_str());
    return 0;
  }
  ShowWindow(box.window, SW_SHOW);

  // The box's own loop: its messages only, waiting for the driver's next event when
  // there are none. A quit signal closes it (PeekMessageA posts the WM_CLOSE, as it will
  // to the game's window made afterwards, which ends the program the usual way).
  Driver *driver = DriverOf(box.window);
  while (box.answer == 0) {
    MSG msg;
    bool took = false;
    while (box.answer == 0 && PeekMessageA(&msg, box.window, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
      took = true;
    }
    if (box.answer == 0 && QuitSignal() != 0) box.answer = closeAnswer;
    if (box.answer == 0 && !took) driver->WaitEvents();
  }
  const int answer = box.answer;
  CloseWindow(box);
  shownBox = nullptr;
  // The key or button that answered was the box's: the game must not see it as pressed.
  InputReleaseAll();
  return answer;
}
