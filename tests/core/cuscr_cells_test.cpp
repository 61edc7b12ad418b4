// Cell writes, block moves, scrolling, save/restore, boxes and the dirty list.
#include "cuscr_fixture.h"

#include <cstring>
#include <functional>

namespace {

const uint8_t* bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

class CuCells : public CuScreenTest {
protected:
    void SetUp() override
    {
        CuScreenTest::SetUp();
        s = openGrid(0, 6, 10);
    }
    CuScreen* s = nullptr;
};

TEST_F(CuCells, PutTextWritesAndInvalidatesOnlyTheChangedSpan)
{
    EXPECT_EQ(cuPutText(bytes("abcdef"), 6, 1, 2, 20), 6);
    EXPECT_EQ(rowText(s, 1), "  abcdef  ");
    EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{1, 2, 1, 7}}));

    forgetDirty(s);
    EXPECT_EQ(cuPutText(bytes("abXdeY"), 6, 1, 2, 20), 6);
    EXPECT_EQ(rowText(s, 1), "  abXdeY  ");
    EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{1, 4, 1, 7}}));

    forgetDirty(s);
    EXPECT_EQ(cuPutText(bytes("abXdeY"), 6, 1, 2, 20), 6);
    EXPECT_TRUE(dirtyList(s).empty());

    // An attribute change alone is a change.
    EXPECT_EQ(cuPutText(bytes("Xd"), 2, 1, 4, 23), 2);
    EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{1, 4, 1, 5}}));
    EXPECT_EQ(s->attrs[1 * 10 + 4], 23);
    EXPECT_EQ(s->attrs[1 * 10 + 6], 20);
}

TEST_F(CuCells, FillWideKeepsFrameCodesAndFillKeepsTheLowByte)
{
    cuFillWide(0x10D, 3, 0, 0, 4);
    cuFill(0x141, 2, 0, 3, 4);
    EXPECT_EQ(s->chars[0], 0x10D);
    EXPECT_EQ(s->chars[2], 0x10D);
    EXPECT_EQ(s->chars[3], 0x41);
    uint8_t pairs[10];
    cuGetCells(pairs, 5, 0, 0);
    EXPECT_EQ(pairs[0], 0x0D);
    EXPECT_EQ(pairs[1], 4);
    EXPECT_EQ(pairs[6], 'A');
}

