// The mouse's sensitivity: the scale of the motion itself (fractions carried, both
// directions, hostile sizes), and the game's frames handing the world whole pixels of
// the scaled motion, so that slow moves at a low sensitivity still add up.
#include <gtest/gtest.h>
#include <climits>
#include "app/game.h"
#include "app/mouse_motion.h"
#include "headless_game.h"
#include "platform/drivers/headless/headless.h"
#include "world/world.h"

namespace {

TEST(MouseMotion, FractionsAreCarriedInBothDirectionsAndOneLeavesMotionAlone) {
  MouseMotionScale scale;
  int dx = 7, dy = -13;
  scale.Apply(dx, dy);
  EXPECT_EQ(dx, 7);
  EXPECT_EQ(dy, -13);

  scale.sensitivity = 0.25;
  int sumX = 0, sumY = 0;
  for (int i = 0; i < 10; i++) {
    int x = 1, y = -1;
    scale.Apply(x, y);
    sumX += x;
    sumY += y;
  }
  // 2.5 each way: two whole pixels handed on, half a pixel still carried.
  EXPECT_EQ(sumX, 2);
  EXPECT_EQ(sumY, -2);
  EXPECT_DOUBLE_EQ(scale.carryX, 0.5);
  EXPECT_DOUBLE_EQ(scale.carryY, -0.5);
  scale.Forget();
  EXPECT_EQ(scale.carryX, 0.0);

  scale.sensitivity = 4.0;
  dx = 3;
  dy = -2;
  scale.Apply(dx, dy);
  EXPECT_EQ(dx, 12);
  EXPECT_EQ(dy, -8);

  // A motion no mouse makes is held, not overflowed.
  dx = INT_MAX;
  dy = INT_MIN;
  scale.Apply(dx, dy);
  EXPECT_EQ(dx, 1000000);
  EXPECT_EQ(dy, -1000000);
}

class Sensitivity : public HeadlessGame {
protected:
  void SetUp() override { StartOnTitle(700000); }
  void TearDown() override {
    mouseMotion.sensitivity = 1.0;
    mouseMotion.Forget();
  }
};

// The title screen keeps every pixel the world took as the hand's pending motion, so
// it shows exactly what the frames handed on.
TEST_F(Sensitivity, AThousandOnePixelMovesAtPointThreeMoveThreeHundredPixels) {
  mouseMotion.sensitivity = 0.3;
  for (int frame = 0; frame < 1000; frame++) {
    HeadlessMoveMouse(1, -1);
    RunFrame();
  }
  ASSERT_EQ(game.GameState, Title);
  EXPECT_NEAR(game.pendingDx, 300, 1);
  EXPECT_NEAR(game.pendingDy, -300, 1);
}

TEST_F(Sensitivity, AtOneTheWorldTakesTheMotionAsItCame) {
  const int moves[][2] = {{5, 0}, {-3, 2}, {0, 0}, {40, -17}, {-1, -1}};
  int sumX = 0, sumY = 0;
  for (const auto &move : moves) {
    HeadlessMoveMouse(move[0], move[1]);
    RunFrame();
    sumX += move[0];
    sumY += move[1];
  }
  EXPECT_EQ(game.pendingDx, sumX);
  EXPECT_EQ(game.pendingDy, sumY);
}

}  // namespace
