#pragma once
// Affine transforms of model space (4x4, column vectors, angles in degrees).

#include "vsp/vec3.hpp"

#include <array>

namespace orvanta::vsp {

class Matrix4 {
 public:
  Matrix4();  // identity

  static Matrix4 translation(Vec3 t);
  // Right-handed rotation about a coordinate axis through the origin.
  static Matrix4 rotation_x(double degrees);
  static Matrix4 rotation_y(double degrees);
  static Matrix4 rotation_z(double degrees);
  // Right-handed rotation about the axis through `origin` along `axis` (need not be unit).
  static Matrix4 rotation_about(Vec3 origin, Vec3 axis, double degrees);
  // Reflection in the plane through the origin with unit normal `normal`.
  static Matrix4 reflection(Vec3 normal);

  Matrix4 operator*(const Matrix4& other) const;
  Vec3 apply(Vec3 p) const;
  Vec3 apply_direction(Vec3 d) const;
  // Inverse of a rigid (rotation + translation) or reflected rigid transform.
  Matrix4 rigid_inverse() const;
  // The translation alone / the linear part alone.
  Matrix4 translation_part() const;
  Matrix4 linear_part() const;
  // Negative for transforms that mirror space.
  double determinant3() const;

  double operator()(int row, int col) const { return m_[row * 4 + col]; }
  double& operator()(int row, int col) { return m_[row * 4 + col]; }

 private:
  std::array<double, 16> m_;
};

}  // namespace orvanta::vsp
