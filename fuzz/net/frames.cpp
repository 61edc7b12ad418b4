// Random MCS frame streams through the reassembly of comAsyncRead, cut into
// reads of varying sizes: no byte outside the receive buffer, every
// delivered message fully readable, and the fill always within the buffer.
#include "common/compress.h"
#include "net/com.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

void sink(void* context, uint8_t* message, int length)
{
    if (length < 0 || length > COM_FRAME_MAX)
        std::abort();
    unsigned sum = 0;
    for (int i = 0; i < length; ++i)
        sum += message[i];   // the sanitizer sees any byte outside the block
    *static_cast<unsigned*>(context) += sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool table = compressBuildTable() == 0;
    if (!table || size < 1)
        return 0;
    compressReset();
    // The first byte sets how many bytes each read brings (0: all at once).
    size_t piece = data[0] ? data[0] : size;
    ++data;
    --size;
    std::unique_ptr<uint8_t[]> buf;
    int32_t fill = 0;
    ComRecv r{buf, fill};
    unsigned sum = 0;
    for (size_t at = 0; at < size;) {
        if (!buf) {
            buf.reset(new uint8_t[COM_RECV_SIZE]);
            fill = 0;
        }
        int room = comRecvRoom(r);
        if (room <= 0)
            std::abort();   // the channel would stall
        size_t n = std::min({piece, size - at, (size_t)room});
        std::memcpy(buf.get() + fill, data + at, n);
        fill += (int32_t)n;
        at += n;
        if (comRecvFrames(r, 5, sink, &sum) < 0 && (buf || fill != 0))
            std::abort();
        if (fill < 0 || fill > COM_RECV_SIZE || (!buf && fill != 0))
            std::abort();
    }
    return 0;
}
