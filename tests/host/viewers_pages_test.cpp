// What the gallery and viewer pages say: titles people read, names that cannot become
// markup, and the status answers the pages poll and the host probes.
#include "host/viewers/figure_titles.hpp"
#include "host/viewers/gallery_app.hpp"
#include "host/viewers/html_text.hpp"
#include "host/viewers/viewer_app.hpp"

#include "host/base/errors.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace orvanta::viewers {
namespace {
namespace fs = std::filesystem;

TEST(FigureTitles, EveryFigureTheSkillsListReadsAsATitle) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"plots/aircraft_view_x.png", "Aircraft view x"},
      {"plots/aircraft_view_iso.png", "Aircraft view iso"},
      {"plots/aircraft_mesh_view_3d.png", "Aircraft mesh view 3D"},
      {"plots/general_residual_cfd.png", "General residual CFD"},
      {"plots/general_residual_adjoint.png", "General residual adjoint"},
      {"plots/general_function_cd.png", "General function Cd"},
      {"plots/general_function_cm.png", "General function Cm"},
      {"plots/general_opt_hst_cl.png", "General optimization history Cl"},
      {"plots/general_opt_hst_feasibility.png", "General optimization history feasibility"},
      {"plots/aircraft_flow_field_Cp_3d.png", "Aircraft flow field Cp 3D"},
      {"plots/aircraft_flow_field_U_3d_optimized.png", "Aircraft flow field U 3D optimized"},
      {"plots/aircraft_pressure_profile_y0p25.png", "Aircraft pressure profile y = 0.25"},
      {"plots/aircraft_pressure_profile_y1p0.png", "Aircraft pressure profile y = 1.0"},
      {"plots/aircraft_pressure_profile_ym0p5.png", "Aircraft pressure profile y = -0.5"},
      {"plots/aircraft_pressure_profile_y1e05.png", "Aircraft pressure profile y = 1e05"},
      {"plots/aircraft_pressure_profile_y1em05.png", "Aircraft pressure profile y = 1e-05"},
      {"weird__name-.png", "Weird name"},
      {"___.png", "___"},
  };
  for (const auto& [path, title] : expected) EXPECT_EQ(title_from_file_name(path), title) << path;
  EXPECT_EQ(page_title("mesh.html"), "Mesh figures");
  EXPECT_EQ(page_title("cfd.html"), "CFD figures");
  EXPECT_EQ(page_title("optimization.html"), "Optimization figures");
}

TEST(HtmlEscape, EscapesEveryMarkupCharacter) {
  EXPECT_EQ(html_escape("<a href=\"x\" title='y'>&</a>"),
            "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;&lt;/a&gt;");
}

TEST(GalleryPageName, OnlyPlainHtmlFileNames) {
  for (const char* good : {"mesh.html", "cfd.html", "optimization.html", "a-b_c.1.html"})
    EXPECT_NO_THROW(check_page_name(good)) << good;
  for (const char* bad : {"", "mesh", "../mesh.html", "sub/mesh.html", ".html", "mesh.html?x", "<b>.html"})
    EXPECT_THROW(check_page_name(bad), ValueError) << bad;
}

class PagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    case_ = fs::temp_directory_path() / ("orvanta_viewers_pages_" + std::to_string(getpid())) / "my<case>";
    fs::remove_all(case_.parent_path());
    fs::create_directories(case_ / "plots");
    std::ofstream(case_ / "plots/general_function_cd.png") << "png";
  }
  void TearDown() override { fs::remove_all(case_.parent_path()); }
  void write_inputs(const std::string& json) {
    fs::create_directories(case_ / ".orvanta");
    std::ofstream(case_ / ".orvanta/inputs.json") << json;
  }
  fs::path case_;
};

