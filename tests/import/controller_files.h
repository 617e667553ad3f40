#pragma once
// What a simulated controller holds: a configuration file fetched the way a
// backup fetches it, straight out of the TAR.

#include "backup/backup.h"
#include "support/simulator.h"
#include "tar/tar.h"

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> controller_file(const Simulator& sim, const std::string& config, const std::string& path)
{
    BackupRecord record;
    if (backup_fetch("http://" + sim.address(), config, record) != 0)
        return {};
    TarStream tar;
    TarHeader header;
    if (tar_open_memory_reader(tar, record.data) != TAR_SUCCESS || tar_find(tar, path, &header) != TAR_SUCCESS)
        return {};
    std::vector<std::uint8_t> file(header.size);
    if (tar_read_data(tar, file.data(), header.size) != TAR_SUCCESS)
        return {};
    return file;
}

inline std::vector<std::uint8_t> channel_file_of(const Simulator& sim, unsigned channel)
{
    return controller_file(sim, "dali" + std::to_string(channel), "/etc/config/dali/dali" + std::to_string(channel) + ".bin");
}

inline std::vector<std::uint8_t> inputs_file_of(const Simulator& sim, unsigned channel)
{
    return controller_file(sim, "cd" + std::to_string(channel), "/etc/config/dali/cd" + std::to_string(channel) + ".bin");
}

inline int count_requests(const Simulator& sim, const std::string& kind, const std::string& query = "")
{
    int count = 0;
    for (const SimRequest& request : sim.requests())
        if (request.kind == kind && (query.empty() || request.query == query))
            ++count;
    return count;
}
