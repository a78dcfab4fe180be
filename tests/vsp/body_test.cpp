// Fuselages of every section kind and pods: closed, with the section areas and extents their
// parameters give. Models are written here as minimal .vsp3 text.

#include "vsp/mesh_check.hpp"
#include "vsp_test_support.hpp"

#include <cmath>
#include <map>
#include <numbers>
#include <sstream>

namespace orvanta::vsp {
namespace {

class ModelText {
 public:
  std::string parm(const std::string& name, double value) {
    std::ostringstream s;
    s << "<" << name << " Value=\"" << value << "\" ID=\"" << next_id(11) << "\"/>";
    return s.str();
  }
  std::string group(const std::string& name, const std::map<std::string, double>& parms) {
    std::string s = "<" + name + ">";
    for (const auto& [k, v] : parms) s += parm(k, v);
    return s + "</" + name + ">";
  }
  std::string container(const std::string& name, const std::string& groups) {
    return "<ParmContainer><ID>" + next_id(10) + "</ID><Name>" + name + "</Name>" + groups + "</ParmContainer>";
  }
  std::string next_id(int length) {
    std::string id(static_cast<size_t>(length), 'A');
    for (int n = ++counter_, k = length - 1; n > 0 && k >= 0; n /= 26, --k) id[k] = static_cast<char>('A' + n % 26);
    return id;
  }

