// The stage script: which enemies enter, where and when. The normal game plays one
// table of 85 steps holding the four stages, each opened by its title and closed by a
// wait until the playfield is empty; the random mode rolls a die for seven ship types
// every update instead and never touches the table.
#include "world/world.h"

// Each world holds its own copy: a WaitClear that has to hold rewrites the wait of the
// step before it, and the rewritten value stays for the rest of the run.
const StageScriptTable InitialStageScript = {
    // wait: updates from this step to the next
    {50,   100,  100,  100,  200,  50,   50,   50,   200,  150,  100,  100,  200,  50,   100,  100,  50,
     100,  200,  50,   50,   50,   50,   0,    0,    50,   100,  50,   100,  100,  50,   100,  150,  50,
     100,  150,  50,   100,  200,  50,   100,  50,   50,   0,    50,   100,  50,   50,   100,  50,   100,
     50,   100,  50,   100,  50,   50,   50,   50,   100,  50,   200,  100,  50,   100,  30,   30,   30,
     160,  20,   20,   180,  20,   20,   20,   80,   10,   160,  10,   10,   10,   200,  100,  50,   0},
    // op
    {Nop,        StageTitle, Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      WaitClear,  StageTitle, Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      Spawn,      WaitClear,  StageTitle, Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      WaitClear,
     StageTitle, Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,      Spawn,
     Spawn,      Spawn,      Spawn,      WaitClear,  Finish},
    // arg: the enemy type of a Spawn, the stage number of a StageTitle
    {0,    1,    10,   10,   10,   10,   10,   10,   10,   3,    3,    3,    3,    4,    4,    3,    3,
     3,    4,    10,   10,   10,   11,   10,   10,   0,    2,    5,    5,    4,    3,    3,    6,    5,
     5,    4,    6,    6,    5,    15,   15,   12,   3,    3,    0,    3,    4,    4,    6,    5,    5,
     15,   15,   16,   16,   3,    3,    3,    3,    16,   16,   16,   13,   0,    4,    3,    3,    4,
     4,    6,    6,    6,    5,    5,    16,   16,   4,    4,    5,    5,    3,    3,    17,   0,    0},
    // y: the height at which a Spawn enters
    {0,    0,    200,  400,  300,  250,  400,  200,  350,  250,  350,  200,  400,  200,  400,  300,  100,
     500,  300,  150,  450,  300,  300,  200,  400,  0,    0,    200,  400,  300,  150,  450,  300,  200,
     400,  300,  200,  400,  300,  200,  400,  300,  400,  200,  0,    0,    150,  450,  300,  200,  400,
     400,  200,  150,  450,  100,  500,  200,  400,  300,  150,  450,  300,  0,    0,    100,  500,  200,
     400,  150,  450,  300,  250,  350,  100,  500,  450,  150,  200,  400,  150,  450,  300,  0,    0},
};
namespace {

// The random mode's dice: a ship of the type enters when Random % chance is 1.
struct RandomRoll {
  int chance;
  int8_t type;
};
constexpr RandomRoll RandomRolls[7] = {{290, 3}, {370, 4}, {310, 5}, {440, 6}, {270, 10}, {390, 15}, {410, 16}};

void StepNormalGame(World &w) {
  StageScriptTable &script = w.StageScript;
  int16_t &scriptIndex = w.scriptIndex;
  int16_t &scriptTimer = w.scriptTimer;
  // The last step ends the game; should the script be stepped after it all the same,
  // it stays there rather than reading past the table.
  if (scriptIndex < 0 || scriptIndex >= StageSteps - 1) return;
  scriptTimer += 1;
  if (script.wait[scriptIndex] > scriptTimer) return;
  scriptTimer = 0;
  scriptIndex += 1;
  switch (script.op[scriptIndex]) {
    case Spawn:
      SpawnEnemy(w, 810.0f, static_cast<float>(script.y[scriptIndex]), 0.0f,
                 static_cast<int8_t>(script.arg[scriptIndex] & 0xFF), 0);
      break;
    case WaitClear:
      // Step back and come here again next update, until nothing is alive; the step
      // before is not run again, and its wait stays 0 from now on.
      for (const Enemy &e : w.EnemyTable) {
        if (e.hp > 0) {
          scriptIndex -= 1;
          script.wait[scriptIndex] = scriptTimer;
          break;
        }
      }
      break;
    case Finish:
      w.GameState = AllClear;
      break;
    default:
      break;
  }
}

void StepRandomMode(World &w) {
  for (const RandomRoll &roll : RandomRolls) {
    if (Random(w) % roll.chance == 1) SpawnEnemy(w, 810.0f, static_cast<float>(Random(w) % 500 + 50), 0.0f, roll.type, 0);
  }
}

}  // namespace

void StepStageScript(World &w) {
  if (w.randomMode == 0) {
    StepNormalGame(w);
  } else if (w.randomMode == 1) {
    StepRandomMode(w);
  }
}
