// The picture of one frame: on the title screen the drifting stars and the title texts;
// in a game the sword trail, the enemies, the hand, the particles and sparks, the power
// gauge and the HUD, with the end texts, the stage title and the random-mode tag on top.
// Also the two fonts and the two ways all texts are drawn.
#include "render/scene.h"

#include <cstdio>

#include "platform/d3dx/d3dx.h"
#include "render/between.h"
#include "render/device.h"
#include "render/primitives.h"
#include "render/world_draw.h"
#include "world/rules.h"
#include "world/world.h"

ID3DXFont *fonts[2];

namespace {

constexpr int FontSlots = 2;
const char *const copyrightLine = "(C) 2026 quillrun developers";

const KeptScoresLine *keptScores;

ID3DXFont *FontIn(int slot) { return (slot >= 0 && slot < FontSlots) ? fonts[slot] : nullptr; }

// The sword trail's alpha ramp: a(k) = k x 254 / 8, taken in floating point and cut to
// a whole number only when a corner uses it.
float TrailAlpha(int k) { return float(k) * 254.0f * 0.125f; }

D3DCOLOR TrailColour(float alpha) { return D3DCOLOR_ARGB(int(alpha), 255, 60, 180); }

// The newest blade follows the hand where it is drawn: its base and its tip move with
// the hand's lead. It still grows out of the trail: the edge it shares with the blade
// before it (from its base to the tip before it) stays where the update put it, and
// the strip between that edge and the moved base is drawn in the blade's colours, so
// no gap opens between the newest blade and the trail however far the hand leads (in
// slow motion up to three frames of motion). A blade that is not drawn, all three
// corners on the hand, moves whole and stays not drawn.
void DrawNewestBlade(const SwordTriangle &blade, float dx, float dy, D3DCOLOR baseColour, D3DCOLOR previousColour,
                     D3DCOLOR tipColour) {
  const bool none = blade.base.x == blade.previousTip.x && blade.base.x == blade.tip.x &&
                    blade.base.y == blade.previousTip.y && blade.base.y == blade.tip.y;
  if (none) return;   // three corners on one point draw nothing, wherever the point is
  const SwordPoint base = {blade.base.x + dx, blade.base.y + dy};
  const SwordPoint tip = {blade.tip.x + dx, blade.tip.y + dy};
  DrawTriangle(base.x, base.y, blade.previousTip.x, blade.previousTip.y, tip.x, tip.y, baseColour, previousColour,
               tipColour);
  DrawTriangle(blade.base.x, blade.base.y, blade.previousTip.x, blade.previousTip.y, base.x, base.y, baseColour,
               previousColour, baseColour);
}

void DrawTrail(const PlayerRecord &player, SwordPoint hand) {
  const float dx = hand.x - player.x, dy = hand.y - player.y;
  const bool leads = dx != 0.0f || dy != 0.0f;
  for (int i = 0; i < 8; ++i) {
    const SwordTriangle &t = player.trail[i];
    float newer = TrailAlpha(8 - i), older = TrailAlpha(7 - i);
    if (i == 0 && leads) {
      DrawNewestBlade(t, dx, dy, TrailColour((newer + older) / 2), TrailColour(older), TrailColour(newer));
      continue;
    }
    DrawTriangle(t.base.x, t.base.y, t.previousTip.x, t.previousTip.y, t.tip.x, t.tip.y,
                 TrailColour((newer + older) / 2), TrailColour(older), TrailColour(newer));
  }
}

// The bar grows leftwards from x = 500 and fades towards its left end; at full power
// it covers the dark blue frame.
void DrawPowerGauge(const PlayerRecord &player) {
  float xp = 500.0f - float(player.power) * 0.5f;
  DrawLine(300, 26, 500, 26, 0xFF0000C8, 0xFF0000C8);
  DrawLine(300, 27, 500, 27, 0xFF0000C8, 0xFF0000C8);
  DrawLine(xp, 25, 500, 25, 0xFF3278FF, 0xFF64FFFF);
  DrawLine(xp, 26, 500, 26, 0xB93278FF, 0xFF64FFFF);
  DrawLine(xp, 27, 500, 27, 0x733278FF, 0xFF64FFFF);
  DrawLine(xp, 28, 500, 28, 0x733278FF, 0xFF64FFFF);
}

void DrawTitle(const SceneMoment &moment) {
  char text[100];
  device->SetTexture(0, textures[0]);
  DrawParticles(moment);
  // The fainter copy is centred in a rectangle 6 wider and 3 lower: a shadow 3 right, 3 down.
  DrawTextCentered("QUILLRUN", 0, 806, 183, 0x5064C8FF, 1);
  DrawTextCentered("QUILLRUN", 0, 800, 180, 0xA064C8FF, 1);
  std::snprintf(text, sizeof text, "version %s", gameVersion);
  DrawTextCentered(text, 0, 800, 260, 0xFFB4C8FF, 0);
  DrawTextCentered("PRESS LEFT BUTTON TO NORMAL GAME START", 0, 800, 370, 0xFFB4C8FF, 0);
  DrawTextCentered("PRESS RIGHT BUTTON TO RANDOM GAME START", 0, 800, 400, 0xFFB4C8FF, 0);
  DrawTextCentered(copyrightLine, 0, 800, 460, 0xFFB4C8FF, 0);
  if (keptScores && keptScores->shown) {
    std::snprintf(text, sizeof text, "BEST %d   RANDOM %d", keptScores->bestNormal, keptScores->bestRandom);
    DrawTextCentered(text, 0, 800, 490, 0xFFB4C8FF, 0);
  }
}

// The HUD and the texts are the newest world's.
void DrawGame(const SceneMoment &moment, uint32_t fps) {
  const World &world = *moment.newest;
  const PlayerRecord &Player = world.Player;
  char text[100];
  DrawTrail(Player, moment.hand);
  device->SetTexture(0, textures[1]);
  DrawEnemies(moment);
  device->SetTexture(0, textures[0]);
  DrawSprite(moment.hand.x, moment.hand.y, 0.0f, 40.0f, 0, 255);
  DrawParticles(moment);
  DrawEffects(moment);
  DrawPowerGauge(Player);

  std::snprintf(text, sizeof text, "%d%%", int(float(Player.power) * 0.25f));
  DrawTextAt(text, 510, 20, 0xFF64C8FF, 0);
  std::snprintf(text, sizeof text, "SCORE %d   SHIELD %d", world.score, int(Player.shield));
  DrawTextAt(text, 20, 20, 0xFFFFFFFF, 0);
  if (world.keysHeld.enter) {
    std::snprintf(text, sizeof text, "quillrun [version %s] / by mossgate / frame rate %d FPS", gameVersion,
                  int(fps));
    DrawTextCentered(text, 0, 800, 200, 0xFFFFFFFF, 0);
  }

  // Each of these is tested on its own: a stage title current when the game ends stays
  // under the end texts.
  if (world.GameState == GameOver) {
    DrawTextCentered("GAME OVER", 0, 800, 250, 0xC8FFFFFF, 1);
    DrawTextCentered("PRESS ESC KEY TO BACK", 0, 800, 340, 0xC8FFFFFF, 0);
    if (keptScores && keptScores->newBest) DrawTextCentered("NEW BEST", 0, 800, 370, 0xC8FFFFFF, 0);
  }
  if (world.GameState == AllClear) {
    DrawTextCentered("ALL CLEAR", 0, 800, 250, 0xC8FFFFFF, 1);
    DrawTextCentered("Congratulations! thx 4 playing!", 0, 800, 320, 0xC8FFFFFF, 0);
    DrawTextCentered("PRESS ESC KEY TO BACK", 0, 800, 380, 0xC8FFFFFF, 0);
    if (keptScores && keptScores->newBest) DrawTextCentered("NEW BEST", 0, 800, 410, 0xC8FFFFFF, 0);
  }
  const int scriptIndex = world.scriptIndex;
  if (scriptIndex >= 0 && scriptIndex < StageSteps && world.StageScript.op[scriptIndex] == StageTitle) {
    static const char *const titles[] = {"STAGE-1", "STAGE-2", "STAGE-3", "STAGE-4"};
    int stage = world.StageScript.arg[scriptIndex];
    if (stage >= 1 && stage <= 4) DrawTextCentered(titles[stage - 1], 0, 800, 260, 0x7864C8FF, 1);
  }
  if (world.randomMode == 1) DrawTextAt("RANDOM MODE", 20, 570, 0xFFFFFFFF, 0);
}

}  // namespace

