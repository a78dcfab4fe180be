#pragma once
// Closed triangulation of a body given as rows of points around its axis: rows that shrink
// to a point become poles, open ends are closed by flat fans to their centres.

#include "vsp/component_surface.hpp"

#include <optional>
#include <vector>

namespace orvanta::vsp::internal {

struct BodyGrid {
  std::vector<double> u, w;        // row and column parameters (w periodic)
  std::vector<Vec3> points;        // row-major
  std::vector<bool> pole;          // per row: the row is a single point
  std::optional<Vec3> first_centre, last_centre;  // centres of open ends to close
  double first_cap_u = 0.0, last_cap_u = 0.0;     // parameters given to those centres
};

SurfaceMesh body_mesh(const BodyGrid& g);

}  // namespace orvanta::vsp::internal
