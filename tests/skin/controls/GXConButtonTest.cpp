// Buttons and pop-up-menu buttons against a fake skin window: the frame
// each Split shows per state (read back from the back buffer), the click
// state machine and what it sends, load errors, and the pop-up menu built
// from a test's own table, chosen without running a modal loop.
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConPopupMenuButton.h"

#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"

#include <QAction>
#include <QMenu>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

COLORREF FrameColor(int frame)
{
    return GxRgb(40 * frame + 10, 60, 90);
}

// A strip of n frames, each 4x3 and of one colour.
GDib Strip(int frames)
{
    return MakeDib(4 * frames, 3, [](int x, int) { return FrameColor(x / 4); });
}

// The colour the back buffer shows at the button's corner, as a frame.
int ShownFrame(const GDib& back)
{
    const COLORREF c = PixelAt(back, 1, 1);
    for (int f = 0; f < 5; ++f)
        if (c == FrameColor(f))
            return f;
    return c == kWhite ? -1 : -2;
}

enum class Act { Down, Up, Move, Leave };
struct Step {
    Act act;
    int button;
    int x;
};

void Drive(GXConButton& button, const std::vector<Step>& steps)
{
    for (const Step& s : steps) {
        bool flag = false;
        switch (s.act) {
        case Act::Down:
            button.OnButtonDown(s.button, s.x, 1, &flag);
            break;
        case Act::Up:
            button.OnButtonUp(s.button, s.x, 1, GXConBase::Captured::Yes);
            break;
        case Act::Move:
            button.OnMouseMove(s.x, 1, GXConBase::Captured::No, &flag);
            break;
        case Act::Leave:
            button.OnMouseLeave();
            break;
        }
    }
}

// A pop-up-menu button whose menu "runs" by picking the entry with a given
// command, and whose cursor is where the test says.
class ScriptedMenuButton : public GXConPopupMenuButton {
public:
    using GXConPopupMenuButton::GXConPopupMenuButton;
    int pick = 0;
    bool bUnloadWhileOpen = false;
    GXPoint cursor { 0, 0 };
    std::vector<QPoint> opened;
    std::vector<QString> seen;

protected:
    QAction* ExecMenu(QMenu& menu, const QPoint& at) override
    {
        if (bUnloadWhileOpen) {
            // The skin unloads while the menu runs: the button is gone.
            const QList<QAction*> actions = menu.actions();
            delete this;
            return actions.value(0);
        }
        opened.push_back(at);
        QAction* pChosen = nullptr;
        for (QAction* pAction : menu.actions()) {
            seen.push_back(pAction->text());
            if (pick != 0 && ChosenCommand(pAction) == pick)
                pChosen = pAction;
        }
        return pChosen;
    }
    GXPoint CursorPos() const override { return cursor; }
    SRect WorkAreaAt(GXPoint) const override { return SRect { 0, 0, 1000, 800 }; }
};

SGxMenuItem TestMenu()
{
    SGxMenuItem first { "File", 0, { { "Open", 501, {} }, { "", 0, {} }, { "Quit", 502, {} } } };
    SGxMenuItem second { "Sound", 0, { { "Mute", 601, {} }, { "More", 0, { { "Louder", 602, {} } } } } };
    return SGxMenuItem { "", 0, { first, second } };
}

} // namespace

TEST(GXConButton, SplitTableShowsTheFrameOfEachState)
{
    // The frame for disabled, normal, hot and pressed, and whether hovering
    // asks for a redraw.
    struct Case {
        int split;
        int frames[4];
        bool hoverRedraws;
    };
    const Case cases[] = {
        { 1, { 0, 0, 0, 0 }, false },
        { 2, { 0, 0, 0, 1 }, false },
        { 3, { 0, 0, 0, 1 }, false },
        { 4, { 3, 0, 1, 2 }, true },
        { 5, { 3, 0, 1, 2 }, true },
        { -3, { 0, 0, 1, 2 }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.split);
        FakeSkinOwner owner;
        owner.images["strip"] = Strip(std::abs(c.split));
        GDib back = MakeDib(10, 10, [](int, int) { return kWhite; });
        GXConButton button(&owner);
        button.SetIds(3, 0, 30, 0);
        ParsedElement element(
            R"(<ButtonControl ButtonControlType="bitmap" Image="strip" Split=")" + std::to_string(c.split) + "\"/>");
        ASSERT_TRUE(button.Load(&back, element.get()));
        button.SetPos(0, 0, 4, 3, GXConBase::Redraw::Yes);
        EXPECT_EQ(ShownFrame(back), c.frames[1]);
        bool wantLeave = false;
        EXPECT_EQ(button.OnMouseMove(1, 1, GXConBase::Captured::No, &wantLeave), c.hoverRedraws);
        button.Draw();
        EXPECT_EQ(ShownFrame(back), c.frames[2]);
        bool capture = false;
        EXPECT_TRUE(button.OnButtonDown(GXConBase::kButtonLeft, 1, 1, &capture));
        button.Draw();
        EXPECT_EQ(ShownFrame(back), c.frames[3]);
        button.SetEnable(false);
        button.Draw();
        EXPECT_EQ(ShownFrame(back), c.frames[0]);
    }
}

