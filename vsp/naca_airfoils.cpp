#include "vsp/naca_airfoils.hpp"

#include "vsp/geometry_error.hpp"
#include "vsp/naca_six_series.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace orvanta::vsp {
namespace {

constexpr double kPi = std::numbers::pi;

class Cambered : public AirfoilShape {
 public:
  Cambered(ThicknessForm t, MeanLine m) : thickness_(std::move(t)), mean_(std::move(m)) {}
  Vec2 upper(double s) const override { return side(s, 1.0); }
  Vec2 lower(double s) const override { return side(s, -1.0); }

 private:
  Vec2 side(double s, double sign) const {
    const Vec2 t = thickness_(std::clamp(s, 0.0, 1.0));
    const MeanLinePoint c = mean_(std::clamp(t.x, 0.0, 1.0));
    const double phi = std::atan(c.slope);
    return {t.x - sign * t.y * std::sin(phi), c.y + sign * t.y * std::cos(phi)};
  }

  ThicknessForm thickness_;
  MeanLine mean_;
};

MeanLinePoint no_camber(double) { return {}; }

// The 4-series mean line: two parabolas meeting at the maximum camber.
MeanLine four_digit_mean_line(double m, double p) {
  if (!(m > 0.0)) return no_camber;
  return [m, p](double x) -> MeanLinePoint {
    if (x <= p) return {m / (p * p) * (2.0 * p * x - x * x), 2.0 * m / (p * p) * (p - x)};
    const double q = (1.0 - p) * (1.0 - p);
    return {m / q * (1.0 - 2.0 * p + 2.0 * p * x - x * x), 2.0 * m / q * (p - x)};
  };
}

// Solves a small dense system in place by Gaussian elimination with partial pivoting.
template <size_t N>
std::array<double, N> solve(std::array<std::array<double, N>, N> a, std::array<double, N> b) {
  for (size_t c = 0; c < N; ++c) {
    size_t piv = c;
    for (size_t r = c + 1; r < N; ++r)
      if (std::abs(a[r][c]) > std::abs(a[piv][c])) piv = r;
    std::swap(a[c], a[piv]);
    std::swap(b[c], b[piv]);
    for (size_t r = c + 1; r < N; ++r) {
      const double f = a[r][c] / a[c][c];
      for (size_t k = c; k < N; ++k) a[r][k] -= f * a[c][k];
      b[r] -= f * b[c];
    }
  }
  std::array<double, N> x{};
  for (size_t r = N; r-- > 0;) {
    double s = b[r];
    for (size_t k = r + 1; k < N; ++k) s -= a[r][k] * x[k];
    x[r] = s / a[r][r];
  }
  return x;
}

ThicknessForm x_form(std::function<double(double)> half_thickness) {
  return [h = std::move(half_thickness)](double s) { return Vec2{s, h(s)}; };
}

// Arc-length parameterised polyline from the leading to the trailing edge.
class Polyline {
 public:
  explicit Polyline(std::vector<Vec2> pts) : pts_(std::move(pts)), s_{0.0} {
    for (size_t k = 1; k < pts_.size(); ++k)
      s_.push_back(s_.back() + std::hypot(pts_[k].x - pts_[k - 1].x, pts_[k].y - pts_[k - 1].y));
  }
  Vec2 operator()(double s) const {
    const double target = std::clamp(s, 0.0, 1.0) * s_.back();
    size_t k = 1;
    while (k + 1 < pts_.size() && s_[k] < target) ++k;
    const double span = s_[k] - s_[k - 1];
    return lerp(pts_[k - 1], pts_[k], span > 0.0 ? (target - s_[k - 1]) / span : 0.0);
  }

 private:
  std::vector<Vec2> pts_;
  std::vector<double> s_;
};

class TwoPolylines : public AirfoilShape {
 public:
  TwoPolylines(Polyline u, Polyline l) : u_(std::move(u)), l_(std::move(l)) {}
  Vec2 upper(double s) const override { return u_(s); }
  Vec2 lower(double s) const override { return l_(s); }

