#include "vsp/parm_limits.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace orvanta::vsp {
namespace {

constexpr double kBig = 1.0e12;

struct Entry {
  const char* group;
  const char* name;  // nullptr: every parameter of the group
  ParmLimits limits;
};

constexpr ParmLimits real(double lo, double hi) { return {lo, hi, false}; }
constexpr ParmLimits integer(double lo, double hi) { return {lo, hi, true}; }

const Entry kEntries[] = {
    // Placement and symmetry.
    {"XForm", "X_Rel_Rotation", real(-360, 360)},
    {"XForm", "Y_Rel_Rotation", real(-360, 360)},
    {"XForm", "Z_Rel_Rotation", real(-360, 360)},
    {"XForm", "X_Rotation", real(-360, 360)},
    {"XForm", "Y_Rotation", real(-360, 360)},
    {"XForm", "Z_Rotation", real(-360, 360)},
    {"XForm", "Origin", real(0, 1)},
    {"XForm", "Scale", real(1e-5, kBig)},
    {"XForm", "Last_Scale", real(1e-5, kBig)},
    {"XForm", "Abs_Or_Relitive_flag", integer(0, 1)},
    {"Attach", "Trans_Attach_Flag", integer(0, 5)},
    {"Attach", "Rots_Attach_Flag", integer(0, 5)},
    {"Sym", "Sym_Planar_Flag", integer(0, 7)},
    {"Sym", "Sym_Axial_Flag", integer(0, 32)},
    {"Sym", "Sym_Rot_N", integer(2, 1000)},
    {"Sym", "Sym_Ancestor", integer(0, 1000)},
    {"Sym", "Sym_Ancestor_Origin_Flag", integer(0, 1)},
    // Tessellation and end caps.
    {"Shape", "Tess_U", integer(2, 1000)},
    {"Shape", "Tess_W", integer(2, 1000)},
    {"EndCap", "CapUMinOption", integer(0, 9)},
    {"EndCap", "CapUMaxOption", integer(0, 9)},
    {"EndCap", "CapUMinTess", integer(1, 100)},
    {"WingGeom", "LECluster", real(1e-4, 10)},
    {"WingGeom", "TECluster", real(1e-4, 10)},
    {"WingGeom", "RelativeDihedralFlag", integer(0, 1)},
    {"WingGeom", "RelativeTwistFlag", integer(0, 1)},
    {"WingGeom", "RotateAirfoilMatchDideralFlag", integer(0, 1)},
    {"WingGeom", "CorrectAirfoilthicknessFlag", integer(0, 1)},
    // Wing sections.
    {"XSec", "Span", real(1e-10, 1e6)},
    {"XSec", "Root_Chord", real(0, 1e6)},
    {"XSec", "Tip_Chord", real(0, 1e6)},
    {"XSec", "Area", real(1e-10, kBig)},
    {"XSec", "Aspect", real(1e-10, 1000)},
    {"XSec", "Taper", real(0, 1000)},
    {"XSec", "Avg_Chord", real(0, 1e6)},
    {"XSec", "Sweep", real(-89, 89)},
    {"XSec", "Sweep_Location", real(0, 1)},
    {"XSec", "Sec_Sweep", real(-89, 89)},
    {"XSec", "Sec_Sweep_Location", real(0, 1)},
    {"XSec", "Dihedral", real(-360, 360)},
    {"XSec", "Twist", real(-180, 180)},
    {"XSec", "Twist_Location", real(0, 1)},
    {"XSec", "SectTess_U", integer(2, 1000)},
    {"XSec", "InCluster", real(1e-4, 10)},
    {"XSec", "OutCluster", real(1e-4, 10)},
    {"XSec", "FwdCluster", real(1e-4, 10)},
    {"XSec", "AftCluster", real(1e-4, 10)},
    {"XSec", "RotateMatchDideralFlag", integer(0, 1)},
    {"XSec", "TwistInXZPlaneFlag", integer(0, 1)},
    // Fuselage and pod.
    {"Design", "Length", real(1e-8, kBig)},
    {"Design", "FineRatio", real(1e-4, kBig)},
    {"XSec", "XLocPercent", real(0, 1)},
    {"XSec", "RefLength", real(1e-8, kBig)},
    // Airfoils.
    {"XSecCurve", "ThickChord", real(0, 1)},
    {"XSecCurve", "Camber", real(0, 0.09)},
    {"XSecCurve", "CamberLoc", real(0.1, 0.9)},
    {"XSecCurve", "SharpTEFlag", integer(0, 1)},
    {"XSecCurve", "CamberInputFlag", integer(0, 1)},
    {"XSecCurve", "Invert", integer(0, 1)},
    {"XSecCurve", "UpDegree", integer(2, 30)},
    {"XSecCurve", "LowDegree", integer(2, 30)},
    {"XSecCurve", "ContLERad", integer(0, 1)},
    {"XSecCurve", "Chord", real(0, kBig)},
    {"XSecCurve", "Scale", real(1e-5, kBig)},
    {"XSecCurve", "Theta", real(-180, 180)},
    {"UpperCoeff", nullptr, real(-kBig, kBig)},
    {"LowerCoeff", nullptr, real(-kBig, kBig)},
    // Body section curves.
    {"XSecCurve", "Circle_Diameter", real(0, kBig)},
    {"XSecCurve", "Ellipse_Width", real(0, kBig)},
    {"XSecCurve", "Ellipse_Height", real(0, kBig)},
    {"XSecCurve", "Super_Width", real(0, kBig)},
    {"XSecCurve", "Super_Height", real(0, kBig)},
    {"XSecCurve", "Super_M", real(0.2, 20)},
    {"XSecCurve", "Super_N", real(0.2, 20)},
    {"XSecCurve", "Super_M_bot", real(0.2, 20)},
    {"XSecCurve", "Super_N_bot", real(0.2, 20)},
    {"XSecCurve", "Super_TopBotSym", integer(0, 1)},
    {"XSecCurve", "Super_MaxWidthLoc", real(-10, 10)},
    {"XSecCurve", "RoundedRect_Width", real(0, kBig)},
    {"XSecCurve", "RoundedRect_Height", real(0, kBig)},
    {"XSecCurve", "RoundRectXSec_Radius", real(0, kBig)},
    {"XSecCurve", "RoundRectXSec_RadiusTL", real(0, kBig)},
    {"XSecCurve", "RoundRectXSec_RadiusBL", real(0, kBig)},
    {"XSecCurve", "RoundRectXSec_RadiusBR", real(0, kBig)},
    {"XSecCurve", "RoundedRect_RadiusSymmetryType", integer(0, 3)},
    {"XSecCurve", "Width", real(0, kBig)},
    {"XSecCurve", "Height", real(0, kBig)},
    {"XSecCurve", "MaxWidthLoc", real(-1, 1)},
    {"XSecCurve", "TopStr", real(0, 2)},
    {"XSecCurve", "BotStr", real(0, 2)},
    {"XSecCurve", "UpStr", real(0, 2)},
    {"XSecCurve", "LowStr", real(0, 2)},
    {"XSecCurve", "TopTanAngle", real(0, 90)},
    {"XSecCurve", "BotTanAngle", real(0, 90)},
};

}  // namespace

double ParmLimits::clamp(double value) const {
  if (integer) value = std::round(value);
  return std::min(std::max(value, lower), upper);
}

ParmLimits parm_limits(std::string_view group, std::string_view name) {
  // Looked up once per parameter read, so by name first without building any string.
  struct Index {
    std::unordered_map<std::string_view, std::vector<const Entry*>> by_name;
    std::unordered_map<std::string_view, const Entry*> by_group;
  };
  static const Index index = [] {
    Index i;
    for (const auto& e : kEntries) {
      if (e.name) i.by_name[e.name].push_back(&e);
      else i.by_group[e.group] = &e;
    }
    return i;
  }();
  if (const auto it = index.by_name.find(name); it != index.by_name.end())
    for (const Entry* e : it->second)
      if (group == e->group) return e->limits;
  if (const auto it = index.by_group.find(group); it != index.by_group.end()) return it->second->limits;
  return {};
}

}  // namespace orvanta::vsp
