// Opening, selecting, resizing and closing screens.
#include "cuscr_fixture.h"

#include <cstring>

namespace {

using CuSession = CuScreenTest;

std::string titleOf(PWnd w)
{
    char t[64] = {};
    platTitle(w, t, sizeof t);
    return t;
}

TEST_F(CuSession, HostConnectionOrdinalsFillTheLowestGap)
{
    struct Step {
        bool open;  // false: close the slot
        int slot;
        const char* host;
        int ordinal;
    };
    const Step steps[] = {
        {true, 0, "host", 0},
        {true, 1, "Host", 1},   // names compare upper-cased
        {true, 2, "HOST", 2},
        {true, 3, "other", 0},
        {false, 1, nullptr, 0},
        {true, 4, "host", 1},   // 0 and 2 in use: 1 is free below 2
        {true, 5, "host", 3},   // 0, 1, 2 in use: the count
        {false, 0, nullptr, 0},
        {false, 2, nullptr, 0},
        {true, 6, "host", 0},   // 1 and 3 in use
        {true, 7, "host", 2},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.slot);
        if (!st.open) {
            ASSERT_EQ(cuSessClose(st.slot), 0);
            continue;
        }
        int conn = -1;
        ASSERT_EQ(cuSessNew(st.slot, st.host, &conn), st.slot);
        EXPECT_EQ(conn, st.ordinal);
        EXPECT_EQ(cuScreenAt(st.slot)->hostConn, st.ordinal);
    }
}

TEST_F(CuSession, NewScreenIsCurrentFocusedAndNamedAfterItsHost)
{
    int conn = -1;
    ASSERT_EQ(cuSessNew(2, "host", &conn), 2);
    CuScreen* s = cuScreenAt(2);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->hostName, "HOST");
    EXPECT_EQ(titleOf(s->wnd), "HOST-3");
    EXPECT_EQ(platParent(s->wnd), client);
    EXPECT_EQ(platUserWord(s->wnd), 3);
    EXPECT_EQ(cuScrPtr, s);
    EXPECT_EQ(cuCurSlot, 2);
    EXPECT_EQ(cuCharPtr, s->chars);
    EXPECT_EQ(cuAttrPtr, s->attrs);
    EXPECT_EQ(cuFocusScreen(), s);
    EXPECT_EQ(s->chars[0], ' ');
    EXPECT_EQ(s->attrs[24 * 80 - 1], CU_ATTR_UNIX_NORMAL);
    EXPECT_EQ(s->curShape, CU_CURSOR_BLOCK);
    EXPECT_EQ(s->viewBottom, 23);
    EXPECT_EQ(s->viewRight, 79);

    // A taken slot or one out of range is refused.
    EXPECT_EQ(cuSessNew(2, "host", &conn), -1);
    EXPECT_EQ(cuSessNew(CU_MAX_SCREENS, "host", &conn), -1);
    EXPECT_EQ(cuSessNew(-1, "host", &conn), -1);
}

TEST_F(CuSession, LongHostNamesAreCutToNineCharacters)
{
    int conn = -1;
    ASSERT_EQ(cuSessNew(0, "zendra-production.example", &conn), 0);
    EXPECT_STREQ(cuScreenAt(0)->hostName, "ZENDRA-PR");
    EXPECT_EQ(titleOf(cuScreenAt(0)->wnd), "ZENDRA-PR-1");
}

