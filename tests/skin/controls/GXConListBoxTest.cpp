// The list box in a test window: a 100-pixel high list of 20-pixel rows
// (five visible) with a real slider as its scroll bar, driven by clicks,
// keys and the wheel as the window hands them over.
#include "skin/controls/GXConListBox.h"

#include "skin/controls/GXConSlider.h"
#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"
#include "support/SkinWindowRig.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Hangs a control into the test's layout tree under an id and its name.
GXManAlign* AddNode(FakeSkinOwner& owner, GXManAlign& root, GXConBase* pControl, int nId, const std::string& name)
{
    SGxAlign align;
    align.nType = SGxAlign::kNoMove;
    owner.ids[name] = nId;
    return owner.nodes[nId] = root.AddChild(pControl, align);
}

constexpr int kSliderId = 7;
constexpr int kListId = 9;
constexpr int kHome = 0x24, kEnd = 0x23, kPrior = 0x21, kNext = 0x22, kUp = 0x26, kDown = 0x28, kKeyA = 0x41;

class TestListBox : public GXConListBox {
public:
    using GXConListBox::GXConListBox;
    SModifiers held;

protected:
    SModifiers HeldModifiers() const override { return held; }
};

struct ListRig {
    explicit ListRig(const std::string& attributes, int nItems = 7, int nWidth = 120)
    {
        AddNode(owner, root, &slider, kSliderId, "IDC_SCROLL");
        const ParsedElement sliderDoc(R"(<SliderControl Orientation="vertical" ScrollBar="1"/>)");
        EXPECT_TRUE(slider.Load(nullptr, sliderDoc.get()));
        owner.nodes[kSliderId]->Place(nWidth - 10, 0, nWidth, 100);
        const ParsedElement doc(R"(<ListBoxControl ItemHeight="20" SliderControlID="IDC_SCROLL" )" + attributes + "/>");
        loaded = list.Load(&backBuffer, doc.get());
        list.SetIds(kListId, 0, 0, 0);
        for (int i = 0; i < nItems; ++i)
            list.InsertItem(i, "item " + std::to_string(i), GXConBase::Redraw::No);
        EXPECT_TRUE(backBuffer.Create24(nWidth, 100));
        list.SetPos(0, 0, nWidth, 100, GXConBase::Redraw::No);
    }

    std::set<int> Selected() const
    {
        std::set<int> s;
        for (int i = 0; i < list.GetCount(); ++i) {
            if (list.IsSelected(i))
                s.insert(i);
        }
        return s;
    }

    // Left button down and up over row k of the view.
    void Click(int nRow, GXConListBox::SModifiers held = {})
    {
        list.held = held;
        bool bCapture = false;
        list.OnButtonDown(GXConBase::kButtonLeft, 5, nRow * 20 + 5, &bCapture);
        list.OnButtonUp(GXConBase::kButtonLeft, 5, nRow * 20 + 5, GXConBase::Captured::No);
        list.held = {};
    }

    bool Key(int nKey, GXConListBox::SModifiers held = {})
    {
        list.held = held;
        const bool bTaken = list.OnKeyDown(nKey, 1, 0);
        list.held = {};
        return bTaken;
    }

    FakeSkinOwner owner;
    GXManAlign root;
    GXConSlider slider { &owner };
    TestListBox list { &owner };
    GDib backBuffer;
    bool loaded = false;
};

constexpr GXConListBox::SModifiers kShift { true, false };
constexpr GXConListBox::SModifiers kCtrl { false, true };

} // namespace

