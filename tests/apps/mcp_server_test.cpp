#include "apps/orvanta/case_manager.hpp"
#include "apps/orvanta/case_tools.hpp"
#include "apps/orvanta/mcp_server.hpp"
#include "apps/orvanta/tool_schema.hpp"
#include "fakes/module_fixture.hpp"
#include "host/base/recording_host_services.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <mutex>

namespace orvanta::app {
namespace {
namespace fs = std::filesystem;

class McpTest : public testing::ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    setenv("KESTRAN_WORK_DIR", work_.c_str(), 1);
    cases_ = std::make_unique<CaseManager>(work_.string(), [] { return std::make_shared<RecordingHostServices>(); });
    tools_ = std::make_unique<CaseTools>(*cases_);
    server_ = std::make_unique<McpServer>(*tools_, [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      out_.push_back(Json::parse(line));
    });
  }
  void TearDown() override {
    server_.reset();
    tools_.reset();
    cases_.reset();
    ModuleTest::TearDown();
  }
  // Sends one message and returns the answers it produced once all calls are done.
  std::vector<Json> exchange(const std::string& line) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      out_.clear();
    }
    server_->handle_line(line);
    server_->drain();
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
  }
  Json call(const std::string& tool, const Json& args, int id = 7) {
    const auto answers = exchange(Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                                       {"params", {{"name", tool}, {"arguments", args}}}}.dump());
    EXPECT_EQ(answers.size(), 1u);
    return answers.empty() ? Json() : answers.back();
  }
  std::unique_ptr<CaseManager> cases_;
  std::unique_ptr<CaseTools> tools_;
  std::unique_ptr<McpServer> server_;
  std::mutex mutex_;
  std::vector<Json> out_;
};

TEST_F(McpTest, HandshakeNegotiatesAKnownRevisionAndAnswersPing) {
  auto a = exchange(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"t","version":"1"}}})");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0]["result"]["protocolVersion"], "2025-06-18");
  EXPECT_TRUE(a[0]["result"]["capabilities"].contains("tools"));
  a = exchange(R"({"jsonrpc":"2.0","id":"x","method":"initialize","params":{"protocolVersion":"1999-01-01"}})");
  EXPECT_EQ(a[0]["result"]["protocolVersion"], "2025-11-25");
  EXPECT_EQ(a[0]["id"], "x");
  EXPECT_TRUE(exchange(R"({"jsonrpc":"2.0","method":"notifications/initialized"})").empty());
  a = exchange(R"({"jsonrpc":"2.0","id":2,"method":"ping"})");
  EXPECT_EQ(a[0]["result"], Json::object());
}

TEST_F(McpTest, BadMessagesGetProperErrorsAndTheServerKeepsGoing) {
  EXPECT_EQ(exchange("{not json")[0]["error"]["code"], -32700);
  EXPECT_EQ(exchange(R"([1,2])")[0]["error"]["code"], -32600);
  EXPECT_EQ(exchange(R"({"jsonrpc":"1.0","id":1,"method":"ping"})")[0]["error"]["code"], -32600);
  EXPECT_EQ(exchange(R"({"jsonrpc":"2.0","id":1,"method":"resources/list"})")[0]["error"]["code"], -32601);
  EXPECT_EQ(exchange(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"fly"}})")[0]["error"]["message"],
            "Unknown tool: fly");
  EXPECT_EQ(exchange(R"({"jsonrpc":"2.0","id":{"a":1},"method":"ping"})")[0]["error"]["code"], -32600);
  EXPECT_TRUE(exchange(R"({"jsonrpc":"2.0","id":5,"result":{}})").empty());
  EXPECT_EQ(exchange(R"({"jsonrpc":"2.0","id":9,"method":"ping"})")[0]["id"], 9);
}

TEST_F(McpTest, ToolErrorsCarryTheExactMessage) {
  auto error_of = [](const Json& answer) {
    EXPECT_TRUE(answer["result"]["isError"].get<bool>());
    return Json::parse(answer["result"]["content"][0]["text"].get<std::string>())["error"]["message"].get<std::string>();
  };
  for (const char* bad : {"..", "a/b", "/etc", ".hidden", ""})
    EXPECT_NE(error_of(call("check_case", {{"case_name", bad}})).find("must be a single plain name"), std::string::npos)
        << bad;
  EXPECT_EQ(error_of(call("check_case", Json::object())), "Argument `case_name` is required.");
  EXPECT_EQ(error_of(call("check_case", {{"case_name", 5}})), "Argument `case_name` must be a string.");
  EXPECT_EQ(error_of(call("check_case", {{"case_name", "nope"}})),
            "There is no case `nope` in " + work_.string() + ".");
  EXPECT_EQ(error_of(call("run-cfd-simulation", Json::object())),
            "run-cfd-simulation needs a generate-cfd-mesh case whose run passed, and " + work_.string() +
                " has none. Run generate-cfd-mesh first, or name a mesh case with mesh_case.");
  EXPECT_EQ(error_of(call("generate-cfd-mesh", {{"wingspan", 3}})), "Unknown input `wingspan` for skill generate-cfd-mesh.");
  EXPECT_EQ(error_of(call("generate-cfd-mesh", Json::array({1}))), "Tool arguments must be a JSON object.");
  EXPECT_TRUE(fs::is_empty(work_));  // nothing was created by a refused call
  EXPECT_EQ(call("list_cases", Json::object())["result"]["content"][0]["text"], "[]");
}

