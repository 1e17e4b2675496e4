// The program's entry: builds the global objects in order, runs the
// application object, and lets the globals go in reverse order.
#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CSessionEndSignal.h"
#include "app/CTavDJ1App.h"
#include "app/CTavDJ1Dlg.h"
#include "app/MessageDlg.h"
#include "app/UpdateCheck.h"
#include "engine/stream/CDJDataMan.h"
#include "platform/HttpClient.h"
#include "platform/Mixer.h"
#include "platform/WaveInAhead.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#ifdef TAVDJ_WEB_VIEW_LIBRARY
#include "app/CWebViewPlugin.h"
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

bool HasEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The program's icon: one size while the window comes up, so the start
// decodes one picture; the sizes a desktop's task lists and switchers take
// follow once the window is on the screen.
constexpr const char* kFirstIconFile = "tavdj-32.png";
// The longest the start waits for a sound server that took the connection
// but does not answer; past it the program runs on ALSA.
constexpr std::chrono::milliseconds kSoundServerAnswer { 1000 };

QIcon ProgramIcon(const QString& pattern)
{
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons"));
    for (const QString& name : folder.entryList({ pattern })) {
        // Decoded as the PNG it is: a file handed to QIcon has every image
        // plugin loaded to ask whether it reads PNG.
        QImageReader reader(folder.filePath(name), "png");
        reader.setAutoDetectImageFormat(false);
        if (const QImage image = reader.read(); !image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

// A module of the program's: beside it in the build tree; installed, in
// the module folder.
std::string ModulePath(const QString& file)
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString beside = folder + QLatin1Char('/') + file;
    if (QFileInfo::exists(beside))
        return beside.toStdString();
    return QDir::cleanPath(folder + QStringLiteral("/" TAVDJ_MODULE_FROM_PROGRAM "/") + file).toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    // A session that ends while the program starts is answered once the
    // application can save and end in order (CTavDJ1App); until then the
    // signals wait instead of killing it.
    CSessionEndSignal::HoldUntilInstalled();
    std::vector<std::string> args(argv, argv + argc);
    // Uninstalling asks nothing of the program: no window, no display.
    if (CTavDJ1App::IsUninstall(args))
        return 0;
    // The program places its own windows, which needs X (or XWayland).
    if (!HasEnv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string platformName = std::getenv("QT_QPA_PLATFORM");
    if (platformName == "xcb" && !HasEnv("DISPLAY")) {
        std::fprintf(stderr, "TavDJ: no display to show the window on (DISPLAY is not set).\n");
        return 2;
    }
    // The start counts and opens the sound card's mixers from here until
    // the window is shown; one handle per mixer serves all of it. The
    // default's opens while the toolkit starts, and so does the recording
    // device idle capture starts on.
    // The desktop's sound server, when one answers, gives the program its
    // own mix and its lines; a local server answers within milliseconds,
    // and a machine without one refuses at once. Opening its mixer and its
    // capture asks the server nothing, so nothing is opened ahead for it.
    std::shared_ptr<platform::MixerHold> pMixers;
    std::shared_ptr<platform::WaveInAhead> pCapture;
    if (!UseTheSoundServer(kSoundServerAnswer)) {
        pMixers = std::make_shared<platform::MixerHold>(platform::MixerSystem::Default());
        pMixers->OpenAhead(0);
        pCapture = OpenTheCaptureAhead();
    }
    QApplication application(argc, argv);
    // The engine first, then the settings object that shares its file, then
    // the registered messages; statics go in reverse, so the settings are
    // saved before the engine shuts down and saves its own.
    (void)TheDJDataMan();
    (void)TheOption();
    (void)WmVdLauncherResult();
    (void)WmGMessageBoxClose();
    (void)WmCdjEditEnter();
    (void)CDJDataMan::WmWriteLog();
    (void)CDJDataMan::WmErrorInitInput();

    platform::SetHttpModule(ModulePath(QStringLiteral(TAVDJ_HTTP_LIBRARY)));
#ifdef TAVDJ_WEB_VIEW_LIBRARY
    CWebViewPlugin::Register(ModulePath(QStringLiteral(TAVDJ_WEB_VIEW_LIBRARY)));
#endif
    QApplication::setApplicationName(QStringLiteral("TavDJ"));
    QApplication::setWindowIcon(ProgramIcon(QString::fromLatin1(kFirstIconFile)));
    QGuiApplication::setDesktopFileName(QStringLiteral("tavdj"));
    QApplication::setQuitOnLastWindowClosed(true);
    CTavDJ1App app(std::move(args));
    app.AfterWindowShown([&app, pMixers = std::move(pMixers), pCapture = std::move(pCapture)]() mutable {
        pMixers.reset();
        pCapture.reset();
        QApplication::setWindowIcon(ProgramIcon(QStringLiteral("tavdj-*.png")));
        MessageDlgInit(QApplication::windowIcon());
        if (QWidget* pWindow = app.MainWindow())
            pWindow->setWindowIcon(QApplication::windowIcon());
    });
    return app.Run();
}
