// The work buffer shared by encoder and decoder, kept between calls up to 2048 bytes.
#include <gtest/gtest.h>

#include "compress_helpers.h"

using namespace cmptest;

namespace {

Bytes huffmanBody(int count) {
  // Huffman form of count bytes "l" (all-zero 10-bit codes): the stream may stop early.
  return Bytes{0x1A, static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count),
               static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

TEST(WorkBuffer, KeptUpTo2048ReleasedAbove) {
  struct Case {
    std::size_t size;
    int after;
  };
  const Case cases[] = {{0, 0}, {10, 10}, {2048, 2048}, {2049, 0}, {32767, 0}};
  for (const Case& c : cases) {
    freshCoder(true);
    ASSERT_GT(compress(Bytes(c.size, 'x')).code, 0);
    EXPECT_EQ(compressWorkSize(), c.after) << "compress " << c.size;
    freshCoder(true);
    const Result d = decompress(huffmanBody(static_cast<int>(c.size)));
    ASSERT_EQ(d.code, static_cast<int>(c.size));
    EXPECT_EQ(compressWorkSize(), c.after) << "decompress " << c.size;
  }
}

TEST(WorkBuffer, GrowsButNeverShrinksBelowKeep) {
  freshCoder(true);
  ASSERT_GT(compress(Bytes(1500, 'x')).code, 0);
  ASSERT_GT(compress(Bytes(100, 'x')).code, 0);
  EXPECT_EQ(compressWorkSize(), 1500);
  ASSERT_EQ(decompress(huffmanBody(1800)).code, 1800);
  EXPECT_EQ(compressWorkSize(), 1800);
  compressReleaseWork();
  EXPECT_EQ(compressWorkSize(), 0);
}

TEST(WorkBuffer, CarriedBufferAllowsRunLengthPassOnShortMessage) {
  // A fresh 3-byte buffer abandons the pass for "abc"; a carried larger one
  // does not, which gives a different but equally valid body.
  freshCoder(true);
  const Bytes abc = bytes("abc");
  EXPECT_EQ(compress(abc).data, (Bytes{0x02, 'a', 'b', 'c'}));
  ASSERT_GT(compress(Bytes(100, 'x')).code, 0);
  const Result carried = compress(abc);
  EXPECT_EQ(carried.data, (Bytes{0x1E, 0x00, 0x03, 0x00, 0x03, 0x67, 0xE0, 0x2E, 0x9C, 0x00}));
  EXPECT_EQ(decompress(carried.data).data, abc);
}

TEST(WorkBuffer, DecoderLeavesBufferForEncoder) {
  freshCoder(true);
  ASSERT_EQ(decompress(huffmanBody(50)).code, 50);
  ASSERT_EQ(compressWorkSize(), 50);
  // The encoder reuses it: "abc" gets the run-length pass.
  EXPECT_EQ(compress(bytes("abc")).data[0], 0x1E);
}

TEST(WorkBuffer, ReleasedOnRoomFailure) {
  freshCoder(true);
  ASSERT_GT(compress(Bytes(1000, 'x')).code, 0);
  ASSERT_EQ(compressWorkSize(), 1000);
  EXPECT_EQ(compress(Bytes(10, 'y'), 5).code, CMPRS_EROOM);
  EXPECT_EQ(compressWorkSize(), 0);
}

} // namespace
