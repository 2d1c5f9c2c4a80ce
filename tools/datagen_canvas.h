// The drawing surface of the data generator: one 128 x 128 texture cell at a
// supersampled resolution, painted with shapes given as signed distances (negative
// inside), so every edge is smooth before the cell is averaged down to texels.
// Colours are straight RGBA in 0..1 when handed in; the canvas keeps them
// premultiplied so that layers stack with the ordinary "over" rule.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/datagen_math.h"

namespace gen {

constexpr int kCellTexels = 128;
constexpr int kSuper = 3;  // samples per texel along each axis
constexpr int kCellSamples = kCellTexels * kSuper;
constexpr float kHalfCell = kCellTexels / 2.0f;

struct Rgba {
  float r, g, b, a;
};
inline Rgba Col(float r, float g, float b, float a = 1) { return {r, g, b, a}; }
inline Rgba Lerp(Rgba x, Rgba y, float t) {
  return {Mix(x.r, y.r, t), Mix(x.g, y.g, t), Mix(x.b, y.b, t), Mix(x.a, y.a, t)};
}
inline Rgba Scale(Rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }
inline Rgba WithAlpha(Rgba c, float a) { return {c.r, c.g, c.b, a}; }

struct Pt {
  float x, y;
};

// A shape: its signed distance in texels at a point of the cell (origin at the cell's
// centre, x to the right, y down) and the box that holds its inside.
struct Shape {
  std::function<float(float, float)> dist;
  float x0, y0, x1, y1;
};

// Nothing at all: the start of a shape built up by unions.
Shape Nothing();
Shape Circle(float cx, float cy, float r);
Shape Ellipse(float cx, float cy, float rx, float ry);
Shape Box(float cx, float cy, float halfW, float halfH, float round = 0);
Shape Capsule(float ax, float ay, float bx, float by, float r);
// A capsule whose radius runs from ra at a to rb at b.
Shape Taper(float ax, float ay, float ra, float bx, float by, float rb);
Shape Polygon(std::vector<Pt> points);
// A polygon symmetric about the horizontal axis, given by its upper outline (y <= 0)
// from the nose to the tail; the lower half is the mirror image.
Shape Hull(std::vector<Pt> upper);
Shape Union(const Shape &a, const Shape &b);
Shape Union(std::initializer_list<Shape> shapes);
Shape Subtract(const Shape &a, const Shape &b);
Shape Intersect(const Shape &a, const Shape &b);
Shape MirrorY(const Shape &a);  // the shape and its mirror image across y = 0
Shape Grow(const Shape &a, float by);
Shape Outline(const Shape &a, float width);  // a band of the given width along the edge
Shape Moved(const Shape &a, float dx, float dy);
Shape Rotated(const Shape &a, float radians);  // about the cell's centre

struct Canvas {
  std::vector<float> px;  // premultiplied RGBA, kCellSamples x kCellSamples
  Canvas() : px(size_t(kCellSamples) * kCellSamples * 4, 0.0f) {}
};

// What a fill asks for each covered sample: position, signed distance and, for lit
// fills, the outward normal of the nearest edge.
struct Sample {
  float x, y, d, nx, ny;
};
using Shader = std::function<Rgba(const Sample &)>;

void Fill(Canvas &canvas, const Shape &shape, Rgba colour);
void Fill(Canvas &canvas, const Shape &shape, const Shader &shader, bool wantNormal = false);
// A soft halo: full colour inside, fading to nothing over radius texels outside.
void Glow(Canvas &canvas, const Shape &shape, Rgba colour, float radius);
// A paint over everything already drawn, confined by shape and weighted by the
// shader's alpha: shading, highlights and rim lights.
void Overlay(Canvas &canvas, const Shape &shape, const Shader &shader, bool wantNormal = false);

// Averages a canvas down into one cell of a 512 x 512 premultiplied RGBA float image,
// clearing a band along the cell's border so nothing bleeds into the neighbours.
void ResolveCell(const Canvas &canvas, std::vector<float> &image, int cell);

}  // namespace gen

namespace gen {

// A colour ramp: stops as (position, colour) pairs, positions rising from 0 to 1.
struct Stop {
  float at;
  Rgba colour;
};
Rgba Ramp(const std::vector<Stop> &stops, float t);

// Common paints.
Shader Radial(float cx, float cy, float radius, std::vector<Stop> stops);
Shader Linear(float ax, float ay, float bx, float by, std::vector<Stop> stops);
// Hull plating lit from the upper left: bright rims, a deeper tone inside, a cool
// highlight on edges facing the light and a coloured rim on the others. Needs normals.
Shader Armour(Rgba base);

// A lamp: a small bright disc with a white centre and a halo of its colour.
void Lamp(Canvas &canvas, float x, float y, float r, Rgba colour);
// A thin line along a shape's edge (panel seams, trims).
void Seam(Canvas &canvas, const Shape &shape, float width, Rgba colour);

// The sword hand of the first atlas's cell 0; the desktop icon shows it too.
void PaintHand(Canvas &canvas);

}  // namespace gen
