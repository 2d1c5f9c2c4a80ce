// Particles: the soft textured sprites of the game (bursts, rings, smoke, the hand's
// glow and flashes, the stars that stream in from the right). Each one moves with a
// constant acceleration, grows by a constant step, fades and expires; none of them
// touches anything. A fixed table of 70 slots; a slot is live while its life is not 0.
#include <cstdint>
#include "world/world.h"

// Takes the lowest free slot; with all 70 live the particle is simply not made.
void SpawnParticle(World &w, float x, float y, float vx, float vy, float ax, float ay, float angle, float size,
                   float sizeStep, uint8_t alpha, int8_t alphaStep, int16_t life, int8_t sprite) {
  for (Particle &p : w.ParticleTable) {
    if (p.life != 0) continue;
    p.x = x;
    p.y = y;
    p.vx = vx;
    p.vy = vy;
    p.ax = ax;
    p.ay = ay;
    p.angle = angle;
    p.size = size;
    p.sizeStep = sizeStep;
    p.alpha = alpha;
    p.alphaStep = alphaStep;
    p.life = life;
    p.sprite = sprite;
    return;
  }
}

void UpdateParticles(World &w) {
  for (Particle &p : w.ParticleTable) {
    if (p.life == 0) continue;
    p.x += p.vx;
    p.y += p.vy;
    p.vx += p.ax;
    p.vy += p.ay;
    p.size += p.sizeStep;

    // The fade ends the particle when it would reach 0; a brightening step stops at
    // full opacity rather than wrapping round to a faint sprite.
    int faded = p.alpha + p.alphaStep;
    if (faded >= 1)
      p.alpha = static_cast<uint8_t>(faded > 255 ? 255 : faded);
    else
      p.life = 0;

    // A particle exactly on a bound is still on the field.
    if (p.x < -20.0f || p.x > 820.0f || p.y < -20.0f || p.y > 620.0f) p.life = 0;

    // -1 means no time limit. A life below that never comes from the game; it keeps
    // counting down but stops at the bottom of its 16 bits instead of wrapping to a
    // long positive life.
    if (p.life != 0 && p.life != -1 && p.life != INT16_MIN) p.life = static_cast<int16_t>(p.life - 1);
  }
}

// A star enters at x = 810 on a random row, on one of the three star cells, and lives
// until it leaves the left edge. Draws: the cell, then the speed, then the row.
static void SpawnStar(World &w, int speedRange, uint8_t alpha) {
  int8_t sprite = static_cast<int8_t>(8 + Random(w) % 3);
  float vx = static_cast<float>(-(Random(w) % speedRange + 5));
  float y = static_cast<float>(Random(w) % 600);
  SpawnParticle(w, 810.0f, y, vx, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, alpha, 0, -1, sprite);
}

void SpawnTitleStar(World &w) { SpawnStar(w, 15, 220); }

// Behind a game the stars are fewer, slower and dimmer.
void SpawnBackgroundStar(World &w) {
  if (Random(w) % 2 == 1) SpawnStar(w, 10, 200);
}
