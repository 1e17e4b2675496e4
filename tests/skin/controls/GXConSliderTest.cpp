// The slider against a fake skin window: pointer to value and position to
// knob both ways (reversed ranges, scroll-bar grip, a track the knob
// fills), the drag and hover reports, and the composed picture checked
// pixel by pixel against one built here from the images.
#include "skin/controls/GXConSlider.h"
#include "skin/controls/GXConSliderParent.h"

#include "platform/MessageRegistry.h"
#include "skin/GXSkinIds.h"
#include "support/DibPixels.h"
#include "support/FakeSkinOwner.h"

#include <cmath>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

COLORREF TrackPixel(int x, int y)
{
    return GxRgb(20 * x + 5, 30 + y, 77);
}
COLORREF KnobPixel(int x, int y)
{
    return x == 0 && y == 0 ? kGxColorKey : GxRgb(200, 10 * x, 10 * y);
}

void AddImages(FakeSkinOwner* pOwner)
{
    pOwner->images["track"] = MakeDib(10, 6, TrackPixel);
    pOwner->images["knob"] = MakeDib(4, 6, KnobPixel);
    pOwner->images["hot"] = MakeDib(4, 6, [](int, int) { return GxRgb(1, 1, 1); });
}

std::unique_ptr<GXConSlider> MakeSlider(FakeSkinOwner* pOwner, const std::string& attributes, GDib* pBack = nullptr)
{
    auto slider = std::make_unique<GXConSlider>(pOwner);
    ParsedElement element(R"(<SliderControl Image="track" ImageKnob="knob" )" + attributes + "/>");
    EXPECT_TRUE(slider->Load(pBack, element.get()));
    slider->SetIds(9, 0, 0, 0);
    return slider;
}

struct Report {
    unsigned message;
    int value;
    friend bool operator==(const Report&, const Report&) = default;
};

std::vector<Report> Reports(const FakeSkinOwner& owner)
{
    std::vector<Report> out;
    for (const SGxNotifyRecord& r : owner.notified) {
        EXPECT_EQ(r.lParam, 9);
        out.push_back({ r.message, static_cast<int>(static_cast<std::intptr_t>(r.wParam)) });
    }
    return out;
}

class RecordingParent : public GXConSliderParent {
public:
    void PosChange(int nPos, int nId) override
    {
        calls.push_back("change " + std::to_string(nPos) + "/" + std::to_string(nId));
    }
    void PosChangeEnd(int nPos, int) override { calls.push_back("end " + std::to_string(nPos)); }
    void PosScanning(int nValue, int) override { calls.push_back("scan " + std::to_string(nValue)); }
    std::vector<std::string> calls;
};

} // namespace

TEST(GXConSlider, PointerToValue)
{
    struct Case {
        std::string attributes;
        int length;
        int from;
        int to;
        int coordinate;
        int value;
    };
    const Case cases[] = {
        // 40 long, edges 2+2: the knob centre travels 36 pixels from x 2.
        { R"(ImageEdge="2,2")", 40, 0, 100, 0, 0 },
        { R"(ImageEdge="2,2")", 40, 0, 100, 11, 25 },
        { R"(ImageEdge="2,2")", 40, 0, 100, 20, 50 },
        { R"(ImageEdge="2,2")", 40, 0, 100, 38, 100 },
        { R"(ImageEdge="2,2")", 40, 0, 100, 12, 28 }, // 10 of 36: 27.8 rounds up
        // Values come in internal order: low to high whatever SetRange got.
        { R"(ImageEdge="2,2")", 40, 100, 0, 11, 25 },
        { R"(ImageEdge="6,2")", 40, -50, 50, 6, -50 },
        // The scroll-bar grip holds the knob at its centre: half of 6+2.
        { R"(ImageEdge="6,2" ScrollBar="1")", 40, -50, 50, 6, -44 },
        { R"(ImageEdge="2,2" Orientation="vertical")", 40, 0, 36, 20, 18 },
        // A knob that fills the control leaves no track: the minimum.
        { R"(ImageEdge="20,20")", 40, 10, 90, 30, 10 },
        { R"(ImageEdge="2,2")", 40, INT32_MIN, INT32_MAX, 38, INT32_MAX },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes + " at " + std::to_string(c.coordinate));
        FakeSkinOwner owner;
        AddImages(&owner);
        auto slider = MakeSlider(&owner, c.attributes);
        const bool bVertical = c.attributes.find("vertical") != std::string::npos;
        slider->SetPos(0, 0, bVertical ? 6 : c.length, bVertical ? c.length : 6, GXConBase::Redraw::No);
        slider->SetRange(c.from, c.to, GXConBase::Redraw::No);
        EXPECT_EQ(slider->ValueAt(c.coordinate), c.value);
    }
}

