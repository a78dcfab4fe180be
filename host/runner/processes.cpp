#include "host/runner/processes.hpp"

#include "host/base/errors.hpp"

#include <dirent.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

namespace orvanta::runner {
namespace {

struct ProcStat {
  long pgrp = 0;
  unsigned long long start_tick = 0;
};

bool all_digits(const char* s) {
  if (*s == '\0') return false;
  for (; *s; ++s)
    if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  return true;
}

// Fields of /proc/PID/stat for a live process; nothing for a gone or zombie one.
std::optional<ProcStat> read_proc_stat(const std::string& pid) {
  std::ifstream f("/proc/" + pid + "/stat");
  std::string stat;
  if (!std::getline(f, stat)) return std::nullopt;
  // The command name (field 2) may hold blanks and parentheses: fields resume after the last ')'.
  const auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 > stat.size()) return std::nullopt;
  std::istringstream rest(stat.substr(close + 2));
  std::string state, field;
  ProcStat s;
  rest >> state >> field >> s.pgrp;           // fields 3 (state), 4 (ppid), 5 (pgrp)
  if (state == "Z" || state == "X") return std::nullopt;
  for (int i = 6; i <= 21; ++i) rest >> field;
  rest >> s.start_tick;                       // field 22: start time
  return rest ? std::optional(s) : std::nullopt;
}

}  // namespace

std::optional<unsigned long long> process_start_tick(long pid) {
  if (pid <= 0) return std::nullopt;
  const auto stat = read_proc_stat(std::to_string(pid));
  if (!stat) return std::nullopt;
  return stat->start_tick;
}

std::vector<std::string> process_command_line(long pid) {
  if (pid <= 0) return {};
  std::ifstream f("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  std::string arg;
  for (char c : raw) {
    if (c != '\0') {
      arg += c;
      continue;
    }
    args.push_back(arg);
    arg.clear();
  }
  if (!arg.empty()) args.push_back(arg);
  return args;
}

std::vector<GroupMember> process_group_members(long pgid) {
  std::vector<GroupMember> members;
  if (pgid <= 0) return members;
  DIR* proc = opendir("/proc");
  if (!proc) throw OSError("Cannot list /proc");
  while (const dirent* entry = readdir(proc)) {
    if (!all_digits(entry->d_name)) continue;
    const auto stat = read_proc_stat(entry->d_name);
    if (!stat || stat->pgrp != pgid) continue;
    members.push_back({std::stol(entry->d_name), stat->start_tick});
  }
  closedir(proc);
  return members;
}

}  // namespace orvanta::runner
