#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

class GXConFlash;

// Thread: user-interface thread only (where every Flash control lives).
// Hands mouse buttons on Flash stages back to the skin, so the skin's own
// mouse handling (context menus, dragging) works over a movie: right and
// middle buttons always go to the skin window, left buttons only where the
// control's pass-through test gives the point to the skin. One per process,
// shared by all Flash controls: the first control's AddRef makes it, the
// last one's Release deletes it. It filters the events of each registered
// stage widget.
class CFlashMouseHookMan : public QObject {
public:
    static void AddRef();
    static void Release();
    // Null while no Flash control exists.
    [[nodiscard]] static CFlashMouseHookMan* Get();

    // Starts handing back the buttons of pInner (the control's stage).
    void Register(GXConFlash& control, QWidget* pInner);
    void Unregister(GXConFlash& control);
    [[nodiscard]] int GetRefCount() const { return m_nRef; }
    [[nodiscard]] std::size_t GetRecordCount() const { return m_records.size(); }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    struct FlashConInfo {
        GXConFlash* pControl;
        // The skin window may delete the stage before the control goes.
        QPointer<QWidget> pInner;
    };

    CFlashMouseHookMan() = default;

    int m_nRef = 0;
    std::vector<FlashConInfo> m_records;
};
