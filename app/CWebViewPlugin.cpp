#include "app/CWebViewPlugin.h"

#include "skin/host/CWebBrowserWnd.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <cstdio>
#include <map>
#include <memory>

// Qt keeps the context that every GL context of the program shares with
// behind these two functions; Qt WebEngine and Qt Quick read it.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* pContext);
QT_END_NAMESPACE

namespace {

void DeleteShareContext()
{
    QOpenGLContext* pContext = QOpenGLContext::globalShareContext();
    qt_gl_set_global_share_context(nullptr);
    delete pContext;
}

// Web views hand their pictures to the window's GL context through a
// context that all GL contexts share. Qt makes one while the application
// starts when asked to (Qt::AA_ShareOpenGLContexts), which loads the GL
// driver in every run; the program draws its skins without GL, so no other
// context exists before the first web view and the shared one can be made
// here, just before the engine loads and looks for it (the engine is
// content with the context; the attribute itself can no longer be set once
// the application runs). Qt WebEngine's own clean-up runs before this one
// (post routines run newest first).
void ShareGlContexts()
{
    if (QOpenGLContext::globalShareContext() != nullptr)
        return;
    auto pContext = std::make_unique<QOpenGLContext>();
    pContext->setFormat(QSurfaceFormat::defaultFormat());
    // Without GL the engine draws its pages in software.
    if (!pContext->create())
        return;
    qt_gl_set_global_share_context(pContext.release());
    qAddPostRoutine(DeleteShareContext);
}

// The entries of the libraries loaded so far, null where loading failed.
std::map<std::string, CWebViewPlugin::CreateFunction>& LoadedEntries()
{
    static std::map<std::string, CWebViewPlugin::CreateFunction> entries;
    return entries;
}

} // namespace

void CWebViewPlugin::Register(const std::string& path)
{
    CWebBrowserWnd::RegisterFactory([path](QWidget* pParent) -> std::unique_ptr<CWebBrowserWnd> {
        const CreateFunction create = Load(path);
        if (create == nullptr || pParent == nullptr)
            return nullptr;
        return std::unique_ptr<CWebBrowserWnd>(create(pParent));
    });
}

CWebViewPlugin::CreateFunction CWebViewPlugin::Load(const std::string& path)
{
    auto& entries = LoadedEntries();
    if (const auto found = entries.find(path); found != entries.end())
        return found->second;
    CreateFunction& create = entries[path];
    const QString file = QString::fromStdString(path);
    if (!QFileInfo::exists(file)) {
        std::fprintf(stderr, "TavDJ: web pages cannot be shown: %s is missing\n", file.toLocal8Bit().constData());
        return nullptr;
    }
    ShareGlContexts();
    // Never unloaded: the engine's threads live until the program ends.
    QLibrary library(file);
    if (!library.load()) {
        std::fprintf(stderr, "TavDJ: web pages cannot be shown: %s\n", library.errorString().toLocal8Bit().constData());
        return nullptr;
    }
    create = reinterpret_cast<CreateFunction>(library.resolve(kEntryName));
    if (create == nullptr)
        std::fprintf(
            stderr, "TavDJ: web pages cannot be shown: %s has no %s\n", file.toLocal8Bit().constData(), kEntryName);
    return create;
}
