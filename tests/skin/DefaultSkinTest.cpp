// The default skin the program ships (skins/default), checked as files: the
// documents parse, every control the main window binds is there with the
// element it is bound as, every image loads at the size its control draws
// it, and the texts fit their controls in the skin's own fonts.

#include "foundation/GXmp.h"
#include "skin/GDib.h"
#include "skin/GXSubFont.h"
#include "skin/SkinFormat.h"

#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kSkinDir = std::string(TAVDJ_SOURCE_DIR) + "/skins/default/";

struct Control {
    const GXmpData* element = nullptr;
    std::string name; // element name
    int id = -1; // numeric ID, -1 without one
    int cmd = 0; // numeric CMD, 0 without one
    std::vector<int> ancestors; // ids of the enclosing controls, innermost first
    GXRect rect; // from Rect with Align "none", else empty
};

std::vector<const GXmpData*> Children(const GXmpData* parent)
{
    std::vector<const GXmpData*> out;
    GXmpData::Position pos = parent->GetFirstChildPosition();
    while (const GXmpData* child = parent->GetNextChild(pos))
        if (child->GetType() == GXmpData::kElement)
            out.push_back(child);
    return out;
}

// The skin as the tests see it: both documents read once.
class DefaultSkin : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_skin = std::make_unique<GXmp>().release();
        s_ids = std::make_unique<GXmp>().release();
        ASSERT_TRUE(s_skin->LoadFile((kSkinDir + "skin.xml").c_str())) << s_skin->GetErrorMessage();
        ASSERT_TRUE(s_ids->LoadFile((kSkinDir + "ControlID.XML").c_str())) << s_ids->GetErrorMessage();
    }
    static void TearDownTestSuite()
    {
        delete s_skin;
        delete s_ids;
    }

    void SetUp() override
    {
        ASSERT_NE(s_skin->GetRoot(), nullptr);
        ASSERT_NE(s_ids->GetRoot(), nullptr);
        for (const char* section : { "WINDOW_CONTROL_ID", "CONTROL_ID" }) {
            const GXmpData* node = s_ids->GetRoot()->FindChild(section, false);
            ASSERT_NE(node, nullptr) << section;
            for (const GXmpData* entry : Children(node)) {
                int value = 0;
                ASSERT_TRUE(entry->GetAttributeInt("ID", &value)) << entry->GetName();
                EXPECT_TRUE(m_names.emplace(entry->GetName(), value).second) << "twice: " << entry->GetName();
            }
        }
        const GXmpData* window = s_skin->GetRoot()->FindChild("SkinWindow", false);
        ASSERT_NE(window, nullptr);
        Walk(window, {});
    }

    // Numeric value of an id attribute; -1 for none, -2 for a name the
    // control-ID file does not define.
    int IdOf(const GXmpData* element, const char* attribute) const
    {
        const std::string name = element->GetAttributeString(attribute, "");
        if (name.empty() || name == "IDC_NONE")
            return -1;
        auto it = m_names.find(name);
        return it == m_names.end() ? -2 : it->second;
    }

    void Walk(const GXmpData* window, const std::vector<int>& ancestors)
    {
        for (const char* part : { "RegionDefine", "ControlDefine" })
            if (const GXmpData* list = window->FindChild(part, false))
                for (const GXmpData* element : Children(list))
                    Add(element, ancestors);
    }

    void Add(const GXmpData* element, const std::vector<int>& ancestors)
    {
        Control c;
        c.element = element;
        c.name = element->GetName();
        c.id = IdOf(element, "ID");
        c.cmd = std::max(IdOf(element, "CMD"), 0);
        c.ancestors = ancestors;
        if (element->GetAttributeString("Align", "") == "none")
            ParseSkinRect(element->GetAttributeString("Rect", ""), &c.rect);
        m_controls.push_back(c);
        std::vector<int> inner = ancestors;
        inner.insert(inner.begin(), c.id);
        if (c.name == "SkinWindow")
            Walk(element, inner);
        else
            for (const GXmpData* child : Children(element))
                Add(child, inner);
    }

    const Control* Find(int id) const
    {
        for (const Control& c : m_controls)
            if (c.id == id)
                return &c;
        return nullptr;
    }

    static GXmp* s_skin;
    static GXmp* s_ids;
    std::map<std::string, int> m_names;
    std::vector<Control> m_controls;
};

GXmp* DefaultSkin::s_skin = nullptr;
GXmp* DefaultSkin::s_ids = nullptr;

