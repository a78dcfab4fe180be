#include "host/runner/command_runner.hpp"

#include "host/base/errors.hpp"
#include "host/runner/environment.hpp"
#include "host/runner/run_record.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace orvanta::runner {
namespace fs = std::filesystem;
namespace {

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
  if (!f) throw OSError("Cannot write " + path.string());
}

// argv/envp storage that outlives the fork: nothing is allocated between fork and exec.
struct ExecImage {
  std::vector<std::string> args, env;
  std::vector<char*> argv, envp;
  ExecImage(const std::string& script, const CommandEnvironment& environment) {
    args = {"bash", script};
    env = environment.envp();
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
  }
};

// In a forked child: stdin from /dev/null, stdout and stderr to `out_fd`, then exec bash.
[[noreturn]] void exec_chain(const ExecImage& image, const char* case_dir, int out_fd) {
  const int devnull = open("/dev/null", O_RDONLY);
  if (devnull >= 0) dup2(devnull, STDIN_FILENO);
  dup2(out_fd, STDOUT_FILENO);
  dup2(out_fd, STDERR_FILENO);
  if (chdir(case_dir) != 0) _exit(97);
  execve("/bin/bash", image.argv.data(), image.envp.data());
  _exit(127);
}

// An exclusive flock on <case>/.orvanta/run.lock, held across the liveness check, the start
// and the record, so that concurrent starts in one case give one chain.
class RunLock {
 public:
  explicit RunLock(const std::string& case_dir) {
    const fs::path path = fs::path(state_dir(case_dir)) / "run.lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throw OSError("Cannot open " + path.string());
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      close(fd_);
      throw OSError("Cannot lock " + path.string());
    }
  }
  ~RunLock() { close(fd_); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  int fd_ = -1;
};

void ensure_state_dir(const std::string& case_dir) {
  if (!fs::is_directory(case_dir)) throw FileNotFoundError("Case directory was not found: " + case_dir);
  fs::create_directories(state_dir(case_dir));
}

struct PreparedChain {
  std::string script;
  int out_fd = -1;
};

PreparedChain prepare_chain(const CommandRun& run, const std::string& slot, const std::string& output_name) {
  ensure_state_dir(run.case_dir);
  const fs::path state = state_dir(run.case_dir);
  for (const char* f : {"_index", "_exit"}) fs::remove(state / (slot + f));
  // Absolute, so that the shell's command line names this case wherever it is checked from.
  const fs::path script = fs::absolute(state / (slot + ".sh"));
  write_file(script, chain_script(run.case_dir, run.commands, state.string(), slot));
  const fs::path output = state / output_name;
  const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw OSError("Cannot open " + output.string());
  return {script.string(), fd};
}

struct StartedChain {
  long pid = -1;
  unsigned long long start_tick = 0;
};

// Forks the chain into its own session and group, adopted by init. The shell waits before its
// exec until its start tick is read, and this returns once the exec happened (the close-on-exec
// pipe reaches end of file), so a concurrent check sees `bash run.sh`, never this program.
StartedChain start_detached(const PreparedChain& chain, const ExecImage& image, const std::string& case_dir) {
  int report[2], go[2];
  if (pipe2(report, O_CLOEXEC) != 0) throw OSError("pipe failed");
  if (pipe2(go, O_CLOEXEC) != 0) {
    close(report[0]);
    close(report[1]);
    throw OSError("pipe failed");
  }
  const pid_t child = fork();
  if (child < 0) {
    for (int fd : {report[0], report[1], go[0], go[1]}) close(fd);
    throw OSError("fork failed");
  }
  if (child == 0) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      setpgid(0, 0);
      close(go[1]);
      char byte;
      while (read(go[0], &byte, 1) < 0 && errno == EINTR) {
      }
      exec_chain(image, case_dir.c_str(), chain.out_fd);
    }
    const long pid = grandchild;
    (void)!write(report[1], &pid, sizeof pid);
    _exit(0);
  }
  close(report[1]);
  close(go[0]);
  StartedChain started;
  if (read(report[0], &started.pid, sizeof started.pid) == static_cast<ssize_t>(sizeof started.pid))
    started.start_tick = process_start_tick(started.pid).value_or(0);
  close(go[1]);
  for (char byte;;) {
    const ssize_t n = read(report[0], &byte, 1);
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
  close(report[0]);
  waitpid(child, nullptr, 0);
  return started;
}

}  // namespace

