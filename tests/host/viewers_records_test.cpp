// Port records and the replacement rules: the host signals only a process that really is
// one of its servers on that port, and a port held by another program never crashes or
// hangs a launch or a review.
#include "host/viewers/port_probe.hpp"
#include "host/viewers/server_process.hpp"
#include "host/viewers/server_records.hpp"
#include "host/viewers/viewers.hpp"

#include "host/base/errors.hpp"
#include "host/runner/run_record.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace orvanta::viewers {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A listening socket on a free loopback port that never accepts: "another program".
class Squatter {
 public:
  Squatter() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(fd_, 4) != 0) ADD_FAILURE() << "listen";
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~Squatter() { close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

int free_port() {
  Squatter s;
  return s.port();
}

class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orvanta_viewers_records_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "case");
    setenv("ORVANTA_SERVER_RECORDS_DIR", (dir_ / "servers").c_str(), 1);
  }
  void TearDown() override {
    if (fake_ > 0) {
      kill(-fake_, SIGKILL);
      waitpid(fake_, nullptr, 0);
    }
    unsetenv("ORVANTA_SERVER_RECORDS_DIR");
    fs::remove_all(dir_);
  }

  // A stand-in server: bash running a script named serve-gallery, so its command line reads
  // "orvanta serve-gallery --port N" like the real one.
  long start_fake_server(int port) {
    const fs::path bin = dir_ / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "serve-gallery") << "sleep 30\n:\n";
    const std::string port_text = std::to_string(port);
    fake_ = fork();
    if (fake_ == 0) {
      setpgid(0, 0);
      if (chdir(bin.c_str()) != 0) _exit(97);
      execl("/bin/bash", "orvanta", "serve-gallery", "--port", port_text.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 2000 && !is_server_command_line(process_command_line(fake_), port); ++i)
      std::this_thread::sleep_for(5ms);
    return fake_;
  }

  ServerRecord record_for(long pid, int port) {
    ServerRecord r;
    r.port = port;
    r.pid = pid;
    r.start_tick = runner::process_start_tick(pid).value_or(0);
    r.kind = "gallery";
    r.case_dir = (dir_ / "case").string();
    r.page = "mesh.html";
    r.log_file = (dir_ / "case/log_html.txt").string();
    r.started_at = 1.5;
    return r;
  }

  fs::path dir_;
  pid_t fake_ = -1;
};

TEST(ServerCommandLine, RecognisesOnlyOurServersOnThatPort) {
  EXPECT_TRUE(is_server_command_line({"/x/orvanta", "serve-gallery", "--port", "8001", "--case", "/c"}, 8001));
  EXPECT_TRUE(is_server_command_line({"orvanta", "serve-viewer", "--case", "/c", "--port=8002"}, 8002));
  EXPECT_FALSE(is_server_command_line({"orvanta", "serve-viewer", "--port", "8002"}, 8001));
  EXPECT_FALSE(is_server_command_line({"orvanta", "serve", "--port", "8001"}, 8001));
  EXPECT_FALSE(is_server_command_line({"python3", "-m", "http.server", "8001"}, 8001));
  EXPECT_FALSE(is_server_command_line({"orvanta", "serve-gallery", "--port"}, 8001));
  EXPECT_FALSE(is_server_command_line({}, 8001));
}

TEST_F(RecordsTest, RecordsRoundTripPerPort) {
  const ServerRecords records(dir_ / "servers");
  EXPECT_EQ(records.load(8001), std::nullopt);
  records.save(record_for(4242, 8002));
  records.save(record_for(4343, 8001));
  const auto loaded = records.load(8002);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->pid, 4242);
  EXPECT_EQ(loaded->kind, "gallery");
  EXPECT_EQ(loaded->page, "mesh.html");
  EXPECT_DOUBLE_EQ(loaded->started_at, 1.5);
  const auto all = records.all();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].port, 8001);
  records.remove(8001);
  EXPECT_EQ(records.load(8001), std::nullopt);
  std::ofstream(dir_ / "servers/8003.json") << "{ torn";
  EXPECT_EQ(records.load(8003), std::nullopt);
  EXPECT_EQ(ServerRecords::standard().dir(), dir_ / "servers");
}

