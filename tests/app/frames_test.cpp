// Whole frames of the game on the headless backend: the title screen's stars filling
// the particle table, the slow motion held by the right button, which moves the world
// on one frame in three while every frame is still drawn, and how sparks and particles
// look on the screen.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>
#include "app/game.h"
#include "headless_game.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"
#include "render/device.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

std::vector<std::pair<int, int>> sounds;
void RecordSound(int id, int level) { sounds.emplace_back(id, level); }

class Frames : public HeadlessGame {
protected:
  void SetUp() override {
    StartOnTitle(100000);
    sounds.clear();
    soundPlayObserver = RecordSound;
  }
  void TearDown() override {
    soundPlayObserver = nullptr;
    HeadlessReleaseAllKeys();
  }

  static std::vector<DWORD> Picture() {
    std::vector<DWORD> pixels(presentParams.BackBufferWidth * presentParams.BackBufferHeight);
    EXPECT_TRUE(ReadBackPresented(device, pixels.data(), presentParams.BackBufferWidth,
                                  presentParams.BackBufferHeight));
    return pixels;
  }
};

TEST_F(Frames, TheTitleFillsTheParticleTableThenDropsStarsUntilOneLeaves) {
  game.randomSeed = 2024;
  int dropped = 0, reusedAfterFull = 0;
  bool wasFull = false;
  for (int frame = 1; frame <= 400; ++frame) {
    // Which stars this frame's update will carry past the left edge, and where the new
    // star must go: the lowest slot that is free after the update, if any.
    bool live[ParticleSlots];
    int freeSlot = -1, liveAfterUpdate = 0;
    for (int i = 0; i < ParticleSlots; ++i) {
      const Particle &p = game.ParticleTable[i];
      live[i] = p.life != 0;
      bool staysLive = live[i] && p.x + p.vx >= -20.0f;
      liveAfterUpdate += staysLive;
      if (!staysLive && freeSlot < 0) freeSlot = i;
    }
    RunFrame();
    ASSERT_EQ(game.GameState, Title);

    // A star enters at 810 and has not moved yet; every older one has.
    int newSlot = -1, liveNow = 0;
    for (int i = 0; i < ParticleSlots; ++i) {
      const Particle &p = game.ParticleTable[i];
      if (p.life == 0) continue;
      ++liveNow;
      EXPECT_GE(p.sprite, 8);
      EXPECT_LE(p.sprite, 10);
      EXPECT_GE(p.x, -20.0f);
      if (p.x == 810.0f) {
        EXPECT_EQ(newSlot, -1) << "two new stars in frame " << frame;
        newSlot = i;
      }
    }
    EXPECT_EQ(newSlot, freeSlot) << "frame " << frame;
    EXPECT_EQ(liveNow, liveAfterUpdate + (freeSlot >= 0 ? 1 : 0)) << "frame " << frame;
    if (freeSlot < 0) ++dropped;
    if (wasFull && freeSlot >= 0) ++reusedAfterFull;
    wasFull = liveNow == ParticleSlots;
  }
  // The table ran full, stars were turned away, and the slots of stars that left
  // were taken again.
  EXPECT_GT(dropped, 0);
  EXPECT_GT(reusedAfterFull, 0);
}

TEST_F(Frames, SlowMotionMovesTheWorldOnOneFrameInThreeAndDrawsEveryFrame) {
  // Start a game with the right button: the random mode, and the button stays held,
  // so the sword takes the slow motion from the first world update on.
  HeadlessSetKey(VK_RBUTTON, true);
  RunFrame();
  ASSERT_EQ(game.GameState, Playing);
  ASSERT_EQ(game.frameCounter, 1u);
  ASSERT_EQ(game.slowMotion, 0);
  std::memset(game.EnemyTable, 0, sizeof game.EnemyTable);

  std::vector<uint32_t> updateFrames, beepFrames;
  int16_t power = game.Player.power;
  for (int i = 0; i < 30; ++i) {
    sounds.clear();
    RunFrame();
    // Keep the field clear, so nothing touches the hand.
    for (Enemy &e : game.EnemyTable) e.hp = 0;
    if (game.Player.power != power) {
      EXPECT_EQ(game.Player.power, power - 5) << "frame " << game.frameCounter;
      updateFrames.push_back(game.frameCounter);
      power = game.Player.power;
    }
    for (auto [id, level] : sounds)
      if (id == 6 && level == 65) beepFrames.push_back(game.frameCounter);
    EXPECT_EQ(game.slowMotion, 1);
  }
  // Frame 2 runs the world (the slow motion is not on yet); from then on only frames
  // that leave 1 when divided by 3, and the beep sounds on the odd ones among those.
  EXPECT_EQ(updateFrames, (std::vector<uint32_t>{2, 4, 7, 10, 13, 16, 19, 22, 25, 28, 31}));
  EXPECT_EQ(beepFrames, (std::vector<uint32_t>{7, 13, 19, 25, 31}));

  // Each sword update throws two cyan sparks; in between they hang still.
  int cyan = 0;
  for (const Effect &e : game.EffectTable) cyan += e.alpha != 0 && e.red == 50 && e.green == 200 && e.blue == 255;
  EXPECT_GT(cyan, 0);
  std::vector<Effect> before(game.EffectTable, game.EffectTable + EffectSlots);
  ASSERT_EQ(game.frameCounter % 3, 1u);
  auto still = Picture();
  RunFrame();  // a frame without a world update
  for (int i = 0; i < EffectSlots; ++i) EXPECT_EQ(std::memcmp(&before[i], &game.EffectTable[i], sizeof(Effect)), 0) << i;
  EXPECT_EQ(Picture(), still);

  // Yet the frame was drawn: holding Enter shows the caption line at once.
  HeadlessSetKey(VK_RETURN, true);
  RunFrame();
  EXPECT_NE(game.frameCounter % 3, 1u);
  EXPECT_NE(Picture(), still);
  HeadlessSetKey(VK_RETURN, false);

  // Letting go of the button ends the slow motion in the next world update.
  HeadlessSetKey(VK_RBUTTON, false);
  RunFrame();
  ASSERT_EQ(game.frameCounter % 3, 1u);
  EXPECT_EQ(game.slowMotion, 0);
  uint32_t frame = game.frameCounter;
  RunFrame();
  EXPECT_EQ(game.frameCounter, frame + 1);
  EXPECT_EQ(game.Player.power, power + 4 * 2);  // the hand rests: recharged in both updates
}

