// Placeholder until the stage script lands.
#include "world/world.h"
StageScriptTable StageScript;
int16_t scriptIndex, scriptTimer;
void StepStageScript() {}