std::string chain_script(const std::string& case_dir, const std::vector<std::string>& commands,
                         const std::string& state, const std::string& slot) {
  const std::string index_file = shell_word(state + "/" + slot + "_index");
  const std::string exit_file = state + "/" + slot + "_exit";
  std::string s = "# orvanta command chain: one shell, commands in order, no stop on failure\n";
  s += "cd -- " + shell_word(case_dir) + " || exit 97\n";
  s += "__orvanta_i=-1\n";
  // The body is one shell word: paths inside it are quoted once more, not spliced into quotes.
  const std::string on_exit = "printf \"%s %s\\n\" \"$?\" \"$__orvanta_i\" > " + shell_word(exit_file + ".tmp") +
                              " && mv -f " + shell_word(exit_file + ".tmp") + " " + shell_word(exit_file);
  s += "trap " + shell_word(on_exit) + " EXIT\n";
  // A stopped or killed chain would otherwise record the status of its last finished command.
  s += "trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM\n";
  for (size_t i = 0; i < commands.size(); ++i) {
    s += "__orvanta_i=" + std::to_string(i) + "; printf '%s\\n' " + std::to_string(i) + " > " + index_file + "\n";
    s += commands[i] + "\n";
  }
  return s;
}

Json run_detached(const CommandRun& run) {
  ensure_state_dir(run.case_dir);
  const RunLock lock(run.case_dir);
  if (auto previous = load_run_record(run.case_dir); previous && run_is_alive(run.case_dir, *previous))
    throw RuntimeError("A run is already active in " + run.case_dir + " (pid " + std::to_string(previous->pid) +
                       ", phase " + previous->phase + "). Wait for it to finish or stop it before starting another.");
  const PreparedChain chain = prepare_chain(run, "run", "run_output.txt");
  const ExecImage image(chain.script, command_environment());
  StartedChain started;
  try {
    started = start_detached(chain, image, run.case_dir);
  } catch (...) {
    close(chain.out_fd);
    throw;
  }
  close(chain.out_fd);
  if (started.pid <= 0 || started.start_tick == 0)
    throw OSError("Could not start the command chain in " + run.case_dir);

  RunRecord record;
  record.pid = started.pid;
  record.start_tick = started.start_tick;
  record.started_at = now_seconds();
  record.skill = run.skill;
  record.phase = run.phase;
  record.commands = run.commands;
  save_run_record(run.case_dir, record);
  return Json{{"pid", started.pid}, {"n_commands", run.commands.size()}};
}

Json run_direct(const CommandRun& run) {
  const std::string phase = run.phase.empty() ? "direct" : run.phase;
  const PreparedChain chain = prepare_chain(run, "direct", phase + "_output.txt");
  const ExecImage image(chain.script, command_environment());
  const pid_t child = fork();
  if (child < 0) throw OSError("fork failed");
  if (child == 0) {
    setpgid(0, 0);
    exec_chain(image, run.case_dir.c_str(), chain.out_fd);
  }
  close(chain.out_fd);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return Json{{"exit_status", exit_status}, {"n_commands", run.commands.size()}};
}

bool stop_run(const std::string& case_dir) {
  if (!fs::is_directory(state_dir(case_dir))) return false;
  const RunLock lock(case_dir);
  const auto record = load_run_record(case_dir);
  // Only a record that names a run started here is acted on: nothing else is ever signalled.
  const auto alive = [&] { return record && run_is_alive(case_dir, *record); };
  if (!alive()) return false;
  const pid_t group = -static_cast<pid_t>(record->pid);
  // The shell runs its TERM trap only once its foreground command ends. A signal that lands
  // between two commands reaches the shell before the next command exists, so the group is
  // signalled again until the shell and every process of its group are gone.
  for (int i = 0; i < 50 && alive(); ++i) {
    if (i % 5 == 0) kill(group, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (alive()) {
    kill(group, SIGKILL);
    for (int i = 0; i < 20 && alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A killed shell runs no trap: record the kill so the review still says where and how it ended.
    if (!load_run_exit(case_dir)) save_run_exit(case_dir, {128 + SIGKILL, current_command_index(case_dir)});
  }
  return true;
}

}  // namespace orvanta::runner
