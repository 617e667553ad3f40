#include "mzsimple/zip_peers.h"

#include "support/run_process.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace {

std::string make_scratch_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mzsimple-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

std::vector<std::uint8_t> from_hex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

const char* const list_script = R"(import sys, time, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        stamp = int(time.mktime(i.date_time + (0, 0, -1)))
        print(i.filename, i.compress_type, i.file_size, i.compress_size, z.read(i).hex(), stamp, sep='\t')
)";

// Debian's interpreter starts at once; a version manager's shim found first
// on PATH can take a second per run.
std::string python()
{
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

} // namespace

ScratchDir::ScratchDir() : path(make_scratch_dir()) {}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ScratchDir::file(const std::string& name) const
{
    return path + "/" + name;
}

std::vector<PeerEntry> python_zip_entries(const std::string& path)
{
    const ProcessResult run = run_process({python(), "-c", list_script, path});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::vector<PeerEntry> entries;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            fields.push_back(cell);
        }
        if (fields.size() != 6) {
            ADD_FAILURE() << "unexpected zipfile line: " << line;
            continue;
        }
        entries.push_back({fields[0], std::stoi(fields[1]), std::stoull(fields[2]), std::stoull(fields[3]),
                           from_hex(fields[4]), std::stoll(fields[5])});
    }
    return entries;
}

void python_zip_run(const std::string& script, const std::string& path)
{
    const ProcessResult run = run_process({python(), "-c", "import sys, zipfile\n" + script, path});
    ASSERT_EQ(run.exit_code, 0) << run.err;
}

int unzip_test(const std::string& path)
{
    const ProcessResult run = run_process({"unzip", "-t", path});
    return run.exit_code;
}

std::vector<std::uint8_t> file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> pattern_bytes(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251) % 61);
    }
    return bytes;
}
