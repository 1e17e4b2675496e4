#include "skin/controls/GXConListBox.h"

#include "foundation/GXmpData.h"
#include "platform/MessageRegistry.h"
#include "skin/GXConOwner.h"
#include "skin/GXManAlign.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSubFont.h"
#include "skin/SColorTheme.h"
#include "skin/SkinFormat.h"
#include "skin/SkinFrame.h"
#include "skin/controls/GXConSlider.h"

#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

constexpr int kErrorImage = GXSkinError::kImageOpen;
constexpr int kErrorItemHeight = GXSkinError::kZeroItemHeight;
constexpr int kErrorSlider = GXSkinError::kSliderNotFound;
constexpr int kErrorNoHeaderId = GXSkinError::kNoColumnHeaderId;
constexpr int kErrorNoControl = GXSkinError::kColumnHeaderNotFound;

// Cells: one line, centred vertically, cut with an ellipsis, "&" as it is.
constexpr unsigned kCellFormat
    = GXTextFormat::kSingleLine | GXTextFormat::kVCenter | GXTextFormat::kEndEllipsis | GXTextFormat::kNoPrefix;

constexpr const char* kColorNames[]
    = { "ClrDefaultText", "ClrDefaultTextBk", "ClrSelText", "ClrSelTextBk", "ClrCurText", "ClrCurTextBk" };
constexpr COLORREF kDefaultColors[] = { 0x532F25, 0xBC7E6D, 0x532F25, 0xDDAC9D, 0xFFFFFF, 0xBC7E6D };
constexpr const char* kFrameNames[] = { "ItemFrame", "SelItemFrame", "CurItemFrame", "CurSelItemFrame" };

bool IsTrue(const std::string& value)
{
    return value == "true" || value == "1";
}

QColor ToQColor(COLORREF c)
{
    return QColor(GxRed(c), GxGreen(c), GxBlue(c));
}

} // namespace

GXConListBox::GXConListBox(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
    std::copy(std::begin(kDefaultColors), std::end(kDefaultColors), m_colors.begin());
    m_skinColors = m_colors;
}

// The slider is not told: the window destroys its controls in list order,
// so it may already be gone, and a slider reports only while it handles an
// event, which never happens during an unload.
GXConListBox::~GXConListBox() = default;

unsigned GXConListBox::ItemChangedMessage()
{
    static const unsigned id = platform::RegisterMessage(GXMsgName::kListItemChanged);
    return id;
}

// ---- loading ----

bool GXConListBox::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    if (!LoadImages(pElement))
        return false;
    std::string value;
    if (pElement->GetAttribute("Style", &value)) {
        if (value.find("multiselect") != std::string::npos)
            m_nStyle |= kStyleMultiSelect;
        if (value.find("dragenable") != std::string::npos || value.find("draggable") != std::string::npos)
            m_nStyle |= kStyleDragEnable;
        if (value.find("ezmultiselect") != std::string::npos)
            m_nStyle |= kStyleEzMultiSelect;
    }
    for (int i = 0; i < kColorCount; ++i) {
        if (pElement->GetAttribute(kColorNames[i], &value))
            m_colors[static_cast<std::size_t>(i)] = ParseSkinColor(value);
    }
    m_skinColors = m_colors;
    if (pElement->GetAttribute("ItemHeight", &value)) {
        m_nItemHeight = std::atoi(value.c_str());
        // Rows are found by dividing by the height; a negative one would
        // turn every row index around.
        if (m_nItemHeight <= 0) {
            SetError(kErrorItemHeight, "%s", value.c_str());
            return false;
        }
    }
    if (!LoadLinks(pElement) || !LoadFont(pElement))
        return false;
    return GXConBase::Load(pBackBuffer, pElement);
}

