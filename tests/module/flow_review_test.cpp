#include "host/base/errors.hpp"
#include "module/skill_fixture.hpp"
#include "src/aircraft_run_cfd_simulation/cfd_skill.hpp"
#include "src/flow_case/flow_review.hpp"
#include "src/flow_case/plot_commands.hpp"

#include <gtest/gtest.h>

namespace orvanta {
namespace {
namespace fs = std::filesystem;
using FlowReview = testing::SkillTest<AircraftRunCFDSimulation>;
using Names = std::vector<std::string>;

TEST(Grade, AFailOutranksWarningsAndLaterWarningsAreNotNoted) {
  Grade g;
  g.warn("w1");
  g.warn("w2");  // a second warning while already warning is dropped too
  EXPECT_EQ(g.status, "warning");
  g.fail("f1");
  g.warn("w3");
  g.fail("f2");
  EXPECT_EQ(g.status, "fail");
  EXPECT_EQ(g.notes, (Names{"w1", "f1", "f2"}));
}

TEST(WeakestDrop, SkipsNullsAndReadsEachDropThroughTheGivenConversion) {
  const auto as_real = [](const Json& d) { return to_real(d); };
  EXPECT_EQ(weakest_drop(Json{{"p", 3.5}, {"Ux", nullptr}, {"Uy", 2.25}}, as_real), 2.25);
  EXPECT_FALSE(weakest_drop(Json{{"p", nullptr}}, as_real).has_value());
  EXPECT_FALSE(weakest_drop(Json::object(), as_real).has_value());
  const auto strict = [](const Json& d) -> double {
    if (!d.is_number()) throw TypeError("not a number");
    return d.get<double>();
  };
  EXPECT_THROW(weakest_drop(Json{{"p", "2"}}, strict), TypeError);
  EXPECT_EQ(weakest_drop(Json{{"p", "2"}}, as_real), 2.0);
  EXPECT_THROW(metric(Json{{"a", 1}}, "b"), KeyError);
}

TEST_F(FlowReview, FindsFiguresByExtensionAndNamesThemWithTheCase) {
  for (const char* f : {"plots/b.PNG", "plots/a.svg", "plots/c.txt", "plots/.png", "plots/sub/d.png", "e.png"})
    touch(f);
  EXPECT_EQ(discover_case_figures(case_dir_), (Names{"plots/a.svg", "plots/b.PNG"}));
  EXPECT_EQ(case_named_path(case_dir_, "plots/a.svg"), "case1/plots/a.svg");
  EXPECT_TRUE(discover_case_figures(in_case("none")).empty());
}

TEST_F(FlowReview, ThresholdsKeepTheAskedOrderAndTheReportedNames) {
  set_adv("force_std_warning", "0.5");
  const auto t = read_review_thresholds(skill_, {{"force_std_warning", "b"}, {"force_std_pass", "a"}});
  EXPECT_EQ(t.values, (std::vector<double>{0.5, 1e-4}));
  EXPECT_EQ(t.reported.dump(), R"({"b":0.5,"a":0.0001})");
  EXPECT_EQ(pressure_profile_figures(Json{0.5}), (Names{"plots/aircraft_pressure_profile_y0p5.png"}));
}

}  // namespace
}  // namespace orvanta
