#include "apps/orvanta/mcp_server.hpp"

#include "apps/orvanta/tool_schema.hpp"
#include "host/base/errors.hpp"

#include <iostream>

namespace orvanta::app {
namespace {

constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;

const std::set<std::string>& supported_versions() {
  static const std::set<std::string> v = {"2025-11-25", "2025-06-18", "2025-03-26", "2024-11-05"};
  return v;
}

Json text_result(const Json& value, bool is_error) {
  return {{"content", Json::array({{{"type", "text"}, {"text", value.is_string() ? value.get<std::string>() : value.dump(2)}}})},
          {"isError", is_error}};
}

std::string string_argument(const Json& args, const char* name, bool required) {
  if (!args.contains(name) || args.at(name).is_null()) {
    if (required) throw ValueError(std::string("Argument `") + name + "` is required.");
    return "";
  }
  if (!args.at(name).is_string()) throw ValueError(std::string("Argument `") + name + "` must be a string.");
  return args.at(name).get<std::string>();
}

}  // namespace

// The tool list reads the design variables through the process-wide geometry model, so it is
// built before the worker that runs tool calls starts.
McpServer::McpServer(CaseManager& cases, Writer writer)
    : cases_(cases), writer_(std::move(writer)), tools_(build_tool_list()), worker_([this] { worker_loop(); }) {}

McpServer::~McpServer() {
  {
    std::lock_guard<std::mutex> lock(jobs_mutex_);
    stopping_ = true;
  }
  jobs_cv_.notify_all();
  worker_.join();
}

void McpServer::send(const Json& message) {
  const std::string line = message.dump(-1, ' ', false, Json::error_handler_t::replace);
  std::lock_guard<std::mutex> lock(out_mutex_);
  writer_(line);
}

void McpServer::reply(const Json& id, const Json& result) { send({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}); }

void McpServer::reply_error(const Json& id, int code, const std::string& message) {
  send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void McpServer::handle_line(const std::string& line) {
  if (line.find_first_not_of(" \t\r\n") == std::string::npos) return;
  Json message;
  try {
    message = Json::parse(line);
  } catch (const Json::parse_error&) {
    reply_error(nullptr, kParseError, "Parse error: the message is not valid JSON.");
    return;
  }
  if (!message.is_object() || message.value("jsonrpc", "") != "2.0") {
    reply_error(message.is_object() && message.contains("id") ? message["id"] : Json(), kInvalidRequest,
                "Invalid request: expected a JSON-RPC 2.0 object.");
    return;
  }
  if (!message.contains("method")) return;  // a response to us; we send no requests
  if (!message["method"].is_string()) {
    reply_error(message.value("id", Json()), kInvalidRequest, "Invalid request: method must be a string.");
    return;
  }
  if (message.contains("id")) handle_request(message);
  else handle_notification(message);
}

void McpServer::handle_notification(const Json& message) {
  if (message["method"] != "notifications/cancelled") return;  // initialized and others need no answer
  const Json params = message.value("params", Json::object());
  if (!params.is_object() || !params.contains("requestId")) return;
  std::lock_guard<std::mutex> lock(jobs_mutex_);
  const std::string id = params["requestId"].dump();
  for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
    if (it->id.dump() == id) {
      jobs_.erase(it);  // not started yet: dropped without an answer
      return;
    }
  }
  if (busy_) cancelled_.insert(id);
}

void McpServer::handle_request(const Json& message) {
  const Json& id = message["id"];
  if (!id.is_string() && !id.is_number_integer()) {
    reply_error(nullptr, kInvalidRequest, "Invalid request: id must be a string or an integer.");
    return;
  }
  const std::string method = message["method"];
  const Json params = message.value("params", Json::object());
  if (method == "initialize") {
    const std::string asked = params.is_object() ? params.value("protocolVersion", "") : "";
    const std::string version = supported_versions().count(asked) ? asked : latest_protocol_version();
    reply(id, {{"protocolVersion", version},
               {"capabilities", {{"tools", {{"listChanged", false}}}}},
               {"serverInfo", {{"name", "orvanta"}, {"title", "orvanta aircraft design skills"}, {"version", "0.1.0"}}},
               {"instructions",
                "Each skill tool starts a case and returns at once while the run works in the background; poll it "
                "with check_case until the run passed and the analysis verdict is returned."}});
  } else if (method == "ping") {
    reply(id, Json::object());
  } else if (method == "tools/list") {
    reply(id, {{"tools", tool_list()}});
  } else if (method == "tools/call") {
    if (!params.is_object() || !params.contains("name") || !params["name"].is_string()) {
      reply_error(id, kInvalidParams, "Invalid params: tools/call needs a tool name.");
      return;
    }
    Job job{id, params["name"], params.value("arguments", Json::object()), Json()};
    if (params.contains("_meta") && params["_meta"].is_object()) job.progress_token = params["_meta"].value("progressToken", Json());
    bool known = false;
    for (const auto& t : tool_list()) known = known || t["name"] == job.name;
    if (!known) {
      reply_error(id, kInvalidParams, "Unknown tool: " + job.name);
      return;
    }
    {
      std::lock_guard<std::mutex> lock(jobs_mutex_);
      jobs_.push_back(std::move(job));
    }
    jobs_cv_.notify_all();
  } else {
    reply_error(id, kMethodNotFound, "Method not found: " + method);
  }
}

bool McpServer::take_cancelled(const Json& id) {
  std::lock_guard<std::mutex> lock(jobs_mutex_);
  return cancelled_.erase(id.dump()) > 0;
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
      busy_ = true;
    }
    const Json result = call_tool(job.name, job.arguments, job.progress_token);
    const bool cancelled = take_cancelled(job.id);
    if (!cancelled) reply(job.id, result);
    {
      std::lock_guard<std::mutex> lock(jobs_mutex_);
      busy_ = false;
    }
    jobs_cv_.notify_all();
  }
}

