#include "vsp/internal/triangle_bins.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvanta::vsp::internal {
namespace {

// Cells beyond this many make the grid's own memory the cost; the cells grow instead.
constexpr double kMaxCells = 4.0e6;

}  // namespace

// Region tests in the order of Ericson, Real-Time Collision Detection 5.1.5: vertex regions,
// then edge regions, then the face.
TrianglePoint closest_on_triangle(Vec3 p, Vec3 a, Vec3 b, Vec3 c) {
  TrianglePoint r;
  auto done = [&](double wa, double wb, double wc) {
    r.weights = {wa, wb, wc};
    r.point = wa * a + wb * b + wc * c;
    const Vec3 d = r.point - p;
    r.distance2 = dot(d, d);
    return r;
  };
  const Vec3 ab = b - a, ac = c - a, ap = p - a;
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0.0 && d2 <= 0.0) return done(1, 0, 0);
  const Vec3 bp = p - b;
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0.0 && d4 <= d3) return done(0, 1, 0);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
    const double t = d1 / (d1 - d3);
    return done(1 - t, t, 0);
  }
  const Vec3 cp = p - c;
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0.0 && d5 <= d6) return done(0, 0, 1);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
    const double t = d2 / (d2 - d6);
    return done(1 - t, 0, t);
  }
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0) {
    const double t = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    return done(0, 1 - t, t);
  }
  const double denom = va + vb + vc;
  if (!(denom > 0.0)) return done(1, 0, 0);  // a degenerate triangle: its first corner will do
  const double v = vb / denom, w = vc / denom;
  return done(1 - v - w, v, w);
}

TriangleBins::TriangleBins(std::vector<Vec3> points, std::vector<std::array<int, 3>> triangles, double cell)
    : points_(std::move(points)), triangles_(std::move(triangles)) {
  Vec3 lo{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
  Vec3 hi = -1.0 * lo;
  for (const Vec3& q : points_) {
    lo = {std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z)};
    hi = {std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z)};
  }
  if (points_.empty()) lo = hi = Vec3{};
  const Vec3 size = hi - lo;
  cell_ = std::max(cell, 1e-12 * std::max(1.0, norm(size)));
  const double cells = (size.x / cell_ + 1) * (size.y / cell_ + 1) * (size.z / cell_ + 1);
  if (cells > kMaxCells) cell_ *= std::cbrt(cells / kMaxCells) * 1.01;
  origin_ = lo;
  dims_ = {static_cast<int>(size.x / cell_) + 1, static_cast<int>(size.y / cell_) + 1,
           static_cast<int>(size.z / cell_) + 1};

  const size_t n_cells = static_cast<size_t>(dims_[0]) * dims_[1] * dims_[2];
  auto index_of = [&](double v, double o, int dim) {
    return std::clamp(static_cast<int>(std::floor((v - o) / cell_)), 0, dim - 1);
  };
  auto for_each_cell = [&](const std::array<int, 3>& t, auto&& visit) {
    const Vec3 a = points_[t[0]], b = points_[t[1]], c = points_[t[2]];
    const int i0 = index_of(std::min({a.x, b.x, c.x}), origin_.x, dims_[0]);
    const int i1 = index_of(std::max({a.x, b.x, c.x}), origin_.x, dims_[0]);
    const int j0 = index_of(std::min({a.y, b.y, c.y}), origin_.y, dims_[1]);
    const int j1 = index_of(std::max({a.y, b.y, c.y}), origin_.y, dims_[1]);
    const int k0 = index_of(std::min({a.z, b.z, c.z}), origin_.z, dims_[2]);
    const int k1 = index_of(std::max({a.z, b.z, c.z}), origin_.z, dims_[2]);
    for (int i = i0; i <= i1; ++i)
      for (int j = j0; j <= j1; ++j)
        for (int k = k0; k <= k1; ++k) visit((static_cast<size_t>(i) * dims_[1] + j) * dims_[2] + k);
  };
  starts_.assign(n_cells + 1, 0);
  for (const auto& t : triangles_) for_each_cell(t, [&](size_t c) { ++starts_[c + 1]; });
  for (size_t c = 0; c < n_cells; ++c) starts_[c + 1] += starts_[c];
  entries_.resize(starts_.back());
  std::vector<size_t> fill(starts_.begin(), starts_.end() - 1);
  for (size_t t = 0; t < triangles_.size(); ++t)
    for_each_cell(triangles_[t], [&](size_t c) { entries_[fill[c]++] = static_cast<int>(t); });
}

void TriangleBins::test_cell(size_t cell, Vec3 p, Hit& best) const {
  for (size_t e = starts_[cell]; e < starts_[cell + 1]; ++e) {
    const auto& t = triangles_[static_cast<size_t>(entries_[e])];
    const TrianglePoint q = closest_on_triangle(p, points_[t[0]], points_[t[1]], points_[t[2]]);
    if (best.triangle < 0 || q.distance2 < best.closest.distance2) best = {entries_[e], q};
  }
}

TriangleBins::Hit TriangleBins::brute_force(Vec3 p) const {
  Hit best;
  for (size_t t = 0; t < triangles_.size(); ++t) {
    const auto& tri = triangles_[t];
    const TrianglePoint q = closest_on_triangle(p, points_[tri[0]], points_[tri[1]], points_[tri[2]]);
    if (best.triangle < 0 || q.distance2 < best.closest.distance2) best = {static_cast<int>(t), q};
  }
  return best;
}

TriangleBins::Hit TriangleBins::nearest(Vec3 p) const {
  const std::array<double, 3> rel = {(p.x - origin_.x) / cell_, (p.y - origin_.y) / cell_, (p.z - origin_.z) / cell_};
  std::array<int, 3> c{};
  for (int d = 0; d < 3; ++d) {
    // Outside the grid the shell bound below does not hold; such points are rare (the grid
    // covers the surface) and get the exhaustive search.
    if (rel[d] < 0.0 || rel[d] >= dims_[d]) return brute_force(p);
    c[d] = static_cast<int>(rel[d]);
  }
  Hit best;
  const int max_shell = std::max({dims_[0], dims_[1], dims_[2]});
  for (int s = 0; s <= max_shell; ++s) {
    for (int i = c[0] - s; i <= c[0] + s; ++i) {
      if (i < 0 || i >= dims_[0]) continue;
      for (int j = c[1] - s; j <= c[1] + s; ++j) {
        if (j < 0 || j >= dims_[1]) continue;
        const bool ij_inner = std::abs(i - c[0]) < s && std::abs(j - c[1]) < s;
        for (int k = c[2] - s; k <= c[2] + s; ++k) {
          if (k < 0 || k >= dims_[2]) continue;
          if (ij_inner && std::abs(k - c[2]) < s) continue;  // visited in an earlier shell
          test_cell((static_cast<size_t>(i) * dims_[1] + j) * dims_[2] + k, p, best);
        }
      }
    }
    // Every cell not yet visited lies at least s cells away from p's own cell.
    if (best.triangle >= 0 && std::sqrt(best.closest.distance2) <= s * cell_) return best;
  }
  return best;
}

}  // namespace orvanta::vsp::internal
