// Known bodies, both directions.
#include <gtest/gtest.h>

#include "compress_helpers.h"

using namespace cmptest;

namespace {

struct Vector {
  const char* name;
  Bytes message;
  Bytes body;
};

Bytes repeat(std::uint8_t b, std::size_t n) { return Bytes(n, b); }

const std::vector<Vector>& encoderVectors() {
  static const std::vector<Vector> v = {
      // Huffman would take 36 bits: 5 bytes beat 3 + 1, so the raw form is sent.
      {"abc_raw", bytes("abc"), {0x02, 'a', 'b', 'c'}},
      {"four_spaces", bytes("    "), {0x1E, 0x00, 0x04, 0x00, 0x03, 0x95, 0xF2}},
      {"five_marks", repeat(0x02, 5), {0x1E, 0x00, 0x05, 0x00, 0x03, 0x94, 0x06, 0x94}},
      {"long_run", repeat('A', 300), {0x1E, 0x01, 0x2C, 0x00, 0x06, 0x95, 0xF9, 0xD2, 0xE8, 0xB8}},
      // Too short for a run-length pass; Huffman wins even with its 5-byte header.
      {"two_spaces", bytes("  "), {0x1A, 0x00, 0x02, 0x00, 0x02, 0x48}},
      {"one_space", bytes(" "), {0x1A, 0x00, 0x01, 0x00, 0x01, 0x40}},
      {"zero_code", bytes("l"), {0x1A, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}},
      {"empty", {}, {0x1E, 0x00, 0x00, 0x00, 0x00}},
  };
  return v;
}

class EncoderVectors : public testing::TestWithParam<Vector> {};

TEST_P(EncoderVectors, CompressesToTheKnownBody) {
  freshCoder(true);
  const Result r = compress(GetParam().message);
  ASSERT_EQ(r.code, static_cast<int>(GetParam().body.size()));
  EXPECT_EQ(r.data, GetParam().body);
}

TEST_P(EncoderVectors, KnownBodyDecompressesToTheMessage) {
  freshCoder(false);
  const Result r = decompress(GetParam().body);
  ASSERT_EQ(r.code, static_cast<int>(GetParam().message.size()));
  EXPECT_EQ(r.data, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Compression, EncoderVectors, testing::ValuesIn(encoderVectors()),
                         [](const auto& info) { return std::string(info.param.name); });

// Forms the workstation does not produce itself but must accept from the host.
const std::vector<Vector>& hostBodies() {
  static const std::vector<Vector> v = {
      {"raw_off", bytes("hello"), {0x00, 'h', 'e', 'l', 'l', 'o'}},
      {"raw_leader", bytes("hi"), {0x03, 'h', 'i'}},
      {"raw_empty", {}, {0x02}},
      {"rle_only", bytes("xAAAAAy\x02"), {0x16, 0x00, 0x08, 'x', 0x02, 0x05, 'A', 'y', 0x02, 0x02}},
      {"rle_only_leader", repeat('Z', 7), {0x17, 0x00, 0x07, 0x02, 0x07, 'Z'}},
      // A run written out shorter than four is still expanded.
      {"rle_short_run", repeat('q', 3), {0x14, 0x00, 0x03, 0x02, 0x03, 'q'}},
      {"huffman_leader", bytes("    "), {0x1F, 0x00, 0x04, 0x00, 0x03, 0x95, 0xF2}},
      // The stream may stop at the last byte that holds bits: the rest reads as zero.
      {"huffman_cut", bytes("ll"), {0x1A, 0x00, 0x02, 0x00, 0x02}},
  };
  return v;
}

class HostBodies : public testing::TestWithParam<Vector> {};

TEST_P(HostBodies, Decompress) {
  freshCoder(true);
  const Result r = decompress(GetParam().body);
  ASSERT_EQ(r.code, static_cast<int>(GetParam().message.size()));
  EXPECT_EQ(r.data, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Compression, HostBodies, testing::ValuesIn(hostBodies()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Compression, OffGivesZeroFlagAndTheMessage) {
  freshCoder(false);
  for (const Vector& v : encoderVectors()) {
    Bytes expected{0x00};
    expected.insert(expected.end(), v.message.begin(), v.message.end());
    EXPECT_EQ(compress(v.message).data, expected) << v.name;
  }
}

TEST(Compression, WithoutTableEverythingIsRaw) {
  // Only start-up (or a decompression) builds the table.
  compressReset();
  ASSERT_FALSE(compressTableBuilt());
  compressSetOn(true);
  EXPECT_EQ(compress(bytes("    ")).data, (Bytes{0x02, ' ', ' ', ' ', ' '}));
}

TEST(Compression, DecompressIntoCallerBuffer) {
  freshCoder(true);
  const Vector& v = encoderVectors()[3];
  Bytes buffer(300, 0xEE);
  std::uint8_t* out = buffer.data();
  ASSERT_EQ(decompressBuf(static_cast<int>(v.body.size()), v.body.data(), &out, 300), 300);
  EXPECT_EQ(out, buffer.data());
  EXPECT_EQ(buffer, v.message);
}

} // namespace
