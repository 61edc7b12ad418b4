// The standard reply in its full and short forms, and page output to the
// host over an MCS descriptor.
#include "mcs/fmt_helpers.h"
#include "mcs/mcsreq.h"
#include "mcs/req_helpers.h"
#include "net/com_fixture.h"
#include "net/korvex.h"

namespace {

using namespace reqtest;

class ReqReply : public ::testing::Test {
protected:
    void SetUp() override
    {
        a = std::make_unique<McsAreas>();
        a->msgArea.fill(' ');
        a->areaA.fill('a');
        a->areaB.fill('b');
        a->areaC.fill('c');
        a->areaD.fill(' ');
        ASSERT_EQ(mcsinit(fs, 24, 80), 0);
        reply.assign(16632, 0);
    }
    void setMsgArea(const std::string& fmt, const std::string& text)
    {
        std::vector<uint8_t> m = msgArea(fmt, text);
        std::copy(m.begin(), m.end(), a->msgArea.begin());
    }
    // Decodes the request, then builds the reply to it; the reply's shape.
    std::string serve(const std::vector<uint8_t>& req)
    {
        EXPECT_EQ(mcsDecodeRequest(*a, fs, req), 0);
        ZenBufHeader h{};
        bufHeader(req, &h);
        size = msrSendData(*a, fs, nullptr, h.func, reply);
        EXPECT_GE(size, ZENBUF_HDRSIZE);
        reply.resize((size_t)std::max(size, 0));
        return shape(reply);
    }
    std::string serveFunc(int func)
    {
        size = msrSendData(*a, fs, nullptr, func, reply);
        EXPECT_GE(size, ZENBUF_HDRSIZE);
        std::string s = shape(std::span<const uint8_t>(reply.data(), (size_t)std::max(size, 0)));
        return s;
    }
    std::vector<uint8_t> standardMsgo(int func, const std::string& text)
    {
        return request(func, {Str{"TAG00000"}, In{0}, Str{std::vector<uint8_t>(128, 0)}, Str{msgArea("CUST01", text)},
                              Str{"A"}, Str{"B"}, Str{"C"}, Ch{'Z'}, Sh{3}});
    }

