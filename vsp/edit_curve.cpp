#include "vsp/edit_curve.hpp"

#include "vsp/geometry_error.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>

namespace orvanta::vsp {
namespace {

struct PointCurve {
  EditCurveKind kind = EditCurveKind::kLinear;
  std::vector<Vec2> p;
  std::vector<double> t;
  std::vector<Vec2> slope;  // monotone cubic: derivative at every point

  // Index of the interval (or Bezier segment start) holding parameter s.
  size_t interval(double s, size_t step) const {
    size_t k = 0;
    while (k + 2 * step < p.size() && t[k + step] < s) k += step;
    return k;
  }

  Vec2 at(double s) const {
    s = std::clamp(s, t.front(), t.back());
    if (kind == EditCurveKind::kBezier) {
      const size_t k = interval(s, 3);
      const double h = t[k + 3] - t[k], u = h > 0.0 ? (s - t[k]) / h : 0.0, v = 1.0 - u;
      const double b0 = v * v * v, b1 = 3 * v * v * u, b2 = 3 * v * u * u, b3 = u * u * u;
      return {b0 * p[k].x + b1 * p[k + 1].x + b2 * p[k + 2].x + b3 * p[k + 3].x,
              b0 * p[k].y + b1 * p[k + 1].y + b2 * p[k + 2].y + b3 * p[k + 3].y};
    }
    const size_t k = interval(s, 1);
    const double h = t[k + 1] - t[k], u = h > 0.0 ? (s - t[k]) / h : 0.0;
    if (kind == EditCurveKind::kLinear) return lerp(p[k], p[k + 1], u);
    const double u2 = u * u, u3 = u2 * u;
    const double h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u, h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
    return {h00 * p[k].x + h10 * h * slope[k].x + h01 * p[k + 1].x + h11 * h * slope[k + 1].x,
            h00 * p[k].y + h10 * h * slope[k].y + h01 * p[k + 1].y + h11 * h * slope[k + 1].y};
  }
};

// Fritsch-Carlson slopes of one coordinate; a closed curve wraps around its seam.
void monotone_slopes(const std::vector<double>& t, const std::vector<double>& y, bool closed,
                     std::vector<double>& m) {
  const size_t n = y.size();
  std::vector<double> h(n - 1), d(n - 1);
  for (size_t k = 0; k + 1 < n; ++k)
    h[k] = t[k + 1] - t[k], d[k] = h[k] > 0.0 ? (y[k + 1] - y[k]) / h[k] : 0.0;
  auto blend = [](double h0, double d0, double h1, double d1) {
    if (d0 * d1 <= 0.0) return 0.0;
    const double w1 = 2 * h1 + h0, w2 = h1 + 2 * h0;
    return (w1 + w2) / (w1 / d0 + w2 / d1);
  };
  m.assign(n, 0.0);
  for (size_t k = 1; k + 1 < n; ++k) m[k] = blend(h[k - 1], d[k - 1], h[k], d[k]);
  if (closed) {
    m[0] = m[n - 1] = blend(h[n - 2], d[n - 2], h[0], d[0]);
  } else {
    m[0] = d[0];
    m[n - 1] = d[n - 2];
  }
}

int count_indexed(const ModelData& data, int c, const std::string& prefix) {
  int n = 0;
  while (data.find(c, "XSecCurve", prefix + std::to_string(n)) >= 0) ++n;
  return n;
}

std::vector<double> numbers_in(const std::string& text) {
  std::vector<double> out;
  std::string item;
  std::istringstream in(text);
  while (std::getline(in, item, ',')) {
    if (item.find_first_not_of(" \t\r\n") == std::string::npos) continue;
    out.push_back(std::stod(item));
  }
  return out;
}

}  // namespace

BodyCurve edit_curve(EditCurveKind kind, std::vector<Vec2> points, std::vector<double> t) {
  if (kind == EditCurveKind::kPchip && points.size() <= 3) kind = EditCurveKind::kLinear;
  auto c = std::make_shared<PointCurve>();
  c->kind = kind;
  c->p = std::move(points);
  c->t = std::move(t);
  if (kind == EditCurveKind::kPchip) {
    const bool closed = std::hypot(c->p.front().x - c->p.back().x, c->p.front().y - c->p.back().y) < 1e-12;
    std::vector<double> xs, ys, mx, my;
    for (const Vec2& q : c->p) xs.push_back(q.x), ys.push_back(q.y);
    monotone_slopes(c->t, xs, closed, mx);
    monotone_slopes(c->t, ys, closed, my);
    for (size_t k = 0; k < mx.size(); ++k) c->slope.push_back({mx[k], my[k]});
  }
  bool degenerate = true;
  for (const Vec2& q : c->p) degenerate = degenerate && q.x == 0.0 && q.y == 0.0;
  // Our quarters run top to right, right to bottom, ...; the curve's own parameter starts on
  // the right side, so quarter q covers [q + 3, q + 4] modulo 4.
  return BodyCurve([c](int q, double s) { return c->at(std::fmod(q + 3.0, 4.0) + s); }, degenerate);
}

BodyCurve make_edit_curve(const ModelData& data, const XSecCurve& curve, const std::string& where) {
  const int c = curve.container;
  auto v = [&](const std::string& name, double fallback) {
    return data.value(c, "XSecCurve", name, fallback);
  };
  const int n = count_indexed(data, c, "X_");
  if (n < 2 || count_indexed(data, c, "Y_") < n || count_indexed(data, c, "U_") < n)
    throw GeometryBuildError(where + ": the edit curve needs two or more points with X_, Y_ and U_ values");
  const auto kind = static_cast<EditCurveKind>(std::clamp(static_cast<int>(v("CurveType", 2.0)), 0, 2));
  if (kind == EditCurveKind::kBezier && (n < 4 || (n - 1) % 3 != 0))
    throw GeometryBuildError(where + ": an edit curve of Bezier segments needs 3 k + 1 control points, not " +
                             std::to_string(n));
  const double width = v("Width", 1.0), height = v("Height", 1.0);
  std::vector<Vec2> pts;
  std::vector<double> t;
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i);
    if (v("R_" + k, 0.0) != 0.0)
      throw GeometryBuildError(where + ": edit curves with rounded corners (R_" + k +
                               ") are not drawn by the geometry engine");
    pts.push_back({width * v("X_" + k, 0.0), height * v("Y_" + k, 0.0)});
    t.push_back(4.0 * v("U_" + k, 0.0));
    if (i > 0 && t[i] < t[i - 1])
      throw GeometryBuildError(where + ": the edit curve's point parameters U_ must not decrease");
  }
  BodyCurve out = edit_curve(kind, std::move(pts), std::move(t));
  out.set_size(width, height);
  return out;
}

