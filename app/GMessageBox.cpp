#include "app/GMessageBox.h"

#include "foundation/RectGeometry.h"
#include "platform/Clock.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace {

// Captions by answer number 1 to 7 (OK, Cancel, Abort, Retry, Ignore, Yes, No).
constexpr const char* kKoreanCaptions[7] = {
    "확인",
    "취소",
    "중지",
    "재시도(&R)",
    "무시(&I)",
    "예(&Y)",
    "아니요(&N)",
};
constexpr const char* kJapaneseCaptions[7] = {
    "OK",
    "キャンセル",
    "Abort",
    "Retry",
    "Ignore",
    "はい",
    "いいえ",
};
constexpr const char* kOtherCaptions[7] = {
    "&OK",
    "&Cancel",
    "&Abort",
    "&Retry",
    "&Ignore",
    "&Yes",
    "&No",
};

// The countdown shows whole seconds; looking at the clock 20 times a second
// keeps each step within 50 ms of its second.
constexpr int kCountdownPollMs = 50;
constexpr int kTitleHeight = 20;
constexpr int kButtonHeight = 25;
constexpr int kIconSize = 32;

// The active title runs from deep blue to light blue. The desktop has no
// caption colours to ask for the inactive one, so it uses quiet greys.
const QColor kActiveStart(0, 0, 100);
const QColor kActiveEnd(140, 161, 255);
const QColor kInactiveStart(128, 128, 128);
const QColor kInactiveEnd(192, 192, 192);
const QColor kInactiveText(212, 208, 200);

QIcon& StoredIcon()
{
    static QIcon icon;
    return icon;
}

// The countdown text: the first "%d" becomes the number. The text may come
// from a server's error reply, so it is never used as a format.
QString WithCountdown(const std::string& text, int seconds)
{
    std::string shown = text;
    const size_t at = shown.find("%d");
    if (at != std::string::npos)
        shown.replace(at, 2, std::to_string(seconds));
    return QString::fromStdString(shown);
}

int ShownButtons(int buttonSet)
{
    switch (buttonSet) {
    case kMbOk:
        return 1;
    case kMbOkCancel:
    case kMbYesNo:
        return 2;
    case kMbYesNoCancel:
        return 3;
    default:
        return 0;
    }
}

int Channel(int start, int end, int i, int n)
{
    return start - (start - end) * i / n;
}

QImage TitleImage(
    int width, const QColor& start, const QColor& end, const QColor& ink, const QFont& font, const QString& caption)
{
    QImage image(width, kTitleHeight, QImage::Format_RGB32);
    for (int i = 0; i < width; ++i) {
        const QColor c(Channel(start.red(), end.red(), i, width), Channel(start.green(), end.green(), i, width),
            Channel(start.blue(), end.blue(), i, width));
        for (int y = 0; y < kTitleHeight; ++y)
            image.setPixel(i, y, c.rgb());
    }
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(ink);
    const QString text = QFontMetrics(font).elidedText(caption, Qt::ElideRight, width);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    return image;
}

} // namespace

// Receives the close message for the box: posts from other threads wake
// the user-interface thread, which runs them.
class GMessageBox::CloseTarget final : public platform::MessageTarget {
public:
    explicit CloseTarget(GMessageBox& box)
        : m_box(box)
    {
        // A queued call dies with the box, so a post that lands while the
        // box goes away runs nothing.
        SetWakeHook([this] {
            QMetaObject::invokeMethod(
                &m_box, [this] { DispatchPending(); }, Qt::QueuedConnection);
        });
    }
    ~CloseTarget() override { Detach(); }

protected:
    platform::LParam OnMessage(platform::MessageId msg, platform::WParam, platform::LParam) override
    {
        if (msg == WmGMessageBoxClose())
            m_box.OnCloseMessage();
        return 0;
    }

private:
    GMessageBox& m_box;
};

std::string GMessageBox::ButtonCaption(int id)
{
    if (id < 1 || id > 7)
        return {};
    switch (QLocale().language()) {
    case QLocale::Korean:
        return kKoreanCaptions[id - 1];
    case QLocale::Japanese:
        return kJapaneseCaptions[id - 1];
    default:
        return kOtherCaptions[id - 1];
    }
}