 private:
  int counter_ = 0;
};

std::string wrap(const std::string& geoms) {
  return "<?xml version=\"1.0\"?><Vsp_Geometry><Version>5</Version><Vehicle>" + geoms + "</Vehicle></Vsp_Geometry>";
}

// A straight body of four equal sections from x = 0 to 4 (flat ends), 32 points around.
std::string prism(int curve_type, const std::map<std::string, double>& curve) {
  ModelText t;
  std::string sections;
  for (double x : {0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0})
    sections += "<XSec>" + t.container("Default", t.group("XSec", {{"XLocPercent", x}, {"SectTess_U", 4}})) +
                "<XSec><Type>0</Type><XSecCurve>" + t.container("Default", t.group("XSecCurve", curve)) +
                "<XSecCurve><Type>" + std::to_string(curve_type) + "</Type></XSecCurve></XSecCurve></XSec></XSec>";
  return wrap("<Geom>" +
              t.container("Body", t.group("Design", {{"Length", 4.0}}) + t.group("Shape", {{"Tess_W", 33}})) +
              "<GeomBase><TypeName>Fuselage</TypeName><TypeID>4</TypeID></GeomBase><FuselageGeom>" +
              t.container("Default", "") + "<XSecSurf>" + sections + "</XSecSurf></FuselageGeom></Geom>");
}

struct Drawn {
  MeshCheck check;
  Vec3 lo, hi;
};

Drawn draw(const std::string& text) {
  Model m;
  EXPECT_TRUE(m.read_text(text, "body")) << vsptest::queued(m);
  Drawn d{};
  if (m.empty()) return d;
  const TriMesh mesh = m.geometry().at(0).tessellate();
  d.check = check_mesh(mesh);
  d.lo = d.hi = mesh.points.at(0);
  for (const Vec3& p : mesh.points) {
    d.lo = {std::min(d.lo.x, p.x), std::min(d.lo.y, p.y), std::min(d.lo.z, p.z)};
    d.hi = {std::max(d.hi.x, p.x), std::max(d.hi.y, p.y), std::max(d.hi.z, p.z)};
  }
  return d;
}

TEST(VspBody, EverySectionKindClosesWithItsArea) {
  const double pi = std::numbers::pi;
  struct Case {
    const char* what;
    int type;
    std::map<std::string, double> parms;
    double width, height, area, tolerance;
  };
  // 32 points around a circle enclose sin(pi/16) * 16 / pi of its area (0.9936).
  const double polygon = 16.0 * std::sin(pi / 16.0) / pi;
  const Case cases[] = {
      {"circle", 1, {{"Circle_Diameter", 2.0}}, 2.0, 2.0, pi * polygon, 1e-3},
      {"ellipse", 2, {{"Ellipse_Width", 2.0}, {"Ellipse_Height", 1.0}}, 2.0, 1.0, pi / 2.0 * polygon, 5e-3},
      {"super ellipse as ellipse", 3, {{"Super_Width", 2.0}, {"Super_Height", 1.0}, {"Super_M", 2.0}, {"Super_N", 2.0}},
       2.0, 1.0, pi / 2.0 * polygon, 5e-3},
      // |y|^4 + |z|^4 = 1 encloses 4 Gamma(5/4)^2 / Gamma(3/2) = 3.7081.
      {"squarish super ellipse", 3, {{"Super_Width", 2.0}, {"Super_Height", 2.0}, {"Super_M", 4.0}, {"Super_N", 4.0}},
       2.0, 2.0, 4 * std::pow(std::tgamma(1.25), 2) / std::tgamma(1.5), 2e-2},
      {"rounded rectangle", 4, {{"RoundedRect_Width", 2.0}, {"RoundedRect_Height", 1.0}, {"RoundRectXSec_Radius", 0.2}},
       2.0, 1.0, 2.0 - (4.0 - pi) * 0.04, 1.5e-2},  // chords cut the corners
      {"general fuselage curve", 5, {{"Width", 2.0}, {"Height", 1.0}}, 2.0, 1.0, pi / 2.0, 2e-2},
  };
  for (const Case& c : cases) {
    const Drawn d = draw(prism(c.type, c.parms));
    EXPECT_TRUE(d.check.watertight()) << c.what;
    EXPECT_NEAR(d.check.volume, 4.0 * c.area, 4.0 * c.area * c.tolerance) << c.what;
    EXPECT_NEAR(d.hi.y - d.lo.y, c.width, 1e-9) << c.what;
    EXPECT_NEAR(d.hi.z - d.lo.z, c.height, 1e-9) << c.what;
    EXPECT_NEAR(d.hi.x - d.lo.x, 4.0, 1e-9) << c.what;
  }
}

TEST(VspBody, PointSectionsCloseTheEnds) {
  std::string text = prism(1, {{"Circle_Diameter", 2.0}});
  // Nose and tail become points: the first and last curves lose their width.
  for (int k = 0; k < 2; ++k) {
    const auto at = k == 0 ? text.find("<Type>1</Type>") : text.rfind("<Type>1</Type>");
    text.replace(at, 14, "<Type>0</Type>");
  }
  const Drawn d = draw(text);
  EXPECT_TRUE(d.check.watertight());
  EXPECT_GT(d.check.volume, 0.0);
  EXPECT_LT(d.check.volume, 4.0 * std::numbers::pi);
}

TEST(VspBody, APodIsABodyOfRevolutionOfItsLengthAndFineness) {
  ModelText t;
  const std::string text =
      wrap("<Geom>" +
           t.container("Pod", t.group("Design", {{"Length", 6.0}, {"FineRatio", 4.0}}) +
                                  t.group("Shape", {{"Tess_U", 12}, {"Tess_W", 33}}) +
                                  t.group("XForm", {{"X_Rel_Location", 1.0}, {"Z_Rel_Location", -2.0}})) +
           "<GeomBase><TypeName>Pod</TypeName><TypeID>3</TypeID></GeomBase></Geom>");
  const Drawn d = draw(text);
  EXPECT_TRUE(d.check.watertight());
  EXPECT_NEAR(d.lo.x, 1.0, 1e-12);
  EXPECT_NEAR(d.hi.x, 7.0, 1e-12);
  EXPECT_NEAR(d.hi.y, 1.5, 1e-2);  // radius 6 / 4 at the widest station
  EXPECT_NEAR(d.hi.z, -0.5, 1e-2);
}

}  // namespace
}  // namespace orvanta::vsp
