#pragma once

// A skin window as controls see it, for tests of controls that place a view
// over their rectangle: it hands out a host widget and a content folder,
// evaluates "$page", and records refresh requests and forwarded buttons.

#include "skin/GXConOwner.h"

#include <string>
#include <vector>

class FakeConOwner : public GXConOwner {
public:
    struct Forwarded {
        int button;
        ButtonAction action;
        GXPoint point;
        friend bool operator==(const Forwarded&, const Forwarded&) = default;
    };

    void OnControlNotify(const SGxNotifyRecord&) override { }
    void InvalidateControl(GXConBase&) override { }
    void RequestRefresh(GXConBase&) override { ++refreshRequests; }
    std::intptr_t NotifyOwner(int, std::intptr_t) override { return 0; }
    void SetTimer(GXConBase&, int, int) override { }
    void KillTimer(GXConBase&, int) override { }
    GDib* FindImage(const std::string&) override { return nullptr; }
    const QCursor* FindCursor(const std::string&) override { return nullptr; }
    std::string EvalText(const std::string& text) override { return text == "$page" ? "http://evaluated.test/" : text; }
    GXPoint ClientToScreen(GXPoint p) const override { return p; }
    int GetSkinDebugLevel() const override { return 0; }
    QWidget* GetHostWidget() override { return pHost; }
    std::string GetSkinContentFolder() override { return folder; }
    void OnForwardedButton(int nButton, ButtonAction action, GXPoint point) override
    {
        forwarded.push_back(Forwarded { nButton, action, point });
    }

    QWidget* pHost = nullptr;
    std::string folder;
    std::vector<Forwarded> forwarded;
    int refreshRequests = 0;
};
