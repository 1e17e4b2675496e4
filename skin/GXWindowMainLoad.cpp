// GXWindowMain: reading a skin (skin.xml and its files) into the window.
#include "foundation/DebugTrace.h"
#include "foundation/GXmp.h"
#include "skin/GXControlFactory.h"
#include "skin/GXManAlign.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSkinSource.h"
#include "skin/GXSubFont.h"
#include "skin/GXWindowChild.h"
#include "skin/GXWindowMain.h"
#include "skin/GXWindowOwner.h"
#include "skin/GXWindowWidget.h"
#include "skin/SkinCursor.h"
#include "skin/SkinFormat.h"
#include "skin/SkinRegion.h"
#include "skin/controls/GXConWindow.h"

#include <QRegion>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// A flag attribute is set only by exactly "true" or "1".
bool IsFlagSet(const GXmpData* pElement, std::string_view name)
{
    std::string value;
    return pElement->GetAttribute(name, &value) && (value == "true" || value == "1");
}

template <class Visit> bool ForEachChild(const GXmpData* pElement, Visit visit)
{
    GXmpData::Position pos = pElement->GetFirstChildPosition();
    while (const GXmpData* pChild = pElement->GetNextChild(pos)) {
        if (!visit(pChild))
            return false;
    }
    return true;
}

// The script of a "Script" element: the bodies of its <?Script ?> parts and
// any plain text, in document order.
std::string ScriptText(const GXmpData* pElement)
{
    std::string text;
    ForEachChild(pElement, [&](const GXmpData* pChild) {
        if (pChild->GetType() == GXmpData::kInstruction && pChild->GetName() == "Script")
            text += pChild->GetBody();
        else if (pChild->GetType() == GXmpData::kText)
            text += pChild->GetText();
        text += '\n';
        return true;
    });
    return text;
}

// "ID" (else "CID") with a "Value": the name and the number.
bool ReadIdDefinition(const GXmpData* pItem, std::string* pName, int* pnValue)
{
    if (!pItem->GetAttributeInt("Value", pnValue))
        return false;
    return pItem->GetAttribute("ID", pName) || pItem->GetAttribute("CID", pName);
}

} // namespace

// ---- the skin's source ----

GXSkinSource* GXWindowMain::GetSource()
{
    return GetTopWindow()->m_pSource.get();
}

bool GXWindowMain::SetSkinPath(const std::string& path, bool bFromResources)
{
    if (m_pSource == nullptr)
        m_pSource = std::make_unique<GXSkinSource>();
    return m_pSource->SetPath(path, bFromResources);
}

bool GXWindowMain::GetSkinSource(bool* pbFromResources, bool* pbZip, std::string* pPath) const
{
    const GXSkinSource* pSource = GetTopWindow()->m_pSource.get();
    if (pSource == nullptr || !pSource->IsSet())
        return false;
    *pbFromResources = pSource->IsFromResources();
    *pbZip = pSource->IsZip();
    *pPath = pSource->GetPath();
    return true;
}

bool GXWindowMain::GetTempFolder(std::string* pFolder)
{
    GXSkinSource* pSource = GetSource();
    return pSource != nullptr && pSource->GetTempFolder(pFolder);
}

std::unique_ptr<GDib> GXWindowMain::LoadImageFile(const std::string& name)
{
    GXSkinSource* pSource = GetSource();
    std::string data;
    if (pSource == nullptr || name.empty() || !pSource->ReadFile(name, &data))
        return nullptr;
    return GDib::FromFileData(data);
}

// ---- skin.xml ----

