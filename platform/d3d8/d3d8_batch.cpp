// The batch queue: the draws the game makes one primitive at a time are queued and
// handed to the rasterizer as one batch per run of draws with the same resolved state
// and the same kind of primitive. A draw whose states resolve differently, or of the
// other kind, draws the queue first (QueueFor in d3d8_device.h, inline in every draw),
// as do a full queue, EndScene, Clear, Present, Reset, a texture locked and a texture
// released for good; setting a texture alone does not. Here: the states resolved into
// the rasterizer's state, and the textures' hooks.
#include <cstring>
#include "platform/d3d8/d3d8_device.h"

namespace {

RasterArg ResolveArg(DWORD arg, const char *what) {
  if (arg & ~(DWORD)D3DTA_SELECTMASK) D3DWarnOnce(what, arg);
  switch (arg & D3DTA_SELECTMASK) {
  case D3DTA_TEXTURE: return ArgTexture;
  case D3DTA_TFACTOR: return ArgFactor;
  case D3DTA_DIFFUSE: case D3DTA_CURRENT: return ArgDiffuse;
  default: D3DWarnOnce(what, arg); return ArgDiffuse;
  }
}

RasterOp ResolveOp(DWORD op, const char *what) {
  switch (op) {
  case D3DTOP_SELECTARG1: return OpSelect1;
  case D3DTOP_SELECTARG2: return OpSelect2;
  case D3DTOP_MODULATE: return OpModulate;
  default: D3DWarnOnce(what, op); return OpModulate;
  }
}

uint8_t ResolveFilter(DWORD filter, const char *what) {
  if (filter == D3DTEXF_POINT || filter == D3DTEXF_LINEAR) return (uint8_t)filter;
  if (filter != D3DTEXF_NONE) D3DWarnOnce(what, filter);
  return filter == D3DTEXF_NONE ? D3DTEXF_POINT : D3DTEXF_LINEAR;
}

uint8_t ResolveAddress(DWORD mode, const char *what) {
  if (mode == D3DTADDRESS_WRAP || mode == D3DTADDRESS_MIRROR || mode == D3DTADDRESS_CLAMP) return (uint8_t)mode;
  D3DWarnOnce(what, mode);
  return D3DTADDRESS_CLAMP;
}

uint8_t ResolveBlend(DWORD blend, const char *what) {
  if (blend >= D3DBLEND_ZERO && blend <= D3DBLEND_INVDESTCOLOR) return (uint8_t)blend;
  if (blend == D3DBLEND_SRCALPHASAT) {
    D3DWarnOnce(what, blend);
    return D3DBLEND_SRCALPHA;
  }
  D3DWarnOnce(what, blend);
  return D3DBLEND_ONE;
}

}  // namespace

