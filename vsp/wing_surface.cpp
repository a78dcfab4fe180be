#include "vsp/wing_surface.hpp"
#include "vsp/internal/number_text.hpp"

#include "vsp/geometry_error.hpp"
#include "vsp/spacing.hpp"
#include "vsp/wing_layout.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvanta::vsp {
namespace {

// Trailing edges closer than this (relative to the chord) count as sharp.
constexpr double kSharpGap = 1e-8;

int four_k_plus_one(int n) {
  n = std::max(n, 5);
  return n + (4 - (n - 1) % 4) % 4;
}

// Closes one end of the airfoil tube with a flat face through the row's own points: a strip
// between lower and upper points of equal arc length, and a fan across a blunt trailing edge.
// The triangles run forward along the row (for the first row); `reversed` for the last row.
void add_cap(TriMesh& m, const std::vector<int>& row, int chord_points, int te_points, bool reversed) {
  const int h = (chord_points - 1) / 2;
  const int cols = static_cast<int>(row.size());
  auto lower = [&](int c) { return row[c]; };
  auto upper = [&](int c) { return row[(chord_points - 1 - c) % cols]; };
  auto add = [&](int a, int b, int c) { reversed ? m.add_triangle(a, c, b) : m.add_triangle(a, b, c); };
  add(lower(1), upper(1), upper(0));
  int prev = upper(0);
  for (int k = 1; k <= te_points && chord_points + k - 1 < cols; ++k) {
    const int te = row[chord_points - 1 + k];
    add(lower(1), prev, te);
    prev = te;
  }
  add(lower(1), prev, lower(0));
  for (int c = 1; c < h; ++c) {
    add(lower(c), lower(c + 1), upper(c + 1));
    add(lower(c), upper(c + 1), upper(c));
  }
}

}  // namespace

WingSurface::WingSurface(const ModelData& data, const Geom& geom) {
  const std::string name = "wing `" + data.geom_name(geom) + "`";
  const int n = static_cast<int>(geom.xsecs.size());
  if (n < 2) throw GeometryBuildError(name + " has " + std::to_string(n) + " cross-section(s); it needs two or more");
  const auto stations = wing_stations(data, geom);
  for (int i = 0; i < n; ++i) {
    const std::string where = name + " cross-section " + std::to_string(i);
    if (!(stations[i].chord > 0.0) || !std::isfinite(stations[i].chord))
      throw GeometryBuildError(where + " has a non-positive chord (" + short_number(stations[i].chord) + ")");
    airfoils_.push_back(make_airfoil(data, geom.xsecs[i].curve, where));
    frames_.push_back(station_frame(stations[i]));
    chords_.push_back(stations[i].chord);
    if (airfoils_.back().trailing_edge_gap() > kSharpGap) blunt_ = true;
  }

  const int gc = geom.container;
  density_.chord_points = four_k_plus_one(static_cast<int>(data.value(gc, "Shape", "Tess_W", 33.0)));
  density_.le_cluster = data.value(gc, "WingGeom", "LECluster", 0.25);
  density_.te_cluster = data.value(gc, "WingGeom", "TECluster", 0.25);
  density_.trailing_edge_points = std::max(1, static_cast<int>(data.value(gc, "EndCap", "CapUMinTess", 3.0)) - 2);
  for (int i = 1; i < n; ++i) {
    const int c = geom.xsecs[i].container;
    density_.span_points.push_back(std::max(2, static_cast<int>(data.value(c, "XSec", "SectTess_U", 6.0))));
    density_.in_cluster.push_back(data.value(c, "XSec", "InCluster", 1.0));
    density_.out_cluster.push_back(data.value(c, "XSec", "OutCluster", 1.0));
  }
}

Vec3 WingSurface::section_point(int i, double w) const {
  if (w > 4.0) return lerp(section_point(i, 4.0), section_point(i, 0.0), std::min(w - 4.0, 1.0));
  const Vec2 p = airfoils_[i].point(w);
  return frames_[i].apply({p.x, 0.0, p.y});
}

Vec3 WingSurface::cap_centre_point(int i, double w) const {
  const double partner = w > 4.0 ? 0.0 : 4.0 - w;
  return 0.5 * (section_point(i, w > 4.0 ? 4.0 : w) + section_point(i, partner));
}

Vec3 WingSurface::point(double u, double w) const {
  const int n = static_cast<int>(frames_.size());
  u = std::clamp(u, 0.0, n + 1.0);
  w = std::clamp(w, 0.0, w_max());
  if (u < 1.0) return lerp(cap_centre_point(0, w), section_point(0, w), u);
  if (u > n) return lerp(section_point(n - 1, w), cap_centre_point(n - 1, w), u - n);
  const int i = std::min(static_cast<int>(u - 1.0), n - 2);
  return lerp(section_point(i, w), section_point(i + 1, w), u - 1.0 - i);
}

