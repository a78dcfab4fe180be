#pragma once
// The geometry API the design-variable code calls: twelve operations and two constants, with
// the meaning of OpenVSP's scripting interface. The model is process-wide: operations on
// one API object must not overlap.

#include <string>
#include <vector>

namespace orvanta::openvsp {

constexpr int SET_ALL = 0;
constexpr int EXPORT_STL = 2;

struct ErrorRecord {
  int code = 0;
  std::string text;
};

class OpenVspApi {
 public:
  virtual ~OpenVspApi() = default;

  virtual void ClearVSPModel() = 0;
  // Failures are recorded in the error queue, never thrown.
  virtual void ReadVSPFile(const std::string& path) = 0;
  virtual void Update() = 0;
  virtual std::vector<std::string> FindGeomsWithName(const std::string& name) = 0;
  virtual std::string GetXSecSurf(const std::string& geom_id, int index) = 0;
  virtual std::string GetXSec(const std::string& xsec_surf_id, int xsec_index) = 0;
  // Empty id when the parameter is absent.
  virtual std::string GetXSecParm(const std::string& xsec_id, const std::string& name) = 0;
  virtual std::string FindParm(const std::string& geom_id, const std::string& name, const std::string& group) = 0;
  virtual double GetParmVal(const std::string& parm_id) = 0;
  virtual double SetParmVal(const std::string& parm_id, double value) = 0;
  virtual void WriteVSPFile(const std::string& path) = 0;
  virtual void ExportFile(const std::string& path, int set, int file_type) = 0;

  // The error queue: what read, write and export failures recorded since it was drained.
  virtual int GetNumTotalErrors() = 0;
  virtual std::vector<ErrorRecord> PopAllErrors() = 0;
};

}  // namespace orvanta::openvsp
