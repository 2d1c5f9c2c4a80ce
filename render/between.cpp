// Blending the slots of two world updates for a picture between them (see between.h).
#include "render/between.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double HalfTurn = 3.14159265358979323846;

float Clamped(float fraction) {
  if (!(fraction > 0.0f)) return 0.0f;   // also a fraction that is not a number
  return fraction < 1.0f ? fraction : 1.0f;
}

// The ends are exact: 0 is the previous value and 1 the newest, bit for bit.
float Lerp(float previous, float newest, float fraction) {
  if (fraction <= 0.0f) return previous;
  if (fraction >= 1.0f) return newest;
  const float value = static_cast<float>(previous + (static_cast<double>(newest) - previous) * fraction);
  return std::isfinite(value) ? value : newest;
}

// An alpha between two updates, rounded to the nearest whole value.
uint8_t AlphaBetween(uint8_t previous, uint8_t newest, float fraction) {
  return static_cast<uint8_t>(std::lround(Lerp(previous, newest, fraction)));
}

// The fade after one step, as the update makes it.
int Faded(int alpha, int step) {
  const int faded = alpha + step;
  return faded > 255 ? 255 : faded;
}

}  // namespace

SceneMoment MomentOf(const World &world) { return SceneMoment{&world, &world, 0.0f, {world.Player.x, world.Player.y}}; }

float HeadingBetween(float previous, float newest, float fraction) {
  fraction = Clamped(fraction);
  if (fraction <= 0.0f) return previous;
  if (fraction >= 1.0f) return newest;
  double turn = static_cast<double>(newest) - previous;
  if (!std::isfinite(turn)) return newest;
  turn = std::remainder(turn, 2.0 * HalfTurn);   // within a half turn either way
  return static_cast<float>(previous + turn * fraction);
}

bool SameEnemy(const Enemy &previous, const Enemy &newest) {
  return previous.hp > 0 && newest.hp > 0 && previous.type == newest.type &&
         static_cast<int64_t>(newest.age) == static_cast<int64_t>(previous.age) + 1;
}

bool SameParticle(const Particle &previous, const Particle &newest) {
  return previous.life != 0 && newest.life != 0 && previous.sprite == newest.sprite &&
         previous.alphaStep == newest.alphaStep && newest.alpha == Faded(previous.alpha, previous.alphaStep) &&
         newest.x == previous.x + previous.vx && newest.y == previous.y + previous.vy;
}

bool SameEffect(const Effect &previous, const Effect &newest) {
  return previous.alpha != 0 && newest.alpha != 0 && previous.alphaStep == newest.alphaStep &&
         newest.alpha == Faded(previous.alpha, previous.alphaStep) && newest.x1 == previous.x0 &&
         newest.y1 == previous.y0 && newest.x2 == previous.x1 && newest.y2 == previous.y1;
}

Enemy EnemyBetween(const Enemy &previous, const Enemy &newest, float fraction) {
  fraction = Clamped(fraction);
  if (!SameEnemy(previous, newest)) return newest;
  if (fraction <= 0.0f) return previous;
  Enemy drawn = newest;
  drawn.x = Lerp(previous.x, newest.x, fraction);
  drawn.y = Lerp(previous.y, newest.y, fraction);
  drawn.angle = HeadingBetween(previous.angle, newest.angle, fraction);
  return drawn;
}

Particle ParticleBetween(const Particle &previous, const Particle &newest, float fraction) {
  fraction = Clamped(fraction);
  if (!SameParticle(previous, newest)) return newest;
  if (fraction <= 0.0f) return previous;
  Particle drawn = newest;
  drawn.x = Lerp(previous.x, newest.x, fraction);
  drawn.y = Lerp(previous.y, newest.y, fraction);
  drawn.angle = HeadingBetween(previous.angle, newest.angle, fraction);
  drawn.size = Lerp(previous.size, newest.size, fraction);
  drawn.alpha = AlphaBetween(previous.alpha, newest.alpha, fraction);
  return drawn;
}

Effect EffectBetween(const Effect &previous, const Effect &newest, float fraction) {
  fraction = Clamped(fraction);
  if (!SameEffect(previous, newest)) return newest;
  if (fraction <= 0.0f) return previous;
  Effect drawn = newest;
  drawn.x0 = Lerp(previous.x0, newest.x0, fraction);
  drawn.y0 = Lerp(previous.y0, newest.y0, fraction);
  drawn.x1 = Lerp(previous.x1, newest.x1, fraction);
  drawn.y1 = Lerp(previous.y1, newest.y1, fraction);
  drawn.x2 = Lerp(previous.x2, newest.x2, fraction);
  drawn.y2 = Lerp(previous.y2, newest.y2, fraction);
  drawn.alpha = AlphaBetween(previous.alpha, newest.alpha, fraction);
  return drawn;
}

SwordPoint LeadingHand(const World &newest, float fraction, double mx, double my) {
  const PlayerRecord &hand = newest.Player;
  fraction = Clamped(fraction);
  if (newest.GameState != Playing || !std::isfinite(mx) || !std::isfinite(my)) return {hand.x, hand.y};
  if (fraction <= 0.0f && mx == 0.0 && my == 0.0) return {hand.x, hand.y};
  double x = hand.x + fraction * 0.5 * hand.vx + 0.5 * mx;
  double y = hand.y + fraction * 0.5 * hand.vy + 0.5 * my;
  // The update holds the hand within 10 to 790 across and 10 to 590 down.
  x = x < 10.0 ? 10.0 : (x > 790.0 ? 790.0 : x);
  y = y < 10.0 ? 10.0 : (y > 590.0 ? 590.0 : y);
  if (!std::isfinite(x) || !std::isfinite(y)) return {hand.x, hand.y};
  return {static_cast<float>(x), static_cast<float>(y)};
}

namespace {

constexpr double FrameMilliseconds = 22.0;

// Whether a step updated the world: anything of the hand or the tables moved.
bool Updated(const World &before, const World &after) {
  return std::memcmp(&before.Player, &after.Player, sizeof before.Player) != 0 ||
         std::memcmp(before.EnemyTable, after.EnemyTable, sizeof before.EnemyTable) != 0 ||
         std::memcmp(before.ParticleTable, after.ParticleTable, sizeof before.ParticleTable) != 0 ||
         std::memcmp(before.EffectTable, after.EffectTable, sizeof before.EffectTable) != 0;
}

// How long from an update to the next: a frame, or in slow motion (which updates the
// world on the frames whose count leaves 1 when divided by 3) up to three.
double SpanAfter(const World &w) {
  if (w.GameState != Playing || !w.slowMotion) return FrameMilliseconds;
  const uint32_t frames = (1u + 3u - w.frameCounter % 3u) % 3u;
  return (frames == 0 ? 3.0 : static_cast<double>(frames)) * FrameMilliseconds;
}

}  // namespace

void NoteFrame(UpdatePair &pair, const World &before, const World &after, double time) {
  if (pair.havePrevious && !Updated(before, after)) return;
  std::memcpy(&pair.previous, &before, sizeof before);
  pair.havePrevious = true;
  pair.newestTime = time;
  pair.span = SpanAfter(after);
}

SceneMoment MomentAt(const UpdatePair &pair, const World &newest, double when, double mx, double my) {
  const float drawn = Clamped(static_cast<float>((when - pair.newestTime) / pair.span));
  const World &previous = pair.havePrevious ? pair.previous : newest;
  return SceneMoment{&previous, &newest, drawn, LeadingHand(newest, drawn, mx, my)};
}