bool GXWindowMain::LoadSkinXml(const std::string& fileName, unsigned nCodePage, bool bRequireList)
{
    UnloadSkin();
    SetError(GXSkinError::kNone);
    GXSkinSource* pSource = GetSource();
    if (pSource == nullptr || !pSource->IsSet()) {
        SetError(GXSkinError::kBadSkinPath);
        return false;
    }
    auto pDoc = std::make_unique<GXmp>();
    pDoc->SetCodePage(nCodePage);
    std::string data;
    if (!pSource->ReadFile(fileName, &data)) {
        SetError(GXSkinError::kBadSkinPath, "%s\\%s", pSource->GetPath().c_str(), fileName.c_str());
        return false;
    }
    if (bRequireList && !pSource->IsFromResources() && !pSource->HasFile("LIST.xml") && !pSource->HasFile("LIST.ini")) {
        SetError(GXSkinError::kNoSkinList);
        return false;
    }
    if (!pDoc->LoadBuffer(data.data(), static_cast<int>(data.size()))) {
        int nLine = 0;
        int nColumn = 0;
        pDoc->GetErrorPosition(&nLine, &nColumn);
        SetError(GXSkinError::kSkinRead, "Line:%d Col:%d Desc:%s", nLine, nColumn, pDoc->GetErrorMessage().c_str());
        UnloadSkin();
        return false;
    }
    SetSkinDocument(std::move(pDoc));
    return true;
}

bool GXWindowMain::BuildSkin()
{
    const GXmpData* pRoot = GetSkinXmlRoot();
    if (pRoot == nullptr)
        return false;
    if (pRoot->GetName() != "GXSkin") {
        SetError(GXSkinError::kBadRoot);
        UnloadSkin();
        return false;
    }
    const GXmpData* pWindow = pRoot->FindChild("SkinWindow", false);
    if (pWindow == nullptr) {
        SetError(GXSkinError::kNoSkinWindow, "%s", "SkinWindow");
        UnloadSkin();
        return false;
    }
    std::optional<QRegion> region;
    if (const GXmpData* pShape = pWindow->FindChild("SetWindowRgn", false)) {
        QRegion shape;
        int nError = 0;
        std::string detail;
        if (!BuildWindowRegion(
                pShape, &shape, &nError, &detail, [this](const std::string& name) { return GetImage(name); })) {
            SetError(nError, "%s", detail.c_str());
            UnloadSkin();
            return false;
        }
        region = shape;
    }
    if (!LoadSkinWindow(pWindow, -1)) {
        UnloadSkin();
        return false;
    }
    SetWindowRegion(region ? &*region : nullptr);
    if (HasScriptFunction("main"))
        (void)RunScript("main();");
    if (QWidget* pWidget = GetWidget())
        HandleSize(GXSizeType::kRestored, pWidget->width(), pWidget->height());
    // A built skin holds no zip open; a later read (an image, a theme, the
    // browser's folder) opens it again.
    if (GXSkinSource* pSource = GetSource())
        pSource->Release();
    return true;
}

