#include "vsp/internal/xml_reader.hpp"

#include "vsp/ids.hpp"
#include "vsp/number_text.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <string>

namespace orvanta::vsp::internal {
namespace {

constexpr int kOldestVersion = 4;

std::string text_of(pugi::xml_node node) { return node.child_value(); }

// The integer text of an optional element (type codes): nullopt when the element is absent,
// ReadError when its text is not a modest integer.
std::optional<int> small_integer(pugi::xml_node node, const std::string& what) {
  if (!node) return std::nullopt;
  const auto v = parse_number(text_of(node));
  if (!v || *v != std::floor(*v) || std::abs(*v) > 1e6)
    throw ReadError(what + " is not an integer: '" + text_of(node) + "'");
  return static_cast<int>(*v);
}

bool is_group_element(pugi::xml_node n) {
  if (n.type() != pugi::node_element) return false;
  const std::string_view tag = n.name();
  return tag != "ID" && tag != "Name" && tag != "AttributeCollection";
}

class Reader {
 public:
  explicit Reader(ModelData& data) : data_(data) {}

  void read(pugi::xml_document& doc) {
    data_.reserve(4096);  // a typical aircraft model has one to three thousand parameters
    const pugi::xml_node root = doc.document_element();
    if (!root) throw ReadError("the document has no root element");
    if (std::string_view(root.name()) != "Vsp_Geometry")
      throw ReadError("the root element is <" + std::string(root.name()) + ">, not <Vsp_Geometry>");
    read_version(root);
    const pugi::xml_node vehicle = root.child("Vehicle");
    if (!vehicle) throw ReadError("<Vsp_Geometry> has no <Vehicle> element");
    if (const pugi::xml_node pc = vehicle.child("ParmContainer")) {
      ParmContainer c;
      c.role = ContainerRole::kVehicle;
      data_.vehicle_container = read_container(pc, c, "the vehicle");
    }
    for (pugi::xml_node g : vehicle.children("Geom")) read_geom(g);
  }

 private:
  void read_version(pugi::xml_node root) {
    const pugi::xml_node v = root.child("Version");
    if (!v) throw ReadError("<Vsp_Geometry> has no <Version> element");
    const auto n = parse_number(text_of(v));
    if (!n || *n != std::floor(*n)) throw ReadError("<Version> is not an integer: '" + text_of(v) + "'");
    if (*n < kOldestVersion)
      throw ReadError("file version " + text_of(v) + " is older than " + std::to_string(kOldestVersion) +
                      ", the oldest OpenVSP still reads");
  }

  // Reads one <ParmContainer>; `where` names its owner in messages.
  int read_container(pugi::xml_node pc, ParmContainer c, const std::string& where) {
    pugi::xml_node id_node = pc.child("ID");
    c.id = text_of(id_node);
    if (c.id.empty()) throw ReadError("the parameter container of " + where + " has no <ID>");
    if (data_.container_index(c.id) >= 0) {
      c.id = fresh_id(10, [&](const std::string& id) { return data_.container_index(id) >= 0; });
      id_node.text().set(c.id.c_str());
    }
    c.name = text_of(pc.child("Name"));
    const int index = data_.add_container(std::move(c));
    for (pugi::xml_node group : pc.children()) {
      if (!is_group_element(group)) continue;
      for (pugi::xml_node p : group.children()) {
        if (p.type() == pugi::node_element) read_parm(p, group.name(), index, where);
      }
    }
    return index;
  }

  void read_parm(pugi::xml_node p, const char* group, int container, const std::string& where) {
    pugi::xml_attribute value_attr, id_attr;
    for (pugi::xml_attribute a : p.attributes()) {  // one pass: parameters carry two attributes
      const char* n = a.name();
      if (n[0] == 'V' && std::strcmp(n, "Value") == 0) value_attr = a;
      else if (n[0] == 'I' && n[1] == 'D' && n[2] == '\0') id_attr = a;
    }
    if (!value_attr && !id_attr) return;  // not a parameter: kept in the tree, not interpreted
    auto label = [&] { return "parameter " + std::string(group) + "/" + p.name() + " of " + where; };
    if (!value_attr) throw ReadError(label() + " has no Value attribute");
    if (!id_attr || std::string_view(id_attr.value()).empty()) throw ReadError(label() + " has no ID attribute");
    const auto v = parse_number(value_attr.value());
    if (!v) throw ReadError(label() + " has a Value that is not a number: '" + std::string(value_attr.value()) + "'");
    if (!std::isfinite(*v)) throw ReadError(label() + " has a Value that is not finite: '" + value_attr.value() + "'");
    Parm parm;
    parm.name = p.name();
    parm.group = group;
    parm.id = id_attr.value();
    parm.limits = parm_limits(group, parm.name);
    parm.value = parm.limits.clamp(*v);
    parm.container = container;
    parm.node = p;
    if (data_.add_parm(parm) >= 0) return;
    id_attr.set_value(fresh_id(11, [&](const std::string& id) { return data_.parm_index(id) >= 0; }).c_str());
    parm.id = id_attr.value();
    data_.add_parm(std::move(parm));
  }

  template <typename Taken>
  static std::string fresh_id(int length, Taken taken) {
    std::string id;
    do id = random_id(length);
    while (taken(id));
    return id;
  }

