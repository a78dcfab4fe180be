#pragma once
// Skinning of body sections along the body: one Bezier segment between neighbouring
// sections, one unit of parameter each, whose degree is the least that meets the conditions
// of its end sections: the section points always, a given end slope where the section sets
// one, and continuity of slope (C1) or of slope and curvature (C2) with the next segment
// where the section asks for it without giving the slope. Free of conditions, a segment is a
// straight line; so sections that set nothing are joined by a ruled surface.

#include "vsp/vec3.hpp"

#include <vector>

namespace orvanta::vsp {

struct SkinRib {
  int continuity = 0;        // 0, 1 (slope) or 2 (slope and curvature); end sections are always 0
  bool left_given = false;   // slope arriving from the previous section
  bool right_given = false;  // slope leaving towards the next section
};

class SkinSolver {
 public:
  explicit SkinSolver(std::vector<SkinRib> ribs);

  // Control points of every segment through `points` (one per section) with the given slopes
  // (entries of sections that give none are ignored). Slopes are derivatives per unit of
  // the segment parameter.
  std::vector<std::vector<Vec3>> solve(const std::vector<Vec3>& points, const std::vector<Vec3>& left,
                                       const std::vector<Vec3>& right) const;
  int degree(size_t segment) const { return degree_[segment]; }
  size_t segments() const { return degree_.size(); }

 private:
  // One linear condition on the control points: sum of coef * b[index] = rhs.
  enum class Rhs { kZero, kPoint, kLeft, kRight };
  struct Row {
    std::vector<std::pair<int, double>> terms;
    Rhs rhs = Rhs::kZero;
    size_t rib = 0;
  };

  std::vector<SkinRib> ribs_;
  std::vector<int> degree_, first_;  // per segment: degree and index of its first control point
  std::vector<Row> rows_;
  std::vector<double> inverse_;  // rows_.size() squared, row-major
};

// The point of a Bezier curve at t in [0, 1] (de Casteljau).
Vec3 bezier_point(const std::vector<Vec3>& control, double t);

}  // namespace orvanta::vsp
