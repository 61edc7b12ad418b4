// Forms requests decoded into the MCS areas and the forms state, and the
// control block read and written back.
#include "mcs/fmt_helpers.h"
#include "mcs/mcsreq.h"
#include "mcs/req_helpers.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace reqtest;

class ReqDecode : public ::testing::Test {
protected:
    void SetUp() override
    {
        a = std::make_unique<McsAreas>();
        a->msgArea.fill(' ');
        a->areaA.fill(' ');
        a->areaB.fill(' ');
        a->areaC.fill(' ');
        a->areaD.fill(' ');
        a->overflow.reset(new uint8_t[MCS_OVERFLOW_SIZE]());
        a->overflowCap = MCS_OVERFLOW_SIZE;
        ASSERT_EQ(mcsinit(fs, 24, 80), 0);
    }
    int decode(const std::vector<uint8_t>& req) { return mcsDecodeRequest(*a, fs, req); }
    std::string text() const
    {
        return std::string((const char*)a->msgArea.data() + MA_TEXT, (size_t)zenGet16(a->msgArea.data() + MA_TEXTLEN));
    }

    std::unique_ptr<McsAreas> a;
    McsFormsState fs;
};

std::vector<uint8_t> ctlBlock(int len = 128)
{
    std::vector<uint8_t> c((size_t)len, 0);
    std::memcpy(c.data() + CB_DEFFMT, "DEFAULT1", 8);
    std::memcpy(c.data() + CB_SYSNAME, "PRODSYS1", 8);
    std::memcpy(c.data() + CB_WSKIND, "WS01", 4);
    std::memcpy(c.data() + CB_IDENT, "IDENT123", 8);
    zenPut32(c.data() + CB_WAIT, 45);
    zenPut32(c.data() + CB_OPTIONS, 0x40);
    zenPut16(c.data() + CB_FIELDIDX, 9);
    c[CB_KEY] = 0x5F + 1;   // F1
    c[CB_XMIT] = 'A';
    c[CB_ROLL] = 'R';
    c[CB_ALIGN] = 4;
    c[CB_MODE] = 2;
    c[CB_SIGN] = 96;
    c[CB_DECIMAL] = ',';
    c[CB_CURRENCY] = 'E';
    c[CB_CONDLEVEL] = 3;
    zenPut16(c.data() + CB_OUTROW, 3);
    zenPut16(c.data() + CB_OUTCOL, 5);
    zenPut16(c.data() + CB_SCRROWS, 0);
    zenPut16(c.data() + CB_SCRCOLS, 99);
    zenPut16(c.data() + CB_VALUE81, 81);
    zenPut16(c.data() + CB_CURROW, 12);
    zenPut16(c.data() + CB_CURCOL, 40);
    std::memcpy(c.data() + CB_FMTNAME, "CUST01  ", 8);
    std::memcpy(c.data() + CB_TERMNAME, "TERM0001", 8);
    zenPut16(c.data() + CB_VALUE110, -2);
    return c;
}

TEST_F(ReqDecode, ParamWithTwoParametersSetsOptionsAndWait)
{
    a->msgArea[MA_TEXT] = 'x';
    ASSERT_EQ(decode(request(29, {In{0x1234}, In{120}})), 0);
    EXPECT_EQ(fs.termOptions, 0x1234u);
    EXPECT_EQ(fs.waitTime, 120);
    EXPECT_EQ(a->msgArea[MA_TEXT], ' ');
    EXPECT_EQ(a->msg.Prm, 0);
}

