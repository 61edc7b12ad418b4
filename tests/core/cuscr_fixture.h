#pragma once
// Shared set-up for the screen-buffer tests: a headless frame with its MDI
// client, a scratch configuration, and helpers to open screens of a given
// size and look at their cells.
#include "core/cuscr.h"
#include "plat/headless/headless.h"
#include "support/kvxtest.h"
#include "ui/profile.h"

#include "support/desk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class CuScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::Desk desk = kvxtest::openDesk(nullptr);
        dir = desk.dir;
        frame = desk.frame;
        client = desk.client;
        ASSERT_NE(frame, 0);
        ASSERT_NE(client, 0);
        ASSERT_EQ(cuInit(), 0);
    }

    void TearDown() override
    {
        for (int slot = 0; slot < CU_MAX_SCREENS; ++slot)
            cuSessClose(slot);
    }

    // Stores a window state for a slot (1-based window slot = slot + 1).
    void storeState(int slot, const char* value)
    {
        char key[32];
        snprintf(key, sizeof key, "DefWin%02dState", slot + 1);
        ASSERT_EQ(cfgSetString("Fonts", key, value), 0);
    }

    // Opens a screen of rows x cols in a window smaller than the frame.
    CuScreen* openGrid(int slot, int rows, int cols, const char* host = "host")
    {
        std::string state = "10,10,500,400,12," + std::to_string(rows) + "," + std::to_string(cols);
        storeState(slot, state.c_str());
        int conn = -1;
        EXPECT_EQ(cuSessNew(slot, host, &conn), slot);
        CuScreen* s = cuScreenAt(slot);
        EXPECT_NE(s, nullptr);
        EXPECT_EQ(s->Rows, rows);
        EXPECT_EQ(s->Cols, cols);
        forgetDirty(s);
        return s;
    }

    static void forgetDirty(CuScreen* s)
    {
        s->dirtyCount = 0;
        s->fullRepaint = 0;
    }

    static std::vector<CuRect> dirtyList(const CuScreen* s)
    {
        return std::vector<CuRect>(s->dirty.begin(), s->dirty.begin() + s->dirtyCount);
    }

    static std::string rowText(const CuScreen* s, int row)
    {
        std::string t;
        for (int c = 0; c < s->Cols; ++c)
            t += (char)s->chars[row * s->Cols + c];
        return t;
    }

    // Fills every row with its own letter ('A' + row) in attribute 20.
    static void labelRows(CuScreen* s)
    {
        for (int r = 0; r < s->Rows; ++r)
            for (int c = 0; c < s->Cols; ++c) {
                s->chars[r * s->Cols + c] = (uint16_t)('A' + r % 26);
                s->attrs[r * s->Cols + c] = CU_ATTR_UNIX_NORMAL;
            }
    }

    std::string dir;
    PWnd frame = 0, client = 0;
};

inline bool operator==(const CuRect& a, const CuRect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

inline std::ostream& operator<<(std::ostream& os, const CuRect& r)
{
    return os << "{" << r.top << "," << r.left << "," << r.bottom << "," << r.right << "}";
}
