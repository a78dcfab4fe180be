#include "vsp/internal/body_mesh.hpp"

namespace orvanta::vsp::internal {

SurfaceMesh body_mesh(const BodyGrid& g) {
  const int rows = static_cast<int>(g.u.size()), cols = static_cast<int>(g.w.size());
  SurfaceMesh out;
  std::vector<int> ids(static_cast<size_t>(rows) * cols);
  out.mesh.points.reserve(ids.size() + 2);
  out.mesh.origins.reserve(ids.size() + 2);
  out.mesh.triangles.reserve(2 * ids.size() + 2 * static_cast<size_t>(cols));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const size_t k = static_cast<size_t>(r) * cols + c;
      ids[k] = g.pole[r] && c > 0 ? ids[k - c] : out.mesh.add_point(g.points[k], {0, g.u[r], g.w[c]});
    }
  }
  add_grid_triangles(out.mesh, ids, rows, cols, true);
  out.first_row.assign(ids.begin(), ids.begin() + cols);
  // Grid triangles walk the first row backwards and the last row forwards; the fans walk
  // them the other way so that every edge is shared by two triangles of opposite sense.
  out.first_cap_begin = out.mesh.triangles.size();
  if (g.first_centre && !g.pole.front()) {
    const int centre = out.mesh.add_point(*g.first_centre, {0, g.first_cap_u, 0.0});
    for (int c = 0; c < cols; ++c) out.mesh.add_triangle(centre, ids[c], ids[(c + 1) % cols]);
  }
  out.first_cap_end = out.mesh.triangles.size();
  if (g.last_centre && !g.pole.back()) {
    const int centre = out.mesh.add_point(*g.last_centre, {0, g.last_cap_u, 0.0});
    const size_t base = static_cast<size_t>(rows - 1) * cols;
    for (int c = 0; c < cols; ++c) out.mesh.add_triangle(centre, ids[base + (c + 1) % cols], ids[base + c]);
  }
  out.grid_flipped = out.mesh.signed_volume() < 0.0;
  if (out.grid_flipped) out.mesh.flip();
  return out;
}

}  // namespace orvanta::vsp::internal
