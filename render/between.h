// The picture between two world updates: where each thing of the world is drawn a
// fraction of the way from the update before to the newest one, so the picture moves
// at the display's rate while the world keeps its 22 ms frames. Only a slot that holds
// the same thing in both worlds is blended; anything that appeared or vanished is drawn
// as the newest world has it. Nothing here changes either world: each function hands
// back the slot as it is drawn, a copy of its own.
#pragma once
#include "world/world.h"

// A moment between two updates: the things of `previous` on their way to `newest`, and
// where the hand is drawn (see LeadingHand). The HUD and the texts are the newest's.
struct SceneMoment {
  const World *previous;
  const World *newest;
  float fraction;   // 0 draws previous's things, 1 the newest's; kept within 0 to 1
  SwordPoint hand;
};

// The moment of one world alone: the picture the game draws after an update.
SceneMoment MomentOf(const World &world);

// Headings take the short way round: from just under a half turn to just over minus a
// half turn is a small turn across the half turn, not nearly a whole one back.
float HeadingBetween(float previous, float newest, float fraction);

// The same ship or shot: live in both, its type unchanged and one update older.
bool SameEnemy(const Enemy &previous, const Enemy &newest);
// The same particle: live in both, the same sprite, its fade moved by one step and its
// position by its velocity (a freed slot taken again in the same update is not).
bool SameParticle(const Particle &previous, const Particle &newest);
// The same spark: live in both, its fade moved by its step and its trace shifted by one.
bool SameEffect(const Effect &previous, const Effect &newest);

Enemy EnemyBetween(const Enemy &previous, const Enemy &newest, float fraction);
Particle ParticleBetween(const Particle &previous, const Particle &newest, float fraction);
Effect EffectBetween(const Effect &previous, const Effect &newest, float fraction);

// Where the hand is drawn a fraction of the way to the next update, with the mouse
// motion (mx, my) the world has not taken yet: the newest hand plus fraction x half its
// velocity plus half the motion, held within the playfield as the update holds it. It
// is the update's own velocity rule taken pro rata, so at 0 with no motion it is the
// newest hand, and with the whole frame's motion at 1 it is where the update puts it.
// Outside a game (nothing moves the hand) it is the newest hand.
SwordPoint LeadingHand(const World &newest, float fraction, double mx, double my);

// ---- Smooth pacing's moments --------------------------------------------------------
// The two updates the pictures between frames are drawn from, as smooth pacing keeps
// them from frame to frame: the world before the newest update, when the frame that
// made the newest update was due, and how long after it the next update is due (a
// frame, or in slow motion up to three). The game's pacing and the replay runner's
// pictures between frames keep one each, so both draw the same moment the same way.
struct UpdatePair {
  World previous;
  bool havePrevious = false;
  double newestTime = 0.0;   // ms on the pacing's clock
  double span = 22.0;        // ms
};

// Notes a frame that stepped `before` into `after`, due at `time` (ms). A frame that
// updated the world (anything of the hand or the tables moved) makes `before` the
// previous update; one that did not (a slow-motion frame between updates, the end
// screens) keeps the pair. The first frame noted always counts. Both worlds are
// compared byte for byte, padding too, so `before` is best a memcpy of the world.
void NoteFrame(UpdatePair &pair, const World &before, const World &after, double time);

// The picture at `when` (ms on the same clock), `newest` being the world after the
// last frame noted: its things the fraction of the span since the newest update of the
// way from the previous update to it, and the hand led by the mouse motion (mx, my)
// the world has not taken yet, all of it (see LeadingHand). Before a previous update
// is known it is `newest` alone, the hand led.
SceneMoment MomentAt(const UpdatePair &pair, const World &newest, double when, double mx, double my);
