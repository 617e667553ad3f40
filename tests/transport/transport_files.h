#pragma once
// Files for the transport tests: a scratch folder and digests to compare a
// written file with what the simulator logged as sent.

#include <gtest/gtest.h>

#include <string>

// A fresh folder under the temporary directory, removed with the object.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;
};

std::string read_whole_file(const std::string& path);
std::string sha256_hex(const std::string& bytes);

// Succeeds when part occurs in text; the failure message shows the text.
::testing::AssertionResult contains(const std::string& text, const std::string& part);
