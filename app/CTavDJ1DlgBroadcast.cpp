#include "app/CTavDJ1Dlg.h"

void CTavDJ1Dlg::RegisterBroadcastHandlers()
{
}

void CTavDJ1Dlg::OnStartBroadcast()
{
}

void CTavDJ1Dlg::ConnectToServer()
{
}

void CTavDJ1Dlg::StopBroadcast()
{
}

void CTavDJ1Dlg::UpdateStatus(int nState)
{
    (void)nState;
}
