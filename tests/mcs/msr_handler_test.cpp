// The MCS server over real loopback connections: the call-back handshake,
// the dispatch of requests, the waiting functions and their deadline, the
// pseudo-mode exchange with the end-of-output mark, and a request that
// cannot be unpacked.
#include "msr_helpers.h"

#include "mcs/mcsfmt.h"
#include "print/prnt.h"

using namespace msrtest;

namespace {

std::string& hostShown()
{
    static std::string s;
    return s;
}
int recordHostOutput(const uint8_t* b, int n)
{
    hostShown().append((const char*)b, (size_t)n);
    return 0;
}

TEST_F(MsrTest, NewSessionTagOpensHostlessSessionAndAcksItsSize)
{
    HostPeer& h = newHost();
    std::string size;
    ASSERT_EQ(callBack(h, "0000", &size), "0001");
    ASSERT_TRUE(sessIsOpen(0));
    ChSession* s = sessAt(0);
    ASSERT_NE(s->mcs, nullptr);
    ASSERT_NE(s->term, nullptr);
    char expect[24];
    std::snprintf(expect, sizeof expect, "%03d%03d", cuScreenAt(0)->Rows, std::min(cuScreenAt(0)->Cols, 166));
    EXPECT_EQ(size, expect);
    EXPECT_EQ(s->flags & CHF_MODE, CHF_IDLE);
    EXPECT_EQ(s->func, dFidle);
    EXPECT_EQ(s->prevFunc, -1);
    EXPECT_EQ(s->areas->overflowCap, MCS_OVERFLOW_SIZE);
    EXPECT_EQ(s->term->sessNo, 1);
}

struct BadTag {
    const char* name;
    const char* tag;
};
class MsrBadTag : public MsrTest, public ::testing::WithParamInterface<BadTag> {};

TEST_P(MsrBadTag, IsAnsweredZeroesAndClosed)
{
    HostPeer& first = newHost();
    ASSERT_EQ(callBack(first, "0000"), "0001");  // session 1 exists, 3 does not
    HostPeer& h = newHost();
    EXPECT_EQ(callBack(h, GetParam().tag), "0000");
    EXPECT_TRUE(h.waitClosed());
    EXPECT_FALSE(sessIsOpen(2));
    EXPECT_NE(sessAt(0)->mcs, nullptr);  // the other session's channel is untouched
}
INSTANTIATE_TEST_SUITE_P(Tags, MsrBadTag,
                         ::testing::Values(BadTag{"MissingSession", "0003"}, BadTag{"NotHex", "00g1"},
                                           BadTag{"BeyondTable", "0009"}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(MsrTest, ExistingSessionTagReplacesThePreviousChannel)
{
    HostPeer& h1 = newHost();
    ASSERT_EQ(callBack(h1, "0000"), "0001");
    McsTerminal* oldTerm = sessAt(0)->term;
    HostPeer& h2 = newHost();
    ASSERT_EQ(callBack(h2, "0001"), "0001");
    EXPECT_TRUE(h1.waitClosed());
    ChSession* s = sessAt(0);
    ASSERT_NE(s->term, nullptr);
    EXPECT_EQ(s->flags & CHF_MODE, CHF_IDLE);
    // The new channel serves requests.
    h2.sendFrame(Req(dFmcsEnd).bytes());
    Bytes reply;
    ASSERT_TRUE(h2.next(&reply));
    EXPECT_EQ(funcOf(reply), dFmcsEnd);
    (void)oldTerm;
}

TEST_F(MsrTest, UnlistedCodeGetsNoReplyAndChangesNothing)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    ChSession* s = sessAt(0);
    uint16_t flags = s->flags;
    h.sendFrame(Req(230).str("NEGOTIATE").bytes());
    // Replies go out in request order: the next frame is the 203 reply.
    h.sendFrame(Req(dFmcsEnd).bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), dFmcsEnd);
    EXPECT_EQ(flags & CHF_MODE, CHF_IDLE);
    EXPECT_TRUE(forms().pre.empty());
}

TEST_F(MsrTest, WaitingMsgiAnswersTimeOutWhenTheDeadlinePasses)
{
    forms().waitFor = {22};
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(formsRequest(22, "MENU1", "HELLO", 30).bytes());
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->flags & CHF_WAITINPUT; }));
    EXPECT_EQ(sessAt(0)->func, 22);
    EXPECT_GT(sessAt(0)->mcsDeadline, 0);
    pumpRounds(10);
    EXPECT_TRUE(h.queueEmpty()) << "no reply before the deadline";

    headlessAdvanceClock(31000);
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), 22);
    std::string ma = paramString(reply, 3);
    ASSERT_GT(ma.size(), (size_t)MA_TEXT);
    EXPECT_EQ(ma[MA_TEXT], 'T');
    EXPECT_TRUE(forms().post.empty()) << "a time-out without input is not post-processed";
    EXPECT_EQ(sessAt(0)->flags & CHF_MODE, CHF_IDLE);
    EXPECT_EQ(sessAt(0)->func, dFidle);
    EXPECT_EQ(sessAt(0)->prevFunc, 22);
}

