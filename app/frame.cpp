// The frame driver: one game frame per call from the message loop, with the key
// snapshot, the game-state machine (title, playing, game over, all clear), the world
// update and its slow-motion gate, the 22 ms pacing and the frame-rate count. Also the
// reset that starts a game and the shared game variables.
#include <cstring>
#include "app/game.h"
#include "render/device.h"
#include "world/world.h"

int GameState;
uint32_t frameCounter;
int randomMode;
int score;
int slowMotion;
BYTE keyCur[256];
BYTE keyPrev[256];
uint32_t lastFrameTime;
uint32_t fpsFrameCount;
uint32_t fpsWindowStart;
uint32_t fpsValue;

namespace {

constexpr uint32_t FrameMilliseconds = 22;

bool Held(const BYTE *keys, int key) { return (keys[key] & 0x80) != 0; }

void StartGame(int random) {
  ResetGame();
  randomMode = random;
  GameState = Playing;
}

void UpdateWorld() {
  // Slow motion runs the world on one frame in three.
  if (slowMotion && frameCounter % 3 != 1) return;
  UpdateParticles();
  UpdateEffects();
  UpdateSword();
  UpdateEnemies();
  // Behind the fight, a star on a coin toss; it first moves in the next update.
  SpawnBackgroundStar();
  if (Player.shield < 1) GameState = GameOver;
  // The script steps even in the frame the game was lost.
  StepStageScript();
}

void UpdateTitle() {
  UpdateParticles();
  SpawnTitleStar();
  // The buttons are read as held, not as new presses; with both held the random mode
  // wins, as its test comes second.
  if (Held(keyCur, VK_LBUTTON)) StartGame(0);
  if (Held(keyCur, VK_RBUTTON)) StartGame(1);
}

}  // namespace

void UpdateInput() {
  std::memcpy(keyPrev, keyCur, sizeof keyCur);
  GetKeyboardState(keyCur);
}

void RunFrame() {
  frameCounter += 1;
  UpdateInput();
  if (Held(keyCur, VK_ESCAPE) && !Held(keyPrev, VK_ESCAPE)) {
    if (GameState == Title) {
      running = 0;  // the rest of this frame still runs
    } else {
      ResetGame();
      GameState = Title;
    }
  }
  if (GameState == Playing) UpdateWorld();
  // Also right after Escape brought the game back here: a held button starts a new game.
  if (GameState == Title) UpdateTitle();
  RenderFrame();
  WaitFrame();
  CountFps();
}

void WaitFrame() {
  // A frame starts on the first millisecond tick at or after 22 ms from the end of the
  // last wait. A late frame does not wait and the lost time is not made up. Sleep wakes
  // on the tick edges of timeGetTime's clock, so the whole wait is slept, up to the
  // deadline's own tick; the loop only covers a wake-up that came early.
  const uint32_t deadline = lastFrameTime + FrameMilliseconds;
  for (;;) {
    const uint32_t now = timeGetTime();
    if (now >= deadline) break;
    Sleep(deadline - now);
  }
  lastFrameTime = timeGetTime();
}

void CountFps() {
  fpsFrameCount += 1;
  if (timeGetTime() >= fpsWindowStart + 1000) {
    fpsValue = fpsFrameCount;
    fpsFrameCount = 0;
    fpsWindowStart = timeGetTime();
  }
}

void ResetGame() {
  Player.x = 200.0f;
  Player.y = 300.0f;
  Player.vx = 0.0f;
  Player.vy = 0.0f;
  Player.shield = 3;
  Player.power = 400;
  for (SwordTriangle &triangle : Player.trail) {
    triangle.base = SwordPoint{200.0f, 300.0f};
    triangle.previousTip = SwordPoint{200.0f, 300.0f};
    triangle.tip = SwordPoint{200.0f, 300.0f};
  }
  SetCursorPos(400, 300);
  // Only the field that frees a slot; the rest of a free slot is never read.
  for (Particle &particle : ParticleTable) particle.life = 0;
  for (Effect &effect : EffectTable) effect.alpha = 0;
  for (Enemy &enemy : EnemyTable) enemy.hp = 0;
  score = 0;
  slowMotion = 0;
  scriptTimer = 0;
  scriptIndex = 0;
}
