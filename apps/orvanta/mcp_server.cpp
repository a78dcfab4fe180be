#include "apps/orvanta/mcp_server.hpp"

#include <set>

namespace orvanta::app {
namespace {
using namespace jsonrpc;

const std::set<std::string>& supported_versions() {
  static const std::set<std::string> v = {"2025-11-25", "2025-06-18", "2025-03-26", "2024-11-05"};
  return v;
}

bool valid_token(const Json& token) { return token.is_string() || token.is_number_integer(); }

}  // namespace

McpServer::McpServer(ToolBackend& tools, Writer writer)
    : tools_(tools), writer_(std::move(writer)), worker_([this] { worker_loop(); }) {}

McpServer::~McpServer() {
  {
    std::lock_guard<std::mutex> lock(jobs_mutex_);
    stopping_ = true;
  }
  jobs_cv_.notify_all();
  worker_.join();
}

void McpServer::send(const Json& message) {
  const std::string line = wire_text(message);
  std::lock_guard<std::mutex> lock(out_mutex_);
  writer_(line);
}

void McpServer::reply(const Json& id, const Json& result) { send(result_message(id, result)); }

void McpServer::reply_error(const Json& id, int code, const std::string& message) {
  send(error_message(Error{id, code, message}));
}

void McpServer::handle_line(const std::string& line) {
  if (line.find_first_not_of(" \t\r\n") == std::string::npos) return;
  Json id;  // known once the message parsed, so an internal failure is answered to its request
  try {
    auto parsed = parse_message(line);
    if (const auto* error = std::get_if<Error>(&parsed)) {
      send(error_message(*error));
      return;
    }
    const Message& message = std::get<Message>(parsed);
    id = message.id;
    dispatch(message);
  } catch (const std::exception& e) {
    if (!id.is_null()) reply_error(id, kInternalError, std::string("Internal error: ") + e.what());
  } catch (...) {
    if (!id.is_null()) reply_error(id, kInternalError, "Internal error.");
  }
}

void McpServer::handle_oversized_line() {
  try {
    send(error_message(oversized_message_error()));
  } catch (...) {
  }
}

void McpServer::dispatch(const Message& message) {
  if (message.kind == Message::Kind::response) return;  // we send no requests
  if (message.kind == Message::Kind::notification) {
    if (message.method == "notifications/cancelled") cancel(message.params);
    return;  // initialized and others need no answer
  }
  const std::string& method = message.method;
  if (method == "initialize") {
    const auto version = message.params.find("protocolVersion");
    if (version != message.params.end() && !version->is_string())
      return reply_error(message.id, kInvalidParams, "Invalid params: protocolVersion must be a string.");
    reply(message.id, initialize_result(message.params));
  } else if (method == "ping") {
    reply(message.id, Json::object());
  } else if (method == "tools/list") {
    reply(message.id, {{"tools", tool_list()}});
  } else if (method == "tools/call") {
    accept_tool_call(message.id, message.params);
  } else {
    reply_error(message.id, kMethodNotFound, "Method not found: " + method);
  }
}

Json McpServer::initialize_result(const Json& params) const {
  const auto asked = params.find("protocolVersion");
  const std::string wanted = asked != params.end() ? asked->get<std::string>() : "";
  const std::string version = supported_versions().count(wanted) ? wanted : latest_protocol_version();
  return {{"protocolVersion", version},
          {"capabilities", {{"tools", {{"listChanged", false}}}}},
          {"serverInfo", {{"name", "orvanta"}, {"title", "orvanta aircraft design skills"}, {"version", "0.1.0"}}},
          {"instructions",
           "Each skill tool starts a case and returns at once while the run works in the background; poll it "
           "with check_case until the run passed and the analysis verdict is returned."}};
}

void McpServer::accept_tool_call(const Json& id, const Json& params) {
  const auto name = params.find("name");
  if (name == params.end() || !name->is_string())
    return reply_error(id, kInvalidParams, "Invalid params: tools/call needs a tool name.");
  Job job{id, name->get<std::string>(), params.value("arguments", Json::object()), Json()};
  if (const auto meta = params.find("_meta"); meta != params.end()) {
    if (!meta->is_object()) return reply_error(id, kInvalidParams, "Invalid params: _meta must be an object.");
    if (const auto token = meta->find("progressToken"); token != meta->end() && !token->is_null()) {
      if (!valid_token(*token))
        return reply_error(id, kInvalidParams, "Invalid params: progressToken must be a string or an integer.");
      job.progress_token = *token;
    }
  }
  bool known = false;
  for (const auto& t : tool_list()) known = known || t["name"] == job.name;
  if (!known) return reply_error(id, kInvalidParams, "Unknown tool: " + job.name);
  {
    std::lock_guard<std::mutex> lock(jobs_mutex_);
    jobs_.push_back(std::move(job));
  }
  jobs_cv_.notify_all();
}

// Only a call that is waiting or running can be cancelled; notices for other ids are
// dropped, so they neither pile up nor silence a later request that reuses the id.
void McpServer::cancel(const Json& params) {
  const auto id = params.find("requestId");
  if (id == params.end() || !valid_token(*id)) return;
  std::lock_guard<std::mutex> lock(jobs_mutex_);
  for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
    if (it->id == *id) {
      jobs_.erase(it);  // not started yet: dropped without an answer
      return;
    }
  }
  if (running_id_ && *running_id_ == *id) running_cancelled_ = true;
}

Json McpServer::run_job(const Job& job) {
  ToolProgress progress;
  if (!job.progress_token.is_null()) {
    progress = [this, token = job.progress_token](double step, std::optional<double> total, const std::string& text) {
      Json params = {{"progressToken", token}, {"progress", step}, {"message", text}};
      if (total) params["total"] = *total;
      send(notification_message("notifications/progress", params));
    };
  }
  return tools_.call(job.name, job.arguments, progress);
}

void McpServer::worker_loop() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(jobs_mutex_);
      jobs_cv_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      running_id_ = job.id;
      running_cancelled_ = false;
    }
    std::optional<Json> result;
    std::string failure;
    try {
      result = run_job(job);
    } catch (const std::exception& e) {
      failure = std::string("Internal error: ") + e.what();
    } catch (...) {
      failure = "Internal error.";
    }
    bool cancelled;
    {
      std::lock_guard<std::mutex> lock(jobs_mutex_);
      cancelled = running_cancelled_;
    }
    try {
      if (!cancelled && result) reply(job.id, *result);
      if (!cancelled && !result) reply_error(job.id, kInternalError, failure);
    } catch (...) {
    }
    {
      // Cleared only once answered, so drain() never returns before the answer is out.
      std::lock_guard<std::mutex> lock(jobs_mutex_);
      running_id_.reset();
    }
    jobs_cv_.notify_all();
  }
}

void McpServer::drain() {
  std::unique_lock<std::mutex> lock(jobs_mutex_);
  jobs_cv_.wait(lock, [this] { return jobs_.empty() && !running_id_; });
}

}  // namespace orvanta::app
