// Host-data dispatch of the session table: the EOF mark, the pseudo-mode
// switch, the mode-switch timer, the busy queue and key sending, over real
// socket pairs on the headless platform.
#include "core/child_fixture.h"

#include <string>
#include <vector>

using namespace childtest;

namespace {

// ---- the EOF mark ----

struct MarkRead {
    const char* bytes;
    const char* shownAfter;   // everything handed to the interpreter so far
};
struct MarkCase {
    const char* name;
    std::vector<MarkRead> reads;
    bool markSeen;
};

const MarkCase kMarkCases[] = {
    {"SplitAcrossReads", {{"abc<([%EOF%", "abc"}, {"])>", "abc"}}, true},
    {"HeldPrefixShownBeforeNextRead", {{"xy<([%E", "xy"}, {"zz", "xy<([%Ezz"}}, false},
    {"HeldPrefixThenOtherMarkStart", {{"q<([", "q"}, {"(<([%EOF%])>", "q<([("}}, true},
    {"TextAfterMarkDropped", {{"ab<([%EOF%])>cd", "ab"}}, true},
    {"StrayFirstCharacterSameRead", {{"a<<([%EOF%])>", "a<"}}, true},
    {"StrayFirstCharacterAcrossReads", {{"a<", "a"}, {"<([%EOF%])>", "a<"}}, true},
    {"MarkAloneAtStart", {{"<([%EOF%])>tail", ""}}, true},
    {"LaterReadShownWhole", {{"x<([%EOF%])>junk", "x"}, {"<([%EOF", "x<([%EOF"}}, true},
    {"MarkSpreadOverManyReads", {{"<(", ""}, {"[%E", ""}, {"OF%]", ""}, {")>", ""}}, true},
};

class ChildMarkTest : public ChildTest, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(ChildMarkTest, ShowsExactlyTheTextBeforeTheMark)
{
    const MarkCase& c = GetParam();
    Chan host = openSession(0);
    ChSession* s = sessAt(0);
    s->flags = CHF_CHARMODE | CHF_EOFLOOK;
    for (const MarkRead& r : c.reads) {
        hostSend(host, r.bytes);
        EXPECT_EQ(shown(), r.shownAfter) << "after read \"" << r.bytes << "\"";
    }
    EXPECT_EQ((s->flags & CHF_EOFSEEN) != 0, c.markSeen);
    EXPECT_EQ((s->flags & CHF_EOFLOOK) == 0, c.markSeen);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChildMarkTest, ::testing::ValuesIn(kMarkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChildTest, WithoutLookingForTheMarkItIsPlainText)
{
    Chan host = openSession(0);
    hostSend(host, "a<([%EOF%])>b");
    EXPECT_EQ(shown(), "a<([%EOF%])>b");
}

// ---- EndPsuedo before the mark, with MCS data behind it ----

TEST_F(ChildTest, EndPsuedoIsAnsweredAtTheMarkAndWaitingMcsDataFollows)
{
    Chan host = openSession(0);
    Chan mcs = attachMcs(0);
    ChSession* s = sessAt(0);
    s->flags = CHF_IDLE;

    mcsSend(mcs, header(dFbgnPsuedo));
    EXPECT_EQ(s->flags & (CHF_CHARMODE | CHF_EOFLOOK), CHF_CHARMODE | CHF_EOFLOOK);
    hostSend(host, "line one\r\n");

    std::vector<uint8_t> end = header(dFendPsuedo);
    end[4] = 0x12;  // routing bytes of the deferred request
    end[5] = 0x34;
    mcsSend(mcs, end);
    EXPECT_TRUE(s->flags & CHF_ENDPENDING);
    EXPECT_TRUE(peerReceived(mcs).empty()) << "no answer before the mark";

    mcsSend(mcs, header(21));
    EXPECT_TRUE(s->flags & CHF_MCSWAITING);
    ASSERT_EQ(mcsSeen().size(), 2u) << "the request behind the EndPsuedo waits unread";
    hostSend(host, "more ");
    EXPECT_EQ(mcsSeen().size(), 2u) << "host text without the mark does not release it";
    EXPECT_TRUE(s->flags & CHF_ENDPENDING);

    hostSend(host, "last<([%EOF%])>ignored");
    EXPECT_EQ(shown(), "line one\r\nmore last");
    ASSERT_EQ(mcsSeen().size(), 4u);
    EXPECT_EQ(mcsSeen()[2].func, dFendPsuedo);
    EXPECT_EQ(mcsSeen()[2].bytes.size(), (size_t)ZENBUF_HEADER_SIZE + 1);
    EXPECT_EQ(mcsSeen()[2].bytes[4], 0x12) << "the deferred request's header is kept";
    EXPECT_EQ(mcsSeen()[2].bytes[5], 0x34);
    EXPECT_EQ(mcsSeen()[3].func, 21);

    std::string reply = peerReceived(mcs);
    ASSERT_EQ(reply.size(), (size_t)ZENBUF_HEADER_SIZE);
    EXPECT_EQ(funcOf((const uint8_t*)reply.data()), dFendPsuedo);
    EXPECT_EQ(s->flags & (CHF_MODE | CHF_ENDPENDING | CHF_MCSWAITING | CHF_EOFSEEN), CHF_IDLE);
}

TEST_F(ChildTest, EndPsuedoAfterTheMarkIsAnsweredAtOnce)
{
    Chan host = openSession(0);
    Chan mcs = attachMcs(0);
    ChSession* s = sessAt(0);
    s->flags = CHF_IDLE;
    mcsSend(mcs, header(dFbgnPsuedo));
    hostSend(host, "out<([%EOF%])>");
    mcsSend(mcs, header(dFendPsuedo));
    EXPECT_EQ(peerReceived(mcs).size(), (size_t)ZENBUF_HEADER_SIZE);
    EXPECT_EQ(s->flags & CHF_MODE, CHF_IDLE);
    EXPECT_EQ(shown(), "out");
}

// ---- the mode-switch timer ----

TEST_F(ChildTest, HostOutputInMcsModeIsShownAfter500msAndTheSessionStaysInMcsMode)
{
    Chan host = openSession(0);
    attachMcs(0);
    ChSession* s = sessAt(0);
    s->flags = CHF_IDLE;
    hostSend(host, "unexpected");
    EXPECT_EQ(shown(), "");
    EXPECT_TRUE(s->flags & CHF_HOSTWAIT);
    EXPECT_NE(s->timer, 0);

    // The tick clock also runs on its own; leave it room.
    headlessAdvanceClock(400);
    pumpIdle();
    EXPECT_EQ(shown(), "");

    headlessAdvanceClock(100);
    pumpIdle();
    EXPECT_EQ(shown(), "unexpected");
    EXPECT_EQ(s->flags & CHF_MODE, CHF_IDLE);
    EXPECT_EQ(pendingBytes(host), 0);

    // A readiness event already queued behind the timer finds nothing to
    // read; its own timer goes off once and everything settles.
    headlessAdvanceClock(500);
    pumpIdle();
    EXPECT_EQ(shown(), "unexpected");
    EXPECT_EQ(s->flags & CHF_MODE, CHF_IDLE);
    EXPECT_EQ(s->flags & (CHF_HOSTWAIT | CHF_HOSTOOB), 0);
    EXPECT_EQ(s->timer, 0);
    EXPECT_TRUE(headlessBoxes().empty());
}

TEST_F(ChildTest, BgnPsuedoWithinTheTimerStopsItAfterThatRequest)
{
    Chan host = openSession(0);
    Chan mcs = attachMcs(0);
    ChSession* s = sessAt(0);
    s->flags = CHF_IDLE;
    hostSend(host, "early");
    ASSERT_NE(s->timer, 0);
    headlessAdvanceClock(200);
    mcsSend(mcs, header(dFbgnPsuedo));
    EXPECT_EQ(s->timer, 0);
    EXPECT_EQ(shown(), "early");
    EXPECT_EQ(s->flags & (CHF_CHARMODE | CHF_EOFLOOK | CHF_HOSTWAIT), CHF_CHARMODE | CHF_EOFLOOK);

    headlessAdvanceClock(1000);
    pumpIdle();
    EXPECT_EQ(shown(), "early");
    EXPECT_TRUE(headlessBoxes().empty()) << "the timer was stopped, not left to fire";
}

TEST_F(ChildTest, ModeSwitchTimersOfTwoSessionsAreTheirOwn)
{
    Chan a = openSession(0);
    Chan b = openSession(1);
    attachMcs(1);
    sessAt(1)->flags = CHF_IDLE;
    hostSend(b, "B");
    hostSend(a, "A");
    EXPECT_EQ(shown(), "A");
    sessSelect(0);
    headlessAdvanceClock(500);
    pumpIdle();
    EXPECT_EQ(shown(), "AB");
    EXPECT_EQ(chCurSlot, 0) << "the selection comes back after the timer";
    EXPECT_EQ(sessAt(1)->flags & CHF_MODE, CHF_IDLE);
}

// ---- the first NUL ----

TEST_F(ChildTest, SingleNulAsTheFirstReadIsDroppedALaterOneIsShown)
{
    Chan host = openSession(0);
    hostSend(host, std::string(1, '\0'));
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(cuScreenAt(0)->nulSwallowed, 1);
    hostSend(host, "x");
    hostSend(host, std::string(1, '\0'));
    EXPECT_EQ(shown(), std::string("x\0", 2));
}

// ---- the busy flag and its queue ----

TEST_F(ChildTest, ReadinessWhileBusyIsQueuedAndReplayedWhenTheFlagClears)
{
    Chan host = openSession(0);
    ASSERT_EQ(ChSemSet(1, "test"), 1);
    EXPECT_EQ(ChSemSet(1, "again"), 0);
    hostSend(host, "one ");
    hostSend(host, "two");
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(chRequestCount(), 1) << "the same channel is queued once";
    ChSemSet(0, "test");
    EXPECT_EQ(shown(), "one two");
    EXPECT_EQ(chRequestCount(), 0);
    EXPECT_FALSE(chBusy());
}

TEST_F(ChildTest, TheEleventhQueuedRequestIsDroppedAndItsDataWaitsInTheSocket)
{
    std::vector<Chan> chans;
    for (int slot = 0; slot < 6; ++slot) {
        chans.push_back(openSession(slot));
        chans.push_back(attachMcs(slot));
    }
    sessSelect(0);
    ChSemSet(1, "test");
    // Ten HostIO and MCS channels with data, then an eleventh.
    for (int i = 0; i < 11; ++i) {
        Chan& c = chans[i];
        if (c.mcs)
            peerWrite(c, header(100 + i));
        else
            peerWrite(c, "h" + std::to_string(i));
        pumpIdle(2);
        EXPECT_EQ(chRequestCount(), std::min(i + 1, CH_MAX_REQUESTS));
    }
    EXPECT_EQ(chRequestCount(), CH_MAX_REQUESTS);
    ChSemSet(0, "test");
    EXPECT_EQ(chRequestCount(), 0);
    // Everything of the first ten was served; the eleventh was not read.
    int served = 0;
    for (const McsSeen& m : mcsSeen())
        served += m.func >= 100 ? 1 : 0;
    EXPECT_EQ(served, 5);
    EXPECT_EQ(shown(), "h0h2h4h6h8");
    EXPECT_EQ(pendingBytes(chans[10]), 3);
    // Its readiness is reported again a little later, and then it is read.
    for (int i = 0; i < 50 && pendingBytes(chans[10]) > 0; ++i)
        platPump(20);
    EXPECT_EQ(pendingBytes(chans[10]), 0);
    EXPECT_EQ(shown(), "h0h2h4h6h8h10");
}

TEST_F(ChildTest, ClosingASessionForgetsItsQueuedRequests)
{
    Chan a = openSession(0);
    Chan b = openSession(1);
    ChSemSet(1, "test");
    hostSend(a, "a");
    hostSend(b, "b");
    EXPECT_EQ(chRequestCount(), 2);
    sessClose(0);
    EXPECT_EQ(chRequestCount(), 1);
    ChSemSet(0, "test");
    EXPECT_EQ(shown(), "b");
}

// ---- keys ----

TEST_F(ChildTest, WithLocalEchoEveryKeyIsSentOnItsOwn)
{
    Chan host = openSession(0);
    cuScreenAt(0)->writable = 1;
    recordWrites(host);
    for (char k : std::string("abc"))
        sessKeyTyped(k);
    pumpIdle();
    ASSERT_EQ(writes(), (std::vector<std::string>{"abc"}));

    writes().clear();
    sessAt(0)->flags |= CHF_LOCALECHO;
    for (char k : std::string("xyz"))
        sessKeyTyped(k);
    pumpIdle();
    EXPECT_EQ(writes(), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(peerReceived(host), "abcxyz");
}

TEST_F(ChildTest, KeysWaitUntilTheChannelIsWritableAndWhileTheKeyboardIsLocked)
{
    Chan host = openSession(0);
    sessKeyTyped('a');
    pumpIdle();
    EXPECT_EQ(peerReceived(host), "");
    cuScreenAt(0)->writable = 1;
    sessAt(0)->unix.kbdFlags |= UNIX_KBD_LOCKED;
    sessKeyTyped('b');
    pumpIdle();
    EXPECT_EQ(peerReceived(host), "");
    sessAt(0)->unix.kbdFlags &= ~UNIX_KBD_LOCKED;
    sessKeyTyped('c');
    pumpIdle();
    EXPECT_EQ(peerReceived(host), "abc");
}

TEST_F(ChildTest, AFunctionKeyEndsTheTextAndSkipsTheNextEcho)
{
    Chan host = openSession(0);
    cuScreenAt(0)->writable = 1;
    recordWrites(host);
    sessKeyTyped('a');
    sessKeyTyped(0x3B00);   // F1
    sessKeyTyped(0x7FF0);   // a mouse event is not sent
    sessKeyTyped('b');
    pumpIdle();
    ASSERT_EQ(writes().size(), 2u);
    EXPECT_EQ(writes()[1], "b");
    EXPECT_TRUE(sessAt(0)->flags & CHF_SKIPECHO);
}

TEST_F(ChildTest, CharDelayKeysGoOutWhenTheKeyTimerFires)
{
    ASSERT_EQ(cfgSetString("Hosts", "CharDelay", "50"), 0);
    Chan host = openSession(0);
    cuScreenAt(0)->writable = 1;
    sessKeyTyped('k');
    pumpIdle();
    EXPECT_EQ(peerReceived(host), "");
    EXPECT_EQ(cuScreenAt(0)->keyDelayTimer, CH_KEYDELAY_TIMER);
    headlessAdvanceClock(50);
    pumpIdle();
    EXPECT_EQ(peerReceived(host), "k");
    EXPECT_EQ(cuScreenAt(0)->keyDelayTimer, 0u);
}

TEST_F(ChildTest, KeysInMcsModeAreLeftToTheFormsEditor)
{
    openSession(0);
    Chan mcs = attachMcs(0);
    ChSession* s = sessAt(0);
    s->flags = CHF_WAITINPUT;
    s->term = mcsTermNew();
    cuScreenAt(0)->writable = 1;
    sessKeyTyped('a');
    pumpIdle();
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 1) << "the key stays for the editor";
    EXPECT_EQ(peerReceived(mcs), "");
    EXPECT_FALSE(chBusy());
}

TEST_F(ChildTest, LockedFormsWithoutTypeAheadRefuseTheKey)
{
    ASSERT_EQ(cfgSetString("Options", "TypeAhead", "OFF"), 0);
    openSession(0);
    ChSession* s = sessAt(0);
    s->flags = CHF_WAITINPUT;
    s->term = mcsTermNew();
    s->term->lockedForInput = 1;
    sessKeyTyped('a');
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 0);
    s->term->xmitRequested = 1;
    sessKeyTyped('b');
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 1) << "a transmit request releases the lock";
}

