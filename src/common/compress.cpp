#include "common/compress.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// ---- The fixed code table -------------------------------------------------

struct Code {
  std::uint8_t length; // 3..16 bits
  std::uint16_t value; // the code in its low length bits
};

// Indexed by byte value; the codes are those of the host's coder and must
// not change.
constexpr std::array<Code, 256> kCodes{{
    {7, 0x4F}, {7, 0x65}, {6, 0x25}, {8, 0x9D}, {7, 0x3E}, {10, 0x6}, {9, 0x1A0}, {10, 0xC}, {11, 0x33C}, {11, 0x33D}, {12, 0xC52}, {8, 0x6}, {10, 0xD}, {5, 0x2}, {12, 0x72}, {8, 0x66},
    {12, 0x4}, {11, 0xE}, {15, 0x6878}, {16, 0x752}, {10, 0x272}, {10, 0xF}, {15, 0x6879}, {16, 0x753}, {16, 0x754}, {10, 0x342}, {16, 0x755}, {7, 0x69}, {16, 0x756}, {16, 0x757}, {16, 0x758}, {9, 0xC3},
    {3, 0x2}, {12, 0x14}, {11, 0x4E6}, {12, 0xD0E}, {11, 0x30A}, {11, 0x33E}, {10, 0x4}, {11, 0xF}, {11, 0x4E1}, {11, 0x4E3}, {9, 0x18B}, {13, 0x1A1F}, {8, 0x7F}, {8, 0xD1}, {6, 0x1E}, {6, 0x3D},
    {5, 0x1F}, {5, 0x1D}, {5, 0x4}, {5, 0x5}, {5, 0x3}, {6, 0x30}, {6, 0x35}, {6, 0x20}, {5, 0x1}, {5, 0x14}, {8, 0x64}, {13, 0x2C}, {11, 0x38}, {13, 0x1389}, {11, 0x339}, {15, 0x3A0},
    {10, 0xE}, {5, 0xE}, {7, 0x48}, {5, 0x11}, {6, 0x3C}, {5, 0x1B}, {7, 0x66}, {7, 0x67}, {6, 0x26}, {5, 0x15}, {8, 0x60}, {7, 0x31}, {6, 0x38}, {6, 0x21}, {5, 0x16}, {5, 0x17},
    {6, 0x39}, {8, 0x2}, {5, 0x7}, {5, 0xD}, {5, 0x6}, {7, 0x63}, {7, 0x64}, {7, 0x49}, {8, 0x65}, {7, 0x2}, {9, 0x1}, {13, 0x1388}, {15, 0x687A}, {16, 0x759}, {13, 0x2D}, {11, 0x62B},
    {11, 0x62A}, {11, 0x33F}, {13, 0x2E}, {12, 0x9C0}, {11, 0x4E7}, {8, 0xC4}, {12, 0x15}, {14, 0x314D}, {12, 0x9C1}, {11, 0x30B}, {16, 0x75A}, {12, 0x671}, {10, 0x0}, {12, 0x5}, {9, 0xF}, {10, 0x19D},
    {16, 0x75B}, {16, 0x75C}, {11, 0x686}, {11, 0x628}, {12, 0x6}, {12, 0x7}, {16, 0x75D}, {13, 0x18A7}, {16, 0x75E}, {12, 0x9C5}, {14, 0x1CC}, {16, 0x75F}, {16, 0x760}, {16, 0x761}, {16, 0x762}, {16, 0x763},
    {16, 0x764}, {16, 0x765}, {16, 0x766}, {14, 0x5F}, {15, 0xBD}, {16, 0x767}, {16, 0x768}, {16, 0x769}, {16, 0x76A}, {16, 0x76B}, {16, 0x76C}, {16, 0x76D}, {16, 0x76E}, {14, 0x1CD}, {15, 0x3A1}, {16, 0x76F},
    {16, 0x770}, {16, 0x771}, {16, 0x772}, {16, 0x773}, {16, 0x774}, {16, 0x775}, {16, 0x776}, {14, 0x1CE}, {14, 0x1CF}, {16, 0x777}, {16, 0x778}, {16, 0x779}, {16, 0x77A}, {16, 0x77B}, {16, 0x77C}, {16, 0x77D},
    {16, 0x77E}, {15, 0x687B}, {16, 0x77F}, {16, 0x6100}, {16, 0x6101}, {16, 0x6102}, {16, 0x6103}, {16, 0x6104}, {16, 0x6105}, {16, 0x6106}, {16, 0x6107}, {15, 0x3A2}, {15, 0x3A3}, {16, 0x6108}, {16, 0x6109}, {16, 0x610A},
    {16, 0x610B}, {16, 0x610C}, {16, 0x610D}, {16, 0x610E}, {16, 0x610F}, {15, 0x3A4}, {16, 0x6110}, {16, 0x6111}, {16, 0x6112}, {16, 0x6113}, {16, 0x6114}, {16, 0x6115}, {16, 0x6116}, {16, 0x6117}, {16, 0x6118}, {15, 0x3A5},
    {15, 0x3A6}, {15, 0x3A7}, {16, 0x6119}, {16, 0x611A}, {16, 0x611B}, {16, 0x611C}, {16, 0x611D}, {16, 0x611E}, {16, 0x611F}, {15, 0x3A8}, {16, 0x6120}, {16, 0x6121}, {16, 0x6122}, {16, 0x6123}, {16, 0x6124}, {16, 0x6125},
    {16, 0x6126}, {16, 0x6127}, {16, 0x6128}, {16, 0x6129}, {16, 0x612A}, {16, 0x612B}, {16, 0x612C}, {16, 0x612D}, {16, 0x612E}, {16, 0x612F}, {16, 0x6130}, {16, 0x6131}, {16, 0x6132}, {16, 0x6133}, {16, 0x6134}, {16, 0x6135},
    {16, 0x6136}, {16, 0x6137}, {16, 0x6138}, {16, 0x6139}, {16, 0x613A}, {16, 0x613B}, {16, 0x613C}, {16, 0x613D}, {16, 0x613E}, {16, 0x613F}, {16, 0x6700}, {16, 0x6701}, {16, 0x6702}, {16, 0x6703}, {16, 0x6704}, {16, 0x6705},
    {16, 0x6706}, {16, 0x6707}, {16, 0x6708}, {16, 0x6709}, {16, 0x670A}, {16, 0x670B}, {16, 0x670C}, {16, 0x670D}, {16, 0x670E}, {16, 0x670F}, {16, 0xC530}, {16, 0xC531}, {16, 0xC532}, {16, 0xC533}, {15, 0xBC}, {8, 0x7E},
}};

