#pragma once
// Normalised arc length of a sampled curve, so that points can be placed by arc-length
// fraction while being evaluated exactly on the curve at its own parameter.

#include "vsp/vec3.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace orvanta::vsp::internal {

class ArcTable {
 public:
  // Samples `eval(t)` for t in [t0, t1]; `cosine` crowds samples at both ends (airfoil noses).
  template <typename Eval>
  void build(Eval eval, double t0, double t1, int samples, bool cosine) {
    t_.resize(static_cast<size_t>(samples) + 1);
    s_.resize(t_.size());
    Vec2 prev{};
    double length = 0.0;
    for (int k = 0; k <= samples; ++k) {
      const double f = static_cast<double>(k) / samples;
      const double g = cosine ? 0.5 * (1.0 - std::cos(std::numbers::pi * f)) : f;
      const double t = t0 + (t1 - t0) * g;
      const Vec2 p = eval(t);
      if (k > 0) length += std::hypot(p.x - prev.x, p.y - prev.y);
      t_[static_cast<size_t>(k)] = t;
      s_[static_cast<size_t>(k)] = length;
      prev = p;
    }
    length_ = length;
    if (length > 0.0)
      for (double& s : s_) s /= length;
    else
      for (size_t k = 0; k < s_.size(); ++k) s_[k] = static_cast<double>(k) / samples;
  }

  // The curve parameter at arc-length fraction s in [0, 1].
  double parameter_at(double s) const {
    s = std::clamp(s, 0.0, 1.0);
    const auto it = std::upper_bound(s_.begin(), s_.end(), s);
    if (it == s_.end()) return t_.back();
    const size_t k = static_cast<size_t>(it - s_.begin());
    if (k == 0) return t_.front();
    const double ds = s_[k] - s_[k - 1];
    const double f = ds > 0.0 ? (s - s_[k - 1]) / ds : 0.0;
    return t_[k - 1] + f * (t_[k] - t_[k - 1]);
  }

  double length() const { return length_; }

 private:
  std::vector<double> t_, s_;
  double length_ = 0.0;
};

}  // namespace orvanta::vsp::internal
