#include "vsp/airfoil.hpp"

#include "vsp/airfoil_modifiers.hpp"
#include "vsp/airfoil_parms.hpp"

#include "vsp/geometry_error.hpp"
#include "vsp/internal/cubic_spline.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace orvanta::vsp {
namespace {

constexpr int kArcSamples = 400;

// Thickness polynomial coefficients: the classic ones leave a blunt trailing edge; the sharp
// set closes it while keeping the classic slope at the trailing edge, the thickness at 10 %
// and the thickness and slope at 30 % of the chord.
const std::array<double, 5>& thickness_coefficients(bool sharp) {
  static const std::array<double, 5> blunt = {0.2969, -0.1260, -0.3516, 0.2843, -0.1015};
  static const std::array<double, 5> closed = [] {
    const auto& a = blunt;
    auto value = [](double x) {
      return std::array<double, 5>{std::sqrt(x), x, x * x, x * x * x, x * x * x * x};
    };
    auto slope = [](double x) {
      return std::array<double, 5>{0.5 / std::sqrt(x), 1.0, 2.0 * x, 3.0 * x * x, 4.0 * x * x * x};
    };
    auto dot5 = [](const std::array<double, 5>& r, const std::array<double, 5>& c) {
      double s = 0.0;
      for (int i = 0; i < 5; ++i) s += r[i] * c[i];
      return s;
    };
    std::array<std::array<double, 6>, 5> m{};
    const std::array<std::array<double, 5>, 5> rows = {value(1.0), slope(1.0), value(0.1), value(0.3),
                                                       slope(0.3)};
    const std::array<double, 5> rhs = {0.0, dot5(slope(1.0), a), dot5(value(0.1), a), dot5(value(0.3), a),
                                       dot5(slope(0.3), a)};
    for (int r = 0; r < 5; ++r) {
      for (int c = 0; c < 5; ++c) m[r][c] = rows[r][c];
      m[r][5] = rhs[r];
    }
    for (int c = 0; c < 5; ++c) {  // Gaussian elimination with partial pivoting
      int piv = c;
      for (int r = c + 1; r < 5; ++r)
        if (std::abs(m[r][c]) > std::abs(m[piv][c])) piv = r;
      std::swap(m[c], m[piv]);
      for (int r = 0; r < 5; ++r) {
        if (r == c) continue;
        const double f = m[r][c] / m[c][c];
        for (int k = c; k < 6; ++k) m[r][k] -= f * m[c][k];
      }
    }
    std::array<double, 5> out{};
    for (int r = 0; r < 5; ++r) out[r] = m[r][5] / m[r][r];
    return out;
  }();
  return sharp ? closed : blunt;
}

class FourSeries : public AirfoilShape {
 public:
  FourSeries(double m, double p, double t, bool sharp)
      : m_(m), p_(p), t_(t), a_(thickness_coefficients(sharp)) {}
  Vec2 upper(double x) const override { return side(x, 1.0); }
  Vec2 lower(double x) const override { return side(x, -1.0); }

 private:
  Vec2 side(double x, double sign) const {
    x = std::clamp(x, 0.0, 1.0);
    const double yt = 5.0 * t_ * (a_[0] * std::sqrt(x) + x * (a_[1] + x * (a_[2] + x * (a_[3] + x * a_[4]))));
    double yc = 0.0, slope = 0.0;
    if (m_ > 0.0) {
      if (x <= p_) {
        yc = m_ / (p_ * p_) * (2.0 * p_ * x - x * x);
        slope = 2.0 * m_ / (p_ * p_) * (p_ - x);
      } else {
        const double q = (1.0 - p_) * (1.0 - p_);
        yc = m_ / q * (1.0 - 2.0 * p_ + 2.0 * p_ * x - x * x);
        slope = 2.0 * m_ / q * (p_ - x);
      }
    }
    const double phi = std::atan(slope);
    return {x - sign * yt * std::sin(phi), yc + sign * yt * std::cos(phi)};
  }

  double m_, p_, t_;
  std::array<double, 5> a_;
};

class Cst : public AirfoilShape {
 public:
  // Binomial weights folded into the coefficients once.
  Cst(std::vector<double> au, std::vector<double> al)
      : au_(weighted(std::move(au))), al_(weighted(std::move(al))) {}
  Vec2 upper(double x) const override { return {x, value(au_, x)}; }
  Vec2 lower(double x) const override { return {x, value(al_, x)}; }
  bool sides_share_x() const override { return true; }

