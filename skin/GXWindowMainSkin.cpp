// GXWindowMain: what a skin brings into its window (controls, ids, images,
// fonts, cursors, colour themes) and how it is all let go again.
#include "foundation/GXmp.h"
#include "script/GXScriptHost.h"
#include "skin/GXImagePrefetch.h"
#include "skin/GXManAlign.h"
#include "skin/GXManTimer.h"
#include "skin/GXRefreshQueue.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSkinSource.h"
#include "skin/GXSubFont.h"
#include "skin/GXSubTooltipWindow.h"
#include "skin/GXWindowMain.h"
#include "skin/GXWindowOwner.h"
#include "skin/GXWindowWidget.h"

#include <QRegion>

#include <algorithm>
#include <cctype>

namespace {

// Nested skin windows a control-ID lookup descends through. Skins nest a
// window or two; the bound keeps a hostile skin's nesting off the stack.
constexpr int kMaxLookupDepth = 32;

std::string Lower(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

// ---- control-ID table ----

bool GXWindowMain::LoadControlIdFile(const std::string& path)
{
    GXControlIdTable::SFile file;
    if (!GXControlIdTable::ReadFile(path, &file))
        return false;
    m_idTable.Clear();
    for (const GXControlIdTable::SEntry& entry : file.windowIds) {
        // Window control ids name the application's own widgets; a name
        // whose widget the application does not have is skipped.
        QWidget* pWidget = GetOwnerWindow() != nullptr ? GetOwnerWindow()->GetDlgItem(entry.nId) : nullptr;
        if (pWidget == nullptr)
            continue;
        if (!AddWindowControlId(entry.name, entry.nId, pWidget))
            return false;
    }
    for (const GXControlIdTable::SEntry& entry : file.controlIds) {
        if (!AddControlId(entry.name, entry.nId))
            return false;
    }
    m_strControlIdFile = path;
    return true;
}

bool GXWindowMain::AddControlId(const std::string& name, int nId)
{
    if (LookupInfo(name, nullptr, false, 0)) {
        SetError(GXSkinError::kDuplicateControlId, "%s,%d", name.c_str(), nId);
        return false;
    }
    m_idTable.Insert(name, SGxControlInfo { SGxControlInfo::kControl, nId, nullptr });
    return true;
}

bool GXWindowMain::AddWindowControlId(const std::string& name, int nId, QWidget* pWindow)
{
    if (LookupInfo(name, nullptr, false, 0)) {
        SetError(GXSkinError::kDuplicateWindowControlId, "%s,%d", name.c_str(), nId);
        return false;
    }
    m_idTable.Insert(name, SGxControlInfo { SGxControlInfo::kWindow, nId, pWindow });
    return true;
}

bool GXWindowMain::LookupControlId(const std::string& name, int* pnId, bool bClimb) const
{
    SGxControlInfo info;
    if (!LookupInfo(name, &info, bClimb, 0))
        return false;
    if (pnId != nullptr)
        *pnId = info.nId;
    return true;
}

bool GXWindowMain::LookupControlInfo(const std::string& name, SGxControlInfo* pInfo, bool bClimb) const
{
    return LookupInfo(name, pInfo, bClimb, 0);
}

bool GXWindowMain::LookupInfo(const std::string& name, SGxControlInfo* pInfo, bool bClimb, int nDepth) const
{
    if (m_idTable.Find(name, pInfo))
        return true;
    if (nDepth > kMaxLookupDepth)
        return false;
    if (bClimb && m_bChild && m_pParentWindow != nullptr)
        return m_pParentWindow->LookupInfo(name, pInfo, true, nDepth + 1);
    // Downwards the search never climbs again: the nested window would ask
    // this window, which would ask it, without end.
    for (const auto& pControl : m_controls) {
        const auto* pWindow = dynamic_cast<const GXWindowMain*>(pControl.get());
        if (pWindow != nullptr && pWindow->LookupInfo(name, pInfo, false, nDepth + 1))
            return true;
    }
    return false;
}

// ---- controls and layout ----

GXManAlign* GXWindowMain::AddControl(
    std::unique_ptr<GXConBase> pControl, const SGxAlign& align, GXManAlign* pParentNode)
{
    if (m_pControlRoot == nullptr) {
        m_pControlRoot = std::make_unique<GXManAlign>();
        m_pControlRoot->SetRoot(this);
    }
    GXManAlign* pParent = pParentNode != nullptr ? pParentNode : m_pControlRoot.get();
    GXManAlign* pNode = pParent->AddChild(pControl.get(), align);
    m_controls.push_back(std::move(pControl));
    return pNode;
}

GXManAlign* GXWindowMain::AddRegionControl(
    std::unique_ptr<GXConBase> pControl, const SGxAlign& align, GXManAlign* pParentNode)
{
    if (m_pRegionRoot == nullptr) {
        m_pRegionRoot = std::make_unique<GXManAlign>();
        m_pRegionRoot->SetRoot(this);
    }
    GXManAlign* pParent = pParentNode != nullptr ? pParentNode : m_pRegionRoot.get();
    GXManAlign* pNode = pParent->AddChild(pControl.get(), align);
    m_regions.push_back(std::move(pControl));
    return pNode;
}

bool GXWindowMain::MapControlId(int nId, GXConBase* pControl)
{
    if (GetTopWindow()->FindControl(nId) != nullptr || FindControl(nId) != nullptr)
        return false;
    m_idMap[nId] = pControl;
    return true;
}

void GXWindowMain::SetWindowFlags(const SGxWindowFlags& flags)
{
    m_flags = flags;
    GXWindowWidget::EnableDoubleClicks(flags.bEnableDblClk);
}

void GXWindowMain::SetBackground(GDib* pImage, COLORREF color, Background mode)
{
    m_pBkgndImage = pImage;
    m_crBkgnd = color;
    m_bkgndMode = mode;
}

void GXWindowMain::SetSkinDocument(std::unique_ptr<GXmp> pDoc)
{
    m_pSkinDoc = std::move(pDoc);
}

const GXmpData* GXWindowMain::GetSkinXmlRoot() const
{
    return m_pSkinDoc != nullptr ? m_pSkinDoc->GetRoot() : nullptr;
}

void GXWindowMain::SetWindowRegion(const QRegion* pRegion)
{
    if (m_pWidget == nullptr)
        return;
    // A skin window laid over its owner's window shapes that window; one that
    // is a window of its own on screen (a nested skin window, whatever its
    // PopupWindow flag says, or a skin without an owner) shapes itself.
    QWidget* pTarget = m_pWidget.get();
    QWidget* pOwner = GetOwnerWindow() != nullptr ? GetOwnerWindow()->GetOwnerWidget() : nullptr;
    if (!m_flags.bPopupWindow && !m_pWidget->isWindow() && pOwner != nullptr)
        pTarget = pOwner;
    if (pRegion == nullptr)
        pTarget->clearMask();
    else
        pTarget->setMask(*pRegion);
}

// ---- images, fonts, cursors, themes ----

bool GXWindowMain::RegisterImage(const std::string& name, std::unique_ptr<GDib> pImage)
{
    if (m_pParentWindow != nullptr)
        return GetTopWindow()->RegisterImage(name, std::move(pImage));
    const std::string key = Lower(name);
    if (pImage == nullptr || m_images.count(key) != 0)
        return false;
    SImage& entry = m_images[key];
    entry.pOriginal = std::move(pImage);
    entry.pTinted = std::make_unique<GDib>(*entry.pOriginal);
    if (m_themeLocks.count(key) == 0)
        Tint(entry);
    return true;
}

void GXWindowMain::Tint(SImage& image) const
{
    image.pTinted->Assign(*image.pOriginal);
    if (!m_currentTheme.IsNeutral())
        image.pTinted->ShiftColor(m_currentTheme.nRed, m_currentTheme.nGreen, m_currentTheme.nBlue);
}

GDib* GXWindowMain::FindImage(const std::string& name)
{
    if (m_pParentWindow != nullptr)
        return GetTopWindow()->FindImage(name);
    const auto it = m_images.find(Lower(name));
    if (it != m_images.end())
        return it->second.pTinted.get();
    return m_pSource != nullptr ? GetImage(name) : nullptr;
}

GDib* GXWindowMain::GetImage(const std::string& name)
{
    GXWindowMain* pTop = GetTopWindow();
    const std::string key = Lower(name);
    if (const auto it = pTop->m_images.find(key); it != pTop->m_images.end())
        return it->second.pTinted.get();
    std::unique_ptr<GDib> pImage = pTop->m_pImagePrefetch != nullptr ? pTop->m_pImagePrefetch->Take(name) : nullptr;
    if (pImage == nullptr)
        pImage = LoadImageFile(name);
    if (pImage == nullptr || !pTop->RegisterImage(name, std::move(pImage)))
        return nullptr;
    return pTop->m_images[key].pTinted.get();
}

void GXWindowMain::LockImageTheme(const std::string& name)
{
    GetTopWindow()->m_themeLocks[Lower(name)] = 1;
}

bool GXWindowMain::AddFont(const std::string& name, std::unique_ptr<GXSubFont> pFont)
{
    if (pFont == nullptr || m_fonts.count(name) != 0)
        return false;
    m_fonts[name] = std::move(pFont);
    return true;
}

GXSubFont* GXWindowMain::FindFont(const std::string& name) const
{
    const auto it = m_fonts.find(name);
    return it != m_fonts.end() ? it->second.get() : nullptr;
}

bool GXWindowMain::AddCursor(const std::string& name, const QCursor& cursor)
{
    return m_cursors.emplace(name, cursor).second;
}

const QCursor* GXWindowMain::FindCursor(const std::string& name)
{
    const auto it = m_cursors.find(name);
    return it != m_cursors.end() ? &it->second : nullptr;
}

void GXWindowMain::AddColorTheme(const SColorTheme& theme)
{
    m_themes.push_back(theme);
}

bool GXWindowMain::SelectColorTheme(int nIndex)
{
    if (m_themes.empty())
        return false;
    const int nCount = static_cast<int>(m_themes.size());
    if (nIndex == -1)
        m_nThemeIndex = m_nThemeIndex < 0 ? 0 : (m_nThemeIndex + 1) % nCount;
    else
        m_nThemeIndex = ((nIndex % nCount) + nCount) % nCount;
    m_currentTheme = m_themes[static_cast<std::size_t>(m_nThemeIndex)];
    // Every cached image is tinted afresh from its untinted original, so an
    // image registered under an alias name keeps working.
    GXWindowMain* pTop = GetTopWindow();
    pTop->m_currentTheme = m_currentTheme;
    for (auto& [name, image] : pTop->m_images) {
        if (pTop->m_themeLocks.count(name) == 0)
            pTop->Tint(image);
    }
    ApplyColorThemeToControls(m_currentTheme);
    // A theme switch is a pause in reading the skin: the zip closes, and
    // the next file read opens it again.
    if (pTop->m_pSource != nullptr)
        pTop->m_pSource->Release();
    return true;
}

void GXWindowMain::ApplyColorThemeToControls(const SColorTheme& theme)
{
    for (const auto& pControl : m_controls) {
        if (auto* pWindow = dynamic_cast<GXWindowMain*>(pControl.get()))
            pWindow->ApplyColorThemeToControls(theme);
        pControl->ApplyColorTheme(theme);
    }
}

// ---- unloading ----

void GXWindowMain::ForgetControlPointers()
{
    // Every pointer below names a control that is about to be deleted.
    GXSubTooltipWindow* pTooltip = GXSubTooltipWindow::Shared();
    if (pTooltip != nullptr && pTooltip->GetOwner() != nullptr) {
        const auto owns = [&](const std::list<std::unique_ptr<GXConBase>>& list) {
            return std::any_of(
                list.begin(), list.end(), [&](const auto& p) { return p.get() == pTooltip->GetOwner(); });
        };
        if (owns(m_controls) || owns(m_regions))
            pTooltip->Hide();
    }
    m_pCaptured = nullptr;
    m_nCaptureButton = 0;
    m_nCaptureReleaseButton = 0;
    m_pHot = nullptr;
    m_pLastUnder = nullptr;
    m_pFocus = nullptr;
    m_lastMouse = GXPoint { -1, -1 };
}

void GXWindowMain::UnloadSkin()
{
    ForgetControlPointers();
    // Timers and refresh requests name controls: they go first.
    m_pTimers->KillAll();
    m_pRefresh->Clear();
    for (const auto& pControl : m_controls)
        pControl->Close();
    m_controls.clear();
    m_regions.clear();
    m_idMap.clear();
    m_pSkinDoc.reset();
    m_pBkgndImage = nullptr;
    m_pControlRoot.reset();
    m_pRegionRoot.reset();
    if (m_pOwnScript != nullptr)
        m_pOwnScript->Reset();
    SetWindowRegion(nullptr);
    m_fonts.clear();
    m_cursors.clear();
    m_images.clear();
    m_themeLocks.clear();
    m_themes.clear();
    m_nThemeIndex = -1;
    m_currentTheme = SColorTheme {};
    m_sizeSkin = GXSize {};
}
