#pragma once

class GXScriptHost;
class GXWindowMain;

// Enters the skin's native functions into a top skin window's script host:
// SendCommand (SCMD), GetControlText (GCT), SetControlText (SCT),
// SetControlTextColor (SCTC), MessageBox (MB), MessageBoxNum (MBN),
// ShowControl (SC), GetControlShow, RefreshAll (RA), SetImageNum (SETIN),
// Navigate, OpenHomepage, atoi and itoa. Scripts address controls by their
// control-ID names. True when every name was accepted.
bool RegisterSkinBuiltins(GXScriptHost& host, GXWindowMain* pWindow);
