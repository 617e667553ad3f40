#pragma once
// Other programs' view of a ZIP file (Python's zipfile, Info-ZIP unzip), and
// a scratch folder for the archives under test.

#include <cstdint>
#include <string>
#include <vector>

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const;
    const std::string path;
};

// One entry as Python's zipfile reads it; reading the content checks its CRC.
struct PeerEntry {
    std::string name;
    int method = -1; // 0 stored, 8 deflated
    std::uint64_t size = 0;
    std::uint64_t compressed_size = 0;
    std::vector<std::uint8_t> content;
    std::int64_t mtime = 0; // the DOS date and time, read as local time
};

// The entries in archive order; fails the running test when Python cannot
// read the archive.
std::vector<PeerEntry> python_zip_entries(const std::string& path);

// Runs a Python script with the archive path as sys.argv[1]; zipfile is
// imported as "zipfile". Fails the running test when the script fails.
void python_zip_run(const std::string& script, const std::string& path);

// "unzip -t" on the archive: its exit status (0 when every entry tests good).
int unzip_test(const std::string& path);

std::vector<std::uint8_t> file_bytes(const std::string& path);
void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Bytes that deflate well but are not all the same.
std::vector<std::uint8_t> pattern_bytes(std::size_t size);