void McpServer::drain() {
  std::unique_lock<std::mutex> lock(jobs_mutex_);
  jobs_cv_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

Json McpServer::build_tool_list() {
  Json tools = Json::array();
  for (const auto& skill : cases_.agent().skills()) {
    Json info;
    std::string description = skill->description();
    try {
      skill->inputs = Json::object();
      info = skill->get_input_info();
    } catch (const std::exception& e) {
      // The static inputs stay usable when the design variables cannot be read.
      info = skill->input_info();
      description += " (Design-variable inputs are unavailable: " + std::string(e.what()) + ")";
    }
    tools.push_back({{"name", skill->name()}, {"description", description},
                     {"inputSchema", skill_tool_schema(info, skill->prereq_skill().has_value())}});
  }
  tools.push_back({{"name", "check_case"},
                   {"description",
                    "Poll a case started by a skill tool: reports the background run while it works; once the run "
                    "passed, analyzes the case (figures, metrics, viewers) and returns the verdict. Later calls return "
                    "the stored verdict."},
                   {"inputSchema", {{"type", "object"},
                                    {"properties", {{"case_name", {{"type", "string"}, {"description", "Name of the case."}}}}},
                                    {"required", Json::array({"case_name"})}}}});
  tools.push_back({{"name", "list_cases"},
                   {"description", "List the cases of the working directory with their skill, state and verdict."},
                   {"inputSchema", {{"type", "object"}, {"properties", Json::object()}}}});
  tools.push_back({{"name", "stop_case"},
                   {"description", "Stop the background run of a case."},
                   {"inputSchema", {{"type", "object"},
                                    {"properties", {{"case_name", {{"type", "string"}, {"description", "Name of the case."}}}}},
                                    {"required", Json::array({"case_name"})}}}});
  return tools;
}

Json McpServer::call_tool(const std::string& name, const Json& arguments, const Json& progress_token) {
  ProgressFn progress;
  if (!progress_token.is_null()) {
    progress = [this, progress_token](double step, std::optional<double> total, const std::string& message) {
      Json params = {{"progressToken", progress_token}, {"progress", step}, {"message", message}};
      if (total) params["total"] = *total;
      send({{"jsonrpc", "2.0"}, {"method", "notifications/progress"}, {"params", params}});
    };
  }
  try {
    if (!arguments.is_object()) throw ValueError("Tool arguments must be a JSON object.");
    if (name == "check_case") return text_result(cases_.check(string_argument(arguments, "case_name", true), progress), false);
    if (name == "list_cases") return text_result(cases_.list(), false);
    if (name == "stop_case") {
      const bool stopped = cases_.stop(string_argument(arguments, "case_name", true));
      return text_result(Json{{"stopped", stopped}}, false);
    }
    StartRequest request;
    request.skill = name;
    request.case_name = string_argument(arguments, "case_name", false);
    request.mesh_case = string_argument(arguments, "mesh_case", false);
    if (arguments.contains("advanced_parameters") && !arguments["advanced_parameters"].is_null()) {
      if (!arguments["advanced_parameters"].is_object()) throw ValueError("Argument `advanced_parameters` must be an object.");
      request.adv_params = arguments["advanced_parameters"];
    }
    for (const auto& [key, value] : arguments.items())
      if (key != "case_name" && key != "mesh_case" && key != "advanced_parameters") request.inputs[key] = value;
    return text_result(cases_.start(request, progress), false);
  } catch (const std::exception& e) {
    return text_result(Json{{"error", {{"kind", error_kind(e)}, {"message", e.what()}}}}, true);
  }
}

}  // namespace orvanta::app
