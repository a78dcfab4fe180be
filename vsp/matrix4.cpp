#include "vsp/matrix4.hpp"

#include <cmath>
#include <numbers>

namespace orvanta::vsp {
namespace {

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

}  // namespace

Matrix4::Matrix4() : m_{} {
  for (int i = 0; i < 4; ++i) m_[i * 4 + i] = 1.0;
}

Matrix4 Matrix4::translation(Vec3 t) {
  Matrix4 r;
  r(0, 3) = t.x;
  r(1, 3) = t.y;
  r(2, 3) = t.z;
  return r;
}

Matrix4 Matrix4::rotation_x(double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  Matrix4 r;
  r(1, 1) = c;
  r(1, 2) = -s;
  r(2, 1) = s;
  r(2, 2) = c;
  return r;
}

Matrix4 Matrix4::rotation_y(double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  Matrix4 r;
  r(0, 0) = c;
  r(0, 2) = s;
  r(2, 0) = -s;
  r(2, 2) = c;
  return r;
}

Matrix4 Matrix4::rotation_z(double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  Matrix4 r;
  r(0, 0) = c;
  r(0, 1) = -s;
  r(1, 0) = s;
  r(1, 1) = c;
  return r;
}

Matrix4 Matrix4::rotation_about(Vec3 origin, Vec3 axis, double degrees) {
  const Vec3 k = normalized(axis);
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees)), t = 1.0 - c;
  Matrix4 r;
  r(0, 0) = c + k.x * k.x * t;
  r(0, 1) = k.x * k.y * t - k.z * s;
  r(0, 2) = k.x * k.z * t + k.y * s;
  r(1, 0) = k.y * k.x * t + k.z * s;
  r(1, 1) = c + k.y * k.y * t;
  r(1, 2) = k.y * k.z * t - k.x * s;
  r(2, 0) = k.z * k.x * t - k.y * s;
  r(2, 1) = k.z * k.y * t + k.x * s;
  r(2, 2) = c + k.z * k.z * t;
  return translation(origin) * r * translation(-1.0 * origin);
}

Matrix4 Matrix4::reflection(Vec3 n) {
  Matrix4 r;
  const double v[3] = {n.x, n.y, n.z};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r(i, j) = (i == j ? 1.0 : 0.0) - 2.0 * v[i] * v[j];
  return r;
}

Matrix4 Matrix4::operator*(const Matrix4& o) const {
  Matrix4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += (*this)(i, k) * o(k, j);
      r(i, j) = s;
    }
  return r;
}

Vec3 Matrix4::apply(Vec3 p) const {
  return {m_[0] * p.x + m_[1] * p.y + m_[2] * p.z + m_[3], m_[4] * p.x + m_[5] * p.y + m_[6] * p.z + m_[7],
          m_[8] * p.x + m_[9] * p.y + m_[10] * p.z + m_[11]};
}

Vec3 Matrix4::apply_direction(Vec3 d) const {
  return {m_[0] * d.x + m_[1] * d.y + m_[2] * d.z, m_[4] * d.x + m_[5] * d.y + m_[6] * d.z,
          m_[8] * d.x + m_[9] * d.y + m_[10] * d.z};
}

Matrix4 Matrix4::rigid_inverse() const {
  Matrix4 r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r(i, j) = (*this)(j, i);
  const Vec3 t = r.apply_direction({m_[3], m_[7], m_[11]});
  r(0, 3) = -t.x;
  r(1, 3) = -t.y;
  r(2, 3) = -t.z;
  return r;
}

Matrix4 Matrix4::translation_part() const { return translation({m_[3], m_[7], m_[11]}); }

Matrix4 Matrix4::linear_part() const {
  Matrix4 r = *this;
  r(0, 3) = r(1, 3) = r(2, 3) = 0.0;
  return r;
}

double Matrix4::determinant3() const {
  const auto& a = *this;
  return a(0, 0) * (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) - a(0, 1) * (a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) +
         a(0, 2) * (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
}

}  // namespace orvanta::vsp
