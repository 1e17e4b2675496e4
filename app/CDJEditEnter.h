#pragma once

#include "platform/MessageTarget.h"

#include <QLineEdit>

#include <cstdint>

namespace platform {
class Clock;
}

// Thread: user-interface thread.
// The song-title field of the main window. Enter reports to the main window
// with the registered message WM_CDJEDIT_ENTER (wParam 0, lParam 0) instead
// of acting in the field; a report comes at most once a second, counted
// from the field's creation too, so a held or bouncing key and the Enter
// that started the program send one title, not a burst. The text is held
// to a number of bytes of UTF-8 as it is sent, and what is typed or pasted
// past the limit is cut at a character, never inside one.
class CDJEditEnter : public QLineEdit {
public:
    // The limit the main window gives the field.
    static constexpr int kTitleLimitBytes = 128;
    static constexpr uint64_t kEnterIntervalMs = 1000;

    // Enter is reported to notify. The clock is the system's when null.
    CDJEditEnter(QWidget* pParent, platform::TargetHandle notify, platform::Clock* pClock = nullptr);

    // The most bytes the user can bring the text to; 0 lifts the limit.
    // Text set by the program is not cut.
    void LimitText(int nBytes);
    [[nodiscard]] int TextLimit() const { return m_nLimitBytes; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void OnTextEdited(const QString& text);

    platform::TargetHandle m_notify;
    platform::Clock* m_pClock;
    uint64_t m_nLastReportMs;
    int m_nLimitBytes = 0;
    // The text before the user's last edit, to find what the edit inserted.
    QString m_before;
};

// Thread: any. The registered message "WM_CDJEDIT_ENTER".
[[nodiscard]] platform::MessageId WmCdjEditEnter();