constexpr int NODES = 511;
constexpr int ROOT = 510;
constexpr int NONE = -1;

// Decode tree: nodes 0..255 are the leaves (byte values), 256..510 inner
// nodes with a child for bit 0 and one for bit 1; the root is 510.
struct DecodeTree {
  std::array<std::array<std::int16_t, 2>, NODES> child{};
  bool complete = false;
};

constexpr DecodeTree makeDecodeTree() {
  DecodeTree t;
  for (auto& c : t.child) c = {NONE, NONE};
  int nextInner = ROOT - 1;
  bool ok = true;
  for (int sym = 0; sym < 256 && ok; ++sym) {
    const Code c = kCodes[sym];
    int node = ROOT;
    for (int bit = c.length - 1; bit >= 0 && ok; --bit) {
      const int b = (c.value >> bit) & 1;
      std::int16_t& next = t.child[node][b];
      if (bit == 0) {
        ok = next == NONE;
        next = static_cast<std::int16_t>(sym);
      } else {
        if (next == NONE) {
          ok = nextInner >= 256;
          next = static_cast<std::int16_t>(nextInner--);
        } else {
          ok = next >= 256; // a shorter code is a prefix of this one
        }
        node = next;
      }
    }
  }
  // A complete prefix code over 256 symbols uses exactly 255 inner nodes,
  // each with both children.
  ok = ok && nextInner == 255;
  for (int n = 256; n < NODES && ok; ++n) ok = t.child[n][0] != NONE && t.child[n][1] != NONE;
  t.complete = ok;
  return t;
}

