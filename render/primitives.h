// The three drawing primitives: a two-colour line, a three-colour triangle and a rotated
// sprite showing one cell of the bound texture's 4 x 4 grid, all in screen pixels.
#pragma once
#include "platform/platform.h"

struct ScreenVertex {
  float x;
  float y;
  float z;
  float rhw;
  D3DCOLOR diffuse;
  float u;
  float v;
};
static_assert(sizeof(ScreenVertex) == 28, "the vertex layout is 28 bytes");

#define D3DFVF_SCREENVERTEX (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1)

void DrawLine(float x1, float y1, float x2, float y2, D3DCOLOR colour1, D3DCOLOR colour2);
void DrawTriangle(float x1, float y1, float x2, float y2, float x3, float y3, D3DCOLOR colour1,
                  D3DCOLOR colour2, D3DCOLOR colour3);
void DrawSprite(float x, float y, float angle, float size, int cell, int alpha);
