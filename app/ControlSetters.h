#pragma once

#include "skin/GXConBase.h"
#include "skin/controls/GXConButton.h"

#include <string>

// A skin may leave out any control the main window drives: these change a
// control only where the skin has it.
namespace control {

inline void SetImage(GXConButton* pButton, int nImage)
{
    if (pButton)
        pButton->SetImageNum(nImage);
}

inline void SetEnabled(GXConBase* pControl, bool bEnable)
{
    if (pControl)
        pControl->SetEnable(bEnable);
}

inline void SetShown(GXConBase* pControl, bool bShow)
{
    if (pControl)
        pControl->SetShow(bShow);
}

inline void SetLabel(GXConBase* pControl, const std::string& text)
{
    if (pControl)
        pControl->SetText(text, 0);
}

} // namespace control
