#pragma once

#include "skin/GDib.h"
#include "skin/GXConBase.h"
#include "skin/GXConOwner.h"
#include "skin/GXControlIdTable.h"
#include "skin/SColorTheme.h"
#include "skin/controls/SGxMenuItem.h"

#include <QCursor>

#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

class GSnap;
class GXImagePrefetch;
class GXManAlign;
class GXManTimer;
class GXRefreshQueue;
class GXScriptHost;
class GXSkinSource;
class GXSubFont;
class GXWindowOwner;
class GXWindowWidget;
class GXmp;
class GXmpData;
class QRegion;

// The flags a skin's SkinWindow element sets; they are only ever set.
struct SGxWindowFlags {
    bool bResizeBorder = false;
    bool bClientCaption = false;
    bool bDraggable = false;
    bool bPopupWindow = false;
    bool bMoveParent = false;
    bool bEnableDblClk = false;
    int nActAsControl = 0;
    // Minimum width and height, maximum width and height; -1 where unset.
    std::array<int, 4> minMaxSize { -1, -1, -1, -1 };
};

// What a window may be resized to (the answer to a min/max question).
struct SGxMinMaxInfo {
    GXSize maxSize { -1, -1 };
    GXSize maxTrackSize { -1, -1 };
    GXSize minTrackSize { -1, -1 };
};

// Thread: user-interface thread only; nothing here locks.
// The surface a loaded skin is drawn on, and the one way its controls reach
// the application. The window owns everything a skin consists of (controls,
// layout, images, fonts, cursors, themes, control-ID table, and in the top
// window the script host) and re-issues every command and notification of
// its controls to its owner, the application's window.
//
// Events come from a Qt widget (GXWindowWidget) that turns them into the
// Handle... methods below; they are plain methods, so tests drive a window
// without a screen. The back buffer always holds the whole picture, and the
// widget only ever copies from it.
//
// A skin window may be asked to go away while it is still handling an event
// further up the stack (a script's message box runs a loop in which the
// application handles a queued skin reload). Destroy() therefore hides and
// detaches a window that is in dispatch and deletes it only once the
// outermost handler has returned; meanwhile its script runs no further
// statement. Owners hold it in a Ptr, never delete it directly.
class GXWindowMain : public GXConBase, public GXConOwner {
public:
    enum class Background { Tile = 0, Stretch = 1, Frame = 2, Color = 3, None = 4 };
    // What a button press asks of the widget beyond the window's handling.
    enum class PressResult { Handled, NotHandled, StartDrag };

    struct Deleter {
        void operator()(GXWindowMain* pWindow) const { GXWindowMain::Destroy(pWindow); }
    };
    using Ptr = std::unique_ptr<GXWindowMain, Deleter>;

    // A window without a parent is a top skin window: it creates the script
    // host and registers the built-ins at once.
    explicit GXWindowMain(GXWindowMain* pParent = nullptr);
    ~GXWindowMain() override;

    // Deletes the window now, or, while it is handling an event, hides and
    // detaches it and deletes it after the outermost handler returns.
    static void Destroy(GXWindowMain* pWindow);
    [[nodiscard]] bool IsDying() const { return m_bDying; }
    // Live skin windows of the process (they share one tooltip).
    [[nodiscard]] static int GetLiveCount();

    // ---- the application's calls ----
    // Creates the widget on the owner's widget (or as a window of its own
    // when the owner has none). False when it exists already.
    bool Create(GXWindowOwner* pOwner, const GXRect& rect);
    // The application window of the skin (nested windows report to their
    // top window's); null before Create and once the window is let go.
    [[nodiscard]] GXWindowOwner* GetOwnerWindow() const { return GetTopWindow()->m_pOwnerWindow; }
    [[nodiscard]] QWidget* GetWidget() const;
    // The own id map first, then those of the skin windows in the control
    // list (one level), in list order.
    [[nodiscard]] GXConBase* FindControl(int nId) const;
    // GXShow::kShow sets the Show flag, kHide clears it; then the widget.
    void ShowWindow(int nCmdShow);
    [[nodiscard]] std::string GetErrorText() const;