constexpr DecodeTree kTree = makeDecodeTree();
static_assert(kTree.complete, "the code table must be a complete prefix code");

// Codes left-aligned in a 32-bit word, as the encoder appends them.
constexpr std::array<std::uint32_t, 256> makeAligned() {
  std::array<std::uint32_t, 256> a{};
  for (int i = 0; i < 256; ++i) a[i] = std::uint32_t{kCodes[i].value} << (32 - kCodes[i].length);
  return a;
}
constexpr std::array<std::uint32_t, 256> kAligned = makeAligned();

// ---- Process-wide state -----------------------------------------------------

struct State {
  bool on = false;
  int mode = CMPRS_OWN;
  bool tableBuilt = false;
  std::unique_ptr<std::uint8_t[]> work;
  int workSize = 0;
  int minLength = 0;
};
State g;

void releaseWork() {
  g.work.reset();
  g.workSize = 0;
}

// Makes the work buffer hold at least size bytes; a smaller one is replaced
// by one of exactly that size. false when memory runs out (buffer released).
bool ensureWork(int size) {
  if (g.workSize >= size) return true;
  releaseWork();
  g.work.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!g.work) return false;
  g.workSize = size;
  return true;
}

void trimWork() {
  if (g.workSize > CMPRS_WORKKEEP) releaseWork();
}

void put16(std::uint8_t* p, int v) {
  p[0] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

int get16(const std::uint8_t* p) { return static_cast<std::int16_t>((p[0] << 8) | p[1]); }

constexpr std::uint8_t RLE_MARK = 0x02;
constexpr int RLE_RUNMIN = 4;
constexpr int RLE_RUNMAX = 255;

// Run-length pass of n bytes into the work buffer; the length of the result,
// or -1 when the pass is abandoned (it would not fit the work buffer).
int runLengthPass(const std::uint8_t* in, int n) {
  std::uint8_t* out = g.work.get();
  int produced = 0;
  int i = 0;
  while (i < n) {
    // Each step writes at most 3 bytes, so this keeps the pass inside the buffer.
    if (produced > g.workSize - 3) return -1;
    const std::uint8_t b = in[i];
    int run = 1;
    if (i + 1 < n && in[i + 1] == b) {
      while (run < RLE_RUNMAX && i + run < n && in[i + run] == b) ++run;
    }
    if (run >= RLE_RUNMIN) {
      out[produced++] = RLE_MARK;
      out[produced++] = static_cast<std::uint8_t>(run);
      out[produced++] = b;
      i += run;
    } else {
      if (b == RLE_MARK) out[produced++] = RLE_MARK;
      out[produced++] = b;
      ++i;
    }
  }
  if (produced > CMPRS_MSGMAX) return -1;
  return produced;
}

// Huffman pass of d bytes into out + 5; the number of bytes of the bit
// stream, or -1 when it would not fit the room.
int huffmanPass(const std::uint8_t* data, int d, std::uint8_t* out, int room) {
  std::uint8_t* bits = out + 5;
  const int limit = room - 5;
  int stored = 0;
  std::uint32_t group = 0;
  int fill = 0;
  auto storeGroup = [&]() {
    if (stored + 4 > limit) return false;
    bits[stored] = static_cast<std::uint8_t>(group >> 24);
    bits[stored + 1] = static_cast<std::uint8_t>(group >> 16);
    bits[stored + 2] = static_cast<std::uint8_t>(group >> 8);
    bits[stored + 3] = static_cast<std::uint8_t>(group);
    stored += 4;
    return true;
  };
  for (int i = 0; i < d; ++i) {
    const std::uint32_t code = kAligned[data[i]];
    const int length = kCodes[data[i]].length;
    group |= code >> fill;
    if (fill + length < 32) {
      fill += length;
      continue;
    }
    if (!storeGroup()) return -1;
    const int spill = fill + length - 32; // bits that did not fit this group
    group = spill > 0 ? code << (length - spill) : 0;
    fill = spill;
  }
  if (stored + 4 > limit) return -1;
  const int tail = (fill + 7) / 8;
  for (int k = 0; k < tail; ++k) bits[stored + k] = static_cast<std::uint8_t>(group >> (24 - 8 * k));
  return stored + tail;
}

int writeRaw(std::uint8_t flag, int n, const std::uint8_t* message, std::uint8_t* out, int room) {
  if (n + 1 > room) {
    releaseWork();
    return CMPRS_EROOM;
  }
  out[0] = flag;
  if (n > 0) std::memcpy(out + 1, message, static_cast<std::size_t>(n));
  return n + 1;
}

// Bit reader over 32-bit big-endian groups; bytes past the end read as zero.
struct BitReader {
  const std::uint8_t* body;
  int length;
  int next; // offset of the next group
  std::uint32_t group = 0;
  int left = 0;

  int bit() {
    if (left == 0) {
      group = 0;
      for (int k = 0; k < 4; ++k) {
        const int at = next + k;
        group = (group << 8) | (at < length ? body[at] : 0u);
      }
      next += 4;
      left = 32;
    }
    --left;
    return static_cast<int>((group >> left) & 1u);
  }
};

// Expands run-length data into out, which holds exactly m bytes; with out
// null it only checks that the data yields exactly m bytes.
bool expandRunLength(const std::uint8_t* data, int d, std::uint8_t* out, int m) {
  int produced = 0;
  int i = 0;
  while (i < d) {
    int count = 1;
    std::uint8_t value = data[i];
    int step = 1;
    if (value == RLE_MARK) {
      if (i + 1 >= d) return false; // escape cut off
      if (data[i + 1] != RLE_MARK) {
        if (i + 2 >= d) return false; // run cut off
        count = data[i + 1];
        value = data[i + 2];
        step = 3;
      } else {
        step = 2;
      }
    }
    if (count > m - produced) return false;
    if (out != nullptr) std::memset(out + produced, value, static_cast<std::size_t>(count));
    produced += count;
    i += step;
  }
  return produced == m;
}

} // namespace

