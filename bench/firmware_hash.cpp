// Loading and digesting the largest firmware image the utility accepts,
// against sha256sum on the same file. Exit status 0 when the load and digest
// take at most 1.5 times as long as sha256sum (best of several rounds) and
// both give the same digest.
//
//   firmware_hash_bench [folder for the 16 MiB test file]

#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"
#include "firmware/hex.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int rounds = 7;
constexpr double goal_ratio = 1.5;

void write_image(const std::filesystem::path& path)
{
    std::vector<char> bytes(firmware_image_max_size);
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Seconds for one load and digest; the digest goes to digest_text.
double time_load(const std::filesystem::path& path, std::string& digest_text)
{
    const auto start = Clock::now();
    FileImage image;
    image.path = path.string();
    Sha256 context = sha256_start();
    if (firmware_prepare_raw(image, context) != 0)
        std::exit(2);
    digest_text = hex_encode(sha256_finish(context));
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds for one run of sha256sum, start and end of the process included.
double time_sha256sum(const std::filesystem::path& path, std::string& digest_text)
{
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        std::exit(2);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        execlp("sha256sum", "sha256sum", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_ends[1]);
    char text[64];
    std::size_t got = 0;
    ssize_t n;
    while (got < sizeof text && (n = read(pipe_ends[0], text + got, sizeof text - got)) > 0)
        got += static_cast<std::size_t>(n);
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got != sizeof text)
        std::exit(2);
    digest_text.assign(text, sizeof text);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const std::filesystem::path path = folder / "firmware_hash_bench.binary";
    write_image(path);

    // Best of several rounds, alternating, so that both read from the page cache.
    // The first round is what one run of the utility sees.
    double ours = 1e9;
    double theirs = 1e9;
    double ours_first = 0;
    double theirs_first = 0;
    std::string our_digest;
    std::string their_digest;
    for (int round = 0; round < rounds; ++round) {
        const double our_time = time_load(path, our_digest);
        const double their_time = time_sha256sum(path, their_digest);
        if (round == 0) {
            ours_first = our_time;
            theirs_first = their_time;
        }
        ours = std::min(ours, our_time);
        theirs = std::min(theirs, their_time);
    }
    std::filesystem::remove(path);

    const double ratio = ours / theirs;
    std::printf("\nfirmware load and SHA-256 of %zu bytes: %.1f ms (first round %.1f ms)\n",
                firmware_image_max_size, ours * 1e3, ours_first * 1e3);
    std::printf("sha256sum of the same file:             %.1f ms (first round %.1f ms)\n", theirs * 1e3,
                theirs_first * 1e3);
    std::printf("ratio %.2f (goal <= %.1f), digests %s\n", ratio, goal_ratio,
                our_digest == their_digest ? "agree" : "DIFFER");
    return our_digest == their_digest && ratio <= goal_ratio ? 0 : 1;
}
