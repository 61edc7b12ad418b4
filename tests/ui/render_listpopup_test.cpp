// The list pop-up of a session window: its items, their descriptions and
// the answer a chosen command gives the list request.
#include "core/child_fixture.h"
#include "ui/uiwin.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kList = "#Header line\nFirst item   \n$Its description  \nSecond item\nThird\n$Third's\n";

class ListPopup : public childtest::ChildTest {
protected:
    // A session idle in MCS mode with its message area.
    ChSession* idleMcsSession()
    {
        openSession(0);
        ChSession* s = sessAt(0);
        if (!s->areas)
            s->areas = mcsAreasNew();
        s->flags = (uint16_t)((s->flags & ~CHF_MODE) | CHF_IDLE);
        return s;
    }
};

TEST_F(ListPopup, ItemsAndDescriptions)
{
    openSession(0);
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    // The menu is the session window's, at its top-left corner.
    ASSERT_EQ(headlessPopups().size(), 1u);
    const HeadlessPopup& p = headlessPopups()[0];
    EXPECT_EQ(p.owner, cuScreenAt(0)->wnd);
    EXPECT_EQ(p.at.x, 0);
    EXPECT_EQ(p.at.y, 0);
    std::vector<std::pair<int32_t, std::string>> items;
    for (const HeadlessPopupItem& it : p.items)
        items.push_back({it.id, it.text});
    EXPECT_EQ(items, (std::vector<std::pair<int32_t, std::string>>{{601, "&First item"}, {602, "&Second item"}, {603, "&Third"}}));
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
    ChSession* s = idleMcsSession();
    ASSERT_NE(s->areas, nullptr);
    headlessSetPopupPolicy([](const HeadlessPopup&) { return 602; });
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    EXPECT_TRUE(uiListPopupIsOpen(0)) << "the choice is posted";
    pumpIdle();
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
    ChSession* s = idleMcsSession();
    // The default policy closes the menu without a choice.
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    EXPECT_EQ(headlessPopups().back().chosen, 0);
    pumpIdle();
    EXPECT_EQ(s->areas->msgArea[16], '0');
    EXPECT_EQ(s->areas->msgArea[15], 0);
    EXPECT_FALSE(uiListPopupIsOpen(0));
}

TEST_F(ListPopup, WithoutItemsNothingIsShownAndThePopupCloses)
{
    idleMcsSession();
    const std::string headersOnly = "#Header\n$note\n";
    EXPECT_EQ(uiListPopupOpen(0, headersOnly.data(), (int)headersOnly.size(), '#', '$'), -1);
    EXPECT_FALSE(uiListPopupIsOpen(0));
    EXPECT_TRUE(headlessPopups().empty());
}

TEST_F(ListPopup, NotInCharacterMode)
{
    openSession(0);
    ASSERT_EQ(uiListPopupOpen(0, kList.data(), (int)kList.size(), '#', '$'), 0);
    platSend(cuScreenAt(0)->wnd, PM_COMMAND, 601, 0);
    EXPECT_TRUE(uiListPopupIsOpen(0));
}

}  // namespace
