#include "app/CLimitEdit.h"

#include <QApplication>
#include <QClipboard>
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
    const qsizetype wanted = text().size() - selectedText().size() + inserted.size();
    QLineEdit::keyPressEvent(pEvent);
    if (!isReadOnly() && !inserted.isEmpty() && wanted > maxLength() && m_onMaxText)
        m_onMaxText();
}
