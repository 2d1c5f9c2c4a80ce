// The sound library's own mixer, the one the Windows library plays through: the voices
// of an effect and which one a fourth play takes, the level curve, the summing and
// clipping of voices, the looped slot, and reloading a slot while it plays.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ezds/mixer.h"

namespace {

// A stereo sound of `frames` frames, every sample `value`.
std::vector<int16_t> Constant(size_t frames, int16_t value) { return std::vector<int16_t>(frames * 2, value); }

std::vector<int16_t> Render(Mixer &mixer, size_t frames) {
  std::vector<int16_t> out(frames * 2, 1234);
  MixerRender(mixer, out.data(), frames);
  return out;
}

TEST(EzdsMixer, LevelsFollowTheDecibelCurve) {
  EXPECT_EQ(EffectVolume(100), MixerMaxVolume);
  EXPECT_EQ(EffectVolume(127), MixerMaxVolume);
  EXPECT_EQ(EffectVolume(0), 0);
  EXPECT_EQ(EffectVolume(-5), 0);
  // 0.3 dB a step: 90 is -3 dB (71 %), 65 is -10.5 dB (30 %).
  EXPECT_EQ(EffectVolume(90), int(std::lround(128 * 0.70795)));
  EXPECT_EQ(EffectVolume(65), int(std::lround(128 * 0.29854)));
  for (int level = 1; level < 100; ++level) EXPECT_LE(EffectVolume(level), EffectVolume(level + 1)) << level;
}

TEST(EzdsMixer, ThreeVoicesPerEffectAndTheOldestStartsOver) {
  Mixer mixer;
  ASSERT_TRUE(MixerSetSound(mixer, 4, Constant(1000, 100)));
  EXPECT_EQ(MixerPlay(mixer, 4, 100), 12);
  EXPECT_EQ(MixerPlay(mixer, 4, 100), 13);
  EXPECT_EQ(MixerPlay(mixer, 4, 100), 14);
  Render(mixer, 10);
  // All three busy: the fourth play takes the first voice and starts it from the top.
  EXPECT_EQ(MixerPlay(mixer, 4, 100), 12);
  EXPECT_EQ(mixer.voices[12].frame, 0u);
  EXPECT_EQ(mixer.voices[13].frame, 10u);
  EXPECT_EQ(MixerPlay(mixer, 4, 100), 13);
  // Another effect has voices of its own.
  ASSERT_TRUE(MixerSetSound(mixer, 5, Constant(1000, 100)));
  EXPECT_EQ(MixerPlay(mixer, 5, 100), 15);
  // A voice that played to its end is free again, before the older busy ones.
  Mixer short_;
  MixerSetSound(short_, 0, Constant(5, 100));
  MixerSetSound(short_, 1, Constant(50, 100));
  EXPECT_EQ(MixerPlay(short_, 0, 100), 0);
  EXPECT_EQ(MixerPlay(short_, 0, 100), 1);
  Render(short_, 5);
  EXPECT_EQ(short_.voices[0].sound, nullptr);
  EXPECT_EQ(MixerPlay(short_, 0, 100), 0);
}

TEST(EzdsMixer, NothingPlaysForEmptySlotsBadIdsOrSilentLevels) {
  Mixer mixer;
  EXPECT_EQ(MixerPlay(mixer, 2, 100), -1);
  MixerSetSound(mixer, 2, Constant(10, 100));
  EXPECT_EQ(MixerPlay(mixer, 2, 0), -1);
  EXPECT_EQ(MixerPlay(mixer, -1, 100), -1);
  EXPECT_EQ(MixerPlay(mixer, MixerEffectSlots, 100), -1);
  EXPECT_FALSE(MixerSetSound(mixer, MixerEffectSlots, Constant(10, 1)));
  EXPECT_FALSE(MixerSetSound(mixer, -2, Constant(10, 1)));
  for (int16_t s : Render(mixer, 8)) EXPECT_EQ(s, 0);
}

TEST(EzdsMixer, VoicesAreScaledSummedAndClipped) {
  Mixer mixer;
  MixerSetSound(mixer, 0, Constant(4, 1000));
  MixerSetSound(mixer, 1, Constant(4, -30000));
  MixerPlay(mixer, 0, 100);
  MixerPlay(mixer, 0, 90);
  std::vector<int16_t> out = Render(mixer, 6);
  const int quieter = 1000 * EffectVolume(90) / MixerMaxVolume;
  EXPECT_EQ(out[0], 1000 + quieter);
  EXPECT_EQ(out[7], 1000 + quieter);
  EXPECT_EQ(out[8], 0);  // both ended after four frames: silence, not stale samples
  EXPECT_EQ(out[11], 0);
  MixerPlay(mixer, 1, 100);
  MixerPlay(mixer, 1, 100);
  out = Render(mixer, 2);
  EXPECT_EQ(out[0], -32768);
  EXPECT_EQ(out[3], -32768);
}

TEST(EzdsMixer, TheLoopRepeatsChangesLevelAndStops) {
  Mixer mixer;
  MixerLoop(mixer, true, 100);  // nothing loaded: nothing plays
  EXPECT_EQ(mixer.voices[MixerLoopVoice].sound, nullptr);
  std::vector<int16_t> ramp = {1, 1, 2, 2, 3, 3};
  MixerSetSound(mixer, -1, std::move(ramp));
  MixerLoop(mixer, true, 100);
  std::vector<int16_t> out = Render(mixer, 7);
  const int expected[] = {1, 2, 3, 1, 2, 3, 1};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(out[2 * i], expected[i]) << i;
  MixerLoop(mixer, true, 0);  // a level change only: the loop keeps its place
  EXPECT_EQ(mixer.voices[MixerLoopVoice].frame, 1u);
  MixerLoop(mixer, false, 100);
  for (int16_t s : Render(mixer, 3)) EXPECT_EQ(s, 0);
}

TEST(EzdsMixer, ReloadingASlotStopsItsVoicesAndClearEmptiesAll) {
  Mixer mixer;
  MixerSetSound(mixer, 3, Constant(100, 500));
  MixerSetSound(mixer, 6, Constant(100, 7));
  MixerPlay(mixer, 3, 100);
  MixerPlay(mixer, 6, 100);
  MixerSetSound(mixer, 3, Constant(3, 9));  // an odd sample count keeps whole frames only
  std::vector<int16_t> half = {1, 2, 3};
  MixerSetSound(mixer, 7, std::move(half));
  EXPECT_EQ(mixer.effects[7].size(), 2u);
  EXPECT_EQ(mixer.voices[9].sound, nullptr);
  EXPECT_EQ(Render(mixer, 1)[0], 7);  // only effect 6 still sounds
  MixerClear(mixer);
  EXPECT_EQ(MixerPlay(mixer, 6, 100), -1);
  for (int16_t s : Render(mixer, 2)) EXPECT_EQ(s, 0);
}

}  // namespace
