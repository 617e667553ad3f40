#include "platform/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

namespace {

// A file name may hold 255 bytes; the temporary name adds a dot and a suffix.
constexpr std::size_t kept_name_length = 200;
constexpr int name_attempts = 100;

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string temp_name_for(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    const std::size_t slash = path.rfind('/');
    const std::string head = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(head.size(), kept_name_length);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%u-%08x", static_cast<long>(::getpid()), counter++,
                  static_cast<unsigned>(random()));
    return head + "." + name + suffix;
}

// The rename is only durable once the folder's entry is on disk too; a
// folder that cannot be synced does not undo the file, so this is advice.
void sync_folder(const std::string& path)
{
    const int folder = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace

AtomicFile::~AtomicFile()
{
    atomic_file_abandon(*this);
}

int atomic_file_begin(AtomicFile& file, const std::string& path)
{
    atomic_file_abandon(file);
    file.path = path;
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        std::string temp = temp_name_for(path);
        // 0666 lets the umask decide, as for any other new file.
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file.fd = fd;
            file.temp_path = std::move(temp);
            file.unfinished.emplace(file.temp_path);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int atomic_file_write(AtomicFile& file, std::span<const std::uint8_t> bytes)
{
    if (file.fd < 0)
        return EBADF;
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

int atomic_file_commit(AtomicFile& file)
{
    if (file.fd < 0)
        return EBADF;
    int error = 0;
    if (::fsync(file.fd) != 0)
        error = errno;
    // close reports errors of some file systems (NFS) that fsync did not.
    if (::close(file.fd) != 0 && error == 0)
        error = errno;
    file.fd = -1;
    if (error == 0 && ::rename(file.temp_path.c_str(), file.path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        atomic_file_abandon(file);
        return error;
    }
    file.temp_path.clear();
    file.unfinished.reset();
    sync_folder(file.path);
    return 0;
}

void atomic_file_abandon(AtomicFile& file)
{
    if (file.fd >= 0)
        ::close(file.fd);
    file.fd = -1;
    if (!file.temp_path.empty())
        ::unlink(file.temp_path.c_str());
    file.temp_path.clear();
    file.unfinished.reset();
}

int atomic_file_write_whole(const std::string& path, std::span<const std::uint8_t> bytes)
{
    AtomicFile file;
    if (const int error = atomic_file_begin(file, path))
        return error;
    if (const int error = atomic_file_write(file, bytes))
        return error;
    return atomic_file_commit(file);
}

int folder_create(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return error.value() != 0 ? error.value() : EIO;
    if (!std::filesystem::is_directory(folder, error))
        return ENOTDIR;
    return 0;
}
