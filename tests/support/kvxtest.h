#pragma once
// Small helpers shared by the test suites.
#include <string>
#include <vector>
#include <cstdint>

namespace kvxtest {

// Absolute path of a file in the source tree, e.g. "tests/core/data/x.bin".
std::string sourcePath(const std::string& rel);
// Absolute path inside the build tree.
std::string binaryPath(const std::string& rel);
// Whole file as bytes; empty when it cannot be read (the caller asserts).
std::vector<uint8_t> readFile(const std::string& path);
// A fresh empty directory under the build tree's scratch area.
std::string scratchDir(const std::string& name);

} // namespace kvxtest
