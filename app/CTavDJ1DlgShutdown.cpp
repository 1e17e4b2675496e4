#include "app/CTavDJ1Dlg.h"

void CTavDJ1Dlg::RegisterShutdownHandlers()
{
}

void CTavDJ1Dlg::WriteClientLog(std::string_view text)
{
    m_clientLog.Write(text);
}
