// Wing end caps, trailing-edge closure and trim, and section rotations and shifts, on a
// straight wing written here as .vsp3 text.

#include "vsp/geometry.hpp"
#include "vsp/geometry_error.hpp"
#include "vsp/mesh_check.hpp"
#include "vsp_test_support.hpp"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace orvanta::vsp {
namespace {

using Parms = std::map<std::string, double>;
using Groups = std::map<std::string, Parms>;

std::string groups_text(const Groups& groups, int& id) {
  std::ostringstream s;
  for (const auto& [g, parms] : groups) {
    s << "<" << g << ">";
    for (const auto& [k, v] : parms)
      s << "<" << k << " Value=\"" << v << "\" ID=\"P" << ++id << "XXXXXXXX\"/>";
    s << "</" << g << ">";
  }
  return s.str();
}

std::string container(const std::string& name, const Groups& groups, int& id) {
  return "<ParmContainer><ID>C" + std::to_string(++id) + "XXXXXXX</ID><Name>" + name + "</Name>" +
         groups_text(groups, id) + "</ParmContainer>";
}

// A straight, untapered wing of span 5 and chord `chord`: two NACA 4-series sections (or
// the curve type given) whose curve groups (XSecCurve, Close, Trim) get `curve`, plus
// component groups `geom` (EndCap, ...).
std::string wing(double chord, const Groups& curve, const Groups& geom = {}, int curve_type = 7) {
  int id = 0;
  std::string xs;
  for (int i = 0; i < 2; ++i) {
    Groups c = curve;
    c["XSecCurve"].emplace("ThickChord", 0.12);
    xs +=
        "<XSec>" +
        container("Default",
                  {{"XSec", {{"Span", 5.0}, {"Root_Chord", chord}, {"Tip_Chord", chord}, {"SectTess_U", 6}}}},
                  id) +
        "<XSec><Type>2</Type><DriverGroup><NumVar>8</NumVar><NumChoices>3</NumChoices><ChoiceVec>1, 5, 6, "
        "</ChoiceVec></DriverGroup><XSecCurve>" +
        container("Default", c, id) + "<XSecCurve><Type>" + std::to_string(curve_type) +
        "</Type></XSecCurve></XSecCurve></XSec></XSec>";
  }
  Groups g = geom;
  g["Shape"].emplace("Tess_W", 33);
  return "<?xml version=\"1.0\"?><Vsp_Geometry><Version>5</Version><Vehicle><Geom>" +
         container("Wing", g, id) +
         "<GeomBase><TypeName>Wing</TypeName><TypeID>5</TypeID></GeomBase><WingGeom>" +
         container("Default", {}, id) + "<XSecSurf>" + xs +
         "</XSecSurf></WingGeom></Geom></Vehicle></Vsp_Geometry>";
}

struct Drawn {
  MeshCheck check;
  Vec3 lo, hi;
};

Drawn draw(const std::string& text) {
  Model m;
  EXPECT_TRUE(m.read_text(text, "wing")) << vsptest::queued(m);
  Drawn d{};
  const TriMesh mesh = build_geometry(m.data(), 0).at(0).tessellate();
  d.check = check_mesh(mesh);
  d.lo = d.hi = mesh.points.at(0);
  for (const Vec3& p : mesh.points) {
    d.lo = {std::min(d.lo.x, p.x), std::min(d.lo.y, p.y), std::min(d.lo.z, p.z)};
    d.hi = {std::max(d.hi.x, p.x), std::max(d.hi.y, p.y), std::max(d.hi.z, p.z)};
  }
  return d;
}

// A round tip reaches half the local thickness past the tip section (the 12 % section is
// 0.12 thick at 30 % chord); edge and sharp tips reach as far with the default length; a
// flat tip ends at the section.
TEST(WingCaps, EachCapKindClosesTheEndAndReachesItsLength) {
  const struct {
    int kind;
    double reach;
  } cases[] = {{1, 0.0}, {2, 0.06}, {3, 0.06}, {4, 0.06}};
  for (const auto& c : cases) {
    const Drawn d = draw(wing(1.0, {}, {{"EndCap", {{"CapUMaxOption", c.kind}, {"CapUMinOption", c.kind}}}}));
    EXPECT_TRUE(d.check.watertight()) << "kind " << c.kind;
    EXPECT_NEAR(d.hi.y, 5.0 + c.reach, 2.5e-3) << "kind " << c.kind;
    EXPECT_NEAR(d.lo.y, -c.reach, 2.5e-3) << "kind " << c.kind;
  }
  // A round cap is a half circle across the section: at 10 % of the chord it reaches the
  // half thickness there.
  Model m;
  ASSERT_TRUE(m.read_text(wing(1.0, {}, {{"EndCap", {{"CapUMaxOption", 2}}}}), "wing"));
  const auto parts = build_geometry(m.data(), 0);
  const ComponentSurface& s = *parts.at(0).surface;
  for (double w : {0.4, 1.0, 3.0}) {
    const Vec3 tip_upper = s.point(2.0, 4.0 - w), tip_lower = s.point(2.0, w);
    const Vec3 seam = s.point(3.0, w);
    EXPECT_NEAR(seam.y - 5.0, 0.5 * std::abs(tip_upper.z - tip_lower.z), 2e-3) << "w " << w;
  }
  Model point_cap;
  ASSERT_TRUE(point_cap.read_text(wing(1.0, {}, {{"EndCap", {{"CapUMaxOption", 5}}}}), "wing"));
  try {
    build_geometry(point_cap.data(), 0);
    ADD_FAILURE() << "a point cap was drawn";
  } catch (const GeometryBuildError& e) {
    EXPECT_EQ(std::string(e.what()),
              "wing `Wing` has an end cap of kind 5 (CapUMaxOption), which the geometry engine does not draw "
              "(it draws "
              "none, flat, round, edge and sharp caps)");
  }
}

// Exported as text, a mirrored wing with rounded tips is still one closed surface: the
// points that a cap leaves in place (leading and trailing edge) are not repeated.
TEST(WingCaps, RoundTipsOfAMirroredWingExportClosed) {
  std::ifstream in(vsptest::sample("openvsp_test_wing.vsp3"));
  std::stringstream text;
  text << in.rdbuf();
  std::string w = text.str();
  const std::string flat = "<CapUMaxOption Value=\"1.000000000000000000e+00\"";
  ASSERT_NE(w.find(flat), std::string::npos);
  w.replace(w.find(flat), flat.size(), "<CapUMaxOption Value=\"2\"");
  Model m;
  ASSERT_TRUE(m.read_text(w, "wing")) << vsptest::queued(m);
  vsptest::TempDir dir;
  ASSERT_TRUE(m.export_stl(dir.path("w.stl"), 0)) << vsptest::queued(m);
  const vsptest::StlStats st = vsptest::read_stl_stats(dir.path("w.stl"));
  EXPECT_TRUE(st.closed()) << st.edges_used_once << " open, " << st.edges_used_more << " crowded edges";
  EXPECT_GT(st.max[1], 19.981 + 0.01);  // past the flat tip
}

// Trimming cuts the trailing edge off where each side is the given distance from its
// trailing-edge point (relative to the chord or absolute) or where the section has the given
// thickness; the cut leaves a flat trailing edge and a closed surface.
TEST(WingTrailingEdge, TrimShortensTheChordAndStaysClosed) {
  const struct {
    Parms trim;
    double cut;
  } cases[] = {{{{"TE_Trim_Type", 1}, {"TE_Trim_AbsRel", 1}, {"TE_Trim_X_Chord", 0.2}}, 0.4},
               {{{"TE_Trim_Type", 1}, {"TE_Trim_X", 0.3}}, 0.3}};
  for (const auto& c : cases) {
    Model m;
    ASSERT_TRUE(m.read_text(wing(2.0, {{"Trim", c.trim}}), "wing"));
    const auto parts = build_geometry(m.data(), 0);
    const ComponentSurface& s = *parts.at(0).surface;
    const Vec3 old_te{2.0, 2.5, 0.0};  // the sharp trailing edge before the cut
    EXPECT_NEAR(norm(s.point(1.5, 0.0) - old_te), c.cut, 1e-6);
    EXPECT_NEAR(norm(s.point(1.5, 4.0) - old_te), c.cut, 1e-6);
    EXPECT_GT(norm(s.point(1.5, 0.0) - s.point(1.5, 4.0)), 0.01);  // a blunt trailing edge
    const TriMesh mesh = parts.at(0).tessellate();
    EXPECT_TRUE(check_mesh(mesh).watertight());
    for (const Vec3& p : mesh.points) EXPECT_LT(p.x, 2.0 - 0.9 * c.cut);
  }

  Model m;
  ASSERT_TRUE(m.read_text(
      wing(2.0, {{"Trim", {{"TE_Trim_Type", 2}, {"TE_Trim_AbsRel", 1}, {"TE_Trim_Thick_Chord", 0.03}}}}),
      "wing"));
  const auto parts = build_geometry(m.data(), 0);
  const ComponentSurface& s = *parts.at(0).surface;
  EXPECT_NEAR(norm(s.point(1.5, 0.0) - s.point(1.5, 4.0)), 2.0 * 0.03, 2e-3);
  EXPECT_TRUE(check_mesh(parts.at(0).tessellate()).watertight());
}

// Closing shears one or both sides about the leading edge until the trailing-edge gap is the
// thickness asked for.
TEST(WingTrailingEdge, CloseSetsTheGap) {
  const Parms blunt{{"SharpTEFlag", 0}};
  for (int how : {1, 2, 3}) {
    Model m;
    ASSERT_TRUE(m.read_text(
        wing(2.0,
             {{"XSecCurve", blunt},
              {"Close", {{"TE_Close_Type", how}, {"TE_Close_AbsRel", 1}, {"TE_Close_Thick_Chord", 0.01}}}}),
        "wing"));
    const auto parts = build_geometry(m.data(), 0);
    const ComponentSurface& s = *parts.at(0).surface;
    EXPECT_NEAR(norm(s.point(1.5, 0.0) - s.point(1.5, 4.0)), 0.02, 1e-6) << "type " << how;
    EXPECT_NEAR(s.point(1.5, 2.0).z, 0.0, 1e-9);  // the leading edge stays
    const double lower_te = s.point(1.5, 0.0).z, upper_te = s.point(1.5, 4.0).z;
    // The classic blunt section is 2 * 5 * 0.12 * 0.0021 = 0.00252 thick at its trailing edge
    // (half above, half below): the side that is not sheared keeps its point.
    if (how == 1) EXPECT_NEAR(upper_te, 2.0 * 0.5 * 0.00252, 1e-6);
    if (how == 2) EXPECT_NEAR(lower_te, -2.0 * 0.5 * 0.00252, 1e-6);
    if (how == 3) EXPECT_NEAR(lower_te, -upper_te, 1e-9);
    EXPECT_TRUE(check_mesh(parts.at(0).tessellate()).watertight());
  }
}

// Theta turns the section about its leading edge; DeltaX and DeltaY move it by fractions of
// the chord.
TEST(WingSections, RotationAndShiftsMoveTheSection) {
  Model m;
  ASSERT_TRUE(
      m.read_text(wing(2.0, {{"XSecCurve", {{"Theta", -10.0}, {"DeltaX", 0.1}, {"DeltaY", 0.05}}}}), "wing"));
  const auto parts = build_geometry(m.data(), 0);
  const ComponentSurface& s = *parts.at(0).surface;
  const Vec3 le = s.point(1.5, 2.0), te = s.point(1.5, 0.0);
  EXPECT_NEAR(le.x, 0.2, 1e-9);
  EXPECT_NEAR(le.z, 0.1, 1e-9);
  const double pi = std::acos(-1.0);
  EXPECT_NEAR(std::atan2(te.z - le.z, te.x - le.x), -10.0 * pi / 180.0, 1e-6);
}

}  // namespace
}  // namespace orvanta::vsp
