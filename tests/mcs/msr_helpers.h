#pragma once
// Shared set-up for the MCS server tests: a headless frame whose window
// procedure accepts call-backs with msrStart and hands its timers to
// msrTimer (as the program's frame does), a real listening socket, and a
// host peer that speaks frames over a real loopback connection.
//
// The host peer reads on a thread of its own so that it can answer the
// format requests the workstation makes in the middle of a reply (those
// block the workstation until the answer is there); every other frame is
// queued for the test, which pumps the workstation's messages meanwhile.
#include "common/arc/packbuf.h"
#include "common/compress.h"
#include "core/child.h"
#include "fmt_helpers.h"
#include "core/cuscr.h"
#include "mcs/mcsform.h"
#include "mcs/msr.h"
#include "net/com.h"
#include "net/korvex.h"
#include "plat/headless/headless.h"
#include "support/kvxtest.h"
#include "ui/profile.h"

#include "support/desk.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace msrtest {

using Bytes = std::vector<uint8_t>;

inline PResult frameProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp)
{
    if (msg == PM_SOCKET && platSelectEvent(lp) == FD_ACCEPT) {
        if (chBusy()) {
            sessSetPendingAccept((int)wp);
            return 0;
        }
        ChSemSet(1, "FrameSocketEvent");
        msrStart((int)wp);
        ChSemSet(0, "FrameSocketEvent");
    } else if (msg == PM_TIMER) {
        msrTimer(wnd, wp);
    }
    return 0;
}

// A request as the host packs it.
struct Req {
    Bytes buf = Bytes(4096);
    explicit Req(int func, int sub = 0, int p = 7, int pri = 1)
    {
        bufInit(buf, p, pri, 3, 4, (int16_t)func, (int16_t)sub);
    }
    Req& str(const void* bytes, int n)
    {
        EXPECT_EQ(bufAddString(buf, bytes, n), 0);
        return *this;
    }
    Req& str(const std::string& s) { return str(s.data(), (int)s.size()); }
    Req& chr(uint8_t c)
    {
        EXPECT_EQ(bufAddChar(buf, c), 0);
        return *this;
    }
    Req& shrt(int16_t v)
    {
        EXPECT_EQ(bufAddShort(buf, v), 0);
        return *this;
    }
    Req& int32(int32_t v)
    {
        EXPECT_EQ(bufAddInt(buf, v), 0);
        return *this;
    }
    Bytes bytes() const { return Bytes(buf.begin(), buf.begin() + getBufSize(buf)); }
};

// A 128-byte control block with the wait time (offset 28) set.
inline std::string controlBlock(int32_t wait)
{
    std::string cb(MCS_CTLBLK_MIN, ' ');
    cb[28] = (char)(wait >> 24);
    cb[29] = (char)(wait >> 16);
    cb[30] = (char)(wait >> 8);
    cb[31] = (char)wait;
    for (int i = 32; i < 36; ++i)
        cb[i] = 0;
    return cb;
}

// A forms request in the standard form: tag, control block, message area
// (format name, text), areas A, B, C, status, trailing count.
inline Req formsRequest(int func, const std::string& fmt, const std::string& text, int32_t wait)
{
    std::string ma(MA_TEXT, ' ');
    ma.replace(0, fmt.size(), fmt);
    ma[MA_CAPACITY] = (char)(text.size() >> 8);
    ma[MA_CAPACITY + 1] = (char)text.size();
    ma[MA_TEXTLEN] = (char)(text.size() >> 8);
    ma[MA_TEXTLEN + 1] = (char)text.size();
    ma += text;
    Req r(func);
    r.str(std::string("\0\0\0!\0\0\0\0", 8)).str(controlBlock(wait)).str(ma).str("A").str("B").str("C").chr(' ').shrt(1);
    return r;
}

inline Bytes frameOf(const Bytes& message)
{
    Bytes out(message.size() + 64);
    int n = compressBuf((int)message.size(), message.data(), out.data() + 2, (int)out.size() - 2);
    EXPECT_GT(n, 0);
    out[0] = (uint8_t)(n >> 8);
    out[1] = (uint8_t)n;
    out.resize((size_t)std::max(n, 0) + 2);
    return out;
}

inline int funcOf(const Bytes& m) { return m.size() >= ZENBUF_HDRSIZE ? zenGet16(m.data() + ZENBUF_FUNC) : -1; }

// The host end of an MCS connection.
class HostPeer {
public:
    ~HostPeer() { stop(); }

