#include "support/kvxtest.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace kvxtest {

std::string sourcePath(const std::string& rel) { return std::string(KVX_SOURCE_DIR) + "/" + rel; }
std::string binaryPath(const std::string& rel) { return std::string(KVX_BINARY_DIR) + "/" + rel; }

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string scratchDir(const std::string& name)
{
    // The pid keeps parallel ctest runs of different cases apart.
    auto dir = std::filesystem::path(KVX_BINARY_DIR) / "scratch" / (name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

} // namespace kvxtest
