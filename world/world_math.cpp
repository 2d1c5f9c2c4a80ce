// Sine, cosine and arctangent for the game world, the same bits on every platform.
//
// Every value is carried as a double-double (an unevaluated sum hi + lo, about 106
// bits) and rounded to a double once at the end. Only +, -, *, / of IEEE doubles are
// used, each rounded to nearest, so the result depends on nothing but the inputs: this
// file is built without contraction into fused multiply-adds, and refuses to build
// where doubles are evaluated in wider registers or under fast-math.
//
// Sine and cosine: the argument is reduced exactly, r = x - k*pi/2 with |r| <= pi/4,
// using 2/pi to 1400 bits (so the reduction is right for every double, however large),
// then the Taylor series of sin r and cos r are summed as nested products.
// Arctangent: the quotient t <= 1 of the smaller coordinate by the larger is moved next
// to the nearest j/16, atan t = atan(j/16) + atan((t - j/16) / (1 + t*j/16)), and the
// remainder, at most 1/32, goes into its Taylor series.
//
// The constants come from tools/world_math_tables.py.
#include "world/world_math.h"

#include <cmath>
#include <cstdint>

#if defined(__FAST_MATH__)
#error "world_math.cpp needs IEEE rounding of every operation: build it without fast-math"
#endif
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "world_math.cpp needs doubles evaluated as doubles (SSE2, not x87)"
#endif

