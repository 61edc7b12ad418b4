// Compression on/off and follow-the-peer, as the frames received drive them.
#include <gtest/gtest.h>

#include "compress_helpers.h"

using namespace cmptest;

namespace {

const Bytes kRawOff{0x00, 'o', 'k'};
const Bytes kRawOn{0x02, 'o', 'k'};
const Bytes kLeaderRawOn{0x03, 'o', 'k'};
const Bytes kLeaderRawOff{0x01, 'o', 'k'};
const Bytes kCompressed{0x1E, 0x00, 0x04, 0x00, 0x03, 0x95, 0xF2};
const Bytes kLeaderCompressed{0x1F, 0x00, 0x04, 0x00, 0x03, 0x95, 0xF2};

// What comWrite does before each compression: the user's option rules in own-setting mode.
void writeWithOption(bool option) {
  if (compressMode() == CMPRS_OWN) compressSetOn(option);
}

TEST(FollowThePeer, StartsOffInOwnSetting) {
  compressReset();
  EXPECT_FALSE(compressIsOn());
  EXPECT_EQ(compressMode(), CMPRS_OWN);
}

TEST(FollowThePeer, OwnSettingRawOffLastsUntilNextWrite) {
  freshCoder(false);
  writeWithOption(true);
  ASSERT_TRUE(compressIsOn());
  ASSERT_EQ(decompress(kRawOff).data, bytes("ok"));
  EXPECT_FALSE(compressIsOn());
  EXPECT_EQ(compressMode(), CMPRS_OWN);
  writeWithOption(true);
  EXPECT_TRUE(compressIsOn());
  EXPECT_EQ(compress(bytes("    ")).data, kCompressed);
}

struct Step {
  const Bytes* frame;
  bool onAfter;
  int modeAfter;
};

TEST(FollowThePeer, LeaderFrameSwitchesModeForGood) {
  freshCoder(false);
  writeWithOption(true);
  const Step steps[] = {
      {&kRawOn, true, CMPRS_OWN},
      {&kRawOff, false, CMPRS_OWN},
      {&kCompressed, true, CMPRS_OWN},
      {&kLeaderCompressed, true, CMPRS_FOLLOW},
      {&kRawOff, false, CMPRS_FOLLOW},
      {&kRawOn, false, CMPRS_FOLLOW}, // raw with bit 1 set changes nothing
      {&kCompressed, true, CMPRS_FOLLOW},
      {&kLeaderRawOff, false, CMPRS_FOLLOW},
      {&kLeaderRawOn, false, CMPRS_FOLLOW},
      {&kLeaderCompressed, true, CMPRS_FOLLOW},
  };
  bool option = true; // the user's Compression option, copied back in follow-the-peer mode
  int i = 0;
  for (const Step& s : steps) {
    writeWithOption(option);
    ASSERT_GE(decompress(*s.frame).code, 0) << i;
    if (compressMode() == CMPRS_FOLLOW) option = compressIsOn();
    EXPECT_EQ(compressIsOn(), s.onAfter) << "step " << i;
    EXPECT_EQ(compressMode(), s.modeAfter) << "step " << i;
    ++i;
  }
}

TEST(FollowThePeer, WritesFollowTheHostNotTheOption) {
  freshCoder(false);
  writeWithOption(true);
  ASSERT_GE(decompress(kLeaderRawOff).code, 0);
  writeWithOption(true); // the option no longer decides
  EXPECT_EQ(compress(bytes("    ")).data, (Bytes{0x00, ' ', ' ', ' ', ' '}));
  ASSERT_GE(decompress(kCompressed).code, 0);
  writeWithOption(false);
  EXPECT_EQ(compress(bytes("    ")).data, kCompressed);
}

TEST(FollowThePeer, LeaderBitCountsEvenOnABadBody) {
  freshCoder(true);
  EXPECT_EQ(decompress(Bytes{0x0D, 0x00}).code, CMPRS_EFLAG);
  EXPECT_EQ(compressMode(), CMPRS_FOLLOW);
}

TEST(FollowThePeer, WorkstationNeverSetsLeaderBit) {
  for (bool on : {false, true}) {
    freshCoder(on);
    for (const Bytes& m : {bytes(""), bytes("abc"), bytes("    "), Bytes(300, 'A'), Bytes(5000, 0xD3)})
      EXPECT_EQ(compress(m).data[0] & CMPRS_LEADER, 0);
  }
}

} // namespace