TEST_F(DefaultSkin, DocumentsHaveTheShapeTheProgramReads)
{
    const GXmpData* root = s_skin->GetRoot();
    EXPECT_EQ(root->GetName(), "GXSkin");
    EXPECT_TRUE(std::filesystem::is_regular_file(kSkinDir + "LIST.ini"));

    const GXmpData* main = root->FindChild("MainWindow", false);
    ASSERT_NE(main, nullptr);
    GXPoint minSize { -1, -1 }, maxSize { -1, -1 };
    ParseSkinPoint(main->GetAttributeString("MinSize", ""), &minSize);
    ParseSkinPoint(main->GetAttributeString("MaxSize", ""), &maxSize);
    // The side panel opens the window from MinSize's height to MaxSize's
    // and keeps its width.
    EXPECT_GT(minSize.x, 0);
    EXPECT_GT(minSize.y, 0);
    EXPECT_EQ(minSize.x, maxSize.x);
    EXPECT_LT(minSize.y, maxSize.y);
    const GXmpData* window = root->FindChild("SkinWindow", false);
    EXPECT_EQ(window->GetAttributeString("Width", ""), std::to_string(minSize.x));
    EXPECT_EQ(window->GetAttributeString("Height", ""), std::to_string(minSize.y));

    const Control* panel = Find(2002);
    ASSERT_NE(panel, nullptr);
    EXPECT_GT(panel->rect.bottom, minSize.y) << "the side panel lies below the console";
    EXPECT_LE(panel->rect.bottom, maxSize.y);
    for (const Control& c : m_controls)
        if (c.ancestors.empty() && c.id != 2002 && !c.rect.IsEmpty()) {
            EXPECT_LE(c.rect.bottom, minSize.y) << c.name << " " << c.id << " is cut off with the side panel closed";
        }

    // The title field is the one window control, 5000.
    EXPECT_EQ(m_names.at("IDC_EDIT_TITLE"), 5000);
    EXPECT_EQ(s_ids->GetRoot()->FindChild("WINDOW_CONTROL_ID", false)->FindChild("IDC_EDIT_TITLE", false)->GetName(),
        "IDC_EDIT_TITLE");
}

TEST_F(DefaultSkin, EveryBoundControlIsThereAsTheMainWindowBindsIt)
{
    struct Bound {
        int id;
        const char* element;
        int command; // what a click must send besides the id; 0: the id itself
        bool toggle; // the shell keeps a state in the image number
    };
    const std::vector<Bound> bound {
        { 2000, "StaticControl", 0, false },
        { 2001, "ButtonControl", 3003, true },
        { 2002, "StaticControl", 0, false },
        { 2003, "SliderControl", 0, false },
        { 2004, "ButtonControl", 0, true },
        { 2005, "SliderControl", 0, false },
        { 2006, "SliderControl", 0, false },
        { 2007, "SliderControl", 0, false },
        { 2008, "MarqueeControl", 0, false },
        { 2009, "StaticControl", 0, false },
        { 2010, "StaticControl", 0, false },
        { 2011, "StaticControl", 0, false },
        { 2012, "StaticControl", 0, false },
        { 2013, "StaticControl", 0, false },
        { 2014, "ButtonControl", 0, false },
        { 2016, "StaticControl", 0, false },
        { 2017, "StaticControl", 0, false },
        { 2018, "ButtonControl", 3010, true },
        { 2019, "ButtonControl", 3011, true },
        { 2020, "ButtonControl", 3012, true },
        { 2021, "SliderControl", 0, false },
        { 2022, "SliderControl", 0, false },
        { 2023, "SliderControl", 0, false },
        { 2024, "SliderControl", 0, false },
        { 2025, "ButtonControl", 0, true },
        { 2027, "ButtonControl", 3018, true },
        { 2029, "ButtonControl", 3019, false },
        { 2030, "ButtonControl", 3014, false },
        { 2031, "ButtonControl", 3015, false },
        { 2032, "ButtonControl", 3016, false },
        { 2033, "ButtonControl", 3005, false },
        { 2034, "ButtonControl", 3006, false },
        { 2035, "ButtonControl", 3022, true },
        { 2036, "ButtonControl", 3023, true },
        { 2037, "ButtonControl", 3024, true },
        { 2038, "ButtonControl", 0, true },
        { 2039, "ButtonControl", 0, true },
        { 2040, "ButtonControl", 0, true },
        { 2041, "SkinWindow", 0, false },
        { 2042, "BrowserControl", 0, false },
        { 10343, "StaticControl", 0, false },
        { 10344, "StaticControl", 0, false },
        { 10345, "StaticControl", 0, false },
    };
    ASSERT_EQ(bound.size(), 43U);
    for (const Bound& b : bound) {
        const Control* c = Find(b.id);
        ASSERT_NE(c, nullptr) << b.id;
        EXPECT_EQ(c->name, b.element) << b.id;
        EXPECT_EQ(c->cmd, b.command) << b.id;
        if (b.toggle) {
            EXPECT_FALSE(c->element->GetAttributeString("Image2", "").empty()) << b.id << " needs a second look";
        }
    }
    // The title field sits on panel 3, the browser and its hide button in
    // the mini browser window.
    bool titleField = false, hideButton = false;
    for (const Control& c : m_controls) {
        if (c.name == "WindowControl" && c.id == 5000)
            titleField = !c.ancestors.empty() && c.ancestors.front() == 2013;
        if (c.cmd == 3025)
            hideButton = std::find(c.ancestors.begin(), c.ancestors.end(), 2041) != c.ancestors.end();
    }
    EXPECT_TRUE(titleField);
    EXPECT_TRUE(hideButton);
    EXPECT_EQ(Find(2042)->ancestors.front(), 2041);
}

