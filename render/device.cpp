// The Direct3D 8 objects of the game and the frame that renders them: the Direct3D
// object, the one device with its present parameters (kept for every Reset), the two
// sprite textures, RenderFrame with its fixed states, transforms and the lost-device
// recovery, and PaintFrame, the same picture presented again between frames.
#include "render/device.h"
#include "platform/d3dx/d3dx.h"
#include "datadir/data_path.h"
#include "render/between.h"
#include "render/scene.h"

IDirect3D8 *direct3D;
IDirect3DDevice8 *device;
bool waitForRetrace;
void (*pictureObserver)(const SceneMoment &moment);
uint32_t lastPresentMilliseconds;
D3DPRESENT_PARAMETERS presentParams;
IDirect3DTexture8 *textures[2];

namespace {
HWND deviceWindow;   // the focus window the frames are presented to
}  // namespace

const char *const textureFiles[2] = {"./data/qrtex1.dds", "./data/qrtex2.dds"};

namespace {

// The message texts are Shift-JIS, as the ANSI message box expects them.
const char *const createFailedText = "Direct3D\x82\xCC\x8D\xEC\x90\xAC\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
const char *const initFailedText =
    "Direct3D\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
const char *const resetFailedText = "Reset\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

// The devices to try, best first: a machine without hardware vertex processing still
// starts, and one without a usable hardware device falls back to the reference one.
const struct {
  D3DDEVTYPE type;
  DWORD behavior;
} deviceChoices[3] = {
    {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING},
    {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
    {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
};

}  // namespace

namespace {

// The present parameters of a window (in the desktop's format) or of full screen.
void FillPresentParams(int fullScreen) {
  D3DDISPLAYMODE mode = {};
  direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);

  presentParams = D3DPRESENT_PARAMETERS();
  presentParams.BackBufferWidth = 800;
  presentParams.BackBufferHeight = 600;
  presentParams.BackBufferFormat = fullScreen ? D3DFMT_R5G6B5 : mode.Format;
  presentParams.BackBufferCount = 1;
  presentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
  // In a window the copy presents at once; smooth pacing asks it to wait for the
  // retrace, so each picture is shown whole for one refresh. Full screen presents on
  // the retrace either way (the default interval).
  presentParams.SwapEffect = (waitForRetrace && !fullScreen) ? D3DSWAPEFFECT_COPY_VSYNC : D3DSWAPEFFECT_COPY;
  presentParams.hDeviceWindow = nullptr;
  presentParams.Windowed = fullScreen ? FALSE : TRUE;
  presentParams.EnableAutoDepthStencil = TRUE;
  presentParams.AutoDepthStencilFormat = D3DFMT_D16;
  presentParams.Flags = 0;
  presentParams.FullScreen_RefreshRateInHz = 0;
  presentParams.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
}

}  // namespace

int InitDirect3D(HWND window, int fullScreen) {
  deviceWindow = window;
  direct3D = Direct3DCreate8(120);
  if (direct3D == nullptr) {
    MessageBoxA(nullptr, createFailedText, "ERROR", MB_ICONERROR);
    return 0;
  }
  FillPresentParams(fullScreen);

  bool created = false;
  for (const auto &choice : deviceChoices) {
    if (SUCCEEDED(direct3D->CreateDevice(D3DADAPTER_DEFAULT, choice.type, window, choice.behavior, &presentParams,
                                         &device))) {
      created = true;
      break;
    }
  }
  if (!created) {
    MessageBoxA(nullptr, initFailedText, "ERROR", MB_ICONERROR);
    return 0;
  }

  // A missing or unreadable file leaves its slot empty; drawing then uses no texture.
  for (int slot = 0; slot < 2; ++slot)
    D3DXCreateTextureFromFileExA(device, DataFilePath(textureFiles[slot]).c_str(), 0, 0, 0, 0, D3DFMT_A8R8G8B8,
                                 D3DPOOL_MANAGED, D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, 0, nullptr, nullptr,
                                 &textures[slot]);
  return 1;
}

void ReleaseDirect3D() {
  for (auto &texture : textures) {
    if (texture != nullptr) {
      texture->Release();
      texture = nullptr;
    }
  }
  if (device != nullptr) {
    device->Release();
    device = nullptr;
  }
  if (direct3D != nullptr) {
    direct3D->Release();
    direct3D = nullptr;
  }
}

int DisplayRefreshRate() {
  D3DDISPLAYMODE mode = {};
  if (direct3D == nullptr || FAILED(direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode)) ||
      mode.RefreshRate == 0)
    return 60;
  return mode.RefreshRate > 240 ? 240 : static_cast<int>(mode.RefreshRate);
}

