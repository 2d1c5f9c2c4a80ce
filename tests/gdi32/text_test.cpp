// Text through the GDI stand-in: fonts found and sized as the game asks, the fallback
// face, DrawTextA into a DIB section (placement, clipping, background, lines, prefixes)
// and what happens with no fonts at all. The font object on a device is in scene_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/platform.h"

namespace {

// The smallest box holding every pixel at or above a level; right and bottom exclusive.
struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool Empty() const { return right < 0; }
  int Width() const { return Empty() ? 0 : right - left; }
  int Height() const { return Empty() ? 0 : bottom - top; }
};

template <typename Level>
Box InkBox(int width, int height, int threshold, Level level) {
  Box box;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (level(x, y) < threshold) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x + 1);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box;
}

// The game's own font description, differing between the slots only in height.
LOGFONTA GameLogFont(LONG height) {
  LOGFONTA logFont = {};
  logFont.lfHeight = height;
  logFont.lfWeight = FW_MEDIUM;
  logFont.lfCharSet = SHIFTJIS_CHARSET;
  logFont.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  logFont.lfQuality = DRAFT_QUALITY;
  logFont.lfPitchAndFamily = FIXED_PITCH;
  const char face[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";  // the face name in Shift-JIS
  std::memcpy(logFont.lfFaceName, face, sizeof face);
  return logFont;
}

// A memory device context with a white-on-black 32-bit DIB section, as the text
// renderer keeps one.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  uint32_t *bits = nullptr;
  int width = 0, height = 0;
  bool topDown = true;

  Canvas(int w, int h, bool rowsTopDown = true) : width(w), height(h), topDown(rowsTopDown) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = rowsTopDown ? -h : h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(nullptr);
    void *pixels = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    bits = static_cast<uint32_t *>(pixels);
    SelectObject(dc, bitmap);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextColor(dc, RGB(255, 255, 255));
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  uint32_t At(int x, int y) const { return bits[size_t(topDown ? y : height - 1 - y) * width + x]; }
  void Clear() { std::memset(bits, 0, size_t(width) * height * 4); }
  // The box of pixels whose green channel (white text) is at least `level`.
  Box Ink(int level = 128) const {
    return InkBox(width, height, level, [this](int x, int y) { return int((At(x, y) >> 8) & 0xFF); });
  }
};

struct Font {
  HFONT handle;
  explicit Font(const LOGFONTA &logFont) : handle(CreateFontIndirectA(&logFont)) {}
  ~Font() { DeleteObject(handle); }
};

int TextWidth(HDC dc, const char *text, UINT format = 0) {
  RECT rect = {0, 0, 0, 0};
  DrawTextA(dc, text, -1, &rect, format | DT_CALCRECT);
  return rect.right;
}

}  // namespace

TEST(GdiText, TheGamesFontIsFoundAndSizedByItsCellHeight) {
  for (LONG height : {18, 60}) {
    Font font(GameLogFont(height));
    ASSERT_NE(font.handle, nullptr) << height;
    Canvas canvas(400, 100);
    SelectObject(canvas.dc, font.handle);
    RECT rect = {0, 0, 0, 0};
    EXPECT_EQ(DrawTextA(canvas.dc, "QUILLRUN", -1, &rect, DT_CALCRECT), height);
    EXPECT_EQ(rect.bottom, height);
    // A fixed-pitch face: narrow and wide letters advance alike.
    EXPECT_EQ(TextWidth(canvas.dc, "iiii"), TextWidth(canvas.dc, "WWWW")) << height;
    // Ink of capitals and descenders stays inside the cell.
    RECT draw = {0, 0, 400, 100};
    DrawTextA(canvas.dc, "Qgjy|", -1, &draw, 0);
    Box ink = canvas.Ink(1);
    EXPECT_GE(ink.top, 0);
    EXPECT_LE(ink.bottom, height);
    EXPECT_GE(ink.Height(), height * 6 / 10) << "the glyphs fill most of the cell";
  }
  // A negative height asks for the em, so the cell comes out taller.
  Font em(GameLogFont(-60));
  Canvas canvas(400, 100);
  SelectObject(canvas.dc, em.handle);
  RECT rect = {0, 0, 0, 0};
  EXPECT_GT(DrawTextA(canvas.dc, "A", -1, &rect, DT_CALCRECT), 60);
}