  void read_geom(pugi::xml_node g) {
    const int gi = static_cast<int>(data_.geoms.size());
    const pugi::xml_node pc = g.child("ParmContainer");
    if (!pc) throw ReadError("component " + std::to_string(gi) + " has no <ParmContainer>");
    const pugi::xml_node base = g.child("GeomBase");
    const std::string type_name = text_of(base.child("TypeName"));
    const std::string name = text_of(pc.child("Name"));
    const std::string where = "component `" + name + "`";
    if (type_name.empty()) throw ReadError(where + " has no <GeomBase><TypeName>");

    Geom geom;
    geom.type_name = type_name;
    if (const auto id = small_integer(base.child("TypeID"), where + " <TypeID>")) geom.type_id = *id;
    geom.parent_id = base.child("ParentID") ? text_of(base.child("ParentID")) : "NONE";
    if (const pugi::xml_node sets = g.child("Geom").child("Set_List")) {
      const auto flags = parse_number_list(text_of(sets));
      if (!flags) throw ReadError(where + " has a <Set_List> that is not a list of numbers");
      for (double f : *flags) geom.set_flags.push_back(f != 0.0 ? 1 : 0);
    }
    ParmContainer c;
    c.role = ContainerRole::kGeom;
    c.geom = gi;
    geom.container = read_container(pc, c, where);
    data_.geoms.push_back(std::move(geom));

    for (pugi::xml_node typed : g.children()) {
      const pugi::xml_node surf = typed.child("XSecSurf");
      if (typed.type() != pugi::node_element || !surf) continue;
      read_xsec_surf(typed, surf, gi, where);
      break;
    }
  }

  void read_xsec_surf(pugi::xml_node typed, pugi::xml_node surf, int gi, const std::string& where) {
    const pugi::xml_node pc = typed.child("ParmContainer");
    if (!pc) throw ReadError("the cross-section surface of " + where + " has no <ParmContainer>");
    ParmContainer c;
    c.role = ContainerRole::kXSecSurf;
    c.geom = gi;
    const int surf_container = read_container(pc, c, where);
    data_.geoms[gi].surf_container = surf_container;
    int index = 0;
    for (pugi::xml_node x : surf.children("XSec")) {
      XSec xsec = read_xsec(x, gi, index, where + " cross-section " + std::to_string(index));
      data_.geoms[gi].xsecs.push_back(std::move(xsec));
      ++index;
    }
  }

  XSec read_xsec(pugi::xml_node x, int gi, int index, const std::string& where) {
    XSec xsec;
    const pugi::xml_node pc = x.child("ParmContainer");
    if (!pc) throw ReadError(where + " has no <ParmContainer>");
    ParmContainer c;
    c.role = ContainerRole::kXSec;
    c.geom = gi;
    c.xsec = index;
    xsec.container = read_container(pc, c, where);
    const pugi::xml_node inner = x.child("XSec");
    if (!inner) throw ReadError(where + " has no inner <XSec> element");
    if (const auto t = small_integer(inner.child("Type"), where + " <Type>")) xsec.type = *t;
    xsec.drivers = read_drivers(inner, where);
    const pugi::xml_node curve = inner.child("XSecCurve");
    if (!curve) throw ReadError(where + " has no <XSecCurve>");
    xsec.curve = read_curve(curve, gi, index, where);
    return xsec;
  }

  static std::vector<int> read_drivers(pugi::xml_node inner, const std::string& where) {
    const pugi::xml_node choices = inner.child("DriverGroup").child("ChoiceVec");
    if (!choices) return {};
    const auto values = parse_number_list(text_of(choices));
    if (!values) throw ReadError(where + " has a <ChoiceVec> that is not a list of numbers");
    std::vector<int> drivers;
    for (double v : *values) {
      if (v != std::floor(v) || v < 0 || v > 1000) throw ReadError(where + " has a driver choice out of range");
      drivers.push_back(static_cast<int>(v));
    }
    return drivers;
  }

  XSecCurve read_curve(pugi::xml_node curve, int gi, int index, const std::string& where) {
    XSecCurve out;
    const pugi::xml_node pc = curve.child("ParmContainer");
    if (!pc) throw ReadError(where + " has a curve without <ParmContainer>");
    ParmContainer c;
    c.role = ContainerRole::kXSecCurve;
    c.geom = gi;
    c.xsec = index;
    out.container = read_container(pc, c, where + " curve");
    if (const pugi::xml_node type = curve.child("XSecCurve").child("Type")) {
      const auto t = parse_number(text_of(type));
      if (!t || *t != std::floor(*t) || *t < 0 || *t > kLastCurveType)
        throw ReadError(where + " has an unknown curve type '" + text_of(type) + "'");
      out.type = static_cast<int>(*t);
    }
    if (const pugi::xml_node file = curve.child("FileAirfoil")) {
      out.upper_points = read_points(file.child("UpperPnts"), where + " airfoil upper points");
      out.lower_points = read_points(file.child("LowerPnts"), where + " airfoil lower points");
    }
    return out;
  }

  static std::vector<Vec2> read_points(pugi::xml_node node, const std::string& where) {
    const auto values = parse_number_list(text_of(node));
    if (!values || values->size() % 3 != 0) throw ReadError(where + " are not a list of x, y, z triples");
    std::vector<Vec2> points;
    for (size_t i = 0; i < values->size(); i += 3) {
      if (!std::isfinite((*values)[i]) || !std::isfinite((*values)[i + 1]))
        throw ReadError(where + " hold a value that is not finite");
      points.push_back({(*values)[i], (*values)[i + 1]});
    }
    return points;
  }

  ModelData& data_;
};

}  // namespace

void read_model_data(pugi::xml_document& doc, ModelData& data) { Reader(data).read(doc); }

}  // namespace orvanta::vsp::internal
