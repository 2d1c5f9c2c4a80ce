// Smooth pacing on the headless driver's simulated display: the world frames and what
// they take are exactly those of the original pacing, the pictures come at the
// display's rate (60 when it reports none, never above 240), and what a display shows
// of constant motion moves evenly where the original steps unevenly.
#include <vector>

#include "bench/smooth_pacing.h"
#include "headless_game.h"
#include "world/step.h"

namespace {

using namespace pacing_probe;

class Pacing : public HeadlessGame {
protected:
  void TearDown() override {
    pictureObserver = nullptr;
    smoothPacing = 0;
    HeadlessSetDisplay(60);
    HeadlessSetClockHook(nullptr);
  }
};

struct PlayedRun {
  std::vector<World> worlds;
  std::vector<uint32_t> frameTimes;
};

// 120 frames of a game with the hand swept by the mouse and the blade swung now and
// then, the mouse moving while the game waits.
PlayedRun Play(bool smooth, int refresh, int jitter) {
  StartPlaying(100000, smooth, refresh, jitter);
  SetMouseSpeed(300);
  PlayedRun run;
  for (int frame = 0; frame < 120; ++frame) {
    if (frame == 60) SetMouseSpeed(-300);
    HeadlessSetKey(VK_LBUTTON, frame % 9 < 3);
    HeadlessSetKey(VK_RBUTTON, frame > 80 && frame < 95);
    RunFrame();
    run.worlds.push_back(game);
    run.frameTimes.push_back(lastFrameTime);
  }
  SetMouseSpeed(0);
  return run;
}

TEST_F(Pacing, SmoothKeepsEveryWorldFrameAndItsTimeAndDrawsAtTheDisplaysRate) {
  const PlayedRun original = Play(false, 60, 0);
  const size_t originalPictures = pictures.size();
  EXPECT_EQ(originalPictures, 120u);   // one a frame
  for (int refresh : {60, 75, 144, 0, 500}) {
    const PlayedRun smooth = Play(true, refresh, 0);
    for (size_t i = 0; i < smooth.worlds.size(); ++i) {
      ASSERT_EQ(std::memcmp(&smooth.worlds[i], &original.worlds[i], sizeof(World)), 0)
          << "refresh " << refresh << ", frame " << i;
      EXPECT_EQ(smooth.frameTimes[i], original.frameTimes[i]) << "refresh " << refresh << ", frame " << i;
    }
    // 120 frames are 2.64 s: the pictures come at the rate the display reports (60
    // when none, 240 at most), give or take the first and last.
    const double expected = (refresh == 0 ? 60 : (refresh > 240 ? 240 : refresh)) * 120 * 0.022;
    EXPECT_NEAR(static_cast<double>(pictures.size()), expected, 3.0) << "refresh " << refresh;
    // Pictures go forward in time, and none waits past the next world frame.
    for (size_t i = 1; i < pictures.size(); ++i) ASSERT_GE(pictures[i].time, pictures[i - 1].time);
  }
}

TEST_F(Pacing, LateWakeUpsDoNotMoveTheWorldFramesOffTheirGrid) {
  const PlayedRun original = Play(false, 60, 0);
  const PlayedRun smooth = Play(true, 144, 3);
  for (size_t i = 0; i < smooth.worlds.size(); ++i) {
    EXPECT_EQ(smooth.frameTimes[i], 100000u + 22u * static_cast<uint32_t>(i + 1)) << "frame " << i;
    // The motion a frame takes is whatever the mouse made by then, so only the times
    // are compared here; without jitter the worlds are the same (above).
  }
  EXPECT_EQ(original.frameTimes.back(), 100000u + 22u * 120u);

  // A world frame that comes too late for its own time still shows one picture, and
  // the next frame is counted from it (the lost time is not made up).
  const size_t before = pictures.size();
  lastFrameTime = HeadlessTime() - 100;
  RunFrame();
  EXPECT_EQ(pictures.size(), before + 1);
  EXPECT_EQ(lastFrameTime, HeadlessTime());
}

double ShotJudder(bool smooth, int refresh, bool slow = false) {
  StartPlaying(200000, smooth, refresh, 0);
  SetMouseSpeed(0);
  LaunchStraightShot();
  // The right button held: slow motion, the world updating on one frame in three.
  HeadlessSetKey(VK_RBUTTON, slow);
  trackedSlot = 0;
  for (int frame = 0; frame < 40; ++frame) RunFrame();
  trackedSlot = -1;
  HeadlessSetKey(VK_RBUTTON, false);
  return JudderIndex(refresh, 200000 + 5 * 22, 200000 + 38 * 22, 1.5);
}

TEST_F(Pacing, AShotFlyingStraightMovesEvenlyOnEveryDisplay) {
  for (int refresh : {60, 75, 120, 144}) {
    const double smooth = ShotJudder(true, refresh), original = ShotJudder(false, refresh);
    const double p = 1000.0 / 22.0 / refresh;
    EXPECT_GE(smooth, 0.0);
    EXPECT_LE(smooth, 0.05) << refresh << " Hz";
    // The original steps by a whole frame's move or not at all, as the theory says.
    EXPECT_NEAR(original, std::sqrt((1 - p) / p), 0.08) << refresh << " Hz";
  }
  // In slow motion the pictures spread each update's move over its 66 ms.
  for (int refresh : {60, 144}) {
    const double slow = ShotJudder(true, refresh, true);
    EXPECT_GE(slow, 0.0);
    EXPECT_LE(slow, 0.05) << refresh << " Hz, slow motion";
    EXPECT_GT(ShotJudder(false, refresh, true), 1.0) << refresh << " Hz, slow motion, original";
  }
}

// Where wake-ups come late (the fallback clock of a display without a retrace), a
// picture shows the moment of the refresh it is really shown at: the first refresh of
// the picture clock at or after it is presented, never one already gone. So a shot
// flying straight, and the hand swept steadily, still move evenly on the display.
std::vector<std::pair<double, double>> presented;   // when presented, the moment shown

void NotePresented(const SceneMoment &m) {
  Observe(m);
  // Between updates of a straight flight, 22 ms apart, the newest due at lastFrameTime.
  presented.push_back({static_cast<double>(timeGetTime()), lastFrameTime + m.fraction * 22.0});
}

TEST_F(Pacing, WithLateWakeUpsEachPictureShowsTheRefreshItIsShownAt) {
  for (int refresh : {60, 75, 144}) {
    StartPlaying(400000, true, refresh, 3);
    LaunchStraightShot();
    trackedSlot = 0;
    presented.clear();
    pictureObserver = NotePresented;
    for (int frame = 0; frame < 40; ++frame) RunFrame();
    trackedSlot = -1;
    for (const auto &[at, moment] : presented) {
      if (at < 400000 + 3 * 22) continue;   // the clock's first frames
      EXPECT_NEAR(moment, at + 500.0 / refresh, 500.0 / refresh + 1e-3) << refresh << " Hz, presented at " << at;
    }
    EXPECT_NEAR(JudderIndex(refresh, 400000 + 5 * 22, 400000 + 38 * 22, 1.5), 0.05, 0.05) << refresh << " Hz";

    StartPlaying(500000, true, refresh, 3);
    game.Player.x = 60.0f;
    SetMouseSpeed(1000);
    for (int frame = 0; frame < 30; ++frame) {
      RunFrame();
      for (Enemy &e : game.EnemyTable) e.hp = 0;   // nothing in the hand's way
    }
    SetMouseSpeed(0);
    EXPECT_NEAR(JudderIndex(refresh, 500000 + 12 * 22, 500000 + 29 * 22, 1.5), 0.025, 0.025) << refresh << " Hz, hand";
  }
}

TEST_F(Pacing, TheHandLeadsSoAMouseMoveIsShownWithinARefresh) {
  for (int refresh : {60, 144}) {
    const double period = 1000.0 / refresh;
    double worst = 0.0;
    for (int offset = 1; offset < 22; offset += 3) {
      StartPlaying(300000, true, refresh, 0);
      for (int frame = 0; frame < 3; ++frame) RunFrame();
      const double before = pictures.back().x;
      motionAt = lastFrameTime + static_cast<DWORD>(offset);
      for (int frame = 0; frame < 3; ++frame) RunFrame();
      // The first picture drawn with the hand moved, and the retrace that shows it.
      double drawn = -1.0;
      for (const Picture &p : pictures)
        if (p.time >= motionAt && p.x != before) {
          drawn = p.time;
          break;
        }
      ASSERT_GE(drawn, 0.0) << "the move never showed";
      const double shown = std::ceil((drawn - 1.5) / period) * period + 1.5;
      worst = std::max(worst, shown - motionAt);
    }
    EXPECT_LE(worst, period + 2.0) << refresh << " Hz";
  }
}

}  // namespace
