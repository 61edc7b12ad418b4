#pragma once
// Screen formats and host replies as the tests build them.
#include "common/arc/packbuf.h"
#include "mcs/mcsfmt.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fmttest {

struct FmtSpec {
    std::string name = "CUST01";
    int fields = 3;             // data fields of 4 positions, one row each
    int headerFields = -1;      // header count; -1: the same as fields
    int areaA = 0;
    int maData = -1;            // -1: 4 x fields
    bool filled = true;         // header bytes 0..11 filled in
    std::vector<uint8_t> help;  // appended after the stream
    uint8_t stamp[8] = {};
};

inline void put16(std::vector<uint8_t>& f, int at, int v) {
    f[(size_t)at] = (uint8_t)(v >> 8);
    f[(size_t)at + 1] = (uint8_t)v;
}

// One data field of kind 2 per row, preceded by a two-character literal.
inline std::vector<uint8_t> makeFormat(const FmtSpec& s) {
    std::vector<uint8_t> f(MCS_FMT_HDRSIZE, 0);
    for (int i = 0; i < s.fields; ++i) {
        const uint8_t item[] = {2, 0x93, 0, 'F', ':', 4, 0x02, 0, 0, 0x14, 0};
        f.insert(f.end(), item, item + sizeof item);
    }
    const int stream = (int)f.size() - MCS_FMT_HDRSIZE;
    const int hdrFields = s.headerFields < 0 ? s.fields : s.headerFields;
    const int maData = s.maData < 0 ? 4 * s.fields : s.maData;
    if (s.filled) {
        put16(f, FH_DATASIZE, 4 * s.fields);
        put16(f, FH_OUTSIZE, maData);
        put16(f, FH_INSIZE, maData);
        f[FH_ROWS] = (uint8_t)s.fields;
        f[FH_COLS] = 6;
        put16(f, FH_FIELDS, hdrFields);
    }
    std::memcpy(f.data() + FH_LIBRARY, "ZEN$Y$  ", 8);
    std::string name = s.name + "        ";
    std::memcpy(f.data() + FH_NAME, name.data(), 8);
    f[FH_FIRSTROW] = 1;
    f[FH_CURROW] = 1;
    f[FH_CURCOL] = 3;
    put16(f, FH_MADATA, maData);
    put16(f, FH_AREAA, s.areaA);
    put16(f, FH_STREAMLEN, stream);
    std::memcpy(f.data() + FH_STAMP, s.stamp, 8);
    f.insert(f.end(), s.help.begin(), s.help.end());
    return f;
}

// The host's dFfmtReq answer: Short first, Short n, String of the format.
inline std::vector<uint8_t> formatReply(const std::vector<uint8_t>& fmt, int first = 0, int n = -1) {
    std::vector<uint8_t> r(ZENBUF_HDRSIZE + 3 * ZENBUF_PRMHEAD + 4 + fmt.size());
    bufInit(r, 0, 0, 0, 0, 199, 0);
    bufAddShort(r, (int16_t)first);
    bufAddShort(r, (int16_t)(n < 0 ? (int)fmt.size() : n));
    bufAddString(r, fmt.data(), (int)fmt.size());
    r.resize((size_t)getBufSize(r));
    return r;
}

} // namespace fmttest