namespace {

struct DD {
  double hi;
  double lo;
};

// a + b exactly, for any a and b.
constexpr DD TwoSum(double a, double b) {
  double s = a + b;
  double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, when |a| >= |b| (or a is zero).
constexpr DD FastTwoSum(double a, double b) {
  double s = a + b;
  return {s, b - (s - a)};
}

// a * b exactly, by splitting both into halves of 26 bits (no fused multiply-add).
constexpr DD TwoProd(double a, double b) {
  constexpr double kSplitter = 134217729.0;   // 2^27 + 1
  double ca = kSplitter * a;
  double ah = ca - (ca - a);
  double al = a - ah;
  double cb = kSplitter * b;
  double bh = cb - (cb - b);
  double bl = b - bh;
  double p = a * b;
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

constexpr DD Add(DD a, DD b) {
  DD s = TwoSum(a.hi, b.hi);
  DD t = TwoSum(a.lo, b.lo);
  s = FastTwoSum(s.hi, s.lo + t.hi);
  return FastTwoSum(s.hi, s.lo + t.lo);
}

constexpr DD Add(DD a, double b) {
  DD s = TwoSum(a.hi, b);
  return FastTwoSum(s.hi, s.lo + a.lo);
}

constexpr DD Neg(DD a) { return {-a.hi, -a.lo}; }

constexpr DD Mul(DD a, DD b) {
  DD p = TwoProd(a.hi, b.hi);
  return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

constexpr DD Mul(DD a, double b) {
  DD p = TwoProd(a.hi, b);
  return FastTwoSum(p.hi, p.lo + a.lo * b);
}

constexpr DD Div(DD a, double b) {
  double q1 = a.hi / b;
  DD p = TwoProd(q1, b);
  double r = ((a.hi - p.hi) - p.lo) + a.lo;
  return FastTwoSum(q1, r / b);
}

constexpr DD Div(DD a, DD b) {
  double q1 = a.hi / b.hi;
  DD r = Add(a, Neg(Mul(b, q1)));
  double q2 = r.hi / b.hi;
  r = Add(r, Neg(Mul(b, q2)));
  double q3 = r.hi / b.hi;
  return Add(FastTwoSum(q1, q2), q3);
}

constexpr DD kPi = {0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
constexpr DD kHalfPi = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kThreeQuarterPi = 0x1.2d97c7f3321d2p+1;   // both nearest doubles
constexpr double kQuarterPi = 0x1.921fb54442d18p-1;

// The bits of 2/pi after the binary point, 32 at a time: enough for the exponent of
// the largest double plus the 256 bits the reduction below reads past it.
constexpr uint32_t kTwoOverPi[] = {
    0xa2f9836e, 0x4e441529, 0xfc2757d1, 0xf534ddc0, 0xdb629599, 0x3c439041, 0xfe5163ab, 0xdebbc561,
    0xb7246e3a, 0x424dd2e0, 0x06492eea, 0x09d1921c, 0xfe1deb1c, 0xb129a73e, 0xe88235f5, 0x2ebb4484,
    0xe99c7026, 0xb45f7e41, 0x3991d639, 0x835339f4, 0x9c845f8b, 0xbdf9283b, 0x1ff897ff, 0xde05980f,
    0xef2f118b, 0x5a0a6d1f, 0x6d367ecf, 0x27cb09b7, 0x4f463f66, 0x9e5fea2d, 0x7527bac7, 0xebe5f17b,
    0x3d0739f7, 0x8a5292ea, 0x6bfb5fb1, 0x1f8d5d08, 0x56033046, 0xfc7b6bab, 0xf0cfbc20, 0x9af4361d,
    0xa9e39161, 0x5ee61b08, 0x6599855f, 0x14a06840,
};
constexpr int kWindowWords = 8;   // words of 2/pi multiplied with the argument

// An argument reduced by whole quarter turns: x = k*pi/2 + r, |r| <= pi/4.
struct Reduced {
  DD r;
  unsigned quadrant;   // k mod 4
};

// Reduces a finite x >= pi/4. x = m * 2^e with m a 53-bit integer; the words of 2/pi
// that would only add multiples of 4 to x*2/pi are skipped, the next eight are
// multiplied with m exactly, and from that product the two bits before the binary
// point give k mod 4 and the 192 bits after it give the fraction, rounded to the
// nearest whole number. A double comes within 2^-62 of a multiple of pi/2 at the
// closest, so more than 128 good bits of the fraction remain.
Reduced ReduceLarge(double x) {
  int exponent = 0;
  double mantissa = std::frexp(x, &exponent);   // x = mantissa * 2^exponent, mantissa in [0.5, 1)
  const uint64_t m = static_cast<uint64_t>(std::ldexp(mantissa, 53));
  const int e = exponent - 53;
  const int first = e >= 2 ? (e - 2) / 32 : 0;
  const uint32_t mw[2] = {static_cast<uint32_t>(m), static_cast<uint32_t>(m >> 32)};
  uint32_t w[kWindowWords];
  for (int i = 0; i < kWindowWords; ++i) w[i] = kTwoOverPi[first + kWindowWords - 1 - i];

  uint32_t p[kWindowWords + 2] = {};
  for (int a = 0; a < 2; ++a) {
    uint64_t carry = 0;
    for (int i = 0; i < kWindowWords; ++i) {
      uint64_t t = static_cast<uint64_t>(mw[a]) * w[i] + p[a + i] + carry;
      p[a + i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    p[a + kWindowWords] = static_cast<uint32_t>(carry);
  }
  // The product carries 32*(first+8) - e bits after the binary point.
  const int point = 32 * (first + kWindowWords) - e;
  auto bits = [&](int pos, int count) {   // count <= 32 bits of the product from bit pos up
    const int word = pos >> 5;
    const int shift = pos & 31;
    uint64_t v = p[word];
    if (word + 1 < kWindowWords + 2) v |= static_cast<uint64_t>(p[word + 1]) << 32;
    return static_cast<uint32_t>((v >> shift) & ((uint64_t{1} << count) - 1));
  };
  unsigned quadrant = bits(point, 2);
  uint32_t f[6];   // the fraction, most significant word first
  for (int i = 0; i < 6; ++i) f[i] = bits(point - 32 * (i + 1), 32);
  bool negative = (f[0] >> 31) != 0;
  if (negative) {   // fraction above one half: take the next whole number, subtract
    ++quadrant;
    uint64_t borrow = 1;   // two's complement of the 192-bit fraction
    for (int i = 5; i >= 0; --i) {
      uint64_t v = static_cast<uint64_t>(static_cast<uint32_t>(~f[i])) + borrow;
      f[i] = static_cast<uint32_t>(v);
      borrow = v >> 32;
    }
  }
  DD fraction = TwoSum(std::ldexp(static_cast<double>(f[0]), -32), std::ldexp(static_cast<double>(f[1]), -64));
  for (int i = 2; i < 6; ++i) fraction = Add(fraction, std::ldexp(static_cast<double>(f[i]), -32 * (i + 1)));
  DD r = Mul(fraction, kHalfPi);
  return {negative ? Neg(r) : r, quadrant & 3u};
}

// sin r = r (1 - r^2/(2*3) (1 - r^2/(4*5) (1 - ...))), fifteen levels deep for
// |r| <= pi/4 (the first term left out is below 2^-115 of the sum); the rounding of the
// levels from the tenth inward weighs less than 2^-58 of the result, so doubles carry them.
DD SinReduced(DD r) {
  DD z = Mul(r, r);
  double inner = 1.0;
  for (int n = 15; n >= 10; --n) inner = 1.0 - z.hi * inner / (2.0 * n * (2 * n + 1));
  DD s = {inner, 0.0};
  for (int n = 9; n >= 1; --n) s = Add(Neg(Div(Mul(z, s), 2.0 * n * (2 * n + 1))), 1.0);
  return Mul(r, s);
}

// cos r = 1 - r^2/(1*2) (1 - r^2/(3*4) (1 - ...)), likewise.
DD CosReduced(DD r) {
  DD z = Mul(r, r);
  double inner = 1.0;
  for (int n = 15; n >= 10; --n) inner = 1.0 - z.hi * inner / ((2.0 * n - 1) * (2 * n));
  DD c = {inner, 0.0};
  for (int n = 9; n >= 1; --n) c = Add(Neg(Div(Mul(z, c), (2.0 * n - 1) * (2 * n))), 1.0);
  return c;
}

// Below this, sin x rounds to x and cos x to 1.
constexpr double kTiny = 0x1p-27;

Reduced Reduce(double ax) {
  if (ax <= 0.785) return {{ax, 0.0}, 0};
  return ReduceLarge(ax);
}

// atan(j/16) for j = 0..16.
constexpr DD kAtanSixteenths[17] = {
    {0.0, 0.0},
    {0x1.ff55bb72cfdeap-5, -0x1.c934d86d23f1dp-60},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59},
    {0x1.7b97b4bce5b02p-3, 0x1.347b0b4f881cap-58},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57},
    {0x1.362773707ebccp-2, -0x1.963a544b672d8p-57},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56},
    {0x1.a64eec3cc23fdp-2, -0x1.24dec1b50b7ffp-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56},
    {0x1.0657e94db30d0p-1, -0x1.d5b495f6349e6p-56},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58},
    {0x1.345f01cce37bbp-1, 0x1.1021137c71102p-55},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56},
    {0x1.5d58987169b18p-1, 0x1.0028e4bc5e7cap-57},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56},
    {0x1.819d0b7158a4dp-1, -0x1.bf76229d3b917p-56},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
};

// (-1)^k / (2k+1) for the five leading terms of the arctangent series.
constexpr DD kAtanTerms[5] = {
    {1.0, 0.0},
    Neg(Div(DD{1.0, 0.0}, 3.0)),
    Div(DD{1.0, 0.0}, 5.0),
    Neg(Div(DD{1.0, 0.0}, 7.0)),
    Div(DD{1.0, 0.0}, 9.0),
};

// atan t for 0 <= t <= 1.
DD AtanUnit(DD t) {
  const int j = static_cast<int>(t.hi * 16.0 + 0.5);
  const double c = j / 16.0;
  DD u = Div(Add(t, -c), Add(Mul(t, c), 1.0));   // |u| <= 1/32
  DD z = Mul(u, u);
  // Terms from u^11 on are below 2^-53 of the sum: doubles carry them.
  double tail = 0.0;
  for (int k = 11; k >= 5; --k) tail = ((k & 1) ? -1.0 : 1.0) / (2 * k + 1) + z.hi * tail;
  DD series = {tail, 0.0};
  for (int k = 4; k >= 0; --k) series = Add(Mul(z, series), kAtanTerms[k]);
  return Add(kAtanSixteenths[j], Mul(u, series));
}

}  // namespace

