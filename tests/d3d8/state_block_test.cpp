// State blocks, checked on the states the device reads back and on the states of the
// batches it draws: a block captures the states of its kind and applying it later puts
// back exactly those, a recorded block holds only what was set while recording and
// recording changes nothing on the device, and a texture released for good leaves the
// blocks that named it.
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "recording_device.h"

using namespace d3d8test;

namespace {

class StateBlocks : public RecordedDevice {
protected:
  DWORD Render(D3DRENDERSTATETYPE which) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(dev->GetRenderState(which, &value), D3D_OK);
    return value;
  }
  DWORD Stage(D3DTEXTURESTAGESTATETYPE which) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(dev->GetTextureStageState(0, which, &value), D3D_OK);
    return value;
  }
  // Changes every kind of state a block holds away from what it is.
  void ChangeEverything(IDirect3DTexture8 *texture) {
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    dev->SetTexture(0, texture);
    D3DVIEWPORT8 viewport = {100, 100, 200, 150, 0.0f, 1.0f};
    dev->SetViewport(&viewport);
    dev->SetTransform(D3DTS_PROJECTION, &halfX);
  }
  const D3DMATRIX halfX = {{{0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
};

TEST_F(StateBlocks, StateBlocksRestoreWhatTheyCapturedAndRecordingDoesNotApply) {
  DWORD saved = 0;
  ASSERT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &saved), D3D_OK);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  ASSERT_EQ(dev->ApplyStateBlock(saved), D3D_OK);
  EXPECT_EQ(Render(D3DRS_ZENABLE), (DWORD)D3DZB_TRUE);
  EXPECT_EQ(Stage(D3DTSS_MINFILTER), (DWORD)D3DTEXF_POINT);

  DWORD recorded = 0;
  ASSERT_EQ(dev->BeginStateBlock(), D3D_OK);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  ASSERT_EQ(dev->EndStateBlock(&recorded), D3D_OK);
  EXPECT_EQ(Render(D3DRS_ZENABLE), (DWORD)D3DZB_TRUE);
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->ApplyStateBlock(recorded);
  EXPECT_EQ(Render(D3DRS_ZENABLE), (DWORD)D3DZB_FALSE);
  EXPECT_EQ(Render(D3DRS_CULLMODE), (DWORD)D3DCULL_NONE);   // not in the recorded block

  // Capturing takes the current values of the block's own states.
  dev->CaptureStateBlock(saved);
  dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  dev->ApplyStateBlock(saved);
  EXPECT_EQ(Render(D3DRS_ZENABLE), (DWORD)D3DZB_FALSE);
  EXPECT_EQ(dev->DeleteStateBlock(saved), D3D_OK);
  EXPECT_EQ(dev->ApplyStateBlock(saved), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DeleteStateBlock(recorded), D3D_OK);
}

TEST_F(StateBlocks, ACapturedBlockAppliedLaterDrawsExactlyAsWhenItWasCaptured) {
  IDirect3DTexture8 *sheet = Texture(), *other = Texture();
  dev->SetTexture(0, sheet);
  dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  dev->SetRenderState(D3DRS_ALPHAREF, 0x40);
  const RasterState before = DrawnState();
  EXPECT_EQ(before.texture, RasterOf(sheet));
  DWORD all = 0;
  ASSERT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &all), D3D_OK);
  ChangeEverything(other);
  const RasterState changed = DrawnState();
  EXPECT_FALSE(changed == before);
  ASSERT_EQ(dev->ApplyStateBlock(all), D3D_OK);
  EXPECT_TRUE(DrawnState() == before);
  D3DMATRIX projection;
  dev->GetTransform(D3DTS_PROJECTION, &projection);
  EXPECT_EQ(projection._11, 1.0f);
  D3DVIEWPORT8 viewport;
  dev->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 800u);

  // Captured again, it holds the states of now.
  ChangeEverything(other);
  ASSERT_EQ(dev->CaptureStateBlock(all), D3D_OK);
  dev->ApplyStateBlock(all);   // applying what is set already changes nothing
  EXPECT_TRUE(DrawnState() == changed);
  dev->SetTexture(0, sheet);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  ASSERT_EQ(dev->ApplyStateBlock(all), D3D_OK);
  EXPECT_TRUE(DrawnState() == changed);
  dev->SetTexture(0, nullptr);
  dev->DeleteStateBlock(all);
  other->Release();
  sheet->Release();
}

