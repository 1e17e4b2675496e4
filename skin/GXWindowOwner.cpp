#include "skin/GXWindowOwner.h"

GXWindowOwner::~GXWindowOwner() = default;

void GXWindowOwner::RegisterDlgItem(int nId, QWidget* pWidget)
{
    if (pWidget == nullptr)
        m_dlgItems.erase(nId);
    else
        m_dlgItems[nId] = pWidget;
}

QWidget* GXWindowOwner::GetDlgItem(int nId) const
{
    const auto it = m_dlgItems.find(nId);
    return it != m_dlgItems.end() ? it->second.data() : nullptr;
}
