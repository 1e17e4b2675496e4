#pragma once

#include "skin/GDib.h"
#include "skin/GXConBase.h"
#include "skin/controls/GXConSliderParent.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class GXConSlider;

// Thread: user-interface thread of its skin window; notifications are sent
// while the event that caused them is handled.
// "ListBoxControl": rows of column texts drawn into a private buffer with
// colours and frame images by row state, column widths taken from static
// controls that form a header, and a skin slider as its scroll bar (the
// list is the slider's parent). Single or multiple selection with Shift,
// Ctrl and Ctrl+A, keyboard navigation and the wheel; a cell cut short by
// its column shows its whole text as the tooltip. Every selection change a
// click makes reaches the application as GXLBM_ITEMCHANGED (wParam the
// control id, lParam the control). Nothing in the program fills a list box;
// skins and extensions use InsertItem, DeleteItem and SwapItems.
class GXConListBox : public GXConBase, public GXConSliderParent {
public:
    // One cell. The truncated flag is written by drawing.
    struct SColumn {
        std::string text;
        bool bTruncated = false;
    };
    // One row; made with one column.
    struct SItem {
        std::vector<SColumn> columns;
        unsigned nFlags = 0;
        std::uintptr_t nData = 0;
    };
    static constexpr unsigned kItemSelected = 1;
    // Set only by extensions: the current-item colours and frames.
    static constexpr unsigned kItemCurrent = 2;

    // Style bits ("multiselect", "dragenable" / "draggable",
    // "ezmultiselect": every click toggles).
    static constexpr unsigned kStyleMultiSelect = 1;
    static constexpr unsigned kStyleDragEnable = 2;
    static constexpr unsigned kStyleEzMultiSelect = 4;
    static constexpr int kMaxColumns = 10;

    enum class Select { No, Yes };
    enum class NotifyChange { No, Yes };
    enum class Full { No, Yes };
    // The keyboard modifiers a click or key is read with.
    struct SModifiers {
        bool bShift = false;
        bool bControl = false;
    };

    explicit GXConListBox(GXConOwner* pOwner);
    ~GXConListBox() override;

    // GXConBase slots.
    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    int Draw() override;
    void OnSize(int cx, int cy) override;
    void Refresh() override;
    int ApplyColorTheme(const SColorTheme& theme) override;
    bool OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave) override;
    bool OnMouseLeave() override;
    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;
    // Three rows a notch; false (the window passes the wheel on) when the
    // whole list is in view.
    bool OnMouseWheel(int nKeyState, int nDelta, int x, int y) override;
    bool OnKeyDown(int nKey, int nRepeat, int nFlags) override;
    // A clicked list box takes the keyboard, whatever its selection style.
    [[nodiscard]] bool WantsKeyboardFocus() const override;

    // The list's own slots, for extensions.
    // -1 for an index outside 0..count; the text becomes column 0.
    virtual int InsertItem(int nIndex, const std::string& text, Redraw redraw);
    virtual bool DeleteItem(int nIndex);
    virtual bool DeleteAll();
    virtual void SwapItems(int nIndexA, int nIndexB);
    virtual bool OnDragStart(int nButton, int nPressIndex, int x, int y);
    virtual void OnDoubleClick();
    virtual int OnEnter(int nCurrent);
    // Redraws the list buffer; Full::No also draws the frame image.
    virtual void RedrawItems(Full full);
    virtual bool ClickSelect(int nIndex, bool bPress);

    // GXConSliderParent: the slider scrolls the list.
    void PosChange(int nPos, int nControlId) override;
    void PosChangeEnd(int nPos, int nControlId) override;
    void PosScanning(int nValue, int nControlId) override;

    void SetSel(int nIndex, Select select, NotifyChange notify);
    void SelectRange(int nFrom, int nTo, NotifyChange notify);
    void ClearSel(Redraw redraw);
    void EnsureVisible(int nIndex);
    void SelectAll();
    [[nodiscard]] int GetFirstSel() const;
    [[nodiscard]] int GetLastSel() const;
    [[nodiscard]] bool IsSelected(int nIndex) const;
    [[nodiscard]] int GetVisibleRows() const;
    // -1 above the rows and below the last item.
    [[nodiscard]] int ItemFromY(int y) const;
    [[nodiscard]] int ColumnFromX(int x) const;

    [[nodiscard]] int GetCount() const { return static_cast<int>(m_items.size()); }
    [[nodiscard]] const SItem* GetItem(int nIndex) const;
    [[nodiscard]] int GetTopIndex() const { return m_nTopIndex; }
    [[nodiscard]] int GetCurrentIndex() const { return m_nCurrent; }
    [[nodiscard]] int GetAnchorIndex() const { return m_nAnchor; }
    [[nodiscard]] int GetColumnCount() const { return m_nColumnCount; }
    [[nodiscard]] unsigned GetStyle() const { return m_nStyle; }
    [[nodiscard]] const GDib& GetListBuffer() const { return m_listBuffer; }

    // The registered message every selection notification carries.
    [[nodiscard]] static unsigned ItemChangedMessage();

