// The world's invariants: busy games of both modes hold all of them frame after frame,
// and each family of them fires on a copy of such a world damaged the way a stray write
// or a runaway counter would damage it, naming the table, slot and field.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>
#include "world/step.h"
#include "world/world.h"
#include "world/world_check.h"

namespace {

// A restless hand with its own generator: it swings, slows the world now and then, and
// is hit often enough for sparks, smoke and lost shield.
struct Pilot {
  bool random;
  unsigned seed = 7;
  int Next(int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<unsigned>(n));
  }
  FrameInput Decide(const World &w) {
    FrameInput in{};
    if (w.GameState == Title) {
      in.right = random;
      in.left = !random;
      return in;
    }
    in.dx = Next(61) - 30;
    in.dy = Next(61) - 30;
    in.left = Next(4) != 0;
    in.right = Next(40) == 0;
    return in;
  }
};

std::string Describe(const WorldFault &f) {
  if (!f) return "sound";
  return std::string(f.table) + " " + std::to_string(f.slot) + " " + f.field;
}

// Plays until every table has a live slot (and, in a normal game, the script has run
// some steps), checking every frame on the way.
World BusyWorld(bool random, uint32_t seed) {
  World w, before;
  StartWorld(w, seed);
  Pilot pilot{random};
  FrameReport report;
  auto live = [&w] {
    int enemies = 0, particles = 0, sparks = 0;
    for (const Enemy &e : w.EnemyTable) enemies += e.hp > 0;
    for (const Particle &p : w.ParticleTable) particles += p.life != 0;
    for (const Effect &f : w.EffectTable) sparks += f.alpha != 0;
    return enemies >= 2 && particles >= 2 && sparks >= 2;
  };
  for (int frame = 0; frame < 20000 && !(frame > 600 && live() && w.GameState == Playing); ++frame) {
    before = w;
    StepWorld(w, pilot.Decide(w), report);
    EXPECT_FALSE(CheckWorld(w)) << Describe(CheckWorld(w)) << " at frame " << frame;
    EXPECT_FALSE(CheckStep(before, w)) << Describe(CheckStep(before, w)) << " at frame " << frame;
    EXPECT_FALSE(CheckReport(report)) << Describe(CheckReport(report)) << " at frame " << frame;
    if (w.GameState == GameOver) StartWorld(w, ++seed);
  }
  EXPECT_TRUE(live());
  return w;
}

template <typename Slot, size_t N, typename Live>
int FirstLive(const Slot (&table)[N], Live live) {
  for (size_t i = 0; i < N; ++i)
    if (live(table[i])) return static_cast<int>(i);
  ADD_FAILURE() << "no live slot";
  return 0;
}

struct Damage {
  const char *table;
  const char *field;   // the start of the fault's text
  std::function<void(World &)> apply;
};

void ExpectEachDamageNamed(const World &sound, const std::vector<Damage> &damages) {
  ASSERT_FALSE(CheckWorld(sound)) << Describe(CheckWorld(sound));
  for (const Damage &d : damages) {
    World w = sound;
    d.apply(w);
    const WorldFault f = CheckWorld(w);
    SCOPED_TRACE(std::string(d.table) + ": " + d.field);
    ASSERT_TRUE(f);
    EXPECT_STREQ(f.table, d.table);
    EXPECT_EQ(std::string(f.field).rfind(d.field, 0), 0u) << f.field;
  }
}

