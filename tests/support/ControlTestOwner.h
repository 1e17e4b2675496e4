#pragma once

// A skin window for control tests: images, cursors and control-ID names
// the test registers, layout nodes of a tree the test builds, and a record
// of what the controls asked of it.

#include "foundation/GXmp.h"
#include "skin/GDib.h"
#include "skin/GXConOwner.h"
#include "skin/GXManAlign.h"

#include <QCursor>

#include <map>
#include <memory>
#include <string>
#include <vector>

class ControlTestOwner : public GXConOwner {
public:
    ControlTestOwner() { m_root.SetRoot(nullptr); }

    void OnControlNotify(const SGxNotifyRecord& record) override { notified.push_back(record); }
    void InvalidateControl(GXConBase&) override { ++invalidated; }
    void RequestRefresh(GXConBase&) override { }
    std::intptr_t NotifyOwner(int, std::intptr_t) override { return 0; }
    void SetTimer(GXConBase&, int, int) override { }
    void KillTimer(GXConBase&, int) override { }
    GDib* FindImage(const std::string& name) override
    {
        const auto it = images.find(name);
        return it != images.end() ? &it->second : nullptr;
    }
    const QCursor* FindCursor(const std::string& name) override
    {
        const auto it = cursors.find(name);
        return it != cursors.end() ? &it->second : nullptr;
    }
    bool LookupControlId(const std::string& name, int* pnId) override
    {
        const auto it = ids.find(name);
        if (it == ids.end())
            return false;
        *pnId = it->second;
        return true;
    }
    GXManAlign* FindLayoutNode(int nId) override
    {
        const auto it = nodes.find(nId);
        return it != nodes.end() ? it->second : nullptr;
    }
    std::string EvalText(const std::string& text) override { return text; }
    GXPoint ClientToScreen(GXPoint p) const override { return GXPoint { p.x + screenOffset.x, p.y + screenOffset.y }; }
    int GetSkinDebugLevel() const override { return 0; }

    // Puts a control into the layout tree under the given id (and name),
    // at an absolute rectangle the test places later.
    GXManAlign* Add(GXConBase* pControl, int nId, const std::string& name)
    {
        SGxAlign align;
        align.nType = SGxAlign::kNoMove;
        GXManAlign* pNode = m_root.AddChild(pControl, align);
        ids[name] = nId;
        nodes[nId] = pNode;
        return pNode;
    }

    std::map<std::string, GDib> images;
    std::map<std::string, QCursor> cursors;
    std::map<std::string, int> ids;
    std::map<int, GXManAlign*> nodes;
    std::vector<SGxNotifyRecord> notified;
    int invalidated = 0;
    GXPoint screenOffset;

private:
    GXManAlign m_root;
};

// The element of a one-element document; the document stays alive with the
// returned holder.
inline std::unique_ptr<GXmp> ParseElement(const std::string& xml)
{
    auto doc = std::make_unique<GXmp>();
    if (!doc->LoadBuffer(xml.data(), static_cast<int>(xml.size())))
        return nullptr;
    return doc;
}