protected:
    // Shift and Ctrl as the keyboard holds them now; tests replace it.
    [[nodiscard]] virtual SModifiers HeldModifiers() const;

private:
    enum ItemColor { kDefaultText, kDefaultTextBk, kSelText, kSelTextBk, kCurText, kCurTextBk, kColorCount };
    enum ItemFrame { kFrameItem, kFrameSel, kFrameCur, kFrameCurSel, kFrameCount };

    [[nodiscard]] bool LoadImages(const GXmpData* pElement);
    [[nodiscard]] bool LoadLinks(const GXmpData* pElement);
    void ResolveLinks();
    void ReadLinkSizes();
    [[nodiscard]] GXConBase* FindControl(int nId) const;
    [[nodiscard]] bool IsMulti() const { return (m_nStyle & kStyleMultiSelect) != 0; }
    [[nodiscard]] bool IsValid(int nIndex) const { return nIndex >= 0 && nIndex < GetCount(); }
    [[nodiscard]] int RowLeft() const { return m_nFrameCx; }
    [[nodiscard]] int RowRight() const;
    [[nodiscard]] int ColumnWidth(int nColumn) const;
    void UpdateScroll();
    void DrawBackground(Full full);
    void DrawRow(int nRow, SItem& item);
    void DrawCells(int nTop, SItem& item);
    void ChangedRows();
    void Changed(NotifyChange notify);
    void MoveIndices(int nFrom, int nBy);
    [[nodiscard]] bool IsOnlySelected(int nIndex) const;

    GDib m_listBuffer;
    bool m_bNoBkgndImage = true;
    int m_nImageType = 0;
    GDib* m_pBkgndImage = nullptr;
    GDib* m_pFrameImage = nullptr;
    std::array<GDib*, kFrameCount> m_pItemFrames {};
    int m_nItemHeight = 10;
    int m_nTopIndex = 0;
    int m_nFrameCx = 0;
    int m_nFrameCy = 0;
    bool m_bHasSlider = false;
    int m_nSliderId = 0;
    GXConSlider* m_pSlider = nullptr;
    int m_nSliderWidth = 0;
    bool m_bFirstSize = true;
    GXSize m_size;
    std::array<COLORREF, kColorCount> m_colors {};
    std::array<COLORREF, kColorCount> m_skinColors {};
    std::vector<SItem> m_items;
    unsigned m_nStyle = 0;
    int m_nCurrent = -1;
    int m_nAnchor = -1;
    int m_nHighlight = -1;
    bool m_bDragging = false;
    int m_nPressIndex = -1;
    bool m_bPressedAgain = false;
    int m_nLastButton = 0;
    GXPoint m_ptPress;
    bool m_bHeader = false;
    int m_nHeaderId = 0;
    GXConBase* m_pHeader = nullptr;
    int m_nHeaderHeight = 0;
    std::array<int, kMaxColumns> m_nColumnIds {};
    std::array<bool, kMaxColumns> m_bColumnNamed {};
    std::array<GXConBase*, kMaxColumns> m_pColumns {};
    int m_nColumnCount = 1;
    // Wheel travel not yet worth a notch (high-resolution wheels).
    int m_nWheelRest = 0;
};
