#include "fakes/fake_openvsp.hpp"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace orvanta::testing {

// Ids: "G<i>" component, "S<i>" its surface, "X<i>_<k>" cross-section k,
// "P<i>|<group>|<parm>" group parameter, "Q<i>_<k>|<parm>" cross-section parameter.

void FakeOpenVsp::ClearVSPModel() {
  calls.push_back("ClearVSPModel");
  model.clear();
}

void FakeOpenVsp::ReadVSPFile(const std::string& path) {
  calls.push_back("ReadVSPFile " + path);
  if (fail_reads || !std::filesystem::is_regular_file(path)) {
    errors.push_back({1, "ReadVSPFile::Error reading " + path});
    return;
  }
  model = template_model;
}

void FakeOpenVsp::Update() { calls.push_back("Update"); }

std::vector<std::string> FakeOpenVsp::FindGeomsWithName(const std::string& name) {
  calls.push_back("FindGeomsWithName " + name);
  std::vector<std::string> ids;
  for (size_t i = 0; i < model.size(); ++i)
    if (model[i].name == name) ids.push_back("G" + std::to_string(i));
  return ids;
}

std::string FakeOpenVsp::GetXSecSurf(const std::string& geom_id, int index) {
  calls.push_back("GetXSecSurf " + geom_id + " " + std::to_string(index));
  return "S" + geom_id.substr(1);
}

std::string FakeOpenVsp::GetXSec(const std::string& surf_id, int index) {
  calls.push_back("GetXSec " + surf_id + " " + std::to_string(index));
  const size_t c = std::stoul(surf_id.substr(1));
  if (c >= model.size() || index < 0 || static_cast<size_t>(index) >= model[c].xsecs.size()) return "";
  return "X" + surf_id.substr(1) + "_" + std::to_string(index);
}

std::string FakeOpenVsp::GetXSecParm(const std::string& xsec_id, const std::string& name) {
  calls.push_back("GetXSecParm " + xsec_id + " " + name);
  if (xsec_id.empty()) return "";
  const std::string id = "Q" + xsec_id.substr(1) + "|" + name;
  return lookup(id) ? id : "";
}

std::string FakeOpenVsp::FindParm(const std::string& geom_id, const std::string& name, const std::string& group) {
  calls.push_back("FindParm " + geom_id + " " + name + " " + group);
  const std::string id = "P" + geom_id.substr(1) + "|" + group + "|" + name;
  return lookup(id) ? id : "";
}

double FakeOpenVsp::GetParmVal(const std::string& parm_id) {
  calls.push_back("GetParmVal " + parm_id);
  double* v = lookup(parm_id);
  return v ? *v : 0.0;
}

double FakeOpenVsp::SetParmVal(const std::string& parm_id, double value) {
  calls.push_back("SetParmVal " + parm_id);
  double* v = lookup(parm_id);
  if (v) *v = value;
  return value;
}

void FakeOpenVsp::WriteVSPFile(const std::string& path) {
  calls.push_back("WriteVSPFile " + path);
  std::ofstream f(path);
  if (fail_writes || !f) {
    errors.push_back({2, "WriteVSPFile::Failure Writing File " + path});
    return;
  }
  for (const auto& c : model)
    for (const auto& [g, parms] : c.groups)
      for (const auto& [p, v] : parms) f << c.name << ":" << g << ":" << p << "=" << v << "\n";
}

void FakeOpenVsp::ExportFile(const std::string& path, int set, int file_type) {
  calls.push_back("ExportFile " + path + " " + std::to_string(set) + " " + std::to_string(file_type));
  if (model.empty()) return;
  std::ofstream f(path);
  f << "solid\n";
  for (const auto& c : model) f << "# " << c.name << "\n";
  f << "endsolid\n";
}

int FakeOpenVsp::GetNumTotalErrors() { return static_cast<int>(errors.size()); }

std::vector<openvsp::ErrorRecord> FakeOpenVsp::PopAllErrors() {
  auto out = errors;
  errors.clear();
  return out;
}

int FakeOpenVsp::count(const std::string& op) const {
  int n = 0;
  for (const auto& c : calls)
    if (c.rfind(op, 0) == 0) ++n;
  return n;
}

std::vector<std::string> FakeOpenVsp::operations() const {
  std::vector<std::string> ops;
  for (const auto& c : calls) ops.push_back(c.substr(0, c.find(' ')));
  return ops;
}

double FakeOpenVsp::value(const std::string& component, const std::string& group, const std::string& parm) const {
  for (const auto& c : model)
    if (c.name == component) return c.groups.at(group).at(parm);
  throw std::out_of_range(component);
}

double FakeOpenVsp::xsec_value(const std::string& component, int xsec, const std::string& parm) const {
  for (const auto& c : model)
    if (c.name == component) return c.xsecs.at(xsec).at(parm);
  throw std::out_of_range(component);
}

double* FakeOpenVsp::lookup(const std::string& id) {
  if (id.size() < 2) return nullptr;
  const auto bar = id.find('|');
  if (bar == std::string::npos) return nullptr;
  if (id[0] == 'P') {
    const size_t c = std::stoul(id.substr(1, bar - 1));
    const auto bar2 = id.find('|', bar + 1);
    const std::string group = id.substr(bar + 1, bar2 - bar - 1), parm = id.substr(bar2 + 1);
    if (c >= model.size()) return nullptr;
    auto g = model[c].groups.find(group);
    if (g == model[c].groups.end()) return nullptr;
    auto p = g->second.find(parm);
    return p == g->second.end() ? nullptr : &p->second;
  }
  if (id[0] == 'Q') {
    const std::string head = id.substr(1, bar - 1);
    const auto us = head.find('_');
    const size_t c = std::stoul(head.substr(0, us)), k = std::stoul(head.substr(us + 1));
    if (c >= model.size() || k >= model[c].xsecs.size()) return nullptr;
    auto p = model[c].xsecs[k].find(id.substr(bar + 1));
    return p == model[c].xsecs[k].end() ? nullptr : &p->second;
  }
  return nullptr;
}

std::vector<FakeComponent> fake_aircraft() {
  FakeComponent wing;
  wing.name = "Wing";
  for (int s = 0; s < 2; ++s) {
    for (int i = 0; i < 6; ++i) {
      wing.groups["UpperCoeff_" + std::to_string(s)]["Au_" + std::to_string(i)] = 0.1 + 0.01 * i + 0.1 * s;
      wing.groups["LowerCoeff_" + std::to_string(s)]["Al_" + std::to_string(i)] = -(0.1 + 0.01 * i + 0.1 * s);
    }
  }
  wing.groups["WingGeom"]["TotalArea"] = 20.0;
  for (int k = 0; k < 3; ++k)
    wing.xsecs.push_back({{"Span", 1.0 + k}, {"Root_Chord", 3.0 - k}, {"Tip_Chord", 2.0 - 0.5 * k}, {"Sweep", 10.0 * k}});
  FakeComponent fuselage;
  fuselage.name = "Fuselage";
  fuselage.groups["Design"]["Length"] = 12.0;
  return {wing, fuselage};
}

}  // namespace orvanta::testing
