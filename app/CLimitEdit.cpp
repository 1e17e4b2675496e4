#include "app/CLimitEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>

CLimitEdit::CLimitEdit(QWidget* pParent)
    : QLineEdit(pParent)
{
}

void CLimitEdit::keyPressEvent(QKeyEvent* pEvent)
{
    QString inserted;
    if (pEvent->matches(QKeySequence::Paste))
        inserted = QApplication::clipboard()->text();
    else if (!pEvent->text().isEmpty() && pEvent->text().at(0).isPrint())
        inserted = pEvent->text();
    // Counted before the key is handled: the selection is replaced.
    const bool overflows = Overflows(inserted);
    QLineEdit::keyPressEvent(pEvent);
    if (overflows && m_onMaxText)
        m_onMaxText();
}

void CLimitEdit::inputMethodEvent(QInputMethodEvent* pEvent)
{
    const bool overflows = Overflows(pEvent->commitString());
    QLineEdit::inputMethodEvent(pEvent);
    if (overflows && m_onMaxText)
        m_onMaxText();
}

bool CLimitEdit::Overflows(const QString& inserted) const
{
    return !isReadOnly() && !inserted.isEmpty()
        && text().size() - selectedText().size() + inserted.size() > maxLength();
}