TEST_F(MsrTest, WaitingMsgiWithInputIsPostProcessedAndAnswered)
{
    forms().waitFor = {22};
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(formsRequest(22, "MENU1", "HELLO", 30).bytes());
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->flags & CHF_WAITINPUT; }));
    forms().inputCode = 1;
    sessSelect(0);
    sessKeyTyped(MCS_KEY_TRANSMIT);
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), 22);
    EXPECT_NE(paramString(reply, 3)[MA_TEXT], 'T');
    EXPECT_EQ(forms().post, std::vector<int>{22});
}

TEST_F(MsrTest, TimedInputRepliesAtItsDeadlineWithAreaC)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(MSR_REQ_TIMEDINPUT).str(controlBlock(0)).str("AREA-C").shrt(5).bytes());
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->func == MSR_REQ_TIMEDINPUT; }));
    headlessAdvanceClock(6000);
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), MSR_REQ_TIMEDINPUT);
    EXPECT_GE(bufParamLen(reply, 1), MCS_CTLBLK_MIN);
    EXPECT_EQ(bufParamLen(reply, 2), MSR_AREAC_REPLY);
    EXPECT_EQ(paramString(reply, 2).substr(0, 6), "AREA-C");
    EXPECT_EQ(bufGetShort(reply, 3), 0);
}

TEST_F(MsrTest, WinAppWithUnknownProgramRepliesZero)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(dFwinapp, 0, 55, 9).str(std::string("kvx-no-such-program --flag\0", 27)).bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    ZenBufHeader hd{};
    ASSERT_TRUE(bufHeader(reply, &hd));
    EXPECT_EQ(hd.func, dFwinapp);
    EXPECT_EQ(hd.Sub, 0);
    EXPECT_EQ(hd.P, 55);
    EXPECT_EQ(hd.Prm, 1);
    EXPECT_EQ(bufGetInt(reply, 1), 0);
}

TEST_F(MsrTest, WinAppStartsAProgram)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(dFwinapp).str("true").bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(bufGetInt(reply, 1), 1);
}

TEST_F(MsrTest, McsEndClosesChannelAndHostlessWindow)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(dFmcsEnd).bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), dFmcsEnd);
    EXPECT_EQ(bufParamLen(reply, 1), -1);
    EXPECT_TRUE(h.waitClosed());
    EXPECT_TRUE(pumpUntil([] { return !sessIsOpen(0); }));
}

TEST_F(MsrTest, HostPrintRequestsPrintThroughTheAuxiliaryPrinter)
{
    prntSinkReset();
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(MSR_REQ_PRINTON).bytes());
    h.sendFrame(Req(MSR_REQ_PRINTDATA).str("LINE ONE\r\n").bytes());
    h.sendFrame(Req(MSR_REQ_PRINTDATA).str("LINE TWO\r\n").bytes());
    h.sendFrame(Req(MSR_REQ_PRINTOFF).bytes());
    h.sendFrame(Req(dFmcsEnd).bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(prntSinkData(), "LINE ONE\r\nLINE TWO\r\n");
    EXPECT_EQ(prntSinkJobs(), 1);
    EXPECT_FALSE(cuAuxActive());
}

