#include "skin/GXImagePrefetch.h"

#include "skin/GDib.h"
#include "support/RequireTool.h"
#include "support/SyntheticSkin.h"
#include "support/TestSandbox.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string MakeTestPng()
{
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(qRgb(200, 100, 50));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string ReadAll(const fs::path& path)
{
    std::ostringstream data;
    data << std::ifstream(path, std::ios::binary).rdbuf();
    return data.str();
}

class ImagePrefetch : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_box.Create("tavdj-prefetch"));
        const fs::path skin = m_box.Dir() / "skin";
        WriteTestFile(skin / "skin.xml",
            "<SkinWindow BkgndImage=\"bg.png\"><ControlDefine>"
            "<ButtonControl Image=\"bg.png\" Image2=\"Pics\\Face.BMP\"/>"
            "<StaticControl Image=\"broken.png\" Tooltip=\"not.a.picture\"/>"
            "<StaticControl Image=\"absent.png\"/></ControlDefine></SkinWindow>");
        WriteTestFile(skin / "bg.png", MakeTestPng());
        WriteTestFile(skin / "pics" / "face.bmp", MakeTestBmp(5, 3, 7));
        WriteTestFile(skin / "broken.png", "\x89PNG\r\n\x1a\nnot really");
    }

    fs::path Skin() const { return m_box.Dir() / "skin"; }

    TestSandbox m_box;
};

// Each name the document gives is made once, as the window would decode
// it itself; what the thread cannot make is left to the window.
void ExpectPrefetched(GXImagePrefetch& prefetch, const fs::path& skin)
{
    const struct {
        const char* name;
        const char* file; // nullptr: nothing made
    } cases[] = {
        { "bg.png", "bg.png" },
        { "Pics\\Face.BMP", "pics/face.bmp" },
        { "broken.png", nullptr },
        { "absent.png", nullptr },
        { "not.a.picture", nullptr },
        { "unnamed.png", nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<GDib> pImage = prefetch.Take(c.name);
        if (c.file == nullptr) {
            EXPECT_EQ(pImage, nullptr);
            continue;
        }
        const std::unique_ptr<GDib> pOwn = GDib::FromFileData(ReadAll(skin / c.file));
        ASSERT_NE(pOwn, nullptr);
        ASSERT_NE(pImage, nullptr);
        EXPECT_EQ(pImage->GetImage(), pOwn->GetImage());
        EXPECT_EQ(prefetch.Take(c.name), nullptr) << "taken twice";
    }
}

TEST_F(ImagePrefetch, MakesThePicturesTheDocumentNamesFromAFolderOrAZip)
{
    GXImagePrefetch fromFolder;
    fromFolder.Start(Skin().string(), "skin.xml");
    ExpectPrefetched(fromFolder, Skin());

    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    const std::string zip = (m_box.Dir() / "skin.zip").string();
    ASSERT_EQ(std::system(("cd '" + Skin().string() + "' && zip -q -r '" + zip + "' . >/dev/null").c_str()), 0);
    GXImagePrefetch fromZip;
    fromZip.Start(zip, "skin.xml");
    ExpectPrefetched(fromZip, Skin());
}

TEST_F(ImagePrefetch, WithoutADocumentOrAStartItMakesNothing)
{
    GXImagePrefetch unstarted;
    EXPECT_EQ(unstarted.Take("bg.png"), nullptr);
    GXImagePrefetch noDocument;
    noDocument.Start(Skin().string(), "other.xml");
    EXPECT_EQ(noDocument.Take("bg.png"), nullptr);
    GXImagePrefetch noSkin;
    noSkin.Start((m_box.Dir() / "none").string(), "skin.xml");
    EXPECT_EQ(noSkin.Take("bg.png"), nullptr);
}

} // namespace
