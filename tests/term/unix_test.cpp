// UNIX-mode interpreter behaviour that the case table cannot express: read
// boundaries over whole streams, buffer limits, start-up patterns, resizes
// and print failures.
#include "replay.h"

#include "core/child.h"
#include "print/prnt.h"
#include "support/kvxtest.h"
#include "term/unix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class UnixTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("KORVEXADDR", "10.1.2.3", 1);
        unsetenv("CLIENTNAME");
        prntSinkReset();
    }
    void TearDown() override {
        replayClose();
        unixSetOptimizePatterns(nullptr, nullptr);
        prntSinkFail(false);
        unsetenv("CLIENTNAME");
    }
    void open(int rows = 24, int cols = 80, int chunk = 0) {
        ReplayOptions o;
        o.rows = rows;
        o.cols = cols;
        o.chunk = chunk;
        std::string error;
        ASSERT_EQ(replayOpen(o, &error), 0) << error;
    }
    void feed(const std::string& bytes) {
        ASSERT_GE(replayFeed(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size())), 0);
    }
    std::string row(int r) {
        std::string s = replaySnapshot().lines.at(size_t(r));
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    ChSession& sess() { return *replaySession(); }
};

// The same stream read whole, byte by byte and in odd pieces gives the same
// screen and replies: incomplete sequences are carried across reads.
TEST_F(UnixTest, ReadBoundariesDoNotChangeTheResult) {
    for (const char* name : {"listing.bin", "lsl.bin", "redraw.bin"}) {
        const std::vector<uint8_t> all = kvxtest::readFile(kvxtest::sourcePath(std::string("bench/term/data/") + name));
        ASSERT_GT(all.size(), 20000u) << name;
        const std::string data(all.begin(), all.begin() + 20000);
        std::string reference;
        for (const int piece : {0, 1, 7, 101}) {
            open();
            for (size_t at = 0; at < data.size();) {
                const size_t n = piece ? std::min<size_t>(size_t(piece), data.size() - at) : data.size();
                feed(data.substr(at, n));
                at += n;
            }
            const std::string got = replayJson(replaySnapshot(), replayTakeReplies());
            if (piece == 0)
                reference = got;
            else
                EXPECT_EQ(got, reference) << name << " in reads of " << piece;
            replayClose();
        }
    }
}

TEST_F(UnixTest, LongWorkstationNameIsCutToTheReplyBuffer) {
    setenv("CLIENTNAME", std::string(300, 'W').c_str(), 1);
    open(5, 10);
    feed("\x1b[c");
    const std::string reply = replayTakeReplies();
    const std::string head = "\x1b[?1234;9;1;10;1;2;3;12371;1;'";
    ASSERT_EQ(reply.substr(0, head.size()), head);
    EXPECT_EQ(reply.substr(reply.size() - 2), "'c");
    EXPECT_EQ(reply.size(), size_t(UNIX_REPLY_MIN - 1));  // the buffer, less its terminator
    EXPECT_EQ(reply.find_first_not_of('W', head.size()), reply.size() - 2);
}

TEST_F(UnixTest, WideScreenHasRoomForALongerName) {
    setenv("CLIENTNAME", std::string(150, 'W').c_str(), 1);
    open(5, 120);
    feed("\x1b[c");
    const std::string reply = replayTakeReplies();
    EXPECT_EQ(reply, "\x1b[?1234;9;1;10;1;2;3;12371;1;'" + std::string(150, 'W') + "'c");
}

