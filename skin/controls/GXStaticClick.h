#pragma once

class GXmpData;

// Thread: user-interface thread of the owning control.
// The click behaviour statics, fading statics and marquees share
// (NotifyClick): 1 sends the command when the left button goes up inside
// the control after going down on it, 2 sends it on a double click. The
// control asks what to send and sends it itself.
class GXStaticClick {
public:
    enum class Mode { Off = 0, Click = 1, DoubleClick = 2 };
    enum class Action { None, Command };

    void Load(const GXmpData* pElement);
    [[nodiscard]] Mode GetMode() const { return m_mode; }

    // Button codes as GXConBase numbers them.
    Action ButtonDown(int nButton, bool bEnabled);
    Action ButtonUp(bool bInside);
    // Whether a control that is shown and enabled takes the mouse at a
    // point inside it.
    // Any non-zero NotifyClick counts, even one that sends nothing.
    [[nodiscard]] bool WantsMouse() const { return m_nNotifyClick != 0; }

private:
    int m_nNotifyClick = 0;
    Mode m_mode = Mode::Off;
    bool m_bPressed = false;
};