    // ---- control-ID table ----
    // ".xml" or ".ini"; false (without an error code) for an unreadable file
    // or another extension, false with error 22/23 for a duplicate name.
    bool LoadControlIdFile(const std::string& path);
    [[nodiscard]] const std::string& GetControlIdFile() const { return m_strControlIdFile; }
    // Trimmed name; bClimb asks a nested window's parent and, from the top,
    // the nested windows below it.
    bool LookupControlId(const std::string& name, int* pnId, bool bClimb) const;
    bool LookupControlInfo(const std::string& name, SGxControlInfo* pInfo, bool bClimb) const;
    bool AddControlId(const std::string& name, int nId);
    bool AddWindowControlId(const std::string& name, int nId, QWidget* pWindow);

    // ---- loading a skin ----
    // Stores the skin's path (a folder, or a file opened as a zip) and
    // forgets the previous source; unloads nothing. False when the file
    // does not open as a zip.
    bool SetSkinPath(const std::string& path, bool bFromResources);
    // Unloads, then reads and parses the skin's description (the
    // application passes "skin.xml", 0 and true: the skin must also hold
    // LIST.xml or LIST.ini). nCodePage is the parser's code page option.
    bool LoadSkinXml(const std::string& fileName, unsigned nCodePage, bool bRequireList);
    // Builds the window from the parsed description: its attributes,
    // defines, script, controls and first picture. A failure unloads.
    bool BuildSkin();
    // False when no skin path is set.
    bool GetSkinSource(bool* pbFromResources, bool* pbZip, std::string* pPath) const;
    // Zip skins only: the private folder their other files are extracted
    // to (on first use), with a trailing '/'.
    bool GetTempFolder(std::string* pFolder);
    // The skin image of that name, loaded, tinted and cached on first use
    // (nested windows use the top window's cache); null when it cannot be
    // read.
    GDib* GetImage(const std::string& name);
    // Pictures of this window's skin decoded ahead, taken before reading a
    // file (null: none); the caller keeps it alive while it is set.
    void SetImagePrefetch(GXImagePrefetch* pPrefetch) { m_pImagePrefetch = pPrefetch; }
    // The Width and Height of the window's SkinWindow element.
    [[nodiscard]] GXSize GetSkinSize() const { return m_sizeSkin; }
    // The application's menus, by menu id, for the skin's menu buttons.
    void SetMenuTable(std::map<int, SGxMenuItem> menus);

