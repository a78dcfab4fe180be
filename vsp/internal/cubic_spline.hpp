#pragma once
// Natural cubic spline through (t_k, y_k) with increasing t_k: smooth interpolation of
// airfoil coordinates given as points.

#include <vector>

namespace orvanta::vsp::internal {

class CubicSpline {
 public:
  CubicSpline() = default;
  CubicSpline(std::vector<double> t, std::vector<double> y);
  double operator()(double t) const;

 private:
  std::vector<double> t_, y_, m_;  // m_: second derivatives at the knots
};

}  // namespace orvanta::vsp::internal