void GMessageBox::SetIcon(const QIcon& icon)
{
    StoredIcon() = icon;
}

GMessageBox::GMessageBox(QWidget* pOwner, const MessageDlgRequest& request)
    : QDialog(pOwner, Qt::Dialog | Qt::FramelessWindowHint)
    , m_request(request)
    , m_nButtonSet(request.type & kMbButtonSetMask)
    , m_pClock(request.extras.pClock ? request.extras.pClock : &platform::Clock::System())
    , m_pTarget(std::make_unique<CloseTarget>(*this))
{
    const int flags = m_request.flags;
    if (flags & kMdCustomCaptions) {
        const QStringList parts = QString::fromStdString(m_request.extras.captions).split(',');
        for (int i = 0; i < 3 && i < parts.size(); ++i)
            m_captions[i] = parts[i].toStdString();
    } else {
        static constexpr int kSetCaptions[5][3] = { { kIdOk, 0, 0 }, { kIdOk, kIdCancel, 0 }, { 0, 0, 0 },
            { kIdYes, kIdNo, kIdCancel }, { kIdYes, kIdNo, 0 } };
        if (m_nButtonSet < 5)
            for (int i = 0; i < 3; ++i)
                m_captions[i] = ButtonCaption(kSetCaptions[m_nButtonSet][i]);
    }
    if (flags & (kMdCheckClear | kMdCheckSet))
        m_checkText = m_request.extras.checkText;
    if (flags & kMdCountdown)
        m_nRemaining = m_request.extras.nSeconds;

    setWindowTitle(QString::fromStdString(m_request.caption));
    BuildChildren();
    LayOut();
    if (flags & kMdCountdown) {
        m_nCountdownStartMs = m_pClock->NowMs();
        m_pCountdownTimer = new QTimer(this);
        connect(m_pCountdownTimer, &QTimer::timeout, this, [this] { OnCountdownPoll(); });
        m_pCountdownTimer->start(kCountdownPollMs);
    }
    PlaceOnScreen();

    QPushButton* pDefault = m_buttons[DefaultButtonId() / 10 - 1];
    pDefault->setDefault(true);
    pDefault->setFocus();
}

GMessageBox::~GMessageBox()
{
    m_pTarget.reset();
}

platform::TargetHandle GMessageBox::Handle() const
{
    return m_pTarget->Handle();
}

QString GMessageBox::ShownText() const
{
    return m_pText->text();
}

void GMessageBox::BuildChildren()
{
    m_pFrame = new QFrame(this);
    m_pFrame->setObjectName("frame");
    m_pFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);

    m_pIcon = new QLabel(this);
    m_pIcon->setObjectName("icon");
    m_pIcon->setAlignment(Qt::AlignCenter);
    QIcon icon = StoredIcon();
    if (icon.isNull())
        icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    m_pIcon->setPixmap(icon.pixmap(kIconSize, kIconSize));

    m_pText = new QLabel(this);
    m_pText->setObjectName("text");
    // Texts carry server replies: never read them as markup.
    m_pText->setTextFormat(Qt::PlainText);
    m_pText->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    static constexpr int kIds[3] = { kIdButton1, kIdButton2, kIdButton3 };
    for (int i = 0; i < 3; ++i) {
        m_buttons[i] = new QPushButton(this);
        m_buttons[i]->setObjectName(QString("BTN%1").arg(i + 1));
        m_buttons[i]->hide();
        const int id = kIds[i];
        connect(m_buttons[i], &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    }

    m_pCheck = new QCheckBox(QString::fromStdString(m_checkText), this);
    m_pCheck->setObjectName("check");
    m_pCheck->hide();
    connect(m_pCheck, &QCheckBox::toggled, this, [this] { OnCommand(kIdCheck); });
}

