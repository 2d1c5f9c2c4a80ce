// Direct3DCreate8 and the IDirect3D8 object: the one adapter (the desktop), its display
// mode, the capabilities of the two devices and device creation.
#include <cstdio>
#include <cstring>
#include "platform/d3d8/d3d8_internal.h"
#include "platform/drivers/driver.h"
#include "platform/drivers/headless/headless.h"

void D3DWarnOnce(const char *what, DWORD value) {
  // A few dozen distinct complaints at most; each (call, value) pair is said once.
  static struct {
    const char *what;
    DWORD value;
  } said[128];
  static int saidCount = 0;
  for (int i = 0; i < saidCount; ++i)
    if (said[i].value == value && std::strcmp(said[i].what, what) == 0) return;
  if (saidCount < 128) said[saidCount++] = {what, value};
  std::fprintf(stderr, "d3d8: %s (%lu)\n", what, (unsigned long)value);
}

void DesktopDisplayMode(D3DDISPLAYMODE *mode) {
  mode->Width = 1024;
  mode->Height = 768;
  mode->RefreshRate = 60;
  mode->Format = D3DFMT_X8R8G8B8;
  // A headless game stands for a 32-bit desktop of that size; a display driver reports
  // its desktop once its video is up (the page's is a 32-bit desktop whatever the
  // screen behind it).
  // Its refresh rate is the simulated display's (60 unless a test sets another).
  DesktopMode desktop;
  if (HeadlessIsEnabled()) {
    if (CurrentDriver().Desktop(&desktop)) mode->RefreshRate = (UINT)desktop.refreshRate;
    return;
  }
  if (!CurrentDriver().Desktop(&desktop)) return;
  mode->Width = (UINT)desktop.width;
  mode->Height = (UINT)desktop.height;
  mode->RefreshRate = (UINT)desktop.refreshRate;
  switch (desktop.bitsPerPixel) {
  case 16: mode->Format = D3DFMT_R5G6B5; break;
  case 15: mode->Format = D3DFMT_X1R5G5B5; break;
  default: mode->Format = D3DFMT_X8R8G8B8; break;
  }
}

void FillDeviceCaps(D3DDEVTYPE type, D3DCAPS8 *caps) {
  std::memset(caps, 0, sizeof *caps);
  caps->DeviceType = type;
  caps->AdapterOrdinal = 0;
  caps->PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
  caps->DevCaps = type == D3DDEVTYPE_HAL ? D3DDEVCAPS_HWTRANSFORMANDLIGHT : 0;
  caps->ZCmpCaps = 0xFF;       // every comparison
  caps->AlphaCmpCaps = 0xFF;
  caps->SrcBlendCaps = 0x3FF;  // ZERO through INVDESTCOLOR
  caps->DestBlendCaps = 0x3FF;
  caps->TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                      D3DPTEXTURECAPS_MIPMAP;
  caps->TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                            D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps->TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | 0x02 /* mirror */ | D3DPTADDRESSCAPS_CLAMP;
  caps->MaxTextureWidth = 1u << (RasterTexture::MaxLevels - 1);
  caps->MaxTextureHeight = 1u << (RasterTexture::MaxLevels - 1);
  caps->MaxTextureRepeat = 8192;
  caps->MaxTextureAspectRatio = caps->MaxTextureWidth;
  caps->MaxAnisotropy = 1;
  caps->MaxVertexW = 1.0e10f;
  caps->FVFCaps = 1;   // one texture coordinate set
  caps->TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                        D3DTEXOPCAPS_MODULATE;
  caps->MaxTextureBlendStages = 1;
  caps->MaxSimultaneousTextures = 1;
  caps->MaxPointSize = 1.0f;
  caps->MaxPrimitiveCount = 0xFFFFF;
  caps->MaxVertexIndex = 0xFFFFF;
  caps->MaxStreams = 1;
  caps->MaxStreamStride = 256;
}

namespace {

class Direct3D8 final : public IDirect3D8 {
public:
  HRESULT QueryInterface(REFIID, void **object) override {
    if (object != nullptr) *object = nullptr;
    D3DWarnOnce("IDirect3D8::QueryInterface: no other interface", 0);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE *mode) override {
    if (adapter != 0 || mode == nullptr) return D3DERR_INVALIDCALL;
    DesktopDisplayMode(mode);
    return D3D_OK;
  }
  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT backBufferFormat, BOOL) override {
    if (adapter != 0 || (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF)) return D3DERR_INVALIDCALL;
    switch (backBufferFormat) {
    case D3DFMT_X8R8G8B8: case D3DFMT_A8R8G8B8: case D3DFMT_R5G6B5: case D3DFMT_X1R5G5B5: return D3D_OK;
    default: return D3DERR_NOTAVAILABLE;
    }
  }
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage, D3DRESOURCETYPE resourceType,
                            D3DFORMAT checkFormat) override {
    if (adapter != 0 || (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF)) return D3DERR_INVALIDCALL;
    if (resourceType == D3DRTYPE_TEXTURE && usage == 0 &&
        (checkFormat == D3DFMT_A8R8G8B8 || checkFormat == D3DFMT_X8R8G8B8))
      return D3D_OK;
    if ((usage & D3DUSAGE_DEPTHSTENCIL) && checkFormat == D3DFMT_D16) return D3D_OK;
    return D3DERR_NOTAVAILABLE;
  }
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8 *caps) override {
    if (adapter != 0 || caps == nullptr || (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF))
      return D3DERR_INVALIDCALL;
    FillDeviceCaps(type, caps);
    return D3D_OK;
  }
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS *params, IDirect3DDevice8 **returned) override {
    if (adapter != 0) return D3DERR_INVALIDCALL;
    return CreateDevice8(this, type, focusWindow, behaviorFlags, params, returned);
  }

private:
  ULONG refs = 1;
};

}  // namespace

IDirect3D8 *WINAPI Direct3DCreate8(UINT sdkVersion) {
  // 120 is the 8.0 runtime's version, 220 the 8.1 runtime's.
  if (sdkVersion != 120 && sdkVersion != 220) {
    D3DWarnOnce("Direct3DCreate8: unknown SDK version", sdkVersion);
    return nullptr;
  }
  return new Direct3D8();
}
