#include "fakes/module_fixture.hpp"
#include "host/base/errors.hpp"
#include "src/design_vars/design_vars.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace orvanta {
namespace {
namespace fs = std::filesystem;
using testing::ModuleTest;
using Names = std::vector<std::string>;

TEST(RangePatterns, ExpandInclusiveInEitherDirectionAndCollapseBraces) {
  EXPECT_EQ(expand("XSec_{1..3}"), (Names{"XSec_1", "XSec_2", "XSec_3"}));
  EXPECT_EQ(expand("X{3..1}"), (Names{"X3", "X2", "X1"}));
  EXPECT_EQ(expand("A_{-2..0}"), (Names{"A_-2", "A_-1", "A_0"}));
  EXPECT_EQ(expand("V{5..5}"), (Names{"V5"}));
  EXPECT_EQ(expand("Span"), (Names{"Span"}));
  EXPECT_EQ(expand("A_{0..1}B_{2..3}"), (Names{"A_0B_{2..3}", "A_1B_{2..3}"}));
  EXPECT_EQ(collapse("A_{0..1}B_{2..3}"), "AB");
  EXPECT_EQ(collapse("XSec_{1..2}"), "XSec");
  EXPECT_EQ(collapse("Au_{0..5}"), "Au");
  EXPECT_EQ(collapse("name{a}"), "name");
  EXPECT_EQ(collapse("Span"), "Span");
  EXPECT_EQ(design_var_key("Wing", "UpperCoeff_{0..1}", "Au_{0..5}"), "Wing:UpperCoeff:Au");
  EXPECT_THROW(expand("X_{0..99999999999}"), ValueError);
  EXPECT_THROW(expand("X_{0..99999999999999999999999}"), ValueError);
}

TEST_F(ModuleTest, InputMetadataCarriesDefaultsInExpandedOrderWithExactCallOrder) {
  const Json info = load_vsp_design_var_input_info();
  std::vector<std::string> keys;
  for (const auto& [k, v] : info.items()) keys.push_back(k);
  EXPECT_EQ(keys, (Names{"Wing:UpperCoeff:Au", "Wing:XSec:Span", "Wing:WingGeom:TotalArea", "Fuselage:Design:Length"}));

  const Json& au = info["Wing:UpperCoeff:Au"];
  EXPECT_EQ(au.begin().key(), "type");
  EXPECT_EQ(au["type"], "list[float]");
  ASSERT_EQ(au["default"].size(), 12u);
  EXPECT_DOUBLE_EQ(au["default"][0].get<double>(), 0.1);   // UpperCoeff_0 Au_0
  EXPECT_DOUBLE_EQ(au["default"][6].get<double>(), 0.2);   // UpperCoeff_1 Au_0
  EXPECT_EQ(info["Wing:XSec:Span"]["default"], Json::array({2.0, 3.0}));
  EXPECT_EQ(info["Fuselage:Design:Length"]["type"], "float");
  EXPECT_EQ(info["Fuselage:Design:Length"]["default"], 12.0);
  EXPECT_EQ(info["Wing:WingGeom:TotalArea"]["description"], Json::parse(R"({"note": "any JSON passes through"})"));

  const Names ops = vsp_.operations();
  ASSERT_GE(ops.size(), 6u);
  EXPECT_EQ(Names(ops.begin(), ops.begin() + 4), (Names{"ClearVSPModel", "ReadVSPFile", "Update", "FindGeomsWithName"}));
  EXPECT_EQ(vsp_.calls[1], "ReadVSPFile " + (assets_ / "aircraft.vsp3").string());
  EXPECT_EQ(vsp_.count("GetXSecSurf"), 2);  // one per cross-section parameter
  EXPECT_EQ(vsp_.count("GetParmVal"), 12 + 2 + 1 + 1);
}

TEST_F(ModuleTest, LoadingFailsWholeOnMissingModelComponentOrParameter) {
  auto message = [](auto&& f) {
    try {
      f();
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  const std::string missing_model = (work_ / "nothing.vsp3").string();
  EXPECT_EQ(message([&] { load_vsp_design_var_input_info(std::nullopt, missing_model); }),
            "OpenVSP file was not found: " + missing_model);

  vsp_.template_model.push_back(vsp_.template_model[1]);  // a second "Fuselage"
  EXPECT_EQ(message([&] { load_vsp_design_var_input_info(); }),
            "Expected exactly one OpenVSP component named `Fuselage`, found 2.");
  vsp_.template_model.pop_back();
  vsp_.template_model.pop_back();
  EXPECT_EQ(message([&] { load_vsp_design_var_input_info(); }),
            "Expected exactly one OpenVSP component named `Fuselage`, found 0.");

  const auto config = write("work/cfg.json", R"({"Wing": {"XSec_1a": {"Span": "d"}}})");
  vsp_.template_model = testing::fake_aircraft();
  EXPECT_EQ(message([&] { load_vsp_design_var_input_info(config.string()); }),
            "OpenVSP design variable not found: group=XSec_1a, variable=Span");
  const auto literal = write("work/lit.json", R"({"Wing": {"UpperCoeff_{0..1}B_{2..3}": {"Au_0": "d"}}})");
  EXPECT_EQ(message([&] { load_vsp_design_var_input_info(literal.string()); }),
            "OpenVSP design variable not found: group=UpperCoeff_0B_{2..3}, variable=Au_0");

  vsp_.fail_reads = true;
  EXPECT_EQ(message([&] { load_vsp_design_var_input_info(); }).rfind("OpenVSP failed to read " +
                                                                      (assets_ / "aircraft.vsp3").string(), 0), 0u);
  const auto bad = write("work/bad.json", R"({"Wing": ["not", "an", "object"]})");
  EXPECT_THROW(load_vsp_design_var_input_info(bad.string()), FormatError);
  EXPECT_THROW(load_vsp_design_var_input_info((work_ / "none.json").string()), FileNotFoundError);
}

TEST_F(ModuleTest, ApplyingSpreadsValuesCountsThemAndWritesOnlyWhenSomethingWasSet) {
  const auto model = write("work/case/aircraft.vsp3", "original");
  const auto config = write("work/case/vsp_design_vars.json", testing::kFakeDesignVars);
  const auto before = fs::last_write_time(model);

  EXPECT_EQ(apply_vsp_design_var_inputs(config.string(), model.string(), Json{{"n_cpus", 2}}), 0);
  EXPECT_EQ(read(model), "original");
  EXPECT_EQ(fs::last_write_time(model), before);
  EXPECT_EQ(vsp_.count("FindGeomsWithName"), 2);  // every component checked anyway
  EXPECT_EQ(vsp_.count("Update"), 0);

  vsp_.calls.clear();
  Json inputs = {{"Wing:UpperCoeff:Au", 0.3}, {"Wing:XSec:Span", Json::array({4, "5.5"})}};
  EXPECT_EQ(apply_vsp_design_var_inputs(config.string(), model.string(), inputs), 14);
  EXPECT_DOUBLE_EQ(vsp_.value("Wing", "UpperCoeff_1", "Au_5"), 0.3);
  EXPECT_DOUBLE_EQ(vsp_.xsec_value("Wing", 2, "Span"), 5.5);
  const Names ops = vsp_.operations();
  EXPECT_EQ(ops.front(), "ClearVSPModel");
  EXPECT_EQ(Names(ops.end() - 2, ops.end()), (Names{"Update", "WriteVSPFile"}));
  EXPECT_NE(read(model), "original");

  Json list12 = Json::array();
  for (int i = 0; i < 12; ++i) list12.push_back(0.01 * i);
  apply_vsp_design_var_inputs(config.string(), model.string(), Json{{"Wing:UpperCoeff:Au", list12}});
  EXPECT_DOUBLE_EQ(vsp_.value("Wing", "UpperCoeff_0", "Au_5"), 0.05);
  EXPECT_DOUBLE_EQ(vsp_.value("Wing", "UpperCoeff_1", "Au_0"), 0.06);
}

TEST_F(ModuleTest, ApplyingRejectsWrongCountsAndNonNumbersWithoutWriting) {
  const auto model = write("work/case/aircraft.vsp3", "original");
  const auto config = write("work/case/vsp_design_vars.json", testing::kFakeDesignVars);
  try {
    apply_vsp_design_var_inputs(config.string(), model.string(), Json{{"Wing:UpperCoeff:Au", Json::array({1, 2})}});
    FAIL();
  } catch (const ValueError& e) {
    EXPECT_STREQ(e.what(),
                 "Input `Wing:UpperCoeff:Au` expected 12 value(s) from vsp_design_vars.json, but received 2.");
  }
  EXPECT_THROW(apply_vsp_design_var_inputs(config.string(), model.string(),
                                           Json{{"Wing:UpperCoeff:Au", Json::array({1})}}),
               ValueError);  // a one-element list is not spread
  EXPECT_NO_THROW(apply_vsp_design_var_inputs(config.string(), model.string(),
                                              Json{{"Fuselage:Design:Length", Json::array({13})}}));
  vsp_.template_model = testing::fake_aircraft();
  write("work/case/aircraft.vsp3", "original");
  vsp_.calls.clear();
  EXPECT_THROW(apply_vsp_design_var_inputs(config.string(), model.string(),
                                           Json{{"Wing:XSec:Span", Json::array({7, "wide"})}}),
               ValueError);
  EXPECT_DOUBLE_EQ(vsp_.xsec_value("Wing", 1, "Span"), 7.0);  // set in memory before the failure
  EXPECT_EQ(vsp_.count("WriteVSPFile"), 0);
  EXPECT_EQ(read(model), "original");

  // Messages name the model path as the caller gave it.
  vsp_.fail_writes = true;
  const std::string as_given = (model.parent_path() / "." / "aircraft.vsp3").string();
  try {
    apply_vsp_design_var_inputs(config.string(), as_given, Json{{"Wing:XSec:Span", 1}});
    FAIL();
  } catch (const GeometryError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("OpenVSP failed to write " + as_given + ": ", 0), 0u) << e.what();
  }
}

TEST_F(ModuleTest, SchemaChoiceFollowsWorkingDirectoryAndCustomFlag) {
  const Json base = {{"custom_vsp3", {{"type", "int"}, {"default", 0}, {"description", "d"}}}};
  write("work/vsp_design_vars.json", R"({"Fuselage": {"Design": {"Length": "user length"}}})");
  write("work/aircraft.vsp3", "user model");
  auto source_of = [&](const Json& inputs) {
    const Json info = get_aircraft_vsp_design_var_input_info(base, inputs);
    EXPECT_EQ(info.begin().key(), "custom_vsp3");
    return info.contains("Wing:UpperCoeff:Au") ? "packaged" : "work";
  };
  // KESTRAN_WORK_DIR unset: always packaged.
  EXPECT_STREQ(source_of(Json::object()), "packaged");
  EXPECT_STREQ(source_of(Json{{"custom_vsp3", 1}}), "packaged");

  setenv("KESTRAN_WORK_DIR", work_.c_str(), 1);
  EXPECT_STREQ(source_of(Json()), "work");
  EXPECT_STREQ(source_of(Json::object()), "work");
  EXPECT_STREQ(source_of(Json{{"custom_vsp3", 1}}), "work");
  EXPECT_STREQ(source_of(Json{{"custom_vsp3", "1"}}), "work");
  EXPECT_STREQ(source_of(Json{{"custom_vsp3", 0}}), "packaged");
  EXPECT_STREQ(source_of(Json{{"n_cpus", 2}}), "packaged");
  EXPECT_THROW(source_of(Json{{"custom_vsp3", "yes"}}), ValueError);

  fs::remove(work_ / "vsp_design_vars.json");
  EXPECT_STREQ(source_of(Json::object()), "packaged");
  EXPECT_STREQ(source_of(Json{{"custom_vsp3", 1}}), "packaged");

  // A configuration without its model fails with the working directory's model path.
  write("work/vsp_design_vars.json", R"({"Fuselage": {"Design": {"Length": "x"}}})");
  fs::remove(work_ / "aircraft.vsp3");
  try {
    get_aircraft_vsp_design_var_input_info(base, Json::object());
    FAIL();
  } catch (const FileNotFoundError& e) {
    EXPECT_EQ(std::string(e.what()), "OpenVSP file was not found: " + (work_ / "aircraft.vsp3").string());
  }
  EXPECT_EQ(base.size(), 1u);
}

TEST_F(ModuleTest, DesignVariablesReplaceAStaticInputOfTheSameKeyInPlace) {
  Json base = Json::object();
  base["first"] = {{"type", "int"}, {"default", 1}, {"description", "a"}};
  base["Fuselage:Design:Length"] = {{"type", "str"}, {"default", "x"}, {"description", "static"}};
  base["last"] = {{"type", "int"}, {"default", 2}, {"description", "b"}};
  const Json info = get_aircraft_vsp_design_var_input_info(base, Json::object());
  std::vector<std::string> keys;
  for (const auto& [k, v] : info.items()) keys.push_back(k);
  EXPECT_EQ(Names(keys.begin(), keys.begin() + 3), (Names{"first", "Fuselage:Design:Length", "last"}));
  EXPECT_EQ(info["Fuselage:Design:Length"]["type"], "float");
  EXPECT_EQ(base["Fuselage:Design:Length"]["type"], "str");
}

}  // namespace
}  // namespace orvanta