TEST(GXConButton, ClicksSendTheirCommands)
{
    struct Case {
        std::string name;
        std::string attributes;
        int ids[4]; // control, second, command, right command
        std::vector<Step> steps;
        std::vector<unsigned> commands;
        std::vector<std::string> scripts;
        GXConButton::State end;
    };
    const Case cases[] = {
        { "left click", "", { 3, 0, 30, 0 }, { { Act::Move, 0, 1 }, { Act::Down, 1, 1 }, { Act::Up, 1, 1 } }, { 30 },
            {}, GXConButton::State::Hot },
        { "no command: control id", "", { 3, 0, 0, 0 }, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } }, { 3 }, {},
            GXConButton::State::Hot },
        { "released outside", "", { 3, 0, 30, 0 }, { { Act::Down, 1, 1 }, { Act::Up, 1, 40 } }, {}, {},
            GXConButton::State::Normal },
        { "left down, right up", "", { 3, 0, 30, 31 }, { { Act::Down, 1, 1 }, { Act::Up, 2, 1 } }, {}, {},
            GXConButton::State::Pressed },
        { "right without RCMD and ID2", "", { 3, 0, 30, 0 }, { { Act::Down, 2, 1 }, { Act::Up, 2, 1 } }, {}, {},
            GXConButton::State::Normal },
        { "right with RCMD", "", { 3, 4, 30, 31 }, { { Act::Down, 2, 1 }, { Act::Up, 2, 1 } }, { 31 }, {},
            GXConButton::State::Hot },
        { "double click", "", { 3, 0, 30, 0 }, { { Act::Down, 4, 1 }, { Act::Up, 4, 1 } }, { 30 }, {},
            GXConButton::State::Hot },
        { "script", R"x(OnEvent="Play()")x", { 3, 0, 30, 0 }, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } }, {},
            { "Play()" }, GXConButton::State::Hot },
        { "disabled", R"(Enable="0")", { 3, 0, 30, 0 }, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } }, {}, {},
            GXConButton::State::Normal },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSkinOwner owner;
        GXConButton button(&owner);
        button.SetIds(c.ids[0], c.ids[1], c.ids[2], c.ids[3]);
        ParsedElement element(R"(<ButtonControl ButtonControlType="transparent" )" + c.attributes + "/>");
        ASSERT_TRUE(button.Load(nullptr, element.get()));
        button.SetPos(0, 0, 10, 10, GXConBase::Redraw::No);
        Drive(button, c.steps);
        EXPECT_EQ(owner.Commands(), c.commands);
        EXPECT_EQ(owner.scripts, c.scripts);
        EXPECT_EQ(button.GetState(), c.end);
    }
}

