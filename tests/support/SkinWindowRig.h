#pragma once

#include "skin/GXConBase.h"
#include "skin/GXManAlign.h"
#include "skin/GXSkinHooks.h"
#include "skin/GXWindowMain.h"
#include "skin/GXWindowOwner.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// An application window that records what its skin window sends and posts.
// Posted messages wait until DispatchPosted, the test's turn of the event
// loop, and then go to onPosted.
class RecordingSkinOwner final : public GXWindowOwner {
public:
    struct SMessage {
        bool bPosted = false;
        unsigned message = 0;
        std::uintptr_t wParam = 0;
        std::intptr_t lParam = 0;
        friend bool operator==(const SMessage&, const SMessage&) = default;
    };

    std::intptr_t SendToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        log.push_back({ false, nMessage, wParam, lParam });
        return onSent ? onSent(log.back()) : 0;
    }
    void PostToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        log.push_back({ true, nMessage, wParam, lParam });
        queue.push_back(log.back());
    }
    void DispatchPosted()
    {
        while (!queue.empty()) {
            const SMessage message = queue.front();
            queue.pop_front();
            if (onPosted)
                onPosted(message);
        }
    }
    // The messages of one kind, in order.
    [[nodiscard]] std::vector<SMessage> Only(unsigned nMessage) const
    {
        std::vector<SMessage> out;
        for (const SMessage& m : log) {
            if (m.message == nMessage)
                out.push_back(m);
        }
        return out;
    }

    std::vector<SMessage> log;
    std::deque<SMessage> queue;
    std::function<std::intptr_t(const SMessage&)> onSent;
    std::function<void(const SMessage&)> onPosted;
};

// A control whose answers a test sets and whose events it reads back.
class ProbeControl : public GXConBase {
public:
    explicit ProbeControl(GXConOwner* pOwner, std::string name = {})
        : GXConBase(pOwner)
        , m_name(std::move(name))
    {
    }

    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override
    {
        Log("down " + std::to_string(nButton) + " " + std::to_string(x) + "," + std::to_string(y));
        *pbCapture = bCapture;
        if (onDown)
            onDown();
        return bTakeDown;
    }
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override
    {
        Log("up " + std::to_string(nButton) + " " + std::to_string(x) + "," + std::to_string(y)
            + (captured == Captured::Yes ? " captured" : ""));
        if (onUp)
            onUp();
        return bTakeUp;
    }
    bool OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave) override
    {
        Log("move " + std::to_string(x) + "," + std::to_string(y) + (captured == Captured::Yes ? " captured" : ""));
        *pbWantLeave = bWantLeave;
        return bTakeMove;
    }
    bool OnMouseLeave() override
    {
        Log("leave");
        return true;
    }
    bool OnKeyDown(int nKey, int nRepeat, int) override
    {
        Log("keydown " + std::to_string(nKey) + " x" + std::to_string(nRepeat));
        return bTakeKeys;
    }
    bool OnMouseWheel(int, int nDelta, int, int) override
    {
        Log("wheel " + std::to_string(nDelta));
        return bTakeWheel;
    }
    [[nodiscard]] bool WantsKeyboardFocus() const override { return bFocus; }
    bool SetImageNum(int nImage) override
    {
        if (!bNumberedImages)
            return false;
        nImageNum = nImage;
        return true;
    }
    int Draw() override
    {
        ++nDraws;
        return GXConBase::Draw();
    }

    void Click(unsigned nId) { NotifyCommand(nId); }
    void Tell(unsigned nMessage, std::uintptr_t w, std::intptr_t l) { Notify(nMessage, w, l); }
    [[nodiscard]] COLORREF TextColor() const { return m_crText; }

    bool bTakeDown = true;
    bool bTakeUp = true;
    bool bTakeMove = false;
    bool bTakeKeys = true;
    bool bTakeWheel = false;
    bool bCapture = false;
    bool bWantLeave = false;
    bool bFocus = false;
    bool bNumberedImages = false;
    int nImageNum = -1;
    int nDraws = 0;
    std::function<void()> onDown;
    std::function<void()> onUp;
    std::vector<std::string> events;

private:
    void Log(const std::string& event) { events.push_back(m_name.empty() ? event : m_name + ":" + event); }
    std::string m_name;
};

// Answers every script message box without showing it, and records it.
class RecordingSkinHooks {
public:
    struct SBox {
        std::string text;
        std::string caption;
    };
    RecordingSkinHooks()
    {
        m_prevBox = GXSkinHooks::SetMessageBox(
            [this](GXWindowMain*, const std::string& text, const std::string& caption, int) {
                boxes.push_back({ text, caption });
                if (onBox)
                    onBox();
                return 1;
            });
        m_prevUrl = GXSkinHooks::SetOpenUrl([this](const std::string& url) {
            urls.push_back(url);
            return true;
        });
    }
    ~RecordingSkinHooks()
    {
        GXSkinHooks::SetMessageBox(std::move(m_prevBox));
        GXSkinHooks::SetOpenUrl(std::move(m_prevUrl));
    }
    RecordingSkinHooks(const RecordingSkinHooks&) = delete;
    RecordingSkinHooks& operator=(const RecordingSkinHooks&) = delete;

    std::vector<SBox> boxes;
    std::vector<std::string> urls;
    std::function<void()> onBox;

private:
    GXSkinHooks::MessageBoxFunc m_prevBox;
    GXSkinHooks::OpenUrlFunc m_prevUrl;
};

// A top skin window on a recording owner, sized, with no skin loaded.
struct SkinWindowRig {
    SkinWindowRig(int nWidth = 200, int nHeight = 100)
        : pWindow(new GXWindowMain(nullptr))
    {
        pWindow->Create(&owner, GXRect { 0, 0, nWidth, nHeight });
        pWindow->HandleSize(0, nWidth, nHeight);
    }

    // A control at an absolute rectangle, optionally under a control id.
    ProbeControl* Add(const GXRect& rect, const std::string& name = {}, int nId = 0)
    {
        SGxAlign align;
        align.nType = SGxAlign::kNone;
        align.rect = rect;
        return AddAligned(align, name, nId);
    }
    ProbeControl* AddAligned(const SGxAlign& align, const std::string& name = {}, int nId = 0)
    {
        auto pControl = std::make_unique<ProbeControl>(pWindow.get(), name);
        ProbeControl* p = pControl.get();
        pWindow->AddControl(std::move(pControl), align);
        if (nId != 0) {
            pWindow->AddControlId(name, nId);
            pWindow->MapControlId(nId, p);
        }
        const GXSize size = pWindow->GetClientSize();
        pWindow->HandleSize(0, size.cx, size.cy);
        return p;
    }

    RecordingSkinOwner owner;
    GXWindowMain::Ptr pWindow;
};