TEST(GXConListBox, KeysMoveTheSelectionAndTheViewFollows)
{
    struct Case {
        const char* name;
        std::string style;
        int start; // item selected first, -1 for none
        int wheel; // wheel delta before the key
        int key;
        GXConListBox::SModifiers held;
        bool taken;
        std::set<int> selected;
        int current;
        int top;
    };
    const Case cases[] = {
        { "page down shows a whole page further", "", 0, 0, kNext, {}, true, { 5 }, 5, 1 },
        { "page up stops at the first item", "", 3, 0, kPrior, {}, true, { 0 }, 0, 0 },
        { "up without a current item takes the top row", "", -1, -120, kUp, {}, true, { 2 }, 2, 2 },
        { "down moves one", "", 3, 0, kDown, {}, true, { 4 }, 4, 0 },
        { "end goes to the last item", "", 0, 0, kEnd, {}, true, { 6 }, 6, 2 },
        { "home scrolls back", "", 6, 0, kHome, {}, true, { 0 }, 0, 0 },
        { "shift extends from the anchor", "multiselect", 2, 0, kDown, kShift, true, { 2, 3 }, 3, 0 },
        { "shift in a single-select list moves", "", 2, 0, kDown, kShift, true, { 3 }, 3, 0 },
        { "ctrl+a selects every item", "multiselect", 2, 0, kKeyA, kCtrl, true, { 0, 1, 2, 3, 4, 5, 6 }, 6, 0 },
        { "ctrl+a needs a multiselect list", "", 2, 0, kKeyA, kCtrl, true, { 2 }, 2, 0 },
        { "a plain letter is not ours", "multiselect", 2, 0, kKeyA, {}, false, { 2 }, 2, 0 },
        { "left is not ours", "", 2, 0, 0x25, {}, false, { 2 }, 2, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ListRig rig("Style=\"" + c.style + "\"");
        ASSERT_TRUE(rig.loaded);
        if (c.start >= 0)
            rig.list.SetSel(c.start, GXConListBox::Select::Yes, GXConListBox::NotifyChange::No);
        if (c.wheel != 0) {
            EXPECT_TRUE(rig.list.OnMouseWheel(0, c.wheel, 5, 5));
        }
        EXPECT_EQ(rig.Key(c.key, c.held), c.taken);
        EXPECT_EQ(rig.Selected(), c.selected);
        EXPECT_EQ(rig.list.GetCurrentIndex(), c.current);
        EXPECT_EQ(rig.list.GetTopIndex(), c.top);
        // Seven items in five rows: the slider runs over two positions.
        EXPECT_EQ(rig.slider.GetPos(), c.top);
    }
}

TEST(GXConListBox, ClicksSelectByStyleAndModifiersAndNotify)
{
    struct Click {
        int row;
        GXConListBox::SModifiers held;
    };
    struct Case {
        const char* name;
        std::string style;
        std::vector<Click> clicks;
        std::set<int> selected;
        std::size_t notifications;
    };
    const Case cases[] = {
        { "single select keeps one", "", { { 1, {} }, { 3, {} } }, { 3 }, 2 },
        { "shift selects down from the anchor", "multiselect", { { 1, {} }, { 4, kShift } }, { 1, 2, 3, 4 }, 2 },
        { "shift selects up from the anchor", "multiselect", { { 3, {} }, { 0, kShift } }, { 0, 1, 2, 3 }, 2 },
        { "ctrl adds and removes", "multiselect", { { 1, {} }, { 3, kCtrl }, { 1, kCtrl } }, { 3 }, 3 },
        { "plain click replaces a multiple selection", "multiselect", { { 1, {} }, { 3, kCtrl }, { 2, {} } }, { 2 },
            3 },
        { "ez toggles on release", "ezmultiselect", { { 1, {} }, { 3, {} }, { 1, {} } }, { 3 }, 3 },
        { "a click below the items clears", "multiselect", { { 1, {} }, { 4, kCtrl }, { 5, {} } }, {}, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ListRig rig("Style=\"" + c.style + "\"", 5);
        for (const Click& click : c.clicks)
            rig.Click(click.row, click.held);
        EXPECT_EQ(rig.Selected(), c.selected);
        ASSERT_EQ(rig.owner.notified.size(), c.notifications);
        for (const SGxNotifyRecord& record : rig.owner.notified) {
            EXPECT_EQ(record.message, GXConListBox::ItemChangedMessage());
            EXPECT_EQ(record.wParam, static_cast<std::uintptr_t>(kListId));
            EXPECT_EQ(record.lParam, reinterpret_cast<std::intptr_t>(&rig.list));
        }
    }
}

TEST(GXConListBox, IndicesFollowTheirItemsThroughInsertDeleteAndSwap)
{
    ListRig rig("Style=\"multiselect\"");
    rig.list.SetSel(3, GXConListBox::Select::Yes, GXConListBox::NotifyChange::No);
    EXPECT_EQ(rig.list.InsertItem(0, "new first", GXConBase::Redraw::Yes), 0);
    EXPECT_EQ(rig.list.GetCurrentIndex(), 4);
    // Inserting at the current item's own index pushes it down too.
    EXPECT_EQ(rig.list.InsertItem(4, "before current", GXConBase::Redraw::Yes), 4);
    EXPECT_EQ(rig.list.GetCurrentIndex(), 5);
    EXPECT_EQ(rig.list.GetItem(5)->columns[0].text, "item 3");
    EXPECT_EQ(rig.list.InsertItem(-1, "x", GXConBase::Redraw::No), -1);
    EXPECT_EQ(rig.list.InsertItem(10, "x", GXConBase::Redraw::No), -1);

    rig.list.SwapItems(5, 0);
    EXPECT_EQ(rig.list.GetCurrentIndex(), 0);
    EXPECT_EQ(rig.list.GetItem(0)->columns[0].text, "item 3");
    EXPECT_TRUE(rig.list.DeleteItem(1));
    EXPECT_EQ(rig.list.GetCurrentIndex(), 0);
    EXPECT_TRUE(rig.list.DeleteItem(0));
    EXPECT_EQ(rig.list.GetCurrentIndex(), -1);
    EXPECT_FALSE(rig.list.DeleteItem(-1));

    rig.list.SetSel(2, GXConListBox::Select::Yes, GXConListBox::NotifyChange::No);
    EXPECT_TRUE(rig.list.DeleteAll());
    EXPECT_EQ(rig.list.GetCurrentIndex(), -1);
    EXPECT_EQ(rig.list.GetAnchorIndex(), -1);
    EXPECT_FALSE(rig.Key(kDown));
    rig.list.InsertItem(0, "again", GXConBase::Redraw::Yes);
    rig.Click(0, kShift);
    EXPECT_EQ(rig.Selected(), std::set<int> { 0 });
    // Shift+click after the anchor's item was deleted selects like a click.
    rig.list.InsertItem(1, "b", GXConBase::Redraw::No);
    rig.list.InsertItem(2, "c", GXConBase::Redraw::No);
    rig.Click(2, kShift);
    EXPECT_TRUE(rig.list.DeleteItem(0));
    rig.Click(0, kShift);
    EXPECT_EQ(rig.Selected(), std::set<int> { 0 });
}

TEST(GXConListBox, ScrollsWithTheWheelAndTheSlider)
{
    ListRig rig("");
    struct Step {
        const char* name;
        int delta;
        bool taken;
        int top;
    };
    const Step steps[] = {
        { "a notch down goes as far as it can", -120, true, 2 },
        { "half a notch waits", 60, true, 2 },
        { "the other half scrolls up", 60, true, 0 },
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(rig.list.OnMouseWheel(0, s.delta, 5, 5), s.taken);
        EXPECT_EQ(rig.list.GetTopIndex(), s.top);
        EXPECT_EQ(rig.slider.GetPos(), s.top);
    }
    // Pressing the slider at the bottom of its track scrolls to the end.
    bool bCapture = false;
    rig.slider.OnButtonDown(GXConBase::kButtonLeft, 5, 99, &bCapture);
    rig.slider.OnButtonUp(GXConBase::kButtonLeft, 5, 99, GXConBase::Captured::Yes);
    EXPECT_EQ(rig.list.GetTopIndex(), 2);
    EXPECT_EQ(rig.list.ItemFromY(5), 2);
    EXPECT_EQ(rig.list.ItemFromY(99), 6);

    ListRig fits("", 5);
    EXPECT_FALSE(fits.list.OnMouseWheel(0, -120, 5, 5));
    // Below the last item there is no item, even inside the rows.
    ListRig few("", 2);
    EXPECT_EQ(few.list.ItemFromY(45), -1);
    EXPECT_EQ(few.list.ItemFromY(-1), -1);
}

TEST(GXConListBox, ACutCellShowsItsTextAsTooltip)
{
    ListRig rig("", 0, 70);
    rig.list.InsertItem(0, "Rock & Roll Ain't Noise Pollution", GXConBase::Redraw::Yes);
    rig.list.InsertItem(1, "ok", GXConBase::Redraw::Yes);
    bool bWantLeave = false;
    rig.list.OnMouseMove(5, 5, GXConBase::Captured::No, &bWantLeave);
    EXPECT_TRUE(bWantLeave);
    EXPECT_EQ(rig.list.GetTooltip(), "Rock && Roll Ain't Noise Pollution");
    rig.list.OnMouseMove(5, 25, GXConBase::Captured::No, &bWantLeave);
    EXPECT_EQ(rig.list.GetTooltip(), "");
    EXPECT_EQ(rig.list.GetTooltip(), "");
}

TEST(GXConListBox, DrawsRowsByStateAndColumnsTheHeaderHasGaps)
{
    // Column 1 is not named: it has no width, and the items' missing second
    // and third cells draw as empty.
    FakeSkinOwner owner;
    GXManAlign root;
    GXConBase header(&owner), column0(&owner), column2(&owner);
    AddNode(owner, root, &header, 20, "IDC_HEADER")->Place(0, 0, 100, 10);
    AddNode(owner, root, &column0, 21, "IDC_COL0")->Place(0, 0, 40, 10);
    AddNode(owner, root, &column2, 22, "IDC_COL2")->Place(40, 0, 100, 10);
    TestListBox list(&owner);
    const ParsedElement doc(R"(<ListBoxControl ItemHeight="20" ColumnHeader="true" ColumnHeaderID="IDC_HEADER")"
                            R"( Column0="IDC_COL0" Column2="IDC_COL2" ClrDefaultTextBk="#102030")"
                            R"( ClrSelTextBk="#405060"/>)");
    GDib backBuffer;
    ASSERT_TRUE(backBuffer.Create24(100, 100));
    ASSERT_TRUE(list.Load(&backBuffer, doc.get()));
    EXPECT_EQ(list.GetColumnCount(), 3);
    for (int i = 0; i < 6; ++i)
        list.InsertItem(i, "row", GXConBase::Redraw::No);
    list.SetPos(0, 0, 100, 100, GXConBase::Redraw::No);
    list.SetSel(1, GXConListBox::Select::Yes, GXConListBox::NotifyChange::No);
    list.RedrawItems(GXConListBox::Full::Yes);
    list.Draw();
    // Rows start under the 10-pixel header: four rows fit.
    EXPECT_EQ(list.GetVisibleRows(), 4);
    EXPECT_EQ(PixelAt(backBuffer, 95, 12), GxRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(PixelAt(backBuffer, 95, 32), GxRgb(0x40, 0x50, 0x60));
    EXPECT_EQ(PixelAt(backBuffer, 95, 52), GxRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(list.ItemFromY(12), 0);
    EXPECT_EQ(list.ItemFromY(5), -1);

    EXPECT_EQ(list.ColumnFromX(40), 0);
    EXPECT_EQ(list.ColumnFromX(41), 2);
    EXPECT_EQ(list.ColumnFromX(100), -1);
}

TEST(GXConListBox, LoadRefusesWhatTheSkinCannotBack)
{
    struct Case {
        std::string attributes;
        int error;
        std::string detail;
    };
    const Case cases[] = {
        { R"(ItemHeight="0")", 8, "0" },
        { R"(ItemHeight="-20")", 8, "-20" },
        { R"(SliderControlID="IDC_NOWHERE")", 9, "IDC_NOWHERE" },
        { R"(ColumnHeader="true")", 10, "ColumnHeaderID" },
        { R"(ColumnHeader="1" ColumnHeaderID="IDC_HEADER" Column3="IDC_GONE")", 11, "IDC_GONE" },
        { R"(ItemFrame="missing.bmp")", 5, "missing.bmp" },
        { R"(FontName="NoFont")", 6, "NoFont" },
        { R"(ColumnHeader="yes" ColumnHeaderID="IDC_NOWHERE")", 0, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        FakeSkinOwner owner;
        owner.ids["IDC_HEADER"] = 20;
        GXConListBox list(&owner);
        const ParsedElement doc("<ListBoxControl " + c.attributes + "/>");
        EXPECT_EQ(list.Load(nullptr, doc.get()), c.error == 0);
        EXPECT_EQ(list.GetErrorCode(), c.error);
        EXPECT_EQ(list.GetErrorDetail(), c.detail);
    }
}

TEST(GXConListBox, ASingleSelectListTakesKeysAndTheWheelInItsWindow)
{
    SkinWindowRig rig(200, 100);
    auto pOwned = std::make_unique<GXConListBox>(rig.pWindow.get());
    GXConListBox* pList = pOwned.get();
    const ParsedElement element(R"(<ListBoxControl ItemHeight="20"/>)");
    ASSERT_TRUE(pList->Load(nullptr, element.get()));
    for (int i = 0; i < 7; ++i)
        pList->InsertItem(i, "item " + std::to_string(i), GXConBase::Redraw::No);
    SGxAlign align;
    align.nType = SGxAlign::kNone;
    align.rect = SRect { 0, 0, 100, 100 };
    rig.pWindow->AddControl(std::move(pOwned), align);
    rig.pWindow->HandleSize(0, 200, 100);

    rig.pWindow->HandleButtonDown(GXButton::kLeft, { 5, 25 });
    rig.pWindow->HandleButtonUp(GXButton::kLeft, { 5, 25 });
    EXPECT_EQ(rig.pWindow->GetFocusControl(), pList);
    rig.pWindow->HandleKey(GXMsg::kKeyDown, GXKey::kDown, 1);
    EXPECT_EQ(pList->GetFirstSel(), 2);
    EXPECT_TRUE(rig.owner.Only(GXMsg::kKeyDown).empty());
    EXPECT_TRUE(rig.pWindow->HandleWheel(0, -120, { 5, 25 }));
    EXPECT_EQ(pList->GetTopIndex(), 2);
    EXPECT_TRUE(rig.owner.Only(GXMsg::kMouseWheel).empty());
}