void CreateGameFont(int slot, int height) {
  if (slot < 0 || slot >= FontSlots || device == nullptr) return;
  LOGFONTA logFont = {};
  logFont.lfHeight = height;
  logFont.lfWeight = FW_MEDIUM;
  logFont.lfCharSet = SHIFTJIS_CHARSET;
  logFont.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  logFont.lfQuality = DRAFT_QUALITY;
  logFont.lfPitchAndFamily = FIXED_PITCH;
  // "ＭＳ ゴシック" in Shift-JIS; any fixed-pitch Japanese face stands in when it is absent.
  static const char faceName[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";
  static_assert(sizeof faceName == 14, "13 bytes and the terminating zero");
  for (size_t i = 0; i < sizeof faceName; ++i) logFont.lfFaceName[i] = faceName[i];
  ID3DXFont *made = nullptr;
  if (SUCCEEDED(D3DXCreateFontIndirect(device, &logFont, &made)) && made != nullptr) {
    if (fonts[slot] != nullptr) fonts[slot]->Release();
    fonts[slot] = made;
  }
}

// A slot whose font could not be made draws nothing.
void DrawTextAt(const char *text, int x, int y, D3DCOLOR colour, int slot) {
  ID3DXFont *font = FontIn(slot);
  if (font == nullptr || text == nullptr) return;
  RECT rect = {x, y, 800, 600};
  font->DrawTextA(text, -1, &rect, DT_LEFT | DT_TOP, colour);
}

void DrawTextCentered(const char *text, int left, int right, int top, D3DCOLOR colour, int slot) {
  ID3DXFont *font = FontIn(slot);
  if (font == nullptr || text == nullptr) return;
  RECT rect = {left, top, right, 600};
  font->DrawTextA(text, -1, &rect, DT_CENTER, colour);
}

void ShowKeptScores(const KeptScoresLine *line) { keptScores = line; }

void DrawScene(const World &world, uint32_t fps) { DrawSceneAt(MomentOf(world), fps); }

void DrawSceneAt(const SceneMoment &moment, uint32_t fps) {
  if (device == nullptr || moment.previous == nullptr || moment.newest == nullptr) return;
  device->SetVertexShader(D3DFVF_SCREENVERTEX);
  if (moment.newest->GameState == Title) {
    DrawTitle(moment);
  } else {
    DrawGame(moment, fps);
  }
}
