// Vertex formats and the vertex path: DrawPrimitiveUP reads the game's vertices where
// their flexible vertex format puts each part, takes untransformed ones through world,
// view and projection to the screen, assembles lists, strips and fans into triangles
// and lines, drops the culled and those with a corner behind the eye, and writes the
// rest straight into the batch queue. This is the code every vertex of a frame runs.
#include <cstring>
#include "platform/d3d8/d3d8_device.h"

inline Device8::VertexLayout Device8::LayoutOf(DWORD fvf) {
  VertexLayout layout;
  DWORD position = fvf & D3DFVF_POSITION_MASK;
  layout.transformed = position == D3DFVF_XYZRHW;
  int offset = layout.transformed ? 16 : 12 + (position > D3DFVF_XYZRHW ? 4 * (int)((position - D3DFVF_XYZRHW) / 2) : 0);
  if (fvf & D3DFVF_NORMAL) offset += 12;
  if (fvf & D3DFVF_PSIZE) offset += 4;
  layout.diffuse = -1;
  if (fvf & D3DFVF_DIFFUSE) {
    layout.diffuse = offset;
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) offset += 4;
  layout.texture = (fvf & D3DFVF_TEXCOUNT_MASK) != 0 ? offset : -1;
  return layout;
}

bool Device8::ConvertVertex(const BYTE *src, const VertexLayout &layout, RasterVertex *out) const {
  if (layout.transformed) {
    float p[4];
    std::memcpy(p, src, sizeof p);
    out->x = p[0];
    out->y = p[1];
    out->z = p[2];
    out->rhw = p[3];
  } else if (!TransformVertex(src, out)) {
    return false;
  }
  out->diffuse = 0xFFFFFFFF;
  if (layout.diffuse >= 0) std::memcpy(&out->diffuse, src + layout.diffuse, 4);
  float uv[2] = {0.0f, 0.0f};
  if (layout.texture >= 0) std::memcpy(uv, src + layout.texture, sizeof uv);
  out->u = uv[0];
  out->v = uv[1];
  return true;
}

// Untransformed: world, view and projection, then the viewport. There is no clipping
// against the near plane; a vertex behind the eye drops its primitive.
bool Device8::TransformVertex(const BYTE *src, RasterVertex *out) const {
  float f[3];
  std::memcpy(f, src, sizeof f);
  const D3DMATRIX &m = combined;
  float x = f[0], y = f[1], z = f[2];
  float cx = x * m._11 + y * m._21 + z * m._31 + m._41;
  float cy = x * m._12 + y * m._22 + z * m._32 + m._42;
  float cz = x * m._13 + y * m._23 + z * m._33 + m._43;
  float cw = x * m._14 + y * m._24 + z * m._34 + m._44;
  if (!(cw > 1e-6f)) return false;
  float iw = 1.0f / cw;
  const D3DVIEWPORT8 &vp = state.viewport;
  out->x = (float)vp.X + (1.0f + cx * iw) * 0.5f * (float)vp.Width - 0.5f;
  out->y = (float)vp.Y + (1.0f - cy * iw) * 0.5f * (float)vp.Height - 0.5f;
  out->z = vp.MinZ + cz * iw * (vp.MaxZ - vp.MinZ);
  out->rhw = iw;
  return true;
}

