// BMP files made by ImageMagick and Pillow at test time, hand-made streams
// for what neither writes (RLE4, top-down, 16-bit without masks) and broken
// headers; other formats through Qt's decoders.
#include "skin/GDib.h"

#include "support/DibPixels.h"
#include "support/RequireTool.h"
#include "support/TestSandbox.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The picture every generated file shows: 7 x 5 (odd, so rows are padded),
// eight colours that survive any palette.
COLORREF Picture(int x, int y)
{
    static const COLORREF kColours[8] = { GxRgb(0, 0, 0), GxRgb(255, 255, 255), GxRgb(255, 0, 0), GxRgb(0, 0, 255),
        GxRgb(0, 255, 0), GxRgb(255, 255, 0), GxRgb(0, 255, 255), GxRgb(128, 64, 32) };
    return kColours[(x + 2 * y) % 8];
}
COLORREF BlackWhite(int x, int y)
{
    return (x + y) % 3 == 0 ? 0xFFFFFFu : 0u;
}
// What a 5-6-5 pixel written by ImageMagick (which scales down by
// truncation) gives back for a picture colour.
COLORREF Through565(int x, int y)
{
    const COLORREF c = Picture(x, y);
    auto expand = [](int v, int bits) {
        const int max = (1 << bits) - 1;
        return static_cast<int>((v * max / 255) * 255.0 / max + 0.5);
    };
    return GxRgb(expand(GxRed(c), 5), expand(GxGreen(c), 6), expand(GxBlue(c), 5));
}

const char* const kMakeFixtures = R"PY(
import sys
from PIL import Image
out = sys.argv[1]
pal = [(0,0,0),(255,255,255),(255,0,0),(0,0,255),(0,255,0),(255,255,0),(0,255,255),(128,64,32)]
im = Image.new('RGB', (7, 5))
bw = Image.new('1', (7, 5))
for y in range(5):
    for x in range(7):
        im.putpixel((x, y), pal[(x + 2 * y) % 8])
        bw.putpixel((x, y), 1 if (x + y) % 3 == 0 else 0)
im.save(out + '/picture.png')
im.save(out + '/pil24.bmp')
im.quantize(colors=8).save(out + '/pil8.bmp')
bw.save(out + '/pil1.bmp')
im.convert('RGBA').save(out + '/pil32.bmp')
im.save(out + '/picture.jpg', quality=95)
# Transparency: alpha 0 over red, half alpha over white, opaque blue.
a = Image.new('RGBA', (3, 1))
a.putpixel((0, 0), (255, 0, 0, 0)); a.putpixel((1, 0), (255, 255, 255, 128)); a.putpixel((2, 0), (0, 0, 255, 255))
a.save(out + '/alpha.png')
g = Image.new('P', (3, 1))
g.putpalette([255, 0, 0, 0, 255, 0, 0, 0, 255] + [0] * 759)
g.putpixel((0, 0), 0); g.putpixel((1, 0), 1); g.putpixel((2, 0), 2)
g.save(out + '/transparent.gif', transparency=0)
)PY";

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The python3 that has Pillow: the one on PATH, else the system's.
std::string PythonWithPil()
{
    for (const char* python : { "python3", "/usr/bin/python3" })
        if (CommandSucceeds(std::string(python) + " -c 'import PIL'"))
            return python;
    return "";
}

class BmpFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pSandbox = new TestSandbox;
        if (!s_pSandbox->Create("gdib-fixtures"))
            return;
        const std::string dir = s_pSandbox->Dir().string();
        const std::string python = PythonWithPil();
        if (python.empty() || !ToolOnPath("convert"))
            return;
        std::ofstream(dir + "/make.py") << kMakeFixtures;
        const std::string png = dir + "/picture.png";
        s_bMade = CommandSucceeds(python + " " + dir + "/make.py " + dir)
            && CommandSucceeds("convert " + png + " -colors 8 -type palette BMP3:" + dir + "/im4.bmp")
            && CommandSucceeds("convert " + png + " -colors 8 -compress RLE BMP3:" + dir + "/im_rle8.bmp")
            && CommandSucceeds("convert " + png + " -colors 8 -compress RLE BMP:" + dir + "/im_rle8_v5.bmp")
            && CommandSucceeds("convert " + png + " -colors 8 BMP:" + dir + "/im4_v5.bmp")
            && CommandSucceeds("convert " + png + " -define bmp:subtype=RGB565 BMP:" + dir + "/im565.bmp")
            && CommandSucceeds("convert " + png + " BMP:" + dir + "/im24_v5.bmp");
    }
    static void TearDownTestSuite()
    {
        delete s_pSandbox;
        s_pSandbox = nullptr;
    }
    void SetUp() override
    {
        TAVDJ_REQUIRE_TOOL(!PythonWithPil().empty(), "python3 with PIL (python3-pil)");
        TAVDJ_REQUIRE_TOOL(ToolOnPath("convert"), "ImageMagick convert");
        ASSERT_TRUE(s_bMade) << "fixture makers failed";
    }
    static std::string Fixture(const std::string& name) { return ReadFile(s_pSandbox->Dir() / name); }
    static std::string FixturePath(const std::string& name) { return (s_pSandbox->Dir() / name).string(); }

    static TestSandbox* s_pSandbox;
    static bool s_bMade;
};
TestSandbox* BmpFixtures::s_pSandbox = nullptr;
bool BmpFixtures::s_bMade = false;

TEST_F(BmpFixtures, EveryDepthAndCompressionShowsThePicture)
{
    struct Case {
        const char* file;
        int bits; // as loaded, before conversion
        COLORREF (*expected)(int, int);
    };
    const Case cases[] = {
        { "pil24.bmp", 24, Picture },
        { "pil8.bmp", 8, Picture },
        { "pil1.bmp", 1, BlackWhite },
        { "pil32.bmp", 32, Picture },
        { "im4.bmp", 4, Picture },
        { "im4_v5.bmp", 4, Picture }, // colour table after a 124-byte header
        { "im_rle8.bmp", 8, Picture },
        { "im_rle8_v5.bmp", 8, Picture },
        { "im565.bmp", 24, Through565 }, // bit fields unpack to 24 bits
        { "im24_v5.bmp", 24, Picture },
    };
    for (const Case& c : cases) {
        const std::string bytes = Fixture(c.file);
        GDib image;
        ASSERT_TRUE(image.LoadBmpMemory(bytes.data(), bytes.size())) << c.file;
        EXPECT_EQ(image.GetBitCount(), c.bits) << c.file;
        ASSERT_EQ(image.GetWidth(), 7);
        ASSERT_EQ(image.GetHeight(), 5);
        ASSERT_TRUE(image.ConvertTo24());
        EXPECT_EQ(ComparePixels(image, c.expected), "") << c.file;
        // The file form reads the same.
        GDib fromFile;
        ASSERT_TRUE(fromFile.LoadBmpFile(FixturePath(c.file))) << c.file;
        fromFile.ConvertTo24();
        EXPECT_EQ(ComparePixels(fromFile, c.expected), "") << c.file;
    }
    GDib missing;
    EXPECT_FALSE(missing.LoadBmpFile(FixturePath("nothing.bmp")));
}

