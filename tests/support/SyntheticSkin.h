#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A skin folder in the shape real skins have, made at run time for loader
// tests and the load benchmark: images in a subfolder, two colour themes,
// control ids, a script with a main() and "$" texts on the controls.
// Deterministic: the same counts give the same files.
struct SSyntheticSkin {
    int nControls = 100;
    int nImages = 40;
    int nScriptFunctions = 40; // five lines each
    int nDollarTexts = 30;

    // What a loaded window must then hold.
    [[nodiscard]] int ExpectedImages() const { return nImages + 1; } // and the background
};

// A 24-bit BMP of w x h pixels whose colour depends on seed.
inline std::string MakeTestBmp(int w, int h, int seed)
{
    const std::uint32_t nRow = static_cast<std::uint32_t>((w * 3 + 3) & ~3);
    const std::uint32_t nData = nRow * static_cast<std::uint32_t>(h);
    std::string bmp(54 + nData, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54 + nData);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, nData);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t at = 54 + static_cast<std::size_t>(y) * nRow + static_cast<std::size_t>(x) * 3;
            bmp[at] = static_cast<char>(40 + seed * 3); // blue
            bmp[at + 1] = static_cast<char>(60 + x * 4); // green
            bmp[at + 2] = static_cast<char>(80 + y * 4); // red
        }
    }
    return bmp;
}

inline void WriteTestFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The skin.xml of the synthetic skin. Image files are named in upper case
// with '\' while the files on disk are lower case under "images/", as skins
// written on Windows do.
inline std::string MakeSyntheticSkinXml(const SSyntheticSkin& wanted)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<GXSkin>\n"
                      "<SkinWindow Width=\"400\" Height=\"300\" BkgndImage=\"Images\\BACK.BMP\" BkgndType=\"tile\""
                      " Draggable=\"true\" MinMaxSize=\"200,100,800,600\">\n"
                      "<Script><?Script\nstring gState;\nstring Caption(string s) {\n  return \"버튼 \" + s;\n}\n";
    for (int i = 0; i < wanted.nScriptFunctions; ++i) {
        const std::string n = std::to_string(i);
        xml += "int f" + n + "(int a) {\n  int b;\n  b = a + " + n + ";\n  return b;\n}\n";
    }
    xml += "void main() {\n  gState = \"ready\";\n}\n?></Script>\n<PreDefine>\n"
           "<ColorTheme Name=\"Warm\" Value=\"10,0,-10\"/>\n"
           "<ColorTheme Name=\"$Caption(&quot;theme&quot;)\" Value=\"0,0,0\"/>\n"
           "<Cursor CursorName=\"hand\" PredefinedCursor=\"IDC_HAND\"/>\n";
    for (int i = 0; i < wanted.nImages; ++i) {
        const std::string n = std::to_string(i);
        xml += "<Image Image=\"Images\\IMG" + n + ".BMP\" ImageName=\"img" + n + "\"/>\n";
    }
    for (int i = 0; i < wanted.nControls; ++i)
        xml += "<DefineControlID ID=\"IDC_C" + std::to_string(i) + "\" Value=\"" + std::to_string(1000 + i) + "\"/>\n";
    xml += "<DefineControlID ID=\"ID_CMD\" Value=\"32771\"/>\n</PreDefine>\n<ControlDefine>\n";
    for (int i = 0; i < wanted.nControls; ++i) {
        const std::string n = std::to_string(i);
        const std::string rect = " Align=\"none\" Left=\"" + std::to_string(i % 10 * 40) + "\" Top=\""
            + std::to_string(i / 10 * 30) + "\" Width=\"36\" Height=\"26\"";
        const std::string tip = i < wanted.nDollarTexts ? " Tooltip=\"$Caption(&quot;" + n + "&quot;)\"" : "";
        if (i % 2 == 0)
            xml += "<StaticControl ID=\"IDC_C" + n + "\"" + rect + tip + " StaticControlType=\"bitmap\" Image=\"img"
                + std::to_string(i % std::max(wanted.nImages, 1)) + "\"/>\n";
        else
            xml += "<ButtonControl ID=\"IDC_C" + n + "\" CMD=\"ID_CMD\"" + rect + tip
                + " ButtonControlType=\"transparent\"/>\n";
    }
    xml += "</ControlDefine>\n</SkinWindow>\n</GXSkin>\n";
    return xml;
}

// Writes the whole skin into folder (which need not exist).
inline void WriteSyntheticSkin(const std::filesystem::path& folder, const SSyntheticSkin& wanted)
{
    WriteTestFile(folder / "skin.xml", MakeSyntheticSkinXml(wanted));
    WriteTestFile(folder / "LIST.ini", "");
    WriteTestFile(folder / "images" / "back.bmp", MakeTestBmp(16, 16, 0));
    for (int i = 0; i < wanted.nImages; ++i)
        WriteTestFile(folder / "images" / ("img" + std::to_string(i) + ".bmp"), MakeTestBmp(36, 26, i + 1));
}