// Every call below reaches past an edge of the 6 x 10 grid. Only the cells
// named may change, and every recorded rectangle lies inside the grid.
TEST_F(CuCells, OutOfRangeCallsNeverLeaveTheGrid)
{
    struct Case {
        const char* name;
        std::function<void()> call;
        int changedCells;
    };
    static const uint8_t long_text[64] = {'x'};
    static uint8_t pairs[128];
    memset(pairs, 'p', sizeof pairs);
    const std::vector<Case> cases = {
        {"text past right edge", [] { cuPutText(long_text, 64, 2, 8, 21); }, 2},
        {"text on row Rows", [] { cuPutText(long_text, 5, 6, 0, 21); }, 0},
        {"text at negative row", [] { cuPutText(long_text, 5, -1, 0, 21); }, 0},
        {"text at negative column", [] { cuPutText(long_text, 5, 0, -3, 21); }, 0},
        {"text with negative length", [] { cuPutText(long_text, -5, 0, 0, 21); }, 0},
        {"bytes past right edge", [] { cuPutBytes(long_text, 64, 5, 7); }, 3},
        {"char at column Cols", [] { cuPutChar('q', 0, 10); }, 0},
        {"fill past right edge", [] { cuFill('f', 1000, 0, 9, 21); }, 1},
        {"wide fill from column Cols", [] { cuFillWide(260, 3, 0, 10, 21); }, 0},
        {"cells past right edge", [] { cuPutCells(pairs, 64, 3, 6); }, 4},
        {"fill rect beyond both edges", [] { cuFillRect(4, 8, 1000, 1000, 'r', 21); }, 4},
        {"attr rect beyond both edges", [] { cuSetAttrRect(5, 5, 99, 99, 22); }, 5},
        {"attr rect starting outside", [] { cuSetAttrRect(6, 0, 9, 9, 22); }, 0},
        {"toggle reverse past edge", [] { cuToggleReverse(50, 0, 7); }, 3},
        {"move to the bottom-right corner", [] { cuMoveBlock(0, 0, 5, 9, 5, 9); }, 1},
        {"move from outside", [] { cuMoveBlock(3, 10, 5, 12, 0, 0); }, 0},
        {"move to a negative row", [] { cuMoveBlock(0, 0, 1, 1, -1, 0); }, 0},
        {"scroll with bottom = Rows", [] { cuScrollRegion(0, 0, 6, 9, 21, 1, true); }, 0},
        {"scroll by more than the region", [] { cuScrollRegion(4, 0, 5, 9, 21, 50, false); }, 20},
        {"box beyond both edges", [] { cuBox(3, 7, 20, 30, 'i', 21, 4, CU_BOX_SINGLE); }, 9},
        {"box wholly outside", [] { cuBox(-5, -5, -1, -1, 'i', 21, 4, CU_BOX_SINGLE); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cuClear(CU_ATTR_UNIX_NORMAL);
        labelRows(s);
        forgetDirty(s);
        std::vector<uint16_t> chars(s->chars, s->chars + 60);
        std::vector<uint8_t> attrs(s->attrs, s->attrs + 60);
        c.call();
        int changed = 0;
        for (int i = 0; i < 60; ++i)
            changed += (s->chars[i] != chars[i] || s->attrs[i] != attrs[i]) ? 1 : 0;
        EXPECT_EQ(changed, c.changedCells);
        for (const CuRect& r : dirtyList(s)) {
            EXPECT_GE(r.top, 0);
            EXPECT_GE(r.left, 0);
            EXPECT_LE(r.top, r.bottom);
            EXPECT_LE(r.left, r.right);
            EXPECT_LT(r.bottom, 6);
            EXPECT_LT(r.right, 10);
        }
    }
}

TEST_F(CuCells, ReadsAreClippedAndLeaveTheRestOfTheBuffer)
{
    cuPutText(bytes("0123456789"), 10, 4, 0, 20);
    uint8_t out[16];
    memset(out, '#', sizeof out);
    cuGetText(out, 16, 4, 6);
    EXPECT_EQ(std::string((char*)out, 6), "6789##");
    memset(out, '#', sizeof out);
    cuGetText(out, 4, 6, 0);
    cuGetCells(out, 4, 0, 10);
    EXPECT_EQ(std::string((char*)out, 4), "####");
}

TEST_F(CuCells, MoveBlockCopiesOverlappingRectanglesInBothDirections)
{
    struct Case {
        const char* name;
        int top, left, bottom, right, dstRow, dstCol;
    };
    const Case cases[] = {
        {"down and right", 0, 0, 3, 5, 1, 2},
        {"up and left", 2, 3, 5, 9, 0, 1},
        {"down in place column", 0, 4, 4, 6, 1, 4},
        {"right on the same row", 2, 0, 2, 6, 2, 3},
        {"left on the same row", 3, 3, 3, 9, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 60; ++i) {
            s->chars[i] = (uint16_t)(0x100 + i);
            s->attrs[i] = (uint8_t)i;
        }
        std::vector<uint16_t> before(s->chars, s->chars + 60);
        forgetDirty(s);
        cuMoveBlock(c.top, c.left, c.bottom, c.right, c.dstRow, c.dstCol);
        int h = c.bottom - c.top + 1, w = c.right - c.left + 1;
        for (int r = 0; r < 6; ++r)
            for (int col = 0; col < 10; ++col) {
                bool inDst = r >= c.dstRow && r < c.dstRow + h && col >= c.dstCol && col < c.dstCol + w;
                int from = inDst ? (c.top + r - c.dstRow) * 10 + c.left + col - c.dstCol : r * 10 + col;
                ASSERT_EQ(s->chars[r * 10 + col], before[from]) << "cell " << r << "," << col;
                ASSERT_EQ(s->attrs[r * 10 + col], (uint8_t)from);
            }
        EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{c.dstRow, c.dstCol, c.dstRow + h - 1, c.dstCol + w - 1}}));
    }
}

