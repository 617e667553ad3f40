#include "platform/partial_files.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// The run's worker adds and drops paths while the window thread may remove
// them when the user stops the run.
std::mutex partial_lock;
std::vector<std::string>& partial_paths()
{
    static std::vector<std::string> paths;
    return paths;
}

} // namespace

PartialFile::PartialFile(std::string path) : path_(std::move(path))
{
    const std::lock_guard lock(partial_lock);
    partial_paths().push_back(path_);
}

PartialFile::~PartialFile()
{
    const std::lock_guard lock(partial_lock);
    std::vector<std::string>& paths = partial_paths();
    const auto found = std::find(paths.begin(), paths.end(), path_);
    if (found != paths.end())
        paths.erase(found);
}

void partial_files_remove_all()
{
    const std::lock_guard lock(partial_lock);
    for (const std::string& path : partial_paths())
        ::unlink(path.c_str());
    partial_paths().clear();
}
