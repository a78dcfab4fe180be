// Small pieces with exact answers: the STL text layout and the point spacing.

#include "vsp/spacing.hpp"
#include "vsp/stl_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

namespace orvanta::vsp {
namespace {

TEST(VspStl, OneFacetInOpenVspLayout) {
  TriMesh m;
  m.add_point({0, 0, 0}, {});
  m.add_point({2, 0, 0}, {});
  m.add_point({0, -0.5, 0}, {});
  m.add_triangle(0, 2, 1);
  m.add_triangle(0, 0, 1);  // degenerate: dropped
  EXPECT_EQ(stl_text(m, "aircraft"),
            "solid aircraft\n"
            " facet normal  0.0000000000e+00 0.0000000000e+00 1.0000000000e+00\n"
            "   outer loop\n"
            "     vertex 0.0000000000e+00 0.0000000000e+00 0.0000000000e+00\n"
            "     vertex 0.0000000000e+00 -5.0000000000e-01 0.0000000000e+00\n"
            "     vertex 2.0000000000e+00 0.0000000000e+00 0.0000000000e+00\n"
            "   endloop\n"
            " endfacet\n"
            "endsolid aircraft\n");
  EXPECT_EQ(stl_text(TriMesh{}, "").substr(0, 6), "solid\n");
}

TEST(VspStl, NumbersReadBackToElevenSignificantDigits) {
  TriMesh m;
  std::mt19937_64 random(7);
  std::vector<double> values = {5e-324, 2.2250738585072014e-308, 1e-300, 1.5e300, -0.0,
                                99999.999999999, 0.99999999999951, -123456789012.0};
  for (int i = 0; i < 3000; ++i)
    values.push_back(std::ldexp(static_cast<double>(random() >> 11) / 9007199254740992.0 + 0.5,
                                static_cast<int>(random() % 120) - 60) * (random() & 1 ? 1 : -1));
  while (values.size() % 9) values.push_back(1.0);
  for (size_t i = 0; i < values.size(); i += 3) m.add_point({values[i], values[i + 1], values[i + 2]}, {});
  for (int i = 0; i + 2 < static_cast<int>(m.points.size()); i += 3) m.triangles.push_back({i, i + 1, i + 2});
  std::istringstream text(stl_text(m, "x"));
  std::string word;
  size_t k = 0;
  while (text >> word) {
    if (word != "vertex") continue;
    for (int c = 0; c < 3; ++c, ++k) {
      text >> word;
      ASSERT_LT(word.size(), 18u) << word;
      EXPECT_NEAR(std::strtod(word.c_str(), nullptr), values[k], 6e-11 * std::abs(values[k])) << word;
    }
  }
  EXPECT_EQ(k, values.size());
}

TEST(VspSpacing, EndSpacingsFollowTheClusterFactors) {
  const auto uniform = clustered_spacing(5, 1.0, 1.0);
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(uniform[i], i / 4.0);
  for (auto [a, b] : std::vector<std::pair<double, double>>{{0.25, 0.25}, {0.25, 1.0}, {1.0, 0.4}, {2.0, 2.0}}) {
    const auto s = clustered_spacing(33, a, b);
    ASSERT_EQ(s.size(), 33u);
    EXPECT_EQ(s.front(), 0.0);
    EXPECT_EQ(s.back(), 1.0);
    for (size_t i = 1; i < s.size(); ++i) EXPECT_GT(s[i], s[i - 1]);
    EXPECT_NEAR((s[1] - s[0]) * 32, a, 0.3 * a) << a << " " << b;
    EXPECT_NEAR((s[32] - s[31]) * 32, b, 0.3 * b) << a << " " << b;
  }
}

}  // namespace
}  // namespace orvanta::vsp
