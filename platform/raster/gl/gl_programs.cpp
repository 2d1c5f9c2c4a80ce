// The hardware device's shaders: one vertex program that maps picture pixels onto the
// device's viewport (moved by half a pixel, so that pixel centres fall on integer
// coordinates as Direct3D has them), and five fragment programs, each built from the
// profile's version line and texel read (gl_profile.h), the device's inputs, the
// texture stage's functions and its own main.
#include <cstdio>
#include "platform/raster/gl/gl_device.h"

namespace glraster {

namespace {

const char *const vertexShader = R"(
layout(location = 0) in vec4 position;
layout(location = 1) in vec4 colour;
layout(location = 2) in vec2 texcoord;
layout(location = 3) in vec4 level0;
layout(location = 4) in vec4 level1;
layout(location = 5) in float mipWeight;
uniform float perPixel;
uniform float origin;
out vec4 vColour;
out vec2 vTexcoord;
flat out vec4 vLevel0;
flat out vec4 vLevel1;
flat out float vMipWeight;
out vec4 vLevelCoords;
void main() {
  float w = position.w > 0.0 ? 1.0 / position.w : 1.0;
  // The viewport is a power of two wide and high and the picture sits a whole number
  // of pixels inside it, so this mapping and the viewport's own are exact in single
  // precision: a vertex at a whole, half or quarter pixel reaches the rasterizer
  // exactly there, and lines and edges through pixel centres break their ties by rule
  // rather than by rounding.
  vec2 ndc = (position.xy + origin) * perPixel - 1.0;
  gl_Position = vec4(ndc * w, (position.z * 2.0 - 1.0) * w, w);
  vColour = colour.bgra;
  vTexcoord = texcoord;
  vLevel0 = level0;
  vLevel1 = level1;
  vMipWeight = mipWeight;
  // Both levels' coordinates in the strip, for a triangle whose coordinates all lie
  // within 0..1 (no folding needed): they are affine across it, so they can be
  // interpolated as they are instead of worked out for every pixel.
  vLevelCoords = vec4(level0.xy + texcoord * level0.zw, level1.xy + texcoord * level1.zw);
}
)";

// The five fragment programs: COMBINE 0 the vertex colour alone, 1 texel x vertex
// colour, 2 any stage setting and the alpha test, driven by uniforms, 3 texel x vertex
// colour from the texture's level strip: the coordinate folded into 0..1 by the address
// mode, then two bilinear reads in the triangle's two levels, blended by its weight; 4
// the same for coordinates that need no folding, read as they were interpolated.
const char *const fragmentInputs = R"(
in vec4 vColour;
in vec2 vTexcoord;
flat in vec4 vLevel0;
flat in vec4 vLevel1;
flat in float vMipWeight;
in vec4 vLevelCoords;
uniform vec2 address;
)";

// The texture stage's uniforms, its arguments and operations, and the alpha test's
// comparisons (Direct3D's numbering).
const char *const stageFunctions = R"(
uniform sampler2D tex;
uniform int hasTexture;
uniform int opaqueTexture;
uniform int colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
uniform vec4 factor;
uniform int alphaFunc;
uniform float alphaRef;
out vec4 fragColour;
vec4 arg(int a, vec4 t) { return a == 1 ? t : (a == 2 ? factor : vColour); }
vec4 op(int o, int a1, int a2, vec4 t) {
  vec4 x = arg(a1, t), y = arg(a2, t);
  return o == 0 ? x : (o == 1 ? y : x * y);
}
bool passes(int f, float v, float r) {
  if (f == 1) return false;
  if (f == 2) return v < r;
  if (f == 3) return v == r;
  if (f == 4) return v <= r;
  if (f == 5) return v > r;
  if (f == 6) return v != r;
  if (f == 7) return v >= r;
  return true;
}
)";

