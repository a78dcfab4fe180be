#include "vsp/geometry.hpp"

#include "vsp/fuselage_surface.hpp"
#include "vsp/geometry_error.hpp"
#include "vsp/pod_surface.hpp"
#include "vsp/wing_surface.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orvanta::vsp {
namespace {

double xform(const ModelData& d, const Geom& g, const char* name) { return d.value(g.container, "XForm", name, 0.0); }

const Geom* parent_of(const ModelData& data, const Geom& geom) {
  if (geom.parent_id.empty() || geom.parent_id == "NONE") return nullptr;
  const int gi = data.geom_index(geom.parent_id);
  return gi < 0 ? nullptr : &data.geoms[static_cast<size_t>(gi)];
}

double reference_length(const ModelData& data, const Geom& geom) {
  if (geom.type_name == "Wing")
    return geom.xsecs.size() > 1 ? data.value(geom.xsecs[1].container, "XSec", "Root_Chord", 1.0) : 1.0;
  return data.value(geom.container, "Design", "Length", 1.0);
}

Matrix4 model_matrix_at(const ModelData& data, const Geom& geom, int depth) {
  const std::string name = "component `" + data.geom_name(geom) + "`";
  if (depth > 64) throw GeometryBuildError(name + " is part of a cycle of parent components");
  const bool absolute = data.value(geom.container, "XForm", "Abs_Or_Relitive_flag", 1.0) == 0.0;
  Matrix4 attach;
  const Geom* parent = parent_of(data, geom);
  if (parent && !absolute) {
    const int trans = static_cast<int>(data.value(geom.container, "Attach", "Trans_Attach_Flag", 0.0));
    const int rots = static_cast<int>(data.value(geom.container, "Attach", "Rots_Attach_Flag", 0.0));
    if (trans > 1 || rots > 1)
      throw GeometryBuildError(name + " is attached to its parent by surface coordinates (mode " +
                               std::to_string(std::max(trans, rots)) + "), which the geometry engine does not support");
    if (trans == 1 || rots == 1) {
      const Matrix4 pm = model_matrix_at(data, *parent, depth + 1);
      if (trans == 1) attach = pm.translation_part();
      if (rots == 1) attach = attach * pm.linear_part();
    }
  }
  const char* loc[3] = {"X_Rel_Location", "Y_Rel_Location", "Z_Rel_Location"};
  const char* rot[3] = {"X_Rel_Rotation", "Y_Rel_Rotation", "Z_Rel_Rotation"};
  if (absolute) {
    loc[0] = "X_Location", loc[1] = "Y_Location", loc[2] = "Z_Location";
    rot[0] = "X_Rotation", rot[1] = "Y_Rotation", rot[2] = "Z_Rotation";
  }
  const Vec3 t{xform(data, geom, loc[0]), xform(data, geom, loc[1]), xform(data, geom, loc[2])};
  const Vec3 c{xform(data, geom, "Origin") * reference_length(data, geom), 0.0, 0.0};
  return attach * Matrix4::translation(t) * Matrix4::translation(c) *
         Matrix4::rotation_x(xform(data, geom, rot[0])) * Matrix4::rotation_y(xform(data, geom, rot[1])) *
         Matrix4::rotation_z(xform(data, geom, rot[2])) * Matrix4::translation(-1.0 * c);
}

// Frame in which the component is mirrored or rotated: model space for top-level components,
// else the ancestor the Sym_Ancestor parameter names.
Matrix4 symmetry_frame(const ModelData& data, const Geom& geom) {
  int level = static_cast<int>(data.value(geom.container, "Sym", "Sym_Ancestor", 1.0));
  const Geom* anc = parent_of(data, geom);
  if (!anc || level <= 0) return Matrix4();
  while (--level > 0 && parent_of(data, *anc)) anc = parent_of(data, *anc);
  return model_matrix_at(data, *anc, 1);
}

struct SymmetryOps {
  std::vector<Matrix4> ops{Matrix4()};
  std::vector<Vec3> planes;  // normals of the mirror planes in the symmetry frame
};

SymmetryOps symmetry_ops(const ModelData& data, const Geom& geom) {
  SymmetryOps s;
  const int planar = static_cast<int>(data.value(geom.container, "Sym", "Sym_Planar_Flag", 0.0));
  const Vec3 normals[3] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}};  // XY, XZ, YZ planes
  for (int bit = 0; bit < 3; ++bit) {
    if (!(planar & (1 << bit))) continue;
    s.planes.push_back(normals[bit]);
    const Matrix4 r = Matrix4::reflection(normals[bit]);
    const size_t n = s.ops.size();
    for (size_t k = 0; k < n; ++k) s.ops.push_back(r * s.ops[k]);
  }
  const int axial = static_cast<int>(data.value(geom.container, "Sym", "Sym_Axial_Flag", 0.0));
  const int count = std::max(2, static_cast<int>(data.value(geom.container, "Sym", "Sym_Rot_N", 2.0)));
  if (axial == 8 || axial == 16 || axial == 32) {
    const size_t n = s.ops.size();
    for (int k = 1; k < count; ++k) {
      const double angle = 360.0 * k / count;
      const Matrix4 r = axial == 8 ? Matrix4::rotation_x(angle)
                                   : (axial == 16 ? Matrix4::rotation_y(angle) : Matrix4::rotation_z(angle));
      for (size_t j = 0; j < n; ++j) s.ops.push_back(r * s.ops[j]);
    }
  }
  return s;
}