bool GXConListBox::LoadImages(const GXmpData* pElement)
{
    std::string value;
    const auto image = [&](const char* pszAttribute, GDib** ppImage) {
        if (!pElement->GetAttribute(pszAttribute, &value))
            return true;
        *ppImage = FindImage(value);
        if (*ppImage != nullptr)
            return true;
        SetError(kErrorImage, "%s", value.c_str());
        return false;
    };
    if (!image("BkgndImage", &m_pBkgndImage))
        return false;
    m_bNoBkgndImage = m_pBkgndImage == nullptr;
    if (pElement->GetAttribute("ImageType", &value))
        m_nImageType = value == "stretch" ? 1 : value == "none" ? 2 : 0;
    if (!image("FrameImage", &m_pFrameImage))
        return false;
    if (m_pFrameImage != nullptr) {
        m_nFrameCx = m_pFrameImage->GetWidth() / 3;
        m_nFrameCy = m_pFrameImage->GetHeight() / 3;
    }
    for (int i = 0; i < kFrameCount; ++i) {
        if (!image(kFrameNames[i], &m_pItemFrames[static_cast<std::size_t>(i)]))
            return false;
    }
    return true;
}

bool GXConListBox::LoadLinks(const GXmpData* pElement)
{
    std::string value;
    const auto lookup = [&](int nError, int* pnId) {
        if (GetOwner() != nullptr && GetOwner()->LookupIdName(value, pnId))
            return true;
        SetError(nError, "%s", value.c_str());
        return false;
    };
    if (pElement->GetAttribute("SliderControlID", &value)) {
        if (!lookup(kErrorSlider, &m_nSliderId))
            return false;
        m_bHasSlider = true;
    }
    if (pElement->GetAttribute("ColumnHeader", &value))
        m_bHeader = IsTrue(value);
    if (!m_bHeader)
        return true;
    if (!pElement->GetAttribute("ColumnHeaderID", &value)) {
        SetError(kErrorNoHeaderId, "%s", "ColumnHeaderID");
        return false;
    }
    if (!lookup(kErrorNoControl, &m_nHeaderId))
        return false;
    m_nColumnCount = 1;
    for (int i = 0; i < kMaxColumns; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "Column%d", i);
        if (!pElement->GetAttribute(name, &value))
            continue;
        if (!lookup(kErrorNoControl, &m_nColumnIds[static_cast<std::size_t>(i)]))
            return false;
        m_bColumnNamed[static_cast<std::size_t>(i)] = true;
        m_nColumnCount = i + 1;
    }
    return true;
}

GXConBase* GXConListBox::FindControl(int nId) const
{
    const GXManAlign* pNode = GetOwner() != nullptr ? GetOwner()->FindLayoutNode(nId) : nullptr;
    return pNode != nullptr ? pNode->GetControl() : nullptr;
}

void GXConListBox::ResolveLinks()
{
    if (m_bHasSlider && m_pSlider == nullptr) {
        m_pSlider = dynamic_cast<GXConSlider*>(FindControl(m_nSliderId));
        if (m_pSlider != nullptr)
            m_pSlider->SetParent(this);
    }
    if (m_bHeader) {
        m_pHeader = FindControl(m_nHeaderId);
        for (int i = 0; i < kMaxColumns; ++i) {
            const auto u = static_cast<std::size_t>(i);
            m_pColumns[u] = m_bColumnNamed[u] ? FindControl(m_nColumnIds[u]) : nullptr;
        }
    }
    ReadLinkSizes();
}

void GXConListBox::ReadLinkSizes()
{
    GXSize size;
    if (m_pSlider != nullptr) {
        m_pSlider->GetSize(&size);
        m_nSliderWidth = std::max(0, size.cx);
    }
    if (m_pHeader != nullptr) {
        m_pHeader->GetSize(&size);
        m_nHeaderHeight = std::max(0, size.cy);
    }
}

// ---- geometry ----

int GXConListBox::GetVisibleRows() const
{
    if (m_nItemHeight <= 0)
        return 0;
    const int space = m_rect.Height() - 2 * m_nFrameCy - m_nHeaderHeight;
    return std::max(0, space / m_nItemHeight);
}

