// The built-in player: it plays a game the way a person at the mouse would, one frame
// input at a time (the mouse's motion, at most 60 pixels per axis, and the buttons),
// from the title screen to the end. It reads the world to decide and never writes it:
// it tries a few dozen motions on copies of the world, some updates ahead each, and
// takes the first move of the one that keeps the shield and cuts the most.
// The replay runner's --play, the whole-game tests and `quillrun --demo` all use it.
#pragma once
#include "world/step.h"
#include "world/world.h"

// The most a hand moves the mouse in one frame, per axis.
constexpr int PlayerMotionLimit = 60;

class BuiltInPlayer {
public:
  // randomGame: which game it starts from the title screen (right button) or the
  // normal one (left button).
  explicit BuiltInPlayer(bool randomGame = false) : randomGame_(randomGame) {}

  // The input for the coming frame, decided from the world as it stands. Allocates
  // nothing; the look-ahead worlds are the player's own.
  FrameInput Decide(const World &world);

private:
  // A short swing: the first motion (the one played), then a second motion kept for
  // `hold` frames with the same button, then the hand let coast with nothing held.
  struct Candidate {
    int dx;
    int dy;
    bool left;
    int dx2;
    int dy2;
    int hold;
  };

  double Try(const Candidate &candidate);

  bool randomGame_;
  World start_;   // the world to decide on, without its particles and sparks
  World trial_;   // the copy one candidate is played out on
  FrameReport report_;
  int target_ = -1;   // the enemy slot the hand is after, or -1
};
