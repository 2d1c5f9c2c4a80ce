// The reference device's rasterizer: draws one batch of triangles or lines with one
// state into a colour and a depth buffer in memory, following Direct3D's rules. It
// knows nothing of windows; the device (raster_ref.cpp) hands it the pixels of each
// draw. Its parts are spread by purpose: the batch's decisions (ref_batch.cpp),
// triangles and their fill rule (ref_triangle.cpp), lines (ref_line.cpp), the shading
// of pixels and spans (ref_shade.h) and texture sampling (ref_sampling.h).
#pragma once
#include <cstdint>
#include "platform/raster/raster.h"

namespace refraster {

// What a batch is drawn into: width x height 0xAARRGGBB colours and 16-bit depths
// (0 to 65535), rows without padding.
struct Target {
  uint32_t *color = nullptr;
  uint16_t *depth = nullptr;
  int width = 0, height = 0;
};

// Draws `count` vertices into `target`: three per triangle, or two per line.
void Draw(const Target &target, const RasterState &st, const RasterVertex *v, int count, bool lines);

// The fast outputs of a span: alpha blended or opaque, with the less-or-equal depth test
// and write, or (NoDepth) for a batch whose depth test cannot fail, drawn without it.
enum OutputKind { OutputBlend, OutputOpaque, OutputBlendNoDepth, OutputOpaqueNoDepth, OutputAny };

// The decisions that hold for every triangle and line of one batch.
struct Batch {
  uint32_t *color = nullptr;
  uint16_t *depth = nullptr;
  int width = 0, height = 0;
  const RasterState *s = nullptr;
  const RasterTexture *texture = nullptr;   // null when the stage reads none
  RasterCombine combine = CombineAny;
  OutputKind output = OutputAny;
  int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;   // the clip within the target
};

// One triangle or one line of a batch.
void DrawTriangle(const Batch &batch, const RasterVertex &p0, const RasterVertex &p1, const RasterVertex &p2);
void DrawLine(const Batch &batch, const RasterVertex &a, const RasterVertex &b);

}  // namespace refraster
