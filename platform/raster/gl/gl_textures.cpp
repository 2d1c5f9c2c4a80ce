// The hardware device's textures: its own record of what it holds for each texture it is
// given (the GL textures and the versions of the texels they hold), the uploads when a
// texture's texels change, the level strip that mipmapped sprites are drawn from, and
// the sampling settings of a batch.
#include <algorithm>
#include "platform/raster/gl/gl_device.h"

namespace glraster {

namespace {

int StripWidth(const RasterTexture &t) {
  int w = 0;
  for (int i = 0; i < t.levels; ++i) w += t.levelWidth[i] + 2;
  return w;
}

GLint WrapMode(uint8_t a) {
  return a == D3DTADDRESS_WRAP ? GL_REPEAT : (a == D3DTADDRESS_MIRROR ? GL_MIRRORED_REPEAT : GL_CLAMP_TO_EDGE);
}

}  // namespace

// A texture's record, made empty the first time it is asked for. A texture is forgotten
// (ForgetTexture) before its memory goes, so a new texture at the same address starts
// with a new record.
TextureRecord &OpenGLRaster::RecordOf(const RasterTexture *t) {
  if (t != lastTexture) {
    lastRecord = &textures[t];
    lastTexture = t;
  }
  return *lastRecord;
}

void OpenGLRaster::Upload(const RasterTexture *t) {
  TextureRecord &r = RecordOf(t);
  if (r.id == 0) {
    glGenTextures(1, &r.id);
    r.uploadedVersion = 0;
  }
  glBindTexture(GL_TEXTURE_2D, r.id);
  if (r.uploadedVersion == t->version) return;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, t->levels - 1);
  for (int i = 0; i < t->levels; ++i) glprofile::UploadTexels(i, t->levelWidth[i], t->levelHeight[i], t->level[i]);
  r.uploadedVersion = t->version;
}

// The level strip of a texture: every level side by side, top edges level, each with
// a border of one texel that repeats the texels the address mode puts there (the far
// edge when wrapping, the edge itself when clamping or mirroring), so that a bilinear
// read near a level's edge blends what the level's own addressing would.
void OpenGLRaster::UploadStrip(const RasterTexture *t, uint8_t addressU, uint8_t addressV) {
  TextureRecord &r = RecordOf(t);
  if (r.stripId == 0) {
    glGenTextures(1, &r.stripId);
    r.stripVersion = 0;
    glBindTexture(GL_TEXTURE_2D, r.stripId);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  glBindTexture(GL_TEXTURE_2D, r.stripId);
  const uint16_t address = (uint16_t)(addressU | addressV << 8);
  if (r.stripVersion == t->version && r.stripAddress == address) return;
  const int width = StripWidth(*t), height = t->levelHeight[0] + 2;
  stripTexels.assign((size_t)width * (size_t)height, 0);
  auto border = [](int i, int n, uint8_t mode) {
    if (i >= 0 && i < n) return i;
    if (mode == D3DTADDRESS_WRAP) return i < 0 ? n - 1 : 0;
    return i < 0 ? 0 : n - 1;
  };
  for (int level = 0, x0 = 0; level < t->levels; x0 += t->levelWidth[level] + 2, ++level) {
    const int w = t->levelWidth[level], h = t->levelHeight[level];
    const uint32_t *texels = t->level[level];
    for (int y = -1; y <= h; ++y) {
      uint32_t *row = &stripTexels[(size_t)(y + 1) * (size_t)width + (size_t)x0 + 1];
      const uint32_t *from = texels + (size_t)border(y, h, addressV) * (size_t)w;
      for (int x = -1; x <= w; ++x) row[x] = from[border(x, w, addressU)];
    }
  }
  glprofile::UploadTexels(0, width, height, stripTexels.data());
  r.stripVersion = t->version;
  r.stripAddress = address;
}

// Each level's rectangle in the strip of `t` (origin and size, in the strip's 0..1
// coordinates): one border texel round every level.
void StripRectangles(const RasterTexture &t, float rect[][4]) {
  const float stripWidth = (float)StripWidth(t), stripHeight = (float)(t.levelHeight[0] + 2);
  for (int i = 0, x = 0; i < t.levels; x += t.levelWidth[i] + 2, ++i) {
    rect[i][0] = (float)(x + 1) / stripWidth;
    rect[i][1] = 1.0f / stripHeight;
    rect[i][2] = (float)t.levelWidth[i] / stripWidth;
    rect[i][3] = (float)t.levelHeight[i] / stripHeight;
  }
}

// The bound texture's filters, address modes, first level and level bias for a batch.
void OpenGLRaster::SampleAs(const RasterState &st, const Program &p) {
  GLint mag = st.magFilter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
  GLint min;
  bool linear = st.minFilter == D3DTEXF_LINEAR;
  if (st.mipFilter == D3DTEXF_NONE) min = linear ? GL_LINEAR : GL_NEAREST;
  else if (st.mipFilter == D3DTEXF_POINT) min = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  else min = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, WrapMode(st.addressU));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, WrapMode(st.addressV));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, std::min(st.maxMipLevel, st.texture->levels - 1));
  glprofile::SetLodBias(p.uLodBias, st.lodBias);
}

// The bound level strip's filter, and how the strip's program folds coordinates.
void OpenGLRaster::SampleStripAs(const RasterState &st, const Program &p) {
  GLint filter = st.minFilter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  auto fold = [](uint8_t a) { return a == D3DTADDRESS_WRAP ? 0.0f : (a == D3DTADDRESS_MIRROR ? 1.0f : 2.0f); };
  if (p.uAddress >= 0) gl.glUniform2f(p.uAddress, fold(st.addressU), fold(st.addressV));
}

void OpenGLRaster::ForgetTexture(RasterTexture *t) {
  auto found = textures.find(t);
  if (found == textures.end()) return;
  for (GLuint name : {found->second.id, found->second.stripId}) {
    if (name == 0) continue;
    Current();
    glDeleteTextures(1, &name);
  }
  if (lastRecord == &found->second) {
    lastTexture = nullptr;
    lastRecord = nullptr;
  }
  textures.erase(found);
}

}  // namespace glraster
