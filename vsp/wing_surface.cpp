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
  if (n < 2)
    throw GeometryBuildError(name + " has " + std::to_string(n) + " cross-section(s); it needs two or more");
  const auto stations = wing_stations(data, geom);
  for (int i = 0; i < n; ++i) {
    const std::string where = name + " cross-section " + std::to_string(i);
    if (!(stations[i].chord > 0.0) || !std::isfinite(stations[i].chord))
      throw GeometryBuildError(where + " has a non-positive chord (" + short_number(stations[i].chord) + ")");
    airfoils_.push_back(make_airfoil(data, geom.xsecs[i].curve, where, stations[i].chord));
    frames_.push_back(station_frame(stations[i]));
    chords_.push_back(stations[i].chord);
    if (airfoils_.back().trailing_edge_gap() > kSharpGap) blunt_ = true;
  }

  caps_[0] = cap_settings(data, geom, false, name);
  caps_[1] = cap_settings(data, geom, true, name);
  const int gc = geom.container;
  density_.chord_points = four_k_plus_one(static_cast<int>(data.value(gc, "Shape", "Tess_W", 33.0)));
  density_.le_cluster = data.value(gc, "WingGeom", "LECluster", 0.25);
  density_.te_cluster = data.value(gc, "WingGeom", "TECluster", 0.25);
  density_.trailing_edge_points =
      std::max(1, static_cast<int>(data.value(gc, "EndCap", "CapUMinTess", 3.0)) - 2);
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

namespace {

// The partner of airfoil parameter w across a cap: the other side at the same chord
// position; across a blunt trailing edge, the mirror point of the face.
double partner_of(double w) { return w > 4.0 ? 9.0 - w : 4.0 - w; }
bool upper_side(double w) { return w >= 2.0 && w <= 4.5; }

}  // namespace

Vec3 WingSurface::cap_point(int end, double w, double f) const {
  const int n = static_cast<int>(frames_.size());
  const int i = end == 0 ? 0 : n - 1, j = end == 0 ? 1 : n - 2;
  if (caps_[end].kind == CapKind::kFlat) return lerp(section_point(i, w), cap_centre_point(i, w), f);
  const bool upper = upper_side(w);
  const double wu = upper ? w : partner_of(w), wd = upper ? partner_of(w) : w;
  const Vec3 pu = section_point(i, wu), pd = section_point(i, wd);
  const Vec3 te = 0.5 * (section_point(i, 0.0) + section_point(i, 4.0));
  const CapCurve c = cap_curve(caps_[end], pu, pd, normalized(pu - section_point(j, wu)),
                               normalized(pd - section_point(j, wd)), normalized(section_point(i, 2.0) - te));
  return c.at(upper, f);
}

Vec3 WingSurface::point(double u, double w) const {
  const int n = static_cast<int>(frames_.size());
  u = std::clamp(u, 0.0, n + 1.0);
  w = std::clamp(w, 0.0, w_max());
  if (u < 1.0) return cap_point(0, w, 1.0 - u);
  if (u > n) return cap_point(1, w, u - n);
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
  for (int k = 1; k <= d.trailing_edge_points; ++k)
    w.push_back(4.0 + static_cast<double>(k) / (d.trailing_edge_points + 1));
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
  size_t rows = 1 + static_cast<size_t>(cap_rows(0) + cap_rows(1));
  for (int p : density_.span_points) rows += static_cast<size_t>(std::max(p, 2) - 1);
  const size_t cols =
      static_cast<size_t>(four_k_plus_one(density_.chord_points) + density_.trailing_edge_points);
  return 2 * rows * cols + 2 * cols;
}

namespace {

// The column of the partner point across a cap (see partner_of).
int partner_column(int c, int chord_points, int cols, int te_points) {
  if (c < chord_points) return (chord_points - 1 - c) % cols;
  return chord_points - 1 + (te_points + 1 - (c - chord_points + 1));
}

}  // namespace

