#include "restore/backup_files.h"

#include "action/get_backup.h"
#include "firmware/hex.h"
#include "firmware/sha256.h"
#include "mzsimple/mzsimple.h"
#include "tar/tar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

fs::path take_backup(const Simulator& sim, const TempDir& dir)
{
    fs::path folder = dir / "backup-1";
    for (int n = 2; fs::exists(folder); ++n)
        folder = dir / ("backup-" + std::to_string(n));
    fs::create_directories(folder);
    EXPECT_EQ(action_get_backup(sim.address(), folder.string(), "zip", {}), 0);
    const fs::directory_iterator files(folder);
    if (files == fs::directory_iterator())
        throw std::runtime_error("get_backup wrote no archive");
    return files->path();
}

Entries zip_entries(const fs::path& archive)
{
    Entries entries;
    std::unique_ptr<ZipArchive> zip = mzsimple_open(archive.string(), 0, 'r');
    if (!zip)
        throw std::runtime_error("not a ZIP archive: " + archive.string());
    for (std::int64_t i = 0; i < mzsimple_entries_total(*zip); ++i) {
        mzsimple_entry_open_index(*zip, i);
        entries.emplace_back(*mzsimple_entry_name(*zip), mzsimple_entry_read(*zip).value_or(Bytes{}));
        mzsimple_entry_close(*zip);
    }
    mzsimple_close(std::move(zip));
    return entries;
}

const Bytes& entry(const Entries& entries, const std::string& name)
{
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == name; });
    if (found == entries.end())
        throw std::runtime_error("no entry " + name);
    return found->second;
}

Bytes tar_member(const Bytes& tar, const std::string& name)
{
    TarStream stream;
    TarHeader header;
    tar_open_memory_reader(stream, tar);
    if (tar_find(stream, name, &header) != TAR_SUCCESS) {
        ADD_FAILURE() << "no member " << name;
        return {};
    }
    Bytes data(header.size);
    EXPECT_EQ(tar_read_data(stream, data.data(), header.size), TAR_SUCCESS);
    return data;
}

Bytes make_tar(const std::vector<std::pair<std::string, Bytes>>& members)
{
    TarStream stream;
    tar_open_memory_writer(stream);
    for (const auto& [name, data] : members) {
        tar_write_file_header(stream, name, static_cast<std::uint32_t>(data.size()));
        if (!data.empty())
            tar_write_data(stream, data.data(), static_cast<std::uint32_t>(data.size()));
    }
    tar_finalize(stream);
    return std::move(stream.buffer);
}

void write_zip(const fs::path& path, const Entries& entries)
{
    std::vector<PackageEntry> package;
    for (const auto& [name, data] : entries)
        package.push_back({name, data, ZIP_EM_NONE});
    write_package(path, package);
}

std::string sha256_hex(const Bytes& bytes)
{
    Sha256 context = sha256_start();
    sha256_update(context, bytes);
    return hex_encode(sha256_finish(context));
}

void LogWindow::insert_line_at_top(LogColour colour, std::string_view line)
{
    std::string text(line.substr(24)); // after the time stamp
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    lines.push_back({colour, text});
}

std::vector<std::string> LogWindow::texts(LogColour colour) const
{
    std::vector<std::string> found;
    for (const Line& line : lines)
        if (line.colour == colour)
            found.push_back(line.text);
    return found;
}

std::vector<SimRequest> restore_triggers(const Simulator& sim)
{
    std::vector<SimRequest> found;
    for (const SimRequest& r : sim.requests())
        if (r.query == "action=restoreconfig")
            found.push_back(r);
    return found;
}

std::vector<SimRequest> uploads(const Simulator& sim)
{
    std::vector<SimRequest> found;
    for (const SimRequest& r : sim.requests())
        if (r.kind == "WRQ")
            found.push_back(r);
    return found;
}
