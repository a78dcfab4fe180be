#include "vsp/naca_six_series.hpp"

#include "vsp/geometry_error.hpp"
#include "vsp/internal/cubic_spline.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace orvanta::vsp {
namespace {

constexpr double kPi = std::numbers::pi;

internal::CubicSpline table_spline(const double* pairs, size_t count) {
  std::vector<double> phi(count), v(count);
  for (size_t k = 0; k < count; ++k) phi[k] = pairs[2 * k], v[k] = pairs[2 * k + 1];
  return internal::CubicSpline(std::move(phi), std::move(v));
}

// Points of the mapped circle z = zeta + 1/zeta with the family's eps and psi stretched by
// `k`: x = -2 cosh(k psi) cos(phi - k eps), y = 2 sinh(k psi) sin(phi - k eps). Stretching the
// mapping functions (rather than the ordinates) is how NACA derived other thicknesses from a
// basic form; the result is then scaled to the exact thickness.
class SixThickness {
 public:
  SixThickness(int family, double thickness) {
    const internal::SixSeriesTable t = internal::six_series_table(family);
    if (!t.eps || !t.psi)
      throw GeometryBuildError("the NACA " + std::to_string(family) +
                               "-series has no thickness form the geometry engine knows (63 to 66 do)");
    eps_ = table_spline(t.eps, t.eps_count);
    psi_ = table_spline(t.psi, t.psi_count);
    if (!(thickness > 0.0)) {
      flat_ = true;
      return;
    }
    double ratio = 1.0;
    for (int it = 0; it < 12; ++it) {
      k_ *= ratio;
      x0_ = raw(0.0).x, x1_ = raw(kPi).x;
      ratio = thickness / (2.0 * max_half_thickness() / (x1_ - x0_));
      if (std::abs(ratio - 1.0) <= 1e-4) break;
    }
    y_scale_ = ratio / (x1_ - x0_);
  }

  Vec2 operator()(double s) const {
    s = std::clamp(s, 0.0, 1.0);
    if (flat_) return {0.5 * (1.0 - std::cos(kPi * s)), 0.0};
    const Vec2 p = raw(kPi * s);
    return {(p.x - x0_) / (x1_ - x0_), std::max(0.0, y_scale_ * p.y)};
  }

 private:
  Vec2 raw(double phi) const {
    const double e = k_ * eps_(phi), p = k_ * psi_(phi);
    return {-2.0 * std::cosh(p) * std::cos(phi - e), 2.0 * std::sinh(p) * std::sin(phi - e)};
  }

  double max_half_thickness() const {
    constexpr int n = 400;
    int best = 0;
    for (int k = 1; k < n; ++k)
      if (raw(kPi * k / n).y > raw(kPi * best / n).y) best = k;
    double lo = kPi * std::max(best - 1, 0) / n, hi = kPi * std::min(best + 1, n) / n;
    for (int i = 0; i < 60; ++i) {
      const double a = lo + (hi - lo) / 3.0, b = hi - (hi - lo) / 3.0;
      if (raw(a).y < raw(b).y) lo = a;
      else hi = b;
    }
    return raw(0.5 * (lo + hi)).y;
  }

  internal::CubicSpline eps_, psi_;
  double k_ = 1.0, x0_ = -2.0, x1_ = 2.0, y_scale_ = 1.0;
  bool flat_ = false;
};

double x_log_x(double x) { return x > 0.0 ? x * std::log(x) : 0.0; }

}  // namespace

ThicknessForm six_series_thickness(int family, double thickness) {
  auto form = std::make_shared<const SixThickness>(family, thickness);
  return [form](double s) { return (*form)(s); };
}

MeanLine six_series_mean_line(double ideal_cl, double a) {
  if (ideal_cl == 0.0) return [](double) { return MeanLinePoint{}; };
  if (a >= 1.0 - 1e-9) {
    const double k = ideal_cl / (4.0 * kPi);
    return [k](double x) -> MeanLinePoint {
      const double xs = std::clamp(x, 1e-12, 1.0 - 1e-12);
      return {-k * (x_log_x(1.0 - x) + x_log_x(x)), k * (std::log(1.0 - xs) - std::log(xs))};
    };
  }
  a = std::max(a, 0.0);
  const double c = ideal_cl / (2.0 * kPi * (a + 1.0));
  const double g = -(a * a * (0.5 * std::log(std::max(a, 1e-300)) - 0.25) + 0.25) / (1.0 - a);
  const double h =
      (0.5 * (1.0 - a) * (1.0 - a) * std::log(1.0 - a) - 0.25 * (1.0 - a) * (1.0 - a)) / (1.0 - a) + g;
  return [a, c, g, h](double x) -> MeanLinePoint {
    x = std::clamp(x, 0.0, 1.0);
    const double am = a - x, om = 1.0 - x;
    const double y = c * ((0.5 * std::abs(am) * x_log_x(std::abs(am)) - 0.5 * om * x_log_x(om) +
                           0.25 * om * om - 0.25 * am * am) /
                              (1.0 - a) -
                          x_log_x(x) + g - h * x);
    const double xs = std::clamp(x, 1e-12, 1.0 - 1e-12), ams = a - xs;
    const double slope =
        c * ((x_log_x(1.0 - xs) - (ams == 0.0 ? 0.0 : ams * std::log(std::abs(ams)))) / (1.0 - a) -
             std::log(xs) - 1.0 - h);
    return {y, slope};
  };
}

// The thickness is laid off along the mean line's normal at x >= 0.005, where NACA's
// ordinates take it, since the slope grows without bound towards the leading edge.
std::shared_ptr<const AirfoilShape> six_series_shape(int family, double thickness, double ideal_cl,
                                                     double a) {
  MeanLine line = six_series_mean_line(ideal_cl, a);
  MeanLine laid = [line](double x) { return MeanLinePoint{line(x).y, line(std::max(x, 0.005)).slope}; };
  return cambered_shape(six_series_thickness(family, thickness), std::move(laid));
}

}  // namespace orvanta::vsp
