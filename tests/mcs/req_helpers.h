#pragma once
// Forms requests as the host packs them, and a reader for replies.
#include "common/arc/packbuf.h"
#include "mcs/mcsareas.h"
#include "mcs/mcsfmt.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace reqtest {

struct Str {
    std::vector<uint8_t> bytes;
    Str(const std::string& s) : bytes(s.begin(), s.end()) {}
    Str(std::vector<uint8_t> b) : bytes(std::move(b)) {}
};
struct Ch {
    uint8_t v;
};
struct Sh {
    int16_t v;
};
struct In {
    int32_t v;
};
using Param = std::variant<Str, Ch, Sh, In>;

inline std::vector<uint8_t> request(int func, const std::vector<Param>& params, int sub = 0)
{
    std::vector<uint8_t> b(16632);
    bufInit(b, 7, 3, 9, 4096, (int16_t)func, (int16_t)sub);
    for (const Param& p : params) {
        if (auto* s = std::get_if<Str>(&p)) bufAddString(b, s->bytes.data(), (int)s->bytes.size());
        else if (auto* c = std::get_if<Ch>(&p)) bufAddChar(b, c->v);
        else if (auto* h = std::get_if<Sh>(&p)) bufAddShort(b, h->v);
        else bufAddInt(b, std::get<In>(p).v);
    }
    b.resize((size_t)getBufSize(b));
    return b;
}

// A message area with a format name and a text.
inline std::vector<uint8_t> msgArea(const std::string& fmt, const std::string& text, int capacity = 200)
{
    std::vector<uint8_t> m(MA_TEXT, ' ');
    std::string name = fmt + "        ";
    std::copy(name.begin(), name.begin() + 8, m.begin());
    m[MA_CAPACITY] = (uint8_t)(capacity >> 8);
    m[MA_CAPACITY + 1] = (uint8_t)capacity;
    m[MA_STATUS] = 'S';
    m[MA_TEXTLEN] = (uint8_t)(text.size() >> 8);
    m[MA_TEXTLEN + 1] = (uint8_t)text.size();
    m.insert(m.end(), text.begin(), text.end());
    return m;
}

// A reply's parameters as text: "S164" a String of 164 bytes, C Char, H Short, I Int.
inline std::string shape(std::span<const uint8_t> reply)
{
    ZenBufHeader h{};
    bufHeader(reply, &h);
    std::string s;
    for (int i = 1; i <= h.Prm; ++i) {
        const uint8_t* p = bufFindParam(reply, i);
        if (!p) break;
        const int type = zenGet16(p + 2);
        if (!s.empty()) s += ' ';
        if (type == 3) s += "S" + std::to_string(bufParamLen(reply, i));
        else s += "CHI"[type == 0 ? 0 : type == 1 ? 1 : 2];
    }
    return s;
}

// Puts a format into cache entry 0 as a host reply would.
inline void cacheFormat(McsAreas& a, const std::vector<uint8_t>& f)
{
    McsFmtCacheEntry& e = a.fmtCache[0];
    std::memcpy(e.name, f.data() + FH_NAME, 8);
    e.data.reset(new uint8_t[f.size() + 1]());
    std::memcpy(e.data.get(), f.data(), f.size());
    e.length = (int)f.size();
    mcsFmtInfo(f, false, &e);
}

} // namespace reqtest
