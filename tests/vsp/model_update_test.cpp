// Update: derived planform values against what OpenVSP stored in real files, and the way
// edits propagate between neighbouring cross-sections.

#include "vsp/wing_planform.hpp"
#include "vsp_test_support.hpp"

#include <pugixml.hpp>

#include <cmath>
#include <iostream>
#include <map>
#include <set>

namespace orvanta::vsp {
namespace {
using vsptest::load;
using vsptest::parm;
using vsptest::sample;

// The values a file stores, by parameter id, read without the engine.
std::map<std::string, double> stored_values(const std::string& path) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(path.c_str()));
  std::map<std::string, double> values;
  for (const auto& x : doc.select_nodes("//*[@Value and @ID]"))
    values[x.node().attribute("ID").value()] = x.node().attribute("Value").as_double();
  return values;
}

bool is_derived(const ModelData& d, const Parm& p) {
  static const std::set<std::string, std::less<>> section = {"Area",      "Aspect",     "Avg_Chord", "Taper",
                                                "Root_Chord", "Tip_Chord", "Sec_Sweep", "ProjectedSpan"};
  static const std::set<std::string, std::less<>> totals = {"TotalSpan", "TotalProjectedSpan", "TotalArea",
                                               "TotalChord", "TotalAR", "MAC"};
  const ParmContainer& c = d.containers[p.container];
  if (c.geom < 0 || d.geoms[c.geom].type_name != "Wing") return false;
  if (c.role == ContainerRole::kXSec) return section.count(p.name) && !(p.name == "ProjectedSpan" && c.xsec == 0);
  if (c.role == ContainerRole::kGeom) return p.group == "WingGeom" && totals.count(p.name);
  if (c.role == ContainerRole::kXSecCurve) return p.name == "Chord";
  return false;
}

TEST(VspUpdate, RecomputedValuesMatchWhatOpenVspStored) {
  double worst = 0.0;
  std::string worst_where;
  for (const std::string& file : {sample("openvsp_test_wing.vsp3"), sample("openvsp_TR1208_file_airfoil.vsp3"),
                                  sample("autoOpenVSP_fuselage_wing.vsp3")}) {
    const auto stored = stored_values(file);
    Model m;
    load(m, file);  // reading updates the model
    m.update();
    const ModelData& d = m.data();
    int compared = 0;
    for (const Parm& p : d.parms) {
      if (!is_derived(d, p)) continue;
      const double expected = stored.at(std::string(p.id));
      const double rel = std::abs(p.value - expected) / std::max(std::abs(expected), 1e-3);
      EXPECT_LT(rel, 1e-12) << file << " " << p.path() << ": " << p.value << " vs " << expected;
      if (rel > worst) worst = rel, worst_where = file + " " + p.path();
      ++compared;
    }
    EXPECT_GT(compared, 20) << file;
  }
  std::cout << "worst relative difference of recomputed planform values: " << worst << " (" << worst_where << ")\n";
  ::testing::Test::RecordProperty("worst_relative_difference", std::to_string(worst));
}

TEST(VspUpdate, AChangedRootChordReachesBothNeighbours) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));  // XSec_1 drivers: span, taper 0.8, root chord
  const std::string wing = m.find_geoms_with_name("Wing")[0];
  m.set_parm_value(m.find_parm(wing, "Root_Chord", "XSec_1"), 3.5);
  m.update();
  ASSERT_TRUE(m.errors().empty()) << vsptest::queued(m);
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_0", "Tip_Chord"), 3.5);   // the wing's root airfoil follows
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_1", "Tip_Chord"), 2.8);   // taper drives
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_2", "Root_Chord"), 2.8);  // outboard panel follows
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_2", "Tip_Chord"), 1.0);   // and keeps its tip
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_2", "Area"), 15.0 * 1.9);
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSecCurve_0", "Chord"), 3.5);
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "WingGeom", "TotalArea"), 2.0 * (5.0 * 3.15 + 15.0 * 1.9));
}

TEST(VspUpdate, SettingAFollowingValueHasNoLastingEffect) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const std::string wing = m.find_geoms_with_name("Wing")[0];
  m.set_parm_value(m.find_parm(wing, "Area", "XSec_2"), 100.0);      // drivers are span, root, tip
  m.set_parm_value(m.find_parm(wing, "TotalArea", "WingGeom"), 1.0);  // totals are outputs
  m.update();
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_2", "Area"), 25.5);
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "WingGeom", "TotalArea"), 78.0);
}