WorldMathObserver worldMathObserver = nullptr;

double WorldSin(double x) {
  if (worldMathObserver != nullptr) worldMathObserver('s', x, 0.0);
  if (!std::isfinite(x)) return x - x;   // not a number
  double ax = std::fabs(x);
  if (ax < kTiny) return x;
  Reduced red = Reduce(ax);
  DD v = (red.quadrant & 1u) ? CosReduced(red.r) : SinReduced(red.r);
  double result = (red.quadrant & 2u) ? -v.hi : v.hi;
  return x < 0.0 ? -result : result;
}

double WorldCos(double x) {
  if (worldMathObserver != nullptr) worldMathObserver('c', x, 0.0);
  if (!std::isfinite(x)) return x - x;
  double ax = std::fabs(x);
  if (ax < kTiny) return 1.0;
  Reduced red = Reduce(ax);
  DD v = (red.quadrant & 1u) ? SinReduced(red.r) : CosReduced(red.r);
  return (red.quadrant == 1u || red.quadrant == 2u) ? -v.hi : v.hi;
}

double WorldAtan2(double y, double x) {
  if (worldMathObserver != nullptr) worldMathObserver('a', y, x);
  if (std::isnan(x) || std::isnan(y)) return x + y;
  const bool yNegative = std::signbit(y);
  const bool xNegative = std::signbit(x);
  const double ay = std::fabs(y);
  const double ax = std::fabs(x);
  double angle;   // the angle for |y|, then given the sign of y
  if (ay == 0.0) {
    angle = xNegative ? kPi.hi : 0.0;
  } else if (std::isinf(ax)) {
    angle = std::isinf(ay) ? (xNegative ? kThreeQuarterPi : kQuarterPi) : (xNegative ? kPi.hi : 0.0);
  } else if (ax == 0.0 || std::isinf(ay)) {
    angle = kHalfPi.hi;
  } else {
    // t = small / large <= 1; the angle is atan t, or pi/2 - atan t past the diagonal.
    const bool steep = ay > ax;
    const double small = steep ? ax : ay;
    const double large = steep ? ay : ax;
    DD theta;
    const int shift = std::ilogb(large);
    if (std::ilogb(small) - shift < -60) {
      // atan t = t (1 - t^2/3 ...) rounds as t itself, however it is then used.
      theta = {small / large, 0.0};
    } else {
      // Scaled to the same exponent near 1, the quotient's products stay exact.
      const double scaledSmall = std::ldexp(small, -shift);
      const double scaledLarge = std::ldexp(large, -shift);
      theta = AtanUnit(Div(DD{scaledSmall, 0.0}, scaledLarge));
    }
    if (steep) theta = Add(kHalfPi, Neg(theta));
    if (xNegative) theta = Add(kPi, Neg(theta));
    angle = theta.hi;
  }
  return yNegative ? -angle : angle;
}