std::shared_ptr<const ComponentSurface> make_surface(const ModelData& data, const Geom& geom) {
  if (geom.type_name == "Wing") return std::make_shared<WingSurface>(data, geom);
  if (geom.type_name == "Fuselage" || geom.type_name == "Stack") return std::make_shared<FuselageSurface>(data, geom);
  if (geom.type_name == "Pod") return std::make_shared<PodSurface>(data, geom);
  throw GeometryBuildError("component `" + data.geom_name(geom) + "` is of type " + geom.type_name +
                           ", which the geometry engine cannot draw");
}

double extent(const std::vector<Vec3>& pts) {
  Vec3 lo = pts.empty() ? Vec3{} : pts.front(), hi = lo;
  for (const Vec3& p : pts) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  return std::max(norm(hi - lo), 1e-300);
}

// True when `b` has as many points as `a` and every one of a sample of them (enough to tell a
// coinciding image from a different one) has a point of `a` within `tol`.
bool same_points(const std::vector<Vec3>& a, const std::vector<Vec3>& b, double tol) {
  if (a.size() != b.size()) return false;
  const double cell = 4.0 * tol;
  auto key = [cell](double x, double y, double z) {
    const auto ix = static_cast<std::uint64_t>(std::llround(std::floor(x / cell)));
    const auto iy = static_cast<std::uint64_t>(std::llround(std::floor(y / cell)));
    const auto iz = static_cast<std::uint64_t>(std::llround(std::floor(z / cell)));
    return ix * 0x9E3779B97F4A7C15ULL ^ iy * 0xC2B2AE3D27D4EB4FULL ^ iz * 0x165667B19E3779F9ULL;
  };
  std::vector<std::pair<std::uint64_t, size_t>> cells(a.size());
  for (size_t i = 0; i < a.size(); ++i) cells[i] = {key(a[i].x, a[i].y, a[i].z), i};
  std::sort(cells.begin(), cells.end());
  const size_t stride = std::max<size_t>(1, b.size() / 2048);
  for (size_t k = 0; k < b.size(); k += stride) {
    const Vec3 p = b[k];
    bool found = false;
    // A point within tol lies in the cell of p shifted by -tol or +tol along each axis.
    for (int corner = 0; corner < 8 && !found; ++corner) {
      const double dx = corner & 1 ? tol : -tol, dy = corner & 2 ? tol : -tol, dz = corner & 4 ? tol : -tol;
      const std::uint64_t kk = key(p.x + dx, p.y + dy, p.z + dz);
      auto it = std::lower_bound(cells.begin(), cells.end(), std::make_pair(kk, size_t{0}));
      for (; it != cells.end() && it->first == kk && !found; ++it) found = norm(a[it->second] - p) <= tol;
    }
    if (!found) return false;
  }
  return true;
}

// Decides how the symmetric images are drawn: a wing whose root airfoil lies on its single
// mirror plane is joined to its image; images that coincide with the component are dropped.
void settle_copies(ComponentGeometry& c, const SymmetryOps& sym, const Matrix4& frame_inv, bool wing) {
  const SurfaceMesh& local = *c.local_mesh;
  std::vector<Vec3> base(local.mesh.points.size());
  for (size_t k = 0; k < base.size(); ++k) base[k] = c.copies[0].apply(local.mesh.points[k]);
  const double tol = 1e-9 * extent(base);
  if (wing && sym.ops.size() == 2 && sym.planes.size() == 1) {
    double off_plane = 0.0;
    for (int id : local.first_row)
      off_plane = std::max(off_plane, std::abs(dot(sym.planes[0], frame_inv.apply(base[static_cast<size_t>(id)]))));
    c.joined = off_plane <= tol;
    if (c.joined) return;
  }
  std::vector<Matrix4> kept{c.copies[0]};
  std::vector<Vec3> image(base.size());
  for (size_t k = 1; k < c.copies.size(); ++k) {
    for (size_t i = 0; i < image.size(); ++i) image[i] = c.copies[k].apply(local.mesh.points[i]);
    if (!same_points(base, image, tol)) kept.push_back(c.copies[k]);
  }
  c.copies = std::move(kept);
}

}  // namespace

Matrix4 model_matrix(const ModelData& data, const Geom& geom) { return model_matrix_at(data, geom, 0); }

Vec3 ComponentGeometry::point(int copy, double u, double w) const {
  return copies.at(static_cast<size_t>(copy)).apply(surface->point(u, w));
}

