// The scene of one frame: the title screen, the world, the HUD and all texts.
#pragma once
#include "platform/platform.h"

struct World;
struct SceneMoment;

struct ID3DXFont;
extern ID3DXFont *fonts[2];

void CreateGameFont(int slot, int height);
void DrawTextAt(const char *text, int x, int y, D3DCOLOR colour, int slot);
void DrawTextCentered(const char *text, int left, int right, int top, D3DCOLOR colour, int slot);
// The kept games' best scores, handed over by the program when games are kept and
// something is: the title screen shows them on a line of their own, and the end
// screens say NEW BEST when the game just ended beat the best kept before it. Without
// one (nothing kept, or no keeping) every picture is as it always was.
struct KeptScoresLine {
  bool shown;
  int bestNormal;
  int bestRandom;
  bool newBest;
};
void ShowKeptScores(const KeptScoresLine *line);
// The picture of the world after a frame: the title screen, or the game with its HUD.
void DrawScene(const World &world, uint32_t fps);
// The picture at a moment between two updates (render/between.h); the moment of one
// world alone is exactly DrawScene's picture.
void DrawSceneAt(const SceneMoment &moment, uint32_t fps);
