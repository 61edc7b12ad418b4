// korvex-mcs: MCS channel utilities on standard input and output.
//   compress [--off]  one message in, the frame body comWrite would send out
//   decompress        one frame body in, the message out
//   dump              one ZENBUF in, its decoded parameters out
//   frames            a stream of frames in, each one decompressed and decoded
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/compress.h"
#include "mcs_dump.h"

namespace {

constexpr int EXIT_USAGE = 2;
// comWrite's staging buffer starts at this size and grows to length + 3.
constexpr int STAGING_MIN = 2000;

std::vector<std::uint8_t> readAll(std::FILE* f) {
  std::vector<std::uint8_t> data;
  std::uint8_t chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + got);
  return data;
}

bool writeAll(const std::uint8_t* bytes, std::size_t length) {
  return std::fwrite(bytes, 1, length, stdout) == length && std::fflush(stdout) == 0;
}

int fail(int code) {
  std::fprintf(stderr, "%d\n", code);
  return 1;
}

int cmdCompress(int argc, char** argv) {
  bool on = true;
  if (argc == 1 && std::string_view(argv[0]) == "--off") on = false;
  else if (argc != 0) return -1;

  const std::vector<std::uint8_t> message = readAll(stdin);
  // compressBuf refuses these too; this keeps the length within an int.
  if (message.size() > static_cast<std::size_t>(CMPRS_MSGMAX)) return fail(CMPRS_EROOM);
  const int length = static_cast<int>(message.size());
  // A fresh process: table built at start-up, no work buffer yet, a fresh
  // staging buffer of which the first 2 bytes hold the frame length.
  compressBuildTable();
  compressSetOn(on);
  const int staging = length + 3 > STAGING_MIN ? length + 3 : STAGING_MIN;
  std::vector<std::uint8_t> body(static_cast<std::size_t>(staging - 2));
  const int size = compressBuf(length, message.data(), body.data(), staging - 2);
  if (size < 0) return fail(size);
  return writeAll(body.data(), static_cast<std::size_t>(size)) ? 0 : 1;
}

int cmdDecompress(int argc, char**) {
  if (argc != 0) return -1;
  const std::vector<std::uint8_t> body = readAll(stdin);
  compressBuildTable();
  std::uint8_t* message = nullptr;
  const int size = decompressBuf(static_cast<int>(body.size()), body.data(), &message, 0);
  if (size < 0) return fail(size);
  const bool ok = writeAll(message, static_cast<std::size_t>(size));
  std::free(message);
  return ok ? 0 : 1;
}

// A handler returns the exit status, or -1 for a usage error.
struct Command {
  const char* name;
  const char* args;
  int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"compress", "[--off]", cmdCompress},
    {"decompress", "", cmdDecompress},
    {"dump", "", mcsToolDump},
    {"frames", "", mcsToolFrames},
};

int usage() {
  std::fputs("usage: korvex-mcs", stderr);
  const char* sep = " ";
  for (const Command& c : kCommands) {
    std::fprintf(stderr, "%s%s%s%s", sep, c.name, *c.args ? " " : "", c.args);
    sep = " | ";
  }
  std::fputs("\n", stderr);
  return EXIT_USAGE;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    const int status = c.run(argc - 2, argv + 2);
    return status < 0 ? usage() : status;
  }
  return usage();
}