TEST(VspUpdate, TheLatestEditWinsAChordTwoSectionsShare) {
  for (bool taper_last : {true, false}) {
    Model m;
    load(m, sample("openvsp_test_wing.vsp3"));
    const std::string wing = m.find_geoms_with_name("Wing")[0];
    const std::string taper = m.find_parm(wing, "Taper", "XSec_1"), root2 = m.find_parm(wing, "Root_Chord", "XSec_2");
    if (taper_last) m.set_parm_value(root2, 2.0);
    m.set_parm_value(taper, 0.9);
    if (!taper_last) m.set_parm_value(root2, 2.0);
    m.update();
    const double shared = taper_last ? 2.7 : 2.0;
    EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_1", "Tip_Chord"), shared) << taper_last;
    EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_2", "Root_Chord"), shared) << taper_last;
    EXPECT_DOUBLE_EQ(parm(m, "Wing", "XSec_1", "Taper"), shared / 3.0) << taper_last;
  }
}

TEST(VspUpdate, EveryValidDriverGroupDeterminesThePanel) {
  Panel truth;
  truth.v[kSpan] = 10.0, truth.v[kRootChord] = 4.0, truth.v[kTipChord] = 1.5;
  truth.sweep = 30.0, truth.sweep_location = 0.0, truth.sec_sweep_location = 1.0;
  truth.drivers = default_drivers();
  solve_panel(truth, "reference");
  int valid = 0;
  for (int a = 0; a < kPlanformVars; ++a)
    for (int b = a + 1; b < kPlanformVars; ++b)
      for (int c = b + 1; c < kPlanformVars; ++c) {
        Panel p = truth;
        p.drivers = {a, b, c};
        if (!valid_drivers(p.drivers)) {
          EXPECT_THROW(solve_panel(p, "invalid"), PlanformError);
          continue;
        }
        ++valid;
        // Start from a different planform: only the drivers' values may lead back.
        const Panel start = [&] {
          Panel q;
          q.v[kSpan] = 7.0, q.v[kRootChord] = 2.0, q.v[kTipChord] = 2.5;
          return q;
        }();
        for (int k = 0; k < kPlanformVars; ++k)
          if (k != a && k != b && k != c) p.v[k] = start.v[k];
        solve_panel(p, "panel");
        for (int k = 0; k < kPlanformVars; ++k)
          EXPECT_NEAR(p.v[k], truth.v[k], 1e-9 * std::max(1.0, std::abs(truth.v[k])))
              << planform_var_name(a) << "," << planform_var_name(b) << "," << planform_var_name(c) << " -> "
              << planform_var_name(k);
      }
  EXPECT_EQ(valid, 39);
}

TEST(VspUpdate, ChangedScaleRescalesThePlanformOnce) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const std::string wing = m.find_geoms_with_name("Wing")[0];
  m.set_parm_value(m.find_parm(wing, "Scale", "XForm"), 2.0);
  m.update();
  m.update();
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "WingGeom", "TotalSpan"), 80.0);
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "WingGeom", "TotalArea"), 312.0);
  EXPECT_DOUBLE_EQ(parm(m, "Wing", "XForm", "Last_Scale"), 2.0);
}

TEST(VspUpdate, CstThicknessFollowsTheCoefficients) {
  Model m;
  load(m, vsptest::packaged_model());
  EXPECT_NEAR(parm(m, "Wing", "XSecCurve_0", "ThickChord"), 0.12, 5e-4);
  EXPECT_NEAR(parm(m, "Wing", "XSecCurve_3", "ThickChord"), 0.11, 5e-4);  // the tip
  const std::string wing = m.find_geoms_with_name("Wing")[0];
  // Adding d to every coefficient of one side adds d * sqrt(x)(1 - x) to it; the thickest
  // point moves little, so t/c grows by close to d * max(sqrt(x)(1 - x)) = d * 0.3849.
  const double before = parm(m, "Wing", "XSecCurve_0", "ThickChord");
  for (int i = 0; i <= 5; ++i) {
    const std::string id = m.find_parm(wing, "Au_" + std::to_string(i), "UpperCoeff_0");
    m.set_parm_value(id, *m.parm_value(id) + 0.02);
  }
  m.update();
  EXPECT_NEAR(parm(m, "Wing", "XSecCurve_0", "ThickChord") - before, 0.02 * 0.3849, 1e-3);
  EXPECT_NEAR(parm(m, "Wing", "XSecCurve_3", "ThickChord"), 0.11, 5e-4);  // the tip keeps its own
}

}  // namespace
}  // namespace orvanta::vsp
