#pragma once
// Socket-layer tests run on the headless back end against a loopback peer
// over real sockets. A recorder window takes the PM_SOCKET events; the
// peer is a plain blocking socket the test drives byte by byte.
#include "common/compress.h"
#include "core/cuscr.h"
#include "net/com.h"
#include "plat/headless/headless.h"
#include "support/kvxtest.h"
#include "ui/profile.h"

#include "support/desk.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

struct SocketEvent {
    PWnd wnd;
    int fd;
    uint32_t event;
    int error;
};

// What the recorder window saw, and what it does on FD_READ.
struct ComRecorder {
    std::vector<SocketEvent> events;
    bool asyncReadOnRead = false;   // run comAsyncRead for FD_READ, as the session window does
    int reads = 0;
};
inline ComRecorder comRec;

inline PResult comRecorderProc(PWnd wnd, uint32_t msg, PWParam wp, PLParam lp)
{
    if (msg == PM_SOCKET) {
        comRec.events.push_back({wnd, (int)wp, platSelectEvent(lp), platSelectError(lp)});
        if (comRec.asyncReadOnRead && platSelectEvent(lp) == FD_READ) {
            comAsyncRead((int)wp);
            ++comRec.reads;
        }
    }
    return 0;
}

// Messages that comAsyncRead handed over.
inline std::vector<std::vector<uint8_t>> comDelivered;
inline std::vector<int> comDeliveredSlots;
inline int comRecordRequest(int slot, uint8_t* buf, int len)
{
    comDelivered.emplace_back(buf, buf + len);
    comDeliveredSlots.push_back(slot);
    return 0;
}

class ComTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::Desk desk = kvxtest::openDesk(comRecorderProc, false);
        comRec = ComRecorder{};
        comDelivered.clear();
        comDeliveredSlots.clear();
        dir = desk.dir;
        cfgPath = desk.cfgPath;
        ASSERT_EQ(comStartUp(cfgPath.c_str()), 0);
        compressReset();
        ASSERT_EQ(compressBuildTable(), 0);
        comSetCompressionOption(false);
        comSetMcsRequest(comRecordRequest);
        frame = desk.frame;
        ASSERT_NE(frame, 0);
    }

    void TearDown() override
    {
        for (int fd : opened)
            close(fd);
        comSetMcsRequest(nullptr);
        comShutDown();
    }

    int track(int fd)
    {
        if (fd >= 0)
            opened.push_back(fd);
        return fd;
    }

    // The first of count consecutive ports on which nothing listens now.
    static uint16_t freePortRange(int count)
    {
        for (int base = 20000 + (getpid() % 20000); base < 65000; base += count + 1) {
            bool free = true;
            for (int i = 0; i < count && free; ++i) {
                int fd = socket(AF_INET, SOCK_STREAM, 0);
                int one = 1;
                setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
                sockaddr_in sa{};
                sa.sin_family = AF_INET;
                sa.sin_port = htons((uint16_t)(base + i));
                free = bind(fd, (sockaddr*)&sa, sizeof sa) == 0;
                close(fd);
            }
            if (free)
                return (uint16_t)base;
        }
        ADD_FAILURE() << "no free port range";
        return 0;
    }

    // A blocking peer connected to 127.0.0.1:port, itself bound to from
    // (for the peer-name lookups). Reads give up after 10 s rather than hang.
    int connectPeer(uint16_t port, const char* from = nullptr)
    {
        int fd = track(socket(AF_INET, SOCK_STREAM, 0));
        EXPECT_GE(fd, 0);
        if (from) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from, &local.sin_addr);
            EXPECT_EQ(bind(fd, (sockaddr*)&local, sizeof local), 0) << strerror(errno);
        }
        timeval limit{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd, (sockaddr*)&sa, sizeof sa), 0) << strerror(errno);
        return fd;
    }

    static void sendAll(int fd, const void* bytes, size_t n)
    {
        const uint8_t* p = (const uint8_t*)bytes;
        while (n > 0) {
            ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
            ASSERT_GT(k, 0) << strerror(errno);
            p += k;
            n -= (size_t)k;
        }
    }

    // Pumps until an event of this kind arrived for fd (bounded: fails
    // rather than waits for ever).
    static bool pumpUntil(int fd, uint32_t event, size_t seen = 0)
    {
        for (int i = 0; i < 500; ++i) {
            for (size_t k = seen; k < comRec.events.size(); ++k)
                if (comRec.events[k].fd == fd && comRec.events[k].event == event)
                    return true;
            platPump(20);
        }
        return false;
    }

    // A listener on a free port with its events to the recorder window.
    int listenOn(uint16_t& port)
    {
        port = freePortRange(1);
        int fd = track(comCreateListeningAsyncSock(&port, frame, PM_SOCKET));
        EXPECT_GE(fd, 0);
        return fd;
    }

    // An accepted MCS call-back: returns the workstation's socket, with the
    // peer's in *peer.
    int acceptCallback(int* peer)
    {
        uint16_t port = 0;
        int listener = listenOn(port);
        *peer = connectPeer(port);
        sendAll(*peer, "KVX0001", 7);
        EXPECT_TRUE(pumpUntil(listener, FD_ACCEPT));
        char tag[4];
        int fd = track(comAccept(listener, tag));
        EXPECT_GE(fd, 0);
        EXPECT_EQ(std::string(tag, 4), "0001");
        return fd;
    }

    // A frame as the host sends it: length, then the compressed body.
    static std::vector<uint8_t> frameOf(const std::vector<uint8_t>& message)
    {
        std::vector<uint8_t> out(message.size() + 16);
        int n = compressBuf((int)message.size(), message.data(), out.data() + 2, (int)out.size() - 2);
        EXPECT_GT(n, 0);
        out[0] = (uint8_t)(n >> 8);
        out[1] = (uint8_t)n;
        out.resize((size_t)n + 2);
        return out;
    }

    static std::vector<uint8_t> textMessage(size_t n, unsigned seed = 1)
    {
        static const char words[] = "FORM CUSTOMER 000123 BALANCE  DUE ";
        std::vector<uint8_t> m(n);
        for (size_t i = 0; i < n; ++i)
            m[i] = (uint8_t)words[(i * 7 + seed * 13 + i / 11) % (sizeof words - 1)];
        return m;
    }

    std::string dir, cfgPath;
    PWnd frame = 0;
    std::vector<int> opened;
};
