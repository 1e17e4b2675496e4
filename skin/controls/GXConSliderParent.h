#pragma once

// Thread: user-interface thread.
// A list box that owns a slider as its scroll bar gets the slider's reports
// through this instead of the application's messages.
class GXConSliderParent {
public:
    virtual ~GXConSliderParent() = default;
    // The knob moved (button down on the track, every drag step).
    virtual void PosChange(int nPos, int nControlId) = 0;
    // The drag ended.
    virtual void PosChangeEnd(int nPos, int nControlId) = 0;
    // The pointer is over a new value (internal order), pressed or not.
    virtual void PosScanning(int nValue, int nControlId) = 0;
};
