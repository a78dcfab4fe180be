// Which files the viewer servers hand out: only regular files inside the case directory,
// whatever the request path looks like (dot segments, percent escapes, symlinks, names
// swapped after the check).
#include "host/viewers/case_files.hpp"
#include "host/viewers/confined_open.hpp"
#include "host/viewers/gallery_app.hpp"
#include "host/viewers/http_reply.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <vector>

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

  // True when `relative` opens under `root` (the case by default) as the file `want`.
  bool opens(const std::string& relative, const fs::path& want, const fs::path& root = {}) {
    const auto file = open_confined(root.empty() ? case_ : root, relative);
    return file && same_file(file->fd(), want);
  }
  static bool same_file(int fd, const fs::path& want) {
    struct stat a {}, b {};
    return fd >= 0 && fstat(fd, &a) == 0 && stat(want.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
  }

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

TEST_F(CaseFilesTest, OpenConfinedOpensRegularFilesInsideOnly) {
  EXPECT_TRUE(opens("plots/a b.png", case_ / "plots/a b.png"));
  EXPECT_TRUE(opens("plots/alias.png", case_ / "plots/a b.png"));  // absolute symlink that stays inside
  EXPECT_EQ(open_confined(case_, "plots"), nullptr);               // directories are never served
  EXPECT_EQ(open_confined(case_, "plots/none.png"), nullptr);
  EXPECT_EQ(open_confined(case_, "plots/escape.png"), nullptr);
  EXPECT_EQ(open_confined(case_, "up/secret.txt"), nullptr);  // a folder symlink that leads out
  EXPECT_EQ(open_confined(case_, "../case2/other.png"), nullptr);
  EXPECT_EQ(open_confined(case_, (root_ / "case2/other.png").string()), nullptr);  // /case2 is not in /case
  EXPECT_TRUE(opens((case_ / "log_plot.txt").string(), case_ / "log_plot.txt"));
  EXPECT_EQ(open_confined(case_, (case_ / ".orvanta/inputs.json").string()), nullptr);
}

TEST_F(CaseFilesTest, ConfinementHoldsWhenTheCaseIsReachedThroughASymlink) {
  fs::create_symlink(case_, root_ / "case_link");
  const auto file = open_confined(root_ / "case_link", "log_plot.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(same_file(file->fd(), case_ / "log_plot.txt"));
  EXPECT_EQ(open_confined(root_ / "case_link", "plots/escape.png"), nullptr);
  EXPECT_TRUE(opens("plots/alias.png", case_ / "plots/a b.png", root_ / "case_link"));
}

// Both lookups behind open_confined, on the same names: the kernel's openat2 and the
// component walk used where openat2 is missing. They differ only on absolute symlinks,
// which openat2 refuses outright and the walk follows while they stay inside.
TEST_F(CaseFilesTest, BothLookupsFollowSymlinksOnlyWhileTheyStayInside) {
  fs::create_symlink("plots/a b.png", case_ / "rel_alias.png");
  fs::create_symlink("../log_plot.txt", case_ / "plots/parent_log.txt");
  fs::create_symlink("../plots", case_ / "plots/again");
  fs::create_symlink("../..", case_ / "plots/up_rel");
  fs::create_symlink("../../secret.txt", case_ / "plots/escape_rel.png");
  fs::create_symlink("again/../../case2/other.png", case_ / "plots/sibling.png");
  fs::create_symlink("loop.png", case_ / "plots/loop.png");
  fs::create_symlink("a b.png/x", case_ / "plots/through_file.png");
  struct Case {
    std::string name;
    std::string opens;  // case-relative file it must open; empty: must fail
    bool kernel_refuses = false;
  };
  const std::vector<Case> cases = {
      {"plots/a b.png", "plots/a b.png"},
      {"rel_alias.png", "plots/a b.png"},
      {"plots/parent_log.txt", "log_plot.txt"},
      {"plots/again/again/a b.png", "plots/a b.png"},
      {"plots/alias.png", "plots/a b.png", true},
      {"plots/up_rel/secret.txt", ""},
      {"plots/up_rel/case/log_plot.txt", ""},  // back inside, but only by way of outside
      {"plots/escape_rel.png", ""},
      {"plots/escape.png", ""},
      {"up/secret.txt", ""},
      {"plots/sibling.png", ""},
      {"plots/loop.png", ""},
      {"plots/through_file.png", ""},
      {"plots/none.png", ""},
  };
  const int root_fd = open(case_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(root_fd, 0);
  const fs::path real_root = fs::canonical(case_);
  for (const auto& c : cases) {
    const int by_kernel = internal::open_beneath_kernel(root_fd, c.name);
    const int kernel_errno = errno;
    const int by_walk = internal::open_beneath_walk(root_fd, real_root, c.name);
    if (c.opens.empty()) {
      EXPECT_LT(by_kernel, 0) << c.name;
      EXPECT_LT(by_walk, 0) << c.name;
      EXPECT_EQ(open_confined(case_, c.name), nullptr) << c.name;
    } else {
      EXPECT_TRUE(same_file(by_walk, case_ / c.opens)) << c.name;
      if (c.kernel_refuses)
        EXPECT_EQ(kernel_errno, EXDEV) << c.name;
      else
        EXPECT_TRUE(same_file(by_kernel, case_ / c.opens)) << c.name;
      EXPECT_TRUE(opens(c.name, case_ / c.opens)) << c.name;
    }
    for (int fd : {by_kernel, by_walk})
      if (fd >= 0) close(fd);
  }
  close(root_fd);
}

TEST_F(CaseFilesTest, FifosAndDirectoriesAreNotOpenedAsFiles) {
  ASSERT_EQ(mkfifo((case_ / "plots/pipe.png").c_str(), 0600), 0);
  // Opening a FIFO for reading would wait for a writer; the server must not.
  EXPECT_EQ(open_confined(case_, "plots/pipe.png"), nullptr);
  EXPECT_EQ(get("/plots/pipe.png").status, 404);
  EXPECT_EQ(open_confined(case_, "up"), nullptr);
}

TEST_F(CaseFilesTest, AReplyKeepsServingTheFileThatWasCheckedWhenItsNameIsSwapped) {
  const HttpReply figure = get("/plots/a%20b.png");
  ASSERT_NE(figure.file, nullptr);
  // The name now leads out of the case; the reply still holds the file that was checked.
  fs::create_symlink(root_ / "secret.txt", case_ / "plots/swap.tmp");
  fs::rename(case_ / "plots/swap.tmp", case_ / "plots/a b.png");
  std::string content(16, '\0');
  const ssize_t n = pread(figure.file->fd(), content.data(), content.size(), 0);
  ASSERT_GE(n, 0);
  content.resize(static_cast<size_t>(n));
  EXPECT_EQ(content, "png");
  EXPECT_EQ(get("/plots/a%20b.png").status, 404);
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
  ASSERT_NE(figure.file, nullptr);
  EXPECT_TRUE(same_file(figure.file->fd(), case_ / "plots/a b.png"));
  EXPECT_EQ(figure.content_type, "image/png");
  EXPECT_EQ(get("/log_plot.txt").content_type, "text/plain; charset=utf-8");
}

TEST_F(CaseFilesTest, HtmlFromTheCaseIsServedAsTextAndThePagesAsHtml) {
  for (const char* name : {"report.html", "REPORT.HTM", "r.xhtml", "r.shtml"}) {
    write(case_ / "reports" / name, "<script>alert(1)</script>");
    const HttpReply reply = get(std::string("/reports/") + name);
    EXPECT_EQ(reply.status, 200) << name;
    EXPECT_EQ(reply.content_type, "text/plain; charset=utf-8") << name;
  }
  EXPECT_EQ(get("/mesh.html").content_type, "text/html; charset=utf-8");
  EXPECT_EQ(content_type_for("web/static/page.html"), "text/html; charset=utf-8");  // the front end's own
  EXPECT_EQ(case_content_type_for("plots/a.png"), "image/png");
  EXPECT_EQ(case_content_type_for("VTK/boundary.vtp"), "application/octet-stream");
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
