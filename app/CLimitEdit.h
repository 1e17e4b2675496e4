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

private:
    std::function<void()> m_onMaxText;
};
