// korvex-mcs dump and frames: packed MCS messages shown as the trace log
// would show them, without time stamps.
#include "mcs_dump.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/arc/packbuf.h"
#include "common/compress.h"

namespace {

constexpr int FRAME_HEAD = 2;

std::vector<std::uint8_t> readAll(std::FILE* f) {
  std::vector<std::uint8_t> data;
  std::uint8_t chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + got);
  return data;
}

bool put(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

} // namespace

int mcsToolDump(int argc, char**) {
  if (argc != 0) return -1;
  const std::vector<std::uint8_t> buf = readAll(stdin);
  std::string out;
  dumpbufText(buf, out);
  const bool ok = put(out) && std::fflush(stdout) == 0;
  if (buf.size() < static_cast<std::size_t>(ZENBUF_HDRSIZE)) {
    std::fprintf(stderr, "korvex-mcs dump: %zu bytes is shorter than a ZENBUF header\n", buf.size());
    return 1;
  }
  return ok ? 0 : 1;
}

int mcsToolFrames(int argc, char**) {
  if (argc != 0) return -1;
  const std::vector<std::uint8_t> stream = readAll(stdin);
  compressBuildTable();
  int status = 0;
  std::size_t at = 0;
  for (int frame = 1; at < stream.size(); ++frame) {
    std::string out;
    char line[128];
    if (stream.size() - at < FRAME_HEAD) {
      std::snprintf(line, sizeof line, "frame %d: truncated length\n", frame);
      put(line);
      status = 1;
      break;
    }
    // Lengths are signed 16-bit on the wire.
    const int length = zenGet16(stream.data() + at);
    at += FRAME_HEAD;
    if (length < 0) {
      std::snprintf(line, sizeof line, "frame %d: bad length %d\n", frame, length);
      put(line);
      status = 1;
      break;
    }
    if (stream.size() - at < static_cast<std::size_t>(length)) {
      std::snprintf(line, sizeof line, "frame %d: body %d bytes, only %zu present\n", frame, length,
                    stream.size() - at);
      put(line);
      status = 1;
      break;
    }
    std::uint8_t* message = nullptr;
    const int size = decompressBuf(length, stream.data() + at, &message, 0);
    at += static_cast<std::size_t>(length);
    if (size < 0) {
      std::snprintf(line, sizeof line, "frame %d: body %d bytes, decompress failed %d\n", frame, length, size);
      put(line);
      status = 1;
      continue;
    }
    std::snprintf(line, sizeof line, "frame %d: body %d bytes, message %d bytes\n", frame, length, size);
    out += line;
    const ZenDumpSink sink = zenTextSink(out);
    sink.dump(sink.context, "message", message, size);
    dumpbufText(std::span<const std::uint8_t>(message, static_cast<std::size_t>(size)), out);
    std::free(message);
    if (!put(out)) return 1;
  }
  return std::fflush(stdout) == 0 ? status : 1;
}
