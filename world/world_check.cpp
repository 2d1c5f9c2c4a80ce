// The world's invariants, checked field by field. The bounds are what the rules can
// reach from any input, with room to spare where a position depends on how hard the
// mouse was thrown; a value past them is a fault in the rules or a stray write, never
// a game played well or badly.
#include "world/world_check.h"

#include "world/step.h"

#include <cmath>
#include <cstdint>

namespace {

// Enemies and particles leave at the field's margin (-20 to 820, -20 to 620), but a
// shot fired into a lower slot, or a puff left where a ship was, can stand one move
// beyond it until the next update.
constexpr float FieldLeft = -100.0f, FieldRight = 900.0f, FieldTop = -100.0f, FieldBottom = 700.0f;
// A blade's tip reaches seven hand moves ahead of the hand, which stays on 10 to 790
// by 10 to 590; sparks fly off at most a few hundred pixels an update for the few dozen
// updates their fade lasts.
constexpr float TipReach = 7.0f * 800.0f + 800.0f;
constexpr float SparkReach = 20000.0f;
constexpr float SparkSpeed = 2000.0f;
// Beyond this a heading would no longer change by whole turns (the world wraps it back
// there itself).
constexpr float HeadingLimit = 1000.0f;
// The hand's velocity follows the mouse's motion, which is any 32-bit number.
constexpr float HandSpeedLimit = 4.5e9f;
constexpr int ParticleCells = 16;

WorldFault Fault(const char *table, int slot, const char *field) { return WorldFault{table, slot, field}; }

bool Within(float v, float low, float high) { return v >= low && v <= high; }   // false for NaN
bool OnField(float x, float y) { return Within(x, FieldLeft, FieldRight) && Within(y, FieldTop, FieldBottom); }
bool Near(float x, float y, float reach) { return Within(x, -reach, reach) && Within(y, -reach, reach); }
bool IsBossType(int type) { return type == 11 || type == 12 || type == 13 || type == 17; }

WorldFault CheckEnemy(const World &w, int slot) {
  const Enemy &e = w.EnemyTable[slot];
  if (e.hp <= 0) return {};   // a free slot: nothing else of it is read
  const char *t = "enemy";
  if (e.type < 0 || e.type >= EnemyTypes) return Fault(t, slot, "type outside the eighteen");
  if (e.hp > EnemyTypeInfo[e.type].hp) return Fault(t, slot, "hp above its type's");
  if (w.randomMode == 1 && IsBossType(e.type)) return Fault(t, slot, "type is a boss in a random game");
  if (e.age < 0) return Fault(t, slot, "age below 0");
  if (static_cast<uint32_t>(e.age) > w.frameCounter) return Fault(t, slot, "age above the frame count");
  if (e.param < 0 || e.param > 2) return Fault(t, slot, "param outside 0 to 2");
  if (!OnField(e.x, e.y)) return Fault(t, slot, "position off the field");
  if (!Within(e.angle, -HeadingLimit, HeadingLimit)) return Fault(t, slot, "angle not finite or running away");
  return {};
}

WorldFault CheckParticle(const World &w, int slot) {
  const Particle &p = w.ParticleTable[slot];
  if (p.life == 0) return {};
  const char *t = "particle";
  // Lives are given as 1, 2 or -1 (until it fades or leaves) and only count down.
  if (p.life < -1 || p.life > 2) return Fault(t, slot, "life outside -1 to 2");
  if (p.sprite < 0 || p.sprite >= ParticleCells) return Fault(t, slot, "sprite outside the sheet");
  if (p.alpha == 0) return Fault(t, slot, "alpha 0 while live");
  if (p.alphaStep > 0) return Fault(t, slot, "alpha step brightens");
  if (!OnField(p.x, p.y)) return Fault(t, slot, "position off the field");
  if (!Within(p.vx, -100.0f, 100.0f) || !Within(p.vy, -100.0f, 100.0f)) return Fault(t, slot, "velocity");
  if (p.ax != 0.0f || p.ay != 0.0f) return Fault(t, slot, "acceleration not 0");
  if (!Within(p.size, 0.0f, 2000.0f)) return Fault(t, slot, "size");
  if (!Within(p.sizeStep, 0.0f, 20.0f)) return Fault(t, slot, "size step");
  if (!Within(p.angle, -7.0f, 7.0f)) return Fault(t, slot, "angle beyond a turn");
  return {};
}

WorldFault CheckSpark(const World &w, int slot) {
  const Effect &f = w.EffectTable[slot];
  if (f.alpha == 0) return {};
  const char *t = "spark";
  // Sparks know no bounds: their fade is their only end, so it must fade.
  if (f.alphaStep > -1 || f.alphaStep < -40) return Fault(t, slot, "alpha step outside -40 to -1");
  if (!Near(f.x0, f.y0, SparkReach) || !Near(f.x1, f.y1, SparkReach) || !Near(f.x2, f.y2, SparkReach))
    return Fault(t, slot, "position not finite or flown off");
  if (!Near(f.vx, f.vy, SparkSpeed)) return Fault(t, slot, "velocity");
  if (f.ax != 0.0f || !Within(f.ay, 0.0f, 1.0f)) return Fault(t, slot, "acceleration other than a fall");
  return {};
}

bool SamePoint(SwordPoint a, SwordPoint b) { return a.x == b.x && a.y == b.y; }

WorldFault CheckHand(const World &w) {
  const PlayerRecord &p = w.Player;
  const char *t = "hand";
  if (!Within(p.x, 10.0f, 790.0f) || !Within(p.y, 10.0f, 590.0f)) return Fault(t, -1, "position off the field");
  if (!Near(p.vx, p.vy, HandSpeedLimit)) return Fault(t, -1, "velocity not finite");
  if (p.power < 0 || p.power > 400) return Fault(t, -1, "power outside 0 to 400");
  if (p.shield > 3) return Fault(t, -1, "shield above 3");
  if (w.GameState == Playing && p.shield < 1) return Fault(t, -1, "shield gone while playing");
  // The trail: every base is where the hand was; a drawn blade starts from the tip of
  // the one before it; the newest blade with all corners on one point is on the hand.
  for (int i = 0; i < 8; ++i) {
    const SwordTriangle &s = p.trail[i];
    if (!Within(s.base.x, 10.0f, 790.0f) || !Within(s.base.y, 10.0f, 590.0f)) return Fault("trail", i, "base off the field");
    if (!Near(s.tip.x, s.tip.y, TipReach) || !Near(s.previousTip.x, s.previousTip.y, TipReach))
      return Fault("trail", i, "tip not finite or beyond reach");
    const bool drawn = !(SamePoint(s.base, s.previousTip) && SamePoint(s.base, s.tip));
    if (i < 7 && drawn && !SamePoint(s.previousTip, p.trail[i + 1].tip))
      return Fault("trail", i, "blade does not start at the last tip");
  }
  const SwordTriangle &newest = p.trail[0];
  if (SamePoint(newest.base, newest.tip) && SamePoint(newest.base, newest.previousTip) &&
      !SamePoint(newest.base, SwordPoint{p.x, p.y}))
    return Fault("trail", 0, "no blade, yet off the hand");
  return {};
}

WorldFault CheckScript(const World &w) {
  const char *t = "script";
  const StageScriptTable &s = w.StageScript;
  if (w.scriptIndex < 0 || w.scriptIndex >= StageSteps) return Fault(t, -1, "index outside the table");
  if (w.scriptTimer < 0) return Fault(t, -1, "timer below 0");
  if (w.randomMode == 1 && (w.scriptIndex != 0 || w.scriptTimer != 0)) return Fault(t, -1, "moved in a random game");
  // The timer starts again whenever it reaches the step's wait.
  if (w.scriptTimer > 0 && w.scriptTimer >= s.wait[w.scriptIndex] && w.scriptIndex < StageSteps - 1)
    return Fault(t, w.scriptIndex, "timer past the step's wait");
  // Only a held WaitClear writes the table, and only 0 into the wait of the step
  // before it; the rest stays as written.
  for (int i = 0; i < StageSteps; ++i) {
    if (s.wait[i] != InitialStageScript.wait[i] && s.wait[i] != 0) return Fault(t, i, "wait rewritten to other than 0");
    if (s.op[i] != InitialStageScript.op[i]) return Fault(t, i, "op rewritten");
    if (s.arg[i] != InitialStageScript.arg[i]) return Fault(t, i, "arg rewritten");
    if (s.y[i] != InitialStageScript.y[i]) return Fault(t, i, "y rewritten");
  }
  return {};
}

WorldFault CheckGame(const World &w) {
  const char *t = "game";
  if (w.GameState < Title || w.GameState > AllClear) return Fault(t, -1, "state outside the four");
  if (w.randomMode != 0 && w.randomMode != 1) return Fault(t, -1, "mode neither normal nor random");
  if (w.randomMode == 1 && w.GameState == AllClear) return Fault(t, -1, "a random game cleared");
  if (w.slowMotion != 0 && w.slowMotion != 1) return Fault(t, -1, "slow motion neither on nor off");
  if (w.score < 0) return Fault(t, -1, "score below 0");
  return {};
}

}  // namespace

