#pragma once
// A fresh folder below the system's temporary folder, removed with all it
// holds when the test is done.

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

struct ScratchDir {
    std::string path = [] {
        std::string pattern = std::filesystem::temp_directory_path() / "kelpu-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        return pattern;
    }();
    ScratchDir() = default;
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() { std::filesystem::remove_all(path); }
};
