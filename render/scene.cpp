// Placeholder until the scene lands.
#include "render/scene.h"
ID3DXFont *fonts[2];
const char *const gameVersion = "0.14";
void CreateGameFont(int, int) {}
void DrawTextAt(const char *, int, int, D3DCOLOR, int) {}
void DrawTextCentered(const char *, int, int, int, D3DCOLOR, int) {}
void DrawScene() {}
