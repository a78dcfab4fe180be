// Locating mesh points on the model's surfaces and moving them with a changed design: points
// on or near a surface come back with the parameters they were made at, the thin trailing
// edge does not confuse the two sides, and displacements follow the changed parameters and
// leave untouched components exactly where they were.

#include "vsp/geometry_error.hpp"
#include "vsp/surface_locator.hpp"
#include "vsp_test_support.hpp"

#include <cmath>

namespace orvanta::vsp {
namespace {
using vsptest::load;

const ComponentGeometry& component(const std::vector<ComponentGeometry>& all, const std::string& name) {
  for (const auto& c : all)
    if (c.name == name) return c;
  throw std::runtime_error("no component " + name);
}

// Outward-ish normal from the parameter derivatives, for moving points off the surface.
Vec3 normal_at(const ComponentGeometry& c, int copy, double u, double w) {
  const double h = 1e-5;
  const Vec3 su = c.point(copy, u + h, w) - c.point(copy, u - h, w);
  const Vec3 sw = c.point(copy, u, w + h) - c.point(copy, u, w - h);
  return normalized(cross(su, sw));
}

struct Probe {
  const char* component;
  int copy;
  double u, w;
};

// Away from the seams (trailing edge, nose poles) where several parameters give one point.
const Probe kProbes[] = {
    {"Wing", 0, 1.3, 0.7},  {"Wing", 0, 1.8, 2.0},   {"Wing", 0, 1.5, 3.3},  {"Wing", 1, 1.6, 1.2},
    {"Wing", 0, 1.05, 3.9}, {"Wing", 0, 1.95, 0.08}, {"Fuselage", 0, 2.5, 1.0}, {"Fuselage", 0, 4.2, 3.1},
    {"Fuselage", 0, 3.3, 0.4},
};

class LocatorOnPackagedModel : public ::testing::Test {
 protected:
  void SetUp() override {
    load(model_, vsptest::packaged_model());
    geometry_ = model_.geometry();
  }
  Model model_;
  std::vector<ComponentGeometry> geometry_;
};

TEST_F(LocatorOnPackagedModel, PointsOnAndNearTheSurfaceComeBackWithTheirParameters) {
  const SurfaceLocator locator(geometry_);
  for (const Probe& probe : kProbes) {
    const ComponentGeometry& c = component(geometry_, probe.component);
    const Vec3 on = c.point(probe.copy, probe.u, probe.w);
    for (double offset : {0.0, 2e-3, -1e-3}) {
      const Vec3 p = on + offset * normal_at(c, probe.copy, probe.u, probe.w);
      const SurfaceLocation l = locator.locate(p);
      SCOPED_TRACE(std::string(probe.component) + " u=" + std::to_string(probe.u) + " w=" + std::to_string(probe.w) +
                   " offset=" + std::to_string(offset));
      EXPECT_EQ(l.component, probe.component);
      EXPECT_EQ(l.copy, probe.copy);
      EXPECT_NEAR(l.distance, std::abs(offset), 1e-7);
      EXPECT_LT(norm(c.point(l.copy, l.u, l.w) - on), 1e-6);
    }
  }
}

TEST_F(LocatorOnPackagedModel, UpperAndLowerSidesNearTheTrailingEdgeStayApart) {
  const SurfaceLocator locator(geometry_);
  const ComponentGeometry& wing = component(geometry_, "Wing");
  // A tenth of a percent of chord from the trailing edge the sides are fractions of a
  // millimetre apart, far closer than the search triangulation's samples.
  for (double w : {0.002, 3.998}) {
    const SurfaceLocation l = locator.locate(wing.point(0, 1.5, w));
    EXPECT_EQ(l.component, "Wing");
    EXPECT_EQ(l.w > 2.0, w > 2.0) << "w=" << w << " located at " << l.w;
    EXPECT_LT(l.distance, 1e-7);
  }
}

TEST_F(LocatorOnPackagedModel, DisplacementsFollowTheChangedParametersAndSpareOtherComponents) {
  const SurfaceLocator locator(geometry_);
  std::vector<SurfaceLocation> at;
  for (const Probe& probe : kProbes)
    at.push_back(locator.locate(component(geometry_, probe.component).point(probe.copy, probe.u, probe.w)));

  const auto unchanged = surface_displacements(at, geometry_, model_.geometry());
  for (const Vec3& d : unchanged) EXPECT_EQ(norm(d), 0.0);

  Model changed;
  load(changed, vsptest::packaged_model());
  const std::string wing = changed.find_geoms_with_name("Wing").at(0);
  changed.set_parm_value(changed.find_parm(wing, "Twist", "XSec_1"), -6.0);
  changed.update();
  const auto after = changed.geometry();
  const auto moved = surface_displacements(at, geometry_, after);
  ASSERT_EQ(moved.size(), at.size());
  for (size_t k = 0; k < at.size(); ++k) {
    const Vec3 expected = component(after, at[k].component).point(at[k].copy, at[k].u, at[k].w) -
                          component(geometry_, at[k].component).point(at[k].copy, at[k].u, at[k].w);
    EXPECT_LT(norm(moved[k] - expected), 1e-12);
    if (at[k].component == "Fuselage") EXPECT_EQ(norm(moved[k]), 0.0);
  }
  // More twist at the tip moves tip points more than root points.
  EXPECT_GT(norm(moved[1]), norm(moved[4]));
  EXPECT_GT(norm(moved[1]), 1e-3);
}

TEST_F(LocatorOnPackagedModel, LocationsNamingAbsentComponentsAreRefused) {
  std::vector<SurfaceLocation> at = {{"Tail", 0, 1.0, 1.0, 0.0}};
  EXPECT_THROW(surface_displacements(at, geometry_, geometry_), GeometryBuildError);
  at = {{"Wing", 7, 1.0, 1.0, 0.0}};
  EXPECT_THROW(surface_displacements(at, geometry_, geometry_), GeometryBuildError);
  auto twice = geometry_;
  twice.push_back(geometry_.front());
  EXPECT_THROW(SurfaceLocator{twice}, GeometryBuildError);
}

TEST(SurfaceRefinement, BodiesWrapAroundTheirSectionsAndWingsStopAtTheirEnds) {
  Model m;
  load(m, vsptest::packaged_model());
  const auto geometry = m.geometry();
  const ComponentGeometry& body = component(geometry, "Fuselage");
  // Started on the far side of the w = 0 seam, the search crosses it.
  const Vec3 target = body.point(0, 3.0, 3.97);
  double u = 3.0, w = 0.05;
  refine_location(body, 0, target, u, w);
  EXPECT_LT(norm(body.point(0, u, w) - target), 1e-7);
  EXPECT_NEAR(w, 3.97, 1e-5);

  const ComponentGeometry& wing = component(geometry, "Wing");
  const Vec3 behind = wing.point(0, 1.5, 0.0) + Vec3{0.3, 0.0, 0.0};
  u = 1.5, w = 0.3;
  refine_location(wing, 0, behind, u, w);
  EXPECT_GE(w, 0.0);
  EXPECT_LE(w, 4.0);
}

}  // namespace
}  // namespace orvanta::vsp
