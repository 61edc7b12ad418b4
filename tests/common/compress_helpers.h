#pragma once
// Shared by the compression test programs.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/compress.h"

namespace cmptest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The start-up state with the table built and compression switched on or off.
inline void freshCoder(bool on = true) {
  compressReset();
  compressBuildTable();
  compressSetOn(on);
}

// Room that a fresh comWrite staging buffer leaves for the body.
inline int stagingRoom(std::size_t length) {
  const int staging = static_cast<int>(length) + 3 > 2000 ? static_cast<int>(length) + 3 : 2000;
  return staging - 2;
}

struct Result {
  int code;
  Bytes data;
};

inline Result compress(const Bytes& message, int room) {
  Bytes out(static_cast<std::size_t>(room));
  const int r = compressBuf(static_cast<int>(message.size()), message.data(), out.data(), room);
  if (r >= 0) out.resize(static_cast<std::size_t>(r));
  else out.clear();
  return {r, out};
}

inline Result compress(const Bytes& message) { return compress(message, stagingRoom(message.size())); }

// Decompresses with the output allocated by the coder.
inline Result decompress(const Bytes& body) {
  std::uint8_t* out = nullptr;
  const int r = decompressBuf(static_cast<int>(body.size()), body.data(), &out, 0);
  Result res{r, {}};
  if (r >= 0) {
    res.data.assign(out, out + r);
    std::free(out);
  }
  return res;
}

} // namespace cmptest
