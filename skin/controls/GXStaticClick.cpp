#include "skin/controls/GXStaticClick.h"

#include "foundation/GXmpData.h"
#include "skin/GXConBase.h"

void GXStaticClick::Load(const GXmpData* pElement)
{
    if (pElement->GetAttributeInt("NotifyClick", &m_nNotifyClick))
        m_mode = m_nNotifyClick == 1 ? Mode::Click : m_nNotifyClick == 2 ? Mode::DoubleClick : Mode::Off;
}

GXStaticClick::Action GXStaticClick::ButtonDown(int nButton, bool bEnabled)
{
    if (!bEnabled)
        return Action::None;
    if (m_mode == Mode::Click && nButton == GXConBase::kButtonLeft)
        m_bPressed = true;
    if (m_mode == Mode::DoubleClick && nButton == GXConBase::kButtonDoubleClick)
        return Action::Command;
    return Action::None;
}

GXStaticClick::Action GXStaticClick::ButtonUp(bool bInside)
{
    const bool bClicked = m_mode == Mode::Click && m_bPressed && bInside;
    m_bPressed = false;
    return bClicked ? Action::Command : Action::None;
}
