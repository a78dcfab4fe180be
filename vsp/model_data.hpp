#pragma once
// What the engine understands of a .vsp3 model: components, their parameter containers,
// cross-section surfaces, cross-sections and curves. Every parameter keeps the XML element it
// came from, so a write can put values back into the tree it was read from.

#include "vsp/parm_limits.hpp"
#include "vsp/vec3.hpp"

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvanta::vsp {

// Names and id view the document's own text, which lives as long as the model.
struct Parm {
  std::string_view name;
  std::string_view group;  // the group element's name in the file (no cross-section suffix)
  std::string_view id;
  double value = 0.0;
  ParmLimits limits;
  int container = -1;
  pugi::xml_node node;

  std::string path() const { return std::string(group) + "/" + std::string(name); }
};

// Where a container sits in the model.
enum class ContainerRole { kVehicle, kGeom, kXSecSurf, kXSec, kXSecCurve };

struct ParmContainer {
  std::string id;
  std::string name;
  ContainerRole role = ContainerRole::kGeom;
  int geom = -1;  // owning component
  int xsec = -1;  // cross-section index for kXSec / kXSecCurve: the suffix of display groups
  std::vector<int> parms;
};

// Section curve kinds, numbered as in the file's XSecCurve/Type.
enum CurveType : int {
  kPointCurve = 0,
  kCircleCurve = 1,
  kEllipseCurve = 2,
  kSuperEllipseCurve = 3,
  kRoundedRectCurve = 4,
  kGeneralFuseCurve = 5,
  kFuseFileCurve = 6,
  kFourSeriesCurve = 7,
  kSixSeriesCurve = 8,
  kBiconvexCurve = 9,
  kWedgeCurve = 10,
  kEditCurve = 11,
  kFileAirfoilCurve = 12,
  kCstAirfoilCurve = 13,
  kKarmanTrefftzCurve = 14,
  kFourDigitModCurve = 15,
  kFiveDigitCurve = 16,
  kFiveDigitModCurve = 17,
  kSixteenSeriesCurve = 18,
  kAc25773Curve = 19,
};
constexpr int kLastCurveType = 19;
const char* curve_type_name(int type);

struct XSecCurve {
  int container = -1;
  int type = kPointCurve;
  std::vector<Vec2> upper_points, lower_points;  // file airfoils, unit chord, LE to TE
  std::vector<double> measured_shape;            // CST coefficients ThickChord was measured for
};

struct XSec {
  int container = -1;
  int type = 0;              // 0 fuselage, 1 stack, 2 wing, ...
  std::vector<int> drivers;  // wing sections: the three driving planform variables
  XSecCurve curve;
};

struct Geom {
  int container = -1;
  std::string type_name;
  int type_id = 0;
  std::string parent_id;     // "NONE" for top-level components
  std::vector<int> set_flags;  // empty: member of every set
  int surf_container = -1;   // -1: no cross-section surface (pods, ...)
  std::vector<XSec> xsecs;
};

class ModelData {
 public:
  std::vector<Parm> parms;
  std::vector<ParmContainer> containers;
  std::vector<Geom> geoms;
  int vehicle_container = -1;

  void reserve(size_t parm_count);
  int add_container(ParmContainer c);
  int add_parm(Parm p);  // registers it with its container; -1 (and nothing added) when its id is taken
  // Index of a container / parm by id, -1 when absent.
  int container_index(std::string_view id) const;
  int parm_index(std::string_view id) const;
  int geom_index(std::string_view container_id) const;
  // Parameter `name` of raw group `group` in a container, -1 when absent.
  int find(int container, std::string_view group, std::string_view name) const;
  // First parameter called `name` in any group of the container, -1 when absent.
  int find_any_group(int container, std::string_view name) const;
  double value(int container, std::string_view group, std::string_view name, double fallback) const;
  // Stores a value clamped to the parameter's limits when the parameter exists.
  void set(int container, std::string_view group, std::string_view name, double value);

  const std::string& geom_name(const Geom& g) const { return containers[g.container].name; }

 private:
  std::unordered_map<std::string, int> container_ids_;
  std::unordered_map<std::string_view, int> parm_ids_;
};

}  // namespace orvanta::vsp
