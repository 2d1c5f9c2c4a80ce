// The projection and view matrices of the frame: left-handed, row vectors.
#include "platform/d3dx/d3dx.h"

#include <cmath>

D3DXMATRIX *WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX *out, FLOAT fovY, FLOAT aspect, FLOAT zn, FLOAT zf) {
  float yScale = std::cos(fovY * 0.5f) / std::sin(fovY * 0.5f);
  float xScale = yScale / aspect;
  float depth = zf / (zf - zn);
  *out = D3DXMATRIX{};
  out->_11 = xScale;
  out->_22 = yScale;
  out->_33 = depth;
  out->_34 = 1.0f;
  out->_43 = -zn * depth;
  return out;
}

namespace {

D3DXVECTOR3 Normalise(D3DXVECTOR3 v) {
  float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (length == 0.0f) return v;  // a degenerate axis stays zero rather than turning into NaN
  return D3DXVECTOR3(v.x / length, v.y / length, v.z / length);
}

D3DXVECTOR3 Cross(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b) {
  return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

float Dot(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

D3DXMATRIX *WINAPI D3DXMatrixLookAtLH(D3DXMATRIX *out, const D3DXVECTOR3 *eye, const D3DXVECTOR3 *at,
                                      const D3DXVECTOR3 *up) {
  D3DXVECTOR3 zAxis = Normalise(D3DXVECTOR3(at->x - eye->x, at->y - eye->y, at->z - eye->z));
  D3DXVECTOR3 xAxis = Normalise(Cross(*up, zAxis));
  D3DXVECTOR3 yAxis = Cross(zAxis, xAxis);
  out->_11 = xAxis.x, out->_12 = yAxis.x, out->_13 = zAxis.x, out->_14 = 0.0f;
  out->_21 = xAxis.y, out->_22 = yAxis.y, out->_23 = zAxis.y, out->_24 = 0.0f;
  out->_31 = xAxis.z, out->_32 = yAxis.z, out->_33 = zAxis.z, out->_34 = 0.0f;
  out->_41 = -Dot(xAxis, *eye), out->_42 = -Dot(yAxis, *eye), out->_43 = -Dot(zAxis, *eye), out->_44 = 1.0f;
  return out;
}
