// The telnet option filter on received blocks: what stays as data and what
// is answered.
#include "net/telnet.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes(std::initializer_list<int> list)
{
    Bytes b;
    for (int v : list) b.push_back((uint8_t)v);
    return b;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

int record(void* context, const uint8_t* b, int n)
{
    auto* sent = static_cast<std::vector<Bytes>*>(context);
    sent->emplace_back(b, b + n);
    return n;
}

const Bytes termTypeIs = cat({bytes({0xFF, 0xFA, 24, 0}), text("korvex"), bytes({0xFF, 0xF0})});

struct FilterCase {
    const char* name;
    Bytes in;
    Bytes data;                 // what the filter leaves
    std::vector<Bytes> replies; // what it sends, in order
};

std::vector<FilterCase> filterCases()
{
    return {
        {"DoTerminalType", bytes({0xFF, 0xFD, 24}), {}, {bytes({0xFF, 0xFB, 24})}},
        {"DoOtherOption", bytes({0xFF, 0xFD, 1}), {}, {bytes({0xFF, 0xFC, 1})}},
        {"TerminalTypeSend", bytes({0xFF, 0xFA, 24, 1, 0xFF, 0xF0}), {}, {termTypeIs}},
        {"OtherSubnegotiationIgnored", bytes({0xFF, 0xFA, 31, 1, 0xFF, 0xF0}), {}, {}},
        {"WillWontDontIgnored", cat({text("a"), bytes({0xFF, 0xFB, 1, 0xFF, 0xFC, 3, 0xFF, 0xFE, 5}), text("b")}),
         text("ab"), {}},
        {"EncryptionOfferRefused", bytes({0xFF, 0xFB, 38}), {}, {bytes({0xFF, 0xFE, 38})}},
        {"AuthenticationOfferRefused", bytes({0xFF, 0xFB, 37}), {}, {bytes({0xFF, 0xFE, 37})}},
        {"SubnegotiationEnd", cat({text("x"), bytes({0xFF, 0xF0}), text("y")}), text("xy"), {}},
        {"OtherCommandDropsIacOnly", cat({bytes({0xFF, 0xF1}), text("z")}), cat({bytes({0xF1}), text("z")}), {}},
        {"EscapedIacIsData", cat({text("a"), bytes({0xFF, 0xFF}), text("b")}), cat({text("a"), bytes({0xFF}), text("b")}),
         {}},
        {"IacAtEndDropped", cat({text("login:"), bytes({0xFF})}), text("login:"), {}},
        {"IncompleteDoDropped", cat({text("ok"), bytes({0xFF, 0xFD})}), text("ok"), {}},
        {"IncompleteSubnegotiationDropsTail", cat({text("p"), bytes({0xFF, 0xFA, 24, 1, 0xFF})}), text("p"), {}},
        {"PlainDataUnchanged", text("Debian GNU/Linux 12\r\n"), text("Debian GNU/Linux 12\r\n"), {}},
        // What inetutils telnetd opens with.
        {"TelnetdOpening",
         bytes({0xFF, 0xFB, 38, 0xFF, 0xFD, 24, 0xFF, 0xFD, 32, 0xFF, 0xFD, 35, 0xFF, 0xFD, 39, 0xFF, 0xFD, 36}),
         {},
         {bytes({0xFF, 0xFE, 38}), bytes({0xFF, 0xFB, 24}), bytes({0xFF, 0xFC, 32}), bytes({0xFF, 0xFC, 35}),
          bytes({0xFF, 0xFC, 39}), bytes({0xFF, 0xFC, 36})}},
        {"CommandsBetweenData",
         cat({text("one"), bytes({0xFF, 0xFD, 24}), text("two"), bytes({0xFF, 0xFA, 24, 1, 0xFF, 0xF0}), text("three")}),
         text("onetwothree"),
         {bytes({0xFF, 0xFB, 24}), termTypeIs}},
    };
}

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class TelnetFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(TelnetFilter, LeavesDataAndAnswers)
{
    const FilterCase& c = GetParam();
    Bytes buf = c.in;
    std::vector<Bytes> sent;
    int left = telnetFilter(buf.data(), (int)buf.size(), record, &sent);
    ASSERT_GE(left, 0);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + left), c.data);
    EXPECT_EQ(sent, c.replies);
}

INSTANTIATE_TEST_SUITE_P(Cases, TelnetFilter, testing::ValuesIn(filterCases()),
                         [](const testing::TestParamInfo<FilterCase>& i) { return std::string(i.param.name); });

TEST(TelnetFilterCount, NothingReceivedIsPassedThrough)
{
    uint8_t b[1] = {0};
    std::vector<Bytes> sent;
    EXPECT_EQ(telnetFilter(b, 0, record, &sent), 0);
    EXPECT_EQ(telnetFilter(b, -1, record, &sent), -1);
    EXPECT_TRUE(sent.empty());
}

// A command cut by the end of a read is held back and completed by the next
// one: nothing of it shows as data and its answer still goes out.
TEST(TelnetFilterSplit, CommandCutByTheReadIsCarriedToTheNext)
{
    struct Cut {
        Bytes first, second, data;
        std::vector<Bytes> replies;
    };
    const Cut cuts[] = {
        {cat({text("ab"), bytes({0xFF})}), cat({bytes({0xFD, 24}), text("cd")}), text("abcd"), {bytes({0xFF, 0xFB, 24})}},
        {cat({text("ab"), bytes({0xFF, 0xFD})}), cat({bytes({24}), text("cd")}), text("abcd"), {bytes({0xFF, 0xFB, 24})}},
        {cat({text("x"), bytes({0xFF, 0xFA, 24})}), cat({bytes({1, 0xFF, 0xF0}), text("y")}), text("xy"), {termTypeIs}},
        {cat({text("x"), bytes({0xFF})}), cat({bytes({0xFF}), text("y")}), cat({text("x"), bytes({0xFF}), text("y")}), {}},
    };
    for (const Cut& c : cuts) {
        std::vector<Bytes> sent;
        Bytes buf = c.first;
        int held = -1;
        int data = telnetFilter(buf.data(), (int)buf.size(), record, &sent, &held);
        ASSERT_GE(data, 0);
        ASSERT_GT(held, 0);
        ASSERT_LE(held, TN_CARRY_MAX);
        Bytes next(buf.begin() + data, buf.begin() + data + held);
        Bytes shown(buf.begin(), buf.begin() + data);
        next.insert(next.end(), c.second.begin(), c.second.end());
        int more = telnetFilter(next.data(), (int)next.size(), record, &sent, &held);
        EXPECT_EQ(held, 0);
        shown.insert(shown.end(), next.begin(), next.begin() + more);
        EXPECT_EQ(shown, c.data);
        EXPECT_EQ(sent, c.replies);
    }
}

} // namespace
