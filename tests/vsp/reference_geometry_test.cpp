// Reference geometry of a wing: the values the samples' documentation gives, and the
// messages for models without exactly one such wing.

#include "host/base/errors.hpp"
#include "host/openvsp/api.hpp"
#include "host/openvsp/engine_api.hpp"
#include "host/openvsp/provider.hpp"
#include "host/openvsp/reference_geometry.hpp"
#include "vsp_test_support.hpp"

#include <cmath>
#include <numbers>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvanta {
namespace {
using vsp::vsptest::sample;

TEST(ReferenceGeometry, SamplesGiveTheDocumentedValues) {
  struct Case {
    std::string file, wing;
    double area, mac, span, root, tip;
  };
  for (const Case& c : {Case{sample("openvsp_test_wing.vsp3"), "Wing", 78.0, 2.11282, 40.0, 3.0, 1.0},
                        Case{sample("openvsp_TR1208_file_airfoil.vsp3"), "WingGeom", 1538.217, 12.667, 127.26, 16.672, 7.5024},
                        Case{sample("autoOpenVSP_fuselage_wing.vsp3"), "WingGeom", 45.0, 2.8, 18.0, 4.0, 1.0},
                        Case{vsp::vsptest::packaged_model(), "Wing", 16.8, 1.48571, 12.0, 2.0, 0.8}}) {
    const Json r = read_vsp_reference_geometry(c.file, c.wing);
    EXPECT_NEAR(r.at("reference_area").get<double>(), c.area, 1e-3) << c.file;
    EXPECT_NEAR(r.at("reference_length").get<double>(), c.mac, 1e-3) << c.file;
    EXPECT_NEAR(r.at("reference_span").get<double>(), c.span, 1e-9) << c.file;
    EXPECT_NEAR(r.at("root_chord").get<double>(), c.root, 1e-9) << c.file;
    EXPECT_NEAR(r.at("tip_chord").get<double>(), c.tip, 1e-9) << c.file;
    EXPECT_NEAR(r.at("aspect_ratio").get<double>(), c.span * c.span / c.area, 1e-3) << c.file;
  }
  EXPECT_NEAR(read_vsp_reference_geometry(sample("openvsp_test_wing.vsp3")).at("reference_length").get<double>(),
              2.11282, 1e-5);
}

TEST(ReferenceGeometry, MacPositionAndSweepsFollowThePlanform) {
  // TR1208: one trapezoid swept 45 degrees at the quarter chord; the MAC's leading edge lies
  // at the spanwise station b/6 (1 + 2 taper) / (1 + taper) on the straight leading edge.
  const Json tr = read_vsp_reference_geometry(sample("openvsp_TR1208_file_airfoil.vsp3"), "WingGeom");
  EXPECT_NEAR(tr.at("quarter_chord_sweep_deg").get<double>(), 45.0, 1e-9);
  const double taper = 0.45, b = 63.63;
  const double y = b / 3.0 * (1 + 2 * taper) / (1 + taper);
  EXPECT_NEAR(tr.at("mac_y").get<double>(), y, 1e-9);
  const double tip_le_x = 65.9224;  // from the sweep at 25 % and the chords (README of the samples)
  EXPECT_NEAR(tr.at("mac_le_x").get<double>(), tip_le_x * y / b, 1e-3);
  EXPECT_NEAR(tr.at("le_sweep_deg").get<double>(), std::atan(tip_le_x / b) * 180 / std::numbers::pi, 1e-4);
  EXPECT_NEAR(tr.at("taper_ratio").get<double>(), taper, 1e-12);

  // The packaged wing sits at x = 4.3, z = -0.45 with 4 degrees of dihedral.
  const Json ac = read_vsp_reference_geometry(vsp::vsptest::packaged_model());
  const double ya = 6.0 / 3.0 * (1 + 2 * 0.4) / 1.4;
  EXPECT_NEAR(ac.at("mac_y").get<double>(), ya * std::cos(4 * std::numbers::pi / 180), 1e-9);
  EXPECT_NEAR(ac.at("mac_le_x").get<double>(), 4.3 + ya * std::tan(22 * std::numbers::pi / 180), 1e-9);
  EXPECT_NEAR(ac.at("mac_le_z").get<double>(), -0.45 + ya * std::sin(4 * std::numbers::pi / 180), 1e-9);
}

TEST(ReferenceGeometry, NeedsExactlyOneWingOfThatName) {
  const std::string missing = (std::filesystem::current_path() / "no_such_model.vsp3").string();
  try {
    read_vsp_reference_geometry("no_such_model.vsp3");
    FAIL();
  } catch (const FileNotFoundError& e) {
    EXPECT_EQ(std::string(e.what()), "OpenVSP file was not found: " + missing);
  }
  try {
    read_vsp_reference_geometry(sample("autoOpenVSP_fuselage_wing.vsp3"));
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::string(e.what()), "Expected exactly one OpenVSP component named `Wing`, found 0.");
  }
  try {
    read_vsp_reference_geometry(sample("autoOpenVSP_fuselage_wing.vsp3"), "FuselageGeom");
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::string(e.what()),
              "OpenVSP component `FuselageGeom` is a Fuselage component, not a wing; the reference geometry is "
              "measured on a wing.");
  }
  // Two components of one name.
  std::ifstream in(sample("autoOpenVSP_fuselage_wing.vsp3"));
  std::stringstream text;
  text << in.rdbuf();
  std::string twice = text.str();
  twice.replace(twice.find("<Name>FuselageGeom</Name>"), 25, "<Name>WingGeom</Name>");
  vsp::vsptest::TempDir dir;
  std::ofstream(dir.path("twice.vsp3")) << twice;
  try {
    read_vsp_reference_geometry(dir.path("twice.vsp3"), "WingGeom");
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::string(e.what()), "Expected exactly one OpenVSP component named `WingGeom`, found 2.");
  }
  std::ofstream(dir.path("broken.vsp3")) << "<Vsp_Geometry>";
  EXPECT_THROW(read_vsp_reference_geometry(dir.path("broken.vsp3")), GeometryError);
}

TEST(ReferenceGeometry, LeavesTheProcessWideModelAlone) {
  openvsp::ScopedProvider engine(openvsp::engine_provider());
  openvsp::OpenVspApi& api = openvsp::obtain_api();
  api.ClearVSPModel();
  api.ReadVSPFile(sample("autoOpenVSP_fuselage_wing.vsp3"));
  ASSERT_EQ(api.GetNumTotalErrors(), 0);
  read_vsp_reference_geometry(sample("openvsp_test_wing.vsp3"));
  EXPECT_EQ(api.FindGeomsWithName("FuselageGeom").size(), 1u);
  EXPECT_TRUE(api.FindGeomsWithName("Wing").empty());
  api.ClearVSPModel();
}

}  // namespace
}  // namespace orvanta
