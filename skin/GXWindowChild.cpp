#include "skin/GXWindowChild.h"

GXWindowChild::GXWindowChild(GXWindowMain* pParent)
    : GXWindowMain(pParent)
{
    MarkChild();
}

GXWindowChild::~GXWindowChild()
{
    m_snap.Detach();
}

bool GXWindowChild::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    GXWindowMain* pParent = GetParentWindow();
    if (GetWidget() == nullptr) {
        QWidget* pParentWidget = pParent != nullptr ? pParent->GetWidget() : nullptr;
        if (CreateWidget(pParentWidget, true, GXRect { 0, 0, kInitialSize, kInitialSize }))
            m_snap.Attach(GetWidget(), GSnap::kChildWindowDistance);
    }
    return GXConBase::Load(pBackBuffer, pElement);
}

GSnap& GXWindowChild::SetSnapDisabled(bool bDisabled)
{
    m_snap.SetDisabled(bDisabled);
    return m_snap;
}