TEST_F(MsrTest, PrintDataWithoutPrintOnStartsAJob)
{
    prntSinkReset();
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(MSR_REQ_PRINTDATA).str("X").bytes());
    h.sendFrame(Req(dFmcsEnd).bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(prntSinkData(), "X");
    EXPECT_FALSE(cuAuxActive()) << "the end of the channel ends the job";
}

// EndPsuedo before the mark: no answer until the mark arrives; a request
// sent behind it waits as well, whether it came in the same read or later.
struct PseudoCase {
    const char* name;
    bool sameRead;
};
class MsrPseudo : public MsrTest, public ::testing::WithParamInterface<PseudoCase> {};

TEST_P(MsrPseudo, EndWaitsForTheMarkAndRequestsBehindItWait)
{
    hostShown().clear();
    sessSetHostOutput(recordHostOutput);
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    int tty = attachHostIO(0);
    h.sendFrame(Req(dFbgnPsuedo).bytes());
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->flags & CHF_CHARMODE; }));
    EXPECT_EQ(forms().uts, "\x1b" "e\x1b" "M");
    EXPECT_EQ(cuScreenAt(0)->curRow, cuScreenAt(0)->Rows - 1);

    Bytes end = Req(dFendPsuedo, 0, 42).bytes();
    Bytes behind = Req(dFwinapp).str("kvx-no-such-program").bytes();
    if (GetParam().sameRead) {
        h.sendFrames({end, behind});
    } else {
        h.sendFrame(end);
        ASSERT_TRUE(pumpUntil([] { return sessAt(0)->flags & CHF_ENDPENDING; }));
        h.sendFrame(behind);
    }
    pumpRounds(20);
    EXPECT_TRUE(h.queueEmpty()) << "nothing is answered before the mark";
    EXPECT_TRUE(sessAt(0)->flags & CHF_ENDPENDING);

    const std::string text = "ORDER LIST\r\n";
    std::string out = text + "<([%EOF%])>after";
    ASSERT_EQ(send(tty, out.data(), out.size(), MSG_NOSIGNAL), (ssize_t)out.size());
    Bytes first, second;
    ASSERT_TRUE(h.next(&first));
    ASSERT_TRUE(h.next(&second));
    ZenBufHeader hd{};
    ASSERT_TRUE(bufHeader(first, &hd));
    EXPECT_EQ(hd.func, dFendPsuedo);
    EXPECT_EQ(hd.P, 42) << "the deferred answer carries the EndPsuedo's routing";
    EXPECT_EQ(funcOf(second), dFwinapp);
    EXPECT_EQ(hostShown(), text);
    EXPECT_EQ(sessAt(0)->flags & (CHF_MODE | CHF_ENDPENDING), CHF_IDLE);
}
INSTANTIATE_TEST_SUITE_P(Reads, MsrPseudo,
                         ::testing::Values(PseudoCase{"SameRead", true}, PseudoCase{"LaterRead", false}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(MsrTest, EndPsuedoAfterTheMarkIsAnsweredAtOnce)
{
    hostShown().clear();
    sessSetHostOutput(recordHostOutput);
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    int tty = attachHostIO(0);
    h.sendFrame(Req(dFbgnPsuedo).bytes());
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->flags & CHF_CHARMODE; }));
    std::string out = "DONE<([%EOF%])>";
    ASSERT_EQ(send(tty, out.data(), out.size(), MSG_NOSIGNAL), (ssize_t)out.size());
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->flags & CHF_EOFSEEN; }));
    h.sendFrame(Req(dFendPsuedo).bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), dFendPsuedo);
    EXPECT_EQ(hostShown(), "DONE");
}

