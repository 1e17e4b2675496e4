#pragma once

#include <string>

// The user's text of a skin loader error code (GXSkinError in GXSkinIds.h):
// the application shows it when a skin cannot be loaded. A code outside the
// table gives "Code:<n>".
[[nodiscard]] std::string SkinErrorText(int nCode);

// The text of the code, a blank, the detail: what GetErrorText reports.
[[nodiscard]] std::string FormatSkinError(int nCode, const std::string& detail);
