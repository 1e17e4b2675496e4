#include "app/CTavDJ1Dlg.h"

void CTavDJ1Dlg::RegisterTitleHandlers()
{
}

void CTavDJ1Dlg::NotifyPlayerAddress()
{
}

void CTavDJ1Dlg::OnSongRequestBoard()
{
}
