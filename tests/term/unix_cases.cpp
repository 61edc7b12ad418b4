// The interpreter's table of host-byte cases (tests/term/data/unix.cases),
// each run on a fresh headless session fed through the host-data path.
#include "replay.h"

#include "core/child.h"
#include "print/prnt.h"
#include "support/kvxtest.h"
#include "term/unix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

struct CaseLine {
    int number;
    std::string op;
    std::string rest;
};

struct Case {
    std::string name;
    ReplayOptions options;
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<CaseLine> lines;
};

std::string hostName() {
    char buf[256] = {};
    gethostname(buf, sizeof buf - 1);
    return buf;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
        case 'e': out += '\x1b'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'a': out += '\a'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case '0': out += '\0'; break;
        case 's': out += ' '; break;
        case 'H': out += hostName(); break;
        case 'x':
            if (i + 2 < s.size() + 1 && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
                out += char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
                i += 2;
                break;
            }
            [[fallthrough]];
        default: out += c; break;
        }
    }
    return out;
}

std::string visible(const std::string& s) {
    std::string out;
    char buf[8];
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

std::vector<Case> loadCases() {
    std::vector<Case> cases;
    std::ifstream in(kvxtest::sourcePath("tests/term/data/unix.cases"));
    std::string line;
    int number = 0;
    Case* cur = nullptr;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const size_t sp = line.find(' ');
        const std::string op = line.substr(0, sp);
        const std::string rest = sp == std::string::npos ? "" : line.substr(sp + 1);
        if (op == "case") {
            cases.push_back(Case{rest, {}, {}, {}});
            cur = &cases.back();
        } else if (!cur) {
            continue;
        } else if (op == "end") {
            cur = nullptr;
        } else if (op == "size") {
            std::istringstream(rest) >> cur->options.rows >> cur->options.cols;
        } else if (op == "slot") {
            cur->options.slot = std::atoi(rest.c_str());
        } else if (op == "port") {
            cur->options.port = std::atoi(rest.c_str());
        } else if (op == "env") {
            const size_t eq = rest.find('=');
            cur->env.emplace_back(rest.substr(0, eq), rest.substr(eq + 1));
        } else {
            cur->lines.push_back(CaseLine{number, op, rest});
        }
    }
    return cases;
}

// "N rest" -> N and the rest after one space.
int splitInt(std::string s, std::string* rest, int base = 10) {
    const size_t sp = s.find(' ');
    *rest = sp == std::string::npos ? "" : s.substr(sp + 1);
    return int(std::strtol(s.substr(0, sp).c_str(), nullptr, base));
}