TEST_F(UnixTest, HeldEchoThatWouldOverflowIsSentFirst) {
    open();
    // Four rows of reverse cells to echo over.
    feed("\x1b[7m" + std::string(320, ' ') + "\x1b[m\x1b[H\x1b[?99h");
    const std::string part(70, 'a');
    ASSERT_EQ(sessSelect(0), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(doLocalEcho(part.data(), int(part.size())), 1) << "piece " << i;
    EXPECT_EQ(sess().unix.echoLen, 210);
    EXPECT_EQ(replayTakeReplies(), "");
    EXPECT_EQ(replaySnapshot().curRow, 2);
    // 210 + 70 > 256: what is held goes out, the new text is left to the caller.
    EXPECT_EQ(doLocalEcho(part.data(), int(part.size())), 0);
    EXPECT_EQ(replayTakeReplies(), std::string(210, 'a'));
    EXPECT_FALSE(unixEchoHeld(sess().unix));
    EXPECT_EQ(replaySnapshot().curRow, 0);  // back where the echo began
    EXPECT_EQ(replaySnapshot().curCol, 0);
}

TEST_F(UnixTest, OptimizePatternsReplaceTheEchoSwitches) {
    unixSetOptimizePatterns("\\x1b[?77h", "\\x1bX\\x21");
    open();
    feed("\x1b[?99h");
    EXPECT_FALSE(sess().flags & UNIX_FLAG_LOCALECHO);
    feed("\x1b[?77h");
    EXPECT_TRUE(sess().flags & UNIX_FLAG_LOCALECHO);
    feed("\x1bX!");
    EXPECT_FALSE(sess().flags & UNIX_FLAG_LOCALECHO);
    EXPECT_EQ(row(0), "");
}

TEST_F(UnixTest, OptimizePatternOver15BytesIsCut) {
    // 20 bytes asked; the first 15 are the pattern.
    unixSetOptimizePatterns("\\x1bBCDEFGHIJKLMNOPQRST", nullptr);
    open();
    feed("\x1b" "BCDEFGHIJKLMNO|");
    EXPECT_TRUE(sess().flags & UNIX_FLAG_LOCALECHO);
    EXPECT_EQ(row(0), "|");  // only "|" was text
}

TEST_F(UnixTest, PrintFailureEndsTransparentPrint) {
    open();
    prntSinkFail(true);
    feed("\x1b[5iabc");
    EXPECT_FALSE(sess().flags & UNIX_FLAG_TRANSPRINT);
    EXPECT_FALSE(cuAuxActive());
    feed("def");
    EXPECT_EQ(row(0), "def");
}

TEST_F(UnixTest, SecondPrintOnKeepsTheJob) {
    open();
    feed("\x1b[5ia\x1b[5ib\x1b[4i");
    EXPECT_EQ(prntSinkJobs(), 1);
    EXPECT_EQ(prntSinkData(), "ab");
}

TEST_F(UnixTest, ResizeResetsMarginsAndTabsKeepsModes) {
    open(10, 40);
    feed("\x1b[3;5r\x1b[4h\x1b[3g\x1b[?1h\x1b[7m");
    ChSession& s = sess();
    ASSERT_EQ(unixInit(&s, UNIX_TYPE_V, 12, 30, false), 0);
    EXPECT_EQ(s.unix.top, 0);
    EXPECT_EQ(s.unix.bottom, 11);
    EXPECT_EQ(s.unix.lastCol, 29);
    EXPECT_EQ(s.unix.insertMode, 1);
    EXPECT_EQ(s.unix.attr, 23);
    EXPECT_TRUE(s.unix.kbdFlags & UNIX_KBD_APPCURSOR);
    ASSERT_EQ(s.unix.tabs.size(), 30u);
    EXPECT_EQ(s.unix.tabs[8], 1);
    EXPECT_GE(s.unix.reply.size(), size_t(UNIX_REPLY_MIN));
}

TEST_F(UnixTest, UnknownKeyIsItsLowByte) {
    open();
    char out[UNIX_KEY_STRING_MAX];
    ASSERT_EQ(unixKeyString(sess().unix, 0x3A41, out, int(sizeof out)), 1);
    EXPECT_EQ(out[0], 'A');
    EXPECT_EQ(unixKeyString(sess().unix, 0x3F00, out, 3), 3);  // cut to the room given
}

TEST_F(UnixTest, HugeCountsAndMarginsStayInsideTheGrid) {
    open(5, 7);
    feed("\x1b[999;999r\x1b[2147483647;2147483647H\x1b[99999999999A\x1b[99999999999C\x1b[9999L\x1b[9999M"
         "\x1b[99999B\x1b[99999D\x1b" "D\x1bM\x1b[Pxyz");
    const ReplaySnapshot snap = replaySnapshot();
    EXPECT_GE(snap.curRow, 0);
    EXPECT_LT(snap.curRow, 5);
    EXPECT_GE(snap.curCol, 0);
    EXPECT_LT(snap.curCol, 7);
    EXPECT_LE(sess().unix.bottom, 4);
}

}  // namespace
