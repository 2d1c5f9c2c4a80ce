// The device, Present and the lost device, checked on what reaches the rasterizer: a
// new or reset device draws with Direct3D's documented defaults; a full-screen device
// whose window lost the focus draws and presents nothing, once told so, until Reset
// brings it back with every state at its default; Present waits for the retrace only
// where Direct3D's presentation rules say so.
#include <gtest/gtest.h>
#include <vector>
#include "platform/drivers/headless/headless.h"
#include "recording_device.h"

using namespace d3d8test;

namespace {

// Direct3D's defaults, resolved, for an 800 x 600 device with a depth buffer.
RasterState Defaults() {
  RasterState s;
  s.texture = nullptr;
  s.colorOp = OpModulate;   // texture x diffuse
  s.colorArg1 = ArgTexture;
  s.colorArg2 = ArgDiffuse;
  s.alphaOp = OpSelect1;    // the texture's alpha
  s.alphaArg1 = ArgTexture;
  s.alphaArg2 = ArgDiffuse;
  s.textureFactor = 0xFFFFFFFF;
  s.magFilter = s.minFilter = D3DTEXF_POINT;
  s.mipFilter = D3DTEXF_NONE;
  s.addressU = s.addressV = D3DTADDRESS_WRAP;
  s.lodBias = 0.0f;
  s.maxMipLevel = 0;
  s.alphaTest = false;
  s.alphaFunc = D3DCMP_ALWAYS;
  s.alphaRef = 0;
  s.depthTest = s.depthWrite = true;
  s.depthFunc = D3DCMP_LESSEQUAL;
  s.blend = false;
  s.srcBlend = D3DBLEND_ONE;
  s.destBlend = D3DBLEND_ZERO;
  s.colorWriteMask = 0xF;
  s.lastPixel = true;
  s.clipLeft = s.clipTop = 0;
  s.clipRight = 800;
  s.clipBottom = 600;
  return s;
}

class Device : public RecordedDevice {};

TEST_F(Device, ANewDeviceDrawsWithDirect3DsDefaults) {
  EXPECT_TRUE(DrawnState() == Defaults());
  // Without a depth buffer there is no depth test, whatever the state says.
  D3DPRESENT_PARAMETERS p = WindowedParams();
  p.EnableAutoDepthStencil = FALSE;
  Open(p, nullptr);
  RasterState noDepth = Defaults();
  noDepth.depthTest = noDepth.depthWrite = false;
  EXPECT_TRUE(DrawnState() == noDepth);
  EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(Device, ResetPutsEveryStateBackToItsDefaultAndResizesTheBackBuffer) {
  IDirect3DTexture8 *sheet = Texture();
  dev->SetTexture(0, sheet);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
  dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  EXPECT_FALSE(DrawnState() == Defaults());
  D3DPRESENT_PARAMETERS p = WindowedParams();
  p.BackBufferWidth = 640;
  p.BackBufferHeight = 480;
  ASSERT_EQ(dev->Reset(&p), D3D_OK);
  std::vector<Recorded> calls = Take();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].call, Call::Resize);
  EXPECT_EQ(calls[0].width, 640);
  EXPECT_EQ(calls[0].height, 480);
  IDirect3DBaseTexture8 *bound = nullptr;
  dev->GetTexture(0, &bound);
  EXPECT_EQ(bound, nullptr);
  EXPECT_EQ(sheet->Release(), 0u);   // the reset let go of it
  dev->SetVertexShader(Fvf);         // the vertex format went back to none too
  RasterState expected = Defaults();
  expected.clipRight = 640;
  expected.clipBottom = 480;
  EXPECT_TRUE(DrawnState() == expected);
  // The same size again resizes nothing.
  ASSERT_EQ(dev->Reset(&p), D3D_OK);
  EXPECT_TRUE(Take().empty());
}

TEST_F(Device, PresentWaitsForTheRetraceOnlyWhereDirect3DSaysSo) {
  EXPECT_EQ(recorder->presentInterval, 0);   // a window presents at once
  D3DPRESENT_PARAMETERS p = WindowedParams();
  p.SwapEffect = D3DSWAPEFFECT_COPY_VSYNC;
  ASSERT_EQ(dev->Reset(&p), D3D_OK);
  EXPECT_EQ(recorder->presentInterval, 1);
  p.Windowed = FALSE;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  ASSERT_EQ(dev->Reset(&p), D3D_OK);
  EXPECT_EQ(recorder->presentInterval, 0);
  p.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  ASSERT_EQ(dev->Reset(&p), D3D_OK);
  EXPECT_EQ(recorder->presentInterval, 1);
  // The window Present draws into: the device's, unless the call names another.
  dev->Present(nullptr, nullptr, nullptr, nullptr);
  dev->Present(nullptr, nullptr, reinterpret_cast<HWND>(0x1234), nullptr);
  std::vector<Recorded> calls = Take();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].window, nullptr);
  EXPECT_EQ(calls[1].window, reinterpret_cast<HWND>(0x1234));
}

// A full-screen device over a headless window whose focus the test takes away.
class FullScreenDevice : public Device {
protected:
  void SetUp() override {
    HeadlessEnable();
    HeadlessSetForeground(true);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "d3d8test";
    RegisterClassExA(&wc);
    window = CreateWindowExA(0, "d3d8test", "d3d8test", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    Open(FullScreen(), window);
  }
  void TearDown() override {
    Device::TearDown();
    DestroyWindow(window);
  }
  static D3DPRESENT_PARAMETERS FullScreen() {
    D3DPRESENT_PARAMETERS p = WindowedParams();
    p.Windowed = FALSE;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    return p;
  }
  void LoseTheFocusAndComeBack() {
    HeadlessSetForeground(false);
    HeadlessSetForeground(true);
  }
  HWND window = nullptr;
};

TEST_F(FullScreenDevice, ALostDeviceDropsWhatIsQueuedAndDrawsNothingUntilReset) {
  DrawnState();
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(Take().size(), 1u);   // the present

  dev->BeginScene();
  Triangle(0, 0);
  LoseTheFocusAndComeBack();
  // The first Present after the window is back says so, and what was queued is dropped.
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  dev->EndScene();
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  // Frames go on drawing nothing, and every Present says the device is lost.
  EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
  dev->BeginScene();
  Triangle(0, 0);
  dev->EndScene();
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_TRUE(Take().empty());

  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  D3DPRESENT_PARAMETERS p = FullScreen();
  ASSERT_EQ(dev->Reset(&p), D3D_OK);
  EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
  dev->SetVertexShader(Fvf);
  EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
  dev->BeginScene();
  Triangle(0, 0);
  dev->EndScene();
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(recorder->Kinds(), (std::vector<Call>{Call::Clear, Call::Triangles, Call::Present}));
  EXPECT_TRUE(recorder->calls[1].state == Defaults());   // the blending set while lost went with the reset
  // One loss, one lost result: the next frames present again.
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(FullScreenDevice, AWindowedDeviceIsNeverLost) {
  D3DPRESENT_PARAMETERS p = WindowedParams();
  Open(p, window);
  LoseTheFocusAndComeBack();
  EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(recorder->Kinds(), (std::vector<Call>{Call::Present}));
}

}  // namespace
