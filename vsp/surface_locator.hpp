#pragma once
// Finding points of a surface mesh on the model's parametric surfaces, and moving them when
// the model changes.
//
// A mesh built around the model (snappyHexMesh on its STL) has its wall points on or near the
// components' surfaces. Each point is located once, on the baseline model, as (component,
// copy, u, w): the parameters of the nearest surface point. A changed design then moves the
// point by the change of the surface at those same parameters, so points keep their place
// on the component (a twisted tip carries its points with it) and components whose
// parameters did not change give exactly zero.

#include "vsp/geometry.hpp"
#include "vsp/internal/triangle_bins.hpp"

#include <memory>
#include <string>
#include <vector>

namespace orvanta::vsp {

struct SurfaceLocation {
  std::string component;  // the component's name
  int copy = 0;           // 0 the component itself, higher its symmetric images
  double u = 0.0, w = 0.0;
  double distance = 0.0;  // from the located point to the surface point at (u, w)
};

class SurfaceLocator {
 public:
  // `spacing` is the distance between neighbouring samples of the search triangulation; 0
  // picks 1/400 of the model's extent. GeometryBuildError when two components share a name.
  explicit SurfaceLocator(std::vector<ComponentGeometry> components, double spacing = 0.0);

  SurfaceLocation locate(Vec3 p) const;

 private:
  struct Sample {
    int component = 0, copy = 0;
    double u = 0.0, w = 0.0;
  };
  void add_samples(int component, double spacing, std::vector<Vec3>& points,
                   std::vector<std::array<int, 3>>& triangles);

  std::vector<ComponentGeometry> components_;
  std::vector<Sample> samples_;
  std::unique_ptr<internal::TriangleBins> bins_;
};

// The nearest surface point's parameters on one copy of a component, improved from (u, w) by
// damped Gauss-Newton steps. Bodies wrap w around their sections; wings stop at its ends.
void refine_location(const ComponentGeometry& component, int copy, Vec3 p, double& u, double& w);

// How far each located point moves from `before` to `after`: the surface point at the same
// parameters of the same component copy, after minus before. Components are matched by name;
// GeometryBuildError when a location names a component or copy absent from either model.
std::vector<Vec3> surface_displacements(const std::vector<SurfaceLocation>& locations,
                                        const std::vector<ComponentGeometry>& before,
                                        const std::vector<ComponentGeometry>& after);

}  // namespace orvanta::vsp