TEST(GXConSlider, PositionToKnob)
{
    struct Case {
        int from;
        int to;
        int pos;
        int getPos;
        int internal;
        int knob;
    };
    const Case cases[] = {
        { 0, 100, 50, 50, 50, 18 },
        { 0, 100, 150, 100, 100, 36 },
        { 100, 0, 30, 30, 70, 25 }, // reversed: 70 % of the travel from the start
        { -10, 10, 5, 5, 5, 27 },
        { 7, 7, 3, 7, 7, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to) + " pos " + std::to_string(c.pos));
        FakeSkinOwner owner;
        AddImages(&owner);
        auto slider = MakeSlider(&owner, R"(ImageEdge="2,2")");
        slider->SetPos(0, 0, 40, 6, GXConBase::Redraw::No);
        slider->SetRange(c.from, c.to, GXConBase::Redraw::No);
        // A new range puts the internal position at from, so a reversed
        // range starts at its to end.
        EXPECT_EQ(slider->GetPos(), c.from > c.to ? c.to : c.from);
        slider->SetPos(c.pos, GXConSlider::Force::No);
        EXPECT_EQ(slider->GetPos(), c.getPos);
        EXPECT_EQ(slider->GetInternalPos(), c.internal);
        EXPECT_EQ(slider->KnobOffset(), c.knob);
        // And back: the value under the knob's centre is the position.
        if (c.from != c.to) {
            EXPECT_NEAR(slider->ValueAt(2 + c.knob), c.internal, 1);
        }
    }
}