TEST(WorldCheck, EachFamilyOfTheTablesFiresOnADamagedCopy) {
  const World sound = BusyWorld(true, 20261207);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const int e = FirstLive(sound.EnemyTable, [](const Enemy &x) { return x.hp > 0; });
  const int p = FirstLive(sound.ParticleTable, [](const Particle &x) { return x.life != 0; });
  const int s = FirstLive(sound.EffectTable, [](const Effect &x) { return x.alpha != 0; });
  ExpectEachDamageNamed(sound, {
      {"enemy", "type", [&](World &w) { w.EnemyTable[e].type = 18; }},
      {"enemy", "type is a boss", [&](World &w) { w.EnemyTable[e].type = 17, w.EnemyTable[e].hp = 1; }},
      {"enemy", "hp", [&](World &w) { w.EnemyTable[e].hp = 90; }},
      {"enemy", "age above", [&](World &w) { w.EnemyTable[e].age = static_cast<int32_t>(w.frameCounter + 1); }},
      {"enemy", "age below", [&](World &w) { w.EnemyTable[e].age = -1; }},
      {"enemy", "param", [&](World &w) { w.EnemyTable[e].param = 3; }},
      {"enemy", "position", [&](World &w) { w.EnemyTable[e].y = nan; }},
      {"enemy", "position", [&](World &w) { w.EnemyTable[e].x = 2000.0f; }},
      {"enemy", "angle", [&](World &w) { w.EnemyTable[e].angle = std::numeric_limits<float>::infinity(); }},
      {"particle", "life", [&](World &w) { w.ParticleTable[p].life = 300; }},
      {"particle", "sprite", [&](World &w) { w.ParticleTable[p].sprite = 16; }},
      {"particle", "alpha 0", [&](World &w) { w.ParticleTable[p].alpha = 0; }},
      {"particle", "alpha step", [&](World &w) { w.ParticleTable[p].alphaStep = 5; }},
      {"particle", "position", [&](World &w) { w.ParticleTable[p].x = nan; }},
      {"particle", "size", [&](World &w) { w.ParticleTable[p].size = -1.0f; }},
      {"particle", "acceleration", [&](World &w) { w.ParticleTable[p].ax = 0.5f; }},
      {"spark", "alpha step", [&](World &w) { w.EffectTable[s].alphaStep = 0; }},
      {"spark", "position", [&](World &w) { w.EffectTable[s].y2 = nan; }},
      {"spark", "velocity", [&](World &w) { w.EffectTable[s].vx = 1e6f; }},
      {"hand", "position", [&](World &w) { w.Player.x = 5.0f; }},
      {"hand", "velocity", [&](World &w) { w.Player.vy = nan; }},
      {"hand", "power", [&](World &w) { w.Player.power = 401; }},
      {"hand", "shield above", [&](World &w) { w.Player.shield = 4; }},
      {"hand", "shield gone", [&](World &w) { w.Player.shield = 0; }},
      {"trail", "base", [&](World &w) { w.Player.trail[5].base.x = 0.0f; }},
      {"trail", "tip", [&](World &w) { w.Player.trail[0].tip.y = nan; }},
      {"trail", "blade does not start", [&](World &w) { w.Player.trail[2].base.x = 400, w.Player.trail[3].tip.x += 3; }},
      {"trail", "no blade", [&](World &w) { w.Player.trail[0] = {{50, 50}, {50, 50}, {50, 50}}; }},
      {"script", "moved", [&](World &w) { w.scriptIndex = 3; }},
      {"script", "index", [&](World &w) { w.scriptIndex = StageSteps; }},
      {"script", "op", [&](World &w) { w.StageScript.op[40] = Finish; }},
      {"script", "wait", [&](World &w) { w.StageScript.wait[10] = 7; }},
      {"game", "state", [&](World &w) { w.GameState = 4; }},
      {"game", "a random game cleared", [&](World &w) { w.GameState = AllClear; }},
      {"game", "mode", [&](World &w) { w.randomMode = 2; }},
      {"game", "slow motion", [&](World &w) { w.slowMotion = -1; }},
      {"game", "score", [&](World &w) { w.score = -10; }},
  });

  // A normal game moves its script: its timer stays under the step's wait.
  const World normal = BusyWorld(false, 5);
  EXPECT_GT(normal.scriptIndex, 0);
  ExpectEachDamageNamed(normal, {
      {"script", "timer past", [&](World &w) { w.scriptTimer = w.StageScript.wait[w.scriptIndex] + 1; }},
      {"script", "timer below", [&](World &w) { w.scriptTimer = -1; }},
      {"script", "y", [&](World &w) { w.StageScript.y[84] = 1; }},
  });
}

TEST(WorldCheck, OneFrameOfAGameChangesOnlyWhatAnUpdateCan) {
  const World before = BusyWorld(true, 99);
  World after = before;
  FrameReport report;
  StepWorld(after, FrameInput{}, report);
  ASSERT_FALSE(CheckStep(before, after)) << Describe(CheckStep(before, after));
  int e = -1;
  for (int i = 0; i < EnemySlots && e < 0; ++i)
    if (before.EnemyTable[i].hp > 0 && after.EnemyTable[i].hp > 0 && after.EnemyTable[i].age >= before.EnemyTable[i].age) e = i;
  ASSERT_GE(e, 0);
  const std::vector<std::pair<const char *, std::function<void(World &)>>> damages = {
      {"frame count", [](World &w) { w.frameCounter += 1; }},
      {"score fell", [&](World &w) { w.score = before.score - 1; }},
      {"shield rose", [&](World &w) { w.Player.shield = static_cast<int8_t>(before.Player.shield + 1); }},
      {"power", [&](World &w) { w.Player.power = static_cast<int16_t>(before.Player.power - 8); }},
      {"mode changed", [](World &w) { w.randomMode = 0; }},
      {"left the game", [](World &w) { w.GameState = Title; }},
      {"age jumped", [&](World &w) { w.EnemyTable[e].age = before.EnemyTable[e].age + 2; }},
  };
  for (const auto &[field, apply] : damages) {
    World damaged = after;
    apply(damaged);
    const WorldFault f = CheckStep(before, damaged);
    ASSERT_TRUE(f) << field;
    EXPECT_NE(std::string(f.field).find(field), std::string::npos) << f.field;
  }
  // Escape leaves a game for the title at any time, score and all.
  World escaped = before;
  FrameInput escape{};
  escape.escape = true;
  StepWorld(escaped, escape, report);
  EXPECT_FALSE(CheckStep(before, escaped)) << Describe(CheckStep(before, escaped));

  // The sounds of a frame.
  FrameReport sounds{};
  PlaySound(sounds, 3, 90);
  EXPECT_FALSE(CheckReport(sounds));
  sounds.sounds[0].id = 7;
  EXPECT_STREQ(CheckReport(sounds).field, "id outside the seven");
  sounds.soundCount = FrameSoundLimit + 1;
  EXPECT_STREQ(CheckReport(sounds).field, "count outside the list");
}

}  // namespace
