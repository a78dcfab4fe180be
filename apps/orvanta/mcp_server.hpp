#pragma once
// The Model Context Protocol server: JSON-RPC 2.0, one message per line. Requests are read
// on the caller's thread; tool calls run one at a time on a worker thread (the geometry
// model is process-wide), so pings and cancellations are answered while a call works.

#include "apps/orvanta/case_manager.hpp"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace orvanta::app {

class McpServer {
 public:
  using Writer = std::function<void(const std::string& line)>;
  McpServer(CaseManager& cases, Writer writer);
  ~McpServer();

  // Handles one incoming line (a JSON-RPC message).
  void handle_line(const std::string& line);
  // Waits until every accepted tool call has been answered.
  void drain();

  static const char* latest_protocol_version() { return "2025-11-25"; }

  // The tools as tools/list publishes them (computed once, when the server starts).
  const Json& tool_list() const { return tools_; }
  // Runs a tool; the answer is an MCP tool result (isError set for tool errors).
  Json call_tool(const std::string& name, const Json& arguments, const Json& progress_token);

 private:
  struct Job {
    Json id;
    std::string name;
    Json arguments;
    Json progress_token;
  };

  Json build_tool_list();
  void handle_request(const Json& message);
  void handle_notification(const Json& message);
  void send(const Json& message);
  void reply(const Json& id, const Json& result);
  void reply_error(const Json& id, int code, const std::string& message);
  void worker_loop();
  bool take_cancelled(const Json& id);

  CaseManager& cases_;
  Writer writer_;
  Json tools_;
  std::mutex out_mutex_;

  std::mutex jobs_mutex_;
  std::condition_variable jobs_cv_;
  std::deque<Job> jobs_;
  std::set<std::string> cancelled_;  // ids (as JSON text) of calls whose answer is no longer wanted
  bool busy_ = false;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace orvanta::app
