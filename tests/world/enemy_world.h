// A quiet world for enemy tests: empty tables, the hand parked far from the action
// with no blade, a fixed random seed, and helpers to place enemies by slot.
#pragma once
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include "test_world.h"

class EnemyWorld : public ::testing::Test {
protected:
  void SetUp() override {
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    std::memset(world.ParticleTable, 0, sizeof world.ParticleTable);
    std::memset(world.EffectTable, 0, sizeof world.EffectTable);
    PlaceHand(20.0f, 580.0f);
    world.Player.shield = 3;
    world.Player.power = 400;
    world.score = 0;
    world.randomSeed = 12345;
    report.soundCount = 0;
  }

  // Moves the hand and folds the blade away, so only contact could touch an enemy.
  static void PlaceHand(float x, float y) {
    world.Player.x = x;
    world.Player.y = y;
    world.Player.vx = 0;
    world.Player.vy = 0;
    for (SwordTriangle &t : world.Player.trail) t = {{x, y}, {x, y}, {x, y}};
  }

  static Enemy &Put(int slot, int type, float x, float y, float angle = 0.0f, int age = 0, int param = 0) {
    Enemy &e = world.EnemyTable[slot];
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
    world.EnemyTable[slot].age += 1;
    RunEnemyBehaviour(world, slot, report);
  }

  static int CountLive(int type = -1) {
    int n = 0;
    for (const Enemy &e : world.EnemyTable) n += e.hp > 0 && (type < 0 || e.type == type);
    return n;
  }

  static int CountParticles() {
    int n = 0;
    for (const Particle &p : world.ParticleTable) n += p.life != 0;
    return n;
  }
};
