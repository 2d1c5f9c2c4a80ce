// The three drawing primitives. Each builds at most four screen-space vertices on the
// stack and sends them with one DrawPrimitiveUP; the device merges runs of them.
#include "render/primitives.h"
#include <cmath>
#include "render/device.h"

void DrawLine(float x1, float y1, float x2, float y2, D3DCOLOR colour1, D3DCOLOR colour2) {
  ScreenVertex v[2] = {
      {x1, y1, 0.0f, 1.0f, colour1, 0.0f, 0.0f},
      {x2, y2, 0.0f, 1.0f, colour2, 0.0f, 0.0f},
  };
  // No texture: the line shows its vertex colours, blended along its length.
  device->SetTexture(0, nullptr);
  device->DrawPrimitiveUP(D3DPT_LINESTRIP, 1, v, sizeof(ScreenVertex));
}

void DrawTriangle(float x1, float y1, float x2, float y2, float x3, float y3, D3DCOLOR colour1, D3DCOLOR colour2,
                  D3DCOLOR colour3) {
  ScreenVertex v[3] = {
      {x3, y3, 0.0f, 1.0f, colour3, 0.0f, 0.0f},
      {x2, y2, 0.0f, 1.0f, colour2, 0.0f, 0.0f},
      {x1, y1, 0.0f, 1.0f, colour1, 0.0f, 0.0f},
  };
  device->SetTexture(0, nullptr);
  device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 1, v, sizeof(ScreenVertex));
}

void DrawSprite(float x, float y, float angle, float size, int cell, int alpha) {
  // White corners carry the alpha, so the texture shows its own colours.
  D3DCOLOR colour = ((D3DCOLOR)(alpha & 0xFF) << 24) | 0x00FFFFFF;
  float u0 = (float)(cell % 4) * 0.25f;
  float v0 = (float)(cell / 4) * 0.25f;
  // The corner offsets are -pi/4, +pi/4, -5pi/4 and -3pi/4 with pi taken as 3.141592;
  // the corners turn by -angle, so the sprite turns counter-clockwise on screen.
  static const float offsets[4] = {-0.785398f, 0.785398f, -3.926990f, -2.356194f};
  const float us[4] = {u0 + 0.25f, u0 + 0.25f, u0, u0};
  const float vs[4] = {v0, v0 + 0.25f, v0 + 0.25f, v0};
  ScreenVertex v[4];
  for (int i = 0; i < 4; ++i) {
    double theta = (double)(-angle + offsets[i]);
    v[i].x = (float)(x + std::cos(theta) * size);
    v[i].y = (float)(y + std::sin(theta) * size);
    v[i].z = 0.0f;
    v[i].rhw = 1.0f;
    v[i].diffuse = colour;
    v[i].u = us[i];
    v[i].v = vs[i];
  }
  device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(ScreenVertex));
}
