// Loading a skin: a synthetic skin of 100 controls, 40 images, two colour
// themes, a 200-line script and 30 "$" texts, read as a folder and as a zip
// of the same files, and a switch to the other colour theme. Beside them,
// the peer: Qt alone reading the same description and decoding the same
// images, the floor any loader stands on.
// Goals: each load under 100 ms, a theme switch under 50 ms. Every load is
// checked for all its parts and every switch for the other theme's name
// and tint; a run that misses one exits with 1.
#include "skin/GXWindowMain.h"
#include "skin/SkinFormat.h"
#include "support/DibPixels.h"
#include "support/SyntheticSkin.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 15;

[[noreturn]] void Fail(const char* pszWhat)
{
    std::fprintf(stderr, "skin_load: %s\n", pszWhat);
    std::exit(1);
}

// The median of kRuns runs, in milliseconds.
double MedianMs(const std::function<void()>& run)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = Clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Loads the skin into a new window and checks that all of it arrived.
GXWindowMain::Ptr LoadAndCheck(const fs::path& path, const SSyntheticSkin& wanted)
{
    GXWindowMain::Ptr pWindow(new GXWindowMain(nullptr));
    pWindow->Create(nullptr, GXRect { 0, 0, 400, 300 });
    if (!pWindow->SetSkinPath(path.string(), false) || !pWindow->LoadSkinXml("skin.xml", 0, true)
        || !pWindow->BuildSkin())
        Fail(pWindow->GetErrorText().c_str());
    if (static_cast<int>(pWindow->GetControls().size()) != wanted.nControls || pWindow->GetErrorCode() != 0)
        Fail("controls missing");
    for (int i = 0; i < wanted.nImages; ++i) {
        if (pWindow->FindImage("img" + std::to_string(i)) == nullptr)
            Fail("image missing");
    }
    if (pWindow->EvalText("$gState") != "ready" || pWindow->GetColorTheme().name != "Warm")
        Fail("script did not run");
    int nTexts = 0;
    for (const auto& pControl : pWindow->GetControls())
        nTexts += pControl->GetTooltip().rfind("버튼 ", 0) == 0 ? 1 : 0;
    if (nTexts != wanted.nDollarTexts)
        Fail("\"$\" texts not evaluated");
    return pWindow;
}

// The peer: the description parsed and the images decoded by Qt alone.
void QtReadsTheFiles(const fs::path& folder, const SSyntheticSkin& wanted)
{
    QFile file(QString::fromStdString((folder / "skin.xml").string()));
    if (!file.open(QIODevice::ReadOnly))
        Fail("peer: no skin.xml");
    QXmlStreamReader reader(&file);
    int nElements = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            ++nElements;
    }
    if (reader.hasError() || nElements < wanted.nControls)
        Fail("peer: parse");
    for (int i = 0; i < wanted.nImages; ++i) {
        QImage image(QString::fromStdString((folder / "images" / ("img" + std::to_string(i) + ".bmp")).string()));
        if (image.isNull())
            Fail("peer: image");
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    char pattern[] = "/tmp/tavdj-skinload-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        Fail("no temporary folder");
    const fs::path dir = pattern;
    const SSyntheticSkin wanted;
    WriteSyntheticSkin(dir / "folder", wanted);
    if (std::system(("cd '" + (dir / "folder").string() + "' && zip -q -r ../skin.zip .").c_str()) != 0)
        Fail("zip failed (is zip installed?)");

    const double folderMs = MedianMs([&] { LoadAndCheck(dir / "folder", wanted); });
    const double zipMs = MedianMs([&] { LoadAndCheck(dir / "skin.zip", wanted); });
    const double peerMs = MedianMs([&] { QtReadsTheFiles(dir / "folder", wanted); });
    GXWindowMain::Ptr pWindow = LoadAndCheck(dir / "skin.zip", wanted);
    // Each switch must reach the other theme and tint the images afresh:
    // "Warm" shifts red and blue, the other theme leaves the file's colours.
    GDib original;
    if (!original.LoadBmpFile((dir / "folder" / "images" / "img0.bmp").string()))
        Fail("no image to compare");
    const COLORREF plain = PixelAt(original, 1, 1);
    const double themeMs = MedianMs([&] {
        const int nBefore = pWindow->GetColorThemeIndex();
        if (!pWindow->SelectColorTheme(-1))
            Fail("no theme");
        pWindow->RefreshAll();
        const bool warm = pWindow->GetColorTheme().name == "Warm";
        const GDib* pImage = pWindow->FindImage("img0");
        if (pWindow->GetColorThemeIndex() == nBefore || warm != (pWindow->GetColorThemeIndex() == 0) || !pImage
            || PixelAt(*pImage, 1, 1) != (warm ? AdjustColor(plain, 10, 0, -10) : plain))
            Fail("the theme switch did not take");
    });

    std::printf("skin load, folder (%d controls, %d images):  %7.2f ms  (goal < 100)\n", wanted.nControls,
        wanted.nImages, folderMs);
    std::printf("skin load, zip:                                 %7.2f ms  (goal < 100)\n", zipMs);
    std::printf("colour theme switch and redraw:                 %7.2f ms  (goal < 50)\n", themeMs);
    std::printf("peer, Qt parsing skin.xml and decoding images:  %7.2f ms\n", peerMs);
    pWindow.reset();
    fs::remove_all(dir);
    return folderMs < 100 && zipMs < 100 && themeMs < 50 ? 0 : 2;
}