int GXConListBox::RowRight() const
{
    return m_rect.Width() - m_nSliderWidth - m_nFrameCx;
}

int GXConListBox::ItemFromY(int y) const
{
    const int offset = y - m_nHeaderHeight - m_nFrameCy;
    if (offset < 0 || m_nItemHeight <= 0)
        return -1;
    const long long index = static_cast<long long>(offset / m_nItemHeight) + m_nTopIndex;
    return index < GetCount() ? static_cast<int>(index) : -1;
}

int GXConListBox::ColumnWidth(int nColumn) const
{
    if (!m_bHeader)
        return RowRight() - RowLeft();
    if (nColumn < 0 || nColumn >= kMaxColumns)
        return 0;
    // A column the skin left out between two others is a column of no width.
    const GXConBase* pColumn = m_pColumns[static_cast<std::size_t>(nColumn)];
    if (pColumn == nullptr)
        return 0;
    GXSize size;
    pColumn->GetSize(&size);
    return std::max(0, size.cx);
}

int GXConListBox::ColumnFromX(int x) const
{
    if (m_nColumnCount == 1)
        return 0;
    if (x < 0 || x >= m_rect.Width())
        return -1;
    // Spans start where drawing starts, so the column found is the cell
    // the pointer is over.
    long long start = RowLeft();
    for (int i = 0; i < m_nColumnCount; ++i) {
        const int width = ColumnWidth(i);
        if (x >= start && x <= start + width)
            return i;
        start += width;
    }
    return -1;
}

const GXConListBox::SItem* GXConListBox::GetItem(int nIndex) const
{
    return IsValid(nIndex) ? &m_items[static_cast<std::size_t>(nIndex)] : nullptr;
}

// ---- drawing ----

void GXConListBox::UpdateScroll()
{
    const int visible = GetVisibleRows();
    const int count = GetCount();
    if (visible < count) {
        m_nTopIndex = std::clamp(m_nTopIndex, 0, count - visible);
        if (m_pSlider != nullptr) {
            m_pSlider->SetRange(0, count - visible, Redraw::No);
            m_pSlider->SetPage(visible);
            m_pSlider->SetPos(m_nTopIndex, GXConSlider::Force::No);
        }
    } else {
        m_nTopIndex = 0;
        if (m_pSlider != nullptr) {
            m_pSlider->SetRange(0, 0, Redraw::No);
            m_pSlider->SetPos(0, GXConSlider::Force::No);
        }
    }
}

void GXConListBox::RedrawItems(Full full)
{
    if (m_nItemHeight <= 0 || m_listBuffer.IsEmpty())
        return;
    UpdateScroll();
    DrawBackground(full);
    const int visible = GetVisibleRows();
    for (int k = 0; k < visible && m_nTopIndex + k < GetCount(); ++k)
        DrawRow(k, m_items[static_cast<std::size_t>(m_nTopIndex + k)]);
}

void GXConListBox::DrawBackground(Full full)
{
    const int width = m_rect.Width();
    const int height = m_rect.Height();
    if (full == Full::No && m_pFrameImage != nullptr) {
        const GXRect source { 0, 0, m_pFrameImage->GetWidth(), m_pFrameImage->GetHeight() };
        DrawFrameImage(m_pFrameImage, &m_listBuffer, source, GXRect { 0, 0, width, height }, FillCentre::No);
    }
    if (m_bNoBkgndImage) {
        // Inside the frame: a black fill over the whole buffer would hide
        // the frame image it was just given.
        QPainter* pDC = m_listBuffer.GetMemDC();
        if (pDC != nullptr) {
            pDC->fillRect(m_nFrameCx, m_nFrameCy, width - 2 * m_nFrameCx, height - 2 * m_nFrameCy, Qt::black);
            m_listBuffer.ReleaseMemDC();
        }
    } else if (m_nImageType == 0) {
        const GXRect inner { m_nFrameCx, m_nFrameCy + m_nHeaderHeight, width - m_nFrameCx, height - m_nFrameCy };
        if (!inner.IsEmpty())
            m_pBkgndImage->TileTo(-1, -1, &m_listBuffer, inner, GDib::Transparent::No);
    }
}

