#include "apps/orvanta/tool_metadata.hpp"

#include <map>

namespace orvanta::app {
namespace {

Json nullable(const char* type) { return {{"type", Json::array({type, "null"})}}; }

// Phase results are objects whose keys differ by skill and phase; only their frame is fixed.
Json phase_results_schema() {
  Json item = {{"type", "object"}};
  item["properties"] = {{"phase", {{"type", "string"}}}, {"skill", {{"type", "string"}}}, {"status", {{"type", "string"}}}};
  return {{"type", "array"}, {"items", item}};
}

Json case_answer_schema() {
  return {{"type", "object"},
          {"properties", {{"case_name", {{"type", "string"}}}, {"case_dir", {{"type", "string"}}},
                          {"skill", {{"type", "string"}}}, {"state", {{"type", "string"}}},
                          {"results", phase_results_schema()}, {"next", {{"type", "string"}}}}},
          {"required", Json::array({"case_name", "case_dir", "skill", "results"})}};
}

Json case_list_schema() {
  const Json entry = {{"type", "object"},
                      {"properties", {{"case_name", {{"type", "string"}}}, {"skill", {{"type", "string"}}},
                                      {"state", {{"type", "string"}}}, {"created_at", {{"type", "number"}}},
                                      {"verdict", nullable("string")}}},
                      {"required", Json::array({"case_name", "skill", "state"})}};
  const Json skipped = {{"type", "object"},
                        {"properties", {{"name", {{"type", "string"}}}, {"reason", {{"type", "string"}}}}}};
  return {{"type", "object"},
          {"properties", {{"cases", {{"type", "array"}, {"items", entry}}},
                          {"skipped", {{"type", "array"}, {"items", skipped}}}}},
          {"required", Json::array({"cases"})}};
}

Json stop_schema() {
  return {{"type", "object"}, {"properties", {{"stopped", {{"type", "boolean"}}}}}, {"required", Json::array({"stopped"})}};
}

Json hints(bool read_only, bool destructive, bool idempotent) {
  Json h = {{"readOnlyHint", read_only}};
  if (!read_only) h["destructiveHint"] = destructive;
  if (!read_only) h["idempotentHint"] = idempotent;
  h["openWorldHint"] = false;
  return h;
}

struct Metadata {
  const char* title;
  Json annotations;
  Json output_schema;
};

const std::map<std::string, Metadata>& metadata() {
  // Skill tools create a new case each call: neither destructive nor idempotent.
  static const std::map<std::string, Metadata> m = {
      {"generate-cfd-mesh", {"Generate a CFD mesh", hints(false, false, false), case_answer_schema()}},
      {"run-cfd-simulation", {"Run a CFD simulation", hints(false, false, false), case_answer_schema()}},
      {"run-aero-optimization",
       {"Run an aerodynamic shape optimization", hints(false, false, false), case_answer_schema()}},
      {"check_case", {"Check a case", hints(true, false, true), case_answer_schema()}},
      {"list_cases", {"List cases", hints(true, false, true), case_list_schema()}},
      {"stop_case", {"Stop a case's run", hints(false, true, true), stop_schema()}},
  };
  return m;
}

}  // namespace

void add_tool_metadata(Json& tool) {
  const auto it = metadata().find(tool.value("name", ""));
  if (it == metadata().end()) return;
  Json annotations = it->second.annotations;
  annotations["title"] = it->second.title;
  tool["title"] = it->second.title;
  tool["annotations"] = annotations;
  tool["outputSchema"] = it->second.output_schema;
}

Json structured_content(const std::string& tool, const Json& value) {
  if (tool == "list_cases") return {{"cases", value}};
  return value;
}

}  // namespace orvanta::app
