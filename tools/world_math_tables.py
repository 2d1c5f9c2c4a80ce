#!/usr/bin/env python3
# Prints the constants of world/world_math.cpp (pi, 2/pi bit by bit, arctangents of j/16),
# all worked out here from integer and decimal arithmetic: run it to check or regenerate them.
from fractions import Fraction
BITS = 1600
ONE = 1 << BITS
def atan_inv(n):  # atan(1/n) in fixed point, Gregory series
    total = 0; term = ONE // n; k = 0; n2 = n * n
    while term:
        total += term // (2 * k + 1) if k % 2 == 0 else -(term // (2 * k + 1))
        term //= n2; k += 1
    return total
pi = 16 * atan_inv(5) - 4 * atan_inv(239)   # Machin
PI = Fraction(pi, ONE)
def to_double(fr):
    return float(fr)  # Fraction -> float is correctly rounded
def dd(fr):
    hi = to_double(fr); lo = to_double(fr - Fraction(hi)); return hi, lo
for name, v in [("Pi", PI), ("HalfPi", PI / 2)]:
    hi, lo = dd(v); print(name, hi.hex(), lo.hex())
print("ThreeQuarterPi", to_double(3 * PI / 4).hex(), "QuarterPi", to_double(PI / 4).hex())
# 2/pi as 32-bit words after the binary point
two_over_pi = (ONE * ONE * 2) // pi   # scaled by 2^BITS
words = []
for i in range(44):
    words.append((two_over_pi >> (BITS - 32 * (i + 1))) & 0xffffffff)
print("TwoOverPi", ", ".join("0x%08x" % w for w in words))
# atan(j/16) by halving then Taylor, with exact rationals kept in fixed point
from decimal import Decimal, getcontext
getcontext().prec = 140
def atan_dec(x):
    x = Decimal(x); halvings = 0
    while x > Decimal("0.05"):
        x = x / (1 + (1 + x * x).sqrt()); halvings += 1
    s = Decimal(0); term = x; k = 0; x2 = x * x
    while abs(term) > Decimal(10) ** -135:
        s += term / (2 * k + 1) * (1 if k % 2 == 0 else -1)
        term *= x2; k += 1
    return s * (2 ** halvings)
# cross-check: 4 atan(1) equals pi
assert abs(atan_dec(1) * 4 - Decimal(pi) / Decimal(ONE)) < Decimal(10) ** -120
for j in range(17):
    v = Fraction(atan_dec(Decimal(j) / 16))
    hi, lo = dd(v)
    print("Atan %d/16" % j, hi.hex(), lo.hex())