TEST_F(DefaultSkin, EveryNameResolvesAndEveryCommandIsReachable)
{
    const std::set<std::string> elements { "StaticControl", "StaticFadeControl", "SplitterControl", "ButtonControl",
        "SliderControl", "WindowControl", "SkinWindow", "ListBoxControl", "MarqueeControl", "Rgn", "XSplitterControl",
        "BrowserControl" }; // no pop-up menus, no Flash
    const std::set<std::string> aligns { "left", "top", "bottom", "right", "client", "center", "popup", "lefttop",
        "righttop", "rightbottom", "leftbottom", "none", "nomove" };
    std::set<int> ids, clicks;
    for (const Control& c : m_controls) {
        SCOPED_TRACE(c.name + " " + c.element->GetAttributeString("ID", "") + " line "
            + std::to_string(c.element->GetLine() + 1));
        EXPECT_TRUE(elements.count(c.name));
        EXPECT_TRUE(aligns.count(c.element->GetAttributeString("Align", "")));
        for (const char* attribute : { "ID", "CMD", "RCMD", "ID2" })
            EXPECT_NE(IdOf(c.element, attribute), -2) << attribute;
        if (c.id >= 0) {
            EXPECT_TRUE(ids.insert(c.id).second) << "id used twice";
        }
        if (c.name == "ButtonControl" && c.element->GetAttributeString("OnEvent", "").empty())
            clicks.insert(c.cmd ? c.cmd : c.id);
    }
    // Each command of the main window, or the control id that stands for it.
    const std::vector<std::set<int>> commands { { 3000, 2004 }, { 3001 }, { 3002 }, { 3003 }, { 3004, 2039 }, { 3005 },
        { 3006 }, { 3007, 2038 }, { 3008 }, { 3009, 2014 }, { 3010 }, { 3011 }, { 3012 }, { 3014 }, { 3015 }, { 3016 },
        { 3017, 2025 }, { 3018 }, { 3019 }, { 3020 }, { 3021 }, { 3022 }, { 3023 }, { 3024 }, { 3025 }, { 3026 } };
    for (const std::set<int>& any : commands) {
        bool reached = false;
        for (int command : any)
            reached = reached || clicks.count(command);
        EXPECT_TRUE(reached) << "no button sends " << *any.begin();
    }
}