// What the scene shows of one spark and one particle, on a frozen end screen.
class Drawn : public Frames {
protected:
  void SetUp() override {
    Frames::SetUp();
    game.GameState = GameOver;
    game.Player.x = 50;
    game.Player.y = 50;
    std::memset(game.ParticleTable, 0, sizeof game.ParticleTable);
    std::memset(game.EffectTable, 0, sizeof game.EffectTable);
    std::memset(game.EnemyTable, 0, sizeof game.EnemyTable);
  }
  static DWORD At(const std::vector<DWORD> &picture, int x, int y) {
    return picture[static_cast<size_t>(y) * presentParams.BackBufferWidth + x];
  }
  // A row of the empty frame that is black from x = 100 to 500.
  static int BlackRow(const std::vector<DWORD> &picture) {
    for (int y = 120; y < 560; y += 7) {
      bool black = true;
      for (int x = 90; x <= 510 && black; ++x) black = (At(picture, x, y) & 0xFFFFFF) == 0;
      if (black) return y;
    }
    return -1;
  }
};

TEST_F(Drawn, ASparkFadesFromHeadToTailInTwoSegments) {
  RunFrame();
  const auto empty = Picture();
  const int y = BlackRow(empty);
  ASSERT_GE(y, 0);
  // Head at 500, one update ago at 300, two updates ago at 100: red with some blue.
  Effect &e = game.EffectTable[0];
  e.x0 = 500;
  e.x1 = 300;
  e.x2 = 100;
  e.y0 = e.y1 = e.y2 = static_cast<float>(y);
  e.alpha = 255;
  e.alphaStep = -10;
  e.red = 255;
  e.green = 0;
  e.blue = 128;
  RunFrame();
  const auto picture = Picture();
  auto red = [&](int x) { return static_cast<int>((At(picture, x, y) >> 16) & 0xFF); };
  auto green = [&](int x) { return static_cast<int>((At(picture, x, y) >> 8) & 0xFF); };
  auto blue = [&](int x) { return static_cast<int>(At(picture, x, y) & 0xFF); };
  // Over black the red channel shows the opacity: 102 at the tail, 178 in the middle,
  // 255 at the head, and the blue channel half of it. (Where the two segments meet the
  // pixel is drawn by both, so the samples stay a few pixels off it.)
  EXPECT_NEAR(red(101), 102, 4);
  EXPECT_NEAR(red(297), 178, 4);
  EXPECT_NEAR(red(303), 178, 4);
  EXPECT_NEAR(red(498), 254, 4);
  EXPECT_NEAR(red(200), (102 + 178) / 2, 4);
  EXPECT_NEAR(blue(303), 178 * 128 / 255, 3);
  EXPECT_EQ(green(303), 0);
  // Nothing beyond the head or behind the tail.
  EXPECT_EQ(At(picture, 90, y) & 0xFFFFFF, 0u);
  EXPECT_EQ(At(picture, 510, y) & 0xFFFFFF, 0u);

  // A fading spark: alpha 100 gives opacities 70 and 40 behind its head.
  e.alpha = 100;
  RunFrame();
  const auto dim = Picture();
  EXPECT_NEAR(static_cast<int>((At(dim, 303, y) >> 16) & 0xFF), 70, 3);
  EXPECT_NEAR(static_cast<int>((At(dim, 101, y) >> 16) & 0xFF), 40, 3);
  // A freed slot draws nothing, whatever its other fields hold.
  e.alpha = 0;
  RunFrame();
  EXPECT_EQ(Picture(), empty);
}

TEST_F(Drawn, AParticleIsASpriteAtItsPlaceAndAFreeSlotIsNot) {
  RunFrame();
  const auto empty = Picture();
  const int y = BlackRow(empty);
  ASSERT_GE(y, 0);
  // The cell of the hand's flash, at full opacity; a free slot next to it.
  game.ParticleTable[0] = Particle{300.0f, static_cast<float>(y), 0, 0, 0, 0, 0, 20.0f, 0, 255, 0, -1, 0};
  game.ParticleTable[1] = Particle{400.0f, static_cast<float>(y), 0, 0, 0, 0, 0, 20.0f, 0, 255, 0, 0, 0};
  RunFrame();
  const auto picture = Picture();
  int lit = 0, litElsewhere = 0;
  for (int py = std::max(0, y - 30); py < std::min(600, y + 30); ++py)
    for (int px = 250; px < 450; ++px) {
      if (At(picture, px, py) == At(empty, px, py)) continue;
      if (px >= 280 && px <= 320 && py >= y - 20 && py <= y + 20)
        ++lit;
      else
        ++litElsewhere;
    }
  EXPECT_GT(lit, 50);
  EXPECT_EQ(litElsewhere, 0);
}

}  // namespace