const char *const fragmentMain = R"(
vec2 fold(vec2 c) {
  vec2 m = mod(c, 2.0);
  vec2 wrapped = fract(c), mirrored = 1.0 - abs(1.0 - m), clamped = clamp(c, 0.0, 1.0);
  return mix(mix(wrapped, mirrored, step(0.5, address)), clamped, step(1.5, address));
}
void main() {
#if COMBINE == 0
  fragColour = vColour;
#elif COMBINE == 1
  fragColour = TEXEL(vTexcoord) * vColour;
#elif COMBINE == 3
  vec2 c = fold(vTexcoord);
  vec4 t0 = TEXEL(vLevel0.xy + c * vLevel0.zw), t1 = TEXEL(vLevel1.xy + c * vLevel1.zw);
  fragColour = mix(t0, t1, vMipWeight) * vColour;
#elif COMBINE == 4
  fragColour = mix(TEXEL(vLevelCoords.xy), TEXEL(vLevelCoords.zw), vMipWeight) * vColour;
#else
  vec4 t = hasTexture != 0 ? TEXEL(vTexcoord) : vec4(1.0);
  if (opaqueTexture != 0) t.a = 1.0;
  vec3 c = op(colorOp, colorArg1, colorArg2, t).rgb;
  float a = op(alphaOp, alphaArg1, alphaArg2, t).a;
  if (alphaFunc != 8 && !passes(alphaFunc, floor(a * 255.0 + 0.5), alphaRef)) discard;
  fragColour = vec4(c, a);
#endif
}
)";

}  // namespace

bool OpenGLRaster::Link(int combine, Program *p) {
  char define[32];
  std::snprintf(define, sizeof define, "#define COMBINE %d\n", combine);
  const char *vertex[2] = {glprofile::ShaderVersion, vertexShader};
  const char *fragment[6] = {glprofile::ShaderVersion, define, glprofile::TexelRead, fragmentInputs, stageFunctions,
                             fragmentMain};
  GLuint vs = Compile(GL_VERTEX_SHADER, vertex, 2), fs = Compile(GL_FRAGMENT_SHADER, fragment, 6);
  if (vs == 0 || fs == 0) return false;
  p->id = gl.glCreateProgram();
  gl.glAttachShader(p->id, vs);
  gl.glAttachShader(p->id, fs);
  gl.glLinkProgram(p->id);
  gl.glDeleteShader(vs);
  gl.glDeleteShader(fs);
  GLint linked = 0;
  gl.glGetProgramiv(p->id, GL_LINK_STATUS, &linked);
  if (!linked) {
    char log[512] = "";
    gl.glGetProgramInfoLog(p->id, sizeof log, nullptr, log);
    std::fprintf(stderr, "d3d8: hardware device unavailable: shader link failed: %s\n", log);
    return false;
  }
  gl.glUseProgram(p->id);
  gl.glUniform1i(gl.glGetUniformLocation(p->id, "tex"), 0);
  p->uPerPixel = gl.glGetUniformLocation(p->id, "perPixel");
  p->uOrigin = gl.glGetUniformLocation(p->id, "origin");
  p->uHasTexture = gl.glGetUniformLocation(p->id, "hasTexture");
  p->uOpaque = gl.glGetUniformLocation(p->id, "opaqueTexture");
  p->uColorOp = gl.glGetUniformLocation(p->id, "colorOp");
  p->uColorArg1 = gl.glGetUniformLocation(p->id, "colorArg1");
  p->uColorArg2 = gl.glGetUniformLocation(p->id, "colorArg2");
  p->uAlphaOp = gl.glGetUniformLocation(p->id, "alphaOp");
  p->uAlphaArg1 = gl.glGetUniformLocation(p->id, "alphaArg1");
  p->uAlphaArg2 = gl.glGetUniformLocation(p->id, "alphaArg2");
  p->uFactor = gl.glGetUniformLocation(p->id, "factor");
  p->uAlphaFunc = gl.glGetUniformLocation(p->id, "alphaFunc");
  p->uAlphaRef = gl.glGetUniformLocation(p->id, "alphaRef");
  p->uAddress = gl.glGetUniformLocation(p->id, "address");
  p->uLodBias = gl.glGetUniformLocation(p->id, "lodBias");
  return true;
}

GLuint OpenGLRaster::Compile(GLenum kind, const char *const *source, int parts) {
  GLuint shader = gl.glCreateShader(kind);
  gl.glShaderSource(shader, parts, source, nullptr);
  gl.glCompileShader(shader);
  GLint ok = 0;
  gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[512] = "";
    gl.glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "d3d8: hardware device unavailable: shader compile failed: %s\n", log);
    gl.glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace glraster
