// The game world: the enemy table and its behaviours, the player's sword, hits and
// score, the stage script, particles and sparks. Fixed global tables, plain operations.
#pragma once
#include <cstdint>

// ---- Enemies ---------------------------------------------------------------------
// Ships and the shots they fire are all enemies: one slot each in a fixed table.
struct Enemy {
  float x;
  float y;
  float angle;   // heading: a step s moves x by -s*cos(angle), y by +s*sin(angle)
  int16_t hp;    // alive while above 0
  int8_t type;   // 0 to 17
  int32_t age;   // updates since spawn, raised before the behaviour runs
  int8_t param;  // side a launched drone or fighter strafes to
};

struct EnemyTypeInfoRow {
  int16_t hp;
  int16_t cell;
  int16_t size;
  int16_t score;
};

constexpr int EnemySlots = 45;
constexpr int EnemyTypes = 18;
extern Enemy EnemyTable[EnemySlots];
extern const EnemyTypeInfoRow EnemyTypeInfo[EnemyTypes];

void SpawnEnemy(float x, float y, float angle, int8_t type, int8_t param);
void UpdateEnemies();
void DrawEnemies();

// Behaviours (types 0 to 11 and 12 to 17) and the aiming helpers they share.
float AngleTo(float dx, float dy);
void WrapAngle(float &angle);
void RunEnemyBehaviour(int slot);       // dispatches on the slot's type
void RunBasicBehaviour(int slot);       // types 0 to 11
void RunBossBehaviour(int slot);        // types 12 to 17

// Building blocks shared by both behaviour groups.
constexpr float DegreeFactor = 0.017453289f;    // one whole degree in radians
void AdvanceAlong(Enemy &e, float heading, double step);   // a step along a heading
void TurnToPlayer(Enemy &e, double step);                  // turn the heading by one step
float AimAtPlayer(const Enemy &e);                         // the heading toward the hand

// ---- Hits, damage and score ------------------------------------------------------
int SwordHitTest(float px, float py);
void ResolveHits(int slot);

// ---- The player's sword ----------------------------------------------------------
struct SwordPoint {
  float x;
  float y;
};

// base: the hand before this update's move; previousTip: the last update's tip;
// tip: the hand after the move plus seven times the move.
struct SwordTriangle {
  SwordPoint base;
  SwordPoint previousTip;
  SwordPoint tip;
};

struct PlayerRecord {
  float x;
  float y;
  float vx;
  float vy;
  int8_t shield;
  int16_t power;
  SwordTriangle trail[8];
};

extern PlayerRecord Player;
void UpdateSword();

// ---- Stage script ----------------------------------------------------------------
enum StageOp : int16_t { Nop = 0, Spawn = 1, WaitClear = 2, Finish = 3, StageTitle = 4 };

constexpr int StageSteps = 85;
// Four parallel columns of 85 steps; the wait column is rewritten by WaitClear and
// stays rewritten for the rest of the run.
struct StageScriptTable {
  int16_t wait[StageSteps];
  int16_t op[StageSteps];
  int16_t arg[StageSteps];
  int16_t y[StageSteps];
};
extern StageScriptTable StageScript;
extern int16_t scriptIndex;
extern int16_t scriptTimer;
void StepStageScript();

// ---- Particles -------------------------------------------------------------------
struct Particle {
  float x;
  float y;
  float vx;
  float vy;
  float ax;
  float ay;
  float angle;
  float size;
  float sizeStep;
  uint8_t alpha;
  int8_t alphaStep;
  int16_t life;   // 0 free, -1 no time limit, else updates left
  int8_t sprite;
};

constexpr int ParticleSlots = 70;
extern Particle ParticleTable[ParticleSlots];
void SpawnParticle(float x, float y, float vx, float vy, float ax, float ay, float angle, float size,
                   float sizeStep, uint8_t alpha, int8_t alphaStep, int16_t life, int8_t sprite);
void UpdateParticles();
void DrawParticles();
// Stars drifting in from the right edge: one every title-screen frame, and behind a
// game after each world update on a coin toss (rand % 2 == 1) that it draws itself.
void SpawnTitleStar();
void SpawnBackgroundStar();

// ---- Effects (sparks) ------------------------------------------------------------
struct Effect {
  float x0, x1, x2;
  float y0, y1, y2;
  float vx;
  float vy;
  float ax;
  float ay;
  uint8_t alpha;   // 0 free
  int8_t alphaStep;
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

constexpr int EffectSlots = 60;
extern Effect EffectTable[EffectSlots];
void SpawnEffect(float x, float y, float vx, float vy, float ax, float ay, uint8_t alpha, int8_t alphaStep,
                 uint8_t red, uint8_t green, uint8_t blue);
void UpdateEffects();
void DrawEffects();
