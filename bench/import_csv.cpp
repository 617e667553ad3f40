// Importing a 64-row channel sheet and a 32-device inputs sheet, against
// reading the same files with libcsv alone (same 1,024-byte chunks, callbacks
// that only count). Prints the time per sheet of both and their ratio; exit
// status 0 when each ratio is at most 2.
//
//   import_csv_bench [folder for the two sheets]

#include "import/import.h"

#include <csv.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int rounds = 9;
constexpr int sheets_per_round = 200;
constexpr double goal_ratio = 2.0;

std::string channel_sheet()
{
    std::string sheet = "#dali-channel-csv-version: 1\n# header_value,device_index,...\n";
    for (int i = 0; i < 64; ++i)
        sheet += "0," + std::to_string(i) + "," + std::to_string(i) + ",\"Office, row " + std::to_string(i) +
                 " luminaire\",\"[" + std::to_string(i % 16) + "," + std::to_string((i + 5) % 16) +
                 "]\",254,null,85,254,7,4,\"[254,200,100,null,0,50,60,70,80,90,100,110,120,130,140,150]\"\n";
    return sheet;
}

std::string inputs_sheet()
{
    std::string sheet = "#dali-channel-inputs-csv-version: 1\n# header_value,input_index,...\n";
    const std::string four = "\"[1,3,4,1]\"", values = "\"[10,20,30,40]\"";
    for (int j = 0; j < 32; ++j) {
        sheet += "0," + std::to_string(j) + "," + std::to_string(j) + ",Keypad " + std::to_string(j) + ",0,4," + four +
                 ",\"[0,1,2,3]\",[33]";
        for (int c = 9; c < 20; ++c)
            sheet += "," + values;
        sheet += "\n";
    }
    return sheet;
}

void count_field(void*, std::size_t, void* fields) { ++*static_cast<std::size_t*>(fields); }
void count_row(int, void*) {}

// libcsv alone, as the importers feed it.
void tokenise_only(const std::string& path)
{
    csv_parser parser;
    csv_init(&parser, CSV_APPEND_NULL);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    char chunk[1024];
    std::size_t fields = 0, n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        csv_parse(&parser, chunk, n, count_field, count_row, &fields);
    csv_fini(&parser, count_field, count_row, &fields);
    std::fclose(file);
    csv_free(&parser);
}

// Processor time of this thread: the machine may be busy with other work,
// which wall time would count against whichever side it happened to hit.
double thread_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Run>
double round_seconds_per_sheet(Run run)
{
    const double start = thread_seconds();
    for (int i = 0; i < sheets_per_round; ++i)
        run();
    return (thread_seconds() - start) / sheets_per_round;
}

struct Timing {
    double import = 1e9, tokenise = 1e9;
};

// Best round of each, the two sides taking turns round by round.
template <typename Import, typename Tokenise>
Timing time_sheet(Import import, Tokenise tokenise)
{
    Timing timing;
    for (int round = 0; round < rounds; ++round) {
        timing.import = std::min(timing.import, round_seconds_per_sheet(import));
        timing.tokenise = std::min(timing.tokenise, round_seconds_per_sheet(tokenise));
    }
    return timing;
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::string channel_path = folder / "bench-channel.csv", inputs_path = folder / "bench-inputs.csv";
    std::ofstream(channel_path, std::ios::binary) << channel_sheet();
    std::ofstream(inputs_path, std::ios::binary) << inputs_sheet();

    BackupRecord backup;
    backup.firmware_version = "2.2.4";
    auto image = std::make_unique<ChannelConfigImage>();
    // The importers report each file's row count; keep that off the terminal.
    const int saved_stdout = dup(STDOUT_FILENO);
    std::fflush(stdout);
    std::freopen("/dev/null", "w", stdout);
    const Timing channel = time_sheet([&] { importcsv(backup, channel_path, *image); },
                                      [&] { tokenise_only(channel_path); });
    const Timing inputs = time_sheet([&] { importcsv_cd(backup, inputs_path, *image); },
                                     [&] { tokenise_only(inputs_path); });
    std::fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);

    const double channel_ratio = channel.import / channel.tokenise, inputs_ratio = inputs.import / inputs.tokenise;
    std::printf("channel sheet (64 rows):   import %.1f us, libcsv alone %.1f us, ratio %.2f\n", channel.import * 1e6,
                channel.tokenise * 1e6, channel_ratio);
    std::printf("inputs sheet (32 devices): import %.1f us, libcsv alone %.1f us, ratio %.2f\n", inputs.import * 1e6,
                inputs.tokenise * 1e6, inputs_ratio);
    std::printf("goal: ratio <= %.1f\n", goal_ratio);
    std::filesystem::remove(channel_path);
    std::filesystem::remove(inputs_path);
    return channel_ratio <= goal_ratio && inputs_ratio <= goal_ratio ? 0 : 1;
}