 private:
  static std::vector<double> weighted(std::vector<double> a) {
    const int n = static_cast<int>(a.size()) - 1;
    double binom = 1.0;
    for (int i = 0; i <= n; ++i) {
      a[static_cast<size_t>(i)] *= binom;
      binom = binom * (n - i) / (i + 1);
    }
    return a;
  }

  static double value(const std::vector<double>& a, double x) {
    x = std::clamp(x, 0.0, 1.0);
    const size_t n = a.size() - 1;
    // sum of a_i x^i (1 - x)^(n - i), powers built up instead of called for
    double q[32], sum = 0.0, xp = 1.0;
    const size_t m = std::min<size_t>(n, 31);
    q[0] = 1.0;
    for (size_t k = 1; k <= m; ++k) q[k] = q[k - 1] * (1.0 - x);
    for (size_t i = 0; i <= n; ++i, xp *= x)
      sum += a[i] * xp * (n - i <= m ? q[n - i] : std::pow(1.0 - x, double(n - i)));
    return std::sqrt(x) * (1.0 - x) * sum;
  }

  std::vector<double> au_, al_;
};

class PointAirfoil : public AirfoilShape {
 public:
  PointAirfoil(const std::vector<Vec2>& upper, const std::vector<Vec2>& lower)
      : upper_(fit(upper)), lower_(fit(lower)) {}
  Vec2 upper(double t) const override { return {upper_.x(t), upper_.y(t)}; }
  Vec2 lower(double t) const override { return {lower_.x(t), lower_.y(t)}; }

 private:
  struct Side {
    internal::CubicSpline x, y;
  };

  // Splines in normalised cumulative chord length, so t runs from 0 to 1 on each side.
  static Side fit(const std::vector<Vec2>& pts) {
    std::vector<double> t{0.0}, xs{pts.front().x}, ys{pts.front().y};
    for (size_t k = 1; k < pts.size(); ++k) {
      const double d = std::hypot(pts[k].x - pts[k - 1].x, pts[k].y - pts[k - 1].y);
      if (d <= 0.0) continue;  // repeated points carry no shape
      t.push_back(t.back() + d);
      xs.push_back(pts[k].x);
      ys.push_back(pts[k].y);
    }
    for (double& v : t) v /= t.back();
    return {internal::CubicSpline(t, xs), internal::CubicSpline(t, ys)};
  }

  Side upper_, lower_;
};

// y of a polyline (sorted by x) at x, linearly interpolated and held constant beyond its ends.
double y_at(const std::vector<Vec2>& pts, double x) {
  const auto it =
      std::lower_bound(pts.begin(), pts.end(), x, [](const Vec2& p, double v) { return p.x < v; });
  if (it == pts.begin()) return pts.front().y;
  if (it == pts.end()) return pts.back().y;
  const Vec2 a = *(it - 1), b = *it;
  return b.x > a.x ? a.y + (x - a.x) / (b.x - a.x) * (b.y - a.y) : b.y;
}

std::vector<Vec2> scaled_about_camber(const std::vector<Vec2>& side, std::vector<Vec2> other, double ratio) {
  std::sort(other.begin(), other.end(), [](const Vec2& a, const Vec2& b) { return a.x < b.x; });
  std::vector<Vec2> out = side;
  for (Vec2& p : out) {
    const double camber = 0.5 * (p.y + y_at(other, p.x));
    p.y = camber + ratio * (p.y - camber);
  }
  return out;
}

}  // namespace

std::shared_ptr<const AirfoilShape> four_series_shape(double camber, double camber_location, double thickness,
                                                      bool sharp_trailing_edge) {
  return std::make_shared<FourSeries>(camber, camber_location, thickness, sharp_trailing_edge);
}

std::shared_ptr<const AirfoilShape> cst_shape(std::vector<double> upper_coeffs,
                                              std::vector<double> lower_coeffs) {
  return std::make_shared<Cst>(std::move(upper_coeffs), std::move(lower_coeffs));
}

std::shared_ptr<const AirfoilShape> point_shape(std::vector<Vec2> upper, std::vector<Vec2> lower,
                                                double thickness_ratio) {
  for (const auto* side : {&upper, &lower}) {
    double length = 0.0;
    for (size_t k = 1; k < side->size(); ++k)
      length += std::hypot((*side)[k].x - (*side)[k - 1].x, (*side)[k].y - (*side)[k - 1].y);
    if (side->size() < 2 || !(length > 0.0))
      throw GeometryBuildError("an airfoil side given by points needs at least two distinct points");
  }
  if (thickness_ratio != 1.0) {
    const auto u = scaled_about_camber(upper, lower, thickness_ratio);
    const auto l = scaled_about_camber(lower, upper, thickness_ratio);
    return std::make_shared<PointAirfoil>(u, l);
  }
  return std::make_shared<PointAirfoil>(upper, lower);
}

