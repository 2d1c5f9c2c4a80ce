// The reference device's batch: the decisions that hold for every triangle or line of
// one draw (the texture, the stage's combination, which span loop writes the pixels,
// the clip within the target), then each primitive in turn.
#include <algorithm>
#include "platform/raster/ref_rasterizer.h"

namespace refraster {

void Draw(const Target &target, const RasterState &st, const RasterVertex *v, int count, bool lines) {
  Batch b;
  b.color = target.color;
  b.depth = target.depth;
  b.width = target.width;
  b.height = target.height;
  b.s = &st;
  b.texture = RasterUsesTexture(st) ? st.texture : nullptr;
  b.combine = ClassifyCombine(st);
  bool lequal = st.depthTest && st.depthFunc == D3DCMP_LESSEQUAL && st.depthWrite;
  bool plain = !st.alphaTest && st.colorWriteMask == 0xF;
  bool blend = st.blend && st.srcBlend == D3DBLEND_SRCALPHA && st.destBlend == D3DBLEND_INVSRCALPHA;
  bool opaque = !st.blend || (st.srcBlend == D3DBLEND_ONE && st.destBlend == D3DBLEND_ZERO);
  if (plain && lequal && blend) b.output = OutputBlend;
  else if (plain && lequal && opaque) b.output = OutputOpaque;
  else if (plain && !st.depthTest && blend) b.output = OutputBlendNoDepth;
  else if (plain && !st.depthTest && opaque) b.output = OutputOpaqueNoDepth;
  else b.output = OutputAny;
  b.clipLeft = std::max(0, st.clipLeft);
  b.clipTop = std::max(0, st.clipTop);
  b.clipRight = std::min(b.width, st.clipRight);
  b.clipBottom = std::min(b.height, st.clipBottom);
  if (lines)
    for (int i = 0; i + 1 < count; i += 2) DrawLine(b, v[i], v[i + 1]);
  else
    for (int i = 0; i + 2 < count; i += 3) DrawTriangle(b, v[i], v[i + 1], v[i + 2]);
}

}  // namespace refraster
