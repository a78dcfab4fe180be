#include "apps/orvanta/tool_schema.hpp"

#include "apps/orvanta/case_state.hpp"

namespace orvanta::app {
namespace {

Json type_schema(const std::string& type) {
  if (type == "int") return {{"type", "integer"}};
  if (type == "float") return {{"type", "number"}};
  if (type == "str") return {{"type", "string"}};
  if (type == "list[float]") return {{"type", "array"}, {"items", {{"type", "number"}}}};
  if (type == "list[list[float]]")
    return {{"type", "array"}, {"items", {{"type", "array"}, {"items", {{"type", "number"}}}}}};
  return Json::object();  // an unknown type text accepts any value
}

}  // namespace

Json input_schema(const Json& record) {
  Json s = type_schema(record.value("type", ""));
  const Json& def = record.contains("default") ? record.at("default") : Json();
  // A null default means "unset": the value may be left null.
  if (def.is_null() && s.contains("type")) s["type"] = Json::array({s["type"], "null"});
  if (record.contains("default")) s["default"] = def;
  if (record.contains("description")) s["description"] = record.at("description");
  return s;
}

Json skill_tool_schema(const Json& input_info, bool has_prerequisite) {
  return skill_tool_schema(input_info, has_prerequisite, rank_limit(work_dir()));
}

Json skill_tool_schema(const Json& input_info, bool has_prerequisite, const RankLimit& ranks) {
  Json properties = Json::object();
  for (const auto& [name, record] : input_info.items()) {
    properties[name] = input_schema(record);
    if (const auto range = input_range(name, record.value("type", ""), ranks)) add_range_to_schema(properties[name], *range);
  }
  properties["case_name"] = {
      {"type", "string"},
      {"description",
       "Name of the case directory to create in the working directory (letters, digits, '.', '_', '-', not "
       "starting with '.' or '-'). Leave unset for a generated name."}};
  if (has_prerequisite)
    properties["mesh_case"] = {
        {"type", "string"},
        {"description",
         "Name of the generate-cfd-mesh case whose mesh and aircraft model this run uses. Leave unset for the newest "
         "mesh case whose run passed."}};
  properties["advanced_parameters"] = {
      {"type", "object"},
      {"description",
       "Optional overrides of the skill's advanced parameters (solver settings, plot ranges, grading thresholds), "
       "as name: value."}};
  return {{"type", "object"}, {"properties", properties}};
}

}  // namespace orvanta::app