void Device8::ResolveState(RasterState *out) {
  const DWORD *r = state.render;
  const DWORD *t = state.stage[0];
  *out = RasterState();
  out->texture = state.texture[0] != nullptr ? &state.texture[0]->raster : nullptr;
  if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE) {
    // A disabled first stage passes the diffuse colour and alpha on.
    out->colorOp = out->alphaOp = OpSelect1;
    out->colorArg1 = out->alphaArg1 = ArgDiffuse;
  } else {
    out->colorOp = ResolveOp(t[D3DTSS_COLOROP], "SetTextureStageState: colour operation not supported");
    out->colorArg1 = ResolveArg(t[D3DTSS_COLORARG1], "SetTextureStageState: colour argument not supported");
    out->colorArg2 = ResolveArg(t[D3DTSS_COLORARG2], "SetTextureStageState: colour argument not supported");
    if (t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE) {
      out->alphaOp = OpSelect1;
      out->alphaArg1 = ArgDiffuse;
    } else {
      out->alphaOp = ResolveOp(t[D3DTSS_ALPHAOP], "SetTextureStageState: alpha operation not supported");
      out->alphaArg1 = ResolveArg(t[D3DTSS_ALPHAARG1], "SetTextureStageState: alpha argument not supported");
      out->alphaArg2 = ResolveArg(t[D3DTSS_ALPHAARG2], "SetTextureStageState: alpha argument not supported");
    }
  }
  if (state.stage[1][D3DTSS_COLOROP] != D3DTOP_DISABLE)
    D3DWarnOnce("SetTextureStageState: only the first texture stage is drawn", state.stage[1][D3DTSS_COLOROP]);
  if (t[D3DTSS_TEXCOORDINDEX] != 0)
    D3DWarnOnce("SetTextureStageState: texture coordinate index not supported", t[D3DTSS_TEXCOORDINDEX]);
  if (t[D3DTSS_TEXTURETRANSFORMFLAGS] != D3DTTFF_DISABLE)
    D3DWarnOnce("SetTextureStageState: texture transforms not supported", t[D3DTSS_TEXTURETRANSFORMFLAGS]);
  out->textureFactor = r[D3DRS_TEXTUREFACTOR];
  out->magFilter = ResolveFilter(t[D3DTSS_MAGFILTER], "SetTextureStageState: magnification filter not supported");
  out->minFilter = ResolveFilter(t[D3DTSS_MINFILTER], "SetTextureStageState: minification filter not supported");
  DWORD mip = t[D3DTSS_MIPFILTER];
  if (mip > D3DTEXF_LINEAR) {
    D3DWarnOnce("SetTextureStageState: mip filter not supported", mip);
    mip = D3DTEXF_LINEAR;
  }
  out->mipFilter = (uint8_t)mip;
  out->addressU = ResolveAddress(t[D3DTSS_ADDRESSU], "SetTextureStageState: address mode not supported");
  out->addressV = ResolveAddress(t[D3DTSS_ADDRESSV], "SetTextureStageState: address mode not supported");
  std::memcpy(&out->lodBias, &t[D3DTSS_MIPMAPLODBIAS], sizeof(float));
  out->maxMipLevel = (int)std::min<DWORD>(t[D3DTSS_MAXMIPLEVEL], 31);
  out->alphaTest = r[D3DRS_ALPHATESTENABLE] != 0;
  out->alphaFunc = (uint8_t)std::clamp<DWORD>(r[D3DRS_ALPHAFUNC], D3DCMP_NEVER, D3DCMP_ALWAYS);
  out->alphaRef = (uint8_t)r[D3DRS_ALPHAREF];
  DWORD z = present.EnableAutoDepthStencil ? r[D3DRS_ZENABLE] : (DWORD)D3DZB_FALSE;
  if (z == D3DZB_USEW) D3DWarnOnce("SetRenderState: w-buffering not supported, z used", z);
  out->depthTest = z != D3DZB_FALSE;
  out->depthWrite = out->depthTest && r[D3DRS_ZWRITEENABLE] != 0;
  out->depthFunc = (uint8_t)std::clamp<DWORD>(r[D3DRS_ZFUNC], D3DCMP_NEVER, D3DCMP_ALWAYS);
  out->blend = r[D3DRS_ALPHABLENDENABLE] != 0;
  DWORD src = r[D3DRS_SRCBLEND], dest = r[D3DRS_DESTBLEND];
  if (src == D3DBLEND_BOTHSRCALPHA) {
    src = D3DBLEND_SRCALPHA;
    dest = D3DBLEND_INVSRCALPHA;
  } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
    src = D3DBLEND_INVSRCALPHA;
    dest = D3DBLEND_SRCALPHA;
  }
  out->srcBlend = ResolveBlend(src, "SetRenderState: source blend not supported");
  out->destBlend = ResolveBlend(dest, "SetRenderState: destination blend not supported");
  if (out->blend && r[D3DRS_BLENDOP] != D3DBLENDOP_ADD)
    D3DWarnOnce("SetRenderState: blend operation not supported", r[D3DRS_BLENDOP]);
  out->colorWriteMask = (uint8_t)(r[D3DRS_COLORWRITEENABLE] & 0xF);
  out->lastPixel = r[D3DRS_LASTPIXEL] != 0;
  if (r[D3DRS_FOGENABLE]) D3DWarnOnce("SetRenderState: fog not supported", r[D3DRS_FOGENABLE]);
  // States that are kept (and read back) but draw nothing different.
  static const struct {
    D3DRENDERSTATETYPE state;
    DWORD drawnAs;
    const char *what;
  } ignored[] = {
      {D3DRS_ZBIAS, 0, "SetRenderState: depth bias not supported"},
      {D3DRS_LINEPATTERN, 0, "SetRenderState: line patterns not supported"},
      {D3DRS_EDGEANTIALIAS, FALSE, "SetRenderState: edge antialiasing not supported"},
      {D3DRS_CLIPPLANEENABLE, 0, "SetRenderState: user clip planes not supported"},
      {D3DRS_VERTEXBLEND, 0, "SetRenderState: vertex blending not supported"},
      {D3DRS_POINTSPRITEENABLE, FALSE, "SetRenderState: point sprites not supported"},
      {D3DRS_WRAP0, 0, "SetRenderState: texture coordinate wrapping not supported"},
  };
  for (const auto &i : ignored)
    if (r[i.state] != i.drawnAs) D3DWarnOnce(i.what, r[i.state]);
  if (r[D3DRS_STENCILENABLE]) D3DWarnOnce("SetRenderState: no stencil buffer", r[D3DRS_STENCILENABLE]);
  if (r[D3DRS_SPECULARENABLE]) D3DWarnOnce("SetRenderState: specular not supported", r[D3DRS_SPECULARENABLE]);
  if (r[D3DRS_FILLMODE] != D3DFILL_SOLID) D3DWarnOnce("SetRenderState: fill mode not supported", r[D3DRS_FILLMODE]);
  if (r[D3DRS_SHADEMODE] == D3DSHADE_PHONG) D3DWarnOnce("SetRenderState: Phong shading drawn as Gouraud", D3DSHADE_PHONG);
  ResolveViewport(out);
}

void Device8::RemoveTexture(Texture8 *t) {
  Flush();
  for (auto &block : blocks)
    for (auto &bt : block.values.texture)
      if (bt == t) bt = nullptr;
  for (auto &bt : recordingBlock.values.texture)
    if (bt == t) bt = nullptr;
  raster->ForgetTexture(&t->raster);
  liveTextures.erase(std::remove(liveTextures.begin(), liveTextures.end(), t), liveTextures.end());
}

void DeviceFlush(Device8 *device) { device->Flush(); }
void DeviceAddTexture(Device8 *device, Texture8 *texture) { device->AddTexture(texture); }
void DeviceRemoveTexture(Device8 *device, Texture8 *texture) { device->RemoveTexture(texture); }
unsigned long DeviceBatchCount(IDirect3DDevice8 *device) { return static_cast<Device8 *>(device)->Batches(); }