void GMessageBox::LayOut()
{
    const int flags = m_request.flags;
    const QFontMetrics fm(font());
    const QStringList lines = QString::fromStdString(m_request.text).split('\n');
    const int textHeight = static_cast<int>(lines.size()) * fm.height();
    int textWidth = 50;
    for (const QString& line : lines)
        textWidth = std::max(textWidth, fm.horizontalAdvance(line));

    std::array<int, 3> widths {};
    for (int i = 0; i < 3; ++i) {
        const QString caption = QString::fromStdString(m_captions[i]);
        widths[i] = (i > 0 && caption.isEmpty()) ? 0 : std::max(70, fm.horizontalAdvance(caption) + 10);
    }
    const bool hasCheck = (flags & (kMdCheckClear | kMdCheckSet)) && !m_checkText.empty();
    const int checkWidth = hasCheck ? fm.horizontalAdvance(QString::fromStdString(m_checkText)) + 20 : 0;

    const int w = std::max({ 230, textWidth + 70, widths[0] + widths[1] + widths[2] + checkWidth + 25 });
    const int h = std::max(textHeight, kIconSize);
    const bool noButtons = flags & kMdNoButtons;
    setFixedSize(w + 20, h + (noButtons ? 85 : 110));

    m_pFrame->setGeometry(7, 30, w, h + 32);
    const int iconY = ((flags & kMdIconTop) && textHeight > kIconSize) ? 50 : 30 + (h + 8) / 2;
    m_pIcon->setGeometry(17, iconY, kIconSize, kIconSize);
    m_pText->setGeometry(59, 30 + (h + 40 - textHeight) / 2, w - 62, textHeight);
    m_titleRect = QRect(5, 5, w + 5, kTitleHeight);

    // Right-aligned: each button ends 5 pixels left of the next one.
    const int buttonY = h + 75;
    const int x3 = widths[2] ? w - widths[2] + 2 : w + 7;
    const int x2 = (widths[1] || widths[2]) ? x3 - 5 - widths[1] : w + 7;
    const int x1 = x2 - 5 - widths[0];
    const int xs[3] = { x1, x2, x3 };
    const int shown = ShownButtons(m_nButtonSet);
    for (int i = 0; i < 3; ++i) {
        m_buttons[i]->setGeometry(xs[i], buttonY, widths[i], kButtonHeight);
        m_buttons[i]->setText(QString::fromStdString(m_captions[i]));
        m_buttons[i]->setEnabled(!noButtons);
        m_buttons[i]->setVisible(!noButtons && i < shown);
    }

    m_pText->setText(
        (flags & kMdCountdown) ? WithCountdown(m_request.text, m_nRemaining) : QString::fromStdString(m_request.text));

    if (checkWidth != 0) {
        m_pCheck->setGeometry(10, buttonY, checkWidth, kButtonHeight);
        const QSignalBlocker quiet(m_pCheck);
        m_pCheck->setChecked(flags & kMdCheckSet);
        m_pCheck->show();
    }
    PaintTitles(w + 5);
}

void GMessageBox::PaintTitles(int width)
{
    const QString caption
        = " " + (m_request.caption.empty() ? QString("APP") : QString::fromStdString(m_request.caption));
    m_activeTitle = TitleImage(width, kActiveStart, kActiveEnd, Qt::white, font(), caption);
    m_inactiveTitle = TitleImage(width, kInactiveStart, kInactiveEnd, kInactiveText, font(), caption);
}

void GMessageBox::PlaceOnScreen()
{
    QRect box(QPoint(0, 0), size());
    QWidget* pOwner = m_request.pOwner;
    QScreen* pScreen = pOwner ? pOwner->screen() : QGuiApplication::primaryScreen();
    if (pOwner && pOwner->isVisible() && !pOwner->isMinimized())
        box.moveCenter(pOwner->frameGeometry().center());
    else if (pScreen)
        box.moveCenter(pScreen->availableGeometry().center());
    if (QScreen* pUnder = QGuiApplication::screenAt(box.center()))
        pScreen = pUnder;
    if (pScreen) {
        const QRect a = pScreen->availableGeometry();
        const SRect rect { box.left(), box.top(), box.left() + box.width(), box.top() + box.height() };
        const SRect area { a.left(), a.top(), a.left() + a.width(), a.top() + a.height() };
        SRect fitted;
        FitRectToWorkArea(&rect, &area, &fitted);
        box.moveTopLeft(QPoint(fitted.left, fitted.top));
    }
    move(box.topLeft());
}

