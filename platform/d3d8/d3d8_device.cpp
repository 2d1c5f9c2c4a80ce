// IDirect3DDevice8: the device front end shared by both devices (its class in
// d3d8_device.h). This file makes and destroys the device, keeps the render, texture
// stage and transform states with Direct3D's documented defaults, and takes the calls
// that create textures, open and close scenes and clear. The rest of the front end:
// state blocks, the vertex path, the batch queue, and present and the lost device.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include "platform/d3d8/d3d8_device.h"
#include "platform/raster/gl/raster_gl.h"
#include "platform/raster/raster_ref.h"
#include "platform/user32/window_internal.h"

namespace {

int TransformIndex(D3DTRANSFORMSTATETYPE state) {
  DWORD s = (DWORD)state;
  if (s == D3DTS_VIEW) return 0;
  if (s == D3DTS_PROJECTION) return 1;
  if (s >= D3DTS_TEXTURE0 && s < D3DTS_TEXTURE0 + 8) return 2 + (int)(s - D3DTS_TEXTURE0);
  if (s >= 256 && s < 260) return 10 + (int)(s - 256);
  return -1;
}

const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

}  // namespace

Device8::Device8(IDirect3D8 *parent, D3DDEVTYPE deviceType, HWND deviceWindow, const D3DPRESENT_PARAMETERS &params,
                 RasterDevice *rasterizer)
    : direct3D(parent), type(deviceType), window(deviceWindow), present(params), raster(rasterizer) {
  direct3D->AddRef();
  batch.reset(new RasterVertex[BatchCapacity]);
  raster->SetPresentInterval(PresentInterval(present));
  SetDefaults();
  if (!present.Windowed) seenFocusLosses = WindowFocusLossCount(window);
}

Device8::~Device8() {
  for (auto &t : state.texture)
    if (t != nullptr) t->Release();
  for (Texture8 *t : liveTextures) {
    raster->ForgetTexture(&t->raster);
    t->owner = nullptr;
  }
  delete raster;
  direct3D->Release();
}

HRESULT Device8::QueryInterface(REFIID, void **object) {
  if (object != nullptr) *object = nullptr;
  D3DWarnOnce("IDirect3DDevice8::QueryInterface: no other interface", 0);
  return E_NOINTERFACE;
}

ULONG Device8::Release() {
  ULONG left = --refs;
  if (left == 0) delete this;
  return left;
}

HRESULT Device8::GetDirect3D(IDirect3D8 **object) {
  if (object == nullptr) return D3DERR_INVALIDCALL;
  *object = direct3D;
  direct3D->AddRef();
  return D3D_OK;
}

HRESULT Device8::GetDeviceCaps(D3DCAPS8 *caps) {
  if (caps == nullptr) return D3DERR_INVALIDCALL;
  FillDeviceCaps(type, caps);
  return D3D_OK;
}

HRESULT Device8::GetDisplayMode(D3DDISPLAYMODE *mode) {
  if (mode == nullptr) return D3DERR_INVALIDCALL;
  DesktopDisplayMode(mode);
  if (!present.Windowed) {
    mode->Width = present.BackBufferWidth;
    mode->Height = present.BackBufferHeight;
    mode->Format = present.BackBufferFormat;
  }
  return D3D_OK;
}

HRESULT Device8::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                               IDirect3DTexture8 **texture) {
  if (texture == nullptr || width == 0 || height == 0) return D3DERR_INVALIDCALL;
  D3DCAPS8 caps;
  FillDeviceCaps(type, &caps);
  if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) {
    D3DWarnOnce("IDirect3DDevice8::CreateTexture: larger than the largest texture", std::max(width, height));
    return D3DERR_INVALIDCALL;
  }
  if ((width & (width - 1)) != 0 || (height & (height - 1)) != 0) {
    D3DWarnOnce("IDirect3DDevice8::CreateTexture: sizes must be powers of two", (width & (width - 1)) ? width : height);
    return D3DERR_INVALIDCALL;
  }
  if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) {
    D3DWarnOnce("IDirect3DDevice8::CreateTexture: format not supported", format);
    return D3DERR_INVALIDCALL;
  }
  if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) {
    D3DWarnOnce("IDirect3DDevice8::CreateTexture: usage not supported", usage);
    return D3DERR_INVALIDCALL;
  }
  if (pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_DEFAULT) {
    D3DWarnOnce("IDirect3DDevice8::CreateTexture: pool not supported", pool);
    return D3DERR_INVALIDCALL;
  }
  UINT full = FullMipChainLength(width, height);
  if (levels == 0) levels = full;
  if (levels > full) return D3DERR_INVALIDCALL;
  *texture = new Texture8(this, width, height, levels, usage, format, pool);
  return D3D_OK;
}