// ---- socket events and window events ----

TEST_F(ChildTest, PendingCallBackIsTakenUpAfterTheNextSessionEvent)
{
    Chan host = openSession(0);
    // A listening socket with nothing waiting: the accept finds no caller.
    int lis = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(lis, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(lis, (sockaddr*)&a, sizeof a), 0);
    ASSERT_EQ(listen(lis, 1), 0);
    peers.push_back(lis);
    sessSetPendingAccept(lis);
    ChSemSet(1, "test");
    hostSend(host, "x");
    EXPECT_EQ(sessPendingAccept(), lis) << "not while busy";
    ChSemSet(0, "test");
    hostSend(host, "y");
    EXPECT_EQ(sessPendingAccept(), -1);
    EXPECT_EQ(shown(), "xy");
}


TEST_F(ChildTest, HostCloseClosesTheSessionAndItsWindow)
{
    Chan host = openSession(0);
    PWnd wnd = cuScreenAt(0)->wnd;
    ::close(host.peer);
    host.peer = -1;
    pumpIdle();
    EXPECT_FALSE(sessIsOpen(0));
    EXPECT_FALSE(platIsWindow(wnd));
    EXPECT_EQ(chSessPtr, nullptr);
}

TEST_F(ChildTest, McsCloseEndsTheChannelAndTheSessionGoesBackToCharacterMode)
{
    Chan host = openSession(0);
    Chan mcs = attachMcs(0);
    sessAt(0)->flags = CHF_IDLE;
    sessAt(0)->term = mcsTermNew();
    ::close(mcs.peer);
    mcs.peer = -1;
    pumpIdle();
    EXPECT_TRUE(sessIsOpen(0));
    EXPECT_EQ(sessAt(0)->mcs, nullptr);
    EXPECT_EQ(sessAt(0)->term, nullptr);
    EXPECT_EQ(sessAt(0)->flags & CHF_MODE, CHF_CHARMODE);
    CuScreen* scr = cuScreenAt(0);
    EXPECT_EQ(scr->curRow, scr->Rows - 1);
    EXPECT_EQ(scr->curCol, 0);
    hostSend(host, "back");
    EXPECT_EQ(shown(), "back");
}

