#include "skin/host/CFlashWnd.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {

// The movie's background colour, or nothing: the widget does not fill its
// background, so without a colour the skin below shows through.
class Stage : public QWidget {
public:
    explicit Stage(QWidget* pParent)
        : QWidget(pParent)
    {
        setAutoFillBackground(false);
    }
    void SetColor(const QColor& color)
    {
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_color.isValid())
            return;
        QPainter painter(this);
        painter.fillRect(rect(), m_color);
    }

private:
    QColor m_color;
};

} // namespace

CFlashWnd::~CFlashWnd()
{
    Destroy();
}

bool CFlashWnd::Create(QWidget* pParent, const GXRect& rect)
{
    if (m_bCreated)
        return true;
    if (pParent != nullptr) {
        m_pStage = new Stage(pParent);
        m_pStage->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
        m_pStage->show();
    }
    m_bCreated = true;
    return true;
}

bool CFlashWnd::LoadMovie(const std::string& url)
{
    m_strMovie = url;
    return IsPlayerAvailable();
}

void CFlashWnd::SetBackgroundColor(COLORREF color)
{
    auto* pStage = static_cast<Stage*>(m_pStage.data());
    if (pStage == nullptr)
        return;
    pStage->SetColor(color == kGxTransparent ? QColor() : QColor(GxRed(color), GxGreen(color), GxBlue(color)));
}

void CFlashWnd::Move(int x, int y, int cx, int cy)
{
    if (m_pStage != nullptr)
        m_pStage->setGeometry(x, y, cx, cy);
}

void CFlashWnd::Show()
{
    if (m_pStage != nullptr)
        m_pStage->show();
}

void CFlashWnd::Hide()
{
    if (m_pStage != nullptr)
        m_pStage->hide();
}

void CFlashWnd::Enable()
{
    if (m_pStage != nullptr)
        m_pStage->setEnabled(true);
}

void CFlashWnd::Disable()
{
    if (m_pStage == nullptr)
        return;
    QWidget* pFocus = QApplication::focusWidget();
    if (pFocus != nullptr && (pFocus == m_pStage || m_pStage->isAncestorOf(pFocus))
        && m_pStage->parentWidget() != nullptr)
        m_pStage->parentWidget()->setFocus();
    m_pStage->setEnabled(false);
}

void CFlashWnd::Destroy()
{
    delete m_pStage.data();
    m_pStage.clear();
    m_strMovie.clear();
    m_bCreated = false;
}
