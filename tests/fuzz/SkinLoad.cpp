// Arbitrary bytes as skin.xml of a folder skin with one image, loaded and
// built into a skin window: every loader path (defines, controls, nested
// windows, scripts, "$" texts) must answer with a result, never a crash.
#include "skin/GXWindowMain.h"

#include <QApplication>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

std::string g_folder;

void WriteFile(const std::string& path, const char* pData, std::size_t nSize)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(pData, static_cast<std::streamsize>(nSize));
    if (!file)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    char pattern[] = "/tmp/tavdj-fuzz-skin-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        std::abort();
    g_folder = pattern;
    WriteFile(g_folder + "/LIST.ini", "", 0);
    // A 2x2 24-bit BMP named a.bmp, for skins that name an image.
    static const unsigned char kBmp[] = { 'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0,
        0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255,
        0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0 };
    WriteFile(g_folder + "/a.bmp", reinterpret_cast<const char*>(kBmp), sizeof kBmp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WriteFile(g_folder + "/skin.xml", reinterpret_cast<const char*>(data), size);
    GXWindowMain::Ptr pWindow(new GXWindowMain(nullptr));
    pWindow->Create(nullptr, GXRect { 0, 0, 64, 48 });
    if (pWindow->SetSkinPath(g_folder, false) && pWindow->LoadSkinXml("skin.xml", 0, true) && pWindow->BuildSkin())
        (void)pWindow->SelectColorTheme(-1);
    (void)pWindow->GetErrorText();
    return 0;
}
