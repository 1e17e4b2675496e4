#include "app/CBaseDialog.h"

#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

CBaseDialog::CBaseDialog(QWidget* pParent)
    : QDialog(pParent)
{
}

void CBaseDialog::AddTooltip(const QString& text)
{
    m_strTooltip = text;
    if (QWidget* pButton = findChild<QWidget*>(QString::number(kTestButtonId))) {
        pButton->setToolTip(text);
        pButton->setAttribute(Qt::WA_AlwaysShowToolTips);
        pButton->installEventFilter(this);
    }
}

void CBaseDialog::reject()
{
    // A page is no window of its own: closing it would leave a blank page
    // inside a dialog that stays open.
    if (!isWindow()) {
        if (auto* pHolder = qobject_cast<QDialog*>(window()))
            pHolder->reject();
        return;
    }
    QDialog::reject();
}

bool CBaseDialog::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    // The tip appears as soon as the mouse enters, not after the usual delay.
    if (pEvent->type() == QEvent::Enter || pEvent->type() == QEvent::ToolTip) {
        auto* pButton = static_cast<QWidget*>(pWatched);
        QToolTip::showText(
            pButton->mapToGlobal(QPoint(0, pButton->height())), m_strTooltip, pButton, {}, kTooltipHideMs);
        return pEvent->type() == QEvent::ToolTip;
    }
    return QDialog::eventFilter(pWatched, pEvent);
}