    std::unique_ptr<McsAreas> a;
    McsFormsState fs;
    std::vector<uint8_t> reply;
    int size = 0;
};

TEST_F(ReqReply, ParamWithTwoParametersRepliesWith164Bytes)
{
    EXPECT_EQ(serve(request(29, {In{0x20}, In{60}})), "S8 S128 S164 S0 S0 S0 C H");
    ZenBufHeader h{};
    ASSERT_TRUE(bufHeader(reply, &h));
    EXPECT_EQ(h.func, 29);
    EXPECT_EQ(std::string((const char*)bufGetString(reply, 1), 8), std::string("\0\0\0!\0\0\0\0", 8));
    const uint8_t* ctl = bufGetString(reply, 2);
    EXPECT_EQ(zenGet32(ctl + CB_OPTIONS), 0x20);
    EXPECT_EQ(zenGet32(ctl + CB_WAIT), 60);
    EXPECT_EQ(bufGetString(reply, 3)[MA_TEXT], ' ');
}

TEST_F(ReqReply, FullMsgoCarriesTheFormatsAreas)
{
    fmttest::FmtSpec s;
    s.fields = 10;
    s.areaA = 30;
    s.maData = 40;
    cacheFormat(*a, fmttest::makeFormat(s));
    std::vector<uint8_t> req = standardMsgo(21, std::string(100, 'x'));
    EXPECT_EQ(serve(req), "S8 S128 S60 S30 S20 S10 C H");
    // The header routes back with the session's message, Sub included.
    ZenBufHeader h{};
    bufHeader(reply, &h);
    EXPECT_EQ(h.func, 21);
    EXPECT_EQ(bufGetChar(reply, 7), 'Z');
    EXPECT_EQ(bufGetShort(reply, 8), 3);
    EXPECT_EQ(bufGetString(reply, 5)[0], 'B');
    EXPECT_EQ(bufGetString(reply, 5)[1], 'b');

    // A short text sends only itself.
    EXPECT_EQ(serve(standardMsgo(21, "SHORT")), "S8 S128 S25 S30 S20 S10 C H");
    // An unknown format: the fallback is not cached, so only the header part.
    setMsgArea("NOSUCH", "T");
    EXPECT_EQ(serveFunc(21), "S8 S128 S20 S0 S0 S0 C H");
}

TEST_F(ReqReply, IdleAndTextSizes)
{
    setMsgArea("F", "HELLO");
    EXPECT_EQ(serveFunc(18), "S32 S128");
    EXPECT_EQ(serveFunc(30), "S8 S128 S25 S0 S0 S0 C H");
    EXPECT_EQ(serveFunc(37), "S8 S128 S93 S0 S0 S0 C H");
    EXPECT_EQ(serveFunc(38), "S8 S128 S100 S0 S0 S0 C H");
    EXPECT_EQ(serveFunc(24), "S8 S128 S0 S0 S0 S0 C H");
    fs.ctlLen = 150;
    EXPECT_EQ(serveFunc(18), "S32 S150");
}

struct ShortCase {
    int func;
    const char* shape;
};

class ReqShort : public ReqReply, public ::testing::WithParamInterface<ShortCase> {};

TEST_P(ReqShort, ReplyIsReduced)
{
    fmttest::FmtSpec s;
    s.fields = 10;
    s.areaA = 30;
    cacheFormat(*a, fmttest::makeFormat(s));
    setMsgArea("CUST01", "HELLO");
    fs.termOptions = MCS_OPT_SHORTREPLY;
    EXPECT_EQ(serveFunc(GetParam().func), GetParam().shape);
}

INSTANTIATE_TEST_SUITE_P(
    Funcs, ReqShort,
    ::testing::Values(ShortCase{18, "S32"}, ShortCase{21, ""}, ShortCase{23, ""}, ShortCase{42, ""},
                      ShortCase{22, "S8 S128 S25 S0 S0 S0 C H"}, ShortCase{41, "S8 S128 S25 S0 S20 S0 C H"},
                      ShortCase{24, ""}, ShortCase{27, ""}, ShortCase{32, ""}, ShortCase{39, ""}, ShortCase{51, ""},
                      ShortCase{28, "S25"}, ShortCase{37, "S25"}, ShortCase{30, "H H S25"},
                      ShortCase{38, "S25 H H H"}, ShortCase{47, "H"}, ShortCase{52, "S8 S128 S25 S0 S0 S0 C H"}),
    [](const auto& info) { return "func" + std::to_string(info.param.func); });

TEST_F(ReqReply, ShortMsgoForACachedFormatIsHeaderOnly)
{
    fmttest::FmtSpec s;
    cacheFormat(*a, fmttest::makeFormat(s));
    std::vector<uint8_t> req = standardMsgo(21, "DATA");
    ASSERT_EQ(mcsDecodeRequest(*a, fs, req), 0);
    fs.termOptions = MCS_OPT_SHORTREPLY;
    EXPECT_EQ(msrSendData(*a, fs, nullptr, 21, reply), ZENBUF_HDRSIZE);
    ZenBufHeader h{};
    bufHeader(reply, &h);
    EXPECT_EQ(h.func, 21);
    EXPECT_EQ(h.Prm, 0);
}

TEST_F(ReqReply, Func58LeadsWithTheMessagesFirstString)
{
    a->overflow.reset(new uint8_t[MCS_OVERFLOW_SIZE]());
    a->overflowCap = MCS_OVERFLOW_SIZE;
    std::vector<uint8_t> req = request(58, {Str{"FIRST-STRING"}, In{0}, Str{std::vector<uint8_t>(128, 0)},
                                            Str{msgArea("NONE", "X")}, Str{"A"}, Str{"B"}, Str{"C"}, Ch{'Z'}, Sh{3}});
    EXPECT_EQ(serve(req), "S12 S1 S8 S128 S20 S0 S0 S0 C H");
    EXPECT_EQ(std::string((const char*)bufGetString(reply, 1), 12), "FIRST-STRING");
}

TEST_F(ReqReply, OversizedTextLengthStaysInsideTheArea)
{
    a->msgArea[MA_TEXTLEN] = 0x7F;
    a->msgArea[MA_TEXTLEN + 1] = 0xFF;
    EXPECT_EQ(serveFunc(30), "S8 S128 S9999 S0 S0 S0 C H");
    a->msgArea[MA_TEXTLEN] = 0xFF;
    EXPECT_EQ(serveFunc(30), "S8 S128 S20 S0 S0 S0 C H");
}

class ReqPageOut : public ComTest {};

TEST_F(ReqPageOut, PageGoesToTheHostAsFunction211)
{
    int peer = -1;
    int ws = acceptCallback(&peer);
    KORVEX* mcs = comNewDescriptor(KVX_DESC_MCS, ws);
    ASSERT_NE(mcs, nullptr);
    std::vector<uint8_t> page(24 * 80, 'P');
    EXPECT_GT(msrPageOut(mcs, "AUX1", page.data(), (int)page.size()), 0);
    std::vector<uint8_t> got(4096, 0);
    ASSERT_GT(comRead(peer, got.data(), (int)got.size()), 0);
    ZenBufHeader h{};
    ASSERT_TRUE(bufHeader(got, &h));
    EXPECT_EQ(h.func, MCS_PAGEOUT_FUNC);
    EXPECT_EQ(h.Sub | h.P | h.Pri | h.Q | h.Seg, 0);
    EXPECT_EQ(shape(std::span<const uint8_t>(got.data(), (size_t)getBufSize(got))), "S9 S1920");
    EXPECT_EQ(std::string((const char*)bufGetString(got, 1), 9), "AUX1     ");
    EXPECT_EQ(bufGetString(got, 2)[1919], 'P');
    EXPECT_LT(msrPageOut(nullptr, "AUX1", page.data(), 10), 0);
    destroy(mcs);
}

} // namespace