TEST_F(ReqDecode, PercentTagCarriesAreaDLast)
{
    std::vector<uint8_t> req = request(21, {Str{"ABC%TAG1"}, In{0}, Str{ctlBlock()}, Str{msgArea("CUST01", "HELLO")},
                                            Str{"AREA-A"}, Str{"B1B2"}, Str{"C1"}, Ch{'Q'}, Sh{77}, Str{"hd1234"}});
    ASSERT_EQ(decode(req), 0);
    EXPECT_EQ(std::string((const char*)a->areaD.data(), 7), "hd1234 ");
    EXPECT_EQ(a->trailingCount, 77);
    EXPECT_EQ(a->statusChar, 'Q');
    EXPECT_EQ(std::string((const char*)a->areaC.data(), 3), "C1 ");
    EXPECT_EQ(std::string((const char*)a->areaB.data(), 5), "B1B2 ");
    EXPECT_EQ(std::string((const char*)a->areaA.data(), 7), "AREA-A ");
    EXPECT_EQ(text(), "HELLO");
    EXPECT_EQ(std::string((const char*)a->msgArea.data(), 8), "CUST01  ");
    EXPECT_EQ(std::string(fs.sysName, 8), "PRODSYS1");
    // Nine parameters remain, so parameter 1 is the message.
    EXPECT_EQ(a->msg.Prm, 1);
    EXPECT_EQ(a->msg.P, 7);
    EXPECT_EQ(a->msg.Seg, 4096);

    // Without the tag the last parameter is the count and area D is cleared.
    ASSERT_EQ(decode(request(21, {Str{"ABCDTAG1"}, In{0}, Str{ctlBlock()}, Str{msgArea("CUST01", "HI")},
                                  Str{"A"}, Str{"B"}, Str{"C"}, Ch{'R'}, Sh{5}})),
              0);
    EXPECT_EQ(a->trailingCount, 5);
    EXPECT_EQ(a->statusChar, 'R');
    EXPECT_EQ(a->areaD[0], 0);
    EXPECT_EQ(a->areaD[699], 0);
    EXPECT_EQ(a->areaD[700], ' ');
    EXPECT_EQ(a->msg.Prm, 1);
}

TEST_F(ReqDecode, EightParametersTakeFuncAndSubOnly)
{
    ASSERT_EQ(decode(request(22, {In{0}, Str{ctlBlock()}, Str{msgArea("F2", "X")}, Str{"A"}, Str{"B"}, Str{"C"},
                                  Ch{'S'}, Sh{1}},
                             0x21)),
              0);
    EXPECT_EQ(a->msg.func, 22);
    EXPECT_EQ(a->msg.Sub, 0x21);
    EXPECT_EQ(a->msg.Prm, 0);
    EXPECT_EQ(a->statusChar, 'S');
}

TEST_F(ReqDecode, MistypedParameterLeavesTheAreaAsItWas)
{
    std::memcpy(a->areaA.data(), "KEEP", 4);
    ASSERT_EQ(decode(request(21, {In{0}, Str{ctlBlock()}, Str{msgArea("F", "T")}, Sh{1}, Str{"B"}, Str{"C"},
                                  Ch{'S'}, Sh{2}})),
              0);
    EXPECT_EQ(std::string((const char*)a->areaA.data(), 4), "KEEP");
    EXPECT_EQ(a->areaB[0], 'B');
    EXPECT_EQ(a->trailingCount, 2);
}

TEST_F(ReqDecode, UtsoutSubSetsTheKeyCharacter)
{
    ASSERT_EQ(decode(request(32, {In{0x10}, Ch{'M'}, Str{"ESC-DATA"}}, 0x41)), 0);
    EXPECT_EQ(fs.keyChar, 0x61);
    EXPECT_EQ(fs.modeByte, 'M');
    EXPECT_EQ(fs.termOptions, 0x10u);
    EXPECT_EQ(text(), "ESC-DATA");
    // Without Sub the key character stays.
    ASSERT_EQ(decode(request(32, {In{0}, Ch{'N'}, Str{"X"}})), 0);
    EXPECT_EQ(fs.keyChar, 0x61);
}

struct SpecialCase {
    const char* what;
    int func;
    std::vector<Param> params;
    void (*check)(const McsAreas& a, const McsFormsState& fs);
};

class ReqSpecial : public ReqDecode, public ::testing::WithParamInterface<SpecialCase> {};