TEST_F(PagesTest, GalleryPageKeepsOrderMarksMissingAndEscapesNames) {
  const GalleryApp app({case_, "cfd.html",
                        {"plots/general_residual_cfd.png", "plots/general_function_cd.png", "plots/<img src=x onerror=alert(1)>.png"},
                        "log_plot_cfd.txt", 8001});
  const std::string html = app.page_html();
  EXPECT_EQ(html.find("<img src=x"), std::string::npos);
  EXPECT_NE(html.find("plots/&lt;img src=x onerror=alert(1)&gt;.png"), std::string::npos);
  EXPECT_NE(html.find("my&lt;case&gt;"), std::string::npos);
  EXPECT_NE(html.find("1 of 3 figures written"), std::string::npos);
  EXPECT_NE(html.find("href=\"/log_plot_cfd.txt\""), std::string::npos);
  const size_t residual = html.find("id=\"figure-0\"");
  const size_t cd = html.find("id=\"figure-1\"");
  ASSERT_NE(residual, std::string::npos);
  ASSERT_NE(cd, std::string::npos);
  EXPECT_LT(residual, cd);
  EXPECT_NE(html.find("card missing\" id=\"figure-0\""), std::string::npos);
  EXPECT_NE(html.find("card present\" id=\"figure-1\""), std::string::npos);

  const Json status = app.status();
  EXPECT_EQ(status["server"], "orvanta");
  EXPECT_EQ(status["kind"], "gallery");
  EXPECT_EQ(status["pid"], static_cast<long>(getpid()));
  EXPECT_EQ(status["page"], "cfd.html");
  EXPECT_EQ(status["present"], 1);
  EXPECT_EQ(status["figures"][1]["title"], "General function Cd");
  EXPECT_EQ(status["figures"][1]["exists"], true);
  EXPECT_EQ(status["figures"][0]["exists"], false);
  EXPECT_EQ(status["plot_log"]["exists"], false);
}

TEST_F(PagesTest, ViewerStatusCarriesCpReferenceFromTheBoundMachNumber) {
  write_inputs(R"({"mach_number": 0.3})");
  const ViewerApp app({case_, {"VTK/boundary_baseline.vtp", "VTK/boundary_optimized.vtp"}, 8002});
  const Json status = app.status();
  EXPECT_EQ(status["kind"], "viewer");
  EXPECT_EQ(status["surfaces"][0]["label"], "baseline");
  EXPECT_EQ(status["surfaces"][1]["label"], "optimized");
  EXPECT_EQ(status["surfaces"][1]["exists"], false);
  const Json& ref = status["reference"];
  EXPECT_DOUBLE_EQ(ref["reference_pressure"].get<double>(), 101325.0);
  EXPECT_NEAR(ref["dynamic_pressure"].get<double>(), 0.5 * 1.4 * 101325.0 * 0.09, 1e-9);
  EXPECT_NEAR(ref["u0"].get<double>(), 0.3 * 340.294, 0.01);
  EXPECT_EQ(status["reference_note"], "");
  EXPECT_EQ(surface_label("VTK/boundary.vtp"), "surface");
}

TEST_F(PagesTest, ViewerExplainsWhyCpIsNotOffered) {
  std::string note;
  EXPECT_TRUE(surface_reference_values(case_, note).is_null());
  EXPECT_EQ(note, "Cp is not offered: the case has no bound inputs (.orvanta/inputs.json) to take the Mach number from.");
  write_inputs(R"({"aoa": 2})");
  EXPECT_TRUE(surface_reference_values(case_, note).is_null());
  EXPECT_EQ(note, "Cp is not offered: the case's inputs have no mach_number.");
  write_inputs(R"({"mach_number": 0})");
  EXPECT_TRUE(surface_reference_values(case_, note).is_null());
  EXPECT_EQ(note.rfind("Cp is not offered: Mach number must be a positive", 0), 0u) << note;
  EXPECT_THROW(ViewerApp({case_, {}, 8002}), ValueError);
}

}  // namespace
}  // namespace orvanta::viewers
