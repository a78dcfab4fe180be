#include "vsp/airfoil_modifiers.hpp"

#include "vsp/geometry_error.hpp"

#include <algorithm>
#include <cmath>

namespace orvanta::vsp {
namespace {

double distance(Vec2 a, Vec2 b) { return std::hypot(a.x - b.x, a.y - b.y); }

class Sheared : public AirfoilShape {
 public:
  Sheared(std::shared_ptr<const AirfoilShape> base, double upper_slope, double lower_slope)
      : base_(std::move(base)), le_(base_->upper(0.0)), up_(upper_slope), low_(lower_slope) {}
  Vec2 upper(double s) const override { return shear(base_->upper(s), up_); }
  Vec2 lower(double s) const override { return shear(base_->lower(s), low_); }

 private:
  Vec2 shear(Vec2 p, double slope) const { return {p.x, p.y + slope * (p.x - le_.x)}; }
  std::shared_ptr<const AirfoilShape> base_;
  Vec2 le_;
  double up_, low_;
};

// Both sides cut short: each runs from the leading edge to its cut.
class Cut : public AirfoilShape {
 public:
  Cut(std::shared_ptr<const AirfoilShape> base, double upper_end, double lower_end)
      : base_(std::move(base)), up_(upper_end), low_(lower_end) {}
  Vec2 upper(double s) const override { return base_->upper(std::clamp(s, 0.0, 1.0) * up_); }
  Vec2 lower(double s) const override { return base_->lower(std::clamp(s, 0.0, 1.0) * low_); }

 private:
  std::shared_ptr<const AirfoilShape> base_;
  double up_, low_;
};

// The parameter of one side, counted back from its trailing edge, where `f` first reaches
// `target` (f grows from the trailing edge towards the leading edge); 1 when it never does.
template <class F>
double back_from_te(F f, double target) {
  constexpr int n = 400;
  double prev = 1.0;
  for (int k = 1; k <= n; ++k) {
    const double s = 1.0 - static_cast<double>(k) / n;
    if (f(s) < target) {
      prev = s;
      continue;
    }
    double lo = s, hi = prev;  // f(lo) >= target > f(hi)
    for (int i = 0; i < 60; ++i) {
      const double mid = 0.5 * (lo + hi);
      (f(mid) >= target ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
  }
  return 0.0;
}

}  // namespace

std::shared_ptr<const AirfoilShape> close_trailing_edge(std::shared_ptr<const AirfoilShape> shape,
                                                        TrailingEdgeClose how, double thickness) {
  const Vec2 le = shape->upper(0.0), up = shape->upper(1.0), low = shape->lower(1.0);
  const double dx = low.x - le.x;
  if (how == TrailingEdgeClose::kNone || std::abs(dx) < 1e-7) return shape;
  double slope = (up.y - low.y - thickness) / dx;
  if (how == TrailingEdgeClose::kSkewBoth) slope *= 0.5;
  const bool lower = how == TrailingEdgeClose::kSkewLower || how == TrailingEdgeClose::kSkewBoth;
  const bool upper = how == TrailingEdgeClose::kSkewUpper || how == TrailingEdgeClose::kSkewBoth;
  return std::make_shared<Sheared>(std::move(shape), upper ? -slope : 0.0, lower ? slope : 0.0);
}

std::shared_ptr<const AirfoilShape> trim_trailing_edge_by_length(std::shared_ptr<const AirfoilShape> shape,
                                                                 double length) {
  if (!(length > 0.0)) return shape;
  const Vec2 up_te = shape->upper(1.0), low_te = shape->lower(1.0);
  const double su = back_from_te([&](double s) { return distance(shape->upper(s), up_te); }, length);
  const double sl = back_from_te([&](double s) { return distance(shape->lower(s), low_te); }, length);
  return std::make_shared<Cut>(std::move(shape), std::max(su, 1e-6), std::max(sl, 1e-6));
}

std::shared_ptr<const AirfoilShape> trim_trailing_edge_by_thickness(std::shared_ptr<const AirfoilShape> shape,
                                                                    double thickness) {
  if (!(thickness > 0.0)) return shape;
  const Vec2 te = lerp(shape->upper(1.0), shape->lower(1.0), 0.5);
  // The upper point at the same distance from the trailing edge as the lower point at s.
  auto upper_match = [&](double s) {
    const double d = distance(shape->lower(s), te);
    return back_from_te([&](double q) { return distance(shape->upper(q), te); }, d);
  };
  auto gap = [&](double s) { return distance(shape->lower(s), shape->upper(upper_match(s))); };
  if (gap(1.0) >= thickness) return shape;
  const double sl = back_from_te(gap, thickness);
  return std::make_shared<Cut>(shape, std::max(upper_match(sl), 1e-6), std::max(sl, 1e-6));
}

std::shared_ptr<const AirfoilShape> apply_trailing_edge_modifiers(const ModelData& data,
                                                                  const XSecCurve& curve,
                                                                  std::shared_ptr<const AirfoilShape> shape,
                                                                  double chord, bool inverted,
                                                                  const std::string& where) {
  const int c = curve.container;
  auto v = [&](const char* group, const char* name, double fallback) {
    return data.value(c, group, name, fallback);
  };
  const double unit = chord > 0.0 ? 1.0 / chord : 1.0;
  auto close = static_cast<TrailingEdgeClose>(static_cast<int>(v("Close", "TE_Close_Type", 0.0)));
  if (close == TrailingEdgeClose::kExtrapolate)
    throw GeometryBuildError(where +
                             ": trailing-edge closure by extrapolation (TE_Close_Type 4) is not drawn by "
                             "the geometry engine");
  // The curve is flipped after the closure's sides are named, so an inverted section shears
  // the other side.
  if (inverted && close == TrailingEdgeClose::kSkewLower) close = TrailingEdgeClose::kSkewUpper;
  else if (inverted && close == TrailingEdgeClose::kSkewUpper) close = TrailingEdgeClose::kSkewLower;
  const bool close_rel = v("Close", "TE_Close_AbsRel", 0.0) != 0.0;
  const double close_thick =
      close_rel ? v("Close", "TE_Close_Thick_Chord", 0.0) : v("Close", "TE_Close_Thick", 0.0) * unit;
  shape = close_trailing_edge(std::move(shape), close, close_thick);
  const int trim = static_cast<int>(v("Trim", "TE_Trim_Type", 0.0));
  const bool trim_rel = v("Trim", "TE_Trim_AbsRel", 0.0) != 0.0;
  if (trim == 1)
    return trim_trailing_edge_by_length(
        std::move(shape), trim_rel ? v("Trim", "TE_Trim_X_Chord", 0.0) : v("Trim", "TE_Trim_X", 0.0) * unit);
  if (trim == 2)
    return trim_trailing_edge_by_thickness(std::move(shape), trim_rel
                                                                 ? v("Trim", "TE_Trim_Thick_Chord", 0.0)
                                                                 : v("Trim", "TE_Trim_Thick", 0.0) * unit);
  return shape;
}

}  // namespace orvanta::vsp
