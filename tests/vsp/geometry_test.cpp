// Surfaces: exported STL files close, the symmetric wing joins at its root, placement matches
// what OpenVSP stored, density follows the settings, and the parametric face agrees with the
// tessellation.

#include "vsp/airfoil.hpp"
#include "vsp/mesh_check.hpp"
#include "vsp_test_support.hpp"

#include <pugixml.hpp>

#include <cmath>
#include <filesystem>

namespace orvanta::vsp {
namespace {
using vsptest::load;
using vsptest::sample;

std::string id_of(Model& m, const std::string& name) { return m.find_geoms_with_name(name).at(0); }

TEST(VspExport, EverySampleGivesClosedOutwardSurfaces) {
  vsptest::TempDir dir;
  for (const std::string& file : vsptest::sample_files()) {
    Model m;
    load(m, file);
    const std::string stl = dir.path("out.stl");
    ASSERT_TRUE(m.export_stl(stl, 0, "aircraft")) << vsptest::queued(m);
    const auto s = vsptest::read_stl_stats(stl);
    EXPECT_TRUE(s.closed()) << file << ": once " << s.edges_used_once << ", more " << s.edges_used_more
                            << ", same way " << s.edges_walked_same_way;
    EXPECT_GT(s.volume, 0.0) << file;
    EXPECT_EQ(s.first_line, "solid aircraft");
    EXPECT_EQ(s.last_line, "endsolid aircraft");
    // Each component on its own is closed too.
    for (const ComponentGeometry& c : m.geometry()) {
      const MeshCheck check = check_mesh(c.tessellate());
      EXPECT_TRUE(check.watertight()) << file << " " << c.name;
      EXPECT_GT(check.volume, 0.0) << file << " " << c.name;
    }
  }
}

TEST(VspExport, AMirroredWingJoinsAtItsRootWithoutAWall) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  auto components = m.geometry();
  ASSERT_EQ(components.size(), 1u);
  EXPECT_TRUE(components[0].joined);
  const TriMesh joined = components[0].tessellate();
  size_t on_plane = 0;
  for (const auto& t : joined.triangles)
    if (std::abs(joined.points[t[0]].y) + std::abs(joined.points[t[1]].y) + std::abs(joined.points[t[2]].y) < 1e-12)
      ++on_plane;
  EXPECT_EQ(on_plane, 0u);  // no root cap inside the wing

  // Moved off the plane, each half keeps its root cap and stays closed on its own.
  m.set_parm_value(m.find_parm(id_of(m, "Wing"), "Y_Rel_Location", "XForm"), 1.0);
  m.update();
  components = m.geometry();
  EXPECT_FALSE(components[0].joined);
  ASSERT_EQ(components[0].copies.size(), 2u);
  const TriMesh apart = components[0].tessellate();
  EXPECT_TRUE(check_mesh(apart).watertight());
  EXPECT_NEAR(check_mesh(apart).volume, check_mesh(joined).volume, 1e-9 * check_mesh(joined).volume);
}

TEST(VspExport, ABodyOnItsOwnMirrorPlaneIsDrawnOnce) {
  Model m;
  load(m, vsptest::packaged_model());
  for (const ComponentGeometry& c : m.geometry()) {
    if (c.name == "Fuselage") EXPECT_EQ(c.copies.size(), 1u);
    if (c.name == "Wing") EXPECT_TRUE(c.joined);
  }
}

// Bounding box of one component as the file stores it (group BBox of its container).
std::array<double, 6> stored_box(const std::string& file, const std::string& component) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(file.c_str()));
  for (auto g : doc.child("Vsp_Geometry").child("Vehicle").children("Geom")) {
    auto pc = g.child("ParmContainer");
    if (std::string(pc.child_value("Name")) != component) continue;
    auto b = pc.child("BBox");
    auto v = [&](const char* n) { return b.child(n).attribute("Value").as_double(); };
    return {v("X_Min"), v("Y_Min"), v("Z_Min"), v("X_Min") + v("X_Len"), v("Y_Min") + v("Y_Len"), v("Z_Min") + v("Z_Len")};
  }
  ADD_FAILURE() << component;
  return {};
}