TEST(GdiText, SmoothedGlyphsComeInTheSystemsSeventeenLevels) {
  // White on black, every pixel is one of the levels' weights: soft edges sit well above
  // their plain coverage (a sixteenth or less does not show, two sixteenths already
  // show at 104 of 255), which is what makes small text as bright as on Windows.
  const std::set<int> weights = {0, 104, 124, 140, 154, 167, 178, 189, 199, 208, 217, 225, 233, 240, 248, 255};
  for (BYTE quality : {BYTE(DRAFT_QUALITY), BYTE(NONANTIALIASED_QUALITY)}) {
    LOGFONTA logFont = GameLogFont(18);
    logFont.lfQuality = quality;
    Font font(logFont);
    Canvas canvas(400, 40);
    SelectObject(canvas.dc, font.handle);
    RECT rect = {0, 0, 400, 40};
    DrawTextA(canvas.dc, "version 0.14 QUILLRUN", -1, &rect, 0);
    std::set<int> seen;
    for (int y = 0; y < canvas.height; ++y)
      for (int x = 0; x < canvas.width; ++x) seen.insert(int((canvas.At(x, y) >> 8) & 0xFF));
    for (int level : seen) EXPECT_TRUE(weights.count(level)) << level << " quality " << int(quality);
    if (quality == NONANTIALIASED_QUALITY) {
      EXPECT_EQ(seen, (std::set<int>{0, 255}));
    } else {
      EXPECT_GE(seen.size(), 8u) << "the edges are smoothed";
    }
  }
}

TEST(GdiText, AFaceThatIsNotInstalledFallsBackToAFixedPitchJapaneseFace) {
  LOGFONTA missing = GameLogFont(18);
  std::strcpy(missing.lfFaceName, "No Such Face 4711");
  Font fallback(missing), game(GameLogFont(18));
  ASSERT_NE(fallback.handle, nullptr);
  Canvas canvas(400, 40);
  SelectObject(canvas.dc, fallback.handle);
  EXPECT_EQ(TextWidth(canvas.dc, "iiii"), TextWidth(canvas.dc, "MMMM"));
  // Japanese text in Shift-JIS ("ゲーム") is drawn, not shown as empty boxes or nothing.
  RECT rect = {0, 0, 400, 40};
  DrawTextA(canvas.dc, "\x83\x51\x81\x5b\x83\x80", -1, &rect, 0);
  EXPECT_GT(canvas.Ink(1).Width(), 18 * 2);
  int fallbackWidth = TextWidth(canvas.dc, "SCORE 0");
  SelectObject(canvas.dc, game.handle);
  EXPECT_EQ(TextWidth(canvas.dc, "SCORE 0"), fallbackWidth);
}

TEST(GdiText, CentringLeftAlignmentAndClippingFollowTheRectangle) {
  Font font(GameLogFont(18));
  ASSERT_NE(font.handle, nullptr);
  Canvas canvas(300, 60);
  SelectObject(canvas.dc, font.handle);
  SetBkMode(canvas.dc, TRANSPARENT);
  // Symmetric letters: the inked box is centred in the rectangle within a pixel.
  for (int right : {300, 251, 160}) {
    canvas.Clear();
    RECT rect = {20, 10, right, 60};
    DrawTextA(canvas.dc, "HHHHH", -1, &rect, DT_CENTER);
    Box ink = canvas.Ink();
    EXPECT_NEAR((ink.left + ink.right) / 2.0, (20 + right) / 2.0, 1.0) << right;
    EXPECT_GE(ink.top, 10);
  }
  // Left and top: the text starts at the corner.
  canvas.Clear();
  RECT corner = {37, 11, 300, 60};
  DrawTextA(canvas.dc, "HHH", -1, &corner, DT_LEFT | DT_TOP);
  Box ink = canvas.Ink();
  EXPECT_GE(ink.left, 37);
  EXPECT_LE(ink.left, 37 + 4);
  EXPECT_GE(ink.top, 11);
  EXPECT_LE(ink.top, 11 + 9);
  // Clipping: nothing outside the rectangle, ink right up to its edges.
  canvas.Clear();
  RECT clip = {30, 15, 60, 24};
  DrawTextA(canvas.dc, "HHHHHHHHHH", -1, &clip, 0);
  ink = canvas.Ink(1);
  EXPECT_GE(ink.left, 30);
  EXPECT_EQ(ink.right, 60);
  EXPECT_EQ(ink.bottom, 24);
  // DT_NOCLIP lets it run on.
  canvas.Clear();
  DrawTextA(canvas.dc, "HHHHHHHHHH", -1, &clip, DT_NOCLIP);
  EXPECT_GT(canvas.Ink(1).right, 60);
}