 private:
  Polyline u_, l_;
};

}  // namespace

std::shared_ptr<const AirfoilShape> cambered_shape(ThicknessForm thickness, MeanLine mean_line) {
  return std::make_shared<Cambered>(std::move(thickness), std::move(mean_line));
}

// Coefficients at the reference thickness 0.2 (half thickness 0.1 at the maximum), scaled
// linearly to the thickness asked for. The aft part is fixed by the trailing-edge thickness
// and slope and by a zero slope at the maximum; the forward part by the leading-edge radius
// and by matching thickness, slope and curvature at the maximum.
FourDigitModThickness::FourDigitModThickness(double thickness, double thickness_location, double le_index,
                                             bool sharp_trailing_edge)
    : location(thickness_location), scale(thickness / 0.2) {
  const double m = thickness_location, s = 1.0 - m, half = 0.1;
  // Leading-edge radius 1.1019 (t I / 6)^2, growing linearly from index 8 to three times the
  // 4-digit radius at index 9.
  double rle = 1.1019 * std::pow(0.2 * le_index / 6.0, 2.0);
  if (le_index > 8.0) {
    const double r8 = 1.1019 * std::pow(0.2 * 8.0 / 6.0, 2.0), r9 = 3.0 * 1.1019 * 0.04;
    rle = r8 + (le_index - 8.0) * (r9 - r8);
  }
  // Trailing-edge slope: a fit of NACA's table (0.200 at m = 0.2 ... 0.700 at m = 0.6).
  d[0] = sharp_trailing_edge ? 0.0 : 0.002;
  d[1] =
      (0.244364095382286 - 0.677199764201376 * m + 1.609809719636767 * m * m) / (1.0 - 0.672612098884539 * m);
  const auto dd = solve<2>({{{s * s, s * s * s}, {2.0 * s, 3.0 * s * s}}}, {half - d[0] - d[1] * s, -d[1]});
  d[2] = dd[0];
  d[3] = dd[1];
  const double curvature = 2.0 * d[2] + 6.0 * d[3] * s;
  a[0] = std::sqrt(2.0 * rle);
  const double r = std::sqrt(m);
  const auto aa = solve<3>({{{m, m * m, m * m * m}, {1.0, 2.0 * m, 3.0 * m * m}, {0.0, 2.0, 6.0 * m}}},
                           {half - a[0] * r, -0.5 * a[0] / r, curvature + 0.25 * a[0] / (r * m)});
  a[1] = aa[0];
  a[2] = aa[1];
  a[3] = aa[2];
}

double FourDigitModThickness::operator()(double x) const {
  x = std::clamp(x, 0.0, 1.0);
  if (x < location) return scale * (a[0] * std::sqrt(x) + x * (a[1] + x * (a[2] + x * a[3])));
  const double q = 1.0 - x;
  return scale * (d[0] + q * (d[1] + q * (d[2] + q * d[3])));
}

FiveDigitMeanLine five_digit_parameters(double p) {
  FiveDigitMeanLine out;
  if (!(p > 0.0)) return out;
  // p = m (1 - sqrt(m / 3)) rises monotonically over (0, 1].
  double lo = 0.0, hi = 1.0;
  for (int i = 0; i < 100; ++i) {
    const double mid = 0.5 * (lo + hi);
    (mid * (1.0 - std::sqrt(mid / 3.0)) < p ? lo : hi) = mid;
  }
  out.m = std::min(0.5 * (lo + hi), 1.0 - 1e-6);
  const double m = out.m;
  const MeanLine unit = [m](double x) -> MeanLinePoint {
    if (x < m)
      return {(x * x * x - 3.0 * m * x * x + m * m * (3.0 - m) * x) / 6.0,
              (3.0 * x * x - 6.0 * m * x + m * m * (3.0 - m)) / 6.0};
    return {m * m * m / 6.0 * (1.0 - x), -m * m * m / 6.0};
  };
  out.k1 = 0.3 / ideal_lift_coefficient(unit);
  return out;
}

