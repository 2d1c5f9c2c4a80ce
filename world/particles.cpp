// Particles: the soft textured sprites of the game (bursts, rings, smoke, the hand's
// glow and flashes, the stars that stream in from the right). Each one moves with a
// constant acceleration, grows by a constant step, fades and expires; none of them
// touches anything. A fixed table of 70 slots; a slot is live while its life is not 0.
#include <cstdint>
#include "platform/platform.h"
#include "render/primitives.h"
#include "world/world.h"

Particle ParticleTable[ParticleSlots];

// Takes the lowest free slot; with all 70 live the particle is simply not made.
void SpawnParticle(float x, float y, float vx, float vy, float ax, float ay, float angle, float size,
                   float sizeStep, uint8_t alpha, int8_t alphaStep, int16_t life, int8_t sprite) {
  for (Particle &p : ParticleTable) {
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

void UpdateParticles() {
  for (Particle &p : ParticleTable) {
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

void DrawParticles() {
  for (const Particle &p : ParticleTable) {
    if (p.life == 0) continue;
    DrawSprite(p.x, p.y, p.angle, p.size, p.sprite, p.alpha);
  }
}

// A star enters at x = 810 on a random row, on one of the three star cells, and lives
// until it leaves the left edge. Draws: the cell, then the speed, then the row.
static void SpawnStar(int speedRange, uint8_t alpha) {
  int8_t sprite = static_cast<int8_t>(8 + rand() % 3);
  float vx = static_cast<float>(-(rand() % speedRange + 5));
  float y = static_cast<float>(rand() % 600);
  SpawnParticle(810.0f, y, vx, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, alpha, 0, -1, sprite);
}

void SpawnTitleStar() { SpawnStar(15, 220); }

// Behind a game the stars are fewer, slower and dimmer.
void SpawnBackgroundStar() {
  if (rand() % 2 == 1) SpawnStar(10, 200);
}