TEST(GXConSlider, DragReportsAndIgnoresTheApplicationUntilReleased)
{
    struct {
        unsigned kSliderPosChange = platform::RegisterMessage(GXMsgName::kSliderPosChange);
        unsigned kSliderPosChangeEnd = platform::RegisterMessage(GXMsgName::kSliderPosChangeEnd);
        unsigned kSliderPosScanning = platform::RegisterMessage(GXMsgName::kSliderPosScanning);
    } const M;
    FakeSkinOwner owner;
    AddImages(&owner);
    auto slider = MakeSlider(&owner, R"(ImageEdge="2,2")");
    slider->SetPos(0, 0, 40, 6, GXConBase::Redraw::No);
    slider->SetRange(0, 100, GXConBase::Redraw::No);

    bool flag = false;
    EXPECT_FALSE(slider->OnButtonDown(GXConBase::kButtonRight, 20, 1, &flag));
    ASSERT_TRUE(slider->OnButtonDown(GXConBase::kButtonLeft, 20, 1, &flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(slider->OnMouseMove(29, 1, GXConBase::Captured::Yes, &flag));
    slider->SetPos(10, GXConSlider::Force::No);
    EXPECT_EQ(slider->GetPos(), 75);
    slider->SetPos(10, GXConSlider::Force::Yes);
    EXPECT_EQ(slider->GetPos(), 10);
    // A list box refilling itself mid-drag keeps the knob under the user.
    slider->SetRange(200, 0, GXConBase::Redraw::No);
    EXPECT_EQ(slider->GetPos(), 10);
    EXPECT_TRUE(slider->OnButtonUp(GXConBase::kButtonLeft, 29, 1, GXConBase::Captured::Yes));
    EXPECT_FALSE(slider->IsDragging());
    EXPECT_EQ(Reports(owner),
        (std::vector<Report> { { M.kSliderPosChange, 50 }, { M.kSliderPosChange, 75 }, { M.kSliderPosScanning, 75 },
            { M.kSliderPosChangeEnd, 10 } }));

    // Hovering without a hot knob image scans (now over 0..200) but never
    // redraws.
    owner.notified.clear();
    const int invalidated = owner.invalidated;
    flag = false;
    slider->OnMouseMove(11, 1, GXConBase::Captured::No, &flag);
    EXPECT_EQ(owner.invalidated, invalidated);
    EXPECT_FALSE(slider->IsHotShown());
    EXPECT_EQ(Reports(owner), (std::vector<Report> { { M.kSliderPosScanning, 50 } }));

    // An empty range takes no clicks, and a range that collapses during a
    // drag still lets the release end it.
    ASSERT_TRUE(slider->OnButtonDown(GXConBase::kButtonLeft, 20, 1, &flag));
    slider->SetRange(5, 5, GXConBase::Redraw::No);
    EXPECT_FALSE(slider->OnButtonUp(GXConBase::kButtonLeft, 20, 1, GXConBase::Captured::Yes));
    EXPECT_FALSE(slider->IsDragging());
    EXPECT_FALSE(slider->OnButtonDown(GXConBase::kButtonLeft, 20, 1, &flag));
}

TEST(GXConSlider, HotKnobAndListBoxParent)
{
    FakeSkinOwner owner;
    AddImages(&owner);
    auto slider = MakeSlider(&owner, R"(ImageEdge="2,2" ImageKnobHot="hot")");
    RecordingParent parent;
    slider->SetParent(&parent);
    slider->SetPos(0, 0, 40, 6, GXConBase::Redraw::No);
    slider->SetRange(0, 36, GXConBase::Redraw::No);
    bool flag = false;
    const int invalidated = owner.invalidated;
    slider->OnMouseMove(5, 1, GXConBase::Captured::No, &flag);
    EXPECT_TRUE(slider->IsHotShown());
    EXPECT_TRUE(flag);
    EXPECT_EQ(owner.invalidated, invalidated + 1);
    EXPECT_EQ(PixelAt(slider->GetComposite(), 0, 0), GxRgb(1, 1, 1));
    slider->OnMouseLeave();
    EXPECT_FALSE(slider->IsHotShown());
    slider->OnButtonDown(GXConBase::kButtonLeft, 20, 1, &flag);
    slider->OnButtonUp(GXConBase::kButtonLeft, 20, 1, GXConBase::Captured::Yes);
    EXPECT_EQ(parent.calls, (std::vector<std::string> { "scan 3", "change 18/9", "end 18" }));
    EXPECT_TRUE(owner.notified.empty());
}

TEST(GXConSlider, DrawsTrackEdgesAndKnob)
{
    struct Case {
        int from;
        int to;
        int pos;
        int knobLeft; // -1: no knob (empty range)
    };
    const Case cases[]
        = { { 0, 100, 0, 0 }, { 0, 100, 50, 18 }, { 0, 100, 100, 36 }, { 100, 0, 30, 25 }, { 4, 4, 4, -1 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos);
        FakeSkinOwner owner;
        AddImages(&owner);
        GDib back = MakeDib(50, 10, [](int, int) { return kWhite; });
        auto slider = MakeSlider(&owner, R"(ImageEdge="2,2")", &back);
        slider->SetPos(3, 2, 40, 8, GXConBase::Redraw::No);
        slider->SetRange(c.from, c.to, GXConBase::Redraw::No);
        slider->SetPos(c.pos, GXConSlider::Force::No);
        slider->Draw();
        EXPECT_EQ("", ComparePixels(back, [&](int bx, int by) {
            const int x = bx - 3;
            const int y = by - 2;
            if (x < 0 || x >= 40 || y < 0 || y >= 6)
                return kWhite; // outside, or below the track's height
            if (c.knobLeft >= 0 && x >= c.knobLeft && x < c.knobLeft + 4 && KnobPixel(x - c.knobLeft, y) != kGxColorKey)
                return KnobPixel(x - c.knobLeft, y);
            const int column = x < 2 ? x : x >= 38 ? x - 30 : 2 + x % 6;
            return TrackPixel(column, y);
        }));
    }
}