    // ---- what the skin loader fills in (and tests use without it) ----
    // Appends a control to the control list with a layout node under
    // pParentNode (the control root when null); returns the node.
    GXManAlign* AddControl(
        std::unique_ptr<GXConBase> pControl, const SGxAlign& align, GXManAlign* pParentNode = nullptr);
    GXManAlign* AddRegionControl(
        std::unique_ptr<GXConBase> pControl, const SGxAlign& align, GXManAlign* pParentNode = nullptr);
    // False when the id is taken in this window or its nested windows.
    bool MapControlId(int nId, GXConBase* pControl);
    [[nodiscard]] GXManAlign* GetControlRoot() const { return m_pControlRoot.get(); }
    [[nodiscard]] GXManAlign* GetRegionRoot() const { return m_pRegionRoot.get(); }
    [[nodiscard]] const std::list<std::unique_ptr<GXConBase>>& GetControls() const { return m_controls; }
    // The id map of this window only: the skin window registered under the
    // id, else null.
    [[nodiscard]] GXWindowMain* FindChildWindow(int nId) const;
    void SetWindowFlags(const SGxWindowFlags& flags);
    [[nodiscard]] const SGxWindowFlags& GetWindowFlags() const { return m_flags; }
    void SetBackground(GDib* pImage, COLORREF color, Background mode);
    void SetSkinDebugLevel(int nLevel);
    void SetSkinDocument(std::unique_ptr<GXmp> pDoc);
    [[nodiscard]] const GXmpData* GetSkinXmlRoot() const;
    // A skin window's region: the widget itself (pop-up or ownerless) or the
    // owner's widget takes its shape. Null clears.
    void SetWindowRegion(const QRegion* pRegion);
    // Images shared by all windows of a skin (nested ones use the top
    // window's cache). The untinted original is kept, so a theme switch
    // re-tints from it whatever the image's name came from. An existing
    // name stays and false is returned.
    bool RegisterImage(const std::string& name, std::unique_ptr<GDib> pImage);
    void LockImageTheme(const std::string& name);
    bool AddFont(const std::string& name, std::unique_ptr<GXSubFont> pFont);
    [[nodiscard]] GXSubFont* FindFont(const std::string& name) const;
    bool AddCursor(const std::string& name, const QCursor& cursor);
    void AddColorTheme(const SColorTheme& theme);
    // -1: the theme after the current one. False without themes.
    bool SelectColorTheme(int nIndex);
    [[nodiscard]] int GetColorThemeIndex() const { return m_nThemeIndex; }
    [[nodiscard]] const SColorTheme& GetColorTheme() const { return m_currentTheme; }
    void ApplyColorThemeToControls(const SColorTheme& theme);
    // Closes and deletes every control and forgets everything the skin
    // brought except the control-ID table.
    void UnloadSkin();

    // ---- script ----
    // Creates the top window's script host and registers the built-ins;
    // nested windows share their parent's host.
    void InitScript();
    [[nodiscard]] GXScriptHost* GetScriptHost() const { return m_pScript; }
    bool RunScript(const std::string& text);
    [[nodiscard]] bool HasScriptFunction(const std::string& name) const;
    // Sets error 37 from the last failed run of this window.
    void SetScriptError();

    // ---- drawing ----
    void RefreshAll();
    // The dirty rectangle becomes the control's (null: the whole window).
    void RedrawControl(const GXConBase* pControl);
    // Draws what is dirty into the back buffer and has the widget copy it.
    void Update();
    [[nodiscard]] const GDib& GetBackBuffer() const { return m_backBuffer; }
    [[nodiscard]] GXSize GetClientSize() const { return m_sizeClient; }

    // ---- events (GXWindowWidget calls these; tests call them directly) ----
    void HandleSize(int nSizeType, int nWidth, int nHeight);
    void HandleMove();
    PressResult HandleButtonDown(int nButton, GXPoint point);
    bool HandleButtonUp(int nButton, GXPoint point);
    bool HandleDoubleClick(int nButton, GXPoint point);
    bool HandleWheel(int nKeyState, int nDelta, GXPoint point);
    bool HandleMouseMove(GXPoint point);
    void HandleMouseLeave();
    // A window-message key event: OnKeyDown/OnKeyUp of the focus control,
    // else sent on to the owner. Other key messages go to the owner.
    std::intptr_t HandleKey(unsigned nMessage, int nKey, std::intptr_t lParam);
    [[nodiscard]] int HandleNcHitTest(GXPoint point) const;
    // Non-client button presses (caption, borders): true when the owner
    // should not see them (a pop-up window handles its own).
    bool HandleNcButtonDown(unsigned nMessage, int nHitCode, GXPoint point);
    void HandleCommand(std::uintptr_t wParam, std::intptr_t lParam);
    // The window never closes itself: the owner decides.
    void HandleClose();
    void HandleContextMenu(GXPoint screenPoint);
    void HandleKillFocus();
    void HandleGetMinMaxInfo(SGxMinMaxInfo* pInfo) const;
    [[nodiscard]] int HandleGetDlgCode() const;
    // A close, minimise or maximise area was clicked: acts on the window
    // the skin lies on.
    void HandleSystemArea(int nHitCode);
    // The cursor for a client point with this hit code; null for the default.
    [[nodiscard]] const QCursor* HandleSetCursor(int nHitCode, GXPoint point) const;
    // The snapper a drag of the skin goes through: the one attached to the
    // window the skin lies on (the owner's, for a skin laid over its
    // owner's window); null when that window has none.
    [[nodiscard]] virtual GSnap* GetSnapper();
    [[nodiscard]] bool IsChildWindow() const { return m_bChild; }
    [[nodiscard]] GXWindowMain* GetParentWindow() const { return m_pParentWindow; }