void GMessageBox::OnCommand(int id)
{
    if (m_request.flags & kMdNoButtons)
        return;
    if (id == kIdCheck) {
        if (m_request.extras.pCheckResult)
            *m_request.extras.pCheckResult = m_pCheck->isChecked() ? 1 : 0;
        return;
    }
    End(AnswerFor(id));
}

void GMessageBox::OnCountdownPoll()
{
    const uint64_t elapsed = (m_pClock->NowMs() - m_nCountdownStartMs) / 1000;
    const int target = m_request.extras.nSeconds - static_cast<int>(std::min<uint64_t>(elapsed, 1u << 30));
    // Whole seconds only; a box with nothing to count still waits one.
    if (elapsed == 0 || target >= m_nRemaining)
        return;
    m_nRemaining = target;
    if (m_nRemaining > 0) {
        if (m_request.text.find("%d") != std::string::npos)
            m_pText->setText(WithCountdown(m_request.text, m_nRemaining));
        return;
    }
    // The box ends itself even without buttons: the countdown is its only
    // way to close for a caller that never sends the close message.
    End(AnswerFor(DefaultButtonId()));
}

void GMessageBox::OnCloseMessage()
{
    // The close message is the owner's way to end a box without buttons,
    // so it ends the box directly rather than pressing a disabled button.
    End(AnswerFor(kIdButton1));
}

void GMessageBox::End(int answer)
{
    if (m_nAnswer != 0)
        return;
    m_nAnswer = answer;
    if (m_pCountdownTimer)
        m_pCountdownTimer->stop();
    done(answer);
}

int GMessageBox::AnswerFor(int id) const
{
    switch (m_nButtonSet) {
    case kMbOk:
        return kIdOk;
    case kMbOkCancel:
        return id == kIdButton1 ? kIdOk : kIdCancel;
    case kMbYesNoCancel:
        return id == kIdButton1 ? kIdYes : id == kIdButton2 ? kIdNo : kIdCancel;
    case kMbYesNo:
        return id == kIdButton1 ? kIdYes : kIdNo;
    default:
        return id;
    }
}

int GMessageBox::DefaultButtonId() const
{
    if (m_request.type & kMbDefButton3)
        return kIdButton3;
    if (m_request.type & kMbDefButton2)
        return kIdButton2;
    return kIdButton1;
}

void GMessageBox::reject()
{
    OnCommand(kIdCancel);
}

void GMessageBox::closeEvent(QCloseEvent* pEvent)
{
    // The box ends only through End; a close request is the Cancel command.
    pEvent->ignore();
    if (m_nAnswer == 0)
        OnCommand(kIdCancel);
}

void GMessageBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(m_titleRect.topLeft(), m_bActive ? m_activeTitle : m_inactiveTitle);
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void GMessageBox::changeEvent(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::ActivationChange && isActiveWindow() != m_bActive) {
        m_bActive = isActiveWindow();
        update(m_titleRect);
    }
    QDialog::changeEvent(pEvent);
}

void GMessageBox::showEvent(QShowEvent* pEvent)
{
    m_bActive = isActiveWindow();
    QDialog::showEvent(pEvent);
}

void GMessageBox::mousePressEvent(QMouseEvent* pEvent)
{
    // The whole background is the handle the box is dragged by.
    if (pEvent->button() != Qt::LeftButton)
        return QDialog::mousePressEvent(pEvent);
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_bDragging = true;
    m_dragOffset = pEvent->globalPosition().toPoint() - frameGeometry().topLeft();
}

void GMessageBox::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (m_bDragging)
        move(pEvent->globalPosition().toPoint() - m_dragOffset);
    else
        QDialog::mouseMoveEvent(pEvent);
}

void GMessageBox::mouseReleaseEvent(QMouseEvent* pEvent)
{
    m_bDragging = false;
    QDialog::mouseReleaseEvent(pEvent);
}
