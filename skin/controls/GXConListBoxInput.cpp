#include "skin/controls/GXConListBox.h"

#include "skin/GXSkinIds.h"
#include "skin/controls/GXConSlider.h"

#include <QGuiApplication>

#include <algorithm>

// Selection, the mouse, keys, the wheel and the slider's reports.

namespace {

constexpr int kKeyReturn = GXKey::kReturn;
constexpr int kKeyPrior = GXKey::kPrior;
constexpr int kKeyNext = GXKey::kNext;
constexpr int kKeyEnd = GXKey::kEnd;
constexpr int kKeyHome = GXKey::kHome;
constexpr int kKeyUp = GXKey::kUp;
constexpr int kKeyDown = GXKey::kDown;
// Letters arrive as their upper-case codes.
constexpr int kKeyA = 'A';

// One wheel notch, and the rows it scrolls (the desktop's usual three).
constexpr int kWheelNotch = 120;
constexpr int kRowsPerNotch = 3;

// A tooltip shows "&" only when it is doubled.
std::string DoubleAmpersands(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '&')
            out += '&';
    }
    return out;
}

} // namespace

// ---- selection ----

void GXConListBox::ChangedRows()
{
    RedrawItems(Full::Yes);
    Invalidate();
}

void GXConListBox::Changed(NotifyChange notify)
{
    if (notify == NotifyChange::No)
        return;
    ChangedRows();
    Notify(ItemChangedMessage(), static_cast<std::uintptr_t>(GetControlId()), reinterpret_cast<std::intptr_t>(this));
}

void GXConListBox::SetSel(int nIndex, Select select, NotifyChange notify)
{
    if (!IsValid(nIndex))
        return;
    SItem& item = m_items[static_cast<std::size_t>(nIndex)];
    if (select == Select::Yes) {
        if (!IsMulti()) {
            for (SItem& other : m_items)
                other.nFlags &= ~kItemSelected;
        }
        item.nFlags |= kItemSelected;
        m_nCurrent = m_nAnchor = nIndex;
    } else {
        item.nFlags &= ~kItemSelected;
        if (m_nCurrent == nIndex)
            m_nCurrent = m_nAnchor = -1;
    }
    Changed(notify);
}

void GXConListBox::SelectRange(int nFrom, int nTo, NotifyChange notify)
{
    if (!IsValid(nFrom) || !IsValid(nTo) || !IsMulti())
        return;
    for (int i = std::min(nFrom, nTo); i <= std::max(nFrom, nTo); ++i)
        m_items[static_cast<std::size_t>(i)].nFlags |= kItemSelected;
    m_nCurrent = nTo;
    Changed(notify);
}

void GXConListBox::ClearSel(Redraw redraw)
{
    for (SItem& item : m_items)
        item.nFlags &= ~kItemSelected;
    if (redraw == Redraw::Yes)
        ChangedRows();
}

void GXConListBox::SelectAll()
{
    if (IsMulti() && GetCount() > 0)
        SelectRange(0, GetCount() - 1, NotifyChange::Yes);
}

int GXConListBox::GetFirstSel() const
{
    for (int i = 0; i < GetCount(); ++i) {
        if (IsSelected(i))
            return i;
    }
    return -1;
}

int GXConListBox::GetLastSel() const
{
    for (int i = GetCount() - 1; i >= 0; --i) {
        if (IsSelected(i))
            return i;
    }
    return -1;
}

bool GXConListBox::IsSelected(int nIndex) const
{
    return IsValid(nIndex) && (m_items[static_cast<std::size_t>(nIndex)].nFlags & kItemSelected) != 0;
}

bool GXConListBox::IsOnlySelected(int nIndex) const
{
    return IsSelected(nIndex) && GetFirstSel() == nIndex && GetLastSel() == nIndex;
}

void GXConListBox::EnsureVisible(int nIndex)
{
    const int visible = GetVisibleRows();
    if (!IsValid(nIndex) || visible <= 0)
        return;
    if (nIndex < m_nTopIndex)
        m_nTopIndex = nIndex;
    else if (nIndex >= m_nTopIndex + visible)
        m_nTopIndex = nIndex - visible + 1;
    else
        return;
    ChangedRows();
}

bool GXConListBox::ClickSelect(int nIndex, bool bPress)
{
    const SModifiers held = HeldModifiers();
    if (!IsMulti()) {
        SetSel(GetFirstSel(), Select::No, NotifyChange::No);
        SetSel(nIndex, Select::Yes, NotifyChange::Yes);
        return true;
    }
    // A range from an anchor that was deleted would clear everything and
    // select nothing; such a click selects like a plain one.
    if (held.bShift && m_nCurrent >= 0 && IsValid(m_nAnchor)) {
        ClearSel(Redraw::No);
        SelectRange(m_nAnchor, nIndex, NotifyChange::Yes);
        return true;
    }
    const bool bToggle = held.bControl || (m_nStyle & kStyleEzMultiSelect) != 0;
    if (bToggle && IsSelected(nIndex)) {
        SetSel(nIndex, Select::No, NotifyChange::Yes);
        return true;
    }
    // A press on a selected item of a draggable list keeps the selection
    // that is about to be dragged.
    const bool bKeep = bToggle || (bPress && IsSelected(nIndex) && (m_nStyle & kStyleDragEnable) != 0);
    if (!bKeep)
        ClearSel(Redraw::No);
    SetSel(nIndex, Select::Yes, NotifyChange::Yes);
    return true;
}