TEST(VspExport, PlacementReproducesTheBoundingBoxesOpenVspStored) {
  struct Case {
    std::string file, component;
    double tolerance;  // our vertices differ from OpenVSP's between its own sample points
  };
  // Wings are ruled between exactly placed airfoils; fuselage skinning is our own reading
  // of the tangent controls, so its box agrees less closely.
  for (const Case& k : {Case{sample("openvsp_test_wing.vsp3"), "Wing", 1e-4},
                        Case{sample("openvsp_TR1208_file_airfoil.vsp3"), "WingGeom", 1e-4},
                        Case{sample("autoOpenVSP_fuselage_wing.vsp3"), "WingGeom", 1e-4},
                        Case{sample("autoOpenVSP_fuselage_wing.vsp3"), "FuselageGeom", 1.5e-2}}) {
    Model m;
    load(m, k.file);
    for (const ComponentGeometry& c : m.geometry()) {
      if (c.name != k.component) continue;
      const TriMesh mesh = c.tessellate();
      std::array<double, 6> box = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
      for (const Vec3& p : mesh.points) {
        const double v[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; ++a) box[a] = std::min(box[a], v[a]), box[a + 3] = std::max(box[a + 3], v[a]);
      }
      const auto want = stored_box(k.file, k.component);
      const double size = std::max({want[3] - want[0], want[4] - want[1], want[5] - want[2]});
      for (int a = 0; a < 6; ++a) EXPECT_NEAR(box[a], want[a], k.tolerance * size) << k.file << " " << k.component << " " << a;
    }
  }
}

TEST(VspExport, TriangleCountFollowsTheDensitySettings) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const std::string wing = id_of(m, "Wing");
  m.set_parm_value(m.find_parm(wing, "Tess_W", "Shape"), 65.0);      // 32 intervals per side
  m.set_parm_value(m.find_parm(wing, "SectTess_U", "XSec_2"), 31.0);  // 30 intervals outboard
  m.update();
  const TriMesh mesh = m.geometry().at(0).tessellate();
  // Per half: (5 + 30) rows of quads around 64 columns, and a tip cap of 2 * 32 - 2.
  EXPECT_EQ(mesh.triangles.size(), 2u * (2 * 35 * 64 + 62));
  m.set_parm_value(m.find_parm(wing, "Tess_W", "Shape"), 62.0);  // not of the form 4k + 1: rounded up to 65
  m.update();
  EXPECT_EQ(m.geometry().at(0).tessellate().triangles.size(), 2u * (2 * 35 * 64 + 62));
}

TEST(VspExport, UpperCstCoefficientsChangeTheWingVolumeAsTheyShould) {
  Model m;
  load(m, vsptest::packaged_model());
  auto wing_volume = [&] {
    for (const auto& c : m.geometry())
      if (c.name == "Wing") return check_mesh(c.tessellate()).volume;
    return 0.0;
  };
  const double before = wing_volume();
  const std::string wing = id_of(m, "Wing");
  for (int s = 0; s < 4; ++s)  // every section, root to tip
    for (int i = 0; i <= 5; ++i) {
      const std::string id = m.find_parm(wing, "Au_" + std::to_string(i), "UpperCoeff_" + std::to_string(s));
      m.set_parm_value(id, *m.parm_value(id) + 0.02);
    }
  m.update();
  // The upper surface rises by 0.02 sqrt(x)(1 - x) chords everywhere: 0.02 * 4/15 of c^2 per
  // unit span, integrated over both halves (c from 2 to 0.8 over 6 m: integral of c^2 = 12.48).
  const double expected = 2.0 * 0.02 * (4.0 / 15.0) * 12.48;
  EXPECT_NEAR(wing_volume() - before, expected, 0.02 * expected);
}