// A request whose parameters overflow the unpacked message is refused and
// ends the channel; the session stays and takes a new call-back.
TEST_F(MsrTest, FatalInsistEndsTheChannelAndTheSessionStaysUsable)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    Req r = formsRequest(21, "MENU1", "X", 0);
    Req big(21);
    for (int i = 0; i < 70; ++i)
        big.int32(i);
    // The 70 leading Ints go to the unpacked message, which holds 63 at most.
    Bytes tail = r.bytes();
    big.buf.resize(8192);
    for (int n = 1; n <= 8; ++n) {
        const uint8_t* head = bufFindParam(tail, n);
        ASSERT_NE(head, nullptr);
        int len = bufParamLen(tail, n);
        int16_t type = zenGet16(head + 2);
        if (type == (int16_t)ZenType::String)
            big.str(head + 4, len);
        else if (type == (int16_t)ZenType::Char)
            big.chr(head[4]);
        else
            big.shrt(zenGet16(head + 4));
    }
    h.sendFrame(big.bytes());
    EXPECT_TRUE(h.waitClosed());
    ASSERT_TRUE(pumpUntil([] { return sessAt(0)->mcs == nullptr; }));
    EXPECT_TRUE(sessIsOpen(0));
    EXPECT_TRUE(sessAt(0)->flags & CHF_CHARMODE);
    EXPECT_EQ(sessAt(0)->term, nullptr);

    HostPeer& again = newHost();
    ASSERT_EQ(callBack(again, "0001"), "0001");
    again.sendFrame(Req(dFwinapp).str("kvx-no-such-program").bytes());
    Bytes reply;
    ASSERT_TRUE(again.next(&reply));
    EXPECT_EQ(funcOf(reply), dFwinapp);
}

TEST_F(MsrTest, FormsRequestWithoutWaitRepliesAtOnceWithTheHostsFormat)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(formsRequest(21, "CUST", "JOHN SMITH", 0).bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), 21);
    EXPECT_EQ(h.formatRequests(), 1);
    EXPECT_EQ(paramString(reply, 3).substr(MA_TEXT, 10), "JOHN SMITH");
    EXPECT_EQ(forms().pre, std::vector<int>{21});
    EXPECT_EQ(sessAt(0)->flags & CHF_MODE, CHF_IDLE);
    EXPECT_EQ(sessAt(0)->func, dFidle);
}

TEST_F(MsrTest, TransferRequestsWithoutTransferSupportAnswerFailure)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    for (int func : {dFzenh2p, dFzenp2h}) {
        h.sendFrame(Req(func).chr('O').str("CREPORT  TXT").str(std::string(40, ' ')).bytes());
        Bytes reply;
        ASSERT_TRUE(h.next(&reply));
        EXPECT_EQ(funcOf(reply), func);
        EXPECT_EQ(bufGetChar(reply, 1), 1);
    }
}

TEST_F(MsrTest, UtsOutRawRunsUtsAndReturnsTheControlBlock)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(dFutsoutraw).str(controlBlock(0)).str("\x1b" "eHELLO").bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    EXPECT_EQ(funcOf(reply), dFutsoutraw);
    EXPECT_GE(bufParamLen(reply, 1), MCS_CTLBLK_MIN);
    EXPECT_EQ(forms().uts, "\x1b" "eHELLO");
}

TEST_F(MsrTest, WorkDirRequestSetsTheTransferDirectory)
{
    HostPeer& h = newHost();
    ASSERT_EQ(callBack(h, "0000"), "0001");
    h.sendFrame(Req(MSR_REQ_WORKDIR).str(std::string("/tmp/xfer\0junk", 14)).bytes());
    h.sendFrame(Req(dFwinapp).str("kvx-no-such-program").bytes());
    Bytes reply;
    ASSERT_TRUE(h.next(&reply));
    std::string dirText(sessAt(0)->term->workDir, MCS_WORKDIR_LEN);
    EXPECT_EQ(dirText, "/tmp/xfer" + std::string(MCS_WORKDIR_LEN - 9, ' '));
}

} // namespace