TEST_F(CuCells, ScrollRegionMovesRowsAndBlanksTheVacatedOnes)
{
    struct Case {
        const char* name;
        int n;
        bool up;
        const char* rows[6];
    };
    // Region rows 1..4, columns 2..6; outside it every row keeps its letter.
    const Case cases[] = {
        {"up one", 1, true, {"AAAAAAAAAA", "BBCCCCCBBB", "CCDDDDDCCC", "DDEEEEEDDD", "EE     EEE", "FFFFFFFFFF"}},
        {"down two", 2, false, {"AAAAAAAAAA", "BB     BBB", "CC     CCC", "DDBBBBBDDD", "EECCCCCEEE", "FFFFFFFFFF"}},
        {"up by the whole height", 4, true, {"AAAAAAAAAA", "BB     BBB", "CC     CCC", "DD     DDD", "EE     EEE", "FFFFFFFFFF"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        labelRows(s);
        forgetDirty(s);
        cuScrollRegion(1, 2, 4, 6, 24, c.n, c.up);
        for (int r = 0; r < 6; ++r)
            EXPECT_EQ(rowText(s, r), c.rows[r]) << "row " << r;
        for (int r = 0; r < 6; ++r)
            for (int col = 0; col < 10; ++col) {
                bool blank = c.rows[r][col] == ' ';
                EXPECT_EQ(s->attrs[r * 10 + col], blank ? 24 : 20);
            }
        EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{1, 2, 4, 6}}));
    }
}

