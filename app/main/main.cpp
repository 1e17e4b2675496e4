// The program's entry: builds the global objects in order, runs the
// application object, and lets the globals go in reverse order.
#include "app/CDJEditEnter.h"
#include "app/COption.h"
#include "app/CSessionEndSignal.h"
#include "app/CTavDJ1App.h"
#include "app/MessageDlg.h"
#include "app/UpdateCheck.h"
#include "engine/stream/CDJDataMan.h"
#include "platform/HttpClient.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#ifdef TAVDJ_WEB_VIEW_LIBRARY
#include "app/CWebViewPlugin.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool HasEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The program's icon in every size it carries.
QIcon ProgramIcon()
{
    QIcon icon;
    const QDir folder(QStringLiteral(":/icons"));
    for (const QString& name : folder.entryList({ QStringLiteral("tavdj-*.png") }))
        icon.addFile(folder.filePath(name));
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

    QApplication application(argc, argv);
    platform::SetHttpModule(ModulePath(QStringLiteral(TAVDJ_HTTP_LIBRARY)));
#ifdef TAVDJ_WEB_VIEW_LIBRARY
    CWebViewPlugin::Register(ModulePath(QStringLiteral(TAVDJ_WEB_VIEW_LIBRARY)));
#endif
    QApplication::setApplicationName(QStringLiteral("TavDJ"));
    QApplication::setWindowIcon(ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("tavdj"));
    QApplication::setQuitOnLastWindowClosed(true);
    CTavDJ1App app(std::move(args));
    return app.Run();
}
