// Scaling the person's mouse motion by the sensitivity (see mouse_motion.h).
#include "app/mouse_motion.h"

#include <cmath>

MouseMotionScale mouseMotion;

namespace {

// The whole pixels of one axis, toward zero, with what is left kept in `carry`. A
// motion so large it could not be a mouse's is held to a million pixels.
int TakeWhole(int motion, double sensitivity, double &carry) {
  double scaled = motion * sensitivity + carry;
  if (!std::isfinite(scaled)) scaled = 0.0;
  scaled = std::fmax(-1e6, std::fmin(1e6, scaled));
  const double whole = std::trunc(scaled);
  carry = scaled - whole;
  return static_cast<int>(whole);
}

}  // namespace

void MouseMotionScale::Apply(int &dx, int &dy) {
  if (sensitivity == 1.0 && carryX == 0.0 && carryY == 0.0) return;
  dx = TakeWhole(dx, sensitivity, carryX);
  dy = TakeWhole(dy, sensitivity, carryY);
}