WorldFault CheckWorld(const World &w) {
  if (WorldFault f = CheckGame(w)) return f;
  if (WorldFault f = CheckHand(w)) return f;
  if (WorldFault f = CheckScript(w)) return f;
  for (int i = 0; i < EnemySlots; ++i)
    if (WorldFault f = CheckEnemy(w, i)) return f;
  for (int i = 0; i < ParticleSlots; ++i)
    if (WorldFault f = CheckParticle(w, i)) return f;
  for (int i = 0; i < EffectSlots; ++i)
    if (WorldFault f = CheckSpark(w, i)) return f;
  return {};
}

WorldFault CheckStep(const World &before, const World &after) {
  const char *t = "game";
  if (after.frameCounter != before.frameCounter + 1u) return Fault(t, -1, "frame count did not advance by one");
  // Escape (newly pressed) is the only way out of a game other than its end; otherwise
  // a game keeps its mode, its score only grows and its shield only falls.
  const bool escaped = after.keysHeld.escape && !before.keysHeld.escape;
  if (escaped || before.GameState == Title) return {};
  if (after.GameState == Title) return Fault(t, -1, "left the game without Escape");
  if (before.GameState != Playing && after.GameState != before.GameState) return Fault(t, -1, "an ended game changed state");
  if (after.randomMode != before.randomMode) return Fault(t, -1, "mode changed within a game");
  if (after.score < before.score) return Fault(t, -1, "score fell within a game");
  if (after.Player.shield > before.Player.shield) return Fault("hand", -1, "shield rose within a game");
  // An update spends at most 2 (the blade) and 5 (slow motion) and recharges at most 4.
  const int power = after.Player.power - before.Player.power;
  if (power < -7 || power > 4) return Fault("hand", -1, "power changed by more than an update can");
  for (int i = 0; i < EnemySlots; ++i) {
    const Enemy &a = after.EnemyTable[i], &b = before.EnemyTable[i];
    // A slot either ages by one update or holds a new enemy with a fresh age.
    if (a.hp > 0 && b.hp > 0 && a.age > int64_t{b.age} + 1 && a.age > 1) return Fault("enemy", i, "age jumped");
  }
  return {};
}

WorldFault CheckReport(const FrameReport &report) {
  const char *t = "sounds";
  if (report.soundCount < 0 || report.soundCount > FrameSoundLimit) return Fault(t, -1, "count outside the list");
  for (int i = 0; i < report.soundCount; ++i) {
    if (report.sounds[i].id < 0 || report.sounds[i].id > 6) return Fault(t, i, "id outside the seven");
    if (report.sounds[i].level < 1 || report.sounds[i].level > 100) return Fault(t, i, "level outside 1 to 100");
  }
  return {};
}
