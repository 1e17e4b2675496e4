#pragma once

#include <QDialog>
#include <QString>

// Thread: user-interface thread.
// A dialog, or a page of one, whose server-test button (1066) shows a
// tooltip at once when the mouse rests on it, for 15 seconds. Set inside
// another dialog as a page, it never closes on its own: Escape on any of
// its controls closes the dialog that holds it, as closing its window
// would.
class CBaseDialog : public QDialog {
public:
    static constexpr int kTestButtonId = 1066;
    static constexpr int kTooltipHideMs = 15000;

    explicit CBaseDialog(QWidget* pParent = nullptr);

    // The text the test button's tooltip shows; the button must exist.
    void AddTooltip(const QString& text);

    void reject() override;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QString m_strTooltip;
};
