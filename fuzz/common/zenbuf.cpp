// Any byte string as a received ZENBUF: sizing, unpacking into a session's
// message and both dumps must answer with their codes, log their insist
// lines and stay inside the buffer, the message and the overflow area.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/arc/packmsg.h"
#include "common/log.h"

namespace {

constexpr int OVERFLOW_SIZE = 5000;

void openScratchLog() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_zenbuf.log";
  // A small ring keeps the scratch file bounded over a long run.
  logOptions("T1000");
  if (logOpen(path.c_str(), 0) != 0) std::abort();
}

bool knownResult(int r) { return r >= 0 || r == PACK_EINVALID || r == PACK_EFATAL; }

void checkMessage(const ZENMSG& msg) {
  if (msg.used < 0 || msg.used > ZENMSG_AREASIZE + ZENMSG_SLACK) std::abort();
  if (msg.overflowUsed < 0 || msg.overflowUsed > OVERFLOW_SIZE) std::abort();
  if (msg.Prm < 0 || msg.Prm > ZENMSG_ADDLIMIT / ZENMSG_ENTRYHEAD) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool opened = (openScratchLog(), true);
  (void)opened;
  // Exact-size heap copies so that any read or write outside shows.
  std::vector<std::uint8_t> buf(data, data + size);
  const std::span<const std::uint8_t> in(buf);

  const int total = getBufSize(in);
  if (total < ZENBUF_HDRSIZE || (total > ZENBUF_HDRSIZE && static_cast<std::size_t>(total) > size)) std::abort();
  dumpbuf(in);

  auto msg = std::make_unique<ZENMSG>();
  std::memset(msg.get(), 0, sizeof(ZENMSG));
  auto block = std::make_unique<std::uint8_t[]>(OVERFLOW_SIZE);
  const ZenOverflow overflow{block.get(), OVERFLOW_SIZE};

  struct Range {
    const ZenOverflow* overflow;
    int first, last;
  };
  const Range ranges[] = {{&overflow, 0, 0}, {nullptr, 0, 0}, {&overflow, 2, 3}, {&overflow, 4, 0}};
  for (const Range& r : ranges) {
    const int got = bufToMsg(*msg, r.overflow, in, r.first, r.last);
    if (!knownResult(got)) std::abort();
    checkMessage(*msg);
    dumpbmsg(*msg, r.overflow);
    for (int n = 1; n <= msg->Prm + 1 && n <= 4; ++n) {
      std::uint8_t out[64];
      msgCopyString(*msg, r.overflow, n, out);
      msgParamLen(*msg, n);
      std::int32_t v;
      msgGetInt(*msg, n, &v);
    }
  }

  // The readers on the raw buffer.
  for (int n = 0; n <= 4; ++n) {
    std::uint8_t out[64];
    bufCopyString(in, n, out);
    bufGetInt(in, n);
    bufGetShort(in, n);
    bufGetChar(in, n);
    const int len = bufParamLen(in, n);
    const std::uint8_t* s = bufGetString(in, n);
    if (s && (s < buf.data() || s + len > buf.data() + size)) std::abort();
  }
  if (!logIsOpen()) std::abort();
  return 0;
}
