#include "app/CTavDJ1Dlg.h"

void CTavDJ1Dlg::RegisterServerHandlers()
{
}

void CTavDJ1Dlg::StartOwnServerBroadcast()
{
}

int CTavDJ1Dlg::ToggleOwnServer()
{
    return 0;
}

void CTavDJ1Dlg::StopOwnServer()
{
}

bool CTavDJ1Dlg::IsOwnServerRunning() const
{
    return false;
}

CSettingDlgHost::Reachability CTavDJ1Dlg::TestReachability()
{
    return Reachability::Unreachable;
}
