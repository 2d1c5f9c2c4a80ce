// Screenshot names: the local time to the second, and a number for the second and later
// pictures of the same second, so no screenshot replaces another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "app/screenshot.h"

TEST(Screenshot, NamedByTheLocalTimeWithANumberForTheSameSecond) {
  setenv("TZ", "UTC0", 1);
  tzset();
  const std::time_t when = 1765186095;  // 2025-12-08 09:28:15 UTC
  EXPECT_EQ(ScreenshotName(when, 1), "quillrun-20251208-092815.png");
  EXPECT_EQ(ScreenshotName(when, 2), "quillrun-20251208-092815-2.png");
  EXPECT_EQ(ScreenshotName(when, 999), "quillrun-20251208-092815-999.png");
  EXPECT_NE(ScreenshotName(when + 1, 1), ScreenshotName(when, 1));
}