    // Mouse state, for the widget and for tests.
    [[nodiscard]] GXConBase* GetCapturedControl() const { return m_pCaptured; }
    [[nodiscard]] GXConBase* GetHotControl() const { return m_pHot; }
    [[nodiscard]] GXConBase* GetFocusControl() const { return m_pFocus; }
    [[nodiscard]] GXConBase* GetLastControlUnderCursor() const { return m_pLastUnder; }
    // The control drawn last under the point, or null.
    [[nodiscard]] GXConBase* HitTestControls(GXPoint point) const;

    // ---- GXConOwner: what the controls ask ----
    void OnControlNotify(const SGxNotifyRecord& record) override;
    void InvalidateControl(GXConBase& control) override;
    void RequestRefresh(GXConBase& control) override;
    std::intptr_t NotifyOwner(int nCode, std::intptr_t lParam) override;
    void SetTimer(GXConBase& control, int nLocalId, int nElapseMs) override;
    void KillTimer(GXConBase& control, int nLocalId) override;
    // Cached, else loaded from the skin when one is set.
    GDib* FindImage(const std::string& name) override;
    const QCursor* FindCursor(const std::string& name) override;
    std::string EvalText(const std::string& text) override;
    GXSubFont* FindControlFont(const std::string& name) override;
    bool LookupIdName(const std::string& name, int* pnId) override;
    const SGxMenuItem* FindMenu(int nMenuId) override;
    GXManAlign* FindLayoutNode(int nControlId) override;
    void RelayoutAll() override;
    // The skin folder, or for a zip skin its private extraction folder.
    std::string GetSkinContentFolder() override;
    [[nodiscard]] GXPoint ClientToScreen(GXPoint point) const override;
    [[nodiscard]] int GetSkinDebugLevel() const override;
    // The window's widget, parent of the views browser and Flash controls
    // place over themselves.
    [[nodiscard]] QWidget* GetHostWidget() override;
    // A button handed back from such a view: handled as the window's own
    // press or release at the point.
    void OnForwardedButton(int nButton, ButtonAction action, GXPoint point) override;

    // ---- GXConBase slots of a window ----
    void Close() override;

protected:
    void MarkChild() { m_bChild = true; }
    // Creates the widget with the given parent and window kind.
    bool CreateWidget(QWidget* pParent, bool bPopup, const GXRect& rect);
    GXWindowMain* GetTopWindow();
    [[nodiscard]] const GXWindowMain* GetTopWindow() const;

private:
    friend class GXWindowWidget;
    // Counts the handlers of a skin under way, in the top window: a nested
    // window's handler keeps the whole skin busy, since the top window
    // deletes its nested windows when it goes.
    class DispatchScope {
    public:
        explicit DispatchScope(GXWindowMain& window);
        ~DispatchScope();
        DispatchScope(const DispatchScope&) = delete;
        DispatchScope& operator=(const DispatchScope&) = delete;

    private:
        GXWindowMain& m_top;
    };
    struct SImage {
        std::unique_ptr<GDib> pOriginal;
        std::unique_ptr<GDib> pTinted;
    };

    enum class ControlList { Controls, Regions };

