#pragma once
// Where the kit's parts are: everything is found from the folder of the
// running executable, so a kit copied to any folder still finds its parts.

#include <optional>
#include <string>

struct KitPaths {
    std::string root;           // the folder holding kelpkit
    std::string utility;        // cli/kelpu-cli
    std::string server_dir;     // http/, the server's working folder
    std::string server_program; // http/kelpkit-http-server
    std::string extensions_dir; // extensions/, the web extension library
};

// The folder of the running executable (symbolic links resolved), or
// nothing when the system cannot tell.
std::optional<std::string> executable_dir();

KitPaths kit_paths(const std::string& root);