TEST_F(ChildTest, SocketErrorShowsTheErrorAndClosesTheSession)
{
    openSession(0);
    PWnd wnd = cuScreenAt(0)->wnd;
    int sock = sessAt(0)->hostIO->socket(sessAt(0)->hostIO);
    platSend(wnd, PM_SOCKET, (PWParam)sock, platSelectLParam(FD_READ, 10054));
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text.rfind("Error [10054] on socket[" + std::to_string(sock) + "]\n", 0), 0u);
    EXPECT_FALSE(sessIsOpen(0));
}

TEST_F(ChildTest, UnexpectedSocketEventIsReported)
{
    openSession(0);
    PWnd wnd = cuScreenAt(0)->wnd;
    int sock = sessAt(0)->hostIO->socket(sessAt(0)->hostIO);
    platSend(wnd, PM_SOCKET, (PWParam)sock, platSelectLParam(FD_ACCEPT, 0));
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_NE(headlessBoxes()[0].text.find("Unexpected event [8] received on socket[" + std::to_string(sock) + "]"),
              std::string::npos);
    EXPECT_TRUE(sessIsOpen(0));
}

TEST_F(ChildTest, CloseRequestClosesTheSessionAndTellsTheFrame)
{
    openSession(0);
    openSession(1);
    PWnd wnd = cuScreenAt(1)->wnd;
    sessSelect(0);
    pumpIdle();
    frameMessages().clear();   // what opening the windows told the frame
    platSend(wnd, PM_CLOSE, 0, 0);
    EXPECT_FALSE(sessIsOpen(1));
    EXPECT_FALSE(platIsWindow(wnd));
    EXPECT_EQ(chCurSlot, 0);
    pumpIdle();
    EXPECT_EQ(frameMessages(), (std::vector<uint32_t>{PM_SESSIONS_CHANGED}));
}