TEST_F(DefaultSkin, ImagesLoadAtTheSizeTheirControlsDrawThem)
{
    std::map<std::string, GDib> images;
    auto image = [&](const std::string& name) -> const GDib* {
        auto it = images.find(name);
        if (it == images.end()) {
            GDib dib;
            // The folder is read with the name as written: the case must match.
            if (!QFileInfo::exists(QString::fromStdString(kSkinDir + name)) || !dib.LoadPictureFile(kSkinDir + name))
                return nullptr;
            it = images.emplace(name, std::move(dib)).first;
        }
        return &it->second;
    };
    const char* const sets[] = { "Image", "Image2", "Image3", "Image4", "Image5", "Image6" };
    for (const Control& c : m_controls) {
        const GXmpData* e = c.element;
        SCOPED_TRACE(c.name + " " + e->GetAttributeString("ID", "") + " line " + std::to_string(e->GetLine() + 1));
        const std::string type = e->GetAttributeString(
            c.name == "ButtonControl" ? "ButtonControlType" : "StaticControlType", "transparent");
        if (c.name == "ButtonControl" || (c.name == "StaticControl" && type == "bitmap")) {
            const int frames = c.name == "ButtonControl" ? std::abs(std::stoi(e->GetAttributeString("Split", "4")))
                : e->GetAttributeString("ImageType", "") == "animation"
                ? std::stoi(e->GetAttributeString("AniSplit", "1"))
                : 1;
            const GDib* first = nullptr;
            for (const char* set : sets) {
                const std::string name = e->GetAttributeString(set, "");
                if (name.empty())
                    continue;
                const GDib* dib = image(name);
                ASSERT_NE(dib, nullptr) << name;
                if (!first)
                    first = dib;
                EXPECT_EQ(dib->GetWidth(), first->GetWidth()) << name;
                EXPECT_EQ(dib->GetHeight(), first->GetHeight()) << name;
                ASSERT_EQ(dib->GetWidth() % frames, 0) << name;
                const int frameWidth = dib->GetWidth() / frames;
                const bool nine = type == "framebitmap" || e->GetAttributeString("ImageType", "") == "fillframe";
                if (nine) { // corners and edges are a third of the frame
                    EXPECT_GE(frameWidth, 9) << name;
                    EXPECT_GE(dib->GetHeight(), 9) << name;
                } else if (!c.rect.IsEmpty()) { // drawn once at its corner
                    EXPECT_EQ(frameWidth, c.rect.Width()) << name;
                    EXPECT_EQ(dib->GetHeight(), c.rect.Height()) << name;
                }
            }
            EXPECT_NE(first, nullptr) << "a bitmap control without its image";
        }
        if (c.name == "SliderControl") {
            GXPoint edges {};
            ParseSkinPoint(e->GetAttributeString("ImageEdge", "0,0"), &edges);
            for (const char* part : { "Image", "ImageKnob", "ImageKnobHot", "ImageFill", "ImageEmpty" }) {
                const std::string name = e->GetAttributeString(part, "");
                if (name.empty())
                    continue;
                const GDib* dib = image(name);
                ASSERT_NE(dib, nullptr) << name;
                EXPECT_EQ(dib->GetHeight(), c.rect.Height()) << name << ": the track is as high as the slider";
                if (std::string(part).starts_with("ImageKnob")) {
                    EXPECT_EQ(dib->GetWidth(), edges.x + edges.y) << name << ": the knob stays inside the edges";
                }
            }
            // A meter without a knob colours its segments by position: its
            // strips span the whole track.
            if (e->GetAttributeString("ImageKnob", "").empty()) {
                const GDib* fill = image(e->GetAttributeString("ImageFill", ""));
                ASSERT_NE(fill, nullptr);
                EXPECT_EQ(fill->GetWidth(), c.rect.Width());
            }
        }
    }
}

TEST_F(DefaultSkin, TextsFitInTheSkinsFonts)
{
    std::map<std::string, QFont> fonts;
    const GXmpData* defines = s_skin->GetRoot()->FindChild("SkinWindow", false)->FindChild("PreDefine", false);
    ASSERT_NE(defines, nullptr);
    for (const GXmpData* item : Children(defines)) {
        if (item->GetName() != "Font")
            continue;
        std::unique_ptr<GXSubFont> font;
        std::string name;
        ASSERT_TRUE(CreateSkinFont(item, {}, &font, &name, ""));
        // A face the system does not have would silently fall back.
        EXPECT_EQ(QFontInfo(*font->GetFont()).family().toStdString(), font->GetFaceName());
        fonts.emplace(name, *font->GetFont());
    }
    // The longest texts the shell writes into these statics.
    const std::map<int, std::string> shellTexts { { 2009, "320kbps" }, { 2016, "STEREO" }, { 2017, "100/100" },
        { 10343, "100" }, { 10344, "59" }, { 10345, "59" } };
    for (const Control& c : m_controls) {
        const GXmpData* e = c.element;
        const std::string fontName = e->GetAttributeString("FontName", "");
        if (fontName.empty())
            continue;
        SCOPED_TRACE(c.name + " " + e->GetAttributeString("ID", "") + " line " + std::to_string(e->GetLine() + 1));
        ASSERT_TRUE(fonts.count(fontName)) << fontName;
        if (c.rect.IsEmpty())
            continue;
        GXRect gaps;
        ParseSkinRect(e->GetAttributeString("InnerGaps", "0,0,0,0"), &gaps);
        const QFontMetrics metrics(fonts.at(fontName));
        std::vector<std::string> texts { e->GetAttributeString("Text", "") };
        if (shellTexts.count(c.id))
            texts.push_back(shellTexts.at(c.id));
        for (const std::string& text : texts) {
            EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(text)), c.rect.Width() - gaps.left - gaps.right)
                << text;
            EXPECT_LE(metrics.height(), c.rect.Height() - gaps.top - gaps.bottom) << text;
        }
    }
}

} // namespace
