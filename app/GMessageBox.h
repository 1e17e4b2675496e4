#pragma once

#include "app/MessageDlg.h"
#include "platform/MessageTarget.h"

#include <QDialog>
#include <QIcon>
#include <QImage>

#include <array>
#include <memory>
#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

// Thread: user-interface thread; the close message may be posted to
// Handle() from any thread.
// The message box window: a frameless dialog with a painted title bar, the
// application's icon, the text, up to three buttons, an optional check box
// and an optional countdown, dragged by its background. MessageDlg and
// MessageDlgThreaded build and run it.
class GMessageBox : public QDialog {
public:
    // Child ids, also what a button press reports for sets whose answers
    // are not their own.
    static constexpr int kIdButton1 = 10;
    static constexpr int kIdButton2 = 20;
    static constexpr int kIdButton3 = 30;
    static constexpr int kIdCheck = 40;

    GMessageBox(QWidget* pOwner, const MessageDlgRequest& request);
    ~GMessageBox() override;

    // Any thread may post the close message to this handle.
    [[nodiscard]] platform::TargetHandle Handle() const;
    // The answer once the box has ended, else 0.
    [[nodiscard]] int Answer() const { return m_nAnswer; }
    // The text as shown now.
    [[nodiscard]] QString ShownText() const;
    // The title area, painted from the bitmap of the current state.
    [[nodiscard]] QRect TitleRect() const { return m_titleRect; }

    // Button captions for the user's language, indexed by answer 1 to 7.
    [[nodiscard]] static std::string ButtonCaption(int id);
    // The icon every box shows from now on.
    static void SetIcon(const QIcon& icon);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

public:
    // Escape and the window's close arrive here as the Cancel command.
    void reject() override;

private:
    class CloseTarget;

    void BuildChildren();
    void LayOut();
    void PaintTitles(int width);
    void PlaceOnScreen();
    // A button, the check box or Cancel (Escape); ignored without buttons.
    void OnCommand(int id);
    void OnCountdownPoll();
    void OnCloseMessage();
    void End(int answer);
    [[nodiscard]] int AnswerFor(int id) const;
    [[nodiscard]] int DefaultButtonId() const;

    MessageDlgRequest m_request;
    int m_nButtonSet = 0;
    std::array<std::string, 3> m_captions;
    std::string m_checkText;

    std::array<QPushButton*, 3> m_buttons {};
    QCheckBox* m_pCheck = nullptr;
    QFrame* m_pFrame = nullptr;
    QLabel* m_pIcon = nullptr;
    QLabel* m_pText = nullptr;
    QRect m_titleRect;
    QImage m_activeTitle;
    QImage m_inactiveTitle;
    bool m_bActive = false;

    // The countdown runs on the clock; the timer only looks at it.
    platform::Clock* m_pClock = nullptr;
    QTimer* m_pCountdownTimer = nullptr;
    uint64_t m_nCountdownStartMs = 0;
    int m_nRemaining = 0;

    QPoint m_dragOffset;
    bool m_bDragging = false;
    int m_nAnswer = 0;

    std::unique_ptr<CloseTarget> m_pTarget;
};
