// The game world as one value: the game state, the enemy table and its behaviours, the
// player's sword, hits and score, the stage script, particles and sparks, the random
// generator and what the game keeps of the input between frames. A World holds no
// pointer and owns nothing outside itself, so copying one copies a whole game. Every
// operation takes the world it works on; nothing here reads the platform or draws.
#pragma once
#include <cstdint>
#include <type_traits>

struct World;
struct FrameReport;

enum GameStateValue { Title = 0, Playing = 1, GameOver = 2, AllClear = 3 };

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
extern const EnemyTypeInfoRow EnemyTypeInfo[EnemyTypes];

void SpawnEnemy(World &w, float x, float y, float angle, int8_t type, int8_t param);
void UpdateEnemies(World &w, FrameReport &report);

// Behaviours (types 0 to 11 and 12 to 17) and the aiming helpers they share.
float AngleTo(float dx, float dy);
void WrapAngle(float &angle);
void RunEnemyBehaviour(World &w, int slot, FrameReport &report);   // dispatches on the slot's type
void RunBasicBehaviour(World &w, int slot);                          // types 0 to 11
void RunBossBehaviour(World &w, int slot, FrameReport &report);      // types 12 to 17

// Building blocks shared by both behaviour groups.
constexpr float DegreeFactor = 0.017453289f;    // one whole degree in radians
void AdvanceAlong(Enemy &e, float heading, double step);   // a step along a heading
void TurnToPlayer(const World &w, Enemy &e, double step);  // turn the heading by one step
float AimAtPlayer(const World &w, const Enemy &e);         // the heading toward the hand

// ---- Hits, damage and score ------------------------------------------------------
struct SwordBlade;
// 1 when the point is strictly inside this update's blade.
int SwordHitTest(const World &w, float px, float py);
// The blade, the hand and the enemy in the slot: hit points, shield, sparks, sounds and
// points. The second form takes the blade prepared once for the whole enemy pass.
void ResolveHits(World &w, int slot, FrameReport &report);
void ResolveHits(World &w, int slot, const SwordBlade &blade, FrameReport &report);

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

// One edge of the blade, from u to v: which side of it a point lies on, 0 when on its
// line, as (u - v) x (p - u) in double precision, given as a float.
struct SwordEdge {
  double ux, uy;   // u
  double dx, dy;   // u - v
  SwordEdge(SwordPoint u, SwordPoint v)
      : ux(u.x), uy(u.y), dx(static_cast<double>(u.x) - v.x), dy(static_cast<double>(u.y) - v.y) {}
  float Side(float px, float py) const {
    return static_cast<float>(dx * (static_cast<double>(py) - uy) - dy * (static_cast<double>(px) - ux));
  }
};

// The blade of one update as its three edges, made once for every point tested against
// it. With all three corners on the hand (the left button was not held) there is no
// blade and nothing is inside.
struct SwordBlade {
  bool drawn;
  SwordEdge ab, bt, ta;
  explicit SwordBlade(const SwordTriangle &blade)
      : drawn(!(blade.base.x == blade.previousTip.x && blade.base.x == blade.tip.x &&
                blade.base.y == blade.previousTip.y && blade.base.y == blade.tip.y)),
        ab(blade.base, blade.previousTip),
        bt(blade.previousTip, blade.tip),
        ta(blade.tip, blade.base) {}
  static bool SameSide(float a, float b) { return (a > 0.0f && b > 0.0f) || (a < 0.0f && b < 0.0f); }
  // Strictly inside: the point is on the same side of all three edges.
  bool Contains(float px, float py) const {
    if (!drawn) return false;
    float s1 = ab.Side(px, py);
    float s2 = bt.Side(px, py);
    if (!SameSide(s1, s2)) return false;
    return SameSide(s1, ta.Side(px, py));
  }
};

// Steers the hand by the mouse motion the world has not yet taken and swings, slows
// and recharges by the held buttons.
void UpdateSword(World &w, FrameReport &report);

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
// The table every run starts from.
extern const StageScriptTable InitialStageScript;
void StepStageScript(World &w);

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
void SpawnParticle(World &w, float x, float y, float vx, float vy, float ax, float ay, float angle, float size,
                   float sizeStep, uint8_t alpha, int8_t alphaStep, int16_t life, int8_t sprite);
void UpdateParticles(World &w);
// Stars drifting in from the right edge: one every title-screen frame, and behind a
// game after each world update on a coin toss (Random % 2 == 1) that it draws itself.
void SpawnTitleStar(World &w);
void SpawnBackgroundStar(World &w);

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
void SpawnEffect(World &w, float x, float y, float vx, float vy, float ax, float ay, uint8_t alpha, int8_t alphaStep,
                 uint8_t red, uint8_t green, uint8_t blue);
void UpdateEffects(World &w);

// ---- The whole world -------------------------------------------------------------
// The buttons and keys held in a frame.
struct HeldKeys {
  bool left;
  bool right;
  bool escape;
  bool enter;
};

struct World {
  int GameState;          // a GameStateValue
  uint32_t frameCounter;  // frames since start-up, title frames included
  int randomMode;
  int score;
  int slowMotion;
  PlayerRecord Player;
  Enemy EnemyTable[EnemySlots];
  Particle ParticleTable[ParticleSlots];
  Effect EffectTable[EffectSlots];
  StageScriptTable StageScript;   // the wait column is rewritten for the rest of the run
  int16_t scriptIndex;
  int16_t scriptTimer;
  // The runtime's generator: seed = seed * 214013 + 2531011, (seed >> 16) & 0x7FFF.
  uint32_t randomSeed;
  // The keys of the last frame stepped: at the start of a step, the previous frame's
  // (the Escape edge); after it, this frame's (the HUD shows its caption under Enter).
  HeldKeys keysHeld;
  // Mouse motion not yet taken by the hand. It builds up on frames without a world
  // update (the title, slow-motion frames, the end screens); the hand takes it all at
  // its next update and a reset throws it away, as the re-centred cursor did.
  int32_t pendingDx;
  int32_t pendingDy;
};
static_assert(std::is_trivially_copyable_v<World>, "a world is copied as plain bytes");

// The next number of the world's generator, 0 to 32767. Only the world draws from it,
// so nothing else in the process can move a game's sequence.
int Random(World &w);

// A world as the program starts it: everything zero, the stage script as written, the
// generator seeded, the start position of a game, on the title screen.
void StartWorld(World &w, uint32_t seed);

// The start position of a game: the hand in place with full shield and power, every
// table slot free, score, slow motion and script back to 0, pending mouse motion gone.
// The game state, the mode, the frame count, the keys and the script's table stay.
void ResetGame(World &w);