TEST_F(BmpFixtures, OtherFormatsGoThroughTheGeneralDecoderOverBlack)
{
    GDib png;
    ASSERT_TRUE(png.LoadPictureFile(FixturePath("picture.png")));
    EXPECT_EQ(png.GetBitCount(), 24);
    EXPECT_EQ(ComparePixels(png, Picture), "");

    GDib alpha;
    const std::string alphaBytes = Fixture("alpha.png");
    ASSERT_TRUE(alpha.LoadPictureMemory(alphaBytes.data(), alphaBytes.size()));
    EXPECT_EQ(PixelAt(alpha, 0, 0), 0u);
    EXPECT_NEAR(GxRed(PixelAt(alpha, 1, 0)), 128, 1);
    EXPECT_NEAR(GxBlue(PixelAt(alpha, 1, 0)), 128, 1);
    EXPECT_EQ(PixelAt(alpha, 2, 0), GxRgb(0, 0, 255));

    GDib gif;
    ASSERT_TRUE(gif.LoadPictureFile(FixturePath("transparent.gif")));
    EXPECT_EQ(PixelAt(gif, 0, 0), 0u);
    EXPECT_EQ(PixelAt(gif, 1, 0), GxRgb(0, 255, 0));
    EXPECT_EQ(PixelAt(gif, 2, 0), GxRgb(0, 0, 255));

    GDib jpeg;
    ASSERT_TRUE(jpeg.LoadPictureFile(FixturePath("picture.jpg")));
    ASSERT_EQ(jpeg.GetWidth(), 7);
    // Lossy: the white corner stays light, the black pixel dark.
    EXPECT_GT(GxGreen(PixelAt(jpeg, 1, 0)), 150);
    EXPECT_LT(GxGreen(PixelAt(jpeg, 0, 0)), 100);

    const std::string junk = "not a picture at all";
    GDib bad;
    EXPECT_FALSE(bad.LoadPictureMemory(junk.data(), junk.size()));
    EXPECT_TRUE(bad.IsEmpty());
}

// ---- hand-made streams ----

void Put16(std::string& s, std::size_t at, unsigned v)
{
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i) & 0xFF);
}

// A BMP with a 40-byte info header, the table, then the pixel bytes.
std::string MakeBmp(
    int w, int h, int bits, std::uint32_t compression, const std::vector<GXRgbQuad>& table, const std::string& pixels)
{
    std::string s(54, '\0');
    s[0] = 'B', s[1] = 'M';
    const std::uint32_t offset = static_cast<std::uint32_t>(54 + table.size() * 4);
    Put32(s, 2, static_cast<std::uint32_t>(offset + pixels.size()));
    Put32(s, 10, offset);
    Put32(s, 14, 40);
    Put32(s, 18, static_cast<std::uint32_t>(w));
    Put32(s, 22, static_cast<std::uint32_t>(h));
    Put16(s, 26, 1);
    Put16(s, 28, static_cast<unsigned>(bits));
    Put32(s, 30, compression);
    Put32(s, 34, static_cast<std::uint32_t>(pixels.size()));
    for (const GXRgbQuad& q : table)
        s += std::string { static_cast<char>(q.rgbBlue), static_cast<char>(q.rgbGreen), static_cast<char>(q.rgbRed),
            0 };
    return s + pixels;
}

const std::vector<GXRgbQuad> kTable = { { 0, 0, 0, 0 }, { 0, 0, 255, 0 }, { 0, 255, 0, 0 }, { 255, 0, 0, 0 } };
COLORREF Entry(int i)
{
    return GxRgb(kTable[i].rgbRed, kTable[i].rgbGreen, kTable[i].rgbBlue);
}

GDib Load(const std::string& bytes)
{
    GDib image;
    if (image.LoadBmpMemory(bytes.data(), bytes.size()))
        image.ConvertTo24();
    return image;
}

// Rows of indices, top first, as the expected picture of a 4-colour image.
std::function<COLORREF(int, int)> Indices(std::vector<std::string> rows)
{
    return [rows](int x, int y) { return Entry(rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] - '0'); };
}

