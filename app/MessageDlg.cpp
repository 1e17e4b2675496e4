#include "app/MessageDlg.h"

#include "app/GMessageBox.h"

#include <QApplication>

namespace {

// User-interface thread only, like the boxes it stands in for.
MessageDlgResponder* g_pResponder = nullptr;

bool CanShowWindows()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

MessageDlgResponder* SetMessageDlgResponder(MessageDlgResponder* pResponder)
{
    MessageDlgResponder* pPrevious = g_pResponder;
    g_pResponder = pResponder;
    return pPrevious;
}

void MessageDlgInit(const QIcon& icon)
{
    GMessageBox::SetIcon(icon);
}

platform::MessageId WmGMessageBoxClose()
{
    static const platform::MessageId id = platform::RegisterMessage("WM_GMESSAGEBOX_CLOSE");
    return id;
}

int MessageDlg(QWidget* pOwner, const std::string& text, const std::string& caption, int type, int flags,
    const MessageDlgExtras& extras)
{
    // The caller's check result holds the box's initial state before anything is shown.
    if (extras.pCheckResult && (flags & (kMdCheckClear | kMdCheckSet)))
        *extras.pCheckResult = (flags & kMdCheckSet) ? 1 : 0;

    const MessageDlgRequest request { pOwner, text, caption, type, flags, extras, false };
    if (g_pResponder)
        return g_pResponder->Answer(request);
    if (!CanShowWindows())
        return -1;
    GMessageBox box(pOwner, request);
    box.exec();
    return box.Answer();
}

platform::TargetHandle MessageDlgThreaded(
    QWidget* pOwner, const std::string& text, const std::string& caption, int seconds, platform::Clock* pClock)
{
    MessageDlgRequest request;
    request.pOwner = pOwner;
    request.text = text;
    request.caption = caption;
    request.type = kMbOk;
    request.flags = kMdNoButtons | (seconds != 0 ? kMdCountdown : 0);
    request.extras.nSeconds = seconds;
    request.extras.pClock = pClock;
    request.bThreaded = true;
    if (g_pResponder)
        return g_pResponder->Open(request);
    if (!CanShowWindows())
        return platform::kNoTarget;

    // The box lives on this thread without blocking it and deletes itself
    // when it has ended; the caller keeps only the handle, which goes dead
    // with the box.
    auto* pBox = new GMessageBox(pOwner, request);
    QObject::connect(pBox, &QDialog::finished, pBox, &QObject::deleteLater);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, pBox, &QObject::deleteLater);
    pBox->setModal(false);
    pBox->show();
    return pBox->Handle();
}
