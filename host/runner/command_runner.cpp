#include "host/runner/command_runner.hpp"

#include "host/base/errors.hpp"
#include "host/runner/environment.hpp"
#include "host/runner/run_record.hpp"

#include <fcntl.h>
#include <signal.h>
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

struct PreparedChain {
  std::string script;
  int out_fd = -1;
};

PreparedChain prepare_chain(const CommandRun& run, const std::string& slot, const std::string& output_name) {
  if (!fs::is_directory(run.case_dir)) throw FileNotFoundError("Case directory was not found: " + run.case_dir);
  const fs::path state = state_dir(run.case_dir);
  fs::create_directories(state);
  for (const char* f : {"_index", "_exit"}) fs::remove(state / (slot + f));
  const fs::path script = state / (slot + ".sh");
  write_file(script, chain_script(run.case_dir, run.commands, state.string(), slot));
  const fs::path output = state / output_name;
  const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw OSError("Cannot open " + output.string());
  return {script.string(), fd};
}

}  // namespace

std::string chain_script(const std::string& case_dir, const std::vector<std::string>& commands,
                         const std::string& state, const std::string& slot) {
  const std::string index_file = shell_word(state + "/" + slot + "_index");
  const std::string exit_file = state + "/" + slot + "_exit";
  std::string s = "# orvanta command chain: one shell, commands in order, no stop on failure\n";
  s += "cd -- " + shell_word(case_dir) + " || exit 97\n";
  s += "__orvanta_i=-1\n";
  s += "trap 'printf \"%s %s\\n\" \"$?\" \"$__orvanta_i\" > " + shell_word(exit_file + ".tmp") + " && mv -f " +
       shell_word(exit_file + ".tmp") + " " + shell_word(exit_file) + "' EXIT\n";
  // A stopped or killed chain would otherwise record the status of its last finished command.
  s += "trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM\n";
  for (size_t i = 0; i < commands.size(); ++i) {
    s += "__orvanta_i=" + std::to_string(i) + "; printf '%s\\n' " + std::to_string(i) + " > " + index_file + "\n";
    s += commands[i] + "\n";
  }
  return s;
}

Json run_detached(const CommandRun& run) {
  if (auto previous = load_run_record(run.case_dir); previous && run_is_alive(*previous))
    throw RuntimeError("A run is already active in " + run.case_dir + " (pid " + std::to_string(previous->pid) +
                       ", phase " + previous->phase + "). Wait for it to finish or stop it before starting another.");
  const PreparedChain chain = prepare_chain(run, "run", "run_output.txt");
  const ExecImage image(chain.script, command_environment());

  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) throw OSError("pipe failed");
  const pid_t child = fork();
  if (child < 0) throw OSError("fork failed");
  if (child == 0) {
    // Own session, then fork again so the chain is adopted by init and never a zombie of ours.
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      setpgid(0, 0);
      exec_chain(image, run.case_dir.c_str(), chain.out_fd);
    }
    const long pid = grandchild;
    (void)!write(pipefd[1], &pid, sizeof pid);
    _exit(0);
  }
  close(pipefd[1]);
  close(chain.out_fd);
  long pid = -1;
  const bool got = read(pipefd[0], &pid, sizeof pid) == static_cast<ssize_t>(sizeof pid);
  close(pipefd[0]);
  waitpid(child, nullptr, 0);
  if (!got || pid <= 0) throw OSError("Could not start the command chain in " + run.case_dir);

  RunRecord record;
  record.pid = pid;
  record.start_tick = process_start_tick(pid).value_or(0);
  record.started_at = now_seconds();
  record.skill = run.skill;
  record.phase = run.phase;
  record.commands = run.commands;
  save_run_record(run.case_dir, record);
  return Json{{"pid", pid}, {"n_commands", run.commands.size()}};
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
  const auto record = load_run_record(case_dir);
  if (!record || !run_is_alive(*record)) return false;
  const pid_t group = -static_cast<pid_t>(record->pid);
  // The shell runs its TERM trap only once its foreground command ends. A signal that lands
  // between two commands reaches the shell before the next command exists, so the group is
  // signalled again until the shell is gone.
  for (int i = 0; i < 50 && run_is_alive(*record); ++i) {
    if (i % 5 == 0) kill(group, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (run_is_alive(*record)) {
    kill(group, SIGKILL);
    for (int i = 0; i < 20 && run_is_alive(*record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A killed shell runs no trap: record the kill so the review still says where and how it ended.
    if (!load_run_exit(case_dir)) save_run_exit(case_dir, {128 + SIGKILL, current_command_index(case_dir)});
  }
  return true;
}

}  // namespace orvanta::runner
