// The EOF-mark scan of host reads: the input is cut into reads (each read's
// length taken from one byte, 0 = the rest), scanned as the HostIO path
// does, and what would be shown is checked against the stream: the text
// before the first mark, once, in order; no write outside the read buffer.
#include "core/child.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> buf(CH_MSGBUF_SIZE);
    static ChSession sess;
    sess.flags = CHF_CHARMODE | CHF_EOFLOOK;
    sess.eofCount = 0;

    std::string stream, shown;
    bool found = false;
    size_t pos = 0;
    while (pos < size && !found) {
        size_t n = data[pos++];
        if (n == 0 || n > size - pos) n = size - pos;
        if (n > (size_t)CH_HOSTREAD_MAX) n = CH_HOSTREAD_MAX;
        std::memcpy(buf.data(), data + pos, n);
        stream.append((const char*)data + pos, n);
        pos += n;
        int show = sessEofScan(&sess, buf.data(), (int)n, CH_MSGBUF_SIZE, &found);
        if (show < 0 || show > (int)n + CH_EOF_MARK_LEN) std::abort();
        shown.append((const char*)buf.data(), (size_t)show);
    }
    size_t mark = stream.find(CH_EOF_MARK);
    if (found != (mark != std::string::npos)) std::abort();
    if (found) {
        if (shown != stream.substr(0, mark) || (sess.flags & CHF_EOFLOOK)) std::abort();
    } else {
        size_t held = (size_t)sess.eofCount;
        if (held >= CH_EOF_MARK_LEN || held > stream.size()) std::abort();
        if (shown != stream.substr(0, stream.size() - held)) std::abort();
        if (stream.compare(stream.size() - held, held, CH_EOF_MARK, held) != 0) std::abort();
    }
    return 0;
}
