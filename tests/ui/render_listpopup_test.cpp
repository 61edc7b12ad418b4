// The list pop-up of a session window: its items, their descriptions and
// the answer a chosen command gives the list request.
#include "core/child_fixture.h"
#include "ui/uiwin.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kList = "#Header line\nFirst item   \n$Its description  \nSecond item\nThird\n$Third's\n";

class ListPopup : public childtest::ChildTest {};

TEST_F(ListPopup, ItemsAndDescriptions)
{
    openSession(0);
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    char out[128];
    EXPECT_EQ(uiListPopupItem(0, 1, out, sizeof out), 11);
    EXPECT_STREQ(out, "&First item");
    EXPECT_GT(uiListPopupItem(0, 3, out, sizeof out), 0);
    EXPECT_STREQ(out, "&Third");
    EXPECT_EQ(uiListPopupItem(0, 4, out, sizeof out), -1);
    EXPECT_EQ(uiListPopupDescription(0, 1, out, sizeof out), 15);
    EXPECT_STREQ(out, "Its description");
    EXPECT_EQ(uiListPopupDescription(0, 2, out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    // A small buffer is never overrun.
    char tiny[4];
    EXPECT_EQ(uiListPopupItem(0, 1, tiny, sizeof tiny), 3);
    EXPECT_STREQ(tiny, "&Fi");
}

TEST_F(ListPopup, ChoiceIsWrittenIntoTheMessageAreaAndClosesThePopup)
{
    openSession(0);
    ChSession* s = sessAt(0);
    if (!s->areas)
        s->areas = mcsAreasNew();
    ASSERT_NE(s->areas, nullptr);
    s->flags = (uint16_t)((s->flags & ~CHF_MODE) | CHF_IDLE);
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    platSend(cuScreenAt(0)->wnd, PM_COMMAND, 602, 0);
    const uint8_t* m = s->areas->msgArea.data();
    EXPECT_EQ(m[14] << 8 | m[15], 2);
    EXPECT_EQ(m[18] << 8 | m[19], 80);
    EXPECT_EQ(m[16], ' ');
    EXPECT_EQ(std::string((const char*)m + 20, 11), "Second item");
    EXPECT_EQ(m[31], ' ');
    EXPECT_FALSE(uiListPopupIsOpen(0));
    // A later choice is ignored.
    s->areas->msgArea[16] = 'x';
    platSend(cuScreenAt(0)->wnd, PM_COMMAND, 601, 0);
    EXPECT_EQ(m[16], 'x');
}

TEST_F(ListPopup, ClosedWithoutAChoiceAnswersZero)
{
    openSession(0);
    ChSession* s = sessAt(0);
    if (!s->areas)
        s->areas = mcsAreasNew();
    s->flags = (uint16_t)((s->flags & ~CHF_MODE) | CHF_IDLE);
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    platSend(cuScreenAt(0)->wnd, PM_COMMAND, 699, 0);
    pumpIdle();
    EXPECT_EQ(s->areas->msgArea[16], '0');
    EXPECT_EQ(s->areas->msgArea[15], 0);
    EXPECT_FALSE(uiListPopupIsOpen(0));
}

TEST_F(ListPopup, NotInCharacterMode)
{
    openSession(0);
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    platSend(cuScreenAt(0)->wnd, PM_COMMAND, 601, 0);
    EXPECT_TRUE(uiListPopupIsOpen(0));
}

}  // namespace