TEST(GXConButton, LoadErrorsNameWhatFailed)
{
    struct Case {
        std::string element;
        int code;
        std::string detail;
    };
    const Case cases[] = {
        { R"(<ButtonControl/>)", 4, "ButtonControlType" },
        { R"(<ButtonControl ButtonControlType="bitmap" Image="strip" Split="6"/>)", 7, "Split=6" },
        { R"(<ButtonControl ButtonControlType="bitmap"/>)", 4, "Image" },
        { R"(<ButtonControl ButtonControlType="round"/>)", 7, "ButtonControlType=round" },
        { R"(<ButtonControl ButtonControlType="fillframe" Image="strip" Image4="gone"/>)", 5, "gone" },
        { R"(<ButtonControl ButtonControlType="color" FontName="nofont"/>)", 6, "nofont" },
        { R"(<PopupMenuButtonControl ButtonControlType="color" MenuID="IDR_NONE" SubMenu="0"/>)", 47, "IDR_NONE" },
        { R"(<PopupMenuButtonControl ButtonControlType="color" MenuID="IDR_MAIN" SubMenu="0" MenuPosition="left"/>)", 7,
            "MenuPosition=left" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        FakeSkinOwner owner;
        owner.images["strip"] = Strip(4);
        owner.ids["IDR_MAIN"] = 900;
        GXConPopupMenuButton button(&owner);
        ParsedElement element(c.element);
        EXPECT_FALSE(button.Load(nullptr, element.get()));
        EXPECT_EQ(button.GetErrorCode(), c.code);
        EXPECT_EQ(button.GetErrorDetail(), c.detail);
    }
}

TEST(GXConButton, ImageSetsAndTheirDefault)
{
    FakeSkinOwner owner;
    owner.images["a"] = Strip(4);
    owner.images["b"] = MakeDib(16, 3, [](int, int) { return GxRgb(1, 2, 3); });
    GDib back = MakeDib(10, 10, [](int, int) { return kWhite; });
    GXConButton button(&owner);
    ParsedElement element(R"(<ButtonControl ButtonControlType="bitmap" Image="a" Image3="b" DefaultImageNum="1"/>)");
    ASSERT_TRUE(button.Load(&back, element.get()));
    EXPECT_EQ(button.GetImageNum(), 0); // slot 1 is empty
    button.SetPos(0, 0, 4, 3, GXConBase::Redraw::No);
    bool capture = false;
    button.OnButtonDown(GXConBase::kButtonLeft, 1, 1, &capture);
    EXPECT_FALSE(button.SetImageNum(5));
    EXPECT_EQ(button.GetState(), GXConButton::State::Pressed);
    EXPECT_TRUE(button.SetImageNum(2));
    EXPECT_EQ(button.GetImageNum(), 2);
    EXPECT_EQ(button.GetState(), GXConButton::State::Normal);
    button.Draw();
    EXPECT_EQ(PixelAt(back, 1, 1), GxRgb(1, 2, 3));
}

TEST(GXConPopupMenuButton, MenuTableBuildsActionsCarryingCommands)
{
    const SGxMenuItem menu = TestMenu();
    const auto pFile = GXConPopupMenuButton::BuildMenu(menu.children[0]);
    const QList<QAction*> actions = pFile->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "Open");
    EXPECT_EQ(GXConPopupMenuButton::ChosenCommand(actions[0]), 501);
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(GXConPopupMenuButton::ChosenCommand(actions[2]), 502);
    EXPECT_EQ(GXConPopupMenuButton::ChosenCommand(nullptr), 0);
    const auto pSound = GXConPopupMenuButton::BuildMenu(menu.children[1]);
    ASSERT_EQ(pSound->actions().size(), 2);
    QMenu* pMore = pSound->actions()[1]->menu();
    ASSERT_NE(pMore, nullptr);
    EXPECT_EQ(GXConPopupMenuButton::ChosenCommand(pMore->actions()[0]), 602);
}

TEST(GXConPopupMenuButton, MenuOpensInsideTheWorkArea)
{
    using P = GXConPopupMenuButton::Position;
    using Place = GXConPopupMenuButton::SPlace;
    const SRect work { 0, 0, 1000, 800 };
    struct Case {
        SRect button;
        P position;
        Place place;
    };
    const Case cases[] = {
        { { 10, 100, 60, 120 }, P::Down, { 10, 120, false } },
        { { 10, 700, 60, 720 }, P::Down, { 10, 700, true } }, // would leave the bottom: opens upward
        { { 10, 500, 60, 520 }, P::Up, { 10, 500, true } },
        { { 10, 100, 60, 120 }, P::Up, { 10, 120, false } }, // would reach the top: opens downward
    };
    for (const Case& c : cases)
        EXPECT_EQ(GXConPopupMenuButton::PlaceMenu(c.button, work, 100, c.position), c.place);
}

