// Placeholder until the frame driver lands.
#include "app/game.h"
int GameState, randomMode, score, slowMotion;
uint32_t frameCounter, lastFrameTime, fpsFrameCount, fpsWindowStart, fpsValue;
BYTE keyCur[256], keyPrev[256];
void RunFrame() {}
void ResetGame() {}