void SetViewTransform() {
  D3DXMATRIX view;
  D3DXVECTOR3 eye(0.0f, 0.0f, 0.0f), at(0.0f, 0.0f, 1.0f), up(0.0f, 1.0f, 0.0f);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  device->SetTransform(D3DTS_VIEW, &view);
}

void SetFrameStates(IDirect3DDevice8 *target) {
  target->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  target->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  target->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  target->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  target->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
  target->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  target->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  target->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  target->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  target->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  target->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  target->SetRenderState(D3DRS_LIGHTING, FALSE);
  target->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  target->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  target->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
}

namespace {

// Draws the world into the back buffer and presents it; Present's result.
HRESULT DrawAndPresent(const SceneMoment &moment, uint32_t fps) {
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  device->BeginScene();

  SetFrameStates(device);

  // 60 degrees (bit pattern 0x3F860A90), 4:3; the scene is in screen pixels, so the
  // projection and the view do not change the picture.
  D3DXMATRIX projection;
  D3DXMatrixPerspectiveFovLH(&projection, 1.0471973f, 1.3333334f, 0.1f, 100.0f);
  device->SetTransform(D3DTS_PROJECTION, &projection);
  device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  SetViewTransform();

  DrawSceneAt(moment, fps);

  device->EndScene();
  // In a window the picture goes where it fits the client area whole, keeping its shape
  // (the window may have been resized or maximised); full screen covers it all.
  RECT destination = {0, 0, 800, 600};
  RECT client = {};
  if (presentParams.Windowed && GetClientRect(deviceWindow, &client) && client.right > 0 && client.bottom > 0) {
    LONG width = client.right, height = client.bottom;
    if (width * 3 > height * 4)
      width = height * 4 / 3;
    else
      height = width * 3 / 4;
    destination.left = (client.right - width) / 2;
    destination.top = (client.bottom - height) / 2;
    destination.right = destination.left + width;
    destination.bottom = destination.top + height;
  }
  const DWORD before = timeGetTime();
  const HRESULT presented = device->Present(nullptr, &destination, deviceWindow, nullptr);
  lastPresentMilliseconds = timeGetTime() - before;
  return presented;
}

}  // namespace

void RenderFrame(const World &world, uint32_t fps) { RenderMoment(MomentOf(world), fps); }

void RenderMoment(const SceneMoment &moment, uint32_t fps) {
  if (pictureObserver != nullptr) pictureObserver(moment);
  if (DrawAndPresent(moment, fps) == D3DERR_DEVICELOST) {
    if (FAILED(device->Reset(&presentParams))) MessageBoxA(nullptr, resetFailedText, "ERROR", MB_OK);
  }
}

void PaintFrame(const World &world, uint32_t fps) {
  // A full-screen game in the background has lost its device, and a Reset there would
  // fail: the picture waits for the game's return.
  if (device == nullptr || device->TestCooperativeLevel() != D3D_OK) return;
  DrawAndPresent(MomentOf(world), fps);
}

int ResetDisplayMode(int fullScreen) {
  if (device == nullptr) return 0;
  const D3DPRESENT_PARAMETERS before = presentParams;
  FillPresentParams(fullScreen);
  if (SUCCEEDED(device->Reset(&presentParams))) return 1;
  // The mode asked for cannot be had: back to the one the game was in.
  presentParams = before;
  if (FAILED(device->Reset(&presentParams))) MessageBoxA(nullptr, resetFailedText, "ERROR", MB_OK);
  return 0;
}
