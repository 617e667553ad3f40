#pragma once
// Backups for the restore tests: taken from a simulator, read back entry by
// entry, and made up from parts.

#include "firmware/firmware_files.h"
#include "log/log.h"
#include "support/simulator.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Entries = std::vector<std::pair<std::string, Bytes>>;

// A get_backup of sim (every configuration, ZIP) into a fresh folder under
// dir; the archive's path.
std::filesystem::path take_backup(const Simulator& sim, const TempDir& dir);

// Every entry of a ZIP archive in archive order.
Entries zip_entries(const std::filesystem::path& archive);
const Bytes& entry(const Entries& entries, const std::string& name);

// The member of that name in a TAR; fails the test when it is missing.
Bytes tar_member(const Bytes& tar, const std::string& name);
// A TAR of the given members, made by the project's TAR writer.
Bytes make_tar(const std::vector<std::pair<std::string, Bytes>>& members);

void write_zip(const std::filesystem::path& path, const Entries& entries);

std::string sha256_hex(const Bytes& bytes);

// The log window as the restore fills it.
struct LogWindow : LogSink {
    struct Line {
        LogColour colour;
        std::string text; // without the time stamp and line end
    };
    std::vector<Line> lines; // oldest first
    std::vector<int> progress;
    LogWindow() { log_set_sink(this); }
    ~LogWindow() override { log_set_sink(nullptr); }
    void insert_line_at_top(LogColour colour, std::string_view line) override;
    void set_progress(int percent) override { progress.push_back(percent); }
    std::vector<std::string> texts(LogColour colour) const;
};

// The restore triggers that sim logged, in order, and its uploads.
std::vector<SimRequest> restore_triggers(const Simulator& sim);
std::vector<SimRequest> uploads(const Simulator& sim);
