#pragma once
// Where the host finds its files at run time. Each location can be overridden by an
// environment variable, so an installed tree or a test can point elsewhere.

#include <filesystem>
#include <string>

namespace orvanta {

// Folder of an asset package ("aircraft_assets"); ORVANTA_ASSETS_DIR overrides the parent.
std::filesystem::path asset_package_dir(const std::string& package);
// Defaults of the advanced parameters; ORVANTA_ADV_PARAMS_FILE overrides.
std::filesystem::path advanced_parameters_file();
// The viewer front end (web/); ORVANTA_WEB_DIR overrides.
std::filesystem::path web_dir();
// The running orvanta executable, for commands that call back into it.
std::filesystem::path orvanta_executable();
// Reads a whole file as text; FileNotFoundError when it cannot be opened.
std::string read_text_file(const std::filesystem::path& path);

}  // namespace orvanta