    bool connectTo(uint16_t port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || connect(fd_, (sockaddr*)&sa, sizeof sa) != 0)
            return false;
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        reader_ = std::thread([this] { readLoop(); });
        return true;
    }

    void sendRaw(const void* bytes, size_t n)
    {
        std::lock_guard<std::mutex> lock(sendLock_);
        const uint8_t* p = (const uint8_t*)bytes;
        while (n > 0) {
            ssize_t k = send(fd_, p, n, MSG_NOSIGNAL);
            if (k <= 0) {
                ADD_FAILURE() << "host send failed: " << strerror(errno);
                return;
            }
            p += k;
            n -= (size_t)k;
        }
    }
    void greet(const std::string& tag) { sendRaw(("ZTC" + tag).data(), 7); }
    void sendFrame(const Bytes& message)
    {
        Bytes f = frameOf(message);
        sendRaw(f.data(), f.size());
    }
    // Several requests in one write, so that they arrive in one read.
    void sendFrames(const std::vector<Bytes>& messages)
    {
        Bytes all;
        for (const Bytes& m : messages) {
            Bytes f = frameOf(m);
            all.insert(all.end(), f.begin(), f.end());
        }
        sendRaw(all.data(), all.size());
    }

    // Pumps the workstation until the next frame arrives (bounded).
    bool next(Bytes* out)
    {
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard<std::mutex> lock(queueLock_);
                if (!queue_.empty()) {
                    *out = std::move(queue_.front());
                    queue_.pop_front();
                    return true;
                }
            }
            if (closed_)
                return false;
            platPump(10);
        }
        return false;
    }
    std::string nextText()
    {
        Bytes b;
        return next(&b) ? std::string(b.begin(), b.end()) : std::string("<none>");
    }
    // Pumps until the workstation has closed the connection (bounded).
    bool waitClosed()
    {
        for (int i = 0; i < 1000 && !closed_; ++i)
            platPump(10);
        return closed_;
    }
    bool queueEmpty()
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        return queue_.empty();
    }
    bool closed() const { return closed_; }
    int formatRequests() const { return fmtRequests_; }

    void stop()
    {
        if (fd_ >= 0)
            shutdown(fd_, SHUT_RDWR);
        if (reader_.joinable())
            reader_.join();
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

private:
    bool readAll(uint8_t* p, size_t n)
    {
        while (n > 0) {
            ssize_t k = recv(fd_, p, n, 0);
            if (k <= 0)
                return false;
            p += k;
            n -= (size_t)k;
        }
        return true;
    }

    void readLoop()
    {
        for (;;) {
            uint8_t len[2];
            if (!readAll(len, 2))
                break;
            size_t n = (size_t)(len[0] << 8 | len[1]);
            Bytes body(n);
            if (!readAll(body.data(), n))
                break;
            uint8_t* msg = nullptr;
            int m = decompressBuf((int)n, body.data(), &msg, 0);
            if (m < 0) {
                ADD_FAILURE() << "frame does not decompress: " << m;
                break;
            }
            Bytes message(msg, msg + m);
            std::free(msg);
            if (funcOf(message) == 200) {
                // Every format asked for exists, with 40 bytes of message data.
                ++fmtRequests_;
                const uint8_t* req = bufGetString(message, 1);
                fmttest::FmtSpec format;
                format.fields = 10;
                format.name = req && bufParamLen(message, 1) >= 17 ? std::string((const char*)req + 9, 8) : "NONAME";
                while (!format.name.empty() && format.name.back() == ' ')
                    format.name.pop_back();
                sendFrame(fmttest::formatReply(fmttest::makeFormat(format)));
                continue;
            }
            std::lock_guard<std::mutex> lock(queueLock_);
            queue_.push_back(std::move(message));
        }
        closed_ = true;
    }

    int fd_ = -1;
    std::thread reader_;
    std::mutex sendLock_, queueLock_;
    std::deque<Bytes> queue_;
    std::atomic<bool> closed_{false};
    std::atomic<int> fmtRequests_{0};
};

// The recorded forms engine: requests listed in waitFor ask for input, the
// input check reports inputCode.
struct FormsRecord {
    std::vector<int> pre, post, checks;
    std::vector<int> waitFor;
    int inputCode = 0;
    std::string uts;
};
inline FormsRecord& forms()
{
    static FormsRecord r;
    return r;
}
inline int recPre(const McsFormsCall& c)
{
    forms().pre.push_back(c.func);
    for (int f : forms().waitFor)
        if (f == c.func && chSessPtr && chSessPtr->term)
            chSessPtr->term->needsInput = 1;
    return 0;
}
inline int recPost(const McsFormsCall& c)
{
    forms().post.push_back(c.func);
    return 0;
}
inline int recCheck(int func, int, uint8_t*)
{
    forms().checks.push_back(func);
    return forms().inputCode;
}
inline int recOutputDone() { return 0; }
inline int recHelp(const uint8_t*, int, const uint8_t*, int) { return 0; }
inline void recUts(const uint8_t* b, int n) { forms().uts.append((const char*)b, (size_t)n); }
constexpr McsFormsOps kRecordedForms = {recPre, recPost, recCheck, recOutputDone, recHelp, recUts};

class MsrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::Desk desk = kvxtest::openDesk(frameProc);
        dir = desk.dir;
        cfgPath = desk.cfgPath;
        frame = desk.frame;
        client = desk.client;
        ASSERT_EQ(comStartUp(cfgPath.c_str()), 0);
        compressReset();
        ASSERT_EQ(compressBuildTable(), 0);
        comSetCompressionOption(true);
        ASSERT_NE(frame, 0);
        ASSERT_NE(client, 0);
        ASSERT_EQ(cuInit(), 0);
        sessTableInit();
        sessSetFrame(frame);
        forms() = FormsRecord{};
        msrSetFormsOps(&kRecordedForms);
        port = freePort();
        listener = comCreateListeningAsyncSock(&port, frame, PM_SOCKET);
        ASSERT_GE(listener, 0);
    }

    void TearDown() override
    {
        for (auto& h : hosts)
            h->stop();
        for (int slot = 0; slot < CH_MAX_SESSIONS; ++slot)
            if (sessIsOpen(slot))
                sessClose(slot);
        for (int fd : peers)
            close(fd);
        if (listener >= 0)
            comClose(listener);
        msrSetFormsOps(nullptr);
        sessSetHostOutput(nullptr);
        sessSetFrame(0);
        comShutDown();
    }

    static uint16_t freePort()
    {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        bind(fd, (sockaddr*)&sa, sizeof sa);
        getsockname(fd, (sockaddr*)&sa, &len);
        close(fd);
        return ntohs(sa.sin_port);
    }

    HostPeer& newHost()
    {
        hosts.push_back(std::make_unique<HostPeer>());
        EXPECT_TRUE(hosts.back()->connectTo(port));
        return *hosts.back();
    }

    // A call-back with the tag, both ACKs read: the session number ACK.
    std::string callBack(HostPeer& h, const std::string& tag, std::string* sizeAck = nullptr)
    {
        h.greet(tag);
        std::string ack = h.nextText();
        if (ack != "0000") {
            std::string size = h.nextText();
            if (sizeAck)
                *sizeAck = size;
        }
        return ack;
    }

    // Gives a host-less session a HostIO channel over a loopback connection;
    // returns the host's end.
    int attachHostIO(int slot)
    {
        int lis = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        EXPECT_EQ(bind(lis, (sockaddr*)&a, sizeof a), 0);
        EXPECT_EQ(listen(lis, 1), 0);
        getsockname(lis, (sockaddr*)&a, &len);
        int ours = socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_EQ(connect(ours, (sockaddr*)&a, sizeof a), 0);
        int peer = accept(lis, nullptr, nullptr);
        close(lis);
        peers.push_back(peer);
        fcntl(ours, F_SETFL, fcntl(ours, F_GETFL) | O_NONBLOCK);
        ChSession* s = sessAt(slot);
        CuScreen* scr = cuScreenAt(slot);
        if (s->hostIO) {
            korvexClose(s->hostIO);
            destroy(s->hostIO);
        }
        s->hostIO = comNewDescriptor(KVX_DESC_TELNET, ours);
        scr->loginSent = 1;
        scr->writable = 1;
        EXPECT_EQ(platAsyncSelect(ours, scr->wnd, PM_SOCKET, FD_READ | FD_OOB | FD_CLOSE), 0);
        return peer;
    }

    // Pumps until the condition holds (bounded).
    template <typename F>
    static bool pumpUntil(F cond)
    {
        for (int i = 0; i < 1000; ++i) {
            if (cond())
                return true;
            platPump(10);
        }
        return cond();
    }
    static void pumpRounds(int n)
    {
        for (int i = 0; i < n; ++i)
            platPump(5);
    }

    std::string dir, cfgPath;
    PWnd frame = 0, client = 0;
    uint16_t port = 0;
    int listener = -1;
    std::vector<std::unique_ptr<HostPeer>> hosts;
    std::vector<int> peers;
};

// Parameter n of a reply as bytes.
inline std::string paramString(const Bytes& m, int n)
{
    const uint8_t* p = bufGetString(m, n);
    int len = bufParamLen(m, n);
    return p && len >= 0 ? std::string((const char*)p, (size_t)len) : std::string();
}

} // namespace msrtest
