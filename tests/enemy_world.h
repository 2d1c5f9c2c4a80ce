// A quiet world for enemy tests: empty tables, the hand parked far from the action
// with no blade, a fixed random seed, and helpers to place enemies by slot.
#pragma once
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include "app/game.h"
#include "platform/platform.h"
#include "world/world.h"

class EnemyWorld : public ::testing::Test {
protected:
  void SetUp() override {
    std::memset(EnemyTable, 0, sizeof EnemyTable);
    std::memset(ParticleTable, 0, sizeof ParticleTable);
    std::memset(EffectTable, 0, sizeof EffectTable);
    PlaceHand(20.0f, 580.0f);
    Player.shield = 3;
    Player.power = 400;
    score = 0;
    srand(12345);
  }

  // Moves the hand and folds the blade away, so only contact could touch an enemy.
  static void PlaceHand(float x, float y) {
    Player.x = x;
    Player.y = y;
    Player.vx = 0;
    Player.vy = 0;
    for (SwordTriangle &t : Player.trail) t = {{x, y}, {x, y}, {x, y}};
  }

  static Enemy &Put(int slot, int type, float x, float y, float angle = 0.0f, int age = 0, int param = 0) {
    Enemy &e = EnemyTable[slot];
    e.x = x;
    e.y = y;
    e.angle = angle;
    e.type = static_cast<int8_t>(type);
    e.hp = EnemyTypeInfo[type].hp;
    e.age = age;
    e.param = static_cast<int8_t>(param);
    return e;
  }

  // One update of one enemy's behaviour alone, as the table pass runs it.
  static void Step(int slot) {
    EnemyTable[slot].age += 1;
    RunEnemyBehaviour(slot);
  }

  static int CountLive(int type = -1) {
    int n = 0;
    for (const Enemy &e : EnemyTable) n += e.hp > 0 && (type < 0 || e.type == type);
    return n;
  }

  static int CountParticles() {
    int n = 0;
    for (const Particle &p : ParticleTable) n += p.life != 0;
    return n;
  }
};
