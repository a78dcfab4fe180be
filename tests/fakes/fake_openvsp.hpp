#pragma once
// An in-memory stand-in for the geometry API: components with parameter groups and one
// cross-section surface, an error queue and a log of every call, so the order, count and
// messages of design-variable operations can be checked without the engine.

#include "host/openvsp/api.hpp"

#include <map>
#include <string>
#include <vector>

namespace orvanta::testing {

struct FakeComponent {
  std::string name;
  // group -> parameter -> value
  std::map<std::string, std::map<std::string, double>> groups;
  // cross-sections of surface 0: parameter -> value
  std::vector<std::map<std::string, double>> xsecs;
};

class FakeOpenVsp : public openvsp::OpenVspApi {
 public:
  // The model that ReadVSPFile loads from any existing file.
  std::vector<FakeComponent> template_model;
  std::vector<FakeComponent> model;
  std::vector<std::string> calls;
  std::vector<openvsp::ErrorRecord> errors;
  bool fail_writes = false;
  bool fail_reads = false;

  void ClearVSPModel() override;
  void ReadVSPFile(const std::string& path) override;
  void Update() override;
  std::vector<std::string> FindGeomsWithName(const std::string& name) override;
  std::string GetXSecSurf(const std::string& geom_id, int index) override;
  std::string GetXSec(const std::string& surf_id, int index) override;
  std::string GetXSecParm(const std::string& xsec_id, const std::string& name) override;
  std::string FindParm(const std::string& geom_id, const std::string& name, const std::string& group) override;
  double GetParmVal(const std::string& parm_id) override;
  double SetParmVal(const std::string& parm_id, double value) override;
  void WriteVSPFile(const std::string& path) override;
  void ExportFile(const std::string& path, int set, int file_type) override;
  int GetNumTotalErrors() override;
  std::vector<openvsp::ErrorRecord> PopAllErrors() override;

  // Number of calls whose log entry starts with `op`.
  int count(const std::string& op) const;
  // The call log with arguments stripped: "ClearVSPModel", "ReadVSPFile", ...
  std::vector<std::string> operations() const;
  double value(const std::string& component, const std::string& group, const std::string& parm) const;
  double xsec_value(const std::string& component, int xsec, const std::string& parm) const;

 private:
  double* lookup(const std::string& parm_id);
};

// A wing "Wing" with CST coefficients UpperCoeff_0/1 (Au_0..5), LowerCoeff_0/1 (Al_0..5),
// cross-sections 0..2 with Span/Root_Chord/Tip_Chord/Sweep, and a "Fuselage" with Length.
std::vector<FakeComponent> fake_aircraft();

}  // namespace orvanta::testing