GXConListBox::SModifiers GXConListBox::HeldModifiers() const
{
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    return SModifiers { held.testFlag(Qt::ShiftModifier), held.testFlag(Qt::ControlModifier) };
}

// ---- mouse and keys ----

bool GXConListBox::OnButtonDown(int nButton, int x, int y, bool* pbCapture)
{
    m_nPressIndex = -1;
    m_bPressedAgain = false;
    m_ptPress = GXPoint { x, y };
    m_nLastButton = nButton;
    if (nButton == kButtonDoubleClick) {
        OnDoubleClick();
        return true;
    }
    if (nButton != kButtonLeft && nButton != kButtonRight)
        return false;
    const int item = ItemFromY(y);
    if (item < 0) {
        ClearSel(Redraw::Yes);
        return true;
    }
    if (nButton == kButtonRight && IsSelected(item))
        return true;
    if ((m_nStyle & kStyleDragEnable) != 0)
        *pbCapture = true;
    m_nPressIndex = item;
    if ((m_nStyle & kStyleEzMultiSelect) == 0)
        ClickSelect(item, true);
    return true;
}

bool GXConListBox::OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave)
{
    *pbWantLeave = true;
    if (captured == Captured::Yes && !m_bDragging && m_nPressIndex >= 0 && ItemFromY(y) != m_nPressIndex
        && IsSelected(m_nPressIndex)) {
        OnDragStart(m_nLastButton, m_nPressIndex, m_ptPress.x, m_ptPress.y);
        m_bPressedAgain = true;
    }
    std::string tip;
    const SItem* pItem = GetItem(ItemFromY(y));
    const int column = ColumnFromX(x);
    if (pItem != nullptr && column >= 0 && column < static_cast<int>(pItem->columns.size())) {
        const SColumn& cell = pItem->columns[static_cast<std::size_t>(column)];
        if (cell.bTruncated)
            tip = DoubleAmpersands(cell.text);
    }
    SetTooltip(tip, GetTooltipOnPress());
    return false;
}

bool GXConListBox::OnMouseLeave()
{
    SetTooltip(std::string(), GetTooltipOnPress());
    return false;
}

bool GXConListBox::OnButtonUp(int, int, int y, Captured)
{
    if (m_bDragging) {
        m_bDragging = false;
        return true;
    }
    const int item = ItemFromY(y);
    if (item < 0 || item != m_nPressIndex)
        return false;
    const SModifiers held = HeldModifiers();
    const bool bEz = (m_nStyle & kStyleEzMultiSelect) != 0;
    if (held.bShift || held.bControl || m_bPressedAgain || bEz) {
        m_bPressedAgain = false;
        if (bEz)
            ClickSelect(item, false);
        return true;
    }
    if (!IsOnlySelected(item)) {
        ClearSel(Redraw::No);
        SetSel(item, Select::Yes, NotifyChange::Yes);
    }
    m_nPressIndex = -1;
    return true;
}

bool GXConListBox::OnMouseWheel(int, int nDelta, int, int)
{
    const int visible = GetVisibleRows();
    if (visible >= GetCount())
        return false;
    m_nWheelRest += nDelta;
    const int notches = m_nWheelRest / kWheelNotch;
    m_nWheelRest %= kWheelNotch;
    const long long top = static_cast<long long>(m_nTopIndex) - static_cast<long long>(notches) * kRowsPerNotch;
    const int newTop = static_cast<int>(std::clamp<long long>(top, 0, GetCount() - visible));
    if (newTop != m_nTopIndex) {
        m_nTopIndex = newTop;
        ChangedRows();
    }
    return true;
}

bool GXConListBox::OnKeyDown(int nKey, int, int)
{
    if (m_items.empty() || !IsShown() || IsTooSmall())
        return false;
    const SModifiers held = HeldModifiers();
    const int count = GetCount();
    const int visible = GetVisibleRows();
    long long target = 0;
    switch (nKey) {
    case kKeyReturn:
        OnEnter(m_nCurrent);
        return true;
    case kKeyA:
        if (!held.bControl || held.bShift)
            return false;
        SelectAll();
        return true;
    case kKeyHome:
        target = 0;
        break;
    case kKeyEnd:
        target = count;
        break;
    case kKeyPrior:
        target = static_cast<long long>(m_nCurrent) - visible;
        break;
    case kKeyNext:
        target = static_cast<long long>(m_nCurrent) + visible;
        break;
    case kKeyUp:
    case kKeyDown:
        target = m_nCurrent < 0 ? m_nTopIndex : m_nCurrent + (nKey == kKeyUp ? -1 : 1);
        break;
    default:
        return false;
    }
    const int index = static_cast<int>(std::clamp<long long>(target, 0, count - 1));
    ClearSel(Redraw::No);
    // A range needs somewhere to start and a list that holds ranges; else
    // Shift moves like a plain key instead of leaving nothing selected.
    if (held.bShift && IsMulti() && IsValid(m_nAnchor)) {
        SelectRange(m_nAnchor, index, NotifyChange::No);
        m_nCurrent = index;
    } else {
        SetSel(index, Select::Yes, NotifyChange::No);
    }
    EnsureVisible(index);
    ChangedRows();
    return true;
}

bool GXConListBox::WantsKeyboardFocus() const
{
    return true;
}

// ---- slider ----

void GXConListBox::PosChange(int nPos, int)
{
    m_nTopIndex = std::max(0, nPos);
    ChangedRows();
}

void GXConListBox::PosChangeEnd(int, int)
{
}

void GXConListBox::PosScanning(int, int)
{
}
