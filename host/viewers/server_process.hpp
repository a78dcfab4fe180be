#pragma once
// Starting and stopping the background server processes. A server runs in its own session,
// adopted by init, so it outlives the short-lived process that launched it.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace orvanta::viewers {

// Starts `argv` (argv[0] is the program path) in its own session with `cwd` as working
// directory, stdin from /dev/null and stdout/stderr appended to `log_file`. Returns its pid.
// OSError when the log cannot be opened or the process cannot be created.
long spawn_detached(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                    const std::filesystem::path& log_file);

// True while the process exists and is not a zombie.
bool process_alive(long pid);

// True when the process runs under this process's user, so it may be signalled.
bool process_owned_by_me(long pid);

// SIGTERM, then SIGKILL once `grace` has passed; returns when the process is gone (or after
// a further second, when even SIGKILL did not end it: then false).
bool terminate_process(long pid, std::chrono::milliseconds grace = std::chrono::milliseconds(4000));

}  // namespace orvanta::viewers
