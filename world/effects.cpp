// Sparks: small coloured streaks that fly, fall and fade. Each keeps its head and the
// two positions before it, and is drawn as two joined lines that fade toward the tail,
// so a fast spark leaves a short trace (drawing is the renderer's). A fixed table of 60 slots; a slot is live
// while its alpha is not 0. Sparks know no bounds: only the fade ends them.
#include <cstdint>
#include "world/world.h"

// Takes the lowest free slot; with all 60 live the spark is simply not made.
void SpawnEffect(World &w, float x, float y, float vx, float vy, float ax, float ay, uint8_t alpha, int8_t alphaStep,
                 uint8_t red, uint8_t green, uint8_t blue) {
  for (Effect &e : w.EffectTable) {
    if (e.alpha != 0) continue;
    e.x0 = e.x1 = e.x2 = x;
    e.y0 = e.y1 = e.y2 = y;
    e.vx = vx;
    e.vy = vy;
    e.ax = ax;
    e.ay = ay;
    e.alpha = alpha;
    e.alphaStep = alphaStep;
    e.red = red;
    e.green = green;
    e.blue = blue;
    return;
  }
}

void UpdateEffects(World &w) {
  for (Effect &e : w.EffectTable) {
    if (e.alpha == 0) continue;
    e.x2 = e.x1;
    e.y2 = e.y1;
    e.x1 = e.x0;
    e.y1 = e.y0;
    e.x0 += e.vx;
    e.y0 += e.vy;
    e.vx += e.ax;
    e.vy += e.ay;
    // A brightening step stops at full opacity rather than wrapping to a faint spark.
    int faded = e.alpha + e.alphaStep;
    if (faded >= 1)
      e.alpha = static_cast<uint8_t>(faded > 255 ? 255 : faded);
    else
      e.alpha = 0;
  }
}
