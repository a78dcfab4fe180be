// Fuselage skinning between sections (slopes, strengths, continuity) and the sections given
// by points (edit curve, file curve) and by shifts; models are written here as .vsp3 text.

#include "vsp/fuselage_skin.hpp"
#include "vsp/geometry.hpp"
#include "vsp/geometry_error.hpp"
#include "vsp/mesh_check.hpp"
#include "vsp_test_support.hpp"

#include <cmath>
#include <map>
#include <numbers>
#include <sstream>

namespace orvanta::vsp {
namespace {

using Parms = std::map<std::string, double>;

struct Section {
  Section(double at, int type = 1, Parms c = {{"Circle_Diameter", 2.0}}, Parms x_parms = {},
          std::string text = "")
      : x(at), curve_type(type), curve(std::move(c)), xsec(std::move(x_parms)), extra(std::move(text)) {}
  double x;
  int curve_type;
  Parms curve;
  Parms xsec;         // skinning parameters
  std::string extra;  // text placed beside the curve's parameters
};

std::string parm_group(const std::string& name, const Parms& parms, int& id) {
  std::ostringstream s;
  s << "<" << name << ">";
  for (const auto& [k, v] : parms) s << "<" << k << " Value=\"" << v << "\" ID=\"P" << ++id << "XXXXXXXX\"/>";
  s << "</" << name << ">";
  return s.str();
}

std::string container(const std::string& name, const std::string& groups, int& id) {
  return "<ParmContainer><ID>C" + std::to_string(++id) + "XXXXXXX</ID><Name>" + name + "</Name>" + groups +
         "</ParmContainer>";
}

// A fuselage with sections at XLocPercent = x, or a stack (each section moved by XDelta = x
// from the previous one, with the placement parameters in `xsec`).
std::string fuselage(double length, const std::vector<Section>& sections, bool stack = false) {
  int id = 0;
  std::string xs;
  for (const Section& s : sections) {
    Parms xsec = s.xsec;
    xsec[stack ? "XDelta" : "XLocPercent"] = s.x;
    xsec["SectTess_U"] = 9;
    xs += "<XSec>" + container("Default", parm_group("XSec", xsec, id), id) +
          "<XSec><Type>0</Type><XSecCurve>" + container("Default", parm_group("XSecCurve", s.curve, id), id) +
          "<XSecCurve><Type>" + std::to_string(s.curve_type) + "</Type></XSecCurve>" + s.extra +
          "</XSecCurve></XSec></XSec>";
  }
  return "<?xml version=\"1.0\"?><Vsp_Geometry><Version>5</Version><Vehicle><Geom>" +
         container("Body",
                   parm_group("Design", {{"Length", length}}, id) + parm_group("Shape", {{"Tess_W", 33}}, id),
                   id) +
         (stack ? "<GeomBase><TypeName>Stack</TypeName><TypeID>8</TypeID></GeomBase><FuselageGeom>"
                : "<GeomBase><TypeName>Fuselage</TypeName><TypeID>4</TypeID></GeomBase><FuselageGeom>") +
         container("Default", "", id) + "<XSecSurf>" + xs +
         "</XSecSurf></FuselageGeom></Geom></Vehicle></Vsp_Geometry>";
}

struct Built {
  Model model;
  std::vector<ComponentGeometry> parts;
};

std::unique_ptr<Built> build(const std::string& text) {
  auto b = std::make_unique<Built>();
  EXPECT_TRUE(b->model.read_text(text, "body")) << vsptest::queued(b->model);
  b->parts = build_geometry(b->model.data(), 0);
  return b;
}

Vec3 derivative(const ComponentSurface& s, double u, double w, double h) {
  return (1.0 / (2.0 * h)) * (s.point(u + h, w) - s.point(u - h, w));
}

TEST(SkinSolver, DegreesFollowTheConditionsAndMeetThem) {
  const std::vector<Vec3> p{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 2, 1}};
  const std::vector<Vec3> left{{}, {1, 0, 0}, {}, {0, 0, 3}}, right{{0, 2, 0}, {}, {}, {}};
  // Free sections: straight segments.
  const SkinSolver free({{}, {}, {}, {}});
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(free.degree(i), 1);
  EXPECT_NEAR(bezier_point(free.solve(p, left, right)[1], 0.5).y, 0.5, 1e-12);