int stateValue(const ChSession& s, const std::string& name) {
    const UnixState& st = s.unix;
    if (name == "wrap") return st.pendingWrap;
    if (name == "top") return st.top;
    if (name == "bottom") return st.bottom;
    if (name == "insert") return st.insertMode;
    if (name == "graphics") return st.lineGraphics;
    if (name == "kbd") return st.kbdFlags;
    if (name == "attr") return st.attr;
    if (name == "cursorVisible") return st.cursorVisible;
    if (name == "echo") return (s.flags & UNIX_FLAG_LOCALECHO) != 0;
    if (name == "skip") return (s.flags & UNIX_FLAG_SKIPECHO) != 0;
    if (name == "print") return (s.flags & UNIX_FLAG_TRANSPRINT) != 0;
    ADD_FAILURE() << "unknown state field " << name;
    return -1;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class UnixCases : public testing::TestWithParam<Case> {
protected:
    void TearDown() override {
        replayClose();
        for (const auto& [k, v] : GetParam().env) unsetenv(k.c_str());
    }
};

TEST_P(UnixCases, Run) {
    const Case& c = GetParam();
    ASSERT_FALSE(c.lines.empty()) << c.name << " has no lines";
    setenv("KORVEXADDR", "10.1.2.3", 1);
    unsetenv("CLIENTNAME");
    for (const auto& [k, v] : c.env) setenv(k.c_str(), v.c_str(), 1);
    prntSinkReset();
    std::string error;
    ASSERT_EQ(replayOpen(c.options, &error), 0) << error;
    std::string replies;
    for (const CaseLine& l : c.lines) {
        SCOPED_TRACE("unix.cases line " + std::to_string(l.number) + ": " + l.op + " " + l.rest);
        ChSession* s = replaySession();
        ASSERT_NE(s, nullptr);
        std::string rest;
        if (l.op == "in") {
            const std::string bytes = unescape(l.rest);
            ASSERT_GE(replayFeed(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size())), 0);
            replies += replayTakeReplies();
        } else if (l.op == "echo") {
            const int expect = splitInt(l.rest, &rest);
            const std::string text = unescape(rest);
            ASSERT_EQ(sessSelect(c.options.slot), c.options.slot);
            EXPECT_EQ(doLocalEcho(text.data(), int(text.size())), expect);
            replies += replayTakeReplies();
        } else if (l.op == "flush") {
            ASSERT_EQ(sessSelect(c.options.slot), c.options.slot);
            unixEchoFlush();
            replies += replayTakeReplies();
        } else if (l.op == "setflag") {
            s->flags |= uint16_t(std::strtol(l.rest.c_str(), nullptr, 16));
        } else if (l.op == "row" || l.op == "cell") {
            const ReplaySnapshot snap = replaySnapshot();
            const int row = splitInt(l.rest, &rest);
            int col = 0;
            if (l.op == "cell") col = splitInt(rest, &rest);
            ASSERT_LT(row, snap.rows);
            const std::string want = unescape(rest);
            const std::string& got = snap.lines[size_t(row)];
            if (l.op == "row") {
                std::string trimmed = got;
                while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
                EXPECT_EQ(visible(trimmed), visible(want));
            } else {
                EXPECT_EQ(visible(got.substr(size_t(col), want.size())), visible(want));
            }
        } else if (l.op == "attr") {
            const ReplaySnapshot snap = replaySnapshot();
            const int row = splitInt(l.rest, &rest);
            const size_t sp = rest.find(' ');
            const std::string range = rest.substr(0, sp);
            const int value = std::atoi(rest.substr(sp + 1).c_str());
            const size_t dash = range.find('-');
            const int from = std::atoi(range.c_str());
            const int to = dash == std::string::npos ? from : std::atoi(range.substr(dash + 1).c_str());
            ASSERT_LT(row, snap.rows);
            for (int col = from; col <= to; ++col) EXPECT_EQ(snap.attrs[size_t(row)][size_t(col)], value) << "column " << col;
        } else if (l.op == "cursor") {
            const ReplaySnapshot snap = replaySnapshot();
            const int row = splitInt(l.rest, &rest);
            EXPECT_EQ(snap.curRow, row);
            EXPECT_EQ(snap.curCol, std::atoi(rest.c_str()));
        } else if (l.op == "reply") {
            replies += replayTakeReplies();
            EXPECT_EQ(visible(replies), visible(unescape(l.rest)));
            replies.clear();
        } else if (l.op == "print") {
            EXPECT_EQ(visible(prntSinkData()), visible(unescape(l.rest)));
        } else if (l.op == "state") {
            const size_t sp = l.rest.find(' ');
            EXPECT_EQ(stateValue(*s, l.rest.substr(0, sp)), std::atoi(l.rest.substr(sp + 1).c_str()));
        } else if (l.op == "key") {
            const int key = splitInt(l.rest, &rest, 16);
            char out[UNIX_KEY_STRING_MAX] = {};
            const int n = unixKeyString(s->unix, key, out, int(sizeof out));
            EXPECT_EQ(visible(std::string(out, size_t(n))), visible(unescape(rest)));
        } else {
            FAIL() << "unknown case line " << l.op;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, UnixCases, testing::ValuesIn(loadCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(UnixCaseFile, HasCases) { EXPECT_GE(loadCases().size(), 40u); }

}  // namespace