TEST(GXConPopupMenuButton, ClickOpensTheMenuAndSendsTheChoice)
{
    struct Case {
        std::string name;
        int subMenu;
        int pick;
        std::intptr_t ownerAnswer;
        std::vector<unsigned> commands;
        std::vector<QString> seen;
    };
    const Case cases[] = {
        { "chosen", 0, 502, 0, { 30, 502 }, { "Open", "", "Quit" } },
        { "owner handles it", 1, 601, 1, { 30 }, { "Mute", "More" } },
        { "dismissed", 0, 0, 0, { 30 }, { "Open", "", "Quit" } },
        { "no such pop-up: empty menu", 7, 0, 0, { 30 }, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSkinOwner owner;
        owner.ids["IDR_MAIN"] = 900;
        owner.menus[900] = TestMenu();
        owner.ownerAnswer = c.ownerAnswer;
        ScriptedMenuButton button(&owner);
        button.SetIds(3, 0, 30, 0);
        button.pick = c.pick;
        ParsedElement element(R"(<PopupMenuButtonControl ButtonControlType="transparent" MenuID="IDR_MAIN" SubMenu=")"
            + std::to_string(c.subMenu) + "\"/>");
        ASSERT_TRUE(button.Load(nullptr, element.get()));
        button.SetPos(10, 20, 30, 15, GXConBase::Redraw::No);
        Drive(button, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } });
        ASSERT_EQ(button.opened.size(), 1u);
        EXPECT_EQ(button.opened[0], QPoint(110, 235)); // below the button on the screen
        EXPECT_EQ(button.seen, c.seen);
        EXPECT_EQ(owner.ownerCodes, (std::vector<int> { 2, 3 }));
        EXPECT_EQ(owner.Commands(), c.commands);
        EXPECT_EQ(button.GetState(), GXConButton::State::Normal);
        EXPECT_FALSE(button.IsMenuOpen()); // the cursor is not on the button
    }
}

TEST(GXConPopupMenuButton, ClickThatClosedTheMenuDoesNotReopenIt)
{
    FakeSkinOwner owner;
    owner.ids["IDR_MAIN"] = 900;
    owner.menus[900] = TestMenu();
    ScriptedMenuButton button(&owner);
    ParsedElement element(R"(<PopupMenuButtonControl ButtonControlType="transparent" MenuID="IDR_MAIN" SubMenu="0"/>)");
    ASSERT_TRUE(button.Load(nullptr, element.get()));
    button.SetPos(10, 20, 30, 15, GXConBase::Redraw::No);
    button.cursor = GXPoint { 115, 225 }; // on the button: the menu was closed by clicking it
    Drive(button, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } });
    EXPECT_TRUE(button.IsMenuOpen());
    Drive(button, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } });
    EXPECT_EQ(button.opened.size(), 1u);
    EXPECT_FALSE(button.IsMenuOpen());
    Drive(button, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } });
    EXPECT_EQ(button.opened.size(), 2u);

    // A menu id the program has no menu for: the click stays a plain click.
    FakeSkinOwner bare;
    bare.ids["IDR_MAIN"] = 900;
    ScriptedMenuButton orphan(&bare);
    orphan.SetIds(3, 0, 30, 0);
    ASSERT_TRUE(orphan.Load(nullptr, element.get()));
    orphan.SetPos(10, 20, 30, 15, GXConBase::Redraw::No);
    Drive(orphan, { { Act::Down, 1, 1 }, { Act::Up, 1, 1 } });
    EXPECT_TRUE(orphan.opened.empty());
    EXPECT_EQ(bare.Commands(), (std::vector<unsigned> { 30 }));
}

TEST(GXConPopupMenuButton, SkinUnloadedWhileTheMenuRuns)
{
    FakeSkinOwner owner;
    owner.ids["IDR_MAIN"] = 900;
    owner.menus[900] = TestMenu();
    auto* pButton = new ScriptedMenuButton(&owner);
    pButton->bUnloadWhileOpen = true;
    ParsedElement element(R"(<PopupMenuButtonControl ButtonControlType="transparent" MenuID="IDR_MAIN" SubMenu="0"/>)");
    ASSERT_TRUE(pButton->Load(nullptr, element.get()));
    pButton->SetPos(10, 20, 30, 15, GXConBase::Redraw::No);
    bool capture = false;
    pButton->OnButtonDown(GXConBase::kButtonLeft, 1, 1, &capture);
    EXPECT_TRUE(pButton->OnButtonUp(GXConBase::kButtonLeft, 1, 1, GXConBase::Captured::Yes));
    // Only the opening notice: nothing is sent for a button that is gone.
    EXPECT_EQ(owner.ownerCodes, (std::vector<int> { 2 }));
}
