// The browser build's frame pacing, on simulated display clocks: 45 game frames a second
// whatever the display's rate, never ahead of the deadlines, no catch-up after a late
// frame or a hidden page.
#include <gtest/gtest.h>
#include <cmath>
#include "web/frame_pacer.h"

namespace {

// Runs the pacer for `seconds` on a display of `hertz` (one pass per display frame, as
// the browser calls the game) whose game frames take `cost` ms; returns the game frames
// run and checks that they never run ahead of their 22 ms deadlines.
int FramesOnDisplay(double hertz, double seconds, uint32_t start = 0, uint32_t cost = 1) {
  FramePacer pacer;
  int frames = 0;
  const int displayFrames = int(std::lround(seconds * hertz));
  for (int n = 0; n < displayFrames; ++n) {
    const uint32_t now = start + uint32_t(n * 1000.0 / hertz);
    if (pacer.Due(now)) {
      pacer.Ran(now, now + cost);
      ++frames;
      EXPECT_LE(frames, int((now - start) / FramePacer::FrameMilliseconds) + 1) << "ahead of the deadlines at " << now;
    }
  }
  return frames;
}

TEST(WebPacer, RunsFortyFiveFramesASecondOnCommonDisplays) {
  // 1000 / 22 = 45.45 frames a second; a display slower than that shows one per frame.
  EXPECT_NEAR(FramesOnDisplay(60, 10), 455, 2);
  EXPECT_NEAR(FramesOnDisplay(75, 10), 455, 2);
  EXPECT_NEAR(FramesOnDisplay(144, 10), 455, 2);
  EXPECT_EQ(FramesOnDisplay(30, 10), 300);
  // Across the wrap of the 32-bit millisecond timer as well.
  EXPECT_NEAR(FramesOnDisplay(60, 10, 0xFFFFF000u), 455, 2);
}

TEST(WebPacer, ALateFrameLosesItsTimeAndAHiddenPageStartsAfresh) {
  FramePacer pacer;
  EXPECT_TRUE(pacer.Due(1000));
  pacer.Ran(1000, 1001);
  EXPECT_FALSE(pacer.Due(1021));
  EXPECT_TRUE(pacer.Due(1022));
  // Slightly late frames keep the 22 ms grid, so the average stays at 45.
  pacer.Ran(1030, 1031);
  EXPECT_TRUE(pacer.Due(1044));
  // A frame that ends 100 ms after its deadline: the next one follows at once and the
  // grid starts again from there; the lost frames are not made up.
  pacer.Ran(1044, 1166);
  EXPECT_TRUE(pacer.Due(1166));
  pacer.Ran(1166, 1167);
  EXPECT_FALSE(pacer.Due(1187));
  EXPECT_TRUE(pacer.Due(1188));
  // Back from a hidden page the next frame comes at once, whatever the grid said.
  pacer.Pause();
  EXPECT_TRUE(pacer.Due(1170));
}

}  // namespace
