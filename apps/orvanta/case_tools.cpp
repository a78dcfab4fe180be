#include "apps/orvanta/case_tools.hpp"

#include "apps/orvanta/tool_metadata.hpp"
#include "apps/orvanta/tool_schema.hpp"
#include "host/base/errors.hpp"

namespace orvanta::app {
namespace {

Json text_result(const Json& value, bool is_error) {
  return {{"content", Json::array({{{"type", "text"}, {"text", value.is_string() ? value.get<std::string>() : value.dump(2)}}})},
          {"isError", is_error}};
}

// A successful answer carries the same JSON twice: as text for clients that read text, and
// as structured content matching the tool's output schema.
Json tool_result(const std::string& tool, const Json& value) {
  Json result = text_result(value, false);
  result["structuredContent"] = structured_content(tool, value);
  return result;
}

std::string string_argument(const Json& args, const char* name, bool required) {
  if (!args.contains(name) || args.at(name).is_null()) {
    if (required) throw ValueError(std::string("Argument `") + name + "` is required.");
    return "";
  }
  if (!args.at(name).is_string()) throw ValueError(std::string("Argument `") + name + "` must be a string.");
  return args.at(name).get<std::string>();
}

Json case_name_schema() {
  return {{"type", "object"},
          {"properties", {{"case_name", {{"type", "string"}, {"description", "Name of the case."}}}}},
          {"required", Json::array({"case_name"})}};
}

// A bad rank setting is refused by every start with its own message; the list still publishes
// the least limit meanwhile.
RankLimit published_rank_limit(const CaseManager& cases) {
  try {
    return cases.rank_limit();
  } catch (const std::exception&) {
    return RankLimit{};
  }
}

}  // namespace

CaseTools::CaseTools(CaseManager& cases) : cases_(cases), tools_(build_tool_list()) {}

Json CaseTools::build_tool_list() {
  const RankLimit ranks = published_rank_limit(cases_);
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
                     {"inputSchema", skill_tool_schema(info, skill->prereq_skill().has_value(), ranks)}});
  }
  tools.push_back({{"name", "check_case"},
                   {"description",
                    "Poll a case started by a skill tool: reports the background run while it works; once the run "
                    "passed, analyzes the case (figures, metrics, viewers) and returns the verdict. Later calls return "
                    "the stored verdict."},
                   {"inputSchema", case_name_schema()}});
  tools.push_back({{"name", "list_cases"},
                   {"description", "List the cases of the working directory with their skill, state and verdict."},
                   {"inputSchema", {{"type", "object"}, {"properties", Json::object()}}}});
  tools.push_back({{"name", "stop_case"},
                   {"description", "Stop the background run of a case."},
                   {"inputSchema", case_name_schema()}});
  for (Json& tool : tools) add_tool_metadata(tool);
  return tools;
}

Json CaseTools::call(const std::string& name, const Json& arguments, const ToolProgress& progress) {
  try {
    if (!arguments.is_object()) throw ValueError("Tool arguments must be a JSON object.");
    if (name == "check_case") return tool_result(name, cases_.check(string_argument(arguments, "case_name", true), progress));
    if (name == "list_cases") return list_cases();
    if (name == "stop_case") {
      const bool stopped = cases_.stop(string_argument(arguments, "case_name", true));
      return tool_result(name, Json{{"stopped", stopped}});
    }
    return call_skill(name, arguments, progress);
  } catch (const std::exception& e) {
    return text_result(Json{{"error", {{"kind", error_kind(e)}, {"message", e.what()}}}}, true);
  }
}

// Folders that look like cases but are not usable ones are named in a second text item, so
// a client reading the first still gets the plain list.
Json CaseTools::list_cases() const {
  Json result = tool_result("list_cases", cases_.list());
  const Json skipped = cases_.skipped_entries();
  if (!skipped.empty()) {
    result["content"].push_back({{"type", "text"}, {"text", "Skipped, not valid cases: " + skipped.dump(2)}});
    result["structuredContent"]["skipped"] = skipped;
  }
  return result;
}

Json CaseTools::call_skill(const std::string& name, const Json& arguments, const ToolProgress& progress) {
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
  return tool_result(name, cases_.start(request, progress));
}

}  // namespace orvanta::app
