// The batch queue, checked on the batches the front end hands its rasterizer: runs of
// draws with the same state become one batch, triangles and lines apart; a state
// change draws the queue with the old state at the next draw, and setting a texture
// alone draws nothing; Clear, Present, a locked texture and a texture released for good
// draw the queue first; a full queue is drawn and goes on without losing a primitive.
#include <gtest/gtest.h>
#include <vector>
#include "recording_device.h"

using namespace d3d8test;

namespace {

class Batching : public RecordedDevice {};

TEST_F(Batching, AStateChangeBetweenTwoDrawsDrawsExactlyOneBatchWithTheOldState) {
  dev->BeginScene();
  Triangle(10, 10);
  Triangle(30, 10);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  EXPECT_TRUE(Take().empty());   // the change alone draws nothing
  Triangle(50, 10);
  std::vector<Recorded> first = TakeBatches();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].call, Call::Triangles);
  EXPECT_FALSE(first[0].state.blend);
  ASSERT_EQ(first[0].vertices.size(), 6u);
  EXPECT_EQ(first[0].vertices[0].x, 10.0f);
  EXPECT_EQ(first[0].vertices[3].x, 30.0f);
  dev->EndScene();
  std::vector<Recorded> second = TakeBatches();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_TRUE(second[0].state.blend);
  ASSERT_EQ(second[0].vertices.size(), 3u);
  EXPECT_EQ(second[0].vertices[0].x, 50.0f);
}

TEST_F(Batching, StatesThatEndAsTheyWereOrResolveTheSameKeepOneBatch) {
  dev->BeginScene();
  Triangle(10, 10);
  // Set to what it is already; changed and changed back; a state that draws nothing
  // different (the ambient light of untransformed vertices).
  dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  Triangle(20, 10);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  Triangle(30, 10);
  dev->SetRenderState(D3DRS_AMBIENT, 0xFF102030);
  Triangle(40, 10);
  dev->EndScene();
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].vertices.size(), 12u);
}

TEST_F(Batching, DrawsWithTheSameStateMergeTrianglesAndLinesApart) {
  dev->BeginScene();
  for (int i = 0; i < 5; ++i) Sprite(10.0f * i, 0);
  for (int i = 0; i < 4; ++i) Line(0, 20.0f + i);
  for (int i = 0; i < 3; ++i) Triangle(10.0f * i, 40);
  dev->EndScene();
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0].call, Call::Triangles);
  EXPECT_EQ(batches[0].vertices.size(), 30u);   // five quads of two triangles
  EXPECT_EQ(batches[1].call, Call::Lines);
  EXPECT_EQ(batches[1].vertices.size(), 8u);
  EXPECT_EQ(batches[2].call, Call::Triangles);
  EXPECT_EQ(batches[2].vertices.size(), 9u);
  // In the order drawn.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(batches[1].vertices[2 * i].y, 20.0f + i);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(batches[2].vertices[3 * i].x, 10.0f * i);
  // Alternating lines and triangles cannot be merged: every switch is a batch.
  dev->BeginScene();
  for (int i = 0; i < 10; ++i) {
    Sprite(100, 100);
    Line(0, 0);
  }
  dev->EndScene();
  EXPECT_EQ(TakeBatches().size(), 20u);
}

// The frame the render benchmark measures, in miniature: trail triangles, sprites with
// the sheet set again between the enemies and the particles, sparks, then triangles.
TEST_F(Batching, RunsOfDrawsWithTheSameStateReachTheRasterizerAsOneBatch) {
  IDirect3DTexture8 *sheet = Texture();
  dev->BeginScene();
  dev->SetTexture(0, sheet);
  for (int i = 0; i < 100; ++i) Sprite(20.0f + i * 7, 300);
  dev->SetTexture(0, sheet);   // the same texture again changes nothing
  for (int i = 0; i < 50; ++i) Sprite(20.0f + i * 7, 400);
  // Lines unbind the texture: one more batch for the sparks, however many.
  for (int i = 0; i < 60; ++i) {
    dev->SetTexture(0, nullptr);
    Line(10, 10.0f + i);
  }
  for (int i = 0; i < 8; ++i) {
    dev->SetTexture(0, nullptr);
    Triangle(500, 500.0f + i);
  }
  dev->EndScene();
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 3u);   // sprites, lines, triangles
  EXPECT_EQ(batches[0].vertices.size(), 150u * 6);
  EXPECT_EQ(batches[0].state.texture, RasterOf(sheet));
  EXPECT_EQ(batches[1].vertices.size(), 120u);
  EXPECT_EQ(batches[1].state.texture, nullptr);
  EXPECT_EQ(batches[2].vertices.size(), 24u);
  sheet->Release();
}