TEST(VspSurface, TessellatedPointsLieOnTheSurfaceAtTheirParameters) {
  for (const std::string& file : {vsptest::packaged_model(), sample("openvsp_TR1208_file_airfoil.vsp3"),
                                  sample("autoOpenVSP_fuselage_wing.vsp3")}) {
    Model m;
    load(m, file);
    for (const ComponentGeometry& c : m.geometry()) {
      const TriMesh mesh = c.tessellate();
      double worst = 0.0;
      for (size_t k = 0; k < mesh.points.size(); ++k) {
        const SurfacePoint& o = mesh.origins[k];
        worst = std::max(worst, norm(c.point(o.copy, o.u, o.w) - mesh.points[k]));
      }
      EXPECT_LT(worst, 1e-9) << file << " " << c.name;
      // A grid evaluation is the same as point by point, and its cells face the way the
      // closed surface's faces do.
      const auto grid = c.grid_points(0, {1.0, 1.5, 2.0}, {0.0, 1.0, 2.0, 3.0});
      EXPECT_LT(norm(grid[5] - c.point(0, 1.5, 1.0)), 1e-12);
      for (int copy = 0; copy < static_cast<int>(c.copies.size()); ++copy) {
        const TriMesh patch = c.grid_tessellation(copy, {1.2, 1.6}, {0.5, 0.6});
        ASSERT_EQ(patch.triangles.size(), 2u);
        const auto& t = patch.triangles[0];
        const Vec3 normal = cross(patch.points[t[1]] - patch.points[t[0]], patch.points[t[2]] - patch.points[t[0]]);
        // Outward at w = 0.5..0.6: on a wing that is the lower side, on a body the upper right.
        const Vec3 away = c.type_name == "Wing" ? Vec3{0, 0, -1} : c.copies[copy].apply_direction({0, 1, 1});
        EXPECT_GT(dot(normal, away), 0.0) << file << " " << c.name << " " << copy;
      }
    }
  }
}

TEST(VspAirfoil, SectionShapesHaveTheirTextbookThickness) {
  const Airfoil sharp(four_series_shape(0.0, 0.4, 0.12, true));
  EXPECT_NEAR(sharp.max_thickness(), 0.12, 2e-4);
  EXPECT_LT(sharp.trailing_edge_gap(), 1e-12);
  const Airfoil blunt(four_series_shape(0.0, 0.4, 0.12, false));
  EXPECT_NEAR(blunt.trailing_edge_gap(), 2 * 5 * 0.12 * (0.2969 - 0.1260 - 0.3516 + 0.2843 - 0.1015), 1e-12);
  const Airfoil cambered(four_series_shape(0.02, 0.4, 0.12, true));
  EXPECT_NEAR(cambered.point(2.0).x, 0.0, 1e-12);  // the leading edge sits at w = 2
  EXPECT_NEAR(cambered.point(0.0).x, 1.0, 1e-12);
  EXPECT_GT(cambered.point(3.0).y, 0.0);
  EXPECT_LT(cambered.point(1.0).y, cambered.point(3.0).y);
  // Symmetric CST of one coefficient: thickness 2a sqrt(x)(1 - x), largest at x = 1/3.
  const Airfoil cst(cst_shape({0.15}, {-0.15}));
  EXPECT_NEAR(cst.max_thickness(), 2 * 0.15 * std::sqrt(1.0 / 3.0) * 2.0 / 3.0, 1e-7);
  const Airfoil flipped(cst_shape({0.15, 0.2}, {-0.05, -0.05}), true);
  // Inverted: the fuller side now faces down, and the curve still runs lower side first.
  EXPECT_GT(flipped.point(3.0).y, 0.0);
  EXPECT_LT(flipped.point(3.0).y, -flipped.point(1.0).y);
}

}  // namespace
}  // namespace orvanta::vsp
