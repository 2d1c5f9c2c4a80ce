// The enemy table: every ship, boss, bullet and missile lives in one of 45 fixed
// slots. Spawning takes the lowest free slot; the update pass runs in slot order, so
// a shot fired into a higher slot moves in the same pass and one fired into a lower
// slot waits for the next update.
#include "world/world.h"

// hp, sprite cell, sprite size, points when destroyed.
const EnemyTypeInfoRow EnemyTypeInfo[EnemyTypes] = {
    {1, 0, 30, 10},        // 0 bullet, speed 14
    {1, 1, 25, 15},        // 1 homing missile
    {2, 1, 40, 40},        // 2 heavy homing missile
    {2, 4, 40, 200},       // 3 gunship
    {3, 5, 40, 300},       // 4 missile carrier
    {2, 6, 40, 250},       // 5 spreader
    {5, 7, 50, 520},       // 6 heavy ship
    {1, 3, 30, 100},       // 7 drone
    {1, 2, 30, 8},         // 8 bullet, speed 10
    {2, 9, 35, 30},        // 9 bullet, speed 16
    {1, 8, 40, 80},        // 10 fighter
    {30, 10, 60, 1200},    // 11 stage 1 boss
    {40, 11, 60, 2000},    // 12 stage 2 boss
    {45, 12, 50, 3000},    // 13 stage 3 boss
    {1, 9, 25, 20},        // 14 fast shot
    {2, 13, 30, 280},      // 15 fighter of the later stages
    {4, 14, 45, 450},      // 16 gunship of the later stages
    {50, 15, 60, 5000},    // 17 final boss
};

void SpawnEnemy(World &w, float x, float y, float angle, int8_t type, int8_t param) {
  // Only the eighteen known types have a row; anything else is dropped like a spawn
  // into a full table.
  if (type < 0 || type >= EnemyTypes) return;
  for (Enemy &e : w.EnemyTable) {
    if (e.hp >= 1) continue;
    e.x = x;
    e.y = y;
    e.angle = angle;
    e.type = type;
    e.param = param;
    e.hp = EnemyTypeInfo[type].hp;
    e.age = 0;
    return;
  }
  // Table full: the shot or ship is simply not made.
}

void RunEnemyBehaviour(World &w, int slot, FrameReport &report) {
  int type = w.EnemyTable[slot].type;
  if (type >= 0 && type <= 11) {
    RunBasicBehaviour(w, slot);
  } else if (type >= 12 && type < EnemyTypes) {
    RunBossBehaviour(w, slot, report);
  }
}

void UpdateEnemies(World &w, FrameReport &report) {
  // The sword moved before the enemies: one blade for the whole pass.
  const SwordBlade blade(w.Player.trail[0]);
  for (int i = 0; i < EnemySlots; ++i) {
    Enemy &e = w.EnemyTable[i];
    if (e.hp <= 0) continue;
    // A boss left alive for a year and a half would run its age past the field's
    // width; it stays at the last value instead of wrapping to a negative age.
    if (e.age < INT32_MAX) e.age += 1;
    RunEnemyBehaviour(w, i, report);
    ResolveHits(w, i, blade, report);
    // Whatever the hit stage did, an enemy beyond the playfield's margin is gone;
    // exactly on the margin it stays.
    if (e.x < -20.0f || e.x > 820.0f || e.y < -20.0f || e.y > 620.0f) e.hp = 0;
  }
}