TEST_F(ChildTest, LastSessionGoneWithAutoExitAsksTheFrameToClose)
{
    ASSERT_EQ(cfgSetString("Options", "AutoExit", "on"), 0);
    openSession(0);
    PWnd wnd = cuScreenAt(0)->wnd;
    pumpIdle();
    frameMessages().clear();
    EXPECT_EQ(platSend(wnd, PM_QUERYENDSESSION, 0, 0), 0);
    EXPECT_FALSE(sessIsOpen(0));
    platDestroyWindow(wnd);
    pumpIdle();
    EXPECT_EQ(frameMessages(), (std::vector<uint32_t>{PM_CLOSE}));
}

// ---- the interpreter and the rlogin window-size request ----

TEST_F(ChildTest, HostTextReachesTheScreenThroughTheInterpreterUpToTheMark)
{
    sessSetHostOutput(nullptr);
    Chan host = openSession(0);
    sessAt(0)->flags = CHF_CHARMODE | CHF_EOFLOOK;
    hostSend(host, "hello<([%EOF");
    hostSend(host, "%])>world");
    CuScreen* scr = cuScreenAt(0);
    std::string row0;
    for (int c = 0; c < 8; ++c)
        row0 += (char)scr->chars[c];
    EXPECT_EQ(row0, "hello   ");
    EXPECT_TRUE(sessAt(0)->flags & CHF_ACTIVITY);
}

