#include "vsp/model_data.hpp"

namespace orvanta::vsp {

const char* curve_type_name(int type) {
  static const char* names[] = {"point",          "circle",         "ellipse",
                                "super ellipse",  "rounded rectangle", "general fuselage",
                                "fuselage file",  "NACA 4-series",  "NACA 6-series",
                                "biconvex",       "wedge",          "edit curve",
                                "airfoil file",   "CST airfoil",    "Karman-Trefftz",
                                "NACA 4-digit modified", "NACA 5-digit", "NACA 5-digit modified",
                                "NACA 16-series", "AC 25.773"};
  return type >= 0 && type <= kLastCurveType ? names[type] : "unknown";
}

void ModelData::reserve(size_t parm_count) {
  parms.reserve(parm_count);
  parm_ids_.reserve(parm_count);
}

int ModelData::add_container(ParmContainer c) {
  const int index = static_cast<int>(containers.size());
  container_ids_[c.id] = index;
  containers.push_back(std::move(c));
  return index;
}

int ModelData::add_parm(Parm p) {
  const int index = static_cast<int>(parms.size());
  if (!parm_ids_.try_emplace(p.id, index).second) return -1;
  containers[p.container].parms.push_back(index);
  parms.push_back(std::move(p));
  return index;
}

int ModelData::container_index(std::string_view id) const {
  const auto it = container_ids_.find(std::string(id));
  return it == container_ids_.end() ? -1 : it->second;
}

int ModelData::parm_index(std::string_view id) const {
  const auto it = parm_ids_.find(id);
  return it == parm_ids_.end() ? -1 : it->second;
}

int ModelData::geom_index(std::string_view container_id) const {
  const int c = container_index(container_id);
  if (c < 0 || containers[c].role != ContainerRole::kGeom) return -1;
  return containers[c].geom;
}

int ModelData::find(int container, std::string_view group, std::string_view name) const {
  if (container < 0) return -1;
  for (int p : containers[container].parms)
    if (parms[p].name == name && parms[p].group == group) return p;
  return -1;
}

int ModelData::find_any_group(int container, std::string_view name) const {
  if (container < 0) return -1;
  for (int p : containers[container].parms)
    if (parms[p].name == name) return p;
  return -1;
}

double ModelData::value(int container, std::string_view group, std::string_view name, double fallback) const {
  const int p = find(container, group, name);
  return p < 0 ? fallback : parms[p].value;
}

void ModelData::set(int container, std::string_view group, std::string_view name, double value) {
  const int p = find(container, group, name);
  if (p >= 0) parms[p].value = parms[p].limits.clamp(value);
}

}  // namespace orvanta::vsp
