// The packaged aircraft through the design-variable code with the real engine: every
// configured variable resolves, and values written through it reach the geometry.

#include "host/base/errors.hpp"
#include "host/base/paths.hpp"
#include "host/openvsp/engine_api.hpp"
#include "host/openvsp/provider.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "src/design_vars/design_vars.hpp"
#include "vsp_test_support.hpp"

#include <filesystem>

namespace orvanta {
namespace {
namespace fs = std::filesystem;

class PackagedModel : public ::testing::Test {
 protected:
  openvsp::ScopedProvider engine_{openvsp::engine_provider()};
};

TEST_F(PackagedModel, EveryDesignVariableResolvesToItsBaseline) {
  const Json info = load_vsp_design_var_input_info();
  const Json config = read_design_var_config((asset_package_dir("aircraft_assets") / "vsp_design_vars.json").string());
  size_t entries = 0;
  for (const auto& [component, groups] : config.items())
    for (const auto& [group, variables] : groups.items()) entries += variables.size();
  EXPECT_EQ(info.size(), entries);

  const Json& au = info.at("Wing:UpperCoeff:Au");
  EXPECT_EQ(au.at("type"), "list[float]");
  const std::vector<double> upper = au.at("default").get<std::vector<double>>();
  ASSERT_EQ(upper.size(), 24u);  // six per section, four sections
  EXPECT_DOUBLE_EQ(upper[0], 0.1945);   // root Au_0
  EXPECT_DOUBLE_EQ(upper[18], 0.1781);  // tip Au_0
  EXPECT_DOUBLE_EQ(upper[23], 0.1913);  // tip Au_5
  // The inner station (a third of the span, chord 1.6) carries the blend of root and tip that
  // the straight-tapered wing had there: weights by chord, 5/6 root and 1/6 tip.
  EXPECT_NEAR(upper[6], (5 * 0.1945 + 0.1781) / 6, 1e-12);
  EXPECT_EQ(info.at("Wing:LowerCoeff:Al").at("default").size(), 24u);
  for (const auto& [key, value] : std::vector<std::pair<std::string, double>>{{"Wing:XSec_1:Span", 2.0},
                                                                              {"Wing:XSec_1:Root_Chord", 2.0},
                                                                              {"Wing:XSec_1:Tip_Chord", 1.6},
                                                                              {"Wing:XSec_1:Sweep", 22.0},
                                                                              {"Wing:XSec_1:Dihedral", 4.0},
                                                                              {"Wing:XSec_1:Twist", -2.0 / 3},
                                                                              {"Wing:XSec_2:Twist", -4.0 / 3},
                                                                              {"Wing:XSec_3:Twist", -2.0}}) {
    EXPECT_EQ(info.at(key).at("type"), "float") << key;
    EXPECT_DOUBLE_EQ(info.at(key).at("default").get<double>(), value) << key;
  }
}

TEST_F(PackagedModel, AppliedValuesReachTheSavedModelAndItsPlanform) {
  vsp::vsptest::TempDir dir;
  const std::string model = dir.path("aircraft.vsp3");
  fs::copy_file(vsp::vsptest::packaged_model(), model);
  const std::string config = (asset_package_dir("aircraft_assets") / "vsp_design_vars.json").string();
  Json inputs = Json::object();
  inputs["Wing:XSec_1:Span"] = 7.0;
  inputs["Wing:XSec_1:Root_Chord"] = 2.2;
  inputs["Wing:UpperCoeff:Au"] = 0.2;
  EXPECT_EQ(apply_vsp_design_var_inputs(config, model, inputs), 26);

  const Json after = load_vsp_design_var_input_info(config, model);
  EXPECT_EQ(after.at("Wing:XSec_1:Span").at("default"), 7.0);
  for (double v : after.at("Wing:UpperCoeff:Au").at("default").get<std::vector<double>>()) EXPECT_EQ(v, 0.2);
  const Json r = read_vsp_reference_geometry(model);
  // The inner panel grows; the two outboard panels (chords 1.6 -> 1.2 -> 0.8, 2 m each) keep theirs.
  EXPECT_NEAR(r.at("reference_area").get<double>(), 2 * (7.0 * (2.2 + 1.6) + 2.0 * (1.6 + 1.2) + 2.0 * (1.2 + 0.8)) / 2,
              1e-12);
  EXPECT_NEAR(r.at("root_chord").get<double>(), 2.2, 1e-12);  // the root section follows its neighbour
}

}  // namespace
}  // namespace orvanta