HRESULT Device8::BeginScene() {
  if (inScene) return D3DERR_INVALIDCALL;
  inScene = true;
  return D3D_OK;
}

HRESULT Device8::EndScene() {
  if (!inScene) return D3DERR_INVALIDCALL;
  inScene = false;
  Flush();
  return D3D_OK;
}

HRESULT Device8::Clear(DWORD count, const D3DRECT *rects, DWORD flags, D3DCOLOR color, float z, DWORD) {
  if ((count != 0 && rects == nullptr) || (flags & ~(DWORD)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
    return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_ZBUFFER) && !present.EnableAutoDepthStencil) return D3DERR_INVALIDCALL;
  if (flags & D3DCLEAR_STENCIL) D3DWarnOnce("IDirect3DDevice8::Clear: no stencil buffer to clear", flags);
  if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;   // NaN too
  if (lost) return D3D_OK;
  Flush();
  RasterState clip;
  ResolveViewport(&clip);
  raster->Clear(clip, (int)count, rects, flags, color, z);
  return D3D_OK;
}

HRESULT Device8::SetTransform(D3DTRANSFORMSTATETYPE which, const D3DMATRIX *matrix) {
  int i = TransformIndex(which);
  if (matrix == nullptr || i < 0) {
    if (i < 0) D3DWarnOnce("IDirect3DDevice8::SetTransform: transform not supported", which);
    return D3DERR_INVALIDCALL;
  }
  if (recording != nullptr) {
    recording->values.transform[i] = *matrix;
    recording->transform[i] = true;
    return D3D_OK;
  }
  state.transform[i] = *matrix;
  return D3D_OK;
}

HRESULT Device8::GetTransform(D3DTRANSFORMSTATETYPE which, D3DMATRIX *matrix) {
  int i = TransformIndex(which);
  if (matrix == nullptr || i < 0) return D3DERR_INVALIDCALL;
  *matrix = state.transform[i];
  return D3D_OK;
}

HRESULT Device8::GetViewport(D3DVIEWPORT8 *viewport) {
  if (viewport == nullptr) return D3DERR_INVALIDCALL;
  *viewport = state.viewport;
  return D3D_OK;
}

HRESULT Device8::GetRenderState(D3DRENDERSTATETYPE which, DWORD *value) {
  if ((DWORD)which >= RenderStateCount || value == nullptr) return D3DERR_INVALIDCALL;
  *value = state.render[which];
  return D3D_OK;
}

HRESULT Device8::GetTexture(DWORD stage, IDirect3DBaseTexture8 **texture) {
  if (stage >= StageCount || texture == nullptr) return D3DERR_INVALIDCALL;
  *texture = state.texture[stage];
  if (*texture != nullptr) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT Device8::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE which, DWORD *value) {
  if (stage >= StageCount || (DWORD)which >= StageStateCount || value == nullptr) return D3DERR_INVALIDCALL;
  *value = state.stage[stage][which];
  return D3D_OK;
}

HRESULT Device8::GetVertexShader(DWORD *handle) {
  if (handle == nullptr) return D3DERR_INVALIDCALL;
  *handle = state.vertexShader;
  return D3D_OK;
}