Airfoil::Airfoil(std::shared_ptr<const AirfoilShape> shape, bool inverted, CurvePlacement placement)
    : shape_(std::move(shape)), inverted_(inverted), placement_(placement) {
  cos_ = placement.scale * std::cos(placement.theta * std::numbers::pi / 180.0);
  sin_ = placement.scale * std::sin(placement.theta * std::numbers::pi / 180.0);
  upper_arc_.build([this](double t) { return side_point(true, t); }, 0.0, 1.0, kArcSamples, true);
  lower_arc_.build([this](double t) { return side_point(false, t); }, 0.0, 1.0, kArcSamples, true);
}

// An inverted airfoil is flipped upside down; its new upper side is the old lower one, so the
// curve keeps running lower side first and the surface keeps its orientation.
Vec2 Airfoil::side_point(bool upper, double t) const {
  Vec2 p = inverted_ ? (upper ? shape_->lower(t) : shape_->upper(t))
                     : (upper ? shape_->upper(t) : shape_->lower(t));
  if (inverted_) p.y = -p.y;
  return {cos_ * p.x - sin_ * p.y + placement_.dx, sin_ * p.x + cos_ * p.y + placement_.dy};
}

Vec2 Airfoil::point(double w) const {
  w = std::clamp(w, 0.0, 4.0);
  if (w <= 2.0) return side_point(false, lower_arc_.parameter_at(1.0 - 0.5 * w));
  return side_point(true, upper_arc_.parameter_at(0.5 * (w - 2.0)));
}

namespace {

// Largest value of f on [0, 1]: the best of n + 1 cosine-spaced samples (dense near both
// ends, where airfoil curves change fastest), refined by golden sections within +-window.
template <class F>
double maximum_on_unit_interval(F f, int n, double window, int refinements) {
  double best_t = 0.0, best = -1.0;
  for (int k = 0; k <= n; ++k) {
    const double t = 0.5 * (1.0 - std::cos(std::numbers::pi * k / n));
    if (const double v = f(t); v > best) best = v, best_t = t;
  }
  double lo = std::max(0.0, best_t - window), hi = std::min(1.0, best_t + window);
  const double g = 0.5 * (std::sqrt(5.0) - 1.0);
  for (int i = 0; i < refinements; ++i) {
    const double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
    if (f(a) > f(b)) hi = b;
    else lo = a;
  }
  return std::max(best, f(0.5 * (lo + hi)));
}

// Both sides as y(x): the thickness is a function of x alone (and the same when inverted).
double max_thickness_of_shared_x(const AirfoilShape& shape) {
  auto thickness_at = [&](double x) { return shape.upper(x).y - shape.lower(x).y; };
  return maximum_on_unit_interval(thickness_at, 160, 2e-2, 64);
}

}  // namespace

double Airfoil::trailing_edge_gap() const {
  const Vec2 a = side_point(true, 1.0), b = side_point(false, 1.0);
  return std::hypot(a.x - b.x, a.y - b.y);
}

double Airfoil::max_thickness() const {
  if (shape_->sides_share_x() && placement_.theta == 0.0)
    return placement_.scale * max_thickness_of_shared_x(*shape_);
  constexpr int n = 4000;
  std::vector<Vec2> lower(n + 1);
  for (int k = 0; k <= n; ++k) lower[k] = side_point(false, 0.5 * (1.0 - std::cos(std::numbers::pi * k / n)));
  std::sort(lower.begin(), lower.end(), [](const Vec2& a, const Vec2& b) { return a.x < b.x; });
  auto thickness_at = [&](double t) {
    const Vec2 u = side_point(true, t);
    return u.y - y_at(lower, u.x);
  };
  return maximum_on_unit_interval(thickness_at, n, 2e-3, 60);
}