HRESULT Device8::DrawPrimitiveUP(D3DPRIMITIVETYPE kind, UINT count, const void *data, UINT stride) {
  if (data == nullptr || stride == 0 || count == 0) return D3DERR_INVALIDCALL;
  if (!inScene) {
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: called outside BeginScene and EndScene", kind);
    return D3DERR_INVALIDCALL;
  }
  DWORD fvf = state.vertexShader;
  if (fvf & ~(DWORD)(D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                     D3DFVF_TEXCOUNT_MASK)) {
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: vertex shader or format not supported", fvf);
    return D3DERR_INVALIDCALL;
  }
  if ((fvf & D3DFVF_POSITION_MASK) == 0) {
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: vertex format has no position", fvf);
    return D3DERR_INVALIDCALL;
  }
  bool lines = false;
  switch (kind) {
  case D3DPT_LINELIST: case D3DPT_LINESTRIP: lines = true; break;
  case D3DPT_TRIANGLELIST: case D3DPT_TRIANGLESTRIP: case D3DPT_TRIANGLEFAN: break;
  default:
    D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: primitive type not supported", kind);
    return D3DERR_INVALIDCALL;
  }
  if (count > 0xFFFFF) return D3DERR_INVALIDCALL;
  if (lost) return D3D_OK;

  const VertexLayout layout = LayoutOf(fvf);
  if (!layout.transformed) {
    if (state.render[D3DRS_LIGHTING])
      D3DWarnOnce("IDirect3DDevice8::DrawPrimitiveUP: lighting not supported, vertex colours used", fvf);
    // world x view x projection
    D3DMATRIX a = state.transform[10], b = state.transform[0], c = state.transform[1], wv;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        wv.m[i][j] = 0;
        for (int k = 0; k < 4; ++k) wv.m[i][j] += a.m[i][k] * b.m[k][j];
      }
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        combined.m[i][j] = 0;
        for (int k = 0; k < 4; ++k) combined.m[i][j] += wv.m[i][k] * c.m[k][j];
      }
  }

  QueueFor(lines);

  const BYTE *bytes = static_cast<const BYTE *>(data);
  bool flat = state.render[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  DWORD cull = state.render[D3DRS_CULLMODE];
  auto vertex = [&](UINT i, RasterVertex *out) { return ConvertVertex(bytes + (size_t)i * stride, layout, out); };

  // Each primitive is read straight into the queue's next free places and kept by
  // counting it in; one that is dropped is simply not counted.
  if (lines) {
    for (UINT p = 0; p < count; ++p) {
      UINT i0 = kind == D3DPT_LINELIST ? p * 2 : p;
      if (batchSize + 2 > BatchCapacity) Flush();
      RasterVertex *v = &batch[batchSize];
      if (!vertex(i0, &v[0]) || !vertex(i0 + 1, &v[1])) continue;
      if (flat) v[1].diffuse = v[0].diffuse;
      batchSize += 2;
    }
    return D3D_OK;
  }
  RasterVertex fanCentre;
  bool fanOk = kind != D3DPT_TRIANGLEFAN || vertex(0, &fanCentre);
  for (UINT p = 0; p < count; ++p) {
    if (batchSize + 3 > BatchCapacity) Flush();
    RasterVertex *v = &batch[batchSize];
    bool ok;
    if (kind == D3DPT_TRIANGLELIST) {
      ok = vertex(p * 3, &v[0]) && vertex(p * 3 + 1, &v[1]) && vertex(p * 3 + 2, &v[2]);
    } else if (kind == D3DPT_TRIANGLEFAN) {
      v[0] = fanCentre;
      ok = fanOk && vertex(p + 1, &v[1]) && vertex(p + 2, &v[2]);
    } else if (p % 2 == 0) {
      ok = vertex(p, &v[0]) && vertex(p + 1, &v[1]) && vertex(p + 2, &v[2]);
    } else {
      // Odd triangles of a strip are wound the other way round; keep the first vertex
      // for flat shading.
      ok = vertex(p, &v[0]) && vertex(p + 2, &v[1]) && vertex(p + 1, &v[2]);
    }
    if (!ok) continue;
    if (cull != D3DCULL_NONE) {
      // With y downwards, a positive cross product is clockwise on screen.
      float area = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y);
      if (cull == D3DCULL_CCW && area < 0) continue;
      if (cull == D3DCULL_CW && area > 0) continue;
    }
    if (flat) v[1].diffuse = v[2].diffuse = v[0].diffuse;
    batchSize += 3;
  }
  return D3D_OK;
}
