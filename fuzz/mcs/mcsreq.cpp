// Random ZENBUFs as forms requests of every served code: decoding into the
// areas, the standard reply in both forms, and the same bytes read as a
// screen format (scan, information, field table). No crash, nothing
// written outside an area, and every reply a well-formed buffer.
#include "common/arc/packbuf.h"
#include "common/log.h"
#include "mcs/mcsfmt.h"
#include "mcs/mcsreq.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr std::array<int, 33> kServed = {17, 18, 20, 21, 22, 23, 24, 26, 27, 28, 29, 30, 31, 32, 33, 34, 36,
                                         37, 38, 39, 41, 42, 43, 47, 51, 52, 57, 58, 65, 198, 201, 204, 211};

std::unique_ptr<McsAreas> freshAreas() {
  auto a = std::make_unique<McsAreas>();
  a->msgArea.fill(' ');
  a->areaA.fill(' ');
  a->areaB.fill(' ');
  a->areaC.fill(' ');
  a->areaD.fill(' ');
  a->overflow.reset(new uint8_t[MCS_OVERFLOW_SIZE]());
  a->overflowCap = MCS_OVERFLOW_SIZE;
  return a;
}

void checkState(const McsAreas& a, const McsFormsState& fs) {
  if (fs.ctlLen < MCS_CTLBLK_MIN || fs.ctlLen > MCS_CTLBLK_MAX) std::abort();
  if (a.msg.used < 0 || a.msg.used > ZENMSG_AREASIZE + ZENMSG_SLACK) std::abort();
  if (a.msg.overflowUsed < 0 || a.msg.overflowUsed > MCS_OVERFLOW_SIZE) std::abort();
}

void request(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buf(data + 1, data + size);
  if (buf.size() >= ZENBUF_HDRSIZE) zenPut16(buf.data() + ZENBUF_FUNC, kServed[data[0] % kServed.size()]);
  auto a = freshAreas();
  McsFormsState fs;
  mcsinit(fs, 24, 80);
  const int rc = mcsDecodeRequest(*a, fs, buf);
  if (rc < 0 && rc != PACK_EINVALID && rc != PACK_EFATAL) std::abort();
  checkState(*a, fs);
  ZenBufHeader h{};
  bufHeader(buf, &h);
  for (uint32_t opts : {0u, MCS_OPT_SHORTREPLY}) {
    fs.termOptions = opts;
    std::vector<uint8_t> reply(16632);
    const int n = msrSendData(*a, fs, nullptr, h.func, reply);
    if (n >= 0 && (n < ZENBUF_HDRSIZE || n > static_cast<int>(reply.size()))) std::abort();
    if (n > 0 && getBufSize(std::span<const uint8_t>(reply.data(), static_cast<size_t>(n))) != n) std::abort();
  }
  checkState(*a, fs);
}

void format(const uint8_t* data, size_t size) {
  std::vector<uint8_t> fmt(data + 1, data + size);
  mcsFmtScan(fmt);
  McsFmtCacheEntry info{};
  mcsFmtInfo(fmt, (data[0] & 1) != 0, &info);
  McsFormsState fs;
  mcsinit(fs, 24, 80);
  if (mcsPrepFields(fs, fmt) == 0 && fs.fieldCap < fs.numFields + MCS_FIELDS_SLACK && fs.numFields > 0) std::abort();
  const int fields = mcsFmtStreamFields(fmt);
  for (int no = 1; no <= fields && no < 2000; ++no)
    if (mcsFieldsEnsure(fs, no) == 0) fs.mcsFields[no].length = 1;
  char help[MCS_HELPNAME_LEN];
  mcsFmtFieldHelp(fmt, data[0], data[0] >> 1, help);
  // A format read back from a host reply.
  const uint8_t* f = nullptr;
  int len = 0;
  bool total = false;
  if (mcsFmtReplyFormat(fmt, &f, &len, &total) > 0 && (f < fmt.data() || f + len > fmt.data() + fmt.size()))
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] & 0x80) format(data, size);
  else request(data, size);
  return 0;
}