BodyCurve make_file_curve(const ModelData& data, const XSecCurve& curve, const std::string& where) {
  const int c = curve.container;
  // The points sit beside the curve's parameters: <XSecCurve><ParmContainer>..</ParmContainer>
  // <FileXSec><UnityFilePnts>x, y, z, ...</UnityFilePnts></FileXSec></XSecCurve>.
  const int any = data.find(c, "XSecCurve", "Width");
  pugi::xml_node owner =
      any >= 0 ? data.parms[static_cast<size_t>(any)].node.parent().parent().parent() : pugi::xml_node();
  const std::vector<double> xyz =
      numbers_in(owner.child("FileXSec").child("UnityFilePnts").text().as_string());
  if (xyz.size() < 9 || xyz.size() % 3 != 0)
    throw GeometryBuildError(where + ": the fuselage file curve has no point list (FileXSec/UnityFilePnts)");
  const double width = data.value(c, "XSecCurve", "Width", 1.0),
               height = data.value(c, "XSecCurve", "Height", 1.0);
  std::vector<Vec2> unit, pts;
  for (size_t k = 0; k + 2 < xyz.size(); k += 3) unit.push_back({xyz[k], xyz[k + 1]});
  for (const Vec2& u : unit) pts.push_back({u.x * width, u.y * height});
  // Quarter ends: the bottom and top points nearest the vertical axis, the left side halfway.
  size_t bottom = 0, top = 0;
  for (size_t k = 0; k + 1 < unit.size(); ++k) {
    if (unit[k].y < 0.0 && std::abs(unit[k].x) < std::abs(unit[bottom].x)) bottom = k;
    if (unit[k].y > 0.0 && std::abs(unit[k].x) < std::abs(unit[top].x)) top = k;
  }
  const size_t left = 2 * bottom;
  if (!(0 < bottom && bottom < left && left < top && top + 1 < unit.size()))
    throw GeometryBuildError(where +
                             ": the fuselage file curve's points do not run round from the right side");
  std::vector<double> s{0.0};
  for (size_t k = 1; k < pts.size(); ++k)
    s.push_back(s.back() + std::max(std::hypot(pts[k].x - pts[k - 1].x, pts[k].y - pts[k - 1].y), 1e-12));
  const size_t ends[5] = {0, bottom, left, top, pts.size() - 1};
  std::vector<double> t(pts.size());
  for (int q = 0; q < 4; ++q)
    for (size_t k = ends[q]; k <= ends[q + 1]; ++k)
      t[k] = q + (s[k] - s[ends[q]]) / (s[ends[q + 1]] - s[ends[q]]);
  BodyCurve out = edit_curve(EditCurveKind::kPchip, std::move(pts), std::move(t));
  out.set_size(width, height);
  return out;
}

}  // namespace orvanta::vsp
