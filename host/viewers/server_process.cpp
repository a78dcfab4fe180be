#include "host/viewers/server_process.hpp"

#include "host/base/errors.hpp"
#include "host/runner/run_record.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace orvanta::viewers {
namespace fs = std::filesystem;
namespace {

bool wait_gone(long pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (process_alive(pid)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return true;
}

}  // namespace

long spawn_detached(const std::vector<std::string>& argv, const fs::path& cwd, const fs::path& log_file) {
  if (argv.empty()) throw ValueError("A server needs a program to run.");
  const int log_fd = open(log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log_fd < 0) throw OSError("Cannot open the server log " + log_file.string() + ": " + std::strerror(errno));
  // Everything exec needs is built before fork: the child only calls async-signal-safe functions.
  std::vector<std::string> args = argv;
  std::vector<char*> args_c;
  for (auto& a : args) args_c.push_back(a.data());
  args_c.push_back(nullptr);
  const std::string dir = cwd.string();

  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) {
    close(log_fd);
    throw OSError(std::string("pipe failed: ") + std::strerror(errno));
  }
  const pid_t child = fork();
  if (child < 0) {
    close(log_fd);
    close(pipefd[0]);
    close(pipefd[1]);
    throw OSError(std::string("fork failed: ") + std::strerror(errno));
  }
  if (child == 0) {
    setsid();
    const pid_t server = fork();  // the intermediate exits at once, so init adopts the server
    if (server == 0) {
      const int devnull = open("/dev/null", O_RDONLY);
      if (devnull >= 0) dup2(devnull, STDIN_FILENO);
      dup2(log_fd, STDOUT_FILENO);
      dup2(log_fd, STDERR_FILENO);
      if (chdir(dir.c_str()) != 0) _exit(97);
      execve(args_c[0], args_c.data(), environ);
      _exit(127);
    }
    const long pid = server;
    (void)!write(pipefd[1], &pid, sizeof pid);
    _exit(0);
  }
  close(pipefd[1]);
  close(log_fd);
  long pid = -1;
  const bool got = read(pipefd[0], &pid, sizeof pid) == static_cast<ssize_t>(sizeof pid);
  close(pipefd[0]);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (!got || pid <= 0) throw OSError("Could not start " + argv[0]);
  return pid;
}

bool process_alive(long pid) { return pid > 0 && runner::process_start_tick(pid).has_value(); }

bool process_owned_by_me(long pid) {
  struct stat st {};
  const std::string proc = "/proc/" + std::to_string(pid);
  return stat(proc.c_str(), &st) == 0 && st.st_uid == geteuid();
}

bool terminate_process(long pid, std::chrono::milliseconds grace) {
  if (!process_alive(pid)) return true;
  kill(static_cast<pid_t>(pid), SIGTERM);
  if (wait_gone(pid, grace)) return true;
  kill(static_cast<pid_t>(pid), SIGKILL);
  return wait_gone(pid, std::chrono::milliseconds(1000));
}

}  // namespace orvanta::viewers
