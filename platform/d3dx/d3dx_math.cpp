#include "platform/d3dx/d3dx_math.h"

#include <cmath>

#include "platform/d3dx/matrix_cofactors.h"

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
  *out = identityMatrix();
  return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b) {
  D3DXMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r.m[i][j] += a->m[i][k] * b->m[k][j];
  *out = r;
  return out;
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* mat) {
  // Cofactor expansion in double precision.
  double m[16], inv[16];
  for (int i = 0; i < 16; ++i) m[i] = mat->m[i / 4][i % 4];
  const double det = adjugateAndDeterminant(m, inv);
  if (determinant) *determinant = static_cast<float>(det);
  if (det == 0.0 || !std::isfinite(det)) return nullptr;
  for (int i = 0; i < 16; ++i) out->m[i / 4][i % 4] = static_cast<float>(inv[i] / det);
  return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
  *out = identityMatrix();
  out->m[0][0] = sx;
  out->m[1][1] = sy;
  out->m[2][2] = sz;
  return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
  *out = identityMatrix();
  out->m[3][0] = x;
  out->m[3][1] = y;
  out->m[3][2] = z;
  return out;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q) {
  const float x = q->x, y = q->y, z = q->z, w = q->w;
  *out = identityMatrix();
  out->m[0][0] = 1 - 2 * (y * y + z * z);
  out->m[0][1] = 2 * (x * y + z * w);
  out->m[0][2] = 2 * (x * z - y * w);
  out->m[1][0] = 2 * (x * y - z * w);
  out->m[1][1] = 1 - 2 * (x * x + z * z);
  out->m[1][2] = 2 * (y * z + x * w);
  out->m[2][0] = 2 * (x * z + y * w);
  out->m[2][1] = 2 * (y * z - x * w);
  out->m[2][2] = 1 - 2 * (x * x + y * y);
  return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zn, float zf) {
  const float yScale = 1.0f / std::tan(fovY / 2), xScale = yScale / aspect;
  *out = D3DXMATRIX{};
  out->m[0][0] = xScale;
  out->m[1][1] = yScale;
  out->m[2][2] = zf / (zf - zn);
  out->m[2][3] = 1;
  out->m[3][2] = -zn * zf / (zf - zn);
  return out;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at, const D3DXVECTOR3* up) {
  auto norm = [](D3DXVECTOR3 v) {
    const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return l > 0 ? D3DXVECTOR3{v.x / l, v.y / l, v.z / l} : v;
  };
  auto cross = [](D3DXVECTOR3 a, D3DXVECTOR3 b) {
    return D3DXVECTOR3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  };
  auto dot = [](D3DXVECTOR3 a, D3DXVECTOR3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
  const D3DXVECTOR3 z = norm({at->x - eye->x, at->y - eye->y, at->z - eye->z});
  const D3DXVECTOR3 x = norm(cross(*up, z));
  const D3DXVECTOR3 y = cross(z, x);
  *out = identityMatrix();
  out->m[0][0] = x.x;
  out->m[0][1] = y.x;
  out->m[0][2] = z.x;
  out->m[1][0] = x.y;
  out->m[1][1] = y.y;
  out->m[1][2] = z.y;
  out->m[2][0] = x.z;
  out->m[2][1] = y.z;
  out->m[2][2] = z.z;
  out->m[3][0] = -dot(x, *eye);
  out->m[3][1] = -dot(y, *eye);
  out->m[3][2] = -dot(z, *eye);
  return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle) {
  const float l = std::sqrt(axis->x * axis->x + axis->y * axis->y + axis->z * axis->z);
  const float s = l > 0 ? std::sin(angle / 2) / l : 0.0f;
  *out = D3DXQUATERNION{axis->x * s, axis->y * s, axis->z * s, std::cos(angle / 2)};
  return out;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* a, const D3DXQUATERNION* b, float t) {
  float cosine = a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
  float sign = 1;
  if (cosine < 0) {
    cosine = -cosine;
    sign = -1;
  }
  float wa = 1 - t, wb = t;
  if (cosine < 0.9999f) {
    const float angle = std::acos(cosine), s = std::sin(angle);
    wa = std::sin((1 - t) * angle) / s;
    wb = std::sin(t * angle) / s;
  }
  wb *= sign;
  *out = D3DXQUATERNION{wa * a->x + wb * b->x, wa * a->y + wb * b->y, wa * a->z + wb * b->z, wa * a->w + wb * b->w};
  return out;
}