std::vector<double> WingSurface::chord_parameters(const WingTessellation& d) const {
  const int chord_points = four_k_plus_one(d.chord_points);
  const int h = (chord_points - 1) / 2;
  const auto s = clustered_spacing(h + 1, d.te_cluster, d.le_cluster);
  std::vector<double> w;
  for (int j = 0; j <= h; ++j) w.push_back(2.0 * s[j]);
  for (int j = h - 1; j >= 0; --j) w.push_back(4.0 - 2.0 * s[j]);
  if (!blunt_) {
    w.pop_back();  // the upper trailing edge is the lower one
    return w;
  }
  for (int k = 1; k <= d.trailing_edge_points; ++k) w.push_back(4.0 + static_cast<double>(k) / (d.trailing_edge_points + 1));
  return w;
}

std::vector<double> WingSurface::span_parameters(const WingTessellation& d) const {
  std::vector<double> u{1.0};
  for (size_t p = 0; p + 1 < frames_.size(); ++p) {
    const int points = p < d.span_points.size() ? std::max(2, d.span_points[p]) : 2;
    const double in = p < d.in_cluster.size() ? d.in_cluster[p] : 1.0;
    const double out = p < d.out_cluster.size() ? d.out_cluster[p] : 1.0;
    const auto s = clustered_spacing(points, in, out);
    for (size_t k = 1; k < s.size(); ++k) u.push_back(1.0 + static_cast<double>(p) + s[k]);
  }
  return u;
}

SurfaceMesh WingSurface::tessellate() const { return tessellate(density_); }

size_t WingSurface::triangle_estimate() const {
  size_t rows = 1;
  for (int p : density_.span_points) rows += static_cast<size_t>(std::max(p, 2) - 1);
  const size_t cols = static_cast<size_t>(four_k_plus_one(density_.chord_points) + density_.trailing_edge_points);
  return 2 * rows * cols + 2 * cols;
}

SurfaceMesh WingSurface::tessellate(const WingTessellation& d) const {
  const int chord_points = four_k_plus_one(d.chord_points);
  const auto w = chord_parameters(d);
  const auto u = span_parameters(d);
  const int cols = static_cast<int>(w.size()), rows = static_cast<int>(u.size());
  const int n = static_cast<int>(frames_.size());

  std::vector<std::vector<Vec3>> sections(static_cast<size_t>(n), std::vector<Vec3>(w.size()));
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < cols; ++c) sections[i][c] = section_point(i, w[c]);

  // A blunt wing may still close sharply at some rows; there the upper trailing edge and the
  // trailing-edge face collapse onto the lower trailing-edge point.
  std::vector<int> canon(static_cast<size_t>(rows) * cols);
  std::vector<Vec3> grid(canon.size());
  for (int r = 0; r < rows; ++r) {
    const int i = std::min(static_cast<int>(u[r] - 1.0), n - 2);
    const double t = u[r] - 1.0 - i;
    for (int c = 0; c < cols; ++c) {
      grid[r * cols + c] = lerp(sections[i][c], sections[i + 1][c], t);
      canon[r * cols + c] = r * cols + c;
    }
    if (!blunt_) continue;
    const double chord = chords_[i] + t * (chords_[i + 1] - chords_[i]);
    if (norm(grid[r * cols + chord_points - 1] - grid[r * cols]) > kSharpGap * chord) continue;
    for (int c = chord_points - 1; c < cols; ++c) canon[r * cols + c] = r * cols;
  }

  SurfaceMesh out;
  out.mesh.points.reserve(canon.size());
  out.mesh.origins.reserve(canon.size());
  out.mesh.triangles.reserve(2 * canon.size() + 2 * static_cast<size_t>(cols));
  std::vector<int> ids(canon.size(), -1);
  for (size_t k = 0; k < canon.size(); ++k) {
    if (canon[k] != static_cast<int>(k)) continue;
    const int r = static_cast<int>(k) / cols, c = static_cast<int>(k) % cols;
    ids[k] = out.mesh.add_point(grid[k], {0, u[r], w[c]});
  }
  for (size_t k = 0; k < canon.size(); ++k) ids[k] = ids[static_cast<size_t>(canon[k])];

  add_grid_triangles(out.mesh, ids, rows, cols, true);
  out.first_row.assign(ids.begin(), ids.begin() + cols);
  const std::vector<int> last_row(ids.end() - cols, ids.end());
  out.first_cap_begin = out.mesh.triangles.size();
  add_cap(out.mesh, out.first_row, chord_points, blunt_ ? d.trailing_edge_points : 0, false);
  out.first_cap_end = out.mesh.triangles.size();
  add_cap(out.mesh, last_row, chord_points, blunt_ ? d.trailing_edge_points : 0, true);
  out.grid_flipped = out.mesh.signed_volume() < 0.0;
  if (out.grid_flipped) out.mesh.flip();
  return out;
}

}  // namespace orvanta::vsp
