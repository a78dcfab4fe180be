// Bad input: every broken model gives a clear message through the error queue, leaves the
// model empty and writes no file; nothing crashes.

#include "vsp_test_support.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvanta::vsp {
namespace {
namespace fs = std::filesystem;
using vsptest::load;
using vsptest::sample;

std::string wing_text() {
  std::ifstream in(sample("openvsp_test_wing.vsp3"));
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

struct BadFile {
  std::string what;
  std::string text;
  std::string message;  // expected after "ReadVSPFile::Error reading bad: "
};

TEST(VspBadInput, BrokenFilesAreRefusedWithTheReason) {
  const std::string w = wing_text();
  const std::string span = R"(<Span Value="1.500000000000000000e+01" ID="ZRRYVOSPSWA"/>)";
  const std::vector<BadFile> cases = {
      {"truncated", w.substr(0, w.size() / 2), "not well-formed XML ("},
      {"empty", "", "not well-formed XML (No document element found at byte 0)"},
      {"other root", replaced(replaced(w, "<Vsp_Geometry>", "<Model>"), "</Vsp_Geometry>", "</Model>"),
       "the root element is <Model>, not <Vsp_Geometry>"},
      {"no version", replaced(w, "<Version>5</Version>", ""), "<Vsp_Geometry> has no <Version> element"},
      {"old version", replaced(w, "<Version>5</Version>", "<Version>3</Version>"),
       "file version 3 is older than 4, the oldest OpenVSP still reads"},
      {"no vehicle", "<?xml version=\"1.0\"?><Vsp_Geometry><Version>5</Version></Vsp_Geometry>",
       "<Vsp_Geometry> has no <Vehicle> element"},
      {"value missing", replaced(w, span, R"(<Span ID="ZRRYVOSPSWA"/>)"),
       "parameter XSec/Span of component `Wing` cross-section 2 has no Value attribute"},
      {"id missing", replaced(w, span, R"(<Span Value="15"/>)"),
       "parameter XSec/Span of component `Wing` cross-section 2 has no ID attribute"},
      {"not a number", replaced(w, span, R"(<Span Value="fifteen" ID="ZRRYVOSPSWA"/>)"),
       "parameter XSec/Span of component `Wing` cross-section 2 has a Value that is not a number: 'fifteen'"},
      {"nan", replaced(w, span, R"(<Span Value="nan" ID="ZRRYVOSPSWA"/>)"),
       "parameter XSec/Span of component `Wing` cross-section 2 has a Value that is not finite: 'nan'"},
      {"infinite", replaced(w, span, R"(<Span Value="-inf" ID="ZRRYVOSPSWA"/>)"),
       "parameter XSec/Span of component `Wing` cross-section 2 has a Value that is not finite: '-inf'"},
      // Found by fuzzing: a type code too large for an int.
      {"huge section type", replaced(w, "<Type>2</Type>", "<Type>1e109</Type>"),
       "component `Wing` cross-section 0 <Type> is not an integer: '1e109'"},
      {"unknown curve", replaced(w, "<Type>7</Type>", "<Type>42</Type>"),
       "component `Wing` cross-section 0 has an unknown curve type '42'"},
      {"zero tip chord", replaced(w, R"(<Tip_Chord Value="1.000000000000000000e+00")", R"(<Tip_Chord Value="0")"),
       "wing `Wing` cross-section 2 has a non-positive tip chord (0)"},
      {"negative chord", replaced(w, R"(<Tip_Chord Value="1.000000000000000000e+00")", R"(<Tip_Chord Value="-2")"),
       "wing `Wing` cross-section 2 has a non-positive tip chord (0)"},
      {"bad drivers", replaced(w, "<ChoiceVec>1, 3, 5, </ChoiceVec>", "<ChoiceVec>3, 5, 6, </ChoiceVec>"),
       "wing `Wing` cross-section 1 has drivers (Taper, Root_Chord, Tip_Chord) that do not determine its planform"},
      {"unnamed component", replaced(w, "<TypeName>Wing</TypeName>", ""), "component `Wing` has no <GeomBase><TypeName>"},
      {"container without id", replaced(w, "<ID>QSUHFYQZWT</ID>", ""),
       "the parameter container of component `Wing` has no <ID>"},
  };
  for (const BadFile& c : cases) {
    Model m;
    EXPECT_FALSE(m.read_text(c.text, "bad")) << c.what;
    EXPECT_TRUE(m.empty()) << c.what;
    const auto errors = m.errors().pop_all();
    ASSERT_EQ(errors.size(), 1u) << c.what;
    EXPECT_EQ(errors[0].code, ErrorCode::kReadFailure) << c.what;
    const std::string prefix = "ReadVSPFile::Error reading bad: ";
    EXPECT_EQ(errors[0].text.substr(0, prefix.size() + c.message.size()), prefix + c.message) << c.what;
  }
}

TEST(VspBadInput, AMissingFileIsAReadError) {
  Model m;
  EXPECT_FALSE(m.read_file("/no/such/model.vsp3"));
  EXPECT_EQ(m.errors().pop_all().at(0).text, "ReadVSPFile::Error reading /no/such/model.vsp3: the file cannot be opened");
}

TEST(VspBadInput, RefusedValuesKeepTheParameterAsItWas) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const std::string span = m.find_parm(m.find_geoms_with_name("Wing")[0], "Span", "XSec_2");
  EXPECT_EQ(m.set_parm_value(span, std::nan("")), 15.0);
  EXPECT_EQ(m.set_parm_value(span, HUGE_VAL), 15.0);
  EXPECT_FALSE(m.set_parm_value("NOSUCHPARM", 1.0).has_value());
  const auto errors = m.errors().pop_all();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0].code, ErrorCode::kInvalidValue);
  EXPECT_EQ(errors[0].text, "SetParmVal::Value nan for XSec/Span (ZRRYVOSPSWA) is not a finite number");
  EXPECT_EQ(errors[2].text, "SetParmVal::Can't Find Parm NOSUCHPARM");
  EXPECT_EQ(m.parm_value(span), 15.0);
}

