// Any byte string as a frame body: decompressBuf must answer with a code and
// stay inside its buffers. The same bytes as a message must survive a round
// trip through compressBuf.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/compress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > static_cast<std::size_t>(CMPRS_MSGMAX)) return 0;
  const int n = static_cast<int>(size);
  // An exact-size copy so that reading past the body is caught.
  std::vector<std::uint8_t> body(data, data + size);

  std::uint8_t* allocated = nullptr;
  int r = decompressBuf(n, body.data(), &allocated, 0);
  if (r >= 0) std::free(allocated);
  else if (r < CMPRS_EROOM || r > CMPRS_ENOMEM) std::abort();

  // A caller's buffer of a fixed small room, heap-allocated to its exact size.
  constexpr int ROOM = 64;
  std::vector<std::uint8_t> fixed(ROOM);
  std::uint8_t* out = fixed.data();
  r = decompressBuf(n, body.data(), &out, ROOM);
  if (r > ROOM || out != fixed.data()) std::abort();

  // Round trip with the staging room of a fresh comWrite.
  compressBuildTable();
  compressSetOn(true);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(n + 3 > 2000 ? n + 1 : 1998));
  const int c = compressBuf(n, body.data(), frame.data(), static_cast<int>(frame.size()));
  if (c < 0) std::abort();
  frame.resize(static_cast<std::size_t>(c));
  std::uint8_t* back = nullptr;
  const int m = decompressBuf(c, frame.data(), &back, 0);
  if (m != n || (n > 0 && std::memcmp(back, data, size) != 0)) std::abort();
  std::free(back);
  return 0;
}
