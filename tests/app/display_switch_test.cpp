// Alt+Enter and F11 on the headless game: the switch between a window and full screen
// runs between frames through the device's Reset, so the world is not stepped by it, the
// motion and buttons of the meantime reach the next frame once, and the picture goes on
// with the textures it had. Also the window's size kept for the next run.
#include <gtest/gtest.h>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>
#include <string>
#include "app/window_state.h"
#include "headless_game.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/user32/window_internal.h"
#include "render/device.h"

namespace {

class DisplaySwitch : public HeadlessGame {
protected:
  void SetUp() override { StartOnTitle(700000); }
};

constexpr LPARAM AltHeld = 1L << 29, Repeat = 1L << 30;

TEST_F(DisplaySwitch, AltEnterAndF11SwitchBetweenFramesLeavingTheWorldAndTheInputAlone) {
  // On the title screen: there and back, nothing stepped.
  for (const int screen : {1, 0}) {
    static World title;
    std::memcpy(&title, &game, sizeof game);
    EXPECT_EQ(MainWndProc(mainWindow, WM_KEYDOWN, VK_F11, 1), 0);
    EXPECT_EQ(fullScreen, screen);
    EXPECT_EQ(std::memcmp(&title, &game, sizeof game), 0) << "the switch on the title steps nothing";
    RunFrame();
    EXPECT_EQ(game.GameState, title.GameState);
  }
  // A game in slow motion, the hand on its way.
  HeadlessSetKey(VK_LBUTTON, true);
  RunFrame();
  HeadlessSetKey(VK_LBUTTON, false);
  HeadlessSetKey(VK_RBUTTON, true);
  for (int i = 0; i < 6; i++) {
    HeadlessMoveMouse(3, 1);
    RunFrame();
  }
  ASSERT_EQ(game.GameState, Playing);
  ASSERT_EQ(game.slowMotion, 1);
  ASSERT_EQ(fullScreen, 0);
  const struct {
    UINT message;
    WPARAM key;
    LPARAM lParam;
    bool switches;
  } presses[] = {
      {WM_SYSKEYDOWN, VK_RETURN, AltHeld | 1, true},
      {WM_KEYDOWN, VK_F11, 1, true},
      {WM_SYSKEYDOWN, VK_RETURN, AltHeld | Repeat | 1, false},  // held, not pressed again
      {WM_KEYDOWN, VK_RETURN, 1, false},                         // Enter alone is the game's
      {WM_SYSKEYDOWN, VK_F11, AltHeld | 1, true},
      {WM_KEYDOWN, VK_F11, Repeat | 1, false},
      {WM_SYSKEYDOWN, VK_RETURN, AltHeld | 1, true},
  };
  for (const auto &press : presses) {
    SCOPED_TRACE(testing::Message() << "message " << press.message << " key " << press.key << " lParam " << press.lParam);
    static World before;
    std::memcpy(&before, &game, sizeof game);
    const int wasFullScreen = fullScreen;
    HeadlessMoveMouse(5, -2);  // made while the display changes
    EXPECT_EQ(MainWndProc(mainWindow, press.message, press.key, press.lParam), 0);
    EXPECT_EQ(std::memcmp(&before, &game, sizeof game), 0) << "the switch steps nothing";
    EXPECT_EQ(fullScreen, press.switches ? !wasFullScreen : wasFullScreen);
    EXPECT_EQ(IsFullScreenWindow(mainWindow), fullScreen == 1);
    EXPECT_EQ(presentParams.Windowed, fullScreen ? FALSE : TRUE);
    EXPECT_EQ(presentParams.BackBufferFormat, fullScreen ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_NE(textures[0], nullptr);
    EXPECT_NE(textures[1], nullptr);
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 405) << "the motion waits for the next frame";
    EXPECT_EQ(cursor.y, 298);
    RunFrame();
    EXPECT_EQ(game.frameCounter, before.frameCounter + 1);
    EXPECT_EQ(game.slowMotion, 1) << "the held button went on";
    // Taken once: kept for the hand on a slow-motion frame, or all taken by its update.
    if (game.pendingDx != 0) {
      EXPECT_EQ(game.pendingDx, before.pendingDx + 5);
    }
    std::vector<DWORD> pixels(800 * 600);
    ASSERT_TRUE(ReadBackPresented(device, pixels.data(), 800, 600)) << "the frame after it is presented";
    EXPECT_GT(std::count_if(pixels.begin(), pixels.end(), [](DWORD p) { return (p & 0xFFFFFF) != 0; }), 1000);
  }
  EXPECT_EQ(fullScreen, 0) << "an even number of switches";
  HeadlessSetKey(VK_RBUTTON, false);

  // Enter with Alt held is the switch's, never the game's caption key.
  const struct {
    bool alt, enter;
  } keys[] = {{false, true}, {true, true}, {true, false}};
  for (const auto &k : keys) {
    HeadlessSetKey(VK_LMENU, k.alt);
    HeadlessSetKey(VK_RETURN, k.enter);
    RunFrame();
    EXPECT_EQ(game.keysHeld.enter, k.enter && !k.alt) << "alt " << k.alt << " enter " << k.enter;
  }
  HeadlessReleaseAllKeys();
}

// The window's size file: only the two lines with sizes in range are taken, and one
// spoiled, missing or in the way of a folder keeps no size and breaks nothing.
TEST(WindowState, TheSizeFileIsTakenOnlyWhenWhole) {
  const struct {
    const char *text;
    int width;  // 0: refused
  } cases[] = {{"width = 1200\nheight = 900\n", 1200}, {" width = 1000 \r\nheight = 900\r\n", 1000},
               {"width = 1000\nheight = 9", 0},        {"width=1000\nheight=900\n", 0},
               {"width = 99999999999\nheight = 900\n", 0}, {"width = -1200\nheight = 900\n", 0},
               {"height = 900\nwidth = 1200\n", 0},    {"width = 1200\nheight = 900\nwidth = 5\n", 0}};
  for (const auto &c : cases) {
    KeptWindowSize size;
    std::string why;
    EXPECT_EQ(ParseWindowState(c.text, size, why), c.width != 0) << c.text;
    EXPECT_EQ(size.width, c.width) << c.text;
  }
  const std::string folder = testing::TempDir() + "qr-window-state";
  const std::string path = folder + "/window";
  std::remove(path.c_str());
  EXPECT_EQ(LoadWindowState(path).width, 0);
  ASSERT_TRUE(SaveWindowState(path, KeptWindowSize{1000, 900}));
  EXPECT_EQ(LoadWindowState(path).height, 900);
  EXPECT_EQ(LoadWindowState(folder).width, 0) << "a folder where the file should be";
  EXPECT_FALSE(SaveWindowState(path + "/below-a-file", KeptWindowSize{1000, 900}));
}

}  // namespace