TEST_F(CuSession, WindowStateComesFromTheConfiguration)
{
    struct Case {
        const char* name;
        const char* state;  // null: nothing stored
        bool maximized;
        int rows, cols, fontSize;
    };
    // The frame's client area is 1024 x 768.
    const Case cases[] = {
        {"nothing stored", nullptr, true, 24, 80, 0},
        {"stored rectangle and grid", "10,20,510,420,12,30,100", false, 30, 100, 12},
        {"grid out of range", "10,20,510,420,12,300,100", false, 24, 80, 12},
        {"no grid stored", "10,20,510,420,14", false, 24, 80, 14},
        {"empty rectangle", "0,0,0,0,10,25,90", true, 25, 90, 10},
        {"as wide as the frame", "0,0,1024,300,10", true, 24, 80, 10},
        {"as high as the frame", "0,0,300,768,10", true, 24, 80, 10},
        {"stored maximised", "10,20,510,420,12,30,100,1", true, 30, 100, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.state)
            storeState(0, c.state);
        else
            cfgSetString("Fonts", "DefWin01State", nullptr);
        int conn = -1;
        ASSERT_EQ(cuSessNew(0, "host", &conn), 0);
        CuScreen* s = cuScreenAt(0);
        EXPECT_EQ(s->Rows, c.rows);
        EXPECT_EQ(s->Cols, c.cols);
        EXPECT_EQ(s->bufRows, c.rows);
        EXPECT_EQ(s->bufCols, c.cols);
        if (!c.maximized) {   // a maximised window's font follows the window
            EXPECT_EQ(s->fontSize, c.fontSize);
        }
        EXPECT_EQ((s->winFlags & CUW_MAXIMIZED) != 0, c.maximized);
        EXPECT_EQ(platIsMaximized(s->wnd), c.maximized);
        if (!c.maximized) {
            PRect r = platWindowRect(s->wnd);
            EXPECT_EQ(r.left, 10);
            EXPECT_EQ(r.top, 20);
            EXPECT_EQ(r.right, 510);
            EXPECT_EQ(r.bottom, 420);
        }
        ASSERT_EQ(cuSessClose(0), 0);
    }
}

TEST_F(CuSession, SelectAndCloseKeepTheSelectionConsistent)
{
    int conn;
    ASSERT_EQ(cuSessNew(0, "a", &conn), 0);
    ASSERT_EQ(cuSessNew(1, "b", &conn), 1);
    EXPECT_EQ(cuSelect(0), 0);
    EXPECT_EQ(cuScrPtr, cuScreenAt(0));
    EXPECT_EQ(cuSelect(5), -1);
    EXPECT_EQ(cuScrPtr, nullptr);
    EXPECT_EQ(cuCharPtr, nullptr);
    EXPECT_EQ(cuCurSlot, -1);

    cuSelect(1);
    EXPECT_EQ(cuSessClose(1), 0);
    EXPECT_EQ(cuScrPtr, nullptr);
    EXPECT_EQ(cuCurSlot, -1);
    EXPECT_EQ(cuScreenAt(1), nullptr);
    EXPECT_EQ(cuFocusScreen(), nullptr);  // slot 1 had the focus
    EXPECT_EQ(cuSessClose(1), -1);
    EXPECT_EQ(cuSessClose(-1), -1);
    EXPECT_EQ(cuSelect(1), -1);

    // With no screen selected every operation is a no-op.
    cuPutText(reinterpret_cast<const uint8_t*>("x"), 1, 0, 0, 20);
    cuInvalidate(0, 0, 1, 1);
    cuRefresh();
    EXPECT_EQ(cuKeyPut('a'), 1);
    EXPECT_EQ(cuKeyQueue(CU_KQ_PEEK_AVAIL), 0);
}

// Resizing: the grid follows the client area (8 x 16 pixel cells).
class CuResize : public CuScreenTest {
protected:
    CuScreen* open(int rows, int cols)
    {
        CuScreen* s = openGrid(0, rows, cols);
        s->charWidth = 8;
        s->charHeight = 16;
        return s;
    }
    static int resizeTo(CuScreen* s, int rows, int cols)
    {
        s->clientWidth = cols * 8 + 5;   // a part cell does not count
        s->clientHeight = rows * 16 + 15;
        return cuSessResize(s);
    }
    static void writeRow(CuScreen* s, int row, const char* text)
    {
        for (int c = 0; text[c] && c < s->Cols; ++c)
            s->chars[row * s->Cols + c] = (uint8_t)text[c];
    }
};

