#include "apps/orvanta/case_manager.hpp"
#include "apps/orvanta/case_state.hpp"
#include "apps/orvanta/commands.hpp"
#include "apps/orvanta/host_setup.hpp"
#include "apps/orvanta/run_display.hpp"
#include "host/base/errors.hpp"

#include <chrono>
#include <iostream>
#include <thread>

namespace orvanta::app {

void run_demo(std::ostream& out);

namespace {

CaseManager make_manager() {
  return CaseManager(work_dir(), [] { return make_host_services(nullptr); });
}

// name=value: the value is read as JSON when it is JSON (numbers, lists, null), else as text.
Json parse_assignments(const std::vector<std::string>& items, const std::string& flag) {
  Json out = Json::object();
  for (const auto& item : items) {
    const auto eq = item.find('=');
    if (eq == std::string::npos || eq == 0) throw ValueError(flag + " expects name=value, got `" + item + "`.");
    const std::string value = item.substr(eq + 1);
    try {
      out[item.substr(0, eq)] = Json::parse(value);
    } catch (const Json::parse_error&) {
      out[item.substr(0, eq)] = value;
    }
  }
  return out;
}

// Polls a case until its verdict (or a failed run), drawing progress on stderr.
Json wait_for_case(CaseManager& cases, const std::string& name, int poll_seconds) {
  ProgressDisplay display(stderr_progress_sink());
  for (;;) {
    const Json checked = cases.check(name);
    const Json& last = checked["results"].back();
    if (last.value("status", "") != "running") {
      display.finish();
      return checked;
    }
    display.update(progress_stage(checked), progress_line(cases.case_dir(name), last));
    std::this_thread::sleep_for(std::chrono::seconds(poll_seconds));
  }
}

int guarded(const std::function<void()>& body) {
  try {
    body();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "orvanta: " << error_kind(e) << ": " << e.what() << "\n";
    return 1;
  }
}

struct RunArgs {
  std::string skill, case_name, mesh_case;
  std::vector<std::string> sets, advs;
  bool wait = false, json = false;
};

void run_skill(const RunArgs& a) {
  CaseManager cases = make_manager();
  StartRequest request{a.skill, parse_assignments(a.sets, "--set"), parse_assignments(a.advs, "--adv"), a.case_name,
                       a.mesh_case};
  Json started = cases.start(request);
  const std::string name = started["case_name"];
  if (a.json) std::cout << started.dump(2) << "\n";
  else print_results(std::cout, started);
  if (!a.wait || started["results"].back().value("status", "") != "running") return;
  const Json done = wait_for_case(cases, name, 2);
  if (a.json) std::cout << done.dump(2) << "\n";
  else print_results(std::cout, done);
}

}  // namespace

void register_case_commands(CLI::App& app, CommandContext& ctx) {
  auto run_args = std::make_shared<RunArgs>();
  auto* run = app.add_subcommand("run", "Start a skill on a new case in the working directory");
  run->add_option("skill", run_args->skill, "generate-cfd-mesh, run-cfd-simulation or run-aero-optimization")->required();
  run->add_option("--set", run_args->sets, "An input, name=value (repeatable)");
  run->add_option("--adv", run_args->advs, "An advanced parameter, name=value (repeatable)");
  run->add_option("--case", run_args->case_name, "Case name (default: generated)");
  run->add_option("--mesh-case", run_args->mesh_case, "Mesh case to use (default: the newest that passed)");
  run->add_flag("--wait", run_args->wait, "Wait for the run, showing progress, then analyze and print the verdict");
  run->add_flag("--json", run_args->json, "Print the phase results as JSON");
  run->callback([run_args, &ctx] { ctx.exit_code = guarded([&] { run_skill(*run_args); }); });

  auto* list = app.add_subcommand("cases", "List the cases of the working directory");
  list->callback([&ctx] {
    ctx.exit_code = guarded([] {
      const CaseManager cases = make_manager();
      print_case_table(std::cout, cases.list());
      for (const Json& s : cases.skipped_entries())
        std::cerr << "orvanta: skipped " << s["name"].get<std::string>() << ": " << s["reason"].get<std::string>() << "\n";
    });
  });

  auto name = std::make_shared<std::string>();
  auto* status = app.add_subcommand("status", "Show a case: its record, bound inputs and, while it runs, progress");
  status->add_option("case", *name, "Case name")->required();
  status->callback([name, &ctx] {
    ctx.exit_code = guarded([&] { std::cout << make_manager().status(*name).dump(2) << "\n"; });
  });

  auto check_name = std::make_shared<std::string>();
  auto* check = app.add_subcommand("check", "Poll a case once (analyzes it when its run passed)");
  check->add_option("case", *check_name, "Case name")->required();
  check->callback([check_name, &ctx] {
    ctx.exit_code = guarded([&] {
      CaseManager cases = make_manager();
      print_results(std::cout, cases.check(*check_name));
    });
  });

  auto stop_name = std::make_shared<std::string>();
  auto* stop = app.add_subcommand("stop", "Stop the background run of a case");
  stop->add_option("case", *stop_name, "Case name")->required();
  stop->callback([stop_name, &ctx] {
    ctx.exit_code = guarded([&] {
      std::cout << (make_manager().stop(*stop_name) ? "stopped\n" : "no active run\n");
    });
  });

  auto* demo = app.add_subcommand("demo", "Mesh and CFD of the packaged aircraft at a quick preset");
  demo->callback([&ctx] { ctx.exit_code = guarded([] { run_demo(std::cout); }); });
}

void run_demo(std::ostream& out) {
  CaseManager cases = make_manager();
  out << "orvanta demo in " << cases.work_dir() << "\n\n";
  StartRequest mesh{"generate-cfd-mesh", Json{{"surface_level", 5}, {"n_cpus", 2}, {"n_boundary_layers", 3}},
                    Json::object(), "", ""};
  Json started = cases.start(mesh);
  print_results(out, started);
  const std::string mesh_name = started["case_name"];
  Json done = wait_for_case(cases, mesh_name, 2);
  print_results(out, done);
  if (done.value("state", "") != "analyzed") throw RuntimeError("The demo mesh did not finish; see " + cases.case_dir(mesh_name));

  StartRequest cfd{"run-cfd-simulation", Json{{"n_cpu_cores", 2}}, Json{{"max_flow_iters", 300}}, "", mesh_name};
  started = cases.start(cfd);
  print_results(out, started);
  done = wait_for_case(cases, started["case_name"].get<std::string>(), 2);
  print_results(out, done);
}

}  // namespace orvanta::app
