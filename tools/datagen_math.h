// Arithmetic for the data generator that gives the same bits on every machine: the
// host maths library may round its transcendental functions differently from one
// version to the next, so sine, exponent, logarithm and arc tangent are our own
// polynomials built on +, *, / and sqrt alone. The noise comes from a seeded hash.
#pragma once
#include <cmath>
#include <cstdint>

namespace gen {

constexpr double kPi = 3.14159265358979323846;

inline double Sin(double x) {
  // Reduce to [-pi/4, pi/4] around a multiple of pi/2, then a Taylor polynomial.
  double k = std::floor(x / (kPi / 2) + 0.5);
  double r = (x - k * (kPi / 2));
  int quadrant = int(k - 4.0 * std::floor(k / 4.0));
  double r2 = r * r;
  double s = r * (1 - r2 / 6 * (1 - r2 / 20 * (1 - r2 / 42 * (1 - r2 / 72 * (1 - r2 / 110)))));
  double c = 1 - r2 / 2 * (1 - r2 / 12 * (1 - r2 / 30 * (1 - r2 / 56 * (1 - r2 / 90 * (1 - r2 / 132)))));
  switch (quadrant) {
    case 0: return s;
    case 1: return c;
    case 2: return -s;
    default: return -c;
  }
}
inline double Cos(double x) { return Sin(x + kPi / 2); }

inline double Exp(double x) {
  if (x < -700) return 0;
  if (x > 700) x = 700;
  double k = std::floor(x / 0.6931471805599453 + 0.5);
  double r = x - k * 0.6931471805599453;
  double sum = 1, term = 1;
  for (int i = 1; i < 14; i++) {
    term *= r / i;
    sum += term;
  }
  return std::ldexp(sum, int(k));
}

inline double Log(double x) {
  if (x <= 0) return -1e300;
  int e;
  double m = std::frexp(x, &e);  // m in [0.5, 1)
  if (m < 0.70710678118654752) {
    m *= 2;
    e--;
  }
  double t = (m - 1) / (m + 1), t2 = t * t, sum = 0, power = t;
  for (int i = 1; i < 30; i += 2) {
    sum += power / i;
    power *= t2;
  }
  return 2 * sum + e * 0.6931471805599453;
}

inline double Pow(double x, double y) { return x <= 0 ? 0 : Exp(y * Log(x)); }

inline double Atan(double x) {
  bool invert = std::fabs(x) > 1;
  double t = invert ? 1 / x : x;
  // Two half-angle steps bring |t| under tan(pi/16), where the series converges fast.
  t = t / (1 + std::sqrt(1 + t * t));
  t = t / (1 + std::sqrt(1 + t * t));
  double t2 = t * t, sum = 0, power = t;
  for (int i = 1; i < 24; i += 2) {
    sum += (i % 4 == 1 ? power : -power) / i;
    power *= t2;
  }
  sum *= 4;
  if (invert) sum = (x > 0 ? kPi / 2 : -kPi / 2) - sum;
  return sum;
}

inline double Atan2(double y, double x) {
  if (x > 0) return Atan(y / x);
  if (x < 0) return y >= 0 ? Atan(y / x) + kPi : Atan(y / x) - kPi;
  if (y > 0) return kPi / 2;
  if (y < 0) return -kPi / 2;
  return 0;
}

inline float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline float Smooth(float e0, float e1, float v) {
  float t = Clamp01((v - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}
inline float Mix(float a, float b, float t) { return a + (b - a) * t; }

// A 32-bit integer hash (a few rounds of multiply and xor-shift).
inline uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// A small seeded generator for the sounds' noise and the art's scattered details.
struct Rng {
  uint32_t state;
  explicit Rng(uint32_t seed) : state(seed ? seed : 1) {}
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  double Unit() { return (Next() >> 8) * (1.0 / 16777216.0); }  // [0, 1)
  double Signed() { return Unit() * 2 - 1; }                      // [-1, 1)
};

// Smooth value noise on the plane, roughly in [0, 1]; seed picks the pattern.
inline float ValueNoise(float x, float y, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = int(fx), iy = int(fy);
  float tx = x - fx, ty = y - fy;
  auto corner = [&](int cx, int cy) {
    return (Hash(uint32_t(cx) * 0x9E3779B1u ^ Hash(uint32_t(cy) + seed * 0x85EBCA77u)) >> 8) *
           (1.0f / 16777216.0f);
  };
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  float a = Mix(corner(ix, iy), corner(ix + 1, iy), tx);
  float b = Mix(corner(ix, iy + 1), corner(ix + 1, iy + 1), tx);
  return Mix(a, b, ty);
}

// Three octaves of value noise, in [0, 1].
inline float Fbm(float x, float y, uint32_t seed) {
  return (ValueNoise(x, y, seed) * 4 + ValueNoise(x * 2.03f, y * 2.03f, seed + 1) * 2 +
          ValueNoise(x * 4.1f, y * 4.1f, seed + 2)) / 7;
}

}  // namespace gen