void Device8::SetDefaults() {
  std::memset(&state, 0, sizeof state);
  DWORD *r = state.render;
  r[D3DRS_ZENABLE] = present.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  r[D3DRS_FILLMODE] = D3DFILL_SOLID;
  r[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  r[D3DRS_ZWRITEENABLE] = TRUE;
  r[D3DRS_LASTPIXEL] = TRUE;
  r[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  r[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  r[D3DRS_CULLMODE] = D3DCULL_CCW;
  r[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  r[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  r[D3DRS_FOGEND] = 0x3F800000;       // 1.0f
  r[D3DRS_FOGDENSITY] = 0x3F800000;
  r[D3DRS_STENCILFAIL] = r[D3DRS_STENCILZFAIL] = r[D3DRS_STENCILPASS] = 1;   // D3DSTENCILOP_KEEP
  r[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  r[D3DRS_STENCILMASK] = r[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
  r[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  r[D3DRS_CLIPPING] = TRUE;
  r[D3DRS_LIGHTING] = TRUE;
  r[D3DRS_COLORVERTEX] = TRUE;
  r[D3DRS_LOCALVIEWER] = TRUE;
  r[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  r[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  r[D3DRS_POINTSIZE] = 0x3F800000;
  r[D3DRS_POINTSIZE_MIN] = 0x3F800000;
  r[D3DRS_POINTSIZE_MAX] = 0x42800000;  // 64.0f
  r[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  r[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
  r[D3DRS_COLORWRITEENABLE] = 0xF;
  r[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  for (int s = 0; s < StageCount; ++s) {
    DWORD *t = state.stage[s];
    t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    t[D3DTSS_TEXCOORDINDEX] = (DWORD)s;
    t[D3DTSS_ADDRESSU] = t[D3DTSS_ADDRESSV] = t[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    t[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    t[D3DTSS_MAXANISOTROPY] = 1;
    t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
  }
  for (auto &m : state.transform) m = identity;
  state.viewport = {0, 0, present.BackBufferWidth, present.BackBufferHeight, 0.0f, 1.0f};
  state.vertexShader = 0;
  stateChanged = true;
}

HRESULT CreateDevice8(IDirect3D8 *direct3D, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                      D3DPRESENT_PARAMETERS *params, IDirect3DDevice8 **returned) {
  if (params == nullptr || returned == nullptr) return D3DERR_INVALIDCALL;
  if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF) {
    D3DWarnOnce("CreateDevice: device type not supported", type);
    return D3DERR_INVALIDCALL;
  }
  DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                      D3DCREATE_MIXED_VERTEXPROCESSING);
  if (processing == 0 || (processing & (processing - 1)) != 0) return D3DERR_INVALIDCALL;
  if (type == D3DDEVTYPE_REF && processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING) return D3DERR_INVALIDCALL;
  HWND window = params->hDeviceWindow != nullptr ? params->hDeviceWindow : focusWindow;
  if (!params->Windowed && focusWindow == nullptr) return D3DERR_INVALIDCALL;
  D3DPRESENT_PARAMETERS checked = *params;
  HRESULT result = CheckPresentParameters(&checked, window);
  if (FAILED(result)) return result;
  RasterDevice *raster = type == D3DDEVTYPE_HAL
                             ? CreateOpenGLRaster(window, (int)checked.BackBufferWidth, (int)checked.BackBufferHeight)
                             : CreateReferenceRaster(window, (int)checked.BackBufferWidth, (int)checked.BackBufferHeight);
  if (raster == nullptr) return D3DERR_NOTAVAILABLE;
  std::fprintf(stderr, "d3d8: %s device, %ux%u, %s\n", type == D3DDEVTYPE_HAL ? "hardware" : "reference",
               checked.BackBufferWidth, checked.BackBufferHeight, raster->Describe());
  *params = checked;
  *returned = new Device8(direct3D, type, window, checked, raster);
  return D3D_OK;
}

HRESULT CreateDevice8Over(IDirect3D8 *direct3D, D3DDEVTYPE type, HWND window, D3DPRESENT_PARAMETERS *params,
                          RasterDevice *raster, IDirect3DDevice8 **returned) {
  std::unique_ptr<RasterDevice> owned(raster);
  if (params == nullptr || returned == nullptr) return D3DERR_INVALIDCALL;
  D3DPRESENT_PARAMETERS checked = *params;
  HRESULT result = CheckPresentParameters(&checked, window);
  if (FAILED(result)) return result;
  *params = checked;
  *returned = new Device8(direct3D, type, window, checked, owned.release());
  return D3D_OK;
}

IDirect3DDevice8 *DeviceInterface(Device8 *device) { return device; }
RasterDevice *DeviceRaster(IDirect3DDevice8 *device) { return static_cast<Device8 *>(device)->Raster(); }
