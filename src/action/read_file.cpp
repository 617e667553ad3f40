#include "action/read_file.h"

#include "action/argument_given.h"
#include "action/folder_path.h"
#include "log/log.h"
#include "platform/atomic_file.h"
#include "transport/tftp_read.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The remote name may carry a folder in either style; only its last part
// names the local file.
std::string_view base_name(std::string_view name)
{
    name = name.substr(name.find_last_of('/') + 1);
    return name.substr(name.find_last_of('\\') + 1);
}

} // namespace

int action_read_file(const std::optional<std::string>& ip, std::string_view remote_name,
                     std::uint64_t expected_size, const std::optional<std::string>& folder,
                     const std::optional<std::string>& type)
{
    progress_set(0);
    // An empty folder would put the file at the root of the file system.
    if (!argument_given(ip) || remote_name.empty() || !argument_given(folder) || !type) {
        log_color(colour_red, "[ERROR] Invalid arguments to action_read_file\n");
        return 2;
    }
    const std::optional<std::string> path = folder_path(*folder, base_name(remote_name));
    if (!path) {
        log_color(colour_red, "[ERROR] Output path too long\n");
        return 2;
    }
    std::printf("[INFO] Output file: %s", path->c_str());
    // The folder and the temporary file come first, so that an output that
    // cannot be written is refused before the transfer.
    AtomicFile file;
    int error = folder_create(*folder);
    if (error == 0)
        error = atomic_file_begin(file, *path);
    if (error != 0) {
        log_color(colour_red, "[ERROR] Cannot open output file: %s: %s\n", path->c_str(), std::strerror(error));
        return 1;
    }
    std::printf("[INFO] Opened output file for writing: %s", path->c_str());

    const std::string name(remote_name);
    std::vector<std::uint8_t> bytes;
    if (action_read_file_memory(*ip, name, expected_size, bytes) != 0) {
        // A transfer that broke off replaces nothing.
        log_color(colour_red, "Failed to read the file %s.", name.c_str());
        return 1;
    }
    error = atomic_file_write(file, bytes);
    if (error == 0)
        error = atomic_file_commit(file);
    if (error != 0) {
        log_color(colour_red, "[ERROR] Cannot write output file: %s: %s\n", path->c_str(), std::strerror(error));
        return 1;
    }
    log_color(colour_green, "File %s downloaded and written to: %s.", name.c_str(), path->c_str());
    return 0;
}