TEST_P(ReqSpecial, Decodes)
{
    std::vector<uint8_t> m = msgArea("OLD", "ABC", 10);
    std::copy(m.begin(), m.end(), a->msgArea.begin());
    std::fill(a->msgArea.begin() + MA_TEXT + 3, a->msgArea.begin() + MA_TEXT + 20, '#');
    a->areaA.fill('a');
    a->areaB.fill('b');
    a->areaC.fill('c');
    ASSERT_EQ(decode(request(GetParam().func, GetParam().params)), 0);
    GetParam().check(*a, fs);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ReqSpecial,
    ::testing::Values(
        SpecialCase{"msgoNone", 21, {},
                    [](const McsAreas& a, const McsFormsState&) {
                        EXPECT_EQ(a.areaA[0], ' ');
                        EXPECT_EQ(a.areaB[0], ' ');
                        EXPECT_EQ(a.areaC[0], ' ');
                        EXPECT_EQ(std::string((const char*)a.msgArea.data() + MA_TEXT, 14), "ABC       ####");
                    }},
        SpecialCase{"kdcoutKeepsB", 42, {},
                    [](const McsAreas& a, const McsFormsState&) {
                        EXPECT_EQ(a.areaB[0], 'b');
                        EXPECT_EQ(a.areaC[0], ' ');
                    }},
        SpecialCase{"msgeNoText", 23, {},
                    [](const McsAreas& a, const McsFormsState&) {
                        EXPECT_EQ(a.areaA[0], ' ');
                        EXPECT_EQ(a.msgArea[MA_TEXT + 3], '#');
                    }},
        SpecialCase{"kdcinKeepsB", 41, {},
                    [](const McsAreas& a, const McsFormsState&) {
                        EXPECT_EQ(a.areaB[0], 'b');
                        EXPECT_EQ(a.areaA[0], ' ');
                    }},
        SpecialCase{"roll", 27, {Str{"R"}, Ch{'#'}},
                    [](const McsAreas& a, const McsFormsState& fs) {
                        EXPECT_EQ(fs.rollChar, '#');
                        EXPECT_EQ(a.msg.Prm, 1);
                    }},
        SpecialCase{"promptOne", 28, {Str{msgArea("NEW", "PROMPT")}},
                    [](const McsAreas& a, const McsFormsState&) {
                        EXPECT_EQ(std::string((const char*)a.msgArea.data(), 3), "NEW");
                        EXPECT_EQ(a.ctl.status, 'S');
                    }},
        SpecialCase{"textThree", 30, {Sh{4}, Sh{9}, Str{msgArea("NEW", "TXT")}},
                    [](const McsAreas& a, const McsFormsState&) {
                        EXPECT_EQ(a.ctl.curRow, 4);
                        EXPECT_EQ(a.ctl.curCol, 9);
                        EXPECT_EQ(std::string((const char*)a.msgArea.data(), 3), "OLD");
                        EXPECT_EQ(std::string((const char*)a.msgArea.data() + MA_TEXT, 3), "TXT");
                    }},
        SpecialCase{"utsinFour", 31, {In{0x8}, In{30}, Ch{'U'}, Sh{0}},
                    [](const McsAreas&, const McsFormsState& fs) {
                        EXPECT_EQ(fs.termOptions, 0x8u);
                        EXPECT_EQ(fs.waitTime, 30);
                        EXPECT_EQ(fs.utsInOption, 'U');
                    }},
        SpecialCase{"askTwo", 36, {Str{"DEFAULT"}, Str{"PROMPT"}},
                    [](const McsAreas& a, const McsFormsState&) {
                        EXPECT_EQ(a.msg.Prm, 2);
                        EXPECT_EQ(a.msgArea[0], ' ');
                    }},
        SpecialCase{"listTwo", 38, {Str{msgArea("L", "LIST TEXT")}, Str{"ITEM"}},
                    [](const McsAreas& a, const McsFormsState& fs) {
                        EXPECT_EQ(fs.waitTime, MCS_LIST_WAIT);
                        ASSERT_EQ(a.msg.Prm, 2);
                        EXPECT_EQ(msgParamLen(a.msg, 2), 80);
                    }},
        SpecialCase{"listFour", 38, {Str{msgArea("L", "T")}, Sh{6}, Sh{7}, Sh{0}},
                    [](const McsAreas& a, const McsFormsState& fs) {
                        EXPECT_EQ(fs.waitTime, MCS_LIST_WAIT);
                        EXPECT_EQ(a.ctl.curRow, 6);
                        EXPECT_EQ(a.ctl.curCol, 7);
                    }},
        SpecialCase{"titleOne", 47, {Sh{11}},
                    [](const McsAreas& a, const McsFormsState&) { EXPECT_EQ(a.ctl.outRow, 11); }}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ReqKey95, CodesRoundTrip)
{
    for (int c = 0x20; c <= 0x7E; ++c) {
        EXPECT_EQ(mcsKey95Encode(c), c - 0x20);
        EXPECT_EQ(mcsKey95Decode((uint8_t)(c - 0x20)), c);
    }
    for (int b = 0x5F; b < 0x5F + MCS_KEY95_EXTENDED; ++b)
        EXPECT_EQ(mcsKey95Encode(mcsKey95Decode((uint8_t)b)), b);
    EXPECT_EQ(mcsKey95Decode(0x5F + 1), 0x3B00);
    // A key without a code is sent as "_", which reads back as Transmit.
    EXPECT_EQ(mcsKey95Encode(0x1234), '_');
    EXPECT_EQ(mcsKey95Decode('_'), 0xC600);
    EXPECT_EQ(mcsKey95Decode(0xFF), 0);
}

TEST_F(ReqDecode, ControlBlockRoundTrip)
{
    std::vector<uint8_t> c = ctlBlock(140);
    mcsDecodeCtl(*a, fs, c.data(), (int)c.size());
    EXPECT_EQ(fs.ctlLen, 140);
    EXPECT_EQ(fs.keyChar, 0x3B00);
    EXPECT_EQ(fs.fieldIndex, 0);          // not taken by this terminal kind
    EXPECT_EQ(fs.signStyle, 96);
    EXPECT_EQ(a->ctl.scrRows, 24);        // rows 0: the forms state's size
    EXPECT_EQ(a->ctl.scrCols, 80);
    EXPECT_EQ(a->ctl.value110, -2);

    // The format named by the record carries a time stamp.
    fmttest::FmtSpec s;
    const uint8_t stamp[8] = {54, 7, 19, 13, 5, 9, 0, 0};  // 2024-07-19 13:05:09
    std::memcpy(s.stamp, stamp, 8);
    cacheFormat(*a, fmttest::makeFormat(s));
    std::memcpy(fs.fmtBuf.data() + FH_STAMP, stamp, 8);
    fs.override81Set = 1;
    fs.override81 = 500;

    std::array<uint8_t, MCS_CTLBLK_MAX> out{};
    ASSERT_EQ(mcsEncodeCtl(*a, fs, out.data()), 140);
    std::vector<uint8_t> expect = c;
    expect[CB_FIELDIDX] = expect[CB_FIELDIDX + 1] = 0;
    zenPut16(expect.data() + CB_SCRROWS, 24);
    zenPut16(expect.data() + CB_SCRCOLS, 80);
    zenPut16(expect.data() + CB_VALUE81, 500);
    expect[CB_KEY2] = mcsKey95Encode(0);
    std::memcpy(expect.data() + CB_FMTWORDS, stamp, 8);
    std::memcpy(expect.data() + CB_CTLWORDS, expect.data() + CB_OUTROW, 8);
    std::memcpy(expect.data() + CB_DATE, "240719130509", 12);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 140), expect);

    // The override counts once.
    mcsEncodeCtl(*a, fs, out.data());
    EXPECT_EQ(zenGet16(out.data() + CB_VALUE81), 81);

    // A 128-byte block has no room for the stamp text.
    fs.ctlLen = 100;
    EXPECT_EQ(mcsEncodeCtl(*a, fs, out.data()), 128);
}

TEST_F(ReqDecode, LongControlBlockIsCut)
{
    std::vector<uint8_t> c = ctlBlock(200);
    mcsDecodeCtl(*a, fs, c.data(), (int)c.size());
    EXPECT_EQ(fs.ctlLen, MCS_CTLBLK_MAX);
}

} // namespace