TEST(GdiText, OpaqueModeFillsTheTextBoxAndBottomUpBitmapsAreDrawnTheRightWayUp) {
  Font font(GameLogFont(18));
  ASSERT_NE(font.handle, nullptr);
  for (bool topDown : {true, false}) {
    Canvas canvas(200, 60, topDown);
    SelectObject(canvas.dc, font.handle);
    SetBkColor(canvas.dc, RGB(0, 0, 255));
    SetTextColor(canvas.dc, RGB(255, 0, 0));
    RECT rect = {10, 20, 200, 60};
    int width = TextWidth(canvas.dc, "AB");
    DrawTextA(canvas.dc, "AB", -1, &rect, 0);
    // The background box covers exactly the text's cells, in blue; red glyphs on it.
    EXPECT_EQ(canvas.At(10, 20) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(canvas.At(10 + width - 1, 20 + 17) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(canvas.At(10 + width, 20), 0u);
    EXPECT_EQ(canvas.At(10, 19), 0u);
    EXPECT_EQ(canvas.At(10, 38), 0u);
    Box red = InkBox(200, 60, 128, [&](int x, int y) { return int((canvas.At(x, y) >> 16) & 0xFF); });
    EXPECT_GE(red.top, 20) << topDown;
    EXPECT_LE(red.bottom, 38) << topDown;
  }
}

TEST(GdiText, LinesPrefixesAndBadArguments) {
  Font font(GameLogFont(18));
  ASSERT_NE(font.handle, nullptr);
  Canvas canvas(200, 60);
  SelectObject(canvas.dc, font.handle);
  RECT rect = {0, 0, 0, 0};
  EXPECT_EQ(DrawTextA(canvas.dc, "AB\nC\r\nD", -1, &rect, DT_CALCRECT), 54);
  EXPECT_EQ(DrawTextA(canvas.dc, "AB\nC", -1, &rect, DT_CALCRECT | DT_SINGLELINE), 18);
  EXPECT_EQ(TextWidth(canvas.dc, "A&&B"), TextWidth(canvas.dc, "A&B", DT_NOPREFIX));
  EXPECT_EQ(TextWidth(canvas.dc, "A&B"), TextWidth(canvas.dc, "AB"));
  EXPECT_EQ(DrawTextA(canvas.dc, "ABCDEF", 2, &rect, DT_CALCRECT), 18);
  EXPECT_EQ(rect.right, TextWidth(canvas.dc, "AB"));

  EXPECT_EQ(DrawTextA(nullptr, "A", -1, &rect, 0), 0);
  EXPECT_EQ(DrawTextA(canvas.dc, nullptr, -1, &rect, 0), 0);
  EXPECT_EQ(DrawTextA(canvas.dc, "A", -1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextA(canvas.dc, "A", -7, &rect, 0), 0);
  EXPECT_EQ(SelectObject(canvas.dc, reinterpret_cast<HGDIOBJ>(&rect)), nullptr);
  // An object still selected is not deleted out from under its device context.
  EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
  EXPECT_FALSE(DeleteObject(font.handle));
  EXPECT_FALSE(DeleteObject(canvas.dc));

  BITMAPINFO bad = {};
  bad.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bad.bmiHeader.biWidth = 100000;
  bad.bmiHeader.biHeight = 10;
  bad.bmiHeader.biPlanes = 1;
  bad.bmiHeader.biBitCount = 32;
  void *bits = &bad;
  EXPECT_EQ(CreateDIBSection(canvas.dc, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(bits, nullptr);
  bad.bmiHeader.biWidth = 10;
  bad.bmiHeader.biBitCount = 24;
  EXPECT_EQ(CreateDIBSection(canvas.dc, &bad, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
}

namespace {
int DrawWithoutFonts(const std::string &conf) {
  setenv("FONTCONFIG_FILE", conf.c_str(), 1);
  LOGFONTA logFont = GameLogFont(18);
  HFONT font = CreateFontIndirectA(&logFont);
  Canvas canvas(50, 20);
  if (font) SelectObject(canvas.dc, font);
  RECT rect = {0, 0, 50, 20};
  int height = DrawTextA(canvas.dc, "A", -1, &rect, 0);
  bool untouched = canvas.Ink(1).Empty();
  return font == nullptr && height == 0 && untouched ? 0 : 1;
}
}  // namespace

// With fontconfig pointed at a folder with no fonts, nothing can be made and nothing
// crashes. Run in a fresh process, since fontconfig reads its configuration once.
TEST(GdiTextDeathTest, WithNoFontsCreationFailsAndDrawingDoesNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  namespace fs = std::filesystem;
  // A fixed place in the build folder: the child process runs this body again and
  // must find the same configuration.
  const char *build = std::getenv("QR_BUILD_DIR");
  fs::path dir = fs::path(build ? build : fs::temp_directory_path().string()) / "no-fonts";
  fs::create_directories(dir / "empty");
  {
    std::ofstream conf(dir / "fonts.conf");
    conf << "<?xml version=\"1.0\"?>\n<fontconfig><dir>" << (dir / "empty").string() << "</dir><cachedir>"
         << (dir / "cache").string() << "</cachedir></fontconfig>\n";
  }
  std::string conf = (dir / "fonts.conf").string();
  EXPECT_EXIT(std::exit(DrawWithoutFonts(conf)), ::testing::ExitedWithCode(0), "");
}
