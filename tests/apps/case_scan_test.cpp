// Stray folders and damaged records in the working directory are skipped and reported;
// they break neither the case list nor a flow case's start.

#include "apps/orvanta/case_scan.hpp"
#include "apps/orvanta/commands.hpp"
#include "host/base/json_file.hpp"
#include "tests/apps/case_fixture.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

class CaseScanTest : public CaseFixture {
 protected:
  // A folder holding a case record with the given text, as a copy or a hand edit leaves it.
  void stray(const std::string& name, const std::string& record_text) {
    fs::create_directories(work_ / name / ".orvanta");
    std::ofstream(work_ / name / ".orvanta" / "case.json") << record_text;
  }
  // Stray folders of every kind, each newer than any real case.
  void add_strays() {
    const std::string newest_mesh = R"({"skill": "generate-cfd-mesh", "state": "run_passed", "created_at": 9e12})";
    stray("my copy", newest_mesh);
    stray("-x", newest_mesh);
    stray("late", R"({"skill": "generate-cfd-mesh", "state": "run_passed", "created_at": "yesterday"})");
    stray("junk", "{not json");
    stray("noskill", R"({"state": "run_passed", "created_at": 9e12})");
    stray("list", "[1, 2]");
    stray("verdict", R"({"skill": "generate-cfd-mesh", "state": "analyzed", "verdict": "pass"})");
    stray("prereq", R"({"skill": "run-cfd-simulation", "prereq_case": 7, "created_at": 9e12})");
    stray("inputs", newest_mesh);
    std::ofstream(work_ / "inputs" / ".orvanta" / "inputs.json") << "{\"mach_number\": ";
    fs::create_directories(work_ / "plain folder");  // no record: not a case, not reported
  }
};

TEST_F(CaseScanTest, StrayFoldersAndDamagedRecordsAreSkippedAndReported) {
  make_mesh_case();
  add_strays();
  const Json listed = cases_->list();
  ASSERT_EQ(listed.size(), 1u) << listed.dump();
  EXPECT_EQ(listed[0]["case_name"], "m1");
  EXPECT_EQ(listed[0]["state"], "run_passed");

  const std::string bad_name = "` must be a single plain name of letters, digits, '.', '_' and '-', not starting with "
                               "'.' or '-', and not a path.";
  const std::string in = (work_ / "").string();
  // The parser's own words follow the file name; what matters is which file does not parse.
  const std::string not_json = " is not valid JSON: ";
  const Json expected = Json::array({
      {{"name", "-x"}, {"reason", "Case name `-x" + bad_name}},
      {{"name", "inputs"}, {"reason", in + "inputs/.orvanta/inputs.json" + not_json}},
      {{"name", "junk"}, {"reason", in + "junk/.orvanta/case.json" + not_json}},
      {{"name", "late"}, {"reason", "`created_at` in .orvanta/case.json is a text, not a number."}},
      {{"name", "list"}, {"reason", in + "list/.orvanta/case.json does not hold a JSON object."}},
      {{"name", "my copy"}, {"reason", "Case name `my copy" + bad_name}},
      {{"name", "noskill"}, {"reason", "`skill` is missing in .orvanta/case.json."}},
      {{"name", "prereq"}, {"reason", "`prereq_case` in .orvanta/case.json is a number, not a text or null."}},
      {{"name", "verdict"}, {"reason", "`verdict` in .orvanta/case.json is a text, not an object."}},
  });
  Json skipped = cases_->skipped_entries();
  for (Json& entry : skipped) {
    std::string reason = entry["reason"];
    if (const auto at = reason.find(not_json); at != std::string::npos) entry["reason"] = reason.substr(0, at + not_json.size());
  }
  EXPECT_EQ(skipped, expected);
}

