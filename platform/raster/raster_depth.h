// The depth test that cannot fail, left out by both devices. After a clear of the whole
// depth buffer a device knows the depths the buffer can hold: the cleared one and those
// drawn since, between `low` and `high`. A batch at one depth throughout (its own
// triangles could otherwise hide one another) whose depth passes against all of them
// (the game's frame: everything at depth 0 against a buffer cleared to 1,
// less-or-equal) is drawn without the test, which spares reading and writing the
// buffer; the depths it should have written are kept (the batch itself) and written
// only when a later draw could fail against them or a part of the buffer is cleared.
// The whole clear itself waits until then. Strict comparisons are never left out: two
// depths can round to one stored value.
#pragma once
#include <algorithm>
#include <cstddef>
#include <vector>
#include "platform/raster/raster.h"

// Whether a clear reaches the whole target: the viewport's clip and every rectangle
// given cover all of it. Such a depth clear starts a device's record afresh.
inline bool ClearsWholeTarget(const RasterState &st, int count, const D3DRECT *rects, int width, int height) {
  bool whole = st.clipLeft <= 0 && st.clipTop <= 0 && st.clipRight >= width && st.clipBottom >= height;
  for (int i = 0; i < count && whole; ++i)
    whole = rects[i].x1 <= 0 && rects[i].y1 <= 0 && rects[i].x2 >= width && rects[i].y2 >= height;
  return whole;
}

class DepthRecord {
public:
  // Whether the record holds (from a whole clear until the kept depths are written).
  bool Known() const { return known; }
  // Whether the whole clear is still to be done, and to which depth.
  bool ClearPending() const { return clearPending; }
  double Cleared() const { return cleared; }

  // After a clear of the whole buffer to `depth`, in the device's units; the device
  // leaves the clear itself to be done before the kept depths are written.
  void Start(double depth) {
    Forget();
    known = clearPending = depth == depth;
    cleared = depth;
  }

  void Forget() {
    known = clearPending = false;
    vertices.clear();
    batches.clear();
    low = 2.0e9;
    high = -2.0e9;
  }

  // The state to draw a batch with: a copy without the depth test when no pixel of the
  // batch can fail it (the batch is then kept for its depths), else `st` itself, and
  // then *writeFirst says that the depths left out so far must be written first.
  // `units` turns a vertex's z into the buffer's units; `slack` widens the batch's
  // depths by the device's rounding across a triangle.
  template <class Units>
  const RasterState &Consider(const RasterState &st, const RasterVertex *v, int count, bool lines, Units units,
                              double slack, bool *writeFirst) {
    *writeFirst = false;
    if (!st.depthTest || !known) return st;
    bool level = true;   // one depth throughout (a NaN is never level)
    double lo = 2.0e9, hi = -2.0e9;
    for (int i = 0; i < count; ++i) {
      level = level && v[i].z == v[0].z;
      const double z = units(v[i].z);
      lo = std::min(lo, z - slack);
      hi = std::max(hi, z + slack);
    }
    bool passes = false;
    if (level && st.depthFunc == D3DCMP_ALWAYS) passes = true;
    else if (level && st.depthFunc == D3DCMP_LESSEQUAL) passes = hi <= std::min(cleared, low);
    else if (level && st.depthFunc == D3DCMP_GREATEREQUAL) passes = lo >= std::max(cleared, high);
    if (!passes || (st.depthWrite && vertices.size() + (size_t)count > MaxVertices)) {
      *writeFirst = true;
      return st;
    }
    if (st.depthWrite) {
      batches.push_back({st, lines, vertices.size(), count});
      vertices.insert(vertices.end(), v, v + count);
      low = std::min(low, lo);
      high = std::max(high, hi);
    }
    withoutDepth = st;
    withoutDepth.depthTest = false;
    withoutDepth.depthWrite = false;
    return withoutDepth;
  }

  // Hands the kept batches over in order, each with the state that writes its depths
  // and touches no colour (the same pixels, an alpha test included, as the batch drew):
  // draw(state, vertices, count, lines).
  template <class Draw>
  void Replay(Draw draw) const {
    for (const Batch &b : batches) {
      RasterState depthOnly = b.state;
      depthOnly.colorWriteMask = 0;
      depthOnly.depthFunc = D3DCMP_ALWAYS;
      draw(depthOnly, &vertices[b.first], b.count, b.lines);
    }
  }

private:
  struct Batch {
    RasterState state;
    bool lines;
    size_t first;
    int count;
  };
  static constexpr size_t MaxVertices = 1 << 20;   // vertices kept before they are written
  bool known = false;
  bool clearPending = false;
  double cleared = 1.0, low = 2.0e9, high = -2.0e9;
  std::vector<RasterVertex> vertices;
  std::vector<Batch> batches;
  RasterState withoutDepth;
};
