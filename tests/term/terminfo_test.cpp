// The terminfo entry shipped for hosts (tools/terminfo/korvex.ti) against the
// interpreter: each capability, as tput expands it from the compiled entry,
// does to the screen what curses programs expect of it.
#include "replay.h"

#include "support/kvxtest.h"
#include "support/servers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 10, kCols = 20;

class Terminfo : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = kvxtest::scratchDir("terminfo");
        std::string out;
        compiled = kvxtest::runCommand("tic -x -o '" + dir + "' '" + kvxtest::sourcePath("tools/terminfo/korvex.ti") +
                                       "' 2>&1", &out) == 0;
        compileOutput = out;
    }
    void SetUp() override
    {
        ASSERT_TRUE(compiled) << compileOutput;
        ReplayOptions o;
        o.rows = kRows;
        o.cols = kCols;
        std::string error;
        ASSERT_EQ(replayOpen(o, &error), 0) << error;
        // Row r holds 20 times the letter 'a' + r.
        for (int r = 0; r < kRows; ++r)
            feed("\x1b[" + std::to_string(r + 1) + ";1H" + std::string(kCols, char('a' + r)));
        feed("\x1b[H");
    }
    void TearDown() override { replayClose(); }

    // The capability with its arguments as tput writes it for "korvex".
    static std::string cap(const std::string& nameAndArgs)
    {
        std::string out;
        EXPECT_EQ(kvxtest::runCommand("TERMINFO='" + dir + "' tput -T korvex " + nameAndArgs, &out), 0) << nameAndArgs;
        return out;
    }
    static void feed(const std::string& bytes)
    {
        ASSERT_GE(replayFeed(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size())), 0);
    }

    static std::string dir, compileOutput;
    static bool compiled;
};

std::string Terminfo::dir, Terminfo::compileOutput;
bool Terminfo::compiled = false;

std::string letters(int row, int n) { return std::string(size_t(n), char('a' + row)); }
std::string blanks(int n) { return std::string(size_t(n), ' '); }

struct Expect {
    int row = -1, col = -1;                 // the cursor, when row >= 0
    std::vector<std::pair<int, std::string>> lines;   // rows and their text
};

struct Case {
    const char* name;
    std::vector<std::string> steps;   // capabilities (with arguments) or "=text" written as it is
    Expect expect;
};

const Case kCases[] = {
    {"cup", {"cup 3 7"}, {3, 7, {}}},
    {"home", {"cup 5 5", "home"}, {0, 0, {}}},
    {"clear", {"cup 4 4", "clear"}, {0, 0, {{0, blanks(20)}, {9, blanks(20)}}}},
    {"el", {"cup 2 5", "el"}, {2, 5, {{2, letters(2, 5) + blanks(15)}, {3, letters(3, 20)}}}},
    {"el1", {"cup 2 5", "el1"}, {2, 5, {{2, blanks(6) + letters(2, 14)}}}},
    {"ed", {"cup 4 0", "ed"}, {4, 0, {{3, letters(3, 20)}, {4, blanks(20)}, {9, blanks(20)}}}},
    {"relative moves", {"cup 5 10", "cuu 2", "cud 3", "cuf 4", "cub 3"}, {6, 11, {}}},
    {"single moves", {"cup 5 10", "cuu1", "cuu1", "cud1", "cuf1", "cub1", "cub1"}, {4, 9, {}}},
    {"il", {"cup 3 0", "il 2"}, {-1, -1, {{3, blanks(20)}, {4, blanks(20)}, {5, letters(3, 20)}, {9, letters(7, 20)}}}},
    {"il1", {"cup 3 0", "il1"}, {-1, -1, {{3, blanks(20)}, {4, letters(3, 20)}}}},
    {"dl", {"cup 3 0", "dl 2"}, {-1, -1, {{3, letters(5, 20)}, {7, letters(9, 20)}, {8, blanks(20)}}}},
    {"dl1", {"cup 3 0", "dl1"}, {-1, -1, {{3, letters(4, 20)}, {9, blanks(20)}}}},
    {"dch1", {"cup 1 0", "dch1"}, {1, 0, {{1, letters(1, 19) + " "}}}},
    {"insert mode", {"cup 1 0", "smir", "=XY", "rmir", "=Z"}, {1, 3, {{1, "XYZ" + letters(1, 17)}}}},
    {"csr and ind", {"csr 2 5", "cup 5 0", "ind"}, {5, 0, {{1, letters(1, 20)}, {2, letters(3, 20)}, {4, letters(5, 20)},
                                                           {5, blanks(20)}, {6, letters(6, 20)}}}},
    {"csr and ri", {"csr 2 5", "cup 2 0", "ri"}, {2, 0, {{2, blanks(20)}, {3, letters(2, 20)}, {5, letters(4, 20)},
                                                          {6, letters(6, 20)}}}},
    {"sc and rc", {"cup 4 4", "sc", "cup 0 0", "rc"}, {4, 4, {}}},
    {"line drawing", {"cup 0 0", "smacs", "=qx", "rmacs", "=q"}, {0, 3, {{0, "\xC4\xB3q" + letters(0, 17)}}}},
    {"tab", {"cup 0 1", "ht", "ht"}, {0, 16, {}}},
};

TEST_F(Terminfo, CapabilitiesDoWhatCursesExpects)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        for (const std::string& step : c.steps)
            feed(step[0] == '=' ? step.substr(1) : cap(step));
        ReplaySnapshot snap = replaySnapshot();
        if (c.expect.row >= 0) {
            EXPECT_EQ(snap.curRow, c.expect.row);
            EXPECT_EQ(snap.curCol, c.expect.col);
        }
        for (const auto& [row, text] : c.expect.lines)
            EXPECT_EQ(snap.lines.at(size_t(row)), text) << "row " << row;
    }
}

// Attributes do not combine: each one replaces the last, and sgr0 goes
// back to normal.
TEST_F(Terminfo, AttributesSelectTheSessionsAttributes)
{
    const std::pair<const char*, int> attrs[] = {{"bold", 22}, {"dim", 24}, {"smul", 25}, {"blink", 21},
                                                 {"rev", 23},  {"smso", 23}, {"invis", 26}, {"sgr0", 20}};
    feed(cap("cup 0 0"));
    for (const auto& [name, attr] : attrs)
        feed(cap(name) + "X");
    ReplaySnapshot snap = replaySnapshot();
    for (size_t i = 0; i < sizeof attrs / sizeof attrs[0]; ++i)
        EXPECT_EQ(snap.attrs.at(0).at(i), attrs[i].second) << attrs[i].first;
}

} // namespace
