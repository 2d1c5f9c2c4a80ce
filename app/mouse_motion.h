// The person's mouse motion as the world takes it: scaled by the sensitivity and handed
// on in whole pixels, with the fraction carried to the next frame, so a slow move at a
// low sensitivity still adds up instead of being lost. The world (and so a recording)
// sees only the whole pixels it took, so replays do not depend on the setting.
#pragma once

struct MouseMotionScale {
  static constexpr double Lowest = 0.25;
  static constexpr double Highest = 4.0;

  double sensitivity = 1.0;
  double carryX = 0.0, carryY = 0.0;   // the parts of a pixel not yet handed on

  // Scales one frame's motion in place. At sensitivity 1 the motion is unchanged.
  void Apply(int &dx, int &dy);
  // Drops the carried fractions (a new game, the pointer grabbed again).
  void Forget() { carryX = carryY = 0.0; }
};

// The shell's one scale, set from the command line.
extern MouseMotionScale mouseMotion;
