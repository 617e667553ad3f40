#include "platform/partial_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace {

TEST(PartialFiles, AStoppedRunRemovesOnlyTheFilesStillBeingWritten)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kelpu-partial-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path finished = folder / "finished.zip";
    const std::filesystem::path unfinished = folder / "unfinished.zip";
    std::ofstream(finished) << "whole";
    std::ofstream(unfinished) << "half";
    {
        const PartialFile written(finished.string());
    }
    std::optional<PartialFile> writing;
    writing.emplace(unfinished.string());

    partial_files_remove_all();
    EXPECT_TRUE(std::filesystem::exists(finished));
    EXPECT_FALSE(std::filesystem::exists(unfinished));
    // Removed once: a file of the same name made later is not touched.
    std::ofstream(unfinished) << "new";
    writing.reset();
    partial_files_remove_all();
    EXPECT_TRUE(std::filesystem::exists(unfinished));
    std::filesystem::remove_all(folder);
}

} // namespace
