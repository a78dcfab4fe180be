#include "vsp/fuselage_skin.hpp"

#include "vsp/geometry_error.hpp"

#include <cmath>
#include <utility>

namespace orvanta::vsp {
namespace {

// Gauss-Jordan inverse of a square matrix (row-major); false when it is singular.
bool invert(std::vector<double> a, size_t n, std::vector<double>& out) {
  out.assign(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) out[i * n + i] = 1.0;
  for (size_t c = 0; c < n; ++c) {
    size_t piv = c;
    for (size_t r = c + 1; r < n; ++r)
      if (std::abs(a[r * n + c]) > std::abs(a[piv * n + c])) piv = r;
    if (std::abs(a[piv * n + c]) < 1e-14) return false;
    for (size_t k = 0; k < n; ++k)
      std::swap(a[c * n + k], a[piv * n + k]), std::swap(out[c * n + k], out[piv * n + k]);
    const double d = a[c * n + c];
    for (size_t k = 0; k < n; ++k) a[c * n + k] /= d, out[c * n + k] /= d;
    for (size_t r = 0; r < n; ++r) {
      if (r == c || a[r * n + c] == 0.0) continue;
      const double f = a[r * n + c];
      for (size_t k = 0; k < n; ++k) a[r * n + k] -= f * a[c * n + k], out[r * n + k] -= f * out[c * n + k];
    }
  }
  return true;
}

}  // namespace

SkinSolver::SkinSolver(std::vector<SkinRib> ribs) : ribs_(std::move(ribs)) {
  const size_t n = ribs_.size();
  if (n < 2) throw GeometryBuildError("a skin needs two or more sections");
  ribs_.front().continuity = ribs_.back().continuity = 0;
  ribs_.front().left_given = ribs_.back().right_given = false;
  const size_t segs = n - 1;
  degree_.assign(segs, 1);
  for (size_t i = 0; i < segs; ++i) degree_[i] += int(ribs_[i].right_given) + int(ribs_[i + 1].left_given);
  // A slope given on one side of a smooth section holds on both; a smooth section without a
  // given slope raises the lower of its two segments by one degree per derivative it matches.
  std::vector<int> free_order(n, 0);
  for (size_t i = 1; i + 1 < n; ++i) {
    SkinRib& r = ribs_[i];
    if (r.continuity < 1) continue;
    if (r.left_given && !r.right_given) {
      r.right_given = true;
      ++degree_[i];
    } else if (r.right_given && !r.left_given) {
      r.left_given = true;
      ++degree_[i - 1];
    }
    if (r.left_given && r.right_given && r.continuity < 2) continue;
    const int orders = (r.left_given ? 0 : 1) + (r.continuity >= 2 ? 1 : 0);
    for (int k = 0; k < orders; ++k) ++degree_[degree_[i - 1] <= degree_[i] ? i - 1 : i];
    free_order[i] = r.left_given ? (r.continuity >= 2 ? 2 : 0) : r.continuity;
  }
  first_.assign(segs + 1, 0);
  for (size_t i = 0; i < segs; ++i) first_[i + 1] = first_[i] + degree_[i] + 1;
  auto add = [this](std::vector<std::pair<int, double>> terms, Rhs rhs, size_t rib) {
    rows_.push_back({std::move(terms), rhs, rib});
  };
  for (size_t i = 0; i < segs; ++i) {
    const int b = first_[i], d = degree_[i];
    add({{b, 1.0}}, Rhs::kPoint, i);
    add({{b + d, 1.0}}, Rhs::kPoint, i + 1);
    if (ribs_[i].right_given) add({{b, -d}, {b + 1, d}}, Rhs::kRight, i);
    if (ribs_[i + 1].left_given) add({{b + d - 1, -d}, {b + d, d}}, Rhs::kLeft, i + 1);
  }
  for (size_t i = 1; i + 1 < n; ++i) {
    const int l = first_[i - 1], dl = degree_[i - 1], r = first_[i], dr = degree_[i];
    // Slope continuity (when the slope is not given), then curvature continuity.
    if (free_order[i] == 1 || (free_order[i] == 2 && !ribs_[i].left_given))
      add({{l + dl - 1, -dl}, {l + dl, dl}, {r, dr}, {r + 1, -dr}}, Rhs::kZero, i);
    if (free_order[i] == 2) {
      const double kl = dl * (dl - 1.0), kr = dr * (dr - 1.0);
      add({{l + dl - 2, kl},
           {l + dl - 1, -2.0 * kl},
           {l + dl, kl},
           {r, -kr},
           {r + 1, 2.0 * kr},
           {r + 2, -kr}},
          Rhs::kZero, i);
    }
  }
  const size_t unknowns = static_cast<size_t>(first_.back());
  if (rows_.size() != unknowns)
    throw GeometryBuildError("the skinning conditions do not fix the surface (" +
                             std::to_string(rows_.size()) + " conditions for " + std::to_string(unknowns) +
                             " control points)");
  std::vector<double> a(unknowns * unknowns, 0.0);
  for (size_t r = 0; r < rows_.size(); ++r)
    for (const auto& [k, v] : rows_[r].terms) a[r * unknowns + static_cast<size_t>(k)] += v;
  if (!invert(std::move(a), unknowns, inverse_))
    throw GeometryBuildError("the skinning conditions of the sections contradict each other");
}

std::vector<std::vector<Vec3>> SkinSolver::solve(const std::vector<Vec3>& points,
                                                 const std::vector<Vec3>& left,
                                                 const std::vector<Vec3>& right) const {
  const size_t n = rows_.size();
  std::vector<Vec3> rhs(n);
  for (size_t r = 0; r < n; ++r) {
    const Row& row = rows_[r];
    switch (row.rhs) {
      case Rhs::kPoint: rhs[r] = points[row.rib]; break;
      case Rhs::kLeft: rhs[r] = left[row.rib]; break;
      case Rhs::kRight: rhs[r] = right[row.rib]; break;
      case Rhs::kZero: break;
    }
  }
  std::vector<std::vector<Vec3>> out(degree_.size());
  for (size_t i = 0; i < degree_.size(); ++i) {
    out[i].resize(static_cast<size_t>(degree_[i]) + 1);
    for (int k = 0; k <= degree_[i]; ++k) {
      const size_t row = static_cast<size_t>(first_[i] + k);
      Vec3 s;
      for (size_t c = 0; c < n; ++c)
        if (const double w = inverse_[row * n + c]; w != 0.0) s = s + w * rhs[c];
      out[i][static_cast<size_t>(k)] = s;
    }
  }
  return out;
}

Vec3 bezier_point(const std::vector<Vec3>& control, double t) {
  std::vector<Vec3> p = control;
  for (size_t level = p.size(); level-- > 1;)
    for (size_t k = 0; k < level; ++k) p[k] = lerp(p[k], p[k + 1], t);
  return p.front();
}

}  // namespace orvanta::vsp
