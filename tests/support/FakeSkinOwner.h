#pragma once

#include "foundation/GXmp.h"
#include "platform/MessageRegistry.h"
#include "skin/GDib.h"
#include "skin/GXConBase.h"
#include "skin/GXConOwner.h"
#include "skin/GXManAlign.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSubFont.h"
#include "skin/controls/SGxMenuItem.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// A skin window for control tests: it hands out the images, fonts, ids,
// menus and layout nodes a test gives it, and records what its controls
// ask of it (notifications, redraws, timers, menu notices).
class FakeSkinOwner : public GXConOwner {
public:
    struct STimerCall {
        bool bSet = false;
        int nLocalId = 0;
        int nElapse = 0;
        friend bool operator==(const STimerCall&, const STimerCall&) = default;
    };

    void OnControlNotify(const SGxNotifyRecord& record) override
    {
        notified.push_back(record);
        if (record.message == platform::RegisterMessage(GXMsgName::kStrCmd))
            scripts.emplace_back(reinterpret_cast<const char*>(record.wParam));
    }
    void InvalidateControl(GXConBase& control) override
    {
        ++invalidated;
        if (bDrawOnInvalidate)
            control.Draw();
    }
    void RequestRefresh(GXConBase&) override { ++refreshRequests; }
    std::intptr_t NotifyOwner(int nCode, std::intptr_t) override
    {
        ownerCodes.push_back(nCode);
        return ownerAnswer;
    }
    void SetTimer(GXConBase&, int nLocalId, int nElapse) override { timers.push_back({ true, nLocalId, nElapse }); }
    void KillTimer(GXConBase&, int nLocalId) override { timers.push_back({ false, nLocalId, 0 }); }
    GDib* FindImage(const std::string& name) override
    {
        const auto it = images.find(name);
        return it != images.end() ? &it->second : nullptr;
    }
    const QCursor* FindCursor(const std::string&) override { return nullptr; }
    GXSubFont* FindControlFont(const std::string& name) override
    {
        const auto it = fonts.find(name);
        return it != fonts.end() ? it->second.get() : nullptr;
    }
    bool LookupIdName(const std::string& name, int* pId) override
    {
        const auto it = ids.find(name);
        if (it == ids.end())
            return false;
        *pId = it->second;
        return true;
    }
    const SGxMenuItem* FindMenu(int nMenuId) override
    {
        const auto it = menus.find(nMenuId);
        return it != menus.end() ? &it->second : nullptr;
    }
    GXManAlign* FindLayoutNode(int nControlId) override
    {
        const auto it = nodes.find(nControlId);
        return it != nodes.end() ? it->second : nullptr;
    }
    void RelayoutAll() override { ++relayouts; }
    std::string EvalText(const std::string& text) override { return text == "$second" ? "two" : text; }
    GXPoint ClientToScreen(GXPoint p) const override { return GXPoint { p.x + 100, p.y + 200 }; }
    int GetSkinDebugLevel() const override { return 0; }

    // The commands (WM_COMMAND ids) notified so far, in order.
    std::vector<unsigned> Commands() const
    {
        std::vector<unsigned> commands;
        for (const SGxNotifyRecord& r : notified)
            if (r.message == 0x0111)
                commands.push_back(static_cast<unsigned>(r.wParam));
        return commands;
    }

    std::map<std::string, GDib> images;
    std::map<std::string, std::unique_ptr<GXSubFont>> fonts;
    std::map<std::string, int> ids;
    std::map<int, SGxMenuItem> menus;
    std::map<int, GXManAlign*> nodes;
    std::vector<SGxNotifyRecord> notified;
    std::vector<std::string> scripts;
    std::vector<int> ownerCodes;
    std::intptr_t ownerAnswer = 0;
    std::vector<STimerCall> timers;
    int invalidated = 0;
    int refreshRequests = 0;
    int relayouts = 0;
    bool bDrawOnInvalidate = false;
};

// Parses one control element; the document lives as long as the holder.
struct ParsedElement {
    explicit ParsedElement(const std::string& xml)
    {
        EXPECT_TRUE(doc.LoadBuffer(xml.data(), static_cast<int>(xml.size()))) << xml;
    }
    const GXmpData* get() const { return doc.GetRoot(); }
    GXmp doc;
};
