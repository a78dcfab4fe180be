// Reading real .vsp3 files and looking parameters up the way the design-variable code does.

#include "vsp_test_support.hpp"

#include <fstream>
#include <sstream>

namespace orvanta::vsp {
namespace {
using vsptest::load;
using vsptest::parm;
using vsptest::sample;

std::string text_of(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

struct ExpectedComponent {
  std::string name, type;
  std::vector<int> curves;
};

TEST(VspRead, SampleFilesGiveTheirComponentsAndCurves) {
  const std::vector<std::pair<std::string, std::vector<ExpectedComponent>>> cases = {
      {sample("openvsp_test_wing.vsp3"), {{"Wing", "Wing", {7, 7, 7}}}},
      {sample("openvsp_TR1208_file_airfoil.vsp3"), {{"WingGeom", "Wing", {12, 12}}}},
      {sample("autoOpenVSP_fuselage_wing.vsp3"),
       {{"FuselageGeom", "Fuselage", {0, 2, 2, 2, 0}}, {"WingGeom", "Wing", {7, 7}}}},
      {vsptest::packaged_model(), {{"Fuselage", "Fuselage", {0, 2, 2, 2, 2, 0}}, {"Wing", "Wing", {13, 13, 13, 13}}}},
  };
  for (const auto& [file, expected] : cases) {
    Model m;
    load(m, file);
    const ModelData& d = m.data();
    ASSERT_EQ(d.geoms.size(), expected.size()) << file;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(d.geom_name(d.geoms[i]), expected[i].name) << file;
      EXPECT_EQ(d.geoms[i].type_name, expected[i].type) << file;
      std::vector<int> curves;
      for (const auto& x : d.geoms[i].xsecs) curves.push_back(x.curve.type);
      EXPECT_EQ(curves, expected[i].curves) << file;
    }
  }
  Model tr;
  load(tr, sample("openvsp_TR1208_file_airfoil.vsp3"));
  const auto& curve = tr.data().geoms[0].xsecs[1].curve;
  ASSERT_EQ(curve.upper_points.size(), 23u);
  EXPECT_DOUBLE_EQ(curve.upper_points[1].x, 4.999999888241291046e-03);
  EXPECT_DOUBLE_EQ(curve.lower_points[1].y, -9.730000048875808716e-03);
}

TEST(VspLookup, FindsParametersByDisplayGroupAndCrossSection) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const auto wings = m.find_geoms_with_name("Wing");
  ASSERT_EQ(wings.size(), 1u);
  EXPECT_EQ(wings[0], "QSUHFYQZWT");  // the file's own id survives reading
  const std::string surf = m.xsec_surf(wings[0], 0);
  EXPECT_EQ(surf, "JBTPDXSBTI");
  const std::string xsec1 = m.xsec(surf, 1);
  EXPECT_FALSE(xsec1.empty());
  EXPECT_EQ(m.parm_value(m.xsec_parm(xsec1, "Span")), 5.0);
  EXPECT_EQ(m.parm_value(m.xsec_parm(xsec1, "Dihedral")), 5.0);
  // Not in the cross-section itself: found in its curve.
  EXPECT_DOUBLE_EQ(*m.parm_value(m.xsec_parm(xsec1, "ThickChord")), 0.12);
  EXPECT_DOUBLE_EQ(*m.parm_value(m.xsec_parm(m.xsec(surf, 2), "Camber")), 0.0);

  EXPECT_EQ(parm(m, "Wing", "XSec_2", "Span"), 15.0);
  EXPECT_EQ(parm(m, "Wing", "XSec_2", "Twist"), -5.0);
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSecCurve_2", "ThickChord"), 0.1);
  EXPECT_EQ(parm(m, "Wing", "WingGeom", "TotalArea"), 78.0);
  EXPECT_EQ(parm(m, "Wing", "XForm", "X_Rel_Location"), 0.0);
  EXPECT_EQ(parm(m, "Wing", "Sym", "Sym_Planar_Flag"), 2.0);