std::vector<Vec3> ComponentGeometry::grid_points(int copy, const std::vector<double>& u,
                                                 const std::vector<double>& w) const {
  auto pts = surface->grid_points(u, w);
  const Matrix4& m = copies.at(static_cast<size_t>(copy));
  for (Vec3& p : pts) p = m.apply(p);
  return pts;
}

TriMesh ComponentGeometry::grid_tessellation(int copy, const std::vector<double>& u,
                                             const std::vector<double>& w) const {
  TriMesh mesh;
  const auto pts = grid_points(copy, u, w);
  std::vector<int> ids(pts.size());
  for (size_t k = 0; k < pts.size(); ++k)
    ids[k] = mesh.add_point(pts[k], {copy, u[k / w.size()], w[k % w.size()]});
  add_grid_triangles(mesh, ids, static_cast<int>(u.size()), static_cast<int>(w.size()), false);
  // Cells run as in the component's own tessellation: turn them as it was turned, and once
  // more for a mirrored copy.
  if (local_mesh->grid_flipped != (copies.at(static_cast<size_t>(copy)).determinant3() < 0.0)) mesh.flip();
  return mesh;
}

TriMesh ComponentGeometry::tessellate() const {
  TriMesh out;
  tessellate_into(out);
  return out;
}

namespace {

// Appends the local mesh moved by `m` to `out`, without the triangles in [skip_begin,
// skip_end); points listed in `shared` are not added again but taken from `shared_base`.
void append_moved(TriMesh& out, const TriMesh& local, const Matrix4& m, int copy, size_t skip_begin,
                  size_t skip_end, const std::vector<int>& shared, int shared_base) {
  std::vector<int> index(local.points.size(), -1);
  for (int id : shared) index[static_cast<size_t>(id)] = shared_base + id;
  out.points.reserve(out.points.size() + local.points.size());
  out.origins.reserve(out.origins.size() + local.points.size());
  for (size_t k = 0; k < local.points.size(); ++k) {
    if (index[k] >= 0) continue;
    SurfacePoint o = local.origins[k];
    o.copy = copy;
    index[k] = out.add_point(m.apply(local.points[k]), o);
  }
  const bool mirrored = m.determinant3() < 0.0;
  out.triangles.reserve(out.triangles.size() + local.triangles.size());
  for (size_t t = 0; t < local.triangles.size(); ++t) {
    if (t >= skip_begin && t < skip_end) continue;
    const auto& tri = local.triangles[t];
    if (mirrored)
      out.add_triangle(index[tri[0]], index[tri[2]], index[tri[1]]);
    else
      out.add_triangle(index[tri[0]], index[tri[1]], index[tri[2]]);
  }
}

}  // namespace

void ComponentGeometry::tessellate_into(TriMesh& out) const {
  const SurfaceMesh& local = *local_mesh;
  const int base = static_cast<int>(out.points.size());
  if (!joined) {
    for (size_t k = 0; k < copies.size(); ++k) append_moved(out, local.mesh, copies[k], static_cast<int>(k), 0, 0, {}, 0);
    return;
  }
  // Both halves lose their root caps and the image reuses the component's root points.
  append_moved(out, local.mesh, copies[0], 0, local.first_cap_begin, local.first_cap_end, {}, 0);
  append_moved(out, local.mesh, copies[1], 1, local.first_cap_begin, local.first_cap_end, local.first_row, base);
}

std::vector<ComponentGeometry> build_geometry(const ModelData& data, int set, size_t max_triangles) {
  std::vector<ComponentGeometry> out;
  size_t triangles = 0;
  for (const Geom& geom : data.geoms) {
    if (!geom.set_flags.empty() && (set < 0 || set >= static_cast<int>(geom.set_flags.size()) || !geom.set_flags[set]))
      continue;
    if (geom.type_name == "Blank") continue;
    ComponentGeometry c;
    c.id = data.containers[geom.container].id;
    c.name = data.geom_name(geom);
    c.type_name = geom.type_name;
    c.surface = make_surface(data, geom);
    const Matrix4 m = model_matrix(data, geom);
    const Matrix4 frame = symmetry_frame(data, geom);
    const Matrix4 frame_inv = frame.rigid_inverse();
    const SymmetryOps sym = symmetry_ops(data, geom);
    for (const Matrix4& op : sym.ops) c.copies.push_back(frame * op * frame_inv * m);
    triangles += c.surface->triangle_estimate() * c.copies.size();
    if (triangles > max_triangles)
      throw GeometryBuildError("the tessellation settings ask for about " + std::to_string(triangles) +
                               " triangles by component `" + c.name + "`, more than the limit of " +
                               std::to_string(max_triangles));
    c.local_mesh = std::make_shared<const SurfaceMesh>(c.surface->tessellate());
    for (const Vec3& p : c.local_mesh->mesh.points)
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
        throw GeometryBuildError("component `" + c.name + "` has parameters that give points at infinity");
    if (c.copies.size() > 1) settle_copies(c, sym, frame_inv, geom.type_name == "Wing");
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace orvanta::vsp