MeanLine five_digit_mean_line(double ideal_cl, double camber_location) {
  if (ideal_cl == 0.0 || !(camber_location > 0.0)) return no_camber;
  const FiveDigitMeanLine p = five_digit_parameters(camber_location);
  const double k = p.k1 * ideal_cl / 0.3, m = p.m;
  return [k, m](double x) -> MeanLinePoint {
    if (x < m)
      return {k / 6.0 * (x * x * x - 3.0 * m * x * x + m * m * (3.0 - m) * x),
              k / 6.0 * (3.0 * x * x - 6.0 * m * x + m * m * (3.0 - m))};
    return {k * m * m * m / 6.0 * (1.0 - x), -k * m * m * m / 6.0};
  };
}

// Thin-airfoil theory at the angle of smooth entry: cl = 2 * integral over theta in [0, pi] of
// slope(x) cos(theta), x = (1 - cos theta) / 2 (midpoint rule, which avoids the ends where
// some mean lines have infinite slope).
double ideal_lift_coefficient(const MeanLine& mean_line) {
  constexpr int n = 20000;
  double sum = 0.0;
  for (int k = 0; k < n; ++k) {
    const double theta = kPi * (k + 0.5) / n;
    sum += mean_line(0.5 * (1.0 - std::cos(theta))).slope * std::cos(theta);
  }
  return 2.0 * sum * kPi / n;
}

std::shared_ptr<const AirfoilShape> four_digit_mod_shape(double camber, double camber_location,
                                                         double thickness, double thickness_location,
                                                         double le_index, bool sharp_trailing_edge) {
  const FourDigitModThickness t(thickness, thickness_location, le_index, sharp_trailing_edge);
  return cambered_shape(x_form(t), four_digit_mean_line(camber, camber_location));
}

std::shared_ptr<const AirfoilShape> five_digit_shape(double ideal_cl, double camber_location,
                                                     double thickness, bool sharp_trailing_edge) {
  auto shape = four_series_shape(0.0, 0.2, thickness, sharp_trailing_edge);
  ThicknessForm t = [shape](double s) { return shape->upper(s); };
  return cambered_shape(std::move(t), five_digit_mean_line(ideal_cl, camber_location));
}

std::shared_ptr<const AirfoilShape> five_digit_mod_shape(double ideal_cl, double camber_location,
                                                         double thickness, double thickness_location,
                                                         double le_index, bool sharp_trailing_edge) {
  const FourDigitModThickness t(thickness, thickness_location, le_index, sharp_trailing_edge);
  return cambered_shape(x_form(t), five_digit_mean_line(ideal_cl, camber_location));
}

std::shared_ptr<const AirfoilShape> sixteen_series_shape(double ideal_cl, double thickness,
                                                         bool sharp_trailing_edge) {
  const FourDigitModThickness t(thickness, 0.5, 4.0, sharp_trailing_edge);
  if (ideal_cl == 0.0) return cambered_shape(x_form(t), no_camber);
  // The slope is infinite at both ends; it is taken a millionth of the chord inside them.
  const double k = ideal_cl / (4.0 * kPi);
  MeanLine mean = [k](double x) -> MeanLinePoint {
    const double xs = std::clamp(x, 1e-6, 1.0 - 1e-6);
    const double y = x <= 0.0 || x >= 1.0 ? 0.0 : -k * ((1.0 - x) * std::log(1.0 - x) + x * std::log(x));
    return {y, k * (std::log(1.0 - xs) - std::log(xs))};
  };
  return cambered_shape(x_form(t), std::move(mean));
}

std::shared_ptr<const AirfoilShape> biconvex_shape(double thickness) {
  return cambered_shape(x_form([thickness](double x) { return 2.0 * thickness * x * (1.0 - x); }), no_camber);
}

