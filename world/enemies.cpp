// Placeholder until enemies land.
#include "world/world.h"
Enemy EnemyTable[EnemySlots];
const EnemyTypeInfoRow EnemyTypeInfo[EnemyTypes] = {};
void SpawnEnemy(float, float, float, int8_t, int8_t) {}
void UpdateEnemies() {}
void DrawEnemies() {}
void RunEnemyBehaviour(int) {}