int compressBuildTable() {
  // The code table and decode tree are fixed data; building only marks them ready.
  g.tableBuilt = true;
  return 0;
}

bool compressTableBuilt() { return g.tableBuilt; }
void compressSetOn(bool on) { g.on = on; }
bool compressIsOn() { return g.on; }
int compressMode() { return g.mode; }
void compressReleaseWork() { releaseWork(); }
int compressWorkSize() { return g.workSize; }

void compressReset() {
  g.on = false;
  g.mode = CMPRS_OWN;
  g.tableBuilt = false;
  releaseWork();
}

int compressBuf(int n, const std::uint8_t* message, std::uint8_t* out, int room) {
  // The length fields are signed 16-bit; a longer message cannot be framed.
  if (n < 0 || n > CMPRS_MSGMAX || out == nullptr || (n > 0 && message == nullptr)) return CMPRS_EROOM;
  const std::uint8_t flag = 0; // a leader would start from CMPRS_LEADER

  if (!g.tableBuilt || !g.on || n < g.minLength)
    return writeRaw(static_cast<std::uint8_t>(flag | (g.on ? CMPRS_ON : 0)), n, message, out, room);

  if (!ensureWork(n)) return CMPRS_ENOMEM;

  const int rle = runLengthPass(message, n);
  const std::uint8_t* data = rle >= 0 ? g.work.get() : message;
  const int d = rle >= 0 ? rle : n;
  const int header = rle >= 0 ? 3 : 1;
  const std::uint8_t rleBit = rle >= 0 ? CMPRS_RLE : 0;

  const int h = huffmanPass(data, d, out, room);
  int result;
  if (h < 0 || h > d + header) {
    if (rle >= 0) {
      if (3 + d > room) {
        releaseWork();
        return CMPRS_EROOM;
      }
      out[0] = static_cast<std::uint8_t>(flag | rleBit | CMPRS_FORM | CMPRS_ON);
      put16(out + 1, n);
      if (d > 0) std::memcpy(out + 3, data, static_cast<std::size_t>(d));
      result = 3 + d;
    } else {
      result = writeRaw(static_cast<std::uint8_t>(flag | CMPRS_ON), n, message, out, room);
      if (result < 0) return result;
    }
  } else {
    out[0] = static_cast<std::uint8_t>(flag | rleBit | CMPRS_HUFF | CMPRS_FORM | CMPRS_ON);
    put16(out + 1, n);
    put16(out + 3, d);
    result = h + 5;
  }
  trimWork();
  return result;
}

