#include "apps/orvanta/commands.hpp"
#include "apps/orvanta/viewer_http_server.hpp"
#include "host/base/errors.hpp"
#include "host/viewers/gallery_app.hpp"
#include "host/viewers/viewer_app.hpp"
#include "host/viewers/viewers.hpp"

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>

namespace orvanta::app {
namespace fs = std::filesystem;
namespace {

int run_reporting(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    std::cerr << orvanta::error_kind(e) << ": " << e.what() << std::endl;
    return 1;
  }
}

void register_serve_gallery(CLI::App& app, CommandContext& ctx) {
  auto* cmd = app.add_subcommand("serve-gallery", "Serve a case's figure gallery in the foreground (the host starts it)");
  auto s = std::make_shared<viewers::GallerySettings>();
  auto case_dir = std::make_shared<std::string>();
  cmd->add_option("--port", s->port, "Port on 127.0.0.1")->required();
  cmd->add_option("--case", *case_dir, "Case directory")->required();
  cmd->add_option("--page", s->page, "Page name, e.g. mesh.html")->required();
  cmd->add_option("--plot-log", s->plot_log, "Case-relative plotting log linked from the page");
  cmd->add_option("--figure", s->figures, "Case-relative figure, in page order (repeat)");
  cmd->callback([s, case_dir, &ctx] {
    ctx.exit_code = run_reporting([&] {
      s->case_dir = fs::absolute(*case_dir);
      const viewers::GalleryApp gallery(*s);
      return serve_viewer_http([&gallery](const std::string& t) { return gallery.handle(t); }, s->port, "gallery",
                               s->page);
    });
  });
}

void register_serve_viewer(CLI::App& app, CommandContext& ctx) {
  auto* cmd = app.add_subcommand("serve-viewer", "Serve a case's 3D surface viewer in the foreground (the host starts it)");
  auto s = std::make_shared<viewers::ViewerSettings>();
  auto case_dir = std::make_shared<std::string>();
  cmd->add_option("--port", s->port, "Port on 127.0.0.1")->required();
  cmd->add_option("--case", *case_dir, "Case directory")->required();
  cmd->add_option("--file", s->files, "Case-relative .vtp surface (repeat)")->required();
  cmd->callback([s, case_dir, &ctx] {
    ctx.exit_code = run_reporting([&] {
      s->case_dir = fs::absolute(*case_dir);
      const viewers::ViewerApp viewer(*s);
      return serve_viewer_http([&viewer](const std::string& t) { return viewer.handle(t); }, s->port, "3D viewer", "");
    });
  });
}

void print_port_state(int port) {
  const auto rec = viewers::ServerRecords::standard().load(port);
  const std::string kind = rec ? rec->kind : "";
  const auto [running, url] = kind == "gallery" ? viewers::review_gallery(rec->page, port) : viewers::review_viewer(port);
  if (running) {
    std::cout << port << " " << kind << " running " << url << " " << (rec ? rec->case_dir : "") << "\n";
    return;
  }
  const std::string note = viewers::port_note(port);
  std::cout << port << " not running: " << (note.empty() ? "an orvanta server of another kind answers there." : note)
            << "\n";
}

void register_gallery_launch(CLI::App* group, CommandContext& ctx) {
  auto* gallery = group->add_subcommand("gallery", "Serve figures of a case as a gallery page (replaces the server on the port)");
  auto g = std::make_shared<GalleryLaunch>();
  g->server_log_filename = "log_html.txt";
  gallery->add_option("--case", g->case_dir, "Case directory")->required();
  gallery->add_option("--page", g->page, "Page name, e.g. mesh.html")->required();
  gallery->add_option("--port", g->port, "Port on 127.0.0.1")->capture_default_str();
  gallery->add_option("--plot-log", g->plot_log_filename, "Case-relative plotting log");
  gallery->add_option("--server-log", g->server_log_filename, "Case-relative server log")->capture_default_str();
  gallery->add_option("figures", g->figures, "Case-relative figures, in page order");
  gallery->callback([g, &ctx] {
    ctx.exit_code = run_reporting([&] {
      g->case_dir = fs::absolute(g->case_dir).lexically_normal().string();
      viewers::launch_gallery(*g);
      print_port_state(g->port);
      return viewers::review_gallery(g->page, g->port).first ? 0 : 1;
    });
  });
}

void register_viewer_launch(CLI::App* group, CommandContext& ctx) {
  auto* view = group->add_subcommand("view", "Serve .vtp surfaces of a case in the 3D viewer (replaces the server on the port)");
  auto v = std::make_shared<ViewerLaunch>();
  v->server_log_filename = "log_trame.txt";
  view->add_option("--case", v->case_dir, "Case directory")->required();
  view->add_option("--port", v->port, "Port on 127.0.0.1")->capture_default_str();
  view->add_option("--server-log", v->server_log_filename, "Case-relative server log")->capture_default_str();
  view->add_option("files", v->vtk_files, "Case-relative .vtp surfaces")->required();
  view->callback([v, &ctx] {
    ctx.exit_code = run_reporting([&] {
      v->case_dir = fs::absolute(v->case_dir).lexically_normal().string();
      viewers::launch_viewer(*v);
      print_port_state(v->port);
      return viewers::review_viewer(v->port).first ? 0 : 1;
    });
  });
}

void register_status_and_stop(CLI::App* group, CommandContext& ctx) {
  auto* status = group->add_subcommand("status", "Say what runs on the given ports (default: every recorded port)");
  auto ports = std::make_shared<std::vector<int>>();
  status->add_option("--port", *ports, "Port to look at (repeat)");
  status->callback([ports, &ctx] {
    ctx.exit_code = run_reporting([&] {
      std::vector<int> list = *ports;
      if (list.empty())
        for (const auto& r : viewers::recorded_servers()) list.push_back(r.port);
      for (int p : list) print_port_state(p);
      return 0;
    });
  });

  auto* stop = group->add_subcommand("stop", "Stop the servers the host started on the given ports (or all)");
  auto stop_ports = std::make_shared<std::vector<int>>();
  auto all = std::make_shared<bool>(false);
  stop->add_option("--port", *stop_ports, "Port (repeat)");
  stop->add_flag("--all", *all, "Every recorded server");
  stop->callback([stop_ports, all, &ctx] {
    ctx.exit_code = run_reporting([&] {
      std::vector<int> list = *stop_ports;
      if (*all)
        for (const auto& r : viewers::recorded_servers()) list.push_back(r.port);
      for (int p : list) {
        viewers::stop_server(p);
        std::cout << p << " stopped\n";
      }
      return 0;
    });
  });
}

}  // namespace

void register_viewer_commands(CLI::App& app, CommandContext& ctx) {
  register_serve_gallery(app, ctx);
  register_serve_viewer(app, ctx);
  auto* group = app.add_subcommand("viewers", "Start, list and stop the figure gallery and the 3D viewer by hand");
  group->require_subcommand(1);
  register_gallery_launch(group, ctx);
  register_viewer_launch(group, ctx);
  register_status_and_stop(group, ctx);
}

}  // namespace orvanta::app