TEST_F(StateBlocks, PixelAndVertexBlocksPutBackOnlyTheStatesOfTheirKind) {
  DWORD pixels = 0, vertices = 0;
  ASSERT_EQ(dev->CreateStateBlock(D3DSBT_PIXELSTATE, &pixels), D3D_OK);
  ASSERT_EQ(dev->CreateStateBlock(D3DSBT_VERTEXSTATE, &vertices), D3D_OK);
  ChangeEverything(nullptr);
  dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  dev->ApplyStateBlock(pixels);
  EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), (DWORD)FALSE);
  EXPECT_EQ(Render(D3DRS_ZFUNC), (DWORD)D3DCMP_LESSEQUAL);
  EXPECT_EQ(Stage(D3DTSS_MINFILTER), (DWORD)D3DTEXF_POINT);
  EXPECT_EQ(Render(D3DRS_CULLMODE), (DWORD)D3DCULL_NONE);   // a vertex state
  DWORD shader = 0;
  dev->GetVertexShader(&shader);
  EXPECT_EQ(shader, (DWORD)(D3DFVF_XYZ | D3DFVF_DIFFUSE));
  D3DMATRIX projection;
  dev->GetTransform(D3DTS_PROJECTION, &projection);
  EXPECT_EQ(projection._11, 0.5f);

  ChangeEverything(nullptr);
  dev->ApplyStateBlock(vertices);
  EXPECT_EQ(Render(D3DRS_CULLMODE), (DWORD)D3DCULL_CCW);
  dev->GetVertexShader(&shader);
  EXPECT_EQ(shader, Fvf);
  dev->GetTransform(D3DTS_PROJECTION, &projection);
  EXPECT_EQ(projection._11, 1.0f);
  EXPECT_EQ(Render(D3DRS_ALPHABLENDENABLE), (DWORD)TRUE);   // a pixel state
  EXPECT_EQ(Stage(D3DTSS_MINFILTER), (DWORD)D3DTEXF_LINEAR);
  dev->DeleteStateBlock(pixels);
  dev->DeleteStateBlock(vertices);
}

TEST_F(StateBlocks, ARecordedBlockHoldsOnlyWhatWasSetAndRecordingChangesNothing) {
  IDirect3DTexture8 *sheet = Texture();
  dev->BeginScene();
  Triangle(0, 0);
  ASSERT_EQ(dev->BeginStateBlock(), D3D_OK);
  EXPECT_EQ(dev->BeginStateBlock(), D3DERR_INVALIDCALL);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);   // the last value set is kept
  dev->SetTexture(0, sheet);
  DWORD block = 0;
  ASSERT_EQ(dev->EndStateBlock(&block), D3D_OK);
  // Nothing reached the device: the next draw joins the batch before the recording.
  Triangle(20, 0);
  dev->EndScene();
  std::vector<Recorded> batches = TakeBatches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].vertices.size(), 6u);
  EXPECT_FALSE(batches[0].state.blend);
  EXPECT_EQ(batches[0].state.texture, nullptr);

  dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
  dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  ASSERT_EQ(dev->ApplyStateBlock(block), D3D_OK);
  RasterState drawn = DrawnState();
  EXPECT_TRUE(drawn.blend);
  EXPECT_EQ(drawn.srcBlend, D3DBLEND_SRCALPHA);
  EXPECT_EQ(drawn.texture, RasterOf(sheet));
  EXPECT_EQ(drawn.depthFunc, D3DCMP_GREATER);   // not in the block
  EXPECT_EQ(drawn.destBlend, D3DBLEND_ONE);
  dev->SetTexture(0, nullptr);
  sheet->Release();
}

TEST_F(StateBlocks, ATextureReleasedForGoodLeavesTheBlocksThatNamedIt) {
  IDirect3DTexture8 *sheet = Texture();
  DWORD recorded = 0, captured = 0;
  dev->BeginStateBlock();
  dev->SetTexture(0, sheet);
  dev->EndStateBlock(&recorded);
  dev->SetTexture(0, sheet);
  dev->CreateStateBlock(D3DSBT_ALL, &captured);
  dev->SetTexture(0, nullptr);
  EXPECT_EQ(sheet->Release(), 0u);   // blocks hold no reference
  for (DWORD block : {recorded, captured}) {
    ASSERT_EQ(dev->ApplyStateBlock(block), D3D_OK);
    IDirect3DBaseTexture8 *bound = reinterpret_cast<IDirect3DBaseTexture8 *>(1);
    dev->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(DrawnState().texture, nullptr);
  }
  // Released while the block is still being recorded.
  IDirect3DTexture8 *passing = Texture();
  dev->BeginStateBlock();
  dev->SetTexture(0, passing);
  EXPECT_EQ(passing->Release(), 0u);
  dev->EndStateBlock(&recorded);
  ASSERT_EQ(dev->ApplyStateBlock(recorded), D3D_OK);
  IDirect3DBaseTexture8 *bound = reinterpret_cast<IDirect3DBaseTexture8 *>(1);
  dev->GetTexture(0, &bound);
  EXPECT_EQ(bound, nullptr);
}

TEST_F(StateBlocks, BlocksRefuseWhatIsNotTheirsToDo) {
  DWORD token = 0;
  EXPECT_EQ(dev->ApplyStateBlock(0), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->ApplyStateBlock(7), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->EndStateBlock(&token), D3DERR_INVALIDCALL);   // not recording
  EXPECT_EQ(dev->CreateStateBlock((D3DSTATEBLOCKTYPE)9, &token), D3DERR_INVALIDCALL);
  ASSERT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &token), D3D_OK);
  // While a block is recorded no other block is applied, captured, made or deleted.
  ASSERT_EQ(dev->BeginStateBlock(), D3D_OK);
  DWORD other = 0;
  EXPECT_EQ(dev->ApplyStateBlock(token), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CaptureStateBlock(token), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateStateBlock(D3DSBT_ALL, &other), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->DeleteStateBlock(token), D3DERR_INVALIDCALL);
  ASSERT_EQ(dev->EndStateBlock(&other), D3D_OK);
  EXPECT_NE(other, token);
  EXPECT_EQ(dev->DeleteStateBlock(token), D3D_OK);
  EXPECT_EQ(dev->DeleteStateBlock(token), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->ApplyStateBlock(other), D3D_OK);
}

}  // namespace
