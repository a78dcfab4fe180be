// Wing sizes that shape constraints bound: NACA sections against their closed-form
// thickness, nose radius and area, invariance under twist, and the response to CST changes.

#include "vsp/wing_measure.hpp"
#include "vsp_test_support.hpp"

#include <cmath>
#include <stdexcept>

namespace orvanta::vsp {
namespace {
using vsptest::load;
using vsptest::sample;

const Geom& wing_of(Model& m, const std::string& name) {
  const auto& data = m.data();
  return data.geoms.at(static_cast<size_t>(data.geom_index(m.find_geoms_with_name(name).at(0))));
}

// NACA 4-series half thickness at unit chord and thickness ratio t (open trailing edge form).
double naca_half_thickness(double t, double x) {
  return 5.0 * t * (0.2969 * std::sqrt(x) - 0.1260 * x - 0.3516 * x * x + 0.2843 * x * x * x - 0.1015 * x * x * x * x);
}

TEST(WingMeasure, NacaSectionsMatchTheirClosedForms) {
  Model m;
  load(m, sample("autoOpenVSP_fuselage_wing.vsp3"));  // NACA 0010, chords 4 and 1, span 9
  const WingMeasure w = measure_wing(m.data(), wing_of(m, "WingGeom"), {0.3, 0.6});
  ASSERT_EQ(w.sections.size(), 2u);
  const double chords[] = {4.0, 1.0};
  for (int i = 0; i < 2; ++i) {
    const WingSectionMeasure& s = w.sections[i];
    EXPECT_NEAR(s.chord, chords[i], 1e-12);
    EXPECT_NEAR(s.max_thickness, 0.1 * chords[i], 2e-3 * chords[i]);
    EXPECT_NEAR(s.le_radius, 1.1019 * 0.01 * chords[i], 0.02 * 1.1019 * 0.01 * chords[i]);
    EXPECT_NEAR(s.thickness[0], 2.0 * naca_half_thickness(0.1, 0.3) * chords[i], 2e-3 * chords[i]);
    EXPECT_NEAR(s.thickness[1], 2.0 * naca_half_thickness(0.1, 0.6) * chords[i], 2e-3 * chords[i]);
  }
  // Similar sections ruled linearly: area 0.685 t c^2 integrated over the span.
  const double expected = 0.685 * 0.1 * 9.0 * (16.0 + 4.0 + 1.0) / 3.0;
  EXPECT_NEAR(w.volume, expected, 0.01 * expected);
}

TEST(WingMeasure, TwistLeavesEverySizeAloneAndThickerCoefficientsThickenTheSection) {
  Model m;
  load(m, vsptest::packaged_model());
  const WingMeasure before = measure_wing(m.data(), wing_of(m, "Wing"));
  const std::string id = m.find_geoms_with_name("Wing").at(0);

  m.set_parm_value(m.find_parm(id, "Twist", "XSec_1"), -7.0);
  m.update();
  const WingMeasure twisted = measure_wing(m.data(), wing_of(m, "Wing"));
  // Ruling between sections twisted against each other pinches the panel a little.
  EXPECT_NEAR(twisted.volume, before.volume, 5e-3 * before.volume);
  for (size_t i = 0; i < before.sections.size(); ++i) {
    EXPECT_NEAR(twisted.sections[i].le_radius, before.sections[i].le_radius, 1e-12);
    for (size_t k = 0; k < before.stations.size(); ++k)
      EXPECT_NEAR(twisted.sections[i].thickness[k], before.sections[i].thickness[k], 1e-12);
  }

  // Raising the tip's first upper coefficient blunts its nose and thickens its front.
  const std::string au0 = m.find_parm(id, "Au_0", "UpperCoeff_1");
  m.set_parm_value(au0, *m.parm_value(au0) * 1.2);
  m.update();
  const WingMeasure blunter = measure_wing(m.data(), wing_of(m, "Wing"));
  EXPECT_GT(blunter.sections[1].le_radius, 1.1 * before.sections[1].le_radius);
  EXPECT_GT(blunter.sections[1].thickness[0], before.sections[1].thickness[0]);
  EXPECT_NEAR(blunter.sections[0].le_radius, before.sections[0].le_radius, 1e-12);
  EXPECT_GT(blunter.volume, before.volume);
}

TEST(WingMeasure, StationsOutsideTheChordAreRefused) {
  Model m;
  load(m, vsptest::packaged_model());
  EXPECT_THROW(measure_wing(m.data(), wing_of(m, "Wing"), {0.0}), std::invalid_argument);
  EXPECT_THROW(measure_wing(m.data(), wing_of(m, "Wing"), {0.5, 1.0}), std::invalid_argument);
}

}  // namespace
}  // namespace orvanta::vsp
