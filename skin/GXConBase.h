#pragma once

#include "skin/GXSkinIds.h"
#include "skin/GXTypes.h"
#include "skin/SGxAlign.h"

#include <array>
#include <cstdint>
#include <string>

class GDib;
class GXConOwner;
class GXSubFont;
class GXmpData;
class QCursor;
class QWidget;
struct SColorTheme;

// Thread: user-interface thread of its skin window; nothing here locks.
// The base of every skin control. A control is not a native window: it owns
// a rectangle of its skin window's client area, draws itself into the
// window's back buffer, and gets the mouse, timer and key events the window
// routes to it in control coordinates. It talks to the outside only through
// its owner (the skin window), which passes notifications on to the
// application. Controls are built by the skin loader and owned by the skin
// window's control list.
class GXConBase {
public:
    enum class Redraw { No, Yes };
    enum class Captured { No, Yes };

    // Mouse buttons as the window numbers them for OnButtonDown/Up.
    static constexpr int kButtonLeft = GXButton::kLeft;
    static constexpr int kButtonRight = GXButton::kRight;
    static constexpr int kButtonMiddle = GXButton::kMiddle;
    static constexpr int kButtonDoubleClick = GXButton::kDoubleClick;
    static constexpr int kTextCount = 6;
    // Single line, vertically centred, "&" drawn as it is.
    static constexpr unsigned kDefaultTextFormat = 0x824;

    // pOwner is the skin window the control lives in; null only for a
    // top-level skin window's own control part, which has nobody to notify.
    explicit GXConBase(GXConOwner* pOwner);
    GXConBase(const GXConBase&) = delete;
    GXConBase& operator=(const GXConBase&) = delete;

    // The slots, in the order the skin window and the loader rely on.
    virtual ~GXConBase();
    // Reads the attributes every control element shares; false (with
    // SetError) aborts the skin load. The base never fails.
    virtual bool Load(GDib* pBackBuffer, const GXmpData* pElement);
    virtual void Close();
    // Moves the control; OnSize when the size changed, Draw with Redraw::Yes.
    virtual void SetPos(int x, int y, int cx, int cy, Redraw redraw);
    // Draws into the back buffer; the base draws only the debug frame and
    // every control ends its own Draw by calling it. Returns 1.
    virtual int Draw();
    virtual void GetRect(SRect* pRect) const;
    virtual void GetScreenRect(SRect* pRect) const;
    virtual void GetSize(GXSize* pSize) const;
    // Fills the layout record from the element; false with *pnError 1 when
    // Align is missing and 2 when it names no alignment.
    virtual bool ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError);
    virtual void OnSize(int cx, int cy);
    // Index 0..5; other indexes are ignored.
    virtual void SetText(const std::string& text, int nIndex);
    virtual void SetTextColor(COLORREF color);
    // Re-derives cached drawing data after a layout or a refresh request.
    virtual void Refresh();
    virtual int ApplyColorTheme(const SColorTheme& theme);
    // The cursor for a point in control coordinates; null for the window's.
    [[nodiscard]] virtual const QCursor* GetCursor(int x, int y) const;
    // Mouse events in control coordinates. True asks the window to redraw
    // the control. *pbWantLeave asks for OnMouseLeave when the mouse leaves.
    virtual bool OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave);
    virtual bool OnMouseLeave();
    // *pbCapture asks the window to send the mouse here until button up.
    virtual bool OnButtonDown(int nButton, int x, int y, bool* pbCapture);
    // captured: the control held the mouse since its button down.
    virtual bool OnButtonUp(int nButton, int x, int y, Captured captured);
    // False lets the window pass the wheel on to the application.
    virtual bool OnMouseWheel(int nKeyState, int nDelta, int x, int y);
    [[nodiscard]] virtual bool HitTest(int x, int y) const;
    virtual void OnTimer(int nLocalId);
    virtual bool OnKeyDown(int nKey, int nRepeat, int nFlags);
    virtual bool OnKeyUp(int nKey, int nRepeat, int nFlags);
    // The image a static or a button shows, chosen by number (scripts'
    // SetImageNum). Controls without numbered images answer false / -1.
    virtual bool SetImageNum(int nImage);
    [[nodiscard]] virtual int GetImageNum() const;
    // A control that takes the keyboard once clicked (the list box).
    [[nodiscard]] virtual bool WantsKeyboardFocus() const;
    // A browser control opens the URL; every other control answers false.
    virtual bool Navigate(const std::string& url);

    // Used by the application and the script built-ins.
    void SetEnable(bool bEnable);
    void SetShow(bool bShow);
    [[nodiscard]] bool IsEnabled() const { return m_bEnabled; }
    [[nodiscard]] bool IsShown() const { return m_bShown; }
    const std::string& GetText(int nIndex) const;
    const std::string& GetTooltip() const { return m_strTooltip; }
    // The application writes both together; the window reads them.
    void SetTooltip(const std::string& text, int nTooltipOnPress);
    [[nodiscard]] int GetTooltipOnPress() const { return m_nTooltipOnPress; }
    [[nodiscard]] int GetNcHitTest() const { return m_nHitTest; }
    [[nodiscard]] const std::string& GetControlData() const { return m_strControlData; }
    // The control's left-bottom corner on the screen, where the application
    // opens its pop-up menus.
    void GetBottomLeftScreenPoint(GXPoint* pPoint) const;

    // Ids given by the loader from the control-ID table.
    void SetIds(int nControlId, int nControlId2, int nCommandId, int nRCommandId);
    [[nodiscard]] int GetControlId() const { return m_nControlId; }
    [[nodiscard]] int GetControlId2() const { return m_nControlId2; }
    [[nodiscard]] int GetCommandId() const { return m_nCommandId; }
    [[nodiscard]] int GetRCommandId() const { return m_nRCommandId; }
    void SetWindowControlId(int nId) { m_nWindowControlId = nId; }
    [[nodiscard]] int GetWindowControlId() const { return m_nWindowControlId; }
    void SetAttachedWindow(QWidget* pWindow) { m_pAttachedWindow = pWindow; }
    [[nodiscard]] QWidget* GetAttachedWindow() const { return m_pAttachedWindow; }

    // The last load error, for the loader's message.
    [[nodiscard]] int GetErrorCode() const { return m_nErrorCode; }
    [[nodiscard]] const std::string& GetErrorDetail() const { return m_strErrorDetail; }

    // True when the control is collapsed: empty, or below a positive MinSize.
    [[nodiscard]] bool IsTooSmall() const;

    // Draw this control into the back buffer and show it now.
    void Invalidate();
    // Re-lay out, Refresh and redraw later, once.
    void RequestRefresh();

