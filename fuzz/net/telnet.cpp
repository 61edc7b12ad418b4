// Random host blocks through the telnet option filter: no crash, no byte
// outside the block, and every reply is one the terminal is meant to send.
#include "net/telnet.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Replies {
    int count = 0;
};

bool allowed(const uint8_t* b, int n)
{
    static constexpr uint8_t termType[] = {0xFF, 0xFA, 24, 0, 'k', 'o', 'r', 'v', 'e', 'x', 0xFF, 0xF0};
    if (n == (int)sizeof termType) return std::memcmp(b, termType, sizeof termType) == 0;
    if (n != 3 || b[0] != 0xFF) return false;
    if (b[1] == 0xFB) return b[2] == 24;                    // WILL TERMINAL-TYPE
    if (b[1] == 0xFC) return b[2] != 24;                    // WONT anything else
    if (b[1] == 0xFE) return b[2] == 37 || b[2] == 38;      // DONT AUTHENTICATION, ENCRYPT
    return false;
}

int reply(void* context, const uint8_t* bytes, int length)
{
    if (!allowed(bytes, length)) std::abort();
    ++static_cast<Replies*>(context)->count;
    return length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536) return 0;
    std::vector<uint8_t> block(data, data + size);
    Replies replies;
    int left = telnetFilter(block.data(), (int)size, reply, &replies);
    if (left < 0 || left > (int)size) std::abort();
    // Every reply answers a command of at least three bytes.
    if (replies.count > (int)size / 3) std::abort();
    // Data only shrinks: bytes without IAC pass unchanged.
    if (!std::memchr(data, 0xFF, size) && (left != (int)size || std::memcmp(block.data(), data, size) != 0))
        std::abort();
    return 0;
}