TEST(GDibLoad, RunLengthStreamsDecodeWithinTheImage)
{
    struct Case {
        const char* name;
        int bits;
        std::string data; // pairs from the bottom row
        std::vector<std::string> rows; // expected indices, top row first
    };
    using namespace std::string_literals;
    const Case cases[] = {
        { "Rle8Runs", 8, "\x03\x01\x02\x02\x00\x00\x01\x03\x00\x01"s, { "00000", "30000", "11122" } },
        { "Rle8AbsoluteAndDelta", 8, "\x00\x03\x01\x02\x03\x00\x00\x02\x00\x01\x02\x02\x00\x01"s,
            { "00000", "00022", "12300" } },
        { "Rle8RunPastRowStaysInTheRow", 8, "\xFF\x01\x00\x00\x02\x02\x00\x01"s, { "00000", "22000", "11111" } },
        { "Rle8DeltaPastImageEnds", 8, "\x01\x01\x00\x02\xFF\xFF\x01\x02"s, { "00000", "00000", "10000" } },
        { "Rle8AbsolutePastDataStops", 8, "\x01\x02\x00\x09\x01\x01"s, { "00000", "00000", "20000" } },
        { "Rle8NoEndMarker", 8, "\x02\x03"s, { "00000", "00000", "33000" } },
        { "Rle4Nibbles", 4, "\x05\x12\x00\x00\x00\x03\x31\x20\x00\x01"s, { "00000", "31200", "12121" } },
        { "Rle4OddRunAndDelta", 4, "\x03\x23\x00\x02\x01\x02\x02\x11\x00\x01"s, { "00001", "00000", "23200" } },
    };
    for (const Case& c : cases) {
        const GDib image = Load(MakeBmp(5, 3, c.bits, c.bits == 8 ? 1 : 2, kTable, c.data));
        ASSERT_FALSE(image.IsEmpty()) << c.name;
        EXPECT_EQ(ComparePixels(image, Indices(c.rows)), "") << c.name;
    }
}

