// Messages of every size class survive compressBuf then decompressBuf.
#include <gtest/gtest.h>

#include <random>

#include "compress_helpers.h"

using namespace cmptest;

namespace {

enum class Kind { Random, Text, Runs, Marks };

Bytes make(Kind kind, std::size_t n, std::mt19937& rng) {
  Bytes b(n);
  std::uniform_int_distribution<int> byte(0, 255);
  switch (kind) {
  case Kind::Random:
    for (auto& x : b) x = static_cast<std::uint8_t>(byte(rng));
    break;
  case Kind::Text: {
    static const char alphabet[] = "    eeettaaoinshr0123456789ABCDEFGHIJ.,;:-\x02\n";
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    for (auto& x : b) x = static_cast<std::uint8_t>(alphabet[pick(rng)]);
    break;
  }
  case Kind::Runs: {
    std::uniform_int_distribution<int> len(1, 600);
    std::size_t i = 0;
    while (i < n) {
      const auto v = static_cast<std::uint8_t>(byte(rng) % 4 == 0 ? 0x02 : byte(rng));
      for (int k = len(rng); k > 0 && i < n; --k) b[i++] = v;
    }
    break;
  }
  case Kind::Marks:
    for (auto& x : b) x = 0x02;
    break;
  }
  return b;
}

constexpr std::size_t kSizes[] = {0,    1,    2,    3,    4,    5,     6,     254,   255,   256,  257,
                                  1000, 1997, 1998, 1999, 2000, 2047,  2048,  2049,  4096,  8191,
                                  8192, 16383, 16384, 16385, 32765, 32766, 32767};

class RoundTrip : public testing::TestWithParam<Kind> {};

TEST_P(RoundTrip, EverySize) {
  std::mt19937 rng(20240611u + static_cast<unsigned>(GetParam()));
  for (bool carried : {false, true}) {
    freshCoder(true);
    for (std::size_t n : kSizes) {
      if (!carried) compressReleaseWork();
      const Bytes message = make(GetParam(), n, rng);
      const Result c = compress(message);
      ASSERT_GT(c.code, 0) << "n=" << n;
      // Fresh, the run-length data is never longer than the message.
      if (!carried) {
        ASSERT_LE(c.data.size(), n + 8) << "n=" << n;
      }
      ASSERT_TRUE((c.data[0] & 0xF0) == 0x10 || c.data[0] == 0x02) << "n=" << n;
      const Result d = decompress(c.data);
      ASSERT_EQ(d.code, static_cast<int>(n)) << "n=" << n << " carried=" << carried;
      ASSERT_EQ(d.data, message) << "n=" << n << " carried=" << carried;
      EXPECT_LE(compressWorkSize(), CMPRS_WORKKEEP);
    }
  }
}

TEST_P(RoundTrip, RandomSizes) {
  std::mt19937 rng(7u + static_cast<unsigned>(GetParam()));
  std::uniform_int_distribution<int> size(0, CMPRS_MSGMAX);
  freshCoder(true);
  for (int i = 0; i < 40; ++i) {
    const Bytes message = make(GetParam(), static_cast<std::size_t>(size(rng)), rng);
    const Result c = compress(message);
    ASSERT_GT(c.code, 0);
    const Result d = decompress(c.data);
    ASSERT_EQ(d.data, message) << "size " << message.size();
  }
}

std::string kindName(const testing::TestParamInfo<Kind>& info) {
  constexpr const char* names[] = {"Random", "Text", "Runs", "Marks"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Compression, RoundTrip,
                         testing::Values(Kind::Random, Kind::Text, Kind::Runs, Kind::Marks), kindName);

TEST(Compression, FormsSeenInRoundTrips) {
  // Each path of the encoder is taken by some message.
  freshCoder(true);
  std::mt19937 rng(99);
  EXPECT_EQ(compress(make(Kind::Random, 3000, rng)).data[0], 0x02);
  Bytes text;
  while (text.size() < 3000) for (char ch : std::string("FIELD 0123    ENTER DATE: ")) text.push_back(static_cast<std::uint8_t>(ch));
  EXPECT_EQ(compress(text).data[0], 0x1E);
  EXPECT_EQ(compress(bytes("  ")).data[0], 0x1A);
  // Runs of bytes with long codes: the run-length data is shorter than its Huffman code.
  Bytes runs;
  for (int v = 0xD0; v < 0xF0; ++v) runs.insert(runs.end(), 10, static_cast<std::uint8_t>(v));
  const Result r = compress(runs);
  EXPECT_EQ(r.data[0], 0x16);
  EXPECT_EQ(decompress(r.data).data, runs);
}

} // namespace
