#pragma once
// What /proc says about other processes: enough to tell whether a recorded process is still
// the one the host started, and which processes still belong to its group.

#include <optional>
#include <string>
#include <vector>

namespace orvanta::runner {

// Start time of a live process in clock ticks, or nothing when it is gone (zombies count as gone).
std::optional<unsigned long long> process_start_tick(long pid);

// The argument vector of a live process (empty when it is gone or unreadable).
std::vector<std::string> process_command_line(long pid);

struct GroupMember {
  long pid = 0;
  unsigned long long start_tick = 0;
};
// The live (not zombie) processes whose process group id is `pgid`, the leader included.
std::vector<GroupMember> process_group_members(long pgid);

}  // namespace orvanta::runner