int decompressBuf(int n, const std::uint8_t* body, std::uint8_t** output, int room) {
  if (n < 1 || body == nullptr) return CMPRS_EFLAG;
  const std::uint8_t flag = body[0];
  if ((flag & CMPRS_LEADER) && g.mode == CMPRS_OWN) g.mode = CMPRS_FOLLOW;
  if (output == nullptr || room < 0 || (room > 0 && *output == nullptr)) return CMPRS_ENOMEM;

  if ((flag & (CMPRS_RLE | CMPRS_HUFF)) == 0) {
    const int m = n - 1;
    std::uint8_t* out = *output;
    if (room == 0) {
      out = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(m > 0 ? m : 1)));
      if (out == nullptr) return CMPRS_ENOMEM;
    } else if (room < m) {
      return CMPRS_ENOMEM;
    }
    if (!(flag & CMPRS_ON)) g.on = false;
    if (m > 0) std::memcpy(out, body + 1, static_cast<std::size_t>(m));
    *output = out;
    return m;
  }

  if (!g.tableBuilt && compressBuildTable() < 0) return CMPRS_ENOTABLE;
  if ((flag & 0xF0) != CMPRS_FORM) return CMPRS_EFLAG;
  g.on = true;

  const bool huff = (flag & CMPRS_HUFF) != 0;
  const bool rle = (flag & CMPRS_RLE) != 0;
  // A body too short for its own header, or announcing a negative length,
  // cannot produce its message.
  const int m = n >= 3 ? get16(body + 1) : -1;
  if (n < (huff ? 5 : 3) || m < 0) {
    releaseWork();
    return CMPRS_ELENGTH;
  }

  std::uint8_t* out = *output;
  std::uint8_t* allocated = nullptr;
  if (room == 0) {
    allocated = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(m > 0 ? m : 1)));
    if (allocated == nullptr) {
      releaseWork();
      return CMPRS_ENOMEM;
    }
    out = allocated;
  } else if (room < m) {
    return CMPRS_ENOMEM;
  }
  auto fail = [&](int code) {
    std::free(allocated);
    releaseWork();
    return code;
  };

  int d;
  if (huff) {
    d = get16(body + 3);
    if (d < 0) return fail(CMPRS_ELENGTH);
    if (!ensureWork(d)) return fail(CMPRS_ENOMEM);
    BitReader reader{body, n, 5};
    std::uint8_t* work = g.work.get();
    for (int i = 0; i < d; ++i) {
      int node = ROOT;
      while (node >= 256) node = kTree.child[node][reader.bit()];
      work[i] = static_cast<std::uint8_t>(node);
    }
  } else {
    d = n - 3;
    if (!ensureWork(d)) return fail(CMPRS_ENOMEM);
    if (d > 0) std::memcpy(g.work.get(), body + 3, static_cast<std::size_t>(d));
  }

  if (rle) {
    // Checked first so that a bad body leaves the caller's buffer as it was.
    if (!expandRunLength(g.work.get(), d, nullptr, m)) return fail(CMPRS_ELENGTH);
    expandRunLength(g.work.get(), d, out, m);
  } else {
    // Huffman alone codes the message itself: the counts must agree.
    if (d != m) return fail(CMPRS_ELENGTH);
    if (m > 0) std::memcpy(out, g.work.get(), static_cast<std::size_t>(m));
  }
  trimWork();
  *output = out;
  return m;
}