TEST_F(RecordsTest, OnlyTheLiveRecordedServerCountsAsOurs) {
  const int port = free_port();
  const long pid = start_fake_server(port);
  ServerRecord rec = record_for(pid, port);
  EXPECT_TRUE(record_is_live(rec));
  rec.port = port + 1;
  EXPECT_FALSE(record_is_live(rec));  // same process, other port
  rec = record_for(pid, port);
  rec.start_tick += 1;
  EXPECT_FALSE(record_is_live(rec));  // a reused pid
  EXPECT_FALSE(record_is_live(record_for(getpid(), port)));  // alive, but not a server
}

TEST_F(RecordsTest, StopSignalsTheRecordedServerAndForgetsIt) {
  const int port = free_port();
  const long pid = start_fake_server(port);
  ServerRecords::standard().save(record_for(pid, port));
  stop_server(port);
  EXPECT_FALSE(process_alive(pid));
  EXPECT_EQ(ServerRecords::standard().load(port), std::nullopt);
}

TEST_F(RecordsTest, StopNeverSignalsAProcessThatIsNotOurServer) {
  const int port = free_port();
  const long bystander = start_fake_server(port + 1);  // a server, but of another port
  ServerRecords::standard().save(record_for(bystander, port));
  stop_server(port);
  EXPECT_TRUE(process_alive(bystander));
  EXPECT_EQ(ServerRecords::standard().load(port), std::nullopt);  // the stale record is dropped
}

TEST_F(RecordsTest, APortHeldByAnotherProgramIsExplainedWithoutHanging) {
  const Squatter other;
  const int port = other.port();
  EXPECT_TRUE(port_in_use(port));
  const auto holder = find_port_holder(port);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->pid, getpid());

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(http_get_local(port, "/__orvanta/status", 200).answered);  // accepts, never answers
  const std::string note = port_note(port);
  EXPECT_EQ(note, "Port " + std::to_string(port) + " is held by another program (" + holder->program + ", pid " +
                      std::to_string(getpid()) +
                      "), not by an orvanta viewer; stop that program or free the port, then run the analyze phase again.");

  GalleryLaunch launch;
  launch.case_dir = (dir_ / "case").string();
  launch.page = "mesh.html";
  launch.figures = {"plots/a.png"};
  launch.port = port;
  launch.server_log_filename = "log_html.txt";
  launch_gallery(launch);  // leaves the port alone, says why in the case's log
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(ServerRecords::standard().load(port), std::nullopt);
  std::ifstream log(dir_ / "case/log_html.txt");
  std::string line;
  std::getline(log, line);
  EXPECT_EQ(line.rfind("orvanta: the figure gallery was not started: port " + std::to_string(port) +
                           " is held by another program (",
                       0),
            0u)
      << line;
}

TEST_F(RecordsTest, NotesForAnEmptyPortAndBadLaunches) {
  const int port = free_port();
  EXPECT_EQ(port_note(port), "No orvanta viewer is running on port " + std::to_string(port) + ".");
  ServerRecords::standard().save(record_for(999999, port));  // a server that has died
  EXPECT_EQ(port_note(port), "No orvanta viewer is running on port " + std::to_string(port) +
                                 "; the figure gallery started there for " + (dir_ / "case").string() +
                                 " has stopped: see " + (dir_ / "case/log_html.txt").string() + ".");
  const auto [running, url] = review_gallery("mesh.html", port);
  EXPECT_FALSE(running);
  EXPECT_EQ(url, "http://127.0.0.1:" + std::to_string(port) + "/mesh.html");
  EXPECT_EQ(review_viewer(port).second, "http://127.0.0.1:" + std::to_string(port) + "/");

  GalleryLaunch launch;
  launch.case_dir = (dir_ / "nowhere").string();
  launch.page = "mesh.html";
  launch.port = port;
  try {
    launch_gallery(launch);
    ADD_FAILURE() << "no error for a missing case";
  } catch (const FileNotFoundError& e) {
    EXPECT_EQ(std::string(e.what()), "Case directory was not found: " + launch.case_dir);
  }
  launch.page = "../mesh.html";
  EXPECT_THROW(launch_gallery(launch), ValueError);
  ViewerLaunch view;
  view.case_dir = (dir_ / "case").string();
  view.port = port;
  EXPECT_THROW(launch_viewer(view), ValueError);  // no surface
  view.vtk_files = {"VTK/boundary.vtp"};
  view.port = 70000;
  EXPECT_THROW(launch_viewer(view), ValueError);
}

}  // namespace
}  // namespace orvanta::viewers
