#include "vsp/component_surface.hpp"

namespace orvanta::vsp {

std::vector<Vec3> ComponentSurface::grid_points(const std::vector<double>& u, const std::vector<double>& w) const {
  std::vector<Vec3> out;
  out.reserve(u.size() * w.size());
  for (double uu : u)
    for (double ww : w) out.push_back(point(uu, ww));
  return out;
}

}  // namespace orvanta::vsp
