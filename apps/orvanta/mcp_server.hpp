#pragma once
// The Model Context Protocol server: JSON-RPC 2.0, one message per line. Messages are read
// and checked on the caller's thread; tool calls run one at a time on a worker thread (the
// geometry model is process-wide), so pings and cancellations are answered while a call
// works. No message, however malformed, ends the server: each gets its error answer.

#include "apps/orvanta/jsonrpc_message.hpp"
#include "apps/orvanta/tool_backend.hpp"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orvanta::app {

class McpServer {
 public:
  // Called with one whole message at a time, from the reading and the working thread alike;
  // the server serializes the calls.
  using Writer = std::function<void(const std::string& line)>;
  McpServer(ToolBackend& tools, Writer writer);
  ~McpServer();

  // Handles one incoming line (a JSON-RPC message). Never throws.
  void handle_line(const std::string& line);
  // Answers a line that the transport discarded for its length.
  void handle_oversized_line();
  // Waits until every accepted tool call has been answered.
  void drain();

  static const char* latest_protocol_version() { return "2025-11-25"; }

  const Json& tool_list() const { return tools_.tools(); }

 private:
  struct Job {
    Json id;
    std::string name;
    Json arguments;
    Json progress_token;
  };

  void dispatch(const jsonrpc::Message& message);
  Json initialize_result(const Json& params) const;
  void accept_tool_call(const Json& id, const Json& params);
  void cancel(const Json& params);
  void send(const Json& message);
  void reply(const Json& id, const Json& result);
  void reply_error(const Json& id, int code, const std::string& message);
  void worker_loop();
  Json run_job(const Job& job);

  ToolBackend& tools_;
  Writer writer_;
  std::mutex out_mutex_;

  std::mutex jobs_mutex_;
  std::condition_variable jobs_cv_;
  std::deque<Job> jobs_;
  std::optional<Json> running_id_;  // id of the call the worker is running
  bool running_cancelled_ = false;  // its answer is no longer wanted
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace orvanta::app