// Rows run from the root cap's seam (round, edge and sharp caps are rows of points) through
// the sections to the tip cap's seam; flat caps are faces across the end rows.
SurfaceMesh WingSurface::tessellate(const WingTessellation& d) const {
  const int chord_points = four_k_plus_one(d.chord_points);
  const int te_points = blunt_ ? d.trailing_edge_points : 0;
  const auto w = chord_parameters(d);
  const auto su = span_parameters(d);
  const int cols = static_cast<int>(w.size());
  const int n = static_cast<int>(frames_.size());
  struct Row {
    double u;
    int end;  // -1 for rows between sections
    double f;
  };
  std::vector<Row> rows;
  for (int k = cap_rows(0); k >= 1; --k)
    rows.push_back({1.0 - double(k) / cap_rows(0), 0, double(k) / cap_rows(0)});
  for (double u : su) rows.push_back({u, -1, 0.0});
  for (int k = 1; k <= cap_rows(1); ++k)
    rows.push_back({n + double(k) / cap_rows(1), 1, double(k) / cap_rows(1)});
  const int nrows = static_cast<int>(rows.size());

  std::vector<std::vector<Vec3>> sections(static_cast<size_t>(n), std::vector<Vec3>(w.size()));
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < cols; ++c) sections[i][c] = section_point(i, w[c]);

  // A blunt wing may still close sharply at some rows; there the upper trailing edge and the
  // trailing-edge face collapse onto the lower trailing-edge point. At a cap's seam each point
  // is its partner.
  std::vector<int> canon(static_cast<size_t>(nrows) * cols);
  std::vector<Vec3> grid(canon.size());
  for (int r = 0; r < nrows; ++r) {
    const Row& row = rows[r];
    const int i = row.end < 0 ? std::min(static_cast<int>(row.u - 1.0), n - 2) : (row.end == 0 ? 0 : n - 2);
    const double t = row.end < 0 ? row.u - 1.0 - i : (row.end == 0 ? 0.0 : 1.0);
    for (int c = 0; c < cols; ++c) {
      grid[r * cols + c] =
          row.end < 0 ? lerp(sections[i][c], sections[i + 1][c], t) : cap_point(row.end, w[c], row.f);
      canon[r * cols + c] = r * cols + c;
    }
    if (row.end >= 0 && row.f >= 1.0)
      for (int c = 0; c < cols; ++c)
        canon[r * cols + c] = r * cols + std::min(c, partner_column(c, chord_points, cols, te_points));
    if (!blunt_) continue;
    const double chord = chords_[i] + t * (chords_[i + 1] - chords_[i]);
    if (norm(grid[r * cols + chord_points - 1] - grid[r * cols]) > kSharpGap * chord) continue;
    for (int c = chord_points - 1; c < cols; ++c) canon[r * cols + c] = canon[r * cols];
  }

  // Across a cap, points that do not move (the leading edge, a sharp trailing edge) are one
  // point in every row.
  const double same = 1e-12 * *std::max_element(chords_.begin(), chords_.end());
  for (int r = 0; r + 1 < nrows; ++r) {
    if (rows[r].end < 0 && rows[r + 1].end < 0) continue;
    for (int c = 0; c < cols; ++c) {
      const int k = (r + 1) * cols + c;
      if (canon[k] == k && norm(grid[k] - grid[r * cols + c]) <= same) canon[k] = canon[r * cols + c];
    }
  }
  for (size_t k = 0; k < canon.size(); ++k) canon[k] = canon[static_cast<size_t>(canon[k])];

  SurfaceMesh out;
  out.mesh.points.reserve(canon.size());
  out.mesh.origins.reserve(canon.size());
  std::vector<int> ids(canon.size(), -1);
  for (size_t k = 0; k < canon.size(); ++k) {
    if (canon[k] != static_cast<int>(k)) continue;
    const int r = static_cast<int>(k) / cols, c = static_cast<int>(k) % cols;
    ids[k] = out.mesh.add_point(grid[k], {0, rows[r].u, w[c]});
  }
  for (size_t k = 0; k < canon.size(); ++k) ids[k] = ids[static_cast<size_t>(canon[k])];

  auto band = [&](int r0, int r1) {  // grid triangles between rows r0 and r1
    const std::vector<int> part(ids.begin() + r0 * cols, ids.begin() + (r1 + 1) * cols);
    add_grid_triangles(out.mesh, part, r1 - r0 + 1, cols, true);
  };
  const int first = cap_rows(0), last = first + static_cast<int>(su.size()) - 1;
  out.first_row.assign(ids.begin() + first * cols, ids.begin() + (first + 1) * cols);
  const std::vector<int> last_row(ids.begin() + last * cols, ids.begin() + (last + 1) * cols);
  band(first, last);
  out.first_cap_begin = out.mesh.triangles.size();
  if (first > 0) band(0, first);
  else add_cap(out.mesh, out.first_row, chord_points, te_points, false);
  out.first_cap_end = out.mesh.triangles.size();
  if (last + 1 < nrows) band(last, nrows - 1);
  else add_cap(out.mesh, last_row, chord_points, te_points, true);
  out.grid_flipped = out.mesh.signed_volume() < 0.0;
  if (out.grid_flipped) out.mesh.flip();
  return out;
}

}  // namespace orvanta::vsp
