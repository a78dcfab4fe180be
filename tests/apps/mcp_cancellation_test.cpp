// Cancellation and failures of tool calls, with a stand-in backend whose calls wait until
// the test lets them go, so "running" and "waiting" are states the test controls.

#include "apps/orvanta/mcp_server.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace orvanta::app {
namespace {

class GatedTools : public ToolBackend {
 public:
  const Json& tools() const override { return tools_; }
  Json call(const std::string& name, const Json& arguments, const ToolProgress&) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++started_;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
    if (name == "throws") throw std::runtime_error("backend broke");
    return {{"content", Json::array({{{"type", "text"}, {"text", arguments.dump()}}})}, {"isError", false}};
  }
  void wait_started(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    ASSERT_TRUE(cv_.wait_for(lock, std::chrono::seconds(10), [&] { return started_ >= n; }));
  }
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  Json tools_ = Json::parse(R"([{"name":"work"},{"name":"throws"}])");
  std::mutex mutex_;
  std::condition_variable cv_;
  int started_ = 0;
  bool open_ = false;
};

class McpCancellationTest : public ::testing::Test {
 protected:
  McpCancellationTest()
      : server_(tools_, [this](const std::string& line) {
          std::lock_guard<std::mutex> lock(mutex_);
          out_.push_back(Json::parse(line));
        }) {}
  void call(const Json& id, const char* tool = "work") {
    server_.handle_line(Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                             {"params", {{"name", tool}, {"arguments", {{"n", id}}}}}}.dump());
  }
  void cancel(const Json& id) {
    server_.handle_line(
        Json{{"jsonrpc", "2.0"}, {"method", "notifications/cancelled"}, {"params", {{"requestId", id}}}}.dump());
  }
  std::vector<Json> answered_ids() {
    server_.drain();
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Json> ids;
    for (const auto& m : out_) ids.push_back(m["id"]);
    return ids;
  }
  Json answer(const Json& id) {
    server_.drain();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& m : out_)
      if (m["id"] == id) return m;
    return Json();
  }

  GatedTools tools_;
  std::mutex mutex_;
  std::vector<Json> out_;
  McpServer server_;
};

TEST_F(McpCancellationTest, OnlyTheRunningOrAWaitingCallCanBeCancelled) {
  call(1);
  tools_.wait_started(1);
  call(2);
  call("three");
  cancel(99);     // no such call: ignored, not remembered
  cancel("x");    // likewise
  cancel(2);      // waiting: dropped without an answer
  cancel(1);      // running: its answer is suppressed
  tools_.open();
  call(99);       // reuses an id that was "cancelled" while idle: must be answered
  call("x");
  EXPECT_EQ(answered_ids(), (std::vector<Json>{"three", 99, "x"}));
}

TEST_F(McpCancellationTest, ABackendThatThrowsGivesAnInternalErrorAndTheServerGoesOn) {
  tools_.open();
  call(1, "throws");
  call(2);
  const Json failed = answer(1);
  EXPECT_EQ(failed["error"]["code"], jsonrpc::kInternalError);
  EXPECT_EQ(failed["error"]["message"], "Internal error: backend broke");
  EXPECT_EQ(answer(2)["result"]["content"][0]["text"], R"({"n":2})");
}

}  // namespace
}  // namespace orvanta::app
