#include "skin/GXSkinBuiltins.h"

#include "platform/MessageRegistry.h"
#include "script/GXScriptHost.h"
#include "skin/GXSkinHooks.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowMain.h"
#include "skin/controls/GXConButton.h"
#include "skin/controls/GXConStatic.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <string>

namespace {

using Args = std::span<const GXSApiValue>;

constexpr int kMbOk = 0;
constexpr const char* kCaption = "GXS";
// The advertising area some skins leave out; asking for it is no error.
constexpr const char* kOptionalFlash = "ID_AD_FLASH";

GXSApiValue None()
{
    return GXSApiValue {};
}

GXSApiValue Int(int n)
{
    GXSApiValue value;
    value.nInt = n;
    return value;
}

GXSApiValue Text(const char* pszText)
{
    GXSApiValue value;
    value.pszText = pszText;
    return value;
}

const char* Str(const GXSApiValue& value)
{
    return value.pszText != nullptr ? value.pszText : "";
}

// The control a script names: its id from the control-ID table (asking
// parent and nested windows), then the control from the id maps.
GXConBase* Resolve(GXWindowMain* pWindow, const GXSApiValue& name)
{
    int nId = 0;
    if (pWindow == nullptr || !pWindow->LookupControlId(Str(name), &nId, true))
        return nullptr;
    return pWindow->FindControl(nId);
}

// Decimal text to int the way C's atoi reads it (leading blanks, a sign,
// digits), but a number beyond the int range gives the nearest limit
// instead of undefined behaviour.
int ClampedAtoi(const char* psz)
{
    while (std::isspace(static_cast<unsigned char>(*psz)))
        ++psz;
    bool bNegative = false;
    if (*psz == '+' || *psz == '-')
        bNegative = *psz++ == '-';
    long long value = 0;
    const long long limit = bNegative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; std::isdigit(static_cast<unsigned char>(*psz)); ++psz) {
        value = value * 10 + (*psz - '0');
        if (value >= limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int>(bNegative ? -value : value);
}

GXSApiValue SendCommand(GXWindowMain* pWindow, Args args)
{
    int nId = 0;
    if (pWindow != nullptr && pWindow->LookupControlId(Str(args[0]), &nId, true))
        pWindow->HandleCommand(static_cast<std::uintptr_t>(nId), 0);
    return None();
}

GXSApiValue GetControlText(GXWindowMain* pWindow, Args args)
{
    const GXConBase* pControl = Resolve(pWindow, args[0]);
    return Text(pControl != nullptr ? pControl->GetText(0).c_str() : "");
}

GXSApiValue SetControlText(GXWindowMain* pWindow, Args args)
{
    if (GXConBase* pControl = Resolve(pWindow, args[0]))
        pControl->SetText(Str(args[1]), 0);
    return None();
}

GXSApiValue SetControlTextColor(GXWindowMain* pWindow, Args args)
{
    if (GXConBase* pControl = Resolve(pWindow, args[0])) {
        pControl->SetTextColor(GxScriptColorToColorRef(static_cast<std::uint32_t>(args[1].nInt)));
        pControl->RequestRefresh();
    }
    return None();
}

GXSApiValue MessageBox(GXWindowMain* pWindow, Args args)
{
    GXSkinHooks::MessageBox(pWindow, Str(args[0]), "", kMbOk);
    return None();
}

GXSApiValue MessageBoxNum(GXWindowMain* pWindow, Args args)
{
    GXSkinHooks::MessageBox(pWindow, std::to_string(args[0].nInt), kCaption, kMbOk);
    return None();
}

GXSApiValue ShowControl(GXWindowMain* pWindow, Args args)
{
    if (pWindow == nullptr)
        return None();
    const std::string name = Str(args[0]);
    int nId = 0;
    if (!pWindow->LookupControlId(name, &nId, true)) {
        if (name != kOptionalFlash)
            GXSkinHooks::MessageBox(pWindow, "ShowControl() Failed - Can't Find Control ID", kCaption, kMbOk);
        return None();
    }
    GXConBase* pControl = pWindow->FindControl(nId);
    if (pControl == nullptr) {
        GXSkinHooks::MessageBox(pWindow, "ShowControl() Failed - Can't Find Child Control", kCaption, kMbOk);
        return None();
    }
    pControl->SetShow(args[1].nInt != 0);
    return None();
}

GXSApiValue GetControlShow(GXWindowMain* pWindow, Args args)
{
    const GXConBase* pControl = Resolve(pWindow, args[0]);
    return Int(pControl != nullptr && pControl->IsShown() ? 1 : 0);
}

GXSApiValue RefreshAll(GXWindowMain* pWindow, Args args)
{
    if (pWindow == nullptr)
        return None();
    const std::string name = Str(args[0]);
    if (name.empty()) {
        pWindow->RefreshAll();
        return None();
    }
    int nId = 0;
    if (!pWindow->LookupControlId(name, &nId, true))
        return None();
    if (GXWindowMain* pChild = pWindow->FindChildWindow(nId))
        pChild->RefreshAll();
    return None();
}

GXSApiValue SetImageNum(GXWindowMain* pWindow, Args args)
{
    // Statics and buttons only: a fading static, a slider or a list box
    // keeps its picture whatever a script asks.
    GXConBase* pControl = Resolve(pWindow, args[0]);
    if (dynamic_cast<GXConStatic*>(pControl) != nullptr || dynamic_cast<GXConButton*>(pControl) != nullptr)
        pControl->SetImageNum(args[1].nInt);
    return None();
}

GXSApiValue Navigate(GXWindowMain* pWindow, Args args)
{
    if (GXConBase* pControl = Resolve(pWindow, args[0]))
        pControl->Navigate(Str(args[1]));
    return None();
}

GXSApiValue OpenHomepage(GXWindowMain*, Args args)
{
    GXSkinHooks::OpenUrl(Str(args[0]));
    return None();
}

GXSApiValue Atoi(GXWindowMain*, Args args)
{
    return Int(ClampedAtoi(Str(args[0])));
}

GXSApiValue Itoa(GXWindowMain*, Args args)
{
    // One buffer for every call: the bridge copies a returned text at once.
    static char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", args[0].nInt);
    return Text(buffer);
}

struct SBuiltin {
    const char* pszName;
    const char* pszShortName;
    const char* pszSignature;
    bool bWindowBound;
    GXSApiValue (*fn)(GXWindowMain*, Args);
};

constexpr SBuiltin kBuiltins[] = {
    { "SendCommand", "SCMD", "Vs", true, SendCommand },
    { "GetControlText", "GCT", "Ss", true, GetControlText },
    { "SetControlText", "SCT", "Vss", true, SetControlText },
    { "SetControlTextColor", "SCTC", "Vsi", true, SetControlTextColor },
    { "MessageBox", "MB", "Vs", true, MessageBox },
    { "MessageBoxNum", "MBN", "Vi", true, MessageBoxNum },
    { "ShowControl", "SC", "Vsi", true, ShowControl },
    { "GetControlShow", "", "Is", true, GetControlShow },
    { "RefreshAll", "RA", "Vs", true, RefreshAll },
    { "SetImageNum", "SETIN", "Vsi", true, SetImageNum },
    { "Navigate", "", "Vss", true, Navigate },
    { "OpenHomepage", "", "Vs", false, OpenHomepage },
    { "atoi", "", "Is", false, Atoi },
    { "itoa", "", "Si", false, Itoa },
};

} // namespace

bool RegisterSkinBuiltins(GXScriptHost& host, GXWindowMain* pWindow)
{
    bool bAll = true;
    for (const SBuiltin& builtin : kBuiltins) {
        const GXSApiFunc fn = builtin.fn;
        for (const char* pszName : { builtin.pszName, builtin.pszShortName }) {
            if (*pszName == '\0')
                continue;
            const int nAccepted = builtin.bWindowBound
                ? host.RegisterWindowApi(pszName, builtin.pszSignature, fn, pWindow)
                : host.RegisterApi(pszName, builtin.pszSignature, fn);
            bAll = bAll && nAccepted != 0;
        }
    }
    return bAll;
}
