// Which files the viewer servers hand out: only regular files inside the case directory,
// whatever the request path looks like (dot segments, percent escapes, symlinks).
#include "host/viewers/case_files.hpp"
#include "host/viewers/gallery_app.hpp"
#include "host/viewers/http_reply.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace orvanta::viewers {
namespace {
namespace fs = std::filesystem;

void write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

class CaseFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("orvanta_viewers_files_" + std::to_string(getpid()));
    fs::remove_all(root_);
    case_ = root_ / "case";
    write(case_ / "plots/a b.png", "png");
    write(case_ / "log_plot.txt", "log");
    write(case_ / ".orvanta/inputs.json", "{}");
    write(root_ / "secret.txt", "outside");
    write(root_ / "case2/other.png", "sibling");
    fs::create_symlink(root_ / "secret.txt", case_ / "plots/escape.png");
    fs::create_symlink(root_, case_ / "up");
    fs::create_symlink(case_ / "plots/a b.png", case_ / "plots/alias.png");
  }
  void TearDown() override { fs::remove_all(root_); }

  HttpReply get(const std::string& target) {
    GalleryApp app({case_, "mesh.html", {"plots/a b.png"}, "log_plot.txt", 1});
    return app.handle(target);
  }

  fs::path root_, case_;
};

TEST(PercentDecode, DecodesEscapesAndRejectsMalformedOrNul) {
  EXPECT_EQ(percent_decode("/plots/a%20b.png"), "/plots/a b.png");
  EXPECT_EQ(percent_decode("%2e%2E%2f"), "../");
  EXPECT_EQ(percent_decode("a+b"), "a+b");  // a path, not a form: "+" stays
  EXPECT_EQ(percent_decode("%zz"), std::nullopt);
  EXPECT_EQ(percent_decode("abc%2"), std::nullopt);
  EXPECT_EQ(percent_decode("a%00b"), std::nullopt);
}

TEST(NormaliseRequestPath, CollapsesSlashesAndRefusesDotComponents) {
  EXPECT_EQ(normalise_request_path("/plots//a.png/"), "plots/a.png");
  EXPECT_EQ(normalise_request_path("/"), "");
  EXPECT_EQ(normalise_request_path("/plots/../../etc/passwd"), std::nullopt);
  EXPECT_EQ(normalise_request_path("/./a.png"), std::nullopt);
  EXPECT_EQ(normalise_request_path("/.orvanta/inputs.json"), std::nullopt);
  EXPECT_EQ(normalise_request_path("/plots\\..\\x"), std::nullopt);
  EXPECT_EQ(normalise_request_path("/a\nb"), std::nullopt);
  EXPECT_EQ(target_path("/a.png?v=1.5#x"), "/a.png");
}

TEST_F(CaseFilesTest, ConfinedFileResolvesInsideOnly) {
  EXPECT_EQ(confined_file(case_, "plots/a b.png"), fs::canonical(case_ / "plots/a b.png"));
  EXPECT_EQ(confined_file(case_, "plots/alias.png"), fs::canonical(case_ / "plots/a b.png"));
  EXPECT_EQ(confined_file(case_, "plots"), std::nullopt);  // directories are never served
  EXPECT_EQ(confined_file(case_, "plots/none.png"), std::nullopt);
  EXPECT_EQ(confined_file(case_, "plots/escape.png"), std::nullopt);
  EXPECT_EQ(confined_file(case_, "up/secret.txt"), std::nullopt);
  EXPECT_EQ(confined_file(case_, "../case2/other.png"), std::nullopt);
  EXPECT_EQ(confined_file(case_, (root_ / "case2/other.png").string()), std::nullopt);  // /case2 is not in /case
  EXPECT_EQ(confined_file(case_, (case_ / "log_plot.txt").string()), fs::canonical(case_ / "log_plot.txt"));
}

TEST_F(CaseFilesTest, ConfinementHoldsWhenTheCaseIsReachedThroughASymlink) {
  fs::create_symlink(case_, root_ / "case_link");
  EXPECT_EQ(confined_file(root_ / "case_link", "log_plot.txt"), fs::canonical(case_ / "log_plot.txt"));
  EXPECT_EQ(confined_file(root_ / "case_link", "plots/escape.png"), std::nullopt);
}

TEST_F(CaseFilesTest, ServerRefusesTraversalEncodedTraversalHiddenFilesAndListings) {
  for (const char* target : {"/../secret.txt", "/%2e%2e/secret.txt", "/plots/%2E%2E/%2e%2e/secret.txt",
                             "/%2e%2e%2fsecret.txt", "/.orvanta/inputs.json", "/%2eorvanta/inputs.json",
                             "/plots/..%5c..%5csecret.txt", "/a%00.png", "/%zz"})
    EXPECT_EQ(get(target).status, 400) << target;
  for (const char* target : {"/plots/", "/plots", "/plots/escape.png", "/up/secret.txt", "/missing.png"})
    EXPECT_EQ(get(target).status, 404) << target;

  const HttpReply figure = get("/plots/a%20b.png?v=123");
  EXPECT_EQ(figure.status, 200);
  EXPECT_EQ(figure.file, fs::canonical(case_ / "plots/a b.png"));
  EXPECT_EQ(figure.content_type, "image/png");
  EXPECT_EQ(get("/log_plot.txt").content_type, "text/plain; charset=utf-8");
}

TEST_F(CaseFilesTest, ServerRoutesPageStatusAndRoot) {
  EXPECT_EQ(get("/").status, 302);
  EXPECT_EQ(get("/").location, "/mesh.html");
  const HttpReply page = get("/mesh.html");
  EXPECT_EQ(page.status, 200);
  EXPECT_TRUE(page.no_store);
  EXPECT_NE(page.body.find("plots/a%20b.png"), std::string::npos);
  const HttpReply status = get("/__orvanta/status");
  EXPECT_EQ(status.content_type, "application/json");
  EXPECT_EQ(Json::parse(status.body)["figures"][0]["exists"], true);
  EXPECT_EQ(get("/__orvanta/static/../../etc/passwd").status, 400);
}

TEST(LoopbackHost, OnlyLoopbackNamesAreAnswered) {
  for (const char* ok : {"127.0.0.1:8001", "localhost:8002", "LOCALHOST", "[::1]:8001", "127.0.0.1", ""})
    EXPECT_TRUE(is_loopback_host_header(ok)) << ok;
  for (const char* bad : {"evil.example:8001", "127.0.0.1.evil.example", "localhost.evil.example:8001", "[::1",
                          "10.0.0.5:8001", "0.0.0.0:8001"})
    EXPECT_FALSE(is_loopback_host_header(bad)) << bad;
}

TEST(FileState, ReportsExistenceAndSize) {
  const fs::path dir = fs::temp_directory_path() / ("orvanta_viewers_state_" + std::to_string(getpid()));
  fs::create_directories(dir);
  write(dir / "f.png", "12345");
  const FileState present = file_state(dir, "f.png");
  EXPECT_TRUE(present.exists);
  EXPECT_EQ(present.size, 5u);
  EXPECT_GT(present.mtime, 1e9);
  EXPECT_FALSE(file_state(dir, "g.png").exists);
  EXPECT_EQ(percent_encode_path("plots/a b&<c>.png"), "plots/a%20b%26%3Cc%3E.png");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace orvanta::viewers