TEST_F(CuCells, SaveAndRestoreRectangleInvalidatesTheShadowIn3DMode)
{
    struct Case {
        const char* name;
        bool mode3d;
        CuRect rect, dirty;
    };
    const Case cases[] = {
        {"flat", false, {1, 2, 3, 5}, {1, 2, 3, 5}},
        {"3D inside", true, {1, 2, 3, 5}, {1, 2, 4, 6}},
        {"3D at the corner", true, {3, 6, 5, 9}, {3, 6, 5, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cuButtonMode(c.mode3d);
        labelRows(s);
        for (int i = 0; i < 60; ++i)
            s->chars[i] = (uint16_t)(0x100 + i);  // frame codes survive the round trip
        std::vector<uint16_t> chars(s->chars, s->chars + 60);
        std::vector<uint8_t> attrs(s->attrs, s->attrs + 60);
        CuSaveRef block;
        const CuRect& r = c.rect;
        ASSERT_EQ(cuSaveRect(r.top, r.left, r.bottom, r.right, &block), 0);
        ASSERT_TRUE(block);
        cuFillRect(0, 0, 5, 9, 'z', 2);
        forgetDirty(s);
        EXPECT_EQ(cuRestoreRect(r.top, r.left, r.bottom, r.right, &block), 0);
        EXPECT_FALSE(block);
        for (int row = 0; row < 6; ++row)
            for (int col = 0; col < 10; ++col) {
                bool in = row >= r.top && row <= r.bottom && col >= r.left && col <= r.right;
                int i = row * 10 + col;
                EXPECT_EQ(s->chars[i], in ? chars[i] : 'z');
                EXPECT_EQ(s->attrs[i], in ? attrs[i] : 2);
            }
        EXPECT_EQ(dirtyList(s), std::vector<CuRect>{c.dirty});
    }
}

TEST_F(CuCells, SaveAndRestoreRefuseBadRectangles)
{
    CuSaveRef block;
    EXPECT_EQ(cuSaveRect(0, 0, 6, 9, &block), -1);
    EXPECT_EQ(cuSaveRect(2, 2, 1, 3, &block), -1);
    EXPECT_EQ(cuSaveRect(-1, 0, 1, 1, &block), -1);
    EXPECT_FALSE(block);
    EXPECT_EQ(cuRestoreRect(0, 0, 1, 1, &block), 1);

    // Restoring at bad coordinates, or into a rectangle of another size,
    // frees the block and leaves the cells alone.
    ASSERT_EQ(cuSaveRect(0, 0, 1, 1, &block), 0);
    EXPECT_EQ(cuRestoreRect(0, 9, 1, 10, &block), -1);
    EXPECT_FALSE(block);
    ASSERT_EQ(cuSaveRect(0, 0, 1, 1, &block), 0);
    cuFill('q', 10, 0, 0, 20);
    EXPECT_EQ(cuRestoreRect(0, 0, 4, 4, &block), -1);
    EXPECT_FALSE(block);
    EXPECT_EQ(rowText(s, 0), "qqqqqqqqqq");
}

TEST_F(CuCells, BoxDrawsEachStylesCodesAndFillsOnlyWithAFillCode)
{
    struct Case {
        int style;
        int fill;
        uint16_t codes[8];
    };
    const Case cases[] = {
        {CU_BOX_SINGLE, 0, {268, 269, 270, 271, 272, 273, 274, 275}},
        {CU_BOX_3D, '.', {258, 259, 261, 262, 262, 265, 259, 267}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        labelRows(s);
        cuBox(1, 2, 4, 7, c.fill, 6, 4, c.style);
        auto at = [&](int r, int col) { return s->chars[r * 10 + col]; };
        auto attr = [&](int r, int col) { return s->attrs[r * 10 + col]; };
        EXPECT_EQ(at(1, 2), c.codes[0]);
        for (int col = 3; col <= 6; ++col) {
            EXPECT_EQ(at(1, col), c.codes[1]);
            EXPECT_EQ(at(4, col), c.codes[6]);
        }
        EXPECT_EQ(at(1, 7), c.codes[2]);
        for (int r = 2; r <= 3; ++r) {
            EXPECT_EQ(at(r, 2), c.codes[3]);
            EXPECT_EQ(at(r, 7), c.codes[4]);
            EXPECT_EQ(attr(r, 2), 4);
            for (int col = 3; col <= 6; ++col) {
                EXPECT_EQ(at(r, col), c.fill ? c.fill : 'A' + r);
                EXPECT_EQ(attr(r, col), c.fill ? 6 : 20);
            }
        }
        EXPECT_EQ(at(4, 2), c.codes[5]);
        EXPECT_EQ(at(4, 7), c.codes[7]);
        EXPECT_EQ(attr(4, 7), 4);
        // Outside the frame nothing changed.
        EXPECT_EQ(rowText(s, 0), "AAAAAAAAAA");
        EXPECT_EQ(at(2, 1), 'C');
        EXPECT_EQ(at(2, 8), 'C');
        EXPECT_EQ(rowText(s, 5), "FFFFFFFFFF");
    }
}

TEST_F(CuCells, ClearAndResetAttrs)
{
    labelRows(s);
    cuSetCursor(3, 4);
    cuSetCursorShape(CU_CURSOR_UNDERLINE);
    cuClear(CU_ATTR_MCS_NORMAL);
    EXPECT_EQ(rowText(s, 2), "          ");
    EXPECT_EQ(s->attrs[59], CU_ATTR_MCS_NORMAL);
    EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{0, 0, 5, 9}}));
    int row, col, shape;
    cuGetCursor(&row, &col, &shape);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(col, 0);
    EXPECT_EQ(shape, CU_CURSOR_BLOCK);

    labelRows(s);
    forgetDirty(s);
    cuResetAttrs(0);
    EXPECT_EQ(rowText(s, 2), "CCCCCCCCCC");
    EXPECT_EQ(s->attrs[30], CU_ATTR_UNIX_NORMAL);
    EXPECT_TRUE(dirtyList(s).empty());  // the window is invalidated instead
    cuResetAttrs(1);
    EXPECT_EQ(rowText(s, 2), "          ");
    EXPECT_EQ(s->attrs[30], CU_ATTR_MCS_NORMAL);
}

TEST_F(CuCells, ToggleReverseSwapsReverseAndNormal)
{
    const uint8_t pairs[] = {'a', CU_ATTR_MCS_REVERSE, 'b', CU_ATTR_MCS_NORMAL, 'c', CU_ATTR_UNIX_BOLD};
    cuPutCells(pairs, 3, 0, 0);
    cuToggleReverse(3, 0, 0);
    EXPECT_EQ(s->attrs[0], CU_ATTR_MCS_NORMAL);
    EXPECT_EQ(s->attrs[1], CU_ATTR_MCS_REVERSE);
    EXPECT_EQ(s->attrs[2], CU_ATTR_MCS_REVERSE);
}

// The dirty list, on a 24 x 80 screen.
class CuDirty : public CuScreenTest {
protected:
    void SetUp() override
    {
        CuScreenTest::SetUp();
        s = openGrid(0, 24, 80);
    }
    CuScreen* s = nullptr;
};

