// The second atlas: the enemies. Every ship faces left (heading 0 flies left), has its
// own outline and colour, and glows on the black field; the shots are small, hot and
// bright; the four bosses are the largest and carry the most detail.
#include <cmath>

#include "tools/datagen.h"
#include "tools/datagen_canvas.h"

namespace gen {

namespace {

const Rgba kSteel = Col(0.68f, 0.72f, 0.8f);
const Rgba kDark = Col(0.05f, 0.04f, 0.08f, 0.8f);
const Rgba kWhite = Col(1, 1, 1);

Rgba Darker(Rgba c, float k) { return Col(c.r * k, c.g * k, c.b * k, c.a); }

// The soft light a ship casts around its outline.
void Aura(Canvas &c, const Shape &shape, Rgba colour, float radius = 8) {
  Glow(c, shape, WithAlpha(colour, 0.42f), radius);
}

// An engine nozzle at (x, y) with its exhaust streaming to the right.
void Engine(Canvas &c, float x, float y, float r, Rgba colour, float flame = 3) {
  float end = std::fmin(x + r * flame, 55.0f);
  Shape plume = Taper(x, y, r, end, y, 0.4f);
  Glow(c, plume, WithAlpha(colour, 0.5f), r * 1.6f);
  Fill(c, plume, Linear(x, y, end, y, {{0, Lerp(colour, kWhite, 0.6f)}, {0.5f, colour}, {1, WithAlpha(colour, 0)}}));
  Lamp(c, x, y, r * 0.8f, colour);
}

// A cockpit canopy: glass lit from the upper left.
void Canopy(Canvas &c, float cx, float cy, float rx, float ry, Rgba tint) {
  Fill(c, Ellipse(cx, cy, rx, ry),
       Radial(cx - rx * 0.35f, cy - ry * 0.5f, rx * 1.2f, {{0, kWhite}, {0.3f, Lerp(tint, kWhite, 0.5f)}, {1, Darker(tint, 0.35f)}}));
}

// ----- shots -----

void HotBullet(Canvas &c) {
  Glow(c, Circle(0, 0, 20), Col(1, 0.35f, 0.08f, 0.6f), 32);
  Fill(c, Circle(0, 0, 24),
       Radial(0, 0, 24, {{0, Col(1, 1, 0.95f)}, {0.35f, Col(1, 0.95f, 0.6f)}, {0.7f, Col(1, 0.6f, 0.15f)}, {1, Col(1, 0.3f, 0.08f)}}));
  Glow(c, Circle(-4, -4, 5), Col(1, 1, 1, 0.9f), 7);
}

void Missile(Canvas &c) {
  Rgba fire = Col(1, 0.55f, 0.12f);
  // The flame first, so the body covers its root.
  Shape flame = Taper(12, 0, 9, 54, 0, 0.5f);
  Glow(c, flame, WithAlpha(fire, 0.55f), 9);
  Fill(c, flame, Linear(12, 0, 54, 0, {{0, Col(1, 0.95f, 0.7f)}, {0.35f, fire}, {1, Col(1, 0.25f, 0.05f, 0)}}));
  Fill(c, Taper(12, 0, 4.5f, 36, 0, 0.5f), Col(1, 1, 0.85f, 0.95f));
  Shape fins = MirrorY(Polygon({{-2, -7}, {8, -19}, {16, -19}, {14, -7}}));
  Shape body = Hull({{-50, 0}, {-38, -7}, {-28, -9}, {12, -9}, {15, -5}});
  Aura(c, Union(fins, body), Col(1, 0.4f, 0.3f), 6);
  Fill(c, fins, Armour(Col(0.95f, 0.3f, 0.25f)), true);
  Fill(c, body, Armour(Col(0.9f, 0.92f, 0.98f)), true);
  Overlay(c, Box(-45, 0, 17, 12), [](const Sample &) { return Col(1, 0.25f, 0.2f, 1); });
  Overlay(c, Box(-2, 0, 2.5f, 12), [](const Sample &) { return Col(1, 0.3f, 0.25f, 0.9f); });
  Lamp(c, -44, 0, 2.5f, Col(1, 0.8f, 0.4f));
}

void PaleBullet(Canvas &c) {
  Rgba pale = Col(0.68f, 0.72f, 1);
  Glow(c, Circle(0, 0, 21), WithAlpha(pale, 0.5f), 28);
  Fill(c, Circle(0, 0, 25), Radial(0, 0, 25, {{0, Col(0.8f, 0.85f, 1)}, {0.6f, Col(0.62f, 0.66f, 0.98f)}, {1, Col(0.9f, 0.92f, 1)}}));
  Fill(c, Outline(Circle(0, 0, 23), 3), Col(0.97f, 0.98f, 1, 0.9f));
  Glow(c, Circle(-6, -6, 4), Col(1, 1, 1, 0.85f), 7);
}

void Needle(Canvas &c) {
  Rgba green = Col(0.3f, 1, 0.55f);
  Shape tail = Taper(20, 0, 4, 54, 0, 0.4f);
  Glow(c, tail, WithAlpha(green, 0.4f), 8);
  Fill(c, tail, Linear(20, 0, 54, 0, {{0, green}, {1, WithAlpha(green, 0)}}));
  Shape needle = Hull({{-54, 0}, {-22, -7}, {22, -4.5f}, {36, 0}});
  Glow(c, needle, WithAlpha(green, 0.6f), 12);
  Fill(c, needle, [green](const Sample &s) { return Lerp(green, Col(0.9f, 1, 0.95f), Smooth(0.5f, -4.0f, s.d)); });
  Fill(c, Hull({{-44, 0}, {-20, -2}, {16, -1.5f}, {26, 0}}), Col(1, 1, 1));
}

// ----- ships -----

void Drone(Canvas &c) {
  Rgba lime = Col(0.55f, 1, 0.3f);
  Shape pod = Circle(6, 0, 19);
  Shape prongs = MirrorY(Union(Taper(0, -12, 7.5f, -24, -24, 5), Taper(-24, -24, 5, -44, -12, 1.5f)));
  Shape fins = MirrorY(Polygon({{12, -14}, {36, -32}, {32, -8}}));
  Aura(c, Union({pod, prongs, fins}), lime);
  Fill(c, fins, Armour(Darker(lime, 0.75f)), true);
  Fill(c, prongs, Armour(lime), true);
  Fill(c, pod, Armour(lime), true);
  Seam(c, Circle(6, 0, 12.5f), 1.6f, kDark);
  Seam(c, Box(20, 0, 4, 0.01f), 1.6f, kDark);
  Lamp(c, -6, 0, 7, Col(1, 0.32f, 0.2f));
  Engine(c, 26, 0, 3.5f, Col(0.4f, 0.9f, 1));
}

void Gunship(Canvas &c) {
  Rgba cyan = Col(0.25f, 0.88f, 1);
  Shape hull = Hull({{-50, 0}, {-34, -7}, {-10, -11}, {14, -38}, {30, -42}, {30, -20}, {42, -14}, {46, -6}, {46, 0}});
  Shape guns = MirrorY(Capsule(-48, -17, -14, -17, 2.6f));
  Shape mounts = MirrorY(Box(-12, -16, 8, 4.5f, 2));
  Aura(c, Union({hull, guns, mounts}), cyan);
  Engine(c, 46, -6, 3.5f, Col(1, 0.6f, 0.2f));
  Engine(c, 46, 6, 3.5f, Col(1, 0.6f, 0.2f));
  Fill(c, guns, Armour(kSteel), true);
  Fill(c, hull, Armour(cyan), true);
  Fill(c, mounts, Armour(Darker(cyan, 0.8f)), true);
  Seam(c, Hull({{-30, 0}, {-10, -6}, {20, -8}, {36, -6}, {36, 0}}), 1.3f, kDark);
  Seam(c, MirrorY(Polygon({{6, -16}, {22, -34}, {26, -34}, {24, -18}})), 1.3f, kDark);
  Canopy(c, -20, 0, 11, 4.5f, Col(0.2f, 0.6f, 1));
  Lamp(c, -48, -17, 2, Col(0.7f, 1, 1));
  Lamp(c, -48, 17, 2, Col(0.7f, 1, 1));
  Lamp(c, 27, -38, 1.8f, Col(1, 0.4f, 0.3f));
  Lamp(c, 27, 38, 1.8f, Col(1, 0.4f, 0.3f));
}

void Carrier(Canvas &c) {
  Rgba orange = Col(1, 0.6f, 0.16f);
  Shape hull = Hull({{-44, 0}, {-40, -10}, {-20, -15}, {-8, -42}, {24, -46}, {32, -18}, {46, -12}, {48, 0}});
  Aura(c, hull, orange);
  Engine(c, 48, -6, 3.5f, Col(0.4f, 0.8f, 1));
  Engine(c, 48, 6, 3.5f, Col(0.4f, 0.8f, 1));
  Fill(c, hull, Armour(orange), true);
  Seam(c, MirrorY(Polygon({{-4, -20}, {4, -40}, {22, -42}, {26, -20}})), 1.3f, kDark);
  // Two missiles under each wing, noses forward.
  for (float y : {-26.0f, -35.0f, 26.0f, 35.0f}) {
    Shape m = Capsule(-10, y, 18, y, 3.3f);
    Fill(c, m, Armour(Col(0.92f, 0.92f, 0.96f)), true);
    Fill(c, Circle(-10, y, 3.4f), Col(1, 0.25f, 0.2f));
  }
  Fill(c, Box(22, 0, 10, 7, 3), Armour(Darker(orange, 0.7f)), true);
  for (int k = 0; k < 3; k++) Lamp(c, 16.0f + k * 6, 0, 1.5f, Col(1, 0.95f, 0.6f));
  Canopy(c, -30, 0, 8, 4, Col(0.3f, 0.7f, 1));
}

void Spreader(Canvas &c) {
  Rgba violet = Col(0.72f, 0.45f, 1);
  Shape fins = MirrorY(Polygon({{18, -14}, {44, -36}, {50, -30}, {34, -6}}));
  Shape body = Circle(8, 0, 22);
  Shape barrels = Nothing();
  Pt tips[5];
  for (int k = 0; k < 5; k++) {
    double a = (k - 2) * 15.0 * kPi / 180;
    float dx = float(-Cos(a)), dy = float(Sin(a));
    tips[k] = {8 + dx * 44, dy * 44};
    barrels = Union(barrels, Capsule(8 + dx * 10, dy * 10, tips[k].x, tips[k].y, 3.4f));
  }
  Aura(c, Union({fins, body, barrels}), violet);
  Fill(c, fins, Armour(Darker(violet, 0.75f)), true);
  Fill(c, barrels, Armour(kSteel), true);
  Fill(c, body, Armour(violet), true);
  Seam(c, Circle(8, 0, 15), 1.6f, kDark);
  Lamp(c, 8, 0, 7.5f, Col(1, 0.5f, 1));
  for (const Pt &t : tips) Lamp(c, t.x, t.y, 2.4f, Col(1, 0.7f, 1));
  Engine(c, 31, 0, 3.5f, Col(1, 0.5f, 0.9f));
}

void HeavyShip(Canvas &c) {
  Rgba crimson = Col(1, 0.28f, 0.25f);
  Shape hull = Hull({{-46, 0}, {-42, -12}, {-28, -20}, {-8, -22}, {-2, -38}, {22, -44}, {36, -34}, {40, -22}, {50, -18}, {52, 0}});
  Shape cannons = MirrorY(Capsule(-54, -8, -34, -8, 3.2f));
  Aura(c, Union(hull, cannons), crimson);
  for (float y : {-9.0f, 9.0f}) Engine(c, 51, y, 4, Col(1, 0.75f, 0.25f), 1.0f);
  Fill(c, cannons, Armour(kSteel), true);
  Fill(c, hull, Armour(crimson), true);
  Seam(c, Hull({{-32, 0}, {-24, -11}, {10, -13}, {42, -11}, {42, 0}}), 1.4f, kDark);
  Seam(c, MirrorY(Polygon({{0, -30}, {20, -40}, {32, -32}, {34, -24}, {6, -24}})), 1.4f, kDark);
  // The drone bays: dark mouths lit from inside.
  for (float y : {-31.0f, 31.0f}) {
    Shape bay = Box(16, y, 9, 3.6f, 1.5f);
    Fill(c, bay, Col(0.12f, 0.02f, 0.03f));
    Seam(c, bay, 1.4f, Col(1, 0.6f, 0.3f));
  }
  Fill(c, Box(18, 0, 9, 6, 3), Armour(kSteel), true);
  for (int k = 0; k < 3; k++) Lamp(c, 12.0f + k * 6, 0, 1.5f, Col(1, 0.9f, 0.5f));
  Lamp(c, -40, 0, 3, Col(1, 0.7f, 0.3f));
}

void Crawler(Canvas &c) {
  Rgba magenta = Col(1, 0.35f, 0.8f);
  Shape legs = Nothing();
  for (int k = 0; k < 3; k++) {
    float bx = -2.0f + k * 12;
    legs = Union(legs, MirrorY(Union(Taper(bx, -10, 4, bx - 2, -28, 3), Taper(bx - 2, -28, 3, bx - 13, -38, 1.2f))));
  }
  Shape mandibles = MirrorY(Union(Taper(-26, -6, 3, -40, -10, 1.5f), Taper(-40, -10, 1.5f, -45, -3, 0.8f)));
  Shape body = Ellipse(8, 0, 25, 16);
  Shape head = Circle(-20, 0, 11);
  Aura(c, Union({legs, mandibles, body, head}), magenta);
  Fill(c, legs, Armour(Darker(magenta, 0.7f)), true);
  Fill(c, mandibles, Armour(kSteel), true);
  Fill(c, body, Armour(magenta), true);
  Seam(c, Intersect(Ellipse(16, 0, 17, 13), body), 1.4f, kDark);
  Seam(c, Intersect(Ellipse(23, 0, 10, 9), body), 1.4f, kDark);
  Fill(c, head, Armour(Lerp(magenta, kWhite, 0.15f)), true);
  Lamp(c, -25, -5, 2.8f, Col(1, 0.95f, 0.3f));
  Lamp(c, -25, 5, 2.8f, Col(1, 0.95f, 0.3f));
}

void AgileFighter(Canvas &c) {
  Rgba ice = Col(0.72f, 0.86f, 1);
  Shape fuselage = Hull({{-52, 0}, {-34, -5}, {-6, -8}, {30, -7}, {40, -4}, {40, 0}});
  Shape wings = MirrorY(Polygon({{18, -6}, {-10, -40}, {-3, -43}, {32, -8}}));
  Shape canards = MirrorY(Polygon({{-30, -4}, {-37, -14}, {-31, -15}, {-22, -5}}));
  Shape tails = MirrorY(Polygon({{26, -6}, {40, -20}, {45, -19}, {38, -5}}));
  Aura(c, Union({fuselage, wings, canards, tails}), Col(0.5f, 0.7f, 1));
  Engine(c, 41, 0, 4, Col(0.5f, 0.7f, 1), 3.2f);
  Fill(c, Union(wings, tails), Armour(ice), true);
  Fill(c, canards, Armour(ice), true);
  Seam(c, MirrorY(Polygon({{10, -14}, {-2, -32}, {2, -33}, {16, -15}})), 1.4f, Col(0.25f, 0.45f, 1, 0.9f));
  Fill(c, fuselage, Armour(Lerp(ice, kWhite, 0.3f)), true);
  Canopy(c, -24, 0, 9, 3.5f, Col(0.15f, 0.35f, 0.9f));
  Lamp(c, -7, -40, 2.2f, Col(0.4f, 0.9f, 1));
  Lamp(c, -7, 40, 2.2f, Col(0.4f, 0.9f, 1));
}

void HeavyGunship(Canvas &c) {
  Rgba gold = Col(1, 0.86f, 0.3f);
  Shape hull = Hull({{-40, 0}, {-36, -14}, {-22, -20}, {16, -20}, {26, -36}, {44, -38}, {46, -22}, {52, -14}, {52, 0}});
  Shape cannons = MirrorY(Capsule(-48, -16, -22, -16, 3.2f));
  Shape barrel = Union(Capsule(-50, 0, 4, 0, 4.2f), Box(-50, 0, 3, 6, 1.5f));
  Shape turret = Circle(6, 0, 13);
  Aura(c, Union({hull, cannons, barrel}), gold);
  for (float y : {-8.0f, 8.0f}) Engine(c, 52, y, 3.5f, Col(0.45f, 0.75f, 1), 1.0f);
  Engine(c, 45, -30, 3, Col(0.45f, 0.75f, 1), 2.5f);
  Engine(c, 45, 30, 3, Col(0.45f, 0.75f, 1), 2.5f);
  Fill(c, cannons, Armour(kSteel), true);
  Fill(c, hull, Armour(gold), true);
  Seam(c, MirrorY(Polygon({{20, -22}, {28, -32}, {40, -33}, {42, -22}})), 1.4f, kDark);
  Seam(c, Box(-10, 0, 20, 13, 3), 1.4f, kDark);
  Fill(c, MirrorY(Box(-22, -16, 6, 5, 2)), Armour(Darker(gold, 0.7f)), true);
  Fill(c, barrel, Armour(kSteel), true);
  Fill(c, turret, Armour(Darker(gold, 0.8f)), true);
  Seam(c, Circle(6, 0, 8), 1.4f, kDark);
  Lamp(c, 6, 0, 3.5f, Col(1, 0.5f, 0.2f));
  Lamp(c, -50, 0, 2, Col(1, 0.9f, 0.6f));
}

// ----- bosses -----

void BossOne(Canvas &c) {
  Rgba hullColour = Col(1, 0.55f, 0.25f), trim = Col(1, 0.88f, 0.45f, 0.9f), needle = Col(0.4f, 1, 0.6f);
  Shape hull = Hull({{-53, 0}, {-46, -8}, {-26, -12}, {-16, -22}, {6, -24}, {14, -36}, {36, -46}, {46, -44}, {42, -26}, {52, -20}, {52, 0}});
  Shape pods = MirrorY(Box(16, -36, 13, 6, 2.5f));
  Shape turrets = MirrorY(Union(Circle(-20, -13, 5), Capsule(-34, -13, -20, -13, 1.9f)));
  Aura(c, Union({hull, pods, turrets}), hullColour, 9);
  for (float y : {-11.0f, 0.0f, 11.0f}) Engine(c, 52, y, 3.8f, Col(0.5f, 0.8f, 1), 0.8f);
  Fill(c, hull, Armour(hullColour), true);
  // A darker deck inside a gold trim, crossed by plating seams.
  Shape deck = Grow(hull, -5);
  Overlay(c, deck, [](const Sample &s) { return Col(0.9f, 0.32f, 0.14f, 0.4f * Smooth(0.0f, -3.0f, s.d)); });
  Seam(c, deck, 1.3f, trim);
  Seam(c, Hull({{-38, 0}, {-24, -6}, {40, -8}, {44, 0}}), 1.3f, kDark);
  Seam(c, MirrorY(Polygon({{10, -24}, {18, -34}, {38, -42}, {36, -28}})), 1.3f, kDark);
  for (float x : {-8.0f, 30.0f}) Seam(c, Intersect(Box(x, 0, 0.01f, 30), deck), 1.3f, kDark);
  for (int k = 0; k < 5; k++) {
    Lamp(c, -30.0f + k * 15, -10.5f, 1.2f, Col(1, 0.9f, 0.5f));
    Lamp(c, -30.0f + k * 15, 10.5f, 1.2f, Col(1, 0.9f, 0.5f));
  }
  Fill(c, pods, Armour(kSteel), true);
  for (float y : {-36.0f, 36.0f}) {
    Seam(c, Box(16, y, 13, 6, 2.5f), 1.2f, kDark);
    for (int k = 0; k < 3; k++) Lamp(c, 5, y - 3.5f + k * 3.5f, 1.5f, Col(1, 0.4f, 0.2f));
  }
  Fill(c, turrets, Armour(kSteel), true);
  Lamp(c, -20, -13, 2, Col(1, 0.7f, 0.3f));
  Lamp(c, -20, 13, 2, Col(1, 0.7f, 0.3f));
  Shape bridge = Box(16, 0, 13, 9, 4);
  Fill(c, bridge, Armour(Lerp(kSteel, hullColour, 0.3f)), true);
  Seam(c, bridge, 1.3f, kDark);
  for (int k = 0; k < 4; k++) Lamp(c, 8.0f + k * 5.5f, -3, 1.3f, Col(1, 0.95f, 0.6f));
  Lamp(c, 26, 4, 2.2f, Col(1, 0.3f, 0.2f));
  // The prow's emitter, which throws the green needles.
  Fill(c, Hull({{-50, 0}, {-42, -4}, {-34, -4}, {-34, 0}}), Armour(kSteel), true);
  Lamp(c, -45, 0, 3, needle);
}

void BossTwo(Canvas &c) {
  Rgba green = Col(0.35f, 1, 0.5f);
  Shape fins = MirrorY(Polygon({{20, -14}, {46, -32}, {52, -26}, {34, -4}}));
  Shape arms = MirrorY(Taper(12, -12, 11, -24, -36, 7));
  Shape pods = MirrorY(Circle(-27, -39, 9.5f));
  Shape body = Ellipse(8, 0, 26, 20);
  Shape prow = Hull({{-38, 0}, {-26, -9}, {-8, -12}, {-8, 0}});
  Aura(c, Union({fins, arms, pods, body, prow}), green, 9);
  Engine(c, 35, -7, 3.5f, Col(0.8f, 1, 0.5f), 4);
  Engine(c, 35, 7, 3.5f, Col(0.8f, 1, 0.5f), 4);
  Fill(c, fins, Armour(Darker(green, 0.7f)), true);
  Fill(c, arms, Armour(Darker(green, 0.85f)), true);
  Seam(c, MirrorY(Capsule(6, -14, -20, -33, 0.01f)), 1.3f, kDark);
  Fill(c, pods, Armour(green), true);
  // The hangar mouths that release the drones.
  for (float y : {-40.0f, 40.0f}) {
    Fill(c, Circle(-30, y, 4.5f), Col(0.05f, 0.15f, 0.08f));
    Seam(c, Circle(-30, y, 4.5f), 1.5f, Col(0.8f, 1, 0.7f));
  }
  Fill(c, body, Armour(green), true);
  Seam(c, Ellipse(10, 0, 18, 13), 1.3f, kDark);
  Fill(c, prow, Armour(kSteel), true);
  Lamp(c, -28, 0, 4.5f, Col(1, 0.35f, 0.25f));
  Fill(c, Circle(12, 0, 8), Radial(12, 0, 8, {{0, kWhite}, {0.5f, Col(0.7f, 1, 0.8f)}, {1, Col(0.1f, 0.5f, 0.25f)}}));
  for (int k = 0; k < 6; k++) {
    double a = k * kPi / 3 + 0.5;
    Lamp(c, 10 + float(Cos(a)) * 20, float(Sin(a)) * 15, 1.4f, Col(0.8f, 1, 0.6f));
  }
}

void BossThree(Canvas &c) {
  Rgba ice = Col(0.4f, 0.75f, 1);
  Shape spikes = Nothing();
  for (int k = 0; k < 8; k++) {
    double a = k * kPi / 4;
    float len = (k == 4) ? 54.0f : (k == 3 || k == 5) ? 50.0f : 44.0f;  // longest forward
    spikes = Union(spikes, Taper(float(Cos(a)) * 20, float(Sin(a)) * 20, 8, float(Cos(a)) * len, float(Sin(a)) * len, 1));
  }
  Shape disc = Circle(0, 0, 31);
  Aura(c, Union(spikes, disc), ice, 9);
  Fill(c, spikes, Armour(Lerp(ice, kWhite, 0.4f)), true);
  Fill(c, disc, Armour(ice), true);
  Seam(c, Circle(0, 0, 24), 1.5f, kDark);
  for (int k = 0; k < 8; k++) {
    double a = k * kPi / 4 + kPi / 8;
    Seam(c, Capsule(float(Cos(a)) * 24, float(Sin(a)) * 24, float(Cos(a)) * 30, float(Sin(a)) * 30, 0.01f), 1.4f, kDark);
    Lamp(c, float(Cos(a - kPi / 8)) * 27.5f, float(Sin(a - kPi / 8)) * 27.5f, 1.5f, Col(0.8f, 0.95f, 1));
  }
  // The lens where its charge gathers.
  Glow(c, Circle(-3, 0, 15), Col(0.6f, 0.9f, 1, 0.8f), 8);
  Fill(c, Circle(-3, 0, 16), Radial(-3, 0, 16, {{0, kWhite}, {0.35f, Col(0.8f, 0.95f, 1)}, {0.8f, Col(0.25f, 0.6f, 1)}, {1, Col(0.1f, 0.2f, 0.5f)}}));
  Fill(c, Circle(-8, -5, 3.5f), Col(1, 1, 1, 0.85f));
}

void FinalBoss(Canvas &c) {
  Rgba violet = Col(0.55f, 0.3f, 0.92f), crimson = Col(1, 0.18f, 0.32f), gold = Col(1, 0.8f, 0.35f, 0.9f);
  Shape hull = Hull({{-54, 0}, {-42, -7}, {-30, -10}, {-34, -24}, {-18, -20}, {-8, -44}, {8, -52}, {16, -32},
                     {30, -38}, {44, -52}, {52, -48}, {46, -26}, {53, -16}, {53, 0}});
  Shape cannons = MirrorY(Capsule(-53, -15, -28, -15, 2.6f));
  Shape horns = MirrorY(Taper(-16, -21, 4.5f, -40, -42, 1));
  Aura(c, Union({hull, cannons, horns}), crimson, 10);
  for (float y : {-8.0f, 8.0f}) Engine(c, 53, y, 4, Col(1, 0.4f, 0.5f), 0.6f);
  Fill(c, horns, Armour(Lerp(violet, kWhite, 0.3f)), true);
  Fill(c, cannons, Armour(kSteel), true);
  Fill(c, hull, Armour(violet), true);
  Seam(c, Grow(hull, -4), 1.4f, gold);
  Seam(c, MirrorY(Polygon({{-4, -24}, {6, -44}, {12, -30}, {8, -18}})), 1.4f, kDark);
  Seam(c, MirrorY(Polygon({{22, -20}, {32, -32}, {42, -44}, {40, -22}})), 1.4f, kDark);
  Seam(c, Hull({{-40, 0}, {-26, -6}, {36, -10}, {44, 0}}), 1.4f, kDark);
  for (float y : {-15.0f, 15.0f}) Lamp(c, -53, y, 2, crimson);
  for (float y : {-46.0f, 46.0f}) Lamp(c, 8, y, 2.2f, Col(1, 0.8f, 0.3f));
  for (float y : {-40.0f, 40.0f}) Lamp(c, 44, y, 2, Col(1, 0.8f, 0.3f));
  Lamp(c, -38, -3.5f, 1.8f, crimson);
  Lamp(c, -38, 3.5f, 1.8f, crimson);
  // The heart of the ship: a crimson core in a gold ring.
  Glow(c, Circle(2, 0, 12), WithAlpha(crimson, 0.9f), 10);
  Fill(c, Circle(2, 0, 14), Radial(2, 0, 14, {{0, kWhite}, {0.3f, Col(1, 0.75f, 0.8f)}, {0.7f, crimson}, {1, Col(0.5f, 0.05f, 0.15f)}}));
  Seam(c, Circle(2, 0, 15.5f), 2.6f, gold);
}

}  // namespace

bool EnemyCellUsed(int) { return true; }  // the 18 types use all 16 cells

void PaintEnemyAtlas(std::vector<float> &image) {
  void (*const painters[16])(Canvas &) = {HotBullet, Missile,  PaleBullet, Drone,     Gunship, Carrier,   Spreader,      HeavyShip,
                                          Crawler,   Needle,   BossOne,    BossTwo,   BossThree, AgileFighter, HeavyGunship, FinalBoss};
  for (int cell = 0; cell < 16; cell++) {
    Canvas c;
    painters[cell](c);
    ResolveCell(c, image, cell);
  }
}

}  // namespace gen
