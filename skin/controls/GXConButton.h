#pragma once

#include "skin/GDib.h"
#include "skin/GXConBase.h"

#include <array>
#include <string>

// Thread: user-interface thread of its skin window.
// "ButtonControl": a push button drawn from a strip of equal-width frames
// (normal, hot, pressed, disabled as Split maps them), a solid colour or
// nothing, with a text per state on top. A left click sends the command
// (or runs OnEvent as script), a right click the right command.
class GXConButton : public GXConBase {
public:
    enum class State { Normal = 0, Hot = 1, Pressed = 2 };
    enum class Type { Image = 0, Transparent = 1, Color = 2, TextOnly = 3 };
    static constexpr int kImageSlots = 6;
    // Centred both ways, one line.
    static constexpr unsigned kButtonTextFormat = 0x25;

    explicit GXConButton(GXConOwner* pOwner);

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    int Draw() override;
    bool ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError) override;
    void OnSize(int cx, int cy) override;
    void GetRect(SRect* pRect) const override;
    bool OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave) override;
    bool OnMouseLeave() override;
    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;
    // Slots 0..5 that hold an image set; the state returns to normal.
    bool SetImageNum(int nIndex) override;
    [[nodiscard]] int GetImageNum() const override { return m_nImageIndex; }

    [[nodiscard]] State GetState() const { return m_state; }
    // The strip frame shown now, by Split and state (disabled first).
    [[nodiscard]] int GetFrameIndex() const;
    // The frame Split shows for a state; a disabled button has its own.
    [[nodiscard]] static int FrameFor(int nSplit, State state, bool bEnabled);

protected:
    void SetState(State state) { m_state = state; }

private:
    [[nodiscard]] bool LoadType(const GXmpData* pElement);
    [[nodiscard]] bool HasHotFrame() const { return m_nSplit == 4 || m_nSplit == 5 || m_nSplit == -3; }

    std::array<GDib*, kImageSlots> m_images {};
    int m_nImageIndex = 0;
    GDib* m_pImage = nullptr;
    GDib m_colorBuffer;
    COLORREF m_crControl = 0;
    Type m_type = Type::TextOnly;
    // Split as written; the strip holds |Split| frames.
    int m_nSplit = 1;
    State m_state = State::Normal;
    int m_nHeldButton = 0;
    GXSize m_sizeDefault;
    bool m_bFrameMode = false;
    std::string m_strEvent;
};
