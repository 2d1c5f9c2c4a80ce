// Placeholder until the primitives land.
#include "render/primitives.h"
void DrawLine(float, float, float, float, D3DCOLOR, D3DCOLOR) {}
void DrawTriangle(float, float, float, float, float, float, D3DCOLOR, D3DCOLOR, D3DCOLOR) {}
void DrawSprite(float, float, float, float, int, int) {}
