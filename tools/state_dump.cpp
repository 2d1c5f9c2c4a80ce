// The replay runner's state dump: floats are printed with nine significant digits, which
// read back to the identical 32-bit value; free slots are left out.
#include "tools/state_dump.h"

#include <cstdarg>
#include <cstdio>

#include "world/world.h"

namespace {

void Append(std::string *out, const char *format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n > 0) out->append(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

void AppendFloat(std::string *out, float value) { Append(out, "%.9g", static_cast<double>(value)); }

void AppendPoint(std::string *out, const SwordPoint &point) {
  out->push_back('[');
  AppendFloat(out, point.x);
  out->push_back(',');
  AppendFloat(out, point.y);
  out->push_back(']');
}

void AppendFloatField(std::string *out, const char *name, float value) {
  Append(out, "\"%s\":", name);
  AppendFloat(out, value);
  out->push_back(',');
}

}  // namespace

void DumpState(const World &world, const std::vector<std::pair<int, int>> &sounds, std::string *out) {
  const PlayerRecord &Player = world.Player;
  out->clear();
  Append(out, "{\"frameCounter\":%u,\"GameState\":%d,\"randomMode\":%d,\"score\":%d,\"slowMotion\":%d,",
         world.frameCounter, world.GameState, world.randomMode, world.score, world.slowMotion);

  out->append("\"player\":{");
  AppendFloatField(out, "x", Player.x);
  AppendFloatField(out, "y", Player.y);
  AppendFloatField(out, "vx", Player.vx);
  AppendFloatField(out, "vy", Player.vy);
  Append(out, "\"shield\":%d,\"power\":%d,\"trail\":[", Player.shield, Player.power);
  for (int i = 0; i < 8; i++) {
    const SwordTriangle &t = Player.trail[i];
    if (i > 0) out->push_back(',');
    out->push_back('[');
    AppendPoint(out, t.base);
    out->push_back(',');
    AppendPoint(out, t.previousTip);
    out->push_back(',');
    AppendPoint(out, t.tip);
    out->push_back(']');
  }
  out->append("]},");

  Append(out, "\"scriptIndex\":%d,\"scriptTimer\":%d,\"enemies\":[", world.scriptIndex, world.scriptTimer);
  bool first = true;
  for (int i = 0; i < EnemySlots; i++) {
    const Enemy &e = world.EnemyTable[i];
    if (e.hp <= 0) continue;
    if (!first) out->push_back(',');
    first = false;
    Append(out, "{\"slot\":%d,", i);
    AppendFloatField(out, "x", e.x);
    AppendFloatField(out, "y", e.y);
    AppendFloatField(out, "angle", e.angle);
    Append(out, "\"hp\":%d,\"type\":%d,\"age\":%d,\"param\":%d}", e.hp, e.type, e.age, e.param);
  }
  out->append("],\"particles\":[");
  first = true;
  for (int i = 0; i < ParticleSlots; i++) {
    const Particle &p = world.ParticleTable[i];
    if (p.life == 0) continue;
    if (!first) out->push_back(',');
    first = false;
    Append(out, "{\"slot\":%d,", i);
    AppendFloatField(out, "x", p.x);
    AppendFloatField(out, "y", p.y);
    AppendFloatField(out, "vx", p.vx);
    AppendFloatField(out, "vy", p.vy);
    AppendFloatField(out, "ax", p.ax);
    AppendFloatField(out, "ay", p.ay);
    AppendFloatField(out, "angle", p.angle);
    AppendFloatField(out, "size", p.size);
    AppendFloatField(out, "sizeStep", p.sizeStep);
    Append(out, "\"alpha\":%d,\"alphaStep\":%d,\"life\":%d,\"sprite\":%d}", p.alpha, p.alphaStep, p.life, p.sprite);
  }
  out->append("],\"effects\":[");
  first = true;
  for (int i = 0; i < EffectSlots; i++) {
    const Effect &e = world.EffectTable[i];
    if (e.alpha == 0) continue;
    if (!first) out->push_back(',');
    first = false;
    Append(out, "{\"slot\":%d,", i);
    AppendFloatField(out, "x0", e.x0);
    AppendFloatField(out, "x1", e.x1);
    AppendFloatField(out, "x2", e.x2);
    AppendFloatField(out, "y0", e.y0);
    AppendFloatField(out, "y1", e.y1);
    AppendFloatField(out, "y2", e.y2);
    AppendFloatField(out, "vx", e.vx);
    AppendFloatField(out, "vy", e.vy);
    AppendFloatField(out, "ax", e.ax);
    AppendFloatField(out, "ay", e.ay);
    Append(out, "\"alpha\":%d,\"alphaStep\":%d,\"red\":%d,\"green\":%d,\"blue\":%d}", e.alpha, e.alphaStep, e.red,
           e.green, e.blue);
  }
  Append(out, "],\"rngSeed\":%u,\"sounds\":[", world.randomSeed);
  for (size_t i = 0; i < sounds.size(); i++) {
    if (i > 0) out->push_back(',');
    Append(out, "[%d,%d]", sounds[i].first, sounds[i].second);
  }
  out->append("],\"scriptWait\":[");
  for (int i = 0; i < StageSteps; i++) {
    if (i > 0) out->push_back(',');
    Append(out, "%d", world.StageScript.wait[i]);
  }
  out->append("]}");
}