TEST_F(Batching, SettingATextureAloneDrawsNothingTheNextDrawDecides) {
  IDirect3DTexture8 *sheet = Texture(), *other = Texture();
  // Another texture set and the first set again with nothing drawn in between (text
  // drawn line by line, the game's own state put back after each) keeps one batch.
  dev->BeginScene();
  for (int i = 0; i < 6; ++i) {
    dev->SetTexture(0, sheet);
    Sprite(100.0f + i * 20, 100);
    dev->SetTexture(0, other);
    dev->SetTexture(0, nullptr);
    EXPECT_TRUE(Take().empty());
  }
  dev->EndScene();
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].vertices.size(), 36u);
  EXPECT_EQ(batches[0].state.texture, RasterOf(sheet));
  // A draw with another texture does draw the queue, with the texture it was queued with.
  dev->BeginScene();
  dev->SetTexture(0, sheet);
  Sprite(0, 0);
  dev->SetTexture(0, other);
  Sprite(20, 0);
  batches = TakeBatches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].state.texture, RasterOf(sheet));
  EXPECT_EQ(batches[0].vertices[0].x, 0.0f);
  dev->EndScene();
  batches = TakeBatches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].state.texture, RasterOf(other));
  dev->SetTexture(0, nullptr);
  other->Release();
  sheet->Release();
}

TEST_F(Batching, ATextureReleasedForGoodDrawsItsQueueBeforeItGoes) {
  IDirect3DTexture8 *passing = Texture();
  const RasterTexture *raster = RasterOf(passing);
  dev->BeginScene();
  dev->SetTexture(0, passing);
  passing->Release();   // the device's reference is the last
  Sprite(100, 100);
  EXPECT_TRUE(Take().empty());
  dev->SetTexture(0, nullptr);   // the texture goes here
  std::vector<Recorded> calls = Take();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].call, Call::Triangles);
  EXPECT_EQ(calls[0].state.texture, raster);
  EXPECT_EQ(calls[1].call, Call::Forget);
  EXPECT_EQ(calls[1].texture, raster);
  dev->EndScene();
  EXPECT_TRUE(Take().empty());   // nothing was left queued
}

TEST_F(Batching, ALockedTextureDrawsWhatIsQueuedFirstForItStillReadsTheOldTexels) {
  IDirect3DTexture8 *sheet = Texture();
  dev->BeginScene();
  dev->SetTexture(0, sheet);
  Sprite(0, 0);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(sheet->LockRect(0, &locked, nullptr, 0), D3D_OK);
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].state.texture, RasterOf(sheet));
  sheet->UnlockRect(0);
  dev->EndScene();
  dev->SetTexture(0, nullptr);
  sheet->Release();
}

TEST_F(Batching, ClearAndPresentDrawTheQueueBeforeTheirOwnWork) {
  dev->BeginScene();
  Triangle(0, 0);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
  Triangle(20, 0);
  // Present inside the scene: what is queued still reaches the picture first.
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<Recorded> calls = Take();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].call, Call::Triangles);
  EXPECT_EQ(calls[0].vertices[0].x, 0.0f);
  EXPECT_EQ(calls[1].call, Call::Clear);
  EXPECT_EQ(calls[1].color, 0xFF123456u);
  EXPECT_EQ(calls[2].call, Call::Triangles);
  EXPECT_EQ(calls[2].vertices[0].x, 20.0f);
  EXPECT_EQ(calls[3].call, Call::Present);
  dev->EndScene();
  EXPECT_TRUE(Take().empty());
}

TEST_F(Batching, AFullQueueIsDrawnAndTheDrawGoesOnWithoutLosingAPrimitive) {
  // More vertices in one draw than the queue holds (65,536), for triangles and lines.
  const UINT triangles = 30000, lines = 40000;
  std::vector<Vertex> v(3 * triangles);
  for (size_t i = 0; i < v.size(); ++i) {
    float x = (float)(i / 3 % 700), corner = (float)(i % 3);
    v[i] = {x + (corner == 1 ? 10 : 0), corner == 2 ? 10.0f : 0.0f, 0, 1, (D3DCOLOR)i, 0, 0};
  }
  dev->BeginScene();
  dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, v.data(), sizeof(Vertex));
  dev->DrawPrimitiveUP(D3DPT_LINELIST, lines, v.data(), sizeof(Vertex));
  dev->EndScene();
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 4u);
  EXPECT_EQ(batches[0].call, Call::Triangles);
  EXPECT_EQ(batches[0].vertices.size(), 65535u);   // as many whole triangles as fit
  EXPECT_EQ(batches[0].vertices.size() + batches[1].vertices.size(), 3u * triangles);
  EXPECT_EQ(batches[2].call, Call::Lines);
  EXPECT_EQ(batches[2].vertices.size(), 65536u);
  EXPECT_EQ(batches[2].vertices.size() + batches[3].vertices.size(), 2u * lines);
  // Every vertex in order: each carries its index as its colour.
  for (int b : {0, 2}) {
    const std::vector<RasterVertex> &a = batches[b].vertices, &c = batches[b + 1].vertices;
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i].diffuse, (uint32_t)i) << b << " " << i;
    for (size_t i = 0; i < c.size(); ++i) ASSERT_EQ(c[i].diffuse, (uint32_t)(a.size() + i)) << b << " " << i;
  }
}

}  // namespace