// ---- MCS sampling -----------------------------------------------------------

namespace {

constexpr int SAMPLE_NODES = 512;
constexpr const char* SAMPLE_FILE = "mcs_scan.dat";
constexpr int SAMPLE_FILESIZE = 2 + SAMPLE_NODES * 6;

struct Sampling {
  bool on = false;
  std::unique_ptr<std::array<std::uint16_t, 256>> counters;
};
Sampling s;

struct SampleTree {
  std::array<std::uint16_t, SAMPLE_NODES> count{};
  std::array<std::int16_t, SAMPLE_NODES> parent{};
  std::array<std::int16_t, SAMPLE_NODES> zero{};
  std::array<std::int16_t, SAMPLE_NODES> one{};
  int root = NONE;
};

void buildSampleTree(const std::array<std::uint16_t, 256>& counters, SampleTree& t) {
  for (int i = 0; i < SAMPLE_NODES; ++i) {
    t.count[i] = i < 256 ? counters[i] : 0;
    t.parent[i] = t.zero[i] = t.one[i] = NONE;
  }
  int next = 256;
  for (;;) {
    int b = NONE;
    int c = NONE;
    for (int i = 0; i < next; ++i) {
      if (t.count[i] == 0 || t.parent[i] != NONE) continue;
      if (b == NONE) {
        b = i;
      } else if (t.count[i] < t.count[b]) {
        if (c == NONE || t.count[c] > t.count[b]) c = b;
        b = i;
      } else if (c == NONE || t.count[i] < t.count[c]) {
        c = i;
      }
    }
    if (c == NONE || next >= SAMPLE_NODES) {
      t.root = b;
      return;
    }
    t.count[next] = static_cast<std::uint16_t>(t.count[b] + t.count[c]);
    t.zero[next] = static_cast<std::int16_t>(b);
    t.one[next] = static_cast<std::int16_t>(c);
    t.parent[b] = t.parent[c] = static_cast<std::int16_t>(next);
    ++next;
  }
}

} // namespace

void mcsSampleStart() {
  if (s.on) return;
  s.counters.reset(new (std::nothrow) std::array<std::uint16_t, 256>);
  if (!s.counters) return;
  s.counters->fill(1);
  s.on = true;
}

bool mcsSampleIsOn() { return s.on; }

void mcsSampleCount(const std::uint8_t* bytes, int length) {
  if (!s.on || bytes == nullptr) return;
  auto& c = *s.counters;
  bool wrapped = false;
  for (int i = 0; i < length; ++i) {
    if (++c[bytes[i]] == 0) wrapped = true;
  }
  if (wrapped)
    for (auto& v : c) v = static_cast<std::uint16_t>(v / 3);
}

int mcsSampleCounter(int byte) {
  if (!s.on || byte < 0 || byte > 255) return -1;
  return (*s.counters)[static_cast<std::size_t>(byte)];
}

int mcsSampleStop() {
  if (!s.on) return -1;
  s.on = false;
  auto t = std::make_unique<SampleTree>();
  buildSampleTree(*s.counters, *t);
  s.counters.reset();

  std::array<std::uint8_t, SAMPLE_FILESIZE> file{};
  put16(file.data(), t->root);
  for (int i = 0; i < SAMPLE_NODES; ++i) {
    put16(file.data() + 2 + 6 * i, t->parent[i]);
    put16(file.data() + 4 + 6 * i, t->zero[i]);
    put16(file.data() + 6 + 6 * i, t->one[i]);
  }
  std::FILE* f = std::fopen(SAMPLE_FILE, "wb");
  if (f == nullptr) return -2;
  const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  return (std::fclose(f) == 0 && ok) ? 0 : -2;
}