TEST_F(CuDirty, RectanglesWithEqualColumnsMerge)
{
    struct Case {
        const char* name;
        std::vector<CuRect> adds;
        std::vector<CuRect> list;
    };
    const std::vector<Case> cases = {
        {"same rectangle twice", {{3, 5, 4, 9}, {3, 5, 4, 9}}, {{3, 5, 4, 9}}},
        {"next row grows it", {{3, 5, 4, 9}, {5, 5, 5, 9}}, {{3, 5, 5, 9}}},
        {"row above grows it", {{3, 5, 4, 9}, {1, 5, 2, 9}}, {{1, 5, 4, 9}}},
        {"overlap grows it", {{3, 5, 6, 9}, {5, 5, 8, 9}}, {{3, 5, 8, 9}}},
        {"enclosing rows replace them", {{5, 5, 6, 9}, {2, 5, 10, 9}}, {{2, 5, 10, 9}}},
        {"a gap keeps them apart", {{3, 5, 4, 9}, {6, 5, 7, 9}}, {{3, 5, 4, 9}, {6, 5, 7, 9}}},
        {"other columns are appended", {{3, 5, 4, 9}, {4, 5, 4, 10}}, {{3, 5, 4, 9}, {4, 5, 4, 10}}},
        {"the first match absorbs", {{1, 0, 1, 3}, {9, 0, 9, 3}, {8, 0, 8, 3}}, {{1, 0, 1, 3}, {8, 0, 9, 3}}},
        {"clipped to the grid", {{20, 70, 30, 90}}, {{20, 70, 23, 79}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        forgetDirty(s);
        for (const CuRect& r : c.adds)
            cuInvalidate(r.top, r.left, r.bottom, r.right);
        EXPECT_EQ(dirtyList(s), c.list);
        EXPECT_EQ(s->fullRepaint, 0);
    }
}

TEST_F(CuDirty, CollapsesToOneFullRepaintUntilTheNextRefresh)
{
    struct Case {
        const char* name;
        std::function<void()> fill;
    };
    const Case cases[] = {
        {"31st rectangle",
         [] {
             for (int i = 0; i < CU_MAX_DIRTY; ++i)
                 cuInvalidate(0, 2 * i, 0, 2 * i);
         }},
        {"area above half the screen",
         [] {
             cuInvalidate(0, 0, 11, 79);  // exactly half: not yet
             cuInvalidate(12, 0, 12, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        forgetDirty(s);
        c.fill();
        EXPECT_EQ(s->fullRepaint, 0);
        EXPECT_GT(s->dirtyCount, 1);
        cuInvalidate(20, 70, 20, 70);
        EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{0, 0, 23, 79}}));
        EXPECT_EQ(s->fullRepaint, 1);
        cuInvalidate(22, 3, 22, 4);
        EXPECT_EQ(s->dirtyCount, 1);

        cuRefresh();
        EXPECT_EQ(s->dirtyCount, 1) << "painted once the loop runs";
        cuPaintDirty();
        EXPECT_EQ(s->dirtyCount, 0);
        EXPECT_EQ(s->fullRepaint, 0);
        cuInvalidate(22, 3, 22, 4);
        EXPECT_EQ(dirtyList(s), (std::vector<CuRect>{{22, 3, 22, 4}}));
    }
}

TEST_F(CuDirty, RefreshScrollsTheViewportToTheCursor)
{
    s->viewTop = 0;
    s->viewBottom = 9;
    s->viewLeft = 0;
    s->viewRight = 39;
    cuSetCursor(15, 50);
    cuRefresh();
    EXPECT_EQ(s->viewTop, 6);
    EXPECT_EQ(s->viewBottom, 15);
    EXPECT_EQ(s->viewLeft, 11);
    EXPECT_EQ(s->viewRight, 50);
    cuSetCursor(2, 3);
    cuRefresh();
    EXPECT_EQ(s->viewTop, 2);
    EXPECT_EQ(s->viewBottom, 11);
    EXPECT_EQ(s->viewLeft, 3);
    EXPECT_EQ(s->viewRight, 42);
    cuPaintDirty();
    EXPECT_EQ(s->dirtyCount, 0);

    // A minimised window is left alone.
    s->winFlags |= CUW_MINIMIZED;
    cuSetCursor(20, 3);
    cuRefresh();
    EXPECT_EQ(s->viewTop, 2);
}

}  // namespace