TEST_F(ChildTest, UrgentWindowSizeRequestIsAnsweredAndNothingShown)
{
    Chan host = openSession(0);
    ASSERT_EQ(send(host.peer, "\x80", 1, MSG_OOB), 1);
    pumpIdle();
    std::string record = peerReceived(host);
    ASSERT_EQ(record.size(), 12u);
    EXPECT_EQ(record.substr(0, 4), "\xff\xffss");
    EXPECT_EQ(cuScreenAt(0)->winSizeActive, 1);
    EXPECT_EQ(shown(), "");
}

TEST_F(ChildTest, InBandWindowSizeRequestDuringTheCountdown)
{
    Chan host = openSession(0);
    cuScreenAt(0)->winSizeCountdown = 2;
    hostSend(host, "\x80rest");
    EXPECT_EQ(peerReceived(host).size(), 12u);
    EXPECT_EQ(shown(), "rest");
    EXPECT_EQ(cuScreenAt(0)->winSizeCountdown, 0);
    hostSend(host, "\x80");
    EXPECT_EQ(shown(), "rest\x80") << "after the request a 0x80 is text";
}

// ---- opening sessions ----

TEST_F(ChildTest, ConnectRefusesANinthSession)
{
    for (int slot = 0; slot < CH_MAX_SESSIONS; ++slot)
        openSession(slot);
    EXPECT_EQ(ChConnect("127.0.0.1", "user", 1, -1), -1);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_EQ(headlessBoxes()[0].text, "Maximum number of sessions reached.");
}