  // Given slopes raise the degree of their segment and hold at its ends.
  const SkinSolver given({{0, false, true}, {0, true, false}, {}, {0, true, false}});
  EXPECT_EQ(given.degree(0), 3);
  EXPECT_EQ(given.degree(1), 1);
  EXPECT_EQ(given.degree(2), 2);
  const auto c = given.solve(p, left, right);
  const double h = 1e-6;
  EXPECT_NEAR(norm((1.0 / h) * (bezier_point(c[0], h) - p[0]) - right[0]), 0.0, 1e-4);
  EXPECT_NEAR(norm((1.0 / h) * (p[1] - bezier_point(c[0], 1.0 - h)) - left[1]), 0.0, 1e-4);
  EXPECT_NEAR(norm((1.0 / h) * (p[3] - bezier_point(c[2], 1.0 - h)) - left[3]), 0.0, 1e-4);
  for (size_t seg = 0; seg < 3; ++seg) {
    EXPECT_NEAR(norm(bezier_point(c[seg], 0.0) - p[seg]), 0.0, 1e-12);
    EXPECT_NEAR(norm(bezier_point(c[seg], 1.0) - p[seg + 1]), 0.0, 1e-12);
  }
}

TEST(SkinSolver, SmoothSectionsMatchSlopeAndCurvature) {
  const std::vector<Vec3> p{{0, 0, 0}, {1, 2, 0}, {3, 1, 0}, {4, 3, 0}};
  const std::vector<Vec3> none(4);
  const double h = 1e-5;
  for (int continuity : {1, 2}) {
    const SkinSolver s({{}, {continuity, false, false}, {continuity, false, false}, {}});
    const auto c = s.solve(p, none, none);
    for (size_t j : {1u, 2u}) {
      const Vec3 in = (1.0 / h) * (p[j] - bezier_point(c[j - 1], 1.0 - h));
      const Vec3 out = (1.0 / h) * (bezier_point(c[j], h) - p[j]);
      EXPECT_NEAR(norm(in - out), 0.0, 1e-3) << "C" << continuity << " at " << j;
      if (continuity < 2) continue;
      const double k = 1e-3;
      const Vec3 cin = (1.0 / (k * k)) *
                       (p[j] - 2.0 * bezier_point(c[j - 1], 1.0 - k) + bezier_point(c[j - 1], 1.0 - 2 * k));
      const Vec3 cout = (1.0 / (k * k)) * (p[j] - 2.0 * bezier_point(c[j], k) + bezier_point(c[j], 2 * k));
      EXPECT_NEAR(norm(cin - cout), 0.0, 2e-2 * norm(cin) + 1e-2) << "curvature at " << j;
    }
  }
}

// Without skinning settings sections are joined by straight lines: a cabin of equal
// sections stays a cylinder however the next section flares.
TEST(FuselageSkin, SectionsWithoutSettingsAreJoinedStraight) {
  const auto b =
      build(fuselage(3.0, {{0.0}, {1.0 / 3.0}, {2.0 / 3.0, 1, {{"Circle_Diameter", 4.0}}}, {1.0}}));
  const ComponentSurface& s = *b->parts.at(0).surface;
  EXPECT_NEAR(s.point(1.5, 1.0).y, 1.0, 1e-9);  // between the two equal sections
  EXPECT_NEAR(s.point(2.5, 1.0).y, 1.5, 1e-9);  // halfway to the flare
  EXPECT_NEAR(s.point(2.5, 1.0).x, 1.5, 1e-9);
  EXPECT_TRUE(check_mesh(b->parts.at(0).tessellate()).watertight());
}

// A nose angle of 90 degrees leaves the point radially with the strength times the distance
// to the next section (counting the change of half width).
TEST(FuselageSkin, NoseAngleAndStrengthSetTheSlope) {
  const Parms nose{{"TopLAngleSet", 1}, {"TopLAngle", 90.0}, {"TopLStrength", 0.5}};
  const auto b = build(fuselage(2.0, {{0.0, 0, {}, nose}, {0.5}, {1.0}}));
  const ComponentSurface& s = *b->parts.at(0).surface;
  const double scale = std::sqrt(1.0 + 1.0);  // distance 1, half-width change 1
  const Vec3 d = derivative(s, 1.0 + 1e-6, 1.0, 1e-7);
  EXPECT_NEAR(d.x, 0.0, 1e-4);
  EXPECT_NEAR(d.y, 0.5 * scale, 1e-4);
  const Vec3 top = derivative(s, 1.0 + 1e-6, 0.0, 1e-7);
  EXPECT_NEAR(top.z, 0.5 * scale, 1e-4);
  // 45 degrees at the tail, arriving: inward and aft in equal parts.
  const Parms tail{{"TopLAngleSet", 1}, {"TopLAngle", -45.0}, {"TopLStrength", 1.0}};
  const auto t = build(fuselage(2.0, {{0.0}, {0.5}, {1.0, 0, {}, tail}}));
  const Vec3 e = derivative(*t->parts.at(0).surface, 3.0 - 1e-6, 1.0, 1e-7);
  EXPECT_NEAR(e.x, scale * std::sqrt(0.5), 1e-4);
  EXPECT_NEAR(e.y, -scale * std::sqrt(0.5), 1e-4);
  EXPECT_TRUE(check_mesh(t->parts.at(0).tessellate()).watertight());
}

TEST(FuselageSkin, SmoothSectionsHaveNoKink) {
  const auto b =
      build(fuselage(3.0, {{0.0}, {0.4, 1, {{"Circle_Diameter", 3.0}}, {{"ContinuityTop", 1}}}, {1.0}}));
  const ComponentSurface& s = *b->parts.at(0).surface;
  const double h = 1e-5;
  const Vec3 in = (1.0 / h) * (s.point(2.0, 1.0) - s.point(2.0 - h, 1.0));
  const Vec3 out = (1.0 / h) * (s.point(2.0 + h, 1.0) - s.point(2.0, 1.0));
  EXPECT_NEAR(norm(in - out), 0.0, 1e-3 * norm(in));
  EXPECT_GT(s.point(1.5, 1.0).y, 1.25);  // bulges past the straight line between 1 and 1.5
}

// A stack places each section relative to the previous one: moved by its deltas, then turned
// by its rotations (which carry on to the sections after it); VAlign lowers a section by a
// fraction of its half height.
TEST(FuselageSkin, StackSectionsFollowEachOther) {
  const auto b = build(fuselage(1.0,
                                {{0.0},
                                 {1.0, 1, {{"Circle_Diameter", 2.0}}, {{"ZRotate", 90.0}}},
                                 {1.0, 1, {{"Circle_Diameter", 2.0}}, {{"VAlign", 1.0}}}},
                                true));
  ASSERT_EQ(b->parts.size(), 1u);
  const ComponentSurface& s = *b->parts.at(0).surface;
  // Section 1 at x = 1 turned a quarter about z: its right side points back along -x.
  EXPECT_NEAR(s.point(2.0, 1.0).x, 1.0 - 1.0, 1e-9);
  // Section 2 one unit along the turned axis (+y), lowered by its half height.
  const Vec3 top = s.point(3.0, 0.0);
  EXPECT_NEAR(top.x, 1.0, 1e-9);
  EXPECT_NEAR(top.y, 1.0, 1e-9);
  EXPECT_NEAR(top.z, 1.0 - 1.0, 1e-9);
  EXPECT_TRUE(check_mesh(b->parts.at(0).tessellate()).watertight());
}

// Shifts are fractions of the width, both of them.
TEST(FuselageSections, ShiftsAreFractionsOfTheWidth) {
  const Parms ellipse{{"Ellipse_Width", 2.0}, {"Ellipse_Height", 1.0}, {"DeltaX", 0.25}, {"DeltaY", 0.1}};
  const auto b = build(fuselage(2.0, {{0.0, 2, ellipse}, {1.0, 2, ellipse}}));
  const ComponentSurface& s = *b->parts.at(0).surface;
  EXPECT_NEAR(s.point(1.0, 0.0).z, 0.5 + 0.2, 1e-9);
  EXPECT_NEAR(s.point(1.0, 1.0).y, 1.0 + 0.5, 1e-9);
}

TEST(FuselageSections, EditCurvesFollowTheirControlPoints) {
  // A diamond as a polyline from the right side down, and a circle as four Bezier quarters.
  Parms diamond{{"CurveType", 0}, {"Width", 2.0}, {"Height", 4.0}};
  const double xs[] = {0.5, 0.0, -0.5, 0.0, 0.5}, ys[] = {0.0, -0.5, 0.0, 0.5, 0.0};
  for (int i = 0; i < 5; ++i) {
    const std::string k = std::to_string(i);
    diamond["X_" + k] = xs[i], diamond["Y_" + k] = ys[i], diamond["U_" + k] = 0.25 * i;
  }
  const auto b = build(fuselage(2.0, {{0.0, 11, diamond}, {1.0, 11, diamond}}));
  const ComponentSurface& s = *b->parts.at(0).surface;
  EXPECT_NEAR(s.point(1.0, 0.0).z, 2.0, 1e-9);   // top
  EXPECT_NEAR(s.point(1.0, 1.0).y, 1.0, 1e-9);   // right
  EXPECT_NEAR(s.point(1.0, 2.0).z, -2.0, 1e-9);  // bottom
  const Vec3 mid = s.point(1.0, 0.5);            // on the edge from the top to the right
  EXPECT_NEAR(mid.y / 1.0 + mid.z / 2.0, 1.0, 1e-9);

  Parms circle{{"CurveType", 2}, {"Width", 2.0}, {"Height", 2.0}};
  const double k = 0.5 * 4.0 * (std::sqrt(2.0) - 1.0) / 3.0;
  const double cx[] = {0.5, 0.5, k, 0.0, -k, -0.5, -0.5, -0.5, -k, 0.0, k, 0.5, 0.5};
  const double cy[] = {0.0, -k, -0.5, -0.5, -0.5, -k, 0.0, k, 0.5, 0.5, 0.5, k, 0.0};
  for (int i = 0; i < 13; ++i) {
    const std::string n = std::to_string(i);
    circle["X_" + n] = cx[i], circle["Y_" + n] = cy[i], circle["U_" + n] = i / 12.0;
  }
  const auto c = build(fuselage(2.0, {{0.0, 11, circle}, {1.0, 11, circle}}));
  for (double w : {0.0, 0.3, 1.0, 1.7, 2.5, 3.9}) {
    const Vec3 p = c->parts.at(0).surface->point(1.5, w);
    EXPECT_NEAR(std::hypot(p.y, p.z), 1.0, 3e-4) << "w " << w;
  }
}

TEST(FuselageSections, FileCurvesScaleTheirUnitPoints) {
  std::string pts;
  const int n = 41;
  for (int i = 0; i < n; ++i) {
    const double th = -2.0 * std::numbers::pi * i / (n - 1);
    std::ostringstream s;
    s << 0.5 * std::cos(th) << ", " << 0.5 * std::sin(th) << ", 0, ";
    pts += s.str();
  }
  const std::string extra = "<FileXSec><UnityFilePnts>" + pts + "</UnityFilePnts></FileXSec>";
  const Parms size{{"Width", 3.0}, {"Height", 1.0}};
  const auto b = build(fuselage(2.0, {{0.0, 6, size, {}, extra}, {1.0, 6, size, {}, extra}}));
  const ComponentSurface& s = *b->parts.at(0).surface;
  EXPECT_NEAR(s.point(1.0, 1.0).y, 1.5, 1e-6);
  EXPECT_NEAR(s.point(1.0, 0.0).z, 0.5, 1e-6);
  for (double w : {0.4, 1.3, 2.6, 3.5}) {
    const Vec3 p = s.point(1.0, w);
    EXPECT_NEAR(std::pow(p.y / 1.5, 2) + std::pow(p.z / 0.5, 2), 1.0, 2e-3) << "w " << w;
  }
  EXPECT_THROW(build(fuselage(2.0, {{0.0, 6, size}, {1.0, 6, size}})), GeometryBuildError);
}

TEST(FuselageSections, CurvesThatAreNoBodySectionsStayNamedErrors) {
  Model m;
  ASSERT_TRUE(m.read_text(fuselage(2.0, {{0.0, 7, {}}, {1.0}}), "body"));
  try {
    build_geometry(m.data(), 0);
    ADD_FAILURE() << "an airfoil was drawn as a body section";
  } catch (const GeometryBuildError& e) {
    EXPECT_EQ(std::string(e.what()),
              "fuselage `Body` cross-section 0 uses a NACA 4-series curve (type 7), which the geometry "
              "engine cannot "
              "draw as a body section");
  }
}

}  // namespace
}  // namespace orvanta::vsp
