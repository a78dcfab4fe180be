// The engine behind the geometry API: one model per process, failures only through the
// error queue, and the host's error check turning them into exceptions.

#include "host/base/errors.hpp"
#include "host/openvsp/engine_api.hpp"
#include "host/openvsp/provider.hpp"
#include "host/openvsp/raise_errors.hpp"
#include "vsp_test_support.hpp"

#include <filesystem>

namespace orvanta {
namespace {
using vsp::vsptest::sample;

TEST(EngineApi, OneModelPerProcessLikeOpenVsp) {
  openvsp::ScopedProvider engine(openvsp::engine_provider());
  openvsp::OpenVspApi& a = openvsp::obtain_api();
  openvsp::OpenVspApi& b = openvsp::obtain_api();
  EXPECT_EQ(&a, &b);
  a.ClearVSPModel();
  a.ReadVSPFile(sample("openvsp_test_wing.vsp3"));
  a.Update();
  ASSERT_EQ(b.GetNumTotalErrors(), 0);
  const auto wings = b.FindGeomsWithName("Wing");
  ASSERT_EQ(wings.size(), 1u);
  const std::string xsec = b.GetXSec(b.GetXSecSurf(wings[0], 0), 2);
  const std::string span = b.GetXSecParm(xsec, "Span");
  EXPECT_EQ(b.GetParmVal(span), 15.0);
  EXPECT_EQ(b.SetParmVal(span, 2e6), 1e6);  // clamped to the limit
  EXPECT_EQ(b.FindParm(wings[0], "Span", "XSec_2"), span);
  a.ClearVSPModel();
  EXPECT_TRUE(b.FindGeomsWithName("Wing").empty());
}

TEST(EngineApi, FailuresReachTheErrorCheckWithTheirReasons) {
  openvsp::ScopedProvider engine(openvsp::engine_provider());
  openvsp::OpenVspApi& api = openvsp::obtain_api();
  api.PopAllErrors();
  api.ClearVSPModel();
  api.ReadVSPFile("/no/such/aircraft.vsp3");
  ASSERT_EQ(api.GetNumTotalErrors(), 1);
  try {
    openvsp_raise_errors(api, "OpenVSP failed to read /no/such/aircraft.vsp3");
    FAIL();
  } catch (const GeometryError& e) {
    EXPECT_EQ(std::string(e.what()),
              "OpenVSP failed to read /no/such/aircraft.vsp3: ReadVSPFile::Error reading /no/such/aircraft.vsp3: "
              "the file cannot be opened");
  }
  EXPECT_EQ(api.GetNumTotalErrors(), 0);
  openvsp_raise_errors(api, "nothing queued");  // returns quietly

  api.ReadVSPFile(sample("openvsp_test_wing.vsp3"));
  vsp::vsptest::TempDir dir;
  api.ExportFile(dir.path("wing.igs"), openvsp::SET_ALL, 7);
  EXPECT_EQ(api.GetParmVal("NOSUCHPARM"), 0.0);
  const auto errors = api.PopAllErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].code, static_cast<int>(vsp::ErrorCode::kExportFailure));
  EXPECT_EQ(errors[0].text, "ExportFile::Failure exporting " + dir.path("wing.igs") +
                                ": file type 7 is not supported; only STL (2) is");
  EXPECT_EQ(errors[1].text, "GetParmVal::Can't Find Parm NOSUCHPARM");
  api.ExportFile(dir.path("wing.stl"), openvsp::SET_ALL, openvsp::EXPORT_STL);
  EXPECT_EQ(api.GetNumTotalErrors(), 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path("wing.stl")));
  api.ClearVSPModel();
}

}  // namespace
}  // namespace orvanta
