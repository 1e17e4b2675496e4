#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <map>

// Thread: user-interface thread only.
// The application window a top skin window reports to. Every command and
// notification of the skin's controls reaches the application here, and the
// application never talks to the windowing system about skin controls
// itself. Send runs the application's handler before the caller goes on;
// Post queues the message for after the current event, which is how
// commands travel: a command that reloads or closes the skin must never
// delete the skin window under the control that is still handling the click.
class GXWindowOwner {
public:
    GXWindowOwner() = default;
    virtual ~GXWindowOwner();
    GXWindowOwner(const GXWindowOwner&) = delete;
    GXWindowOwner& operator=(const GXWindowOwner&) = delete;

    virtual std::intptr_t SendToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual void PostToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // The application's window the skin window lies on; null when there is
    // none (a test's owner), and the skin window is then a window of its own.
    [[nodiscard]] virtual QWidget* GetOwnerWidget() const { return nullptr; }

    // The application's own widgets by dialog-item id (its song-title field
    // is 5000): skins bind window control ids to them.
    void RegisterDlgItem(int nId, QWidget* pWidget);
    [[nodiscard]] QWidget* GetDlgItem(int nId) const;

private:
    std::map<int, QPointer<QWidget>> m_dlgItems;
};
