// The three sheet importers on any file, for a controller of each format.
// The first byte picks the importer and the firmware; the rest is the sheet.
#include "backup/backup.h"
#include "import/import.h"

#include "quiet_stdout.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr const char* firmware_versions[] = {"1.0.0", "1.3.0", "1.3.1", "1.5.0", "2.2.4", ""};
std::string sheet_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    sheet_path = "/tmp/kelpu-fuzz-sheet-" + std::to_string(::getpid()) + ".csv";
    std::atexit([] { std::remove(sheet_path.c_str()); });
    return quiet_stdout();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned choice = data[0];
    std::FILE* file = std::fopen(sheet_path.c_str(), "wb");
    if (file == nullptr)
        return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    BackupRecord backup;
    const char* firmware = firmware_versions[(choice >> 2) % std::size(firmware_versions)];
    if (*firmware != '\0')
        backup.firmware_version = firmware;
    auto image = std::make_unique<ChannelConfigImage>();
    switch (choice % 3) {
    case 0: importcsv(backup, sheet_path, *image); break;
    case 1: importcsv_cd(backup, sheet_path, *image); break;
    default: importcsv_groups(backup, sheet_path, *image); break;
    }
    return 0;
}
