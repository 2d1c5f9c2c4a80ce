// The world's sine, cosine and arctangent: the IEEE special cases, agreement with the
// host's C library on the arguments the world passes (headings and coordinate
// differences, all floats), and the nearest double where that library is off by one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "world/world_math.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

uint64_t Bits(double v) {
  uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

// Distance in doubles between two finite values of the same sign.
uint64_t UlpsApart(double a, double b) { return Bits(a) > Bits(b) ? Bits(a) - Bits(b) : Bits(b) - Bits(a); }

#define EXPECT_SAME_BITS(a, b) EXPECT_EQ(Bits(a), Bits(b)) << std::hexfloat << (a) << " vs " << (b)

TEST(WorldMath, SpecialValuesFollowIeee) {
  EXPECT_SAME_BITS(WorldSin(0.0), 0.0);
  EXPECT_SAME_BITS(WorldSin(-0.0), -0.0);
  EXPECT_EQ(WorldCos(-0.0), 1.0);
  EXPECT_SAME_BITS(WorldSin(-0x1p-30), -0x1p-30);
  EXPECT_EQ(WorldCos(0x1p-28), 1.0);
  for (double bad : {kInf, -kInf, kNaN}) {
    EXPECT_TRUE(std::isnan(WorldSin(bad)));
    EXPECT_TRUE(std::isnan(WorldCos(bad)));
  }
  const double pi = WorldAtan2(0.0, -1.0);
  EXPECT_SAME_BITS(pi, M_PI);
  const double cases[][2] = {{0.0, 1.0},   {-0.0, 1.0},  {0.0, -1.0}, {-0.0, -1.0}, {0.0, 0.0},  {-0.0, 0.0},
                             {0.0, -0.0},  {-0.0, -0.0}, {1.0, 0.0},  {-1.0, -0.0}, {kInf, 1.0}, {-kInf, -5.0},
                             {1.0, kInf},  {-1.0, kInf}, {1.0, -kInf}, {-1.0, -kInf}, {kInf, kInf}, {kInf, -kInf},
                             {-kInf, kInf}, {-kInf, -kInf}, {3.0, 3.0}, {-2.0, 2.0}, {1e-320, 1e300}, {-1e300, -1e-320},
                             {1e-320, -1e300}, {0x1p-1074, 0x1p-1074}, {1e308, 1e-308}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "atan2(" << c[0] << ", " << c[1] << ")");
    EXPECT_SAME_BITS(WorldAtan2(c[0], c[1]), std::atan2(c[0], c[1]));
  }
  EXPECT_TRUE(std::isnan(WorldAtan2(kNaN, 1.0)));
  EXPECT_TRUE(std::isnan(WorldAtan2(1.0, kNaN)));
}

// Every 512th float heading in [-16, 16] (about four million, angles the world can reach
// with room to spare): the same float as the host's library, and no more than one double
// apart where that library is not the nearest double.
TEST(WorldMath, HeadingsRoundToTheLibrarysFloats) {
  const uint32_t top = 0x41800000u;   // 16.0f
  int floatDiffs = 0;
  int farApart = 0;
  for (uint32_t u = 0; u <= top; u += 512) {
    for (float sign : {1.0f, -1.0f}) {
      float f;
      std::memcpy(&f, &u, sizeof f);
      const double x = sign * f;
      const double s = WorldSin(x), ls = std::sin(x);
      const double c = WorldCos(x), lc = std::cos(x);
      floatDiffs += static_cast<float>(s) != static_cast<float>(ls);
      floatDiffs += static_cast<float>(c) != static_cast<float>(lc);
      farApart += UlpsApart(s, ls) > 1 || UlpsApart(c, lc) > 1;
    }
  }
  EXPECT_EQ(floatDiffs, 0);
  EXPECT_EQ(farApart, 0);
}

// Coordinate differences on the playfield: whole, half and arbitrary float pixels, as the
// world aims from ships at the hand.
TEST(WorldMath, AimsRoundToTheLibrarysFloats) {
  int floatDiffs = 0;
  int farApart = 0;
  uint32_t state = 12345;
  auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  for (int i = 0; i < 1000000; ++i) {
    const uint32_t r = next();
    float dx, dy;
    if (i & 1) {
      dx = static_cast<float>(static_cast<int>(r % 3301) - 1650) * 0.5f;
      dy = static_cast<float>(static_cast<int>(next() % 2501) - 1250) * 0.5f;
    } else {
      dx = static_cast<float>(r) * (1700.0f / 4294967296.0f) - 850.0f;
      dy = static_cast<float>(next()) * (1300.0f / 4294967296.0f) - 650.0f;
    }
    const double a = WorldAtan2(dx, dy), la = std::atan2(static_cast<double>(dx), static_cast<double>(dy));
    floatDiffs += static_cast<float>(a) != static_cast<float>(la);
    farApart += UlpsApart(a, la) > 1;
  }
  EXPECT_EQ(floatDiffs, 0);
  EXPECT_EQ(farApart, 0);
}

// Where the host's library is half a unit off, the world's result is the nearest double
// (each worked out to 150 digits).
TEST(WorldMath, ResultsAreTheNearestDouble) {
  EXPECT_SAME_BITS(WorldSin(0x1.6691a6p-1), 0x1.49f7f96df3bcdp-1);
  EXPECT_SAME_BITS(WorldSin(0x1.6692c4p-1), 0x1.49f8d41cdece5p-1);
  EXPECT_SAME_BITS(WorldCos(0x1.f42f62p+9), 0x1.cd13c291d98bfp-3);
  EXPECT_SAME_BITS(WorldAtan2(265.5, 139.5), 0x1.1646c285b1d8dp+0);
  // Huge arguments need every bit of 2/pi.
  EXPECT_SAME_BITS(WorldSin(0x1.93ef3ep+99), 0x1.c3150c5645697p-2);
  EXPECT_SAME_BITS(WorldSin(1e22), -0x1.b453ab76bf397p-1);
}

// Arguments of every size, where the reduction by quarter turns reads deep into 2/pi.
TEST(WorldMath, LargeArgumentsStayWithinOneUnit) {
  uint64_t state = 99;
  int farApart = 0;
  for (int i = 0; i < 200000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const int exponent = static_cast<int>((state >> 40) % 1020);   // 2^0 .. 2^1019
    const double x = std::ldexp(1.0 + static_cast<double>(state >> 12) * 0x1p-52, exponent) * ((i & 1) ? -1 : 1);
    const double s = WorldSin(x), ls = std::sin(x);
    const double c = WorldCos(x), lc = std::cos(x);
    farApart += std::fabs(s - ls) > std::fabs(std::nextafter(ls, 2.0 * ls) - ls);
    farApart += std::fabs(c - lc) > std::fabs(std::nextafter(lc, 2.0 * lc) - lc);
  }
  EXPECT_EQ(farApart, 0);
}

}  // namespace
