#include "app/CTavDJ1Dlg.h"

void CTavDJ1Dlg::RegisterSoundHandlers()
{
}

void CTavDJ1Dlg::ReinitEngine()
{
}
