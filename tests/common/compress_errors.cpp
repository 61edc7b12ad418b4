// Bodies and rooms the coder must refuse, and what it leaves behind.
#include <gtest/gtest.h>

#include "compress_helpers.h"

using namespace cmptest;

namespace {

struct BadBody {
  const char* name;
  Bytes body;
  int code;
};

const std::vector<BadBody>& badBodies() {
  static const std::vector<BadBody> v = {
      {"flag_0C", {0x0C, 0x00, 0x01, 0x00, 0x01, 0x40}, CMPRS_EFLAG},
      {"flag_24", {0x24, 0x00, 0x01, 'a'}, CMPRS_EFLAG},
      {"flag_34", {0x34, 0x00, 0x01, 'a'}, CMPRS_EFLAG},
      {"flag_98", {0x98, 0x00, 0x01, 0x00, 0x01, 0x40}, CMPRS_EFLAG},
      {"no_flag", {}, CMPRS_EFLAG},
      // Run-length expansion one byte longer / shorter than announced.
      {"rle_one_more", {0x16, 0x00, 0x04, 0x02, 0x05, 'A'}, CMPRS_ELENGTH},
      {"rle_one_less", {0x16, 0x00, 0x06, 0x02, 0x05, 'A'}, CMPRS_ELENGTH},
      {"rle_literal_past_end", {0x16, 0x00, 0x01, 'a', 'b'}, CMPRS_ELENGTH},
      {"huffman_rle_one_more", {0x1E, 0x00, 0x03, 0x00, 0x03, 0x95, 0xF2}, CMPRS_ELENGTH},
      {"huffman_rle_one_less", {0x1E, 0x00, 0x05, 0x00, 0x03, 0x95, 0xF2}, CMPRS_ELENGTH},
      // Truncated bodies: nothing may be read past their end.
      {"rle_mark_cut", {0x16, 0x00, 0x01, 0x02}, CMPRS_ELENGTH},
      {"rle_run_cut", {0x16, 0x00, 0x05, 0x02, 0x05}, CMPRS_ELENGTH},
      {"rle_header_cut", {0x16, 0x00}, CMPRS_ELENGTH},
      {"huffman_header_cut", {0x1A, 0x00, 0x02, 0x00}, CMPRS_ELENGTH},
      // Huffman alone must code exactly the announced message.
      {"huffman_count_above_length", {0x1A, 0x00, 0x01, 0x00, 0x02, 0x48}, CMPRS_ELENGTH},
      {"huffman_count_below_length", {0x1A, 0x00, 0x03, 0x00, 0x02, 0x48}, CMPRS_ELENGTH},
      {"negative_length", {0x16, 0x80, 0x00, 'a'}, CMPRS_ELENGTH},
      {"negative_count", {0x1E, 0x00, 0x01, 0xFF, 0xFF}, CMPRS_ELENGTH},
  };
  return v;
}

class BadBodies : public testing::TestWithParam<BadBody> {};

TEST_P(BadBodies, RefusedWithCodeAndOutputUntouched) {
  freshCoder(true);
  // A work buffer carried from an earlier call must be released on -104.
  ASSERT_GT(compress(Bytes(500, 'x')).code, 0);
  ASSERT_EQ(compressWorkSize(), 500);

  std::uint8_t sentinel = 0;
  std::uint8_t* out = &sentinel;
  const Bytes& body = GetParam().body;
  // An exact-size heap copy so that any over-read is seen by the sanitizers.
  auto copy = std::make_unique<std::uint8_t[]>(body.size() + (body.empty() ? 1 : 0));
  std::copy(body.begin(), body.end(), copy.get());
  EXPECT_EQ(decompressBuf(static_cast<int>(body.size()), copy.get(), &out, 0), GetParam().code);
  EXPECT_EQ(out, &sentinel);
  if (GetParam().code == CMPRS_ELENGTH) {
    EXPECT_EQ(compressWorkSize(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Decompress, BadBodies, testing::ValuesIn(badBodies()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Decompress, BadRunLengthLeavesCallerBufferAlone) {
  freshCoder(true);
  const Bytes body{0x16, 0x00, 0x04, 'a', 'b', 0x02, 0x05, 'A'};
  Bytes buffer(8, 0xEE);
  std::uint8_t* out = buffer.data();
  EXPECT_EQ(decompressBuf(static_cast<int>(body.size()), body.data(), &out, 8), CMPRS_ELENGTH);
  EXPECT_EQ(buffer, Bytes(8, 0xEE));
}

TEST(Decompress, CallerBufferTooSmall) {
  freshCoder(true);
  const Bytes bodies[] = {
      {0x02, 'a', 'b', 'c'},
      {0x1E, 0x00, 0x04, 0x00, 0x03, 0x95, 0xF2},
  };
  for (const Bytes& body : bodies) {
    Bytes buffer(3, 0xEE);
    std::uint8_t* out = buffer.data();
    const int need = body[0] == 0x02 ? 3 : 4;
    EXPECT_EQ(decompressBuf(static_cast<int>(body.size()), body.data(), &out, need - 1), CMPRS_ENOMEM);
    EXPECT_EQ(buffer, Bytes(3, 0xEE));
  }
  std::uint8_t* none = nullptr;
  EXPECT_EQ(decompressBuf(3, Bytes{0x02, 'a', 'b'}.data(), &none, 10), CMPRS_ENOMEM);
}

TEST(Compress, RawDoesNotFit) {
  for (bool on : {false, true}) {
    freshCoder(on);
    // "abc" goes raw either way; it needs 4 bytes.
    EXPECT_EQ(compress(bytes("abc"), 3).code, CMPRS_EROOM) << on;
    EXPECT_EQ(compress(bytes("abc"), 4).code, 4) << on;
  }
}

TEST(Compress, RunLengthFormDoesNotFit) {
  freshCoder(true);
  // Huffman needs 5 + 4 bytes before its last group; run-length only needs 9.
  const Bytes message(300, 'A');
  EXPECT_EQ(compress(message, 8).code, CMPRS_EROOM);
  EXPECT_EQ(compressWorkSize(), 0);
  const Result r = compress(message, 9);
  EXPECT_EQ(r.data, (Bytes{0x16, 0x01, 0x2C, 0x02, 0xFF, 0x41, 0x02, 0x2D, 0x41}));
}

TEST(Compress, HuffmanFallsBackWhenRoomIsTight) {
  freshCoder(true);
  // The Huffman form would be 10 bytes but needs room for a whole last group.
  const Bytes message(300, 'A');
  EXPECT_EQ(compress(message, 12).data.size(), 9u);
  EXPECT_EQ(compress(message, 13).data.size(), 10u);
}

TEST(Compress, MessageTooLongForTheLengthField) {
  freshCoder(true);
  EXPECT_EQ(compress(Bytes(32768, ' '), 40000).code, CMPRS_EROOM);
  freshCoder(false);
  EXPECT_EQ(compress(Bytes(32768, ' '), 40000).code, CMPRS_EROOM);
}

} // namespace