bool GXWindowMain::LoadSkinWindow(const GXmpData* pElement, int nThemeIndex)
{
    if (pElement->GetName() != "SkinWindow") {
        SetError(GXSkinError::kNoSkinWindow);
        return false;
    }
    int nWidth = 0;
    int nHeight = 0;
    (void)pElement->GetAttributeInt("Width", &nWidth);
    (void)pElement->GetAttributeInt("Height", &nHeight);
    m_sizeSkin = GXSize { nWidth, nHeight };
    int nDebug = 0;
    if (!m_bChild)
        SetSkinDebugLevel(pElement->GetAttributeInt("Debug", &nDebug) ? nDebug : 0);

    const std::string bkgnd = pElement->GetAttributeString("BkgndImage", "");
    std::string value;
    if (!bkgnd.empty()) {
        std::string type;
        if (!pElement->GetAttribute("BkgndType", &type)) {
            SetError(GXSkinError::kNoBkgndType);
            return false;
        }
        GDib* pImage = GetImage(bkgnd);
        if (pImage == nullptr) {
            SetError(GXSkinError::kImageOpen, "%s", bkgnd.c_str());
            return false;
        }
        static const std::pair<const char*, Background> kTypes[] { { "tile", Background::Tile },
            { "stretch", Background::Stretch }, { "frame", Background::Frame }, { "none", Background::None } };
        const auto* pType = std::find_if(
            std::begin(kTypes), std::end(kTypes), [&](const auto& entry) { return type == entry.first; });
        if (pType == std::end(kTypes)) {
            SetError(GXSkinError::kBadBkgndType, "%s", type.c_str());
            return false;
        }
        SetBackground(pImage, 0, pType->second);
    } else if (pElement->GetAttribute("BkgndColor", &value)) {
        SetBackground(nullptr, ParseSkinColor(value), Background::Color);
    }

    SGxWindowFlags flags = m_flags;
    flags.bResizeBorder |= IsFlagSet(pElement, "ResizeBorder");
    flags.bClientCaption |= IsFlagSet(pElement, "ClientCaption");
    flags.bDraggable |= IsFlagSet(pElement, "Draggable");
    (void)pElement->GetAttributeInt("ActAsControl", &flags.nActAsControl);
    flags.bPopupWindow |= IsFlagSet(pElement, "PopupWindow");
    if (flags.bPopupWindow)
        flags.bMoveParent |= IsFlagSet(pElement, "MoveParent");
    flags.bEnableDblClk |= IsFlagSet(pElement, "EnableDblClk");
    if (pElement->GetAttribute("MinMaxSize", &value)) {
        std::array<int, 4>& size = flags.minMaxSize;
        (void)std::sscanf(value.c_str(), "%d,%d,%d,%d", &size[0], &size[1], &size[2], &size[3]);
    }
    SetWindowFlags(flags);

    if (const GXmpData* pScript = pElement->FindChild("Script", false)) {
        if (!m_bChild)
            InitScript();
        if (!RunSkinScript(ScriptText(pScript)))
            return false;
    }
    if (const GXmpData* pDefines = pElement->FindChild("PreDefine", false)) {
        if (!ForEachChild(pDefines, [this](const GXmpData* pItem) { return LoadDefines(pItem); }))
            return false;
    }
    (void)SelectColorTheme(nThemeIndex);
    if (const GXmpData* pRegions = pElement->FindChild("RegionDefine", false)) {
        const bool bOk = ForEachChild(
            pRegions, [this](const GXmpData* pChild) { return CreateControls(pChild, nullptr, ControlList::Regions); });
        if (!bOk)
            return false;
    }
    const GXmpData* pControls = pElement->FindChild("ControlDefine", false);
    if (pControls == nullptr) {
        SetError(GXSkinError::kMissingTag, "%s", "ControlDefine");
        return false;
    }
    const bool bOk = ForEachChild(
        pControls, [this](const GXmpData* pChild) { return CreateControls(pChild, nullptr, ControlList::Controls); });
    if (!bOk)
        return false;
    if (const GXmpData* pDefines = pElement->FindChild("PostDefine", false)) {
        if (!ForEachChild(pDefines, [this](const GXmpData* pItem) { return LoadDefines(pItem); }))
            return false;
    }
    return true;
}

bool GXWindowMain::RunSkinScript(const std::string& text)
{
    if (RunScript(text))
        return true;
    SetScriptError();
    return false;
}

// ---- controls ----

bool GXWindowMain::CreateControls(const GXmpData* pElement, GXManAlign* pParentNode, ControlList list)
{
    // Processing instructions among controls carry nothing for the layout.
    if (pElement->GetType() == GXmpData::kInstruction)
        return true;
    const std::string& name = pElement->GetName();
    if (name.empty()) {
        SetError(GXSkinError::kNoControlTag, "Line:%d Col:%d", pElement->GetLine() + 1, pElement->GetColumn() + 1);
        return false;
    }
    const GXControlFactory::SEntry* pEntry = GXControlFactory::Find(name);
    if (pEntry == nullptr) {
        SetError(GXSkinError::kBadControlTag, "%s", name.c_str());
        return false;
    }
    if (pEntry->kind == GXControlFactory::Kind::Accepted)
        return true;
    if (pEntry->kind == GXControlFactory::Kind::NestedWindow)
        return CreateNestedWindow(pElement, pParentNode);

    std::unique_ptr<GXConBase> pControl = pEntry->create(*this);
    if (name == "BrowserControl")
        DebugTrace("Create GXConBrowser");
    if (!pControl->Load(&m_backBuffer, pElement)) {
        if (pEntry->detail == GXControlFactory::Detail::WithElementName)
            SetError(pControl->GetErrorCode(), "%s(%s)", name.c_str(), pControl->GetErrorDetail().c_str());
        else
            SetError(pControl->GetErrorCode(), "%s", pControl->GetErrorDetail().c_str());
        return false;
    }
    int nMapId = GXCommandId::kNone;
    bool bKeep = true;
    if (!MapCommonIds(pElement, pControl.get(), &nMapId, &bKeep))
        return false;
    if (!bKeep)
        return true;
    // A widget shown in a nested skin window lives in that window (a window
    // of its own) for as long as the control places it there.
    if (auto* pWindowControl = dynamic_cast<GXConWindow*>(pControl.get()))
        pWindowControl->Place(pWindowControl->GetAttachedWindow(), m_bChild ? GetWidget() : nullptr);
    SGxAlign align;
    int nError = 0;
    if (!pControl->ReadAlign(pElement, &align, &nError)) {
        SetError(nError);
        return false;
    }
    GXConBase* pRaw = pControl.get();
    GXManAlign* pNode = list == ControlList::Controls ? AddControl(std::move(pControl), align, pParentNode)
                                                      : AddRegionControl(std::move(pControl), align, pParentNode);
    if (nMapId != GXCommandId::kNone)
        (void)MapControlId(nMapId, pRaw);
    return ForEachChild(pElement, [&](const GXmpData* pChild) { return CreateControls(pChild, pNode, list); });
}

