#pragma once
// Runs a skill's command list: all commands in one bash shell, in order, in the case
// directory, without stopping on failure (so `|| exit N` ends the chain and `|| true` does
// not). A detached run gets its own session and process group, outlives the caller and is
// recorded in <case>/.orvanta/; a direct run waits for the shell.

#include "host/base/host_services.hpp"

#include <string>
#include <vector>

namespace orvanta::runner {

// The bash script of a chain. `state` is the absolute folder for the progress files, `slot`
// their name prefix ("run" or "direct").
std::string chain_script(const std::string& case_dir, const std::vector<std::string>& commands,
                         const std::string& state, const std::string& slot);

// Starts the chain in the background and returns {"pid", "n_commands"} at once.
// RuntimeError when the case already has an active run.
Json run_detached(const CommandRun& run);

// Runs the chain in the foreground; returns {"exit_status", "n_commands"}. Output that the
// commands do not redirect goes to <case>/.orvanta/<phase>_output.txt.
Json run_direct(const CommandRun& run);

// The answer of a run review while the completion marker is absent: status "running" while
// the recorded process lives, "fail" once it is gone (with its exit status and the command
// it stopped at), "fail" when no run was ever started.
Json review_pending_run(const std::string& case_dir, const std::string& skill, const std::string& note);

// Stops the case's active run (its whole process group); false when none was active.
bool stop_run(const std::string& case_dir);

}  // namespace orvanta::runner
