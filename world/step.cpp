// The game-state machine of one frame: the Escape key, the title screen with its stars
// and start buttons, a game's world update under the slow-motion gate, and the losing
// test; also the start position of a game, the world as the program starts it, and the
// world's own random generator.
#include "world/step.h"

#include <cstring>

namespace {

void StartGame(World &w, int random) {
  ResetGame(w);
  w.randomMode = random;
  w.GameState = Playing;
}

void UpdateWorld(World &w, FrameReport &report) {
  // Slow motion runs the world on one frame in three.
  if (w.slowMotion && w.frameCounter % 3 != 1) return;
  UpdateParticles(w);
  UpdateEffects(w);
  UpdateSword(w, report);
  UpdateEnemies(w, report);
  // Behind the fight, a star on a coin toss; it first moves in the next update.
  SpawnBackgroundStar(w);
  if (w.Player.shield < 1) w.GameState = GameOver;
  // The script steps even in the frame the game was lost.
  StepStageScript(w);
}

void UpdateTitle(World &w) {
  UpdateParticles(w);
  SpawnTitleStar(w);
  // The buttons are read as held, not as new presses; with both held the random mode
  // wins, as its test comes second.
  if (w.keysHeld.left) StartGame(w, 0);
  if (w.keysHeld.right) StartGame(w, 1);
}

// Adds with the wrap-round of 32-bit arithmetic, as the cursor's coordinates would.
int32_t AddWrapping(int32_t a, int b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

int Random(World &w) {
  w.randomSeed = w.randomSeed * 214013u + 2531011u;
  return static_cast<int>((w.randomSeed >> 16) & 0x7FFF);
}

void PlaySound(FrameReport &report, int id, int level) {
  if (report.soundCount >= FrameSoundLimit) return;
  report.sounds[report.soundCount++] = FrameSound{static_cast<int8_t>(id), static_cast<int8_t>(level)};
}

void StepWorld(World &w, const FrameInput &input, FrameReport &report) {
  report.soundCount = 0;
  report.quit = false;
  w.frameCounter += 1;
  const bool escapeWasHeld = w.keysHeld.escape;
  w.keysHeld = HeldKeys{input.left, input.right, input.escape, input.enter};
  w.pendingDx = AddWrapping(w.pendingDx, input.dx);
  w.pendingDy = AddWrapping(w.pendingDy, input.dy);
  if (input.escape && !escapeWasHeld) {
    if (w.GameState == Title) {
      report.quit = true;  // the rest of this frame still runs
    } else {
      ResetGame(w);
      w.GameState = Title;
    }
  }
  if (w.GameState == Playing) UpdateWorld(w, report);
  // Also right after Escape brought the game back here: a held button starts a new game.
  if (w.GameState == Title) UpdateTitle(w);
}

void StartWorld(World &w, uint32_t seed) {
  std::memset(&w, 0, sizeof w);
  w.StageScript = InitialStageScript;
  w.randomSeed = seed;
  ResetGame(w);
  w.GameState = Title;
}

void ResetGame(World &w) {
  PlayerRecord &player = w.Player;
  player.x = 200.0f;
  player.y = 300.0f;
  player.vx = 0.0f;
  player.vy = 0.0f;
  player.shield = 3;
  player.power = 400;
  for (SwordTriangle &triangle : player.trail) {
    triangle.base = SwordPoint{200.0f, 300.0f};
    triangle.previousTip = SwordPoint{200.0f, 300.0f};
    triangle.tip = SwordPoint{200.0f, 300.0f};
  }
  // The hand starts still: motion made before the game began is not its own.
  w.pendingDx = 0;
  w.pendingDy = 0;
  // Only the field that frees a slot; the rest of a free slot is never read.
  for (Particle &particle : w.ParticleTable) particle.life = 0;
  for (Effect &effect : w.EffectTable) effect.alpha = 0;
  for (Enemy &enemy : w.EnemyTable) enemy.hp = 0;
  w.score = 0;
  w.slowMotion = 0;
  w.scriptTimer = 0;
  w.scriptIndex = 0;
}