bool GXWindowMain::CreateNestedWindow(const GXmpData* pElement, GXManAlign* pParentNode)
{
    auto pChild = std::make_unique<GXWindowChild>(this);
    GXWindowChild* pRaw = pChild.get();
    const auto takeOver = [&] {
        SetError(pRaw->GetErrorCode(), "%s(%s)", "SkinWindow", pRaw->GetErrorDetail().c_str());
        return false;
    };
    if (!pRaw->Load(&m_backBuffer, pElement))
        return takeOver();
    if (!m_strControlIdFile.empty())
        (void)pRaw->LoadControlIdFile(m_strControlIdFile);
    if (!pRaw->LoadChildSkinWindow(pElement))
        return takeOver();

    int nMapId = GXCommandId::kNone;
    bool bKeep = true;
    if (!MapCommonIds(pElement, pRaw, &nMapId, &bKeep))
        return false;
    SGxAlign align;
    int nError = 0;
    if (!pRaw->ReadAlign(pElement, &align, &nError)) {
        SetError(nError);
        return false;
    }
    // A nested window with an unknown id name stays, without an id.
    (void)AddControl(std::move(pChild), align, pParentNode);
    if (bKeep && nMapId != GXCommandId::kNone)
        (void)MapControlId(nMapId, pRaw);
    if (QWidget* pWidget = pRaw->GetWidget()) {
        const GXSize size = pRaw->GetSkinSize();
        if (size.cx != 0 || size.cy != 0)
            pWidget->resize(std::max(size.cx, 1), std::max(size.cy, 1));
        pRaw->HandleSize(GXSizeType::kRestored, pWidget->width(), pWidget->height());
    }
    return true;
}

bool GXWindowMain::LoadChildSkinWindow(const GXmpData* pElement)
{
    UnloadSkin();
    if (!LoadSkinWindow(pElement, -1)) {
        UnloadSkin();
        return false;
    }
    if (HasScriptFunction("main"))
        (void)RunScript("main();");
    return true;
}

bool GXWindowMain::MapCommonIds(const GXmpData* pElement, GXConBase* pControl, int* pnMapId, bool* pbKeep)
{
    const std::string& element = pElement->GetName();
    std::string idName;
    if (!pElement->GetAttribute("ID", &idName))
        (void)pElement->GetAttribute("CID", &idName);
    SGxControlInfo info;
    info.nId = GXCommandId::kNone;
    if (!idName.empty() && idName != "IDC_NONE") {
        if (!LookupControlInfo(idName, &info, true)) {
            SetError(GXSkinError::kUndefinedControlId, "ControlName:%s, ControlID:%s", element.c_str(), idName.c_str());
            *pbKeep = false;
            return true;
        }
        if (GetTopWindow()->FindControl(info.nId) != nullptr || FindControl(info.nId) != nullptr) {
            SetError(GXSkinError::kDuplicateControlId, "ControlName:%s, ControlID:%s", element.c_str(), idName.c_str());
            return false;
        }
        *pnMapId = info.nId;
    }
    // ID2 falls back to CID2 when it is absent or empty; the others have
    // one name each. Empty means none (0), "IDC_NONE" no id (-1).
    std::array<int, 3> ids {};
    static constexpr std::array<std::pair<const char*, const char*>, 3> kAttributes { { { "ID2", "CID2" },
        { "CMD", nullptr }, { "RCMD", nullptr } } };
    for (std::size_t i = 0; i < kAttributes.size(); ++i) {
        const char* pszAttribute = kAttributes[i].first;
        std::string value;
        if ((!pElement->GetAttribute(pszAttribute, &value) || value.empty()) && kAttributes[i].second != nullptr) {
            pszAttribute = kAttributes[i].second;
            (void)pElement->GetAttribute(pszAttribute, &value);
        }
        if (value.empty())
            continue;
        if (value == "IDC_NONE") {
            ids[i] = GXCommandId::kNone;
            continue;
        }
        if (!LookupControlId(value, &ids[i], true)) {
            SetError(GXSkinError::kBadAttributeValue, "%s=\"%s\"", pszAttribute, value.c_str());
            return false;
        }
    }
    pControl->SetIds(info.nId, ids[0], ids[1], ids[2]);
    pControl->SetWindowControlId(info.nKind);
    pControl->SetAttachedWindow(info.nKind == SGxControlInfo::kWindow ? info.pWindow.data() : nullptr);
    return true;
}

