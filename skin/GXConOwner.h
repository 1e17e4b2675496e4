#pragma once

#include "skin/GXTypes.h"
#include "skin/SGxNotifyRecord.h"

#include <cstdint>
#include <string>

class GDib;
class GXConBase;
class GXManAlign;
class GXSubFont;
class QCursor;
class QWidget;
struct SGxMenuItem;

// Thread: user-interface thread only.
// The skin window as its controls see it. A control holds one of these
// instead of the whole window so it can be built, drawn and driven by a test
// without a window; the skin window implements it.
class GXConOwner {
public:
    virtual ~GXConOwner() = default;

    // A control's notification. The top window delivers it to the
    // application (or runs a script command); a nested window passes it up.
    virtual void OnControlNotify(const SGxNotifyRecord& record) = 0;
    // Draw this control into the back buffer and show it at once.
    virtual void InvalidateControl(GXConBase& control) = 0;
    // Re-lay out, refresh and redraw this control soon, once, after the
    // current event: a control may ask while the layout is being walked.
    virtual void RequestRefresh(GXConBase& control) = 0;
    // A notice to the application window (control under the mouse changed,
    // script failed, ...); 0 when there is no application window.
    virtual std::intptr_t NotifyOwner(int nCode, std::intptr_t lParam) = 0;

    // Control timers (GXManTimer): OnTimer(localId) on the control on expiry.
    virtual void SetTimer(GXConBase& control, int nLocalId, int nElapseMs) = 0;
    virtual void KillTimer(GXConBase& control, int nLocalId) = 0;

    // The skin's shared resources by name; null when the skin has none.
    virtual GDib* FindImage(const std::string& name) = 0;
    virtual const QCursor* FindCursor(const std::string& name) = 0;
    // A "Font" or "ImageFont" define item of the skin; null when none.
    virtual GXSubFont* FindControlFont(const std::string&) { return nullptr; }
    // The number of a control-ID name (MenuID, AssociateControl, ...);
    // false when the skin's ID table has no such name.
    virtual bool LookupIdName(const std::string&, int*) { return false; }
    // A menu of the program by id (its children are the pop-ups); null when
    // there is none.
    virtual const SGxMenuItem* FindMenu(int) { return nullptr; }
    // The layout node of the control with this id; null when there is none.
    virtual GXManAlign* FindLayoutNode(int) { return nullptr; }
    // Refresh every control, lay the window out again and redraw it all
    // now (a splitter drag changes the sizes the whole layout hangs on).
    virtual void RelayoutAll() { }
    // A text beginning with "$" evaluated by the skin's script; any other
    // text, or one whose script fails, comes back as it is.
    virtual std::string EvalText(const std::string& text) = 0;

    // A point of the window's client area in screen coordinates.
    [[nodiscard]] virtual GXPoint ClientToScreen(GXPoint point) const = 0;
    // The skin-wide debug drawing level (the top window's Debug attribute).
    [[nodiscard]] virtual int GetSkinDebugLevel() const = 0;

    // Controls that place a view of their own over their rectangle (web
    // page, Flash stage) ask for the three below. A window that answers
    // with the defaults (as the tests' windows do) gets no such view, and
    // the controls still load and draw.

    // The widget whose coordinates are the window's client coordinates;
    // such views are its children. Null when there is none.
    [[nodiscard]] virtual QWidget* GetHostWidget() { return nullptr; }
    // The folder a skin page named "./..." lives in: the skin folder, or
    // for a zipped skin the folder its content files are extracted to
    // (extracted on first use). Empty when there is none.
    [[nodiscard]] virtual std::string GetSkinContentFolder() { return {}; }
    enum class ButtonAction { Down, Up };
    // A mouse button that a view over a control hands back to the skin:
    // the window handles it as its own button down or up at the point
    // (client coordinates), so context menus and dragging work over it.
    virtual void OnForwardedButton(int nButton, ButtonAction action, GXPoint point)
    {
        (void)nButton;
        (void)action;
        (void)point;
    }
};
