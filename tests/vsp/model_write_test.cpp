// Writing models back: everything the engine does not interpret survives, values come back
// exactly, and a failed write leaves nothing behind.

#include "vsp_test_support.hpp"

#include <pugixml.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvanta::vsp {
namespace {
namespace fs = std::filesystem;
using vsptest::load;

// Element names in document order, with attribute names and non-numeric text, so that two
// documents compare equal when they differ at most in the numbers of Value attributes.
std::vector<std::string> structure(const std::string& path) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_file(path.c_str()));
  std::vector<std::string> out;
  struct Walker : pugi::xml_tree_walker {
    std::vector<std::string>* out;
    bool for_each(pugi::xml_node& n) override {
      if (n.type() == pugi::node_element) {
        std::string s = n.name();
        for (auto a : n.attributes()) s += std::string(" ") + a.name() + (std::string(a.name()) == "Value" ? "" : std::string("=") + a.value());
        out->push_back(s);
      } else if (n.type() == pugi::node_pcdata) {
        out->push_back(std::string("#") + n.value());
      }
      return true;
    }
  } w;
  w.out = &out;
  doc.traverse(w);
  return out;
}

TEST(VspWrite, ReadWriteReadKeepsEveryParameterAndElement) {
  vsptest::TempDir dir;
  for (const std::string& file : vsptest::sample_files()) {
    Model first;
    load(first, file);
    const std::string copy = dir.path("copy.vsp3");
    ASSERT_TRUE(first.write_file(copy)) << vsptest::queued(first);
    Model second;
    load(second, copy);
    const auto &a = first.data().parms, &b = second.data().parms;
    ASSERT_EQ(a.size(), b.size()) << file;
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].id, b[i].id);
      EXPECT_EQ(a[i].path(), b[i].path());
      EXPECT_EQ(a[i].value, b[i].value) << file << " " << a[i].path();
    }
    // Managers, settings, lights, user parameters, file airfoil points: all still there.
    EXPECT_EQ(structure(file), structure(copy)) << file;
  }
}

TEST(VspWrite, ValuesAreWrittenWithEighteenDigits) {
  vsptest::TempDir dir;
  Model m;
  load(m, vsptest::sample("openvsp_test_wing.vsp3"));
  const std::string wing = m.find_geoms_with_name("Wing")[0];
  m.set_parm_value(m.find_parm(wing, "X_Rel_Location", "XForm"), 1.0 / 3.0);
  ASSERT_TRUE(m.write_file(dir.path("w.vsp3")));
  std::ifstream in(dir.path("w.vsp3"));
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find(R"(<X_Rel_Location Value="3.333333333333333148e-01" ID="XNSCLRRVNTJ")"), std::string::npos);
  EXPECT_EQ(text.str().rfind("<?xml version=\"1.0\"?>", 0), 0u);
}

TEST(VspWrite, AFailedWriteLeavesNoFileAndQueuesTheReason) {
  vsptest::TempDir dir;
  Model m;
  load(m, vsptest::sample("openvsp_test_wing.vsp3"));
  const std::string missing_dir = dir.path("no/such/dir/w.vsp3");
  EXPECT_FALSE(m.write_file(missing_dir));
  fs::create_directories(dir.path("occupied.vsp3"));  // a directory where the file should go
  EXPECT_FALSE(m.write_file(dir.path("occupied.vsp3")));
  const auto errors = m.errors().pop_all();
  ASSERT_EQ(errors.size(), 2u);
  for (const auto& e : errors) {
    EXPECT_EQ(e.code, ErrorCode::kWriteFailure);
    EXPECT_EQ(e.text.rfind("WriteVSPFile::Failure Writing File ", 0), 0u) << e.text;
  }
  EXPECT_FALSE(fs::exists(missing_dir));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path(""))) ++entries;
  EXPECT_EQ(entries, 1u);  // only the directory: no temporary file left over

  Model empty;
  EXPECT_FALSE(empty.write_file(dir.path("empty.vsp3")));
  EXPECT_EQ(empty.errors().pop_all().at(0).text,
            "WriteVSPFile::Failure Writing File " + dir.path("empty.vsp3") + ": there is no model to write");
}

}  // namespace
}  // namespace orvanta::vsp