// ---- define items ----

bool GXWindowMain::LoadDefines(const GXmpData* pItem)
{
    const std::string& item = pItem->GetName();
    std::string value;
    if (item == "ColorTheme") {
        std::string name;
        if (!pItem->GetAttribute("Value", &value)) {
            SetError(GXSkinError::kNoThemeValue);
            return false;
        }
        if (!pItem->GetAttribute("Name", &name)) {
            SetError(GXSkinError::kNoThemeName);
            return false;
        }
        SColorTheme theme;
        (void)std::sscanf(value.c_str(), "%d,%d,%d", &theme.nRed, &theme.nGreen, &theme.nBlue);
        theme.name = EvalText(name);
        AddColorTheme(theme);
        return true;
    }
    if (item == "Font" || item == "ImageFont")
        return LoadFontItem(pItem, item == "ImageFont");
    if (item == "Cursor")
        return LoadCursorItem(pItem);
    if (item == "ColorThemeLockImage") {
        if (!pItem->GetAttribute("Image", &value)) {
            SetError(GXSkinError::kNoImageFile);
            return false;
        }
        LockImageTheme(EvalText(value));
        return true;
    }
    if (item == "Image") {
        std::string name;
        if (!pItem->GetAttribute("Image", &value)) {
            SetError(GXSkinError::kNoImageFile);
            return false;
        }
        if (!pItem->GetAttribute("ImageName", &name)) {
            SetError(GXSkinError::kNoImageName);
            return false;
        }
        const std::string file = EvalText(value);
        std::unique_ptr<GDib> pImage = LoadImageFile(file);
        if (pImage == nullptr) {
            SetError(GXSkinError::kImageOpen, "%s", file.c_str());
            return false;
        }
        // A name defined twice keeps its first image.
        (void)RegisterImage(name, std::move(pImage));
        return true;
    }
    if (item == "DefineControlID" || item == "DefineWindowControlID") {
        std::string name;
        int nValue = 0;
        if (!ReadIdDefinition(pItem, &name, &nValue)) {
            SetError(GXSkinError::kDefineControlIdIncomplete);
            return false;
        }
        if (item == "DefineControlID")
            return AddControlId(name, nValue);
        QWidget* pWidget = GetOwnerWindow() != nullptr ? GetOwnerWindow()->GetDlgItem(nValue) : nullptr;
        if (pWidget == nullptr) {
            SetError(GXSkinError::kBadWindowControlId, "%s", name.c_str());
            return false;
        }
        return AddWindowControlId(name, nValue, pWidget);
    }
    if (item == "DoScript") {
        if (!pItem->GetAttribute("CMD", &value))
            return true;
        // Scripts in attributes write strings in single quotes.
        std::replace(value.begin(), value.end(), '\'', '"');
        return RunSkinScript(value + ";");
    }
    return true;
}