std::shared_ptr<const AirfoilShape> wedge_shape(const WedgeParameters& p) {
  const double h = 0.5 * p.thickness;
  std::vector<Vec2> up{{0.0, 0.0}, {p.upper_location, h + p.camber}};
  if (p.upper_flat > 0.001) up.push_back({p.upper_location + p.upper_flat, h + p.camber});
  up.push_back({1.0, 0.0});
  std::vector<Vec2> low{{0.0, 0.0}, {p.lower_location, -h + p.camber}};
  if (p.lower_flat > 0.001) low.push_back({p.lower_location + p.lower_flat, -h + p.camber});
  low.push_back({1.0, 0.0});
  return std::make_shared<TwoPolylines>(Polyline(std::move(up)), Polyline(std::move(low)));
}

namespace {

class KarmanTrefftz : public AirfoilShape {
 public:
  KarmanTrefftz(double epsilon, double kappa, double tau_deg) {
    const double a = ell_ * std::hypot(1.0 + epsilon, kappa);
    beta_ = std::asin(ell_ * kappa / a);
    radius_ = a;
    n_ = 2.0 - tau_deg / 180.0;
    mu_ = {-ell_ * epsilon, ell_ * kappa};
    // The leading edge: the point farthest from the trailing edge (circle angle 0).
    const auto te = raw(0.0);
    double best = -1.0;
    for (int k = 1; k < 2000; ++k) {
      const double th = 2.0 * kPi * k / 2000.0;
      if (const double d = std::abs(raw(th) - te); d > best) best = d, le_theta_ = th;
    }
    double lo = le_theta_ - 2.0 * kPi / 2000.0, hi = le_theta_ + 2.0 * kPi / 2000.0;
    for (int i = 0; i < 80; ++i) {
      const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
      if (std::abs(raw(m1) - te) < std::abs(raw(m2) - te)) lo = m1;
      else hi = m2;
    }
    le_theta_ = 0.5 * (lo + hi);
    x_le_ = raw(le_theta_).real();
    scale_ = te.real() - x_le_;
    // The side whose midpoint lies higher is the upper side.
    upper_first_ = raw(0.5 * le_theta_).imag() > raw(le_theta_ + 0.5 * (2.0 * kPi - le_theta_)).imag();
  }
  Vec2 upper(double s) const override { return at(upper_first_, s); }
  Vec2 lower(double s) const override { return at(!upper_first_, s); }

 private:
  // The circle from angle 0 (trailing edge) to the leading edge is the first side.
  Vec2 at(bool first_side, double s) const {
    s = std::clamp(s, 0.0, 1.0);
    const double th = first_side ? le_theta_ * (1.0 - s) : le_theta_ + s * (2.0 * kPi - le_theta_);
    const auto z = raw(th);
    return {(z.real() - x_le_) / scale_, z.imag() / scale_};
  }
  std::complex<double> raw(double theta) const {
    const std::complex<double> zeta = mu_ + radius_ * std::polar(1.0, theta - beta_);
    const std::complex<double> q = std::pow(zeta - ell_, n_) / std::pow(zeta + ell_, n_);
    return n_ * ell_ * (1.0 + q) / (1.0 - q);
  }

  double ell_ = 0.25, radius_ = 0.0, beta_ = 0.0, n_ = 2.0;
  std::complex<double> mu_;
  double le_theta_ = kPi, x_le_ = 0.0, scale_ = 1.0;
  bool upper_first_ = true;
};

}  // namespace

std::shared_ptr<const AirfoilShape> karman_trefftz_shape(double epsilon, double kappa, double tau_deg) {
  auto shape = std::make_shared<KarmanTrefftz>(epsilon, kappa, tau_deg);
  const Vec2 le = shape->upper(0.0), te = shape->upper(1.0);
  if (!std::isfinite(le.x) || !std::isfinite(te.x) || !(te.x - le.x > 0.5))
    throw GeometryBuildError("the Karman-Trefftz parameters give no airfoil");
  return shape;
}

}  // namespace orvanta::vsp