  Model packaged;
  load(packaged, vsptest::packaged_model());
  EXPECT_DOUBLE_EQ(parm(packaged, "Wing", "UpperCoeff_0", "Au_0"), 0.1945);
  EXPECT_DOUBLE_EQ(parm(packaged, "Wing", "UpperCoeff_3", "Au_5"), 0.1913);  // the tip
  EXPECT_DOUBLE_EQ(parm(packaged, "Wing", "LowerCoeff_3", "Al_2"), -0.0846);
  EXPECT_TRUE(m.errors().empty());
}

TEST(VspLookup, AbsentThingsGiveEmptyIdsWithoutQueuedErrors) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const std::string wing = m.find_geoms_with_name("Wing").at(0);
  const std::string surf = m.xsec_surf(wing, 0);
  EXPECT_TRUE(m.find_geoms_with_name("wing").empty());  // names compare case-sensitively
  EXPECT_TRUE(m.find_geoms_with_name("").empty());
  EXPECT_EQ(m.xsec_surf(wing, 1), "");
  EXPECT_EQ(m.xsec_surf("NOSUCHGEOM", 0), "");
  EXPECT_EQ(m.xsec_surf(surf, 0), "");  // a surface is not a component
  EXPECT_EQ(m.xsec(surf, 3), "");
  EXPECT_EQ(m.xsec(surf, -1), "");
  EXPECT_EQ(m.xsec(wing, 0), "");
  EXPECT_EQ(m.xsec_parm(m.xsec(surf, 1), "NoSuchParm"), "");
  EXPECT_EQ(m.xsec_parm("", "Span"), "");
  for (const char* group : {"XSec_3", "XSec_", "XSec", "XSec_1a", "xsec_1", "XSec_-1", "Nope", ""})
    EXPECT_EQ(m.find_parm(wing, "Span", group), "") << group;
  EXPECT_EQ(m.find_parm(wing, "Au_0", "UpperCoeff_0"), "");  // a 4-series curve has no CST coefficients
  EXPECT_EQ(m.find_parm(wing, "NoSuchParm", "XForm"), "");
  EXPECT_FALSE(m.parm_value("NOSUCHPARMID").has_value());
  EXPECT_TRUE(m.errors().empty()) << vsptest::queued(m);

  m.clear();
  EXPECT_TRUE(m.empty());
  EXPECT_TRUE(m.find_geoms_with_name("Wing").empty());
  EXPECT_EQ(m.xsec_surf(wing, 0), "");
}

TEST(VspRead, ValuesAreClampedToTheirLimitsAndCountsRounded) {
  std::string text = text_of(sample("openvsp_test_wing.vsp3"));
  text = replaced(text, R"(<Sweep Value="1.500000000000000000e+01" ID="KSJZXGGGHVP"/>)",
                  R"(<Sweep Value="95" ID="KSJZXGGGHVP"/>)");
  text = replaced(text, R"(<SectTess_U Value="1.600000000000000000e+01")", R"(<SectTess_U Value="16.4")");
  Model m;
  ASSERT_TRUE(m.read_text(text, "edited wing")) << vsptest::queued(m);
  EXPECT_EQ(parm(m, "Wing", "XSec_2", "Sweep"), 89.0);
  EXPECT_EQ(parm(m, "Wing", "XSec_2", "SectTess_U"), 16.0);

  const std::string wing = m.find_geoms_with_name("Wing")[0];
  EXPECT_EQ(m.set_parm_value(m.find_parm(wing, "ThickChord", "XSecCurve_1"), 2.0), 1.0);
  EXPECT_EQ(m.set_parm_value(m.find_parm(wing, "Span", "XSec_1"), -3.0), 1e-10);
  EXPECT_EQ(m.set_parm_value(m.find_parm(wing, "Tess_W", "Shape"), 40.6), 41.0);
  EXPECT_EQ(m.set_parm_value(m.find_parm(wing, "X_Rel_Location", "XForm"), -1234.5), -1234.5);
}

TEST(VspRead, DuplicateIdsAreReplacedConsistently) {
  // Two parameters sharing one id: the second gets a fresh id, in memory and in a written file.
  std::string text = text_of(sample("openvsp_test_wing.vsp3"));
  text = replaced(text, R"(ID="FZERGKWACDX")", R"(ID="KSJZXGGGHVP")");  // tip Twist takes tip Sweep's id
  Model m;
  ASSERT_TRUE(m.read_text(text, "duplicated ids")) << vsptest::queued(m);
  const std::string wing = m.find_geoms_with_name("Wing")[0];
  const std::string sweep = m.find_parm(wing, "Sweep", "XSec_2"), twist = m.find_parm(wing, "Twist", "XSec_2");
  EXPECT_EQ(sweep, "KSJZXGGGHVP");
  EXPECT_NE(twist, sweep);
  EXPECT_EQ(twist.size(), 11u);
  EXPECT_EQ(m.parm_value(twist), -5.0);
  vsptest::TempDir dir;
  ASSERT_TRUE(m.write_file(dir.path("w.vsp3")));
  Model again;
  load(again, dir.path("w.vsp3"));
  EXPECT_EQ(again.find_parm(again.find_geoms_with_name("Wing")[0], "Twist", "XSec_2"), twist);
}

}  // namespace
}  // namespace orvanta::vsp
