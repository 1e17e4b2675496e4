#pragma once

#include <QLineEdit>

#include <functional>

// Thread: user-interface thread.
// A line edit that tells its owner when typing or pasting ran into its
// maximum length and some of the input was refused.
class CLimitEdit : public QLineEdit {
public:
    explicit CLimitEdit(QWidget* pParent = nullptr);

    // Called after the refused input; the text keeps what fitted.
    void SetMaxTextHandler(std::function<void()> handler) { m_onMaxText = std::move(handler); }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    // Korean is typed through an input method: its committed text counts.
    void inputMethodEvent(QInputMethodEvent* pEvent) override;

private:
    // Whether inserting this text in place of the selection needs more room
    // than the limit leaves.
    [[nodiscard]] bool Overflows(const QString& inserted) const;

    std::function<void()> m_onMaxText;
};
