#pragma once

#include "skin/GSnap.h"
#include "skin/GXWindowMain.h"

// Thread: user-interface thread only.
// A skin window nested in a skin (a SkinWindow element among the controls):
// a tool pop-up of its parent skin window that snaps to the screen edges
// and the program's other windows. It shares its parent's script host,
// image cache and application owner, and hands its controls' notifications
// up to the parent.
class GXWindowChild : public GXWindowMain {
public:
    // Pop-ups start at this size until the skin gives theirs.
    static constexpr int kInitialSize = 300;

    explicit GXWindowChild(GXWindowMain* pParent);
    ~GXWindowChild() override;

    // Creates the pop-up and attaches the snapper; then reads the common
    // control attributes.
    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    GSnap& SetSnapDisabled(bool bDisabled);
    GSnap* GetSnapper() override { return &m_snap; }

private:
    GSnap m_snap;
};