TEST(GDibLoad, UncommonLayoutsWeReadOurselves)
{
    // 4-bit, odd width: the last pixel of a row is a high nibble.
    const std::string fourBit = MakeBmp(3, 2, 4, 0, kTable, std::string("\x23\x10\x00\x00\x01\x20\x00\x00", 8));
    EXPECT_EQ(ComparePixels(Load(fourBit), Indices({ "012", "231" })), "");

    // Top-down 24-bit: negative height, first row first.
    std::string topDown
        = MakeBmp(2, 2, 24, 0, {}, std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00\xFF\x00\x00\xFF\xFF\xFF\x00\x00", 16));
    Put32(topDown, 22, static_cast<std::uint32_t>(-2));
    EXPECT_EQ(ComparePixels(Load(topDown),
                  [](int x, int y) {
                      const COLORREF rows[2][2]
                          = { { GxRgb(255, 0, 0), GxRgb(0, 255, 0) }, { GxRgb(0, 0, 255), GxRgb(255, 255, 255) } };
                      return rows[y][x];
                  }),
        "");

    // A red mask with a gap: only its lowest run counts, nothing spills
    // into green or blue.
    const std::string gappy = MakeBmp(1, 1, 32, 3, { { 0xFF, 0x00, 0xFF, 0 }, { 0, 0xFF, 0, 0 }, { 0, 0, 0, 0 } },
        std::string("\xFF\x00\xFF\x00", 4));
    EXPECT_EQ(ComparePixels(Load(gappy), [](int, int) { return GxRgb(255, 0, 0); }), "");

    // 16 bits without masks are 5-5-5; they load as 24 bits.
    const std::string rgb555 = MakeBmp(2, 1, 16, 0, {}, std::string("\x00\x7C\xFF\x03", 4));
    const GDib image = Load(rgb555);
    EXPECT_EQ(image.GetBitCount(), 24);
    EXPECT_EQ(ComparePixels(image, [](int x, int) { return x == 0 ? GxRgb(255, 0, 0) : GxRgb(0, 255, 255); }), "");
}

TEST(GDibLoad, BrokenHeadersFailOrStayInsideTheData)
{
    const std::string good = MakeBmp(2, 2, 24, 0, {}, std::string(16, '\x40'));
    struct Case {
        const char* name;
        std::function<void(std::string&)> mutate;
        bool loads;
    };
    const Case cases[] = {
        { "Intact", [](std::string&) {}, true },
        { "OnlyFileHeader", [](std::string& s) { s.resize(14); }, false },
        { "NotBM", [](std::string& s) { s[1] = 'X'; }, false },
        { "OffsetInsideFileHeader", [](std::string& s) { Put32(s, 10, 10); }, false },
        { "OffsetInsideInfoHeader", [](std::string& s) { Put32(s, 10, 30); }, false },
        { "OffsetPastData", [](std::string& s) { Put32(s, 10, 0xFFFFFFF0u); }, false },
        { "CoreHeader", [](std::string& s) { Put32(s, 14, 12); }, false },
        { "InfoHeaderPastOffset", [](std::string& s) { Put32(s, 14, 200); }, false },
        { "ZeroWidth", [](std::string& s) { Put32(s, 18, 0); }, false },
        { "HugeWidth", [](std::string& s) { Put32(s, 18, 0x7FFFFFFE); }, false },
        { "HugeTopDown", [](std::string& s) { Put32(s, 22, 0x80000000u); }, false },
        { "PastByteCap", [](std::string& s) { Put32(s, 18, 30000), Put32(s, 22, 30000); }, false },
        { "PalettePastByteCapIn24Bits",
            [](std::string& s) { Put16(s, 28, 8), Put32(s, 18, 16384), Put32(s, 22, 4097); }, false },
        { "BitCount7", [](std::string& s) { Put16(s, 28, 7); }, false },
        { "JpegCompression", [](std::string& s) { Put32(s, 30, 4); }, false },
        { "RleWithWrongDepth", [](std::string& s) { Put32(s, 30, 1); }, false },
        { "TopDownRle", [](std::string& s) { Put16(s, 28, 8), Put32(s, 30, 1), Put32(s, 22, 0xFFFFFFFEu); }, false },
        { "BitFieldsWithoutMasks", [](std::string& s) { Put16(s, 28, 16), Put32(s, 30, 3); }, false },
        { "TruncatedRows", [](std::string& s) { s.resize(54 + 9); }, true },
        { "SizeImageLargerThanData", [](std::string& s) { Put32(s, 34, 0x7FFFFFFF); }, true },
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        c.mutate(bytes);
        GDib image;
        EXPECT_EQ(image.LoadBmpMemory(bytes.data(), bytes.size()), c.loads) << c.name;
        EXPECT_EQ(image.IsEmpty(), !c.loads) << c.name;
    }
    // Of a truncated file only the rows present are read: the bottom row.
    std::string truncated = good;
    truncated.resize(54 + 9);
    EXPECT_EQ(ComparePixels(Load(truncated), [](int, int y) { return y == 1 ? GxRgb(0x40, 0x40, 0x40) : 0u; }), "");

    // A core header is left to the general decoder, which reads it.
    std::string core = "BM" + std::string(12, '\0') + std::string(12, '\0') + std::string("\x00\x00\xFF\x00", 4);
    Put32(core, 10, 26);
    Put32(core, 14, 12);
    Put16(core, 18, 1), Put16(core, 20, 1), Put16(core, 22, 1), Put16(core, 24, 24);
    GDib image;
    EXPECT_FALSE(image.LoadBmpMemory(core.data(), core.size()));
    ASSERT_TRUE(image.LoadPictureMemory(core.data(), core.size()));
    EXPECT_EQ(PixelAt(image, 0, 0), GxRgb(255, 0, 0));
}

TEST(GDibLoad, LoadBmpReadsAnOpenDevice)
{
    const std::string bytes = MakeBmp(1, 1, 24, 0, {}, std::string("\x01\x02\x03\x00", 4));
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    GDib image;
    ASSERT_TRUE(image.LoadBmp(buffer));
    EXPECT_EQ(PixelAt(image, 0, 0), GxRgb(3, 2, 1));
}

} // namespace