bool GXWindowMain::LoadFontItem(const GXmpData* pItem, bool bImageFont)
{
    std::unique_ptr<GXSubFont> pFont;
    std::string name;
    if (!bImageFont) {
        const auto evaluate = [this](const std::string& text) { return EvalText(text); };
        if (!CreateSkinFont(pItem, evaluate, &pFont, &name, {})) {
            name = pItem->GetAttributeString("FontName", "");
            SetError(GXSkinError::kFontCreate, "%s", name.c_str());
            return false;
        }
    } else {
        std::string image;
        std::string text;
        if (!pItem->GetAttribute("FontName", &name) || !pItem->GetAttribute("Image", &image)
            || !pItem->GetAttribute("Text", &text)) {
            SetError(GXSkinError::kImageFontIncomplete);
            return false;
        }
        pFont = std::make_unique<GXSubFont>();
        const auto findImage = [this](const std::string& imageName) -> const GDib* { return GetImage(imageName); };
        if (!pFont->SetImageFont(findImage, image, text)) {
            SetError(GXSkinError::kFontCreate, "%s", name.c_str());
            return false;
        }
    }
    if (!AddFont(name, std::move(pFont))) {
        SetError(GXSkinError::kDuplicateFont, "%s", name.c_str());
        return false;
    }
    return true;
}

bool GXWindowMain::LoadCursorItem(const GXmpData* pItem)
{
    std::string name;
    std::string file;
    std::string predefined;
    const bool bFile = pItem->GetAttribute("FileName", &file);
    const bool bPredefined = pItem->GetAttribute("PredefinedCursor", &predefined);
    if (!pItem->GetAttribute("CursorName", &name) || (!bFile && !bPredefined)) {
        SetError(GXSkinError::kCursorIncomplete);
        return false;
    }
    if (FindCursor(name) != nullptr) {
        SetError(GXSkinError::kDuplicateCursor, "%s", name.c_str());
        return false;
    }
    std::optional<QCursor> cursor;
    if (!file.empty()) {
        std::string data;
        GXSkinSource* pSource = GetSource();
        if (pSource != nullptr && pSource->ReadFile(file, &data))
            cursor = LoadSkinCursor(data);
    } else {
        cursor = PredefinedSkinCursor(predefined);
        file = predefined;
    }
    if (!cursor) {
        SetError(GXSkinError::kCursorOpen, "%s", file.c_str());
        return false;
    }
    (void)AddCursor(name, *cursor);
    return true;
}

// ---- what the controls ask ----

GXSubFont* GXWindowMain::FindControlFont(const std::string& name)
{
    return FindFont(name);
}

bool GXWindowMain::LookupIdName(const std::string& name, int* pnId)
{
    return LookupControlId(name, pnId, true);
}

void GXWindowMain::SetMenuTable(std::map<int, SGxMenuItem> menus)
{
    m_menus = std::move(menus);
}

const SGxMenuItem* GXWindowMain::FindMenu(int nMenuId)
{
    const std::map<int, SGxMenuItem>& menus = GetTopWindow()->m_menus;
    const auto it = menus.find(nMenuId);
    return it != menus.end() ? &it->second : nullptr;
}

GXManAlign* GXWindowMain::FindLayoutNode(int nControlId)
{
    const GXConBase* pControl = FindControl(nControlId);
    if (pControl == nullptr)
        return nullptr;
    const auto findIn = [pControl](GXWindowMain& window) -> GXManAlign* {
        for (GXManAlign* pRoot : { window.m_pControlRoot.get(), window.m_pRegionRoot.get() }) {
            if (GXManAlign* pNode = pRoot != nullptr ? pRoot->FindNode(pControl) : nullptr)
                return pNode;
        }
        return nullptr;
    };
    if (GXManAlign* pNode = findIn(*this))
        return pNode;
    for (const auto& pEntry : m_controls) {
        auto* pWindow = dynamic_cast<GXWindowMain*>(pEntry.get());
        GXManAlign* pNode = pWindow != nullptr ? findIn(*pWindow) : nullptr;
        if (pNode != nullptr)
            return pNode;
    }
    return nullptr;
}

void GXWindowMain::RelayoutAll()
{
    RefreshAll();
}

std::string GXWindowMain::GetSkinContentFolder()
{
    GXSkinSource* pSource = GetSource();
    if (pSource == nullptr || !pSource->IsSet() || pSource->IsFromResources())
        return {};
    std::string folder = pSource->GetPath();
    if (pSource->IsZip() && !pSource->GetTempFolder(&folder))
        return {};
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}
