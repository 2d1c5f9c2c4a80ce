// The vertex path, checked on the vertices of the batches: strips, fans and line strips
// become the triangles and lines they describe, wound as drawn; flat shading gives a
// primitive its first vertex's colour; culling goes by the winding on screen; and
// untransformed vertices go through world, view and projection, in that order, and the
// viewport.
#include <gtest/gtest.h>
#include <vector>
#include "recording_device.h"

using namespace d3d8test;

namespace {

class VertexPath : public RecordedDevice {
protected:
  // The vertices of one draw of four vertices whose colours are their indices.
  std::vector<RasterVertex> Draw(D3DPRIMITIVETYPE kind, UINT count) {
    Vertex v[4] = {{0, 0, 0, 1, 0, 0, 0}, {10, 0, 0, 1, 1, 0, 0}, {0, 10, 0, 1, 2, 0, 0}, {10, 10, 0, 1, 3, 0, 0}};
    dev->BeginScene();
    EXPECT_EQ(dev->DrawPrimitiveUP(kind, count, v, sizeof(Vertex)), D3D_OK);
    dev->EndScene();
    std::vector<Recorded> batches = TakeBatches();
    return batches.empty() ? std::vector<RasterVertex>() : batches[0].vertices;
  }
  static std::vector<uint32_t> Colours(const std::vector<RasterVertex> &vertices) {
    std::vector<uint32_t> out;
    for (const RasterVertex &v : vertices) out.push_back(v.diffuse);
    return out;
  }
  using List = std::vector<uint32_t>;
};

TEST_F(VertexPath, ListsStripsAndFansBecomeTheTrianglesAndLinesTheyDescribe) {
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  EXPECT_EQ(Colours(Draw(D3DPT_TRIANGLESTRIP, 2)), (List{0, 1, 2, 1, 3, 2}));   // the second wound back
  EXPECT_EQ(Colours(Draw(D3DPT_TRIANGLEFAN, 2)), (List{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(Colours(Draw(D3DPT_LINESTRIP, 3)), (List{0, 1, 1, 2, 2, 3}));
  EXPECT_EQ(Colours(Draw(D3DPT_LINELIST, 2)), (List{0, 1, 2, 3}));
  // Flat shading: each primitive in its first vertex's colour (the strip's second
  // triangle starts at vertex 1).
  dev->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  EXPECT_EQ(Colours(Draw(D3DPT_TRIANGLESTRIP, 2)), (List{0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(Colours(Draw(D3DPT_LINESTRIP, 3)), (List{0, 0, 1, 1, 2, 2}));
}

TEST_F(VertexPath, CullingGoesByTheWindingOnScreen) {
  // Of the fan's two triangles (0, 1, 2) is clockwise on screen and (0, 2, 3) is not.
  EXPECT_EQ(Colours(Draw(D3DPT_TRIANGLEFAN, 2)), (List{0, 1, 2}));   // counter-clockwise culled by default
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  EXPECT_EQ(Colours(Draw(D3DPT_TRIANGLEFAN, 2)), (List{0, 2, 3}));
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  EXPECT_EQ(Draw(D3DPT_TRIANGLEFAN, 2).size(), 6u);
}

TEST_F(VertexPath, UntransformedVerticesGoThroughWorldViewProjectionAndTheViewport) {
  struct Position {
    float x, y, z;
  };
  // The world moves x by 1, the view halves x, the projection halves y: in that order
  // (0.5, 0.5, 0.5) lands at x = 0.75, y = 0.25; in any other order x is not 0.75.
  D3DMATRIX world = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1}}};
  D3DMATRIX view = {{{0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
  D3DMATRIX projection = {{{1, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
  dev->SetTransform(D3DTS_WORLD, &world);
  dev->SetTransform(D3DTS_VIEW, &view);
  dev->SetTransform(D3DTS_PROJECTION, &projection);
  D3DVIEWPORT8 viewport = {100, 100, 200, 150, 0.25f, 0.75f};
  dev->SetViewport(&viewport);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  dev->SetVertexShader(D3DFVF_XYZ);
  Position p[3] = {{0.5f, 0.5f, 0.5f}, {-1, -1, 0}, {-1, 1, 1}};
  dev->BeginScene();
  dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, p, sizeof(Position));
  dev->EndScene();
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 1u);
  const RasterVertex &v = batches[0].vertices[0];
  // x: 100 + (1 + 0.75) / 2 x 200, y: 100 + (1 - 0.25) / 2 x 150, less half a pixel;
  // z: 0.25 + 0.5 x (0.75 - 0.25).
  EXPECT_FLOAT_EQ(v.x, 274.5f);
  EXPECT_FLOAT_EQ(v.y, 155.75f);
  EXPECT_FLOAT_EQ(v.z, 0.5f);
  EXPECT_FLOAT_EQ(v.rhw, 1.0f);
  EXPECT_EQ(v.diffuse, 0xFFFFFFFFu);   // no colour in the format: white
  EXPECT_EQ(batches[0].state.clipLeft, 100);
  EXPECT_EQ(batches[0].state.clipBottom, 250);
}

}  // namespace
