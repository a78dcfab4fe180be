#pragma once
// The surface of a wing component: airfoils placed at their stations, ruled between
// neighbouring stations (straight leading and trailing edges), a flat face across blunt
// trailing edges and caps at root and tip (flat, round, edge or sharp; see wing_caps.hpp).

#include "vsp/airfoil.hpp"
#include "vsp/component_surface.hpp"
#include "vsp/matrix4.hpp"
#include "vsp/model_data.hpp"
#include "vsp/wing_caps.hpp"

#include <array>

#include <vector>

namespace orvanta::vsp {

struct WingTessellation {
  int chord_points = 33;         // around the airfoil, trailing edge to trailing edge (4k + 1)
  std::vector<int> span_points;  // per panel, both ends included
  std::vector<double> in_cluster, out_cluster;
  double le_cluster = 0.25, te_cluster = 0.25;
  int trailing_edge_points = 1;  // inside a blunt trailing edge face
};

class WingSurface : public ComponentSurface {
 public:
  // GeometryBuildError when a section's airfoil cannot be drawn or the planform is invalid.
  WingSurface(const ModelData& data, const Geom& geom);

  Vec3 point(double u, double w) const override;
  double u_max() const override { return static_cast<double>(frames_.size()) + 1.0; }
  double w_max() const override { return blunt_ ? 5.0 : 4.0; }
  SurfaceMesh tessellate() const override;
  SurfaceMesh tessellate(const WingTessellation& density) const;
  size_t triangle_estimate() const override;

  const WingTessellation& default_density() const { return density_; }
  bool blunt_trailing_edge() const { return blunt_; }

 private:
  Vec3 section_point(int i, double w) const;
  Vec3 cap_centre_point(int i, double w) const;
  // The point at fraction f (0 at the airfoil, 1 at the seam) across the cap of `end` (0 root,
  // 1 tip) that starts at airfoil parameter w.
  Vec3 cap_point(int end, double w, double f) const;
  int cap_rows(int end) const { return caps_[end].kind == CapKind::kFlat ? 0 : caps_[end].rows; }
  std::vector<double> chord_parameters(const WingTessellation& d) const;
  std::vector<double> span_parameters(const WingTessellation& d) const;

  std::vector<Airfoil> airfoils_;
  std::vector<Matrix4> frames_;
  std::vector<double> chords_;
  bool blunt_ = false;
  std::array<CapSettings, 2> caps_;  // root, tip
  WingTessellation density_;
};

}  // namespace orvanta::vsp