void GXConListBox::DrawRow(int nRow, SItem& item)
{
    const int top = m_nFrameCy + m_nHeaderHeight + nRow * m_nItemHeight;
    const GXRect row { RowLeft(), top, RowRight(), top + m_nItemHeight };
    const bool bSelected = (item.nFlags & kItemSelected) != 0;
    const bool bCurrent = (item.nFlags & kItemCurrent) != 0;
    const COLORREF background = bSelected ? m_colors[kSelTextBk]
        : bCurrent                        ? m_colors[kCurTextBk]
                                          : m_colors[kDefaultTextBk];
    if (background != kGxTransparent && !row.IsEmpty()) {
        QPainter* pDC = m_listBuffer.GetMemDC();
        if (pDC != nullptr) {
            pDC->fillRect(row.left, row.top, row.Width(), row.Height(), ToQColor(background));
            m_listBuffer.ReleaseMemDC();
        }
    }
    const auto frame = [&](int nFrame) {
        const GDib* pImage = m_pItemFrames[static_cast<std::size_t>(nFrame)];
        if (pImage == nullptr)
            return;
        const GXRect source { 0, 0, pImage->GetWidth(), pImage->GetHeight() };
        DrawFrameImage(pImage, &m_listBuffer, source, row, FillCentre::Yes);
    };
    if (!bSelected) {
        frame(kFrameItem);
        if (bCurrent)
            frame(kFrameCur);
    } else if (bCurrent && m_pItemFrames[kFrameCurSel] != nullptr) {
        frame(kFrameCurSel);
    } else {
        frame(kFrameSel);
        if (bCurrent)
            frame(kFrameCur);
    }
    DrawCells(top, item);
}

void GXConListBox::DrawCells(int nTop, SItem& item)
{
    const bool bSelected = (item.nFlags & kItemSelected) != 0;
    const bool bCurrent = (item.nFlags & kItemCurrent) != 0;
    const COLORREF color = bCurrent ? m_colors[kCurText] : bSelected ? m_colors[kSelText] : m_colors[kDefaultText];
    QPainter* pDC = m_listBuffer.GetMemDC();
    if (pDC == nullptr)
        return;
    GXSubFont fallback;
    GXSubFont* pFont = m_pFont;
    if (pFont == nullptr) {
        fallback.SetFont(pDC->font());
        pFont = &fallback;
    }
    pFont->Select(pDC);
    int left = RowLeft();
    for (int i = 0; i < m_nColumnCount; ++i) {
        const int width = ColumnWidth(i);
        GXRect cell { left, nTop, left + width - 2, nTop + m_nItemHeight };
        left += width;
        if (i == 0)
            cell.left += m_rectInnerGaps.left;
        if (i == m_nColumnCount - 1)
            cell.right -= m_rectInnerGaps.right;
        // Items are made with one column; the cells after it are empty.
        if (i >= static_cast<int>(item.columns.size()))
            continue;
        SColumn& column = item.columns[static_cast<std::size_t>(i)];
        GXSize extent;
        pFont->MeasureText(column.text, &extent);
        column.bTruncated = extent.cx > std::max(0, cell.Width());
        if (!column.text.empty() && cell.Width() > 0)
            pFont->DrawText(cell, pDC, &m_listBuffer, column.text, kCellFormat, color);
    }
    pFont->Deselect(pDC);
    m_listBuffer.ReleaseMemDC();
}

int GXConListBox::Draw()
{
    if (!IsTooSmall() && GetBackBuffer() != nullptr)
        m_listBuffer.CopyTo(GetBackBuffer(), m_rect.left, m_rect.top, 0, 0, m_rect.Width(), m_rect.Height());
    return GXConBase::Draw();
}