TEST_F(ChildTest, ConnectToAnUnknownHostShowsItsName)
{
    EXPECT_EQ(ChConnect("nonexistent.invalid", "user", 1, -1), -2);
    ASSERT_EQ(headlessBoxes().size(), 1u);
    EXPECT_NE(headlessBoxes()[0].text.find("Unknown Host Name (nonexistent.invalid)"), std::string::npos);
    EXPECT_EQ(headlessBoxes()[0].text.rfind("CHILD,", 0), 0u);
    EXPECT_FALSE(sessIsOpen(0));
}

TEST_F(ChildTest, SessionWithoutHostLoginStartsInCharacterModeWithBlankAreas)
{
    EXPECT_EQ(sessOpen(3, "zendrahost.example", "user", 0), 3);
    ChSession* s = sessAt(3);
    EXPECT_EQ(s->slot, 3);
    EXPECT_STREQ(s->hostName, "zendrahos");
    EXPECT_EQ(s->flags, CHF_CHARMODE);
    EXPECT_EQ(s->prevFunc, -1);
    EXPECT_EQ(s->func, -1);
    ASSERT_NE(s->areas, nullptr);
    EXPECT_EQ(s->areas->msgArea[0], ' ');
    EXPECT_EQ(s->areas->msgArea[MCS_MSGAREA_SIZE - 1], ' ');
    EXPECT_EQ(s->areas->areaA[MCS_AREAA_SIZE - 1], ' ');
    EXPECT_EQ(s->areas->areaC[0], ' ');
    EXPECT_EQ(s->areas->areaD[MCS_AREAD_SIZE - 1], ' ');
    EXPECT_EQ(chSessPtr, s);
    sessClose(3);
    EXPECT_FALSE(sessIsOpen(3));
    EXPECT_EQ(s->areas, nullptr);
    EXPECT_EQ(s->hostIO, nullptr);
    EXPECT_EQ(chCurSlot, -1);
}

} // namespace