namespace {

struct CstCoefficients {
  std::vector<double> upper, lower;
};

int cst_degree(const ModelData& data, int container, const char* degree_name, const char* group,
               const char* prefix) {
  const int p = data.find(container, "XSecCurve", degree_name);
  if (p >= 0) return static_cast<int>(data.parms[static_cast<size_t>(p)].value);
  int count = 0;
  while (data.find(container, group, prefix + std::to_string(count)) >= 0) ++count;
  return std::max(count - 1, 0);
}

// The coefficients that shape the curve (indices 0..degree); the name of the first missing one
// in `missing` when the curve lacks some.
std::optional<CstCoefficients> cst_coefficients(const ModelData& data, int c, std::string& missing) {
  CstCoefficients out;
  const struct {
    const char* degree;
    const char* group;
    const char* prefix;
    std::vector<double>* values;
  } sides[] = {{"UpDegree", "UpperCoeff", "Au_", &out.upper}, {"LowDegree", "LowerCoeff", "Al_", &out.lower}};
  for (const auto& side : sides) {
    const int degree = cst_degree(data, c, side.degree, side.group, side.prefix);
    for (int i = 0; i <= degree; ++i) {
      const std::string name = side.prefix + std::to_string(i);
      const int p = data.find(c, side.group, name);
      if (p < 0) {
        missing = std::string(side.group) + "/" + name + " (degree " + std::to_string(degree) + ")";
        return std::nullopt;
      }
      side.values->push_back(data.parms[static_cast<size_t>(p)].value);
    }
  }
  if (data.value(c, "XSecCurve", "ContLERad", 0.0) != 0.0) out.lower[0] = -out.upper[0];
  return out;
}

}  // namespace

namespace {

std::shared_ptr<const AirfoilShape> base_shape(const ModelData& data, const XSecCurve& curve,
                                               const std::string& where) {
  const int c = curve.container;
  try {
    if (auto shape = analytic_airfoil_shape(data, curve)) return shape;
  } catch (const GeometryBuildError& e) {
    throw GeometryBuildError(where + ": " + e.what());
  }
  switch (curve.type) {
    case kCstAirfoilCurve: {
      std::string missing;
      auto cst = cst_coefficients(data, c, missing);
      if (!cst) throw GeometryBuildError(where + ": CST coefficient " + missing + " is missing");
      return cst_shape(std::move(cst->upper), std::move(cst->lower));
    }
    case kFileAirfoilCurve: {
      if (curve.upper_points.size() < 2 || curve.lower_points.size() < 2)
        throw GeometryBuildError(where +
                                 ": the airfoil file curve needs at least two upper and two lower points");
      const double base = data.value(c, "XSecCurve", "BaseThickChord", 0.0);
      const double thick = data.value(c, "XSecCurve", "ThickChord", base);
      const double ratio = base > 0.0 ? thick / base : 1.0;
      try {
        return point_shape(curve.upper_points, curve.lower_points, ratio);
      } catch (const GeometryBuildError& e) {
        throw GeometryBuildError(where + ": " + e.what());
      }
    }
    default:
      throw GeometryBuildError(where + " uses " + curve_phrase(curve.type) +
                               ", which the geometry engine cannot draw as an airfoil");
  }
}

}  // namespace

std::string curve_phrase(int type) {
  const std::string name = curve_type_name(type);
  const bool vowel = std::string("aeiouAEIOU").find(name.front()) != std::string::npos;
  return (vowel ? "an " : "a ") + name + " curve (type " + std::to_string(type) + ")";
}

Airfoil make_airfoil(const ModelData& data, const XSecCurve& curve, const std::string& where, double chord) {
  const int c = curve.container;
  const bool inverted = data.value(c, "XSecCurve", "Invert", 0.0) != 0.0;
  const CurvePlacement placed{
      data.value(c, "XSecCurve", "Theta", 0.0), data.value(c, "XSecCurve", "Scale", 1.0),
      data.value(c, "XSecCurve", "DeltaX", 0.0), data.value(c, "XSecCurve", "DeltaY", 0.0)};
  auto shape =
      apply_trailing_edge_modifiers(data, curve, base_shape(data, curve, where), chord, inverted, where);
  return Airfoil(std::move(shape), inverted, placed);
}

void update_airfoil_outputs(ModelData& data, XSecCurve& curve) {
  if (curve.type != kCstAirfoilCurve) return;
  const int c = curve.container;
  if (data.value(c, "XSecCurve", "ContLERad", 0.0) != 0.0)
    data.set(c, "LowerCoeff", "Al_0", -data.value(c, "UpperCoeff", "Au_0", 0.0));
  // A curve that lacks coefficients has no thickness to measure; the export reports it.
  std::string missing;
  auto cst = cst_coefficients(data, c, missing);
  if (!cst) return;
  const bool inverted = data.value(c, "XSecCurve", "Invert", 0.0) != 0.0;
  std::vector<double> shape = cst->upper;
  shape.insert(shape.end(), cst->lower.begin(), cst->lower.end());
  shape.push_back(static_cast<double>(cst->upper.size()));
  shape.push_back(inverted ? 1.0 : 0.0);
  if (shape == curve.measured_shape) return;
  curve.measured_shape = shape;
  data.set(c, "XSecCurve", "ThickChord",
           max_thickness_of_shared_x(*cst_shape(std::move(cst->upper), std::move(cst->lower))));
}

}  // namespace orvanta::vsp
