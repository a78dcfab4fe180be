#pragma once
// The surface of a fuselage or stack component (a stack places each section relative to the
// previous one): section curves placed along the body and skinned as
// the sections' skinning settings ask (see fuselage_skin.hpp): a given slope where a section
// sets an angle and strength (top, right, bottom, left; towards the previous and the next
// section), slope or curvature continuity where it asks for it, straight lines elsewhere.

#include "vsp/body_curve.hpp"
#include "vsp/component_surface.hpp"
#include "vsp/fuselage_skin.hpp"
#include "vsp/matrix4.hpp"
#include "vsp/model_data.hpp"

#include <array>
#include <memory>
#include <vector>

namespace orvanta::vsp {

struct FuselageTessellation {
  int around_points = 17;           // closed loop, first point repeated (8k + 1)
  std::vector<int> segment_points;  // per segment between sections, both ends included
  std::vector<double> fwd_cluster, aft_cluster;
};

class FuselageSurface : public ComponentSurface {
 public:
  FuselageSurface(const ModelData& data, const Geom& geom);

  Vec3 point(double u, double w) const override;
  double u_max() const override { return static_cast<double>(sections_.size()) + 1.0; }
  double w_max() const override { return 4.0; }
  SurfaceMesh tessellate() const override;
  SurfaceMesh tessellate(const FuselageTessellation& density) const;
  size_t triangle_estimate() const override;

  const FuselageTessellation& default_density() const { return density_; }

 private:
  struct Skin {
    bool given = false;
    std::array<double, 4> angle{};  // degrees at top, right, bottom, left
    std::array<double, 4> strength{1.0, 1.0, 1.0, 1.0};
  };
  struct Section {
    Vec3 centre;
    Matrix4 rotation;
    BodyCurve curve = point_curve();
    double width = 0.0, height = 0.0;
    double scale = 1.0;  // slope lengths are strengths times this
    Skin in, out;        // towards the previous / the next section
  };

  Vec3 section_point(int i, double w) const;
  Vec3 slope(int i, double w, bool outgoing) const;
  std::vector<std::vector<Vec3>> column(double w) const;

  std::vector<Section> sections_;
  std::shared_ptr<const SkinSolver> skin_;
  FuselageTessellation density_;
};

}  // namespace orvanta::vsp
