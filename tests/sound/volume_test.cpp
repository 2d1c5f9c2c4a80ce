// The player's volume over the levels the game plays its effects at: full volume is
// exactly the game's level, no volume plays nothing, and every point in between takes
// one of the library's 0.3 dB steps off.
#include <gtest/gtest.h>

#include "sound/sound.h"

TEST(Volume, FullVolumeIsTheGamesOwnLevelEvenAtOrBelowSilence) {
  for (int level = -128; level <= 127; level++) {
    int out = 12345;
    ASSERT_TRUE(VolumeLevel(level, 100, &out)) << level;
    EXPECT_EQ(out, level);
  }
}

TEST(Volume, NoVolumePlaysNothing) {
  for (int level = -128; level <= 127; level++) {
    int out = 0;
    EXPECT_FALSE(VolumeLevel(level, 0, &out)) << level;
  }
}

TEST(Volume, EachPointIsOneLevelAndNothingAudibleIsPassedAsSilence) {
  for (int volume = 1; volume < 100; volume++) {
    int full = 0, lower = 0, higher = 0;
    ASSERT_TRUE(VolumeLevel(100, volume, &full)) << volume;
    EXPECT_EQ(full, volume);  // 100 - (100 - volume) levels, 0.3 dB each
    ASSERT_TRUE(VolumeLevel(100, volume + 1, &higher));
    EXPECT_EQ(higher - full, 1);
    // A quieter effect drops out once its level would reach the library's silence.
    const bool played = VolumeLevel(65, volume, &lower);
    EXPECT_EQ(played, volume > 35) << volume;
    if (played) {
      EXPECT_EQ(lower, volume - 35);
    }
  }
}