TEST_F(CaseScanTest, FlowCasesStartBesideStrayFoldersOnTheNewestRealMesh) {
  make_mesh_case();
  add_strays();
  const Json cfd = cases_->start({"run-cfd-simulation", Json{{"mach_number", 0.25}}, Json::object(), "c1", ""});
  EXPECT_EQ(cfd["results"][0]["status"], "pass");
  EXPECT_EQ(load_case_record((work_ / "c1").string())["prereq_case"], (work_ / "m1").string());
  // The optimization inherits the Mach number of c1, the newest flow case on m1.
  cases_->start({"run-aero-optimization", Json::object(), Json::object(), "o1", ""});
  EXPECT_EQ(load_case_inputs((work_ / "o1").string())["mach_number"], 0.25);

  // A damaged record named directly is refused with what is wrong with it.
  try {
    cases_->start({"run-cfd-simulation", Json{{"mach_number", 0.25}}, Json::object(), "c2", "late"});
    FAIL();
  } catch (const ValueError& e) {
    EXPECT_STREQ(e.what(),
                 "The record of case `late` cannot be used: `created_at` in .orvanta/case.json is a text, not a number.");
  }
  EXPECT_THROW(cases_->check("verdict"), ValueError);
  EXPECT_THROW(cases_->start({"run-cfd-simulation", Json::object(), Json::object(), "c2", "my copy"}), ValueError);
  EXPECT_FALSE(fs::exists(work_ / "c2"));
}

TEST_F(CaseScanTest, CaseNamesMayNotStartWithADashOrADot) {
  for (const char* bad : {"-x", "--help", ".hidden", "..", "a/b", "my copy", ""})
    EXPECT_THROW(validate_case_name(bad), ValueError) << bad;
  for (const char* good : {"x-1", "mesh_5", "A.b"}) EXPECT_NO_THROW(validate_case_name(good)) << good;
  EXPECT_THROW(cases_->start({"generate-cfd-mesh", Json::object(), Json::object(), "-x", ""}), ValueError);
  EXPECT_FALSE(fs::exists(work_ / "-x"));
  EXPECT_THROW(cases_->check("-x"), ValueError);
}

TEST_F(CaseScanTest, TheCasesCommandListsRealCasesAndNamesSkippedOnesOnStderr) {
  make_mesh_case();
  stray("my copy", R"({"skill": "generate-cfd-mesh", "created_at": 1})");
  CLI::App app;
  CommandContext ctx;
  register_case_commands(app, ctx);
  std::ostringstream out, err;
  auto* old_out = std::cout.rdbuf(out.rdbuf());
  auto* old_err = std::cerr.rdbuf(err.rdbuf());
  app.parse(std::vector<std::string>{"cases"});
  std::cout.rdbuf(old_out);
  std::cerr.rdbuf(old_err);
  EXPECT_EQ(ctx.exit_code, 0);
  EXPECT_NE(out.str().find("m1"), std::string::npos);
  EXPECT_EQ(out.str().find("my copy"), std::string::npos);
  EXPECT_EQ(err.str(), "orvanta: skipped my copy: Case name `my copy` must be a single plain name of letters, digits, "
                       "'.', '_' and '-', not starting with '.' or '-', and not a path.\n");
}

TEST_F(CaseScanTest, ConcurrentChecksOfOneCaseAllSucceedAndKeepItsRecordWhole) {
  cases_->start({"generate-cfd-mesh", Json::object(), Json::object(), "m1", ""});
  const fs::path record = work_ / "m1/.orvanta/case.json";
  std::atomic<int> failures{0}, torn{0};
  std::atomic<bool> done{false};
  std::vector<std::string> errors(6);
  std::vector<std::thread> checkers;
  for (int t = 0; t < 6; ++t) {
    checkers.emplace_back([&, t] {
      CaseManager own(work_.string(), [] { return std::make_shared<RecordingHostServices>(); });
      for (int i = 0; i < 25; ++i) {
        try {
          if (own.check("m1")["state"] != "running") ++failures;
        } catch (const std::exception& e) {
          errors[t] = e.what();
          ++failures;
        }
      }
    });
  }
  std::thread reader([&] {
    while (!done) {
      try {
        read_json_object_file(record.string());
      } catch (const std::exception&) {
        ++torn;
      }
    }
  });
  for (auto& t : checkers) t.join();
  done = true;
  reader.join();
  EXPECT_EQ(failures, 0) << errors[0] << errors[1] << errors[2];
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(load_case_record((work_ / "m1").string())["state"], "running");
  for (const auto& e : fs::directory_iterator(work_ / "m1/.orvanta"))
    EXPECT_EQ(e.path().extension(), ".json") << e.path();  // no temporary file is left behind
}

}  // namespace
}  // namespace orvanta::app