TEST_F(McpTest, ListCasesNamesFoldersThatAreNotValidCasesApart) {
  fs::create_directories(work_ / "my copy" / ".orvanta");
  std::ofstream(work_ / "my copy" / ".orvanta" / "case.json") << R"({"skill": "generate-cfd-mesh", "created_at": 1})";
  const Json content = call("list_cases", Json::object())["result"]["content"];
  ASSERT_EQ(content.size(), 2u);
  EXPECT_EQ(content[0]["text"], "[]");
  EXPECT_NE(content[1]["text"].get<std::string>().find("\"my copy\""), std::string::npos);
}

// Every tool says what it is and does to hosts, and every successful answer carries its JSON
// both as text and as structured content with the keys its output schema requires.
TEST_F(McpTest, ToolsCarryTitlesHintsAndOutputSchemasAndAnswersTheirStructuredContent) {
  std::map<std::string, Json> by_name;
  for (const Json& t : server_->tool_list()) by_name[t["name"]] = t;
  for (const auto& [name, tool] : by_name) {
    EXPECT_FALSE(tool["title"].get<std::string>().empty()) << name;
    EXPECT_EQ(tool["annotations"]["title"], tool["title"]) << name;
    EXPECT_EQ(tool["annotations"]["openWorldHint"], false) << name;
    EXPECT_EQ(tool["outputSchema"]["type"], "object") << name;
  }
  for (const char* name : {"check_case", "list_cases"}) EXPECT_EQ(by_name[name]["annotations"]["readOnlyHint"], true);
  EXPECT_EQ(by_name["stop_case"]["annotations"]["destructiveHint"], true);
  EXPECT_EQ(by_name["stop_case"]["annotations"]["idempotentHint"], true);
  for (const char* name : {"generate-cfd-mesh", "run-cfd-simulation", "run-aero-optimization"}) {
    EXPECT_EQ(by_name[name]["annotations"]["readOnlyHint"], false) << name;
    EXPECT_EQ(by_name[name]["annotations"]["destructiveHint"], false) << name;
  }

  auto structured = [&](const char* tool, const Json& args) {
    const Json result = call(tool, args)["result"];
    EXPECT_FALSE(result["isError"].get<bool>()) << tool;
    for (const Json& key : by_name[tool]["outputSchema"]["required"])
      EXPECT_TRUE(result["structuredContent"].contains(key.get<std::string>())) << tool << " lacks " << key;
    return result;
  };
  Json result = structured("list_cases", Json::object());
  EXPECT_EQ(result["structuredContent"], Json::parse(R"({"cases": []})"));
  EXPECT_EQ(result["content"][0]["text"], "[]");
  // An analysed case (skill tools starting real cases are driven by the protocol client test).
  fs::create_directories(work_ / "m1" / ".orvanta");
  std::ofstream(work_ / "m1" / ".orvanta" / "case.json")
      << R"({"skill": "generate-cfd-mesh", "created_at": 1.5, "state": "analyzed",
            "verdict": {"phase": "review_analyze", "skill": "generate-cfd-mesh", "status": "pass"}})";
  result = structured("check_case", {{"case_name", "m1"}});
  EXPECT_EQ(result["structuredContent"]["results"][0]["status"], "pass");
  EXPECT_EQ(result["structuredContent"], Json::parse(result["content"][0]["text"].get<std::string>()));
  EXPECT_EQ(structured("stop_case", {{"case_name", "m1"}})["structuredContent"], Json::parse(R"({"stopped": false})"));
  result = structured("list_cases", Json::object());
  EXPECT_EQ(result["structuredContent"]["cases"][0]["case_name"], "m1");
  // A refusal is an error result, which carries no structured content.
  EXPECT_FALSE(call("check_case", {{"case_name", "nope"}})["result"].contains("structuredContent"));
}

TEST_F(McpTest, ToolsArePublishedWithSchemasFromTheInputMetadata) {
  const Json& tools = server_->tool_list();
  ASSERT_EQ(tools.size(), 6u);
  EXPECT_EQ(tools[0]["name"], "generate-cfd-mesh");
  const Json& mesh = tools[0]["inputSchema"]["properties"];
  EXPECT_EQ(mesh["surface_level"]["type"], "integer");
  EXPECT_EQ(mesh["surface_level"]["default"], 7);
  EXPECT_EQ(mesh["local_refine_box"]["type"], Json::parse(R"(["array", "null"])"));
  EXPECT_EQ(mesh["local_refine_box"]["items"]["items"]["type"], "number");
  EXPECT_EQ(mesh["Wing:UpperCoeff:Au"]["type"], "array");
  EXPECT_EQ(mesh["Wing:UpperCoeff:Au"]["default"].size(), 12u);
  EXPECT_FALSE(mesh.contains("mesh_case"));
  const Json& opt = tools[2]["inputSchema"]["properties"];
  EXPECT_EQ(opt["mach_number"]["default"], "$prereq.mach_number");
  EXPECT_EQ(opt["optimizer"]["type"], "string");
  EXPECT_TRUE(opt.contains("mesh_case"));
  EXPECT_EQ(tools[3]["name"], "check_case");
  EXPECT_EQ(tools[1]["description"],
            "Run CFD simulation for an existing aircraft mesh. Geometry changes such as span or chord changes must be "
            "requested in generate-cfd-mesh first.");
}

}  // namespace
}  // namespace orvanta::app