protected:
    // A notification the application receives with SendMessage semantics.
    void Notify(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam);
    // A command (WM_COMMAND id), delivered to the application queued.
    void NotifyCommand(unsigned nId);
    std::intptr_t NotifyOwner(int nCode, std::intptr_t lParam);
    // An existing (control, local id) timer is re-armed with the new period.
    void SetControlTimer(int nLocalId, int nElapseMs);
    void KillControlTimer(int nLocalId);
    GDib* FindImage(const std::string& name) const;
    // printf-style detail; null gives an empty detail.
    void SetError(int nCode, const char* pszFormat = nullptr, ...) __attribute__((format(printf, 3, 4)));
    void ToLocal(int* px, int* py) const;
    // The text attributes several controls share. LoadFont reads FontName
    // (error 6 when the skin has no such font); LoadTexts reads Text,
    // Text2 ... up to nCount, evaluating "$" values when asked;
    // LoadTextColors reads FontColor and FontShadowColor, the shadow only
    // beside a text colour when asked.
    enum class EvalTexts { No, Yes };
    enum class ShadowNeedsColor { No, Yes };
    [[nodiscard]] bool LoadFont(const GXmpData* pElement);
    void LoadTexts(const GXmpData* pElement, int nCount, EvalTexts eval);
    void LoadTextColors(const GXmpData* pElement, ShadowNeedsColor rule);
    // A "$" value evaluated by the skin's script; others as they are.
    [[nodiscard]] std::string Evaluate(const std::string& value) const;
    // Draws text nIndex into the back buffer inside the inner gaps.
    void DrawText(int nIndex);

    GXConOwner* GetOwner() const { return m_pOwner; }
    GDib* GetBackBuffer() const { return m_pBackBuffer; }

    int m_nDebug = 0;
    SRect m_rect;
    std::array<std::string, kTextCount> m_strText;
    SRect m_rectInnerGaps;
    SRect m_rectGaps;
    GXSize m_sizeMin { -1, -1 };
    bool m_bTextHidden = false;
    unsigned m_nTextFormat = kDefaultTextFormat;
    GXSubFont* m_pFont = nullptr;
    COLORREF m_crText = 0;
    static constexpr COLORREF kNoShadow = 0xFFFFFFFF;
    COLORREF m_crShadow = kNoShadow;

private:
    int m_nErrorCode = 0;
    std::string m_strErrorDetail;
    GDib* m_pBackBuffer = nullptr;
    GXConOwner* m_pOwner;
    int m_nWindowControlId = 0;
    int m_nControlId = 0;
    int m_nControlId2 = 0;
    int m_nCommandId = 0;
    int m_nRCommandId = 0;
    QWidget* m_pAttachedWindow = nullptr;
    std::string m_strTooltip;
    int m_nTooltipOnPress = 0;
    bool m_bEnabled = true;
    int m_nHitTest = -1;
    bool m_bShown = true;
    const QCursor* m_pCursor = nullptr;
    std::string m_strControlData;
};