    // The loader's steps (GXWindowMainLoad.cpp).
    bool LoadSkinWindow(const GXmpData* pElement, int nThemeIndex);
    bool LoadChildSkinWindow(const GXmpData* pElement);
    bool CreateControls(const GXmpData* pElement, GXManAlign* pParentNode, ControlList list);
    bool CreateNestedWindow(const GXmpData* pElement, GXManAlign* pParentNode);
    bool MapCommonIds(const GXmpData* pElement, GXConBase* pControl, int* pnMapId, bool* pbKeep);
    bool LoadDefines(const GXmpData* pItem);
    bool LoadCursorItem(const GXmpData* pItem);
    bool LoadFontItem(const GXmpData* pItem, bool bImageFont);
    bool RunSkinScript(const std::string& text);
    std::unique_ptr<GDib> LoadImageFile(const std::string& name);
    GXSkinSource* GetSource();
    [[nodiscard]] bool IsKnownControl(const GXConBase* pControl) const;
    bool LookupInfo(const std::string& name, SGxControlInfo* pInfo, bool bClimb, int nDepth) const;
    void LeaveHot();
    void ReleaseCapture();
    void ShowTooltip(const GXConBase& control);
    void HideTooltip();
    void RedrawBackBuffer();
    void RefreshControl(GXConBase& control);
    void FinishRefresh();
    void RunStrCmd(const char* pszScript);
    void SendButtonToOwner(unsigned nMessage, GXPoint point);
    void ForgetControlPointers();
    void Tint(SImage& image) const;
    [[nodiscard]] std::intptr_t SendToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam);

    GXWindowMain* m_pParentWindow = nullptr;
    GXWindowOwner* m_pOwnerWindow = nullptr;
    bool m_bChild = false;
    bool m_bDying = false;
    bool m_bDeleteQueued = false;
    int m_nDispatchDepth = 0;
    std::unique_ptr<GXWindowWidget> m_pWidget;

    GDib m_backBuffer;
    GDib* m_pBkgndImage = nullptr;
    COLORREF m_crBkgnd = 0;
    Background m_bkgndMode = Background::None;
    std::unique_ptr<GXmp> m_pSkinDoc;
    // The top window's; nested windows read through it.
    std::unique_ptr<GXSkinSource> m_pSource;
    GXSize m_sizeSkin;
    std::map<int, SGxMenuItem> m_menus;

    std::list<std::unique_ptr<GXConBase>> m_controls;
    std::list<std::unique_ptr<GXConBase>> m_regions;
    std::unique_ptr<GXManAlign> m_pControlRoot;
    std::unique_ptr<GXManAlign> m_pRegionRoot;
    std::map<int, GXConBase*> m_idMap;
    GXControlIdTable m_idTable;
    std::string m_strControlIdFile;

    GXConBase* m_pCaptured = nullptr;
    // The button number the captured control is told on release, and the
    // button whose release ends the capture (they differ for a double click).
    int m_nCaptureButton = 0;
    int m_nCaptureReleaseButton = 0;
    GXConBase* m_pHot = nullptr;
    GXConBase* m_pLastUnder = nullptr;
    GXConBase* m_pFocus = nullptr;
    GXPoint m_lastMouse { -1, -1 };

    GXRect m_rcDirty;
    bool m_bDirtyOnly = false;
    GXSize m_sizeClient;

    SGxWindowFlags m_flags;
    int m_nSkinDebug = 0;

    std::vector<SColorTheme> m_themes;
    int m_nThemeIndex = -1;
    SColorTheme m_currentTheme;

    // The top window owns the host; nested windows borrow it.
    std::unique_ptr<GXScriptHost> m_pOwnScript;
    GXScriptHost* m_pScript = nullptr;
    int m_nLastScriptError = 0;

    std::map<std::string, QCursor> m_cursors;
    std::map<std::string, std::unique_ptr<GXSubFont>> m_fonts;
    std::map<std::string, SImage> m_images;
    GXImagePrefetch* m_pImagePrefetch = nullptr;
    std::map<std::string, int> m_themeLocks;

    std::unique_ptr<GXManTimer> m_pTimers;
    std::unique_ptr<GXRefreshQueue> m_pRefresh;
};
