// Formats fetched from a host over a real MCS descriptor on a loopback
// connection: the request bytes, the cache and its order, the fallback.
#include "mcs/fmt_helpers.h"
#include "mcs/mcsfmt.h"
#include "net/com_fixture.h"
#include "net/korvex.h"

#include <poll.h>

namespace {

using fmttest::FmtSpec;
using fmttest::formatReply;
using fmttest::makeFormat;

class FmtExchange : public ComTest {
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        ws = acceptCallback(&peer);
        ASSERT_GE(ws, 0);
        mcs = comNewDescriptor(KVX_DESC_MCS, ws);
        ASSERT_NE(mcs, nullptr);
    }
    void TearDown() override
    {
        destroy(mcs);
        ComTest::TearDown();
    }

    // The host answers the next request with this message.
    void hostAnswers(const std::vector<uint8_t>& reply)
    {
        ASSERT_GT(comWrite(peer, reply.data(), (int)reply.size()), 0);
    }
    // The request the host received.
    std::vector<uint8_t> hostReceives()
    {
        std::vector<uint8_t> buf(4096, 0);
        EXPECT_GT(comRead(peer, buf.data(), (int)buf.size()), 0);
        buf.resize((size_t)getBufSize(buf));
        return buf;
    }
    bool hostHasPending()
    {
        pollfd p{peer, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }
    std::string cachedNames()
    {
        std::string s;
        for (int i = 0; i < MCS_FMTCACHE_ENTRIES; ++i) {
            const McsFmtCacheEntry* e = mcsFmtCacheEntry(areas, i);
            s += e->data ? std::string(e->name, 8) : std::string("--------");
            s += "|";
        }
        return s;
    }
    int fetch(const std::string& name, bool useCache)
    {
        return mcsReadRmtFmt(areas, mcs, buf, name.c_str(), useCache);
    }

    int ws = -1, peer = -1;
    KORVEX* mcs = nullptr;
    McsAreas areas{};
    std::array<uint8_t, MCS_FMTBUF_SIZE> buf{};
};

TEST_F(FmtExchange, RequestCarriesTheSeventeenByteString)
{
    FmtSpec s;
    s.name = "ABCDE";
    hostAnswers(formatReply(makeFormat(s)));
    EXPECT_EQ(fetch("abcde", false), 1);

    std::vector<uint8_t> req = hostReceives();
    ZenBufHeader h{};
    ASSERT_TRUE(bufHeader(req, &h));
    EXPECT_EQ(h.func, DF_FMTREQ);
    EXPECT_EQ(h.Sub, 0);
    EXPECT_EQ(h.Pri | h.P | h.Q | h.Seg, 0);
    EXPECT_EQ(h.Prm, 1);
    ASSERT_EQ(bufParamLen(req, 1), MCS_FMTREQ_LEN);
    EXPECT_EQ(std::string((const char*)bufGetString(req, 1), MCS_FMTREQ_LEN), "FZEN$Y$  ABCDE   ");
}

TEST_F(FmtExchange, FourFormatsLeaveTheLastThreeNewestFirst)
{
    for (const char* name : {"ONE", "TWO", "THREE", "FOUR"}) {
        FmtSpec s;
        s.name = name;
        hostAnswers(formatReply(makeFormat(s)));
        EXPECT_EQ(fetch(name, true), 1);
        hostReceives();
    }
    EXPECT_EQ(cachedNames(), "FOUR    |THREE   |TWO     |");
    // The buffer holds the newest format and its terminating 0.
    std::vector<uint8_t> four = [] {
        FmtSpec s;
        s.name = "FOUR";
        return makeFormat(s);
    }();
    EXPECT_TRUE(std::equal(four.begin(), four.end(), buf.begin()));
    EXPECT_EQ(buf[four.size()], 0);
}

TEST_F(FmtExchange, CacheHitSendsNothingAndKeepsTheOrder)
{
    for (const char* name : {"ONE", "TWO"}) {
        FmtSpec s;
        s.name = name;
        s.fields = name[0] == 'O' ? 5 : 2;
        hostAnswers(formatReply(makeFormat(s)));
        fetch(name, true);
        hostReceives();
    }
    buf.fill(0xEE);
    EXPECT_EQ(fetch("one", true), 0);
    EXPECT_FALSE(hostHasPending());
    EXPECT_EQ(cachedNames(), "TWO     |ONE     |--------|");
    FmtSpec one;
    one.name = "ONE";
    one.fields = 5;
    std::vector<uint8_t> f = makeFormat(one);
    EXPECT_TRUE(std::equal(f.begin(), f.end(), buf.begin()));
    EXPECT_EQ(buf[f.size()], 0);

    // Without the cache the host is asked again and the copy becomes entry 0.
    hostAnswers(formatReply(f));
    EXPECT_EQ(fetch("ONE", false), 1);
    EXPECT_EQ(hostReceives().size(), 45u);
    EXPECT_EQ(cachedNames(), "ONE     |TWO     |ONE     |");
}

TEST_F(FmtExchange, LengthZeroGivesTheUndefinedScreenWithTheName)
{
    hostAnswers(formatReply({}, 0, 0));
    EXPECT_EQ(fetch("nosuch", true), 1);
    hostReceives();
    EXPECT_EQ(cachedNames(), "--------|--------|--------|");
    EXPECT_EQ(std::string((const char*)buf.data() + FH_NAME, 8), "NOSUCH  ");
    EXPECT_EQ(buf[MCS_FMT_UNDEF_LEN], 0);
    std::string text((const char*)buf.data(), MCS_FMT_UNDEF_LEN);
    EXPECT_NE(text.find("<<<< UNDEFINED SCREEN FORMAT REQUESTED >>>>"), std::string::npos);
    EXPECT_NE(text.find("requested"), std::string::npos);
    EXPECT_EQ(buf[FH_ROWS], 4);
    EXPECT_EQ(buf[FH_COLS], 51);
}

TEST_F(FmtExchange, FailedExchangesGiveTheFallback)
{
    EXPECT_EQ(mcsReadRmtFmt(areas, nullptr, buf, "abc", true), 1);
    EXPECT_EQ(std::string((const char*)buf.data() + FH_NAME, 8), "ABC     ");

    // The host goes away: the read fails.
    close(peer);
    opened.erase(std::remove(opened.begin(), opened.end(), peer), opened.end());
    EXPECT_EQ(fetch("gone", true), 1);
    EXPECT_EQ(std::string((const char*)buf.data() + FH_NAME, 8), "GONE    ");
    EXPECT_EQ(cachedNames(), "--------|--------|--------|");
}

TEST_F(FmtExchange, InformationComesFromTheHeader)
{
    FmtSpec s;
    s.fields = 10;
    s.areaA = 30;
    s.maData = 37;
    std::vector<uint8_t> f = makeFormat(s);
    f[FH_SLICE] = 2;
    hostAnswers(formatReply(f));
    fetch("CUST01", true);
    hostReceives();
    const McsFmtCacheEntry* e = mcsFmtCacheEntry(areas, 0);
    ASSERT_TRUE(e->data);
    EXPECT_EQ(e->length, (int)f.size());
    EXPECT_EQ(e->rows, 10);
    EXPECT_EQ(e->cols, 6);
    EXPECT_EQ(e->areaASize, 30);
    EXPECT_EQ(e->maData, 39);
    EXPECT_EQ(e->maIcount, 37);
    EXPECT_EQ(e->maOcount, 39);
    EXPECT_EQ(e->dataFields, 10);

    // First parameter 16: ma-ocount is the total data size.
    hostAnswers(formatReply(f, MCS_OCOUNT_TOTAL));
    fetch("CUST01", false);
    hostReceives();
    EXPECT_EQ(mcsFmtCacheEntry(areas, 0)->maOcount, 40);
}

TEST_F(FmtExchange, UnfilledHeaderIsComputedFromTheStream)
{
    FmtSpec s;
    s.fields = 7;
    s.maData = 28;
    s.filled = false;
    hostAnswers(formatReply(makeFormat(s)));
    fetch("CUST01", true);
    hostReceives();
    EXPECT_EQ(buf[FH_ROWS], 7);
    EXPECT_EQ(buf[FH_COLS], 6);
    EXPECT_EQ(zenGet16(buf.data() + FH_FIELDS), 7);
    EXPECT_EQ(zenGet16(buf.data() + FH_DATASIZE), 28);
    EXPECT_EQ(zenGet16(buf.data() + FH_OUTSIZE), 28);
    EXPECT_EQ(zenGet16(buf.data() + FH_INSIZE), 28);
    EXPECT_EQ(mcsFmtCacheEntry(areas, 0)->dataFields, 7);
}

} // namespace
