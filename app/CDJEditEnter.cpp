#include "app/CDJEditEnter.h"

#include "platform/Clock.h"

#include <QKeyEvent>

#include <algorithm>

namespace {

qsizetype Utf8Bytes(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80)
            bytes += 1;
        else if (unit < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

// The longest start of text that fits in nBytes, never splitting a pair of
// surrogates.
qsizetype FittingPrefix(QStringView text, qsizetype nBytes)
{
    qsizetype length = 0;
    qsizetype bytes = 0;
    while (length < text.size()) {
        const qsizetype step
            = text[length].isHighSurrogate() && length + 1 < text.size() && text[length + 1].isLowSurrogate() ? 2 : 1;
        bytes += Utf8Bytes(text.sliced(length, step));
        if (bytes > nBytes)
            break;
        length += step;
    }
    return length;
}

} // namespace

platform::MessageId WmCdjEditEnter()
{
    static const platform::MessageId id = platform::RegisterMessage("WM_CDJEDIT_ENTER");
    return id;
}

CDJEditEnter::CDJEditEnter(QWidget* pParent, platform::TargetHandle notify, platform::Clock* pClock)
    : QLineEdit(pParent)
    , m_notify(notify)
    , m_pClock(pClock ? pClock : &platform::Clock::System())
    , m_nLastReportMs(m_pClock->NowMs())
{
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        // The user's edits arrive through textEdited first; this keeps
        // up with the text the program sets.
        if (!isModified())
            m_before = text;
    });
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { OnTextEdited(text); });
}

void CDJEditEnter::LimitText(int nBytes)
{
    m_nLimitBytes = nBytes > 0 ? nBytes : 0;
    m_before = text();
}

void CDJEditEnter::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->key() != Qt::Key_Return && pEvent->key() != Qt::Key_Enter) {
        QLineEdit::keyPressEvent(pEvent);
        return;
    }
    pEvent->accept();
    const uint64_t now = m_pClock->NowMs();
    if (now - m_nLastReportMs <= kEnterIntervalMs)
        return;
    m_nLastReportMs = now;
    platform::PostMessage(m_notify, WmCdjEditEnter(), 0, 0);
}

void CDJEditEnter::OnTextEdited(const QString& text)
{
    if (m_nLimitBytes == 0 || Utf8Bytes(text) <= m_nLimitBytes) {
        m_before = text;
        return;
    }
    // What the edit inserted lies between the part it kept at the start
    // and the part it kept at the end; of that only as much as fits stays.
    const qsizetype maxKept = std::min(m_before.size(), text.size());
    qsizetype head = 0;
    while (head < maxKept && m_before[head] == text[head])
        ++head;
    qsizetype tail = 0;
    while (tail < maxKept - head && m_before[m_before.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;
    // Do not start or end the insertion inside a surrogate pair.
    if (head > 0 && text[head - 1].isHighSurrogate())
        --head;
    if (tail > 0 && text[text.size() - tail].isLowSurrogate())
        --tail;

    const QStringView kept = QStringView(text).first(head);
    const QStringView inserted = QStringView(text).sliced(head, text.size() - head - tail);
    const QStringView after = QStringView(text).last(tail);
    const qsizetype room = std::max<qsizetype>(0, m_nLimitBytes - Utf8Bytes(kept) - Utf8Bytes(after));
    const QStringView fitting = inserted.first(FittingPrefix(inserted, room));

    const QString result = kept.toString() + fitting.toString() + after.toString();
    m_before = result;
    setText(result);
    setModified(true);
    // The caret stays where the insertion stopped, and is shown.
    setCursorPosition(static_cast<int>(head + fitting.size()));
}