TEST(VspBadInput, AnInvalidEditFailsUpdateAndExportWithoutTouchingFiles) {
  vsptest::TempDir dir;
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const std::string stl = dir.path("wing.stl");
  ASSERT_TRUE(m.export_stl(stl, 0));
  const auto before = fs::file_size(stl);
  m.set_parm_value(m.find_parm(m.find_geoms_with_name("Wing")[0], "Tip_Chord", "XSec_2"), 0.0);
  m.update();
  EXPECT_FALSE(m.export_stl(stl, 0));
  EXPECT_FALSE(m.export_stl(dir.path("new.stl"), 0));
  const auto errors = m.errors().pop_all();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0].code, ErrorCode::kUpdateFailure);
  EXPECT_EQ(errors[0].text, "Update::wing `Wing` cross-section 2 has a non-positive tip chord (0)");
  EXPECT_EQ(errors[1].code, ErrorCode::kExportFailure);
  EXPECT_EQ(errors[1].text, "ExportFile::Failure exporting " + stl +
                                ": wing `Wing` cross-section 2 has a non-positive chord (0)");
  EXPECT_EQ(fs::file_size(stl), before);
  EXPECT_FALSE(fs::exists(dir.path("new.stl")));
}

TEST(VspBadInput, WhatTheEngineCannotDrawIsNamedNotLeftOut) {
  vsptest::TempDir dir;
  const std::string w = wing_text();
  struct Case {
    std::string text, message;
  };
  const std::vector<Case> cases = {
      {replaced(w, "<TypeName>Wing</TypeName>", "<TypeName>Ellipsoid</TypeName>"),
       "component `Wing` is of type Ellipsoid, which the geometry engine cannot draw"},
      {replaced(w, "<Type>7</Type>", "<Type>19</Type>"),
       "wing `Wing` cross-section 0 uses an AC 25.773 curve (type 19), which the geometry engine cannot draw as an "
       "airfoil"},
      {replaced(w, "<Type>7</Type>", "<Type>2</Type>"),
       "wing `Wing` cross-section 0 uses an ellipse curve (type 2), which the geometry engine cannot draw as an "
       "airfoil"},
      {replaced(w, R"(<Trans_Attach_Flag Value="0.000000000000000000e+00")", R"(<Trans_Attach_Flag Value="2")"), ""},
  };
  for (const Case& c : cases) {
    Model m;
    ASSERT_TRUE(m.read_text(c.text, "model")) << vsptest::queued(m);
    const std::string stl = dir.path("x.stl");
    if (c.message.empty()) {  // an attachment without a parent is no attachment
      EXPECT_TRUE(m.export_stl(stl, 0)) << vsptest::queued(m);
      continue;
    }
    EXPECT_FALSE(m.export_stl(stl, 0));
    EXPECT_EQ(m.errors().pop_all().at(0).text, "ExportFile::Failure exporting " + stl + ": " + c.message);
    EXPECT_FALSE(fs::exists(stl));
  }
  Model empty;
  EXPECT_FALSE(empty.export_stl(dir.path("e.stl"), 0));
  EXPECT_EQ(empty.errors().pop_all().at(0).code, ErrorCode::kExportFailure);
}

TEST(VspBadInput, AbsurdDensitiesAreRefusedBeforeTessellating) {
  Model m;
  load(m, sample("openvsp_test_wing.vsp3"));
  const std::string wing = m.find_geoms_with_name("Wing")[0];
  m.set_parm_value(m.find_parm(wing, "Tess_W", "Shape"), 1000.0);
  for (const char* g : {"XSec_1", "XSec_2"}) m.set_parm_value(m.find_parm(wing, "SectTess_U", g), 1000.0);
  m.update();
  vsptest::TempDir dir;
  EXPECT_FALSE(m.export_stl(dir.path("big.stl"), 0));
  EXPECT_NE(m.errors().pop_all().at(0).text.find("more than the limit of 4000000"), std::string::npos);
}

}  // namespace
}  // namespace orvanta::vsp
