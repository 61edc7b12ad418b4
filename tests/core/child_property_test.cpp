// Property: however the host's stream is cut into reads, and whichever reads
// arrive while the session layer is busy (queued and replayed), the text
// before the end-of-output mark reaches the interpreter exactly once, in
// order. (Text after the mark in the same read is dropped, later reads are
// plain text again; the stream here ends with the mark.)
#include "core/child_fixture.h"

#include <random>
#include <string>

using namespace childtest;

namespace {

// Mostly characters of the mark, so that partial marks, stray first
// characters and held-back prefixes are frequent.
std::string randomText(std::mt19937& rng, size_t maxLen)
{
    static const char kAlphabet[] = "<([%EOF%])><<((ab\r\n";
    std::uniform_int_distribution<size_t> len(0, maxLen);
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string t;
    for (size_t n = len(rng); t.size() < n;) {
        t += kAlphabet[pick(rng)];
        if (t.size() >= CH_EOF_MARK_LEN && t.compare(t.size() - CH_EOF_MARK_LEN, CH_EOF_MARK_LEN, CH_EOF_MARK) == 0)
            t.pop_back();   // the stream's first mark is the one we place
    }
    return t;
}

TEST_F(ChildTest, TextBeforeTheMarkIsShownOnceInOrderUnderAnySplitting)
{
    std::mt19937 rng(20240611);
    for (int iteration = 0; iteration < 300; ++iteration) {
        SCOPED_TRACE("iteration " + std::to_string(iteration));
        shown().clear();
        Chan host = openSession(0);
        ChSession* s = sessAt(0);
        s->flags = CHF_CHARMODE | CHF_EOFLOOK;

        std::string before = randomText(rng, 400);
        std::string stream = before + CH_EOF_MARK;
        std::uniform_int_distribution<size_t> cut(1, 24);
        std::uniform_int_distribution<int> coin(0, 3);
        size_t pos = 0;
        while (pos < stream.size()) {
            bool busyRound = coin(rng) == 0;
            if (busyRound) {
                ASSERT_EQ(ChSemSet(1, "property"), 1);
            }
            // While busy, several pieces may pile up behind one request.
            int pieces = busyRound ? 1 + coin(rng) : 1;
            for (int p = 0; p < pieces && pos < stream.size(); ++p) {
                size_t n = std::min(cut(rng), stream.size() - pos);
                peerWrite(host, stream.substr(pos, n));
                pos += n;
                pumpIdle(busyRound ? 2 : 20);
            }
            if (busyRound) {
                EXPECT_LE(chRequestCount(), 1);
                ChSemSet(0, "property");
                EXPECT_EQ(chRequestCount(), 0);
            }
            ASSERT_TRUE(before.compare(0, shown().size(), shown()) == 0 && shown().size() <= before.size())
                << "shown so far is not a prefix of the text before the mark: " << shown();
        }
        pumpIdle();
        EXPECT_EQ(shown(), before);
        EXPECT_TRUE(s->flags & CHF_EOFSEEN);
        EXPECT_EQ(s->eofCount, 0);
        sessClose(0);
    }
}

} // namespace