TEST_F(CuResize, ShrinkingDropsBlankBottomRowsBeforeTextRows)
{
    struct Case {
        const char* name;
        int blankBottomRows;  // of the 6 x 10 grid
        int newRows;
        int cursorRow;        // starts at 4
        const char* firstRow;
    };
    const Case cases[] = {
        {"one row, last row blank", 1, 5, 4, "row0"},
        {"one row, full screen", 0, 5, 3, "row1"},
        {"two rows, one blank", 1, 4, 3, "row1"},
        {"three rows, two blank", 2, 3, 2, "row1"},
        {"five rows, full screen", 0, 1, 0, "row5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CuScreen* s = open(6, 10);
        for (int r = 0; r < 6 - c.blankBottomRows; ++r)
            writeRow(s, r, ("row" + std::to_string(r)).c_str());
        // Control characters count as blank.
        if (c.blankBottomRows)
            s->chars[5 * 10 + 3] = 0x1B;
        cuSetCursor(4, 6);
        ASSERT_EQ(resizeTo(s, c.newRows, 10), 1);
        EXPECT_EQ(s->Rows, c.newRows);
        EXPECT_EQ(s->visRows, c.newRows);
        EXPECT_EQ(rowText(s, 0).substr(0, 4), c.firstRow);
        int first = c.firstRow[3] - '0';
        for (int r = 0; r < c.newRows && first + r < 6 - c.blankBottomRows; ++r)
            EXPECT_EQ(rowText(s, r).substr(0, 4), "row" + std::to_string(first + r));
        EXPECT_EQ(s->curRow, c.cursorRow);
        EXPECT_EQ(s->curCol, 6);
        EXPECT_EQ(cuCharPtr, s->chars);
        EXPECT_EQ(cuAttrPtr, s->attrs);
        EXPECT_EQ(s->viewBottom, c.newRows - 1);
        EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{0, 0, c.newRows - 1, 9}}));
        cuSessClose(0);
    }
}

TEST_F(CuResize, ColumnsAreCutOrPaddedAndTheCursorStaysInside)
{
    CuScreen* s = open(6, 10);
    writeRow(s, 0, "0123456789");
    s->attrs[9] = CU_ATTR_UNIX_BOLD;
    cuSetCursor(2, 9);
    ASSERT_EQ(resizeTo(s, 6, 4), 1);
    EXPECT_EQ(rowText(s, 0), "0123");
    EXPECT_EQ(s->curCol, 3);
    EXPECT_EQ(s->curRow, 2);

    ASSERT_EQ(resizeTo(s, 8, 7), 1);
    EXPECT_EQ(rowText(s, 0), "0123   ");
    EXPECT_EQ(rowText(s, 7), "       ");
    EXPECT_EQ(s->attrs[6], CU_ATTR_UNIX_NORMAL);
    EXPECT_EQ(s->attrs[7 * 7 + 6], CU_ATTR_UNIX_NORMAL);
    EXPECT_EQ(s->viewRight, 6);
}

TEST_F(CuResize, NothingChangesForTheSameGridOrAnEmptyArea)
{
    CuScreen* s = open(6, 10);
    uint16_t* chars = s->chars;
    EXPECT_EQ(resizeTo(s, 6, 10), 0);
    EXPECT_EQ(resizeTo(s, 0, 10), 0);
    EXPECT_EQ(resizeTo(s, 6, 0), 0);
    EXPECT_EQ(s->chars, chars);
    EXPECT_EQ(s->Rows, 6);
    s->charWidth = 0;  // no font yet
    EXPECT_EQ(resizeTo(s, 3, 3), 0);
    EXPECT_EQ(s->Rows, 6);
}

TEST_F(CuResize, RecordedPositionsAreCutToTheNewGrid)
{
    CuScreen* s = open(6, 10);
    cuSetCursor(5, 9);
    cuPushCursor();
    cuButton(0, 4, 5, 2);
    cuButton(0, 6, 1, 4);
    ASSERT_EQ(resizeTo(s, 4, 8), 1);
    ASSERT_EQ(s->buttonCount, 1);
    EXPECT_EQ(s->buttons[0].row, 1);
    EXPECT_EQ(s->buttons[0].len, 4);
    cuPopCursor();
    EXPECT_LT(s->curRow, 4);
    EXPECT_LT(s->curCol, 8);
}

}  // namespace