void GXConListBox::OnSize(int cx, int cy)
{
    if (cx < 1 || cy < 1 || GXSize { cx, cy } == m_size) {
        m_size = GXSize { cx, cy };
        return;
    }
    m_size = GXSize { cx, cy };
    if (m_bFirstSize) {
        m_bFirstSize = false;
        ResolveLinks();
    }
    if (m_listBuffer.GetWidth() < cx || m_listBuffer.GetHeight() < cy) {
        m_listBuffer.Destroy();
        if (!m_listBuffer.Create24(std::max(cx, m_listBuffer.GetWidth()), std::max(cy, m_listBuffer.GetHeight())))
            m_listBuffer.Destroy();
    }
    RedrawItems(Full::No);
    if (m_bHeader)
        Invalidate();
}

void GXConListBox::Refresh()
{
    ReadLinkSizes();
    RedrawItems(Full::No);
}

int GXConListBox::ApplyColorTheme(const SColorTheme& theme)
{
    for (int i = 0; i < kColorCount; ++i) {
        const auto u = static_cast<std::size_t>(i);
        m_colors[u] = m_skinColors[u] == kGxTransparent
            ? kGxTransparent
            : AdjustColor(m_skinColors[u], theme.nRed, theme.nGreen, theme.nBlue);
    }
    RedrawItems(Full::No);
    return 0;
}

// ---- items ----

void GXConListBox::MoveIndices(int nFrom, int nBy)
{
    for (int* pIndex : { &m_nCurrent, &m_nAnchor, &m_nHighlight, &m_nPressIndex }) {
        if (*pIndex >= nFrom)
            *pIndex += nBy;
    }
}

int GXConListBox::InsertItem(int nIndex, const std::string& text, Redraw redraw)
{
    if (nIndex < 0 || nIndex > GetCount())
        return -1;
    // The item that was at nIndex moves down with everything after it, so
    // an index that named it follows it.
    MoveIndices(nIndex, 1);
    SItem item;
    item.columns.push_back(SColumn { text, false });
    m_items.insert(m_items.begin() + nIndex, std::move(item));
    if (redraw == Redraw::Yes && IsShown())
        ChangedRows();
    return nIndex;
}

bool GXConListBox::DeleteItem(int nIndex)
{
    if (!IsValid(nIndex))
        return false;
    for (int* pIndex : { &m_nCurrent, &m_nAnchor, &m_nHighlight, &m_nPressIndex }) {
        if (*pIndex == nIndex)
            *pIndex = -1;
        else if (*pIndex > nIndex)
            --*pIndex;
    }
    m_items.erase(m_items.begin() + nIndex);
    if (IsShown())
        ChangedRows();
    return true;
}

bool GXConListBox::DeleteAll()
{
    m_items.clear();
    // No index may outlive the items it named.
    m_nCurrent = m_nAnchor = m_nHighlight = m_nPressIndex = -1;
    m_nTopIndex = 0;
    ChangedRows();
    return true;
}

void GXConListBox::SwapItems(int nIndexA, int nIndexB)
{
    if (!IsValid(nIndexA) || !IsValid(nIndexB) || nIndexA == nIndexB)
        return;
    std::swap(m_items[static_cast<std::size_t>(nIndexA)], m_items[static_cast<std::size_t>(nIndexB)]);
    for (int* pIndex : { &m_nCurrent, &m_nAnchor, &m_nHighlight }) {
        if (*pIndex == nIndexA)
            *pIndex = nIndexB;
        else if (*pIndex == nIndexB)
            *pIndex = nIndexA;
    }
}

bool GXConListBox::OnDragStart(int, int, int, int)
{
    m_bDragging = true;
    return true;
}

void GXConListBox::OnDoubleClick()
{
}

int GXConListBox::OnEnter(int)
{
    return 0;
}
