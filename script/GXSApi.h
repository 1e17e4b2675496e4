#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

class GXWindowMain;

// One argument or result crossing the native bridge. The signature letter
// says which member counts: "i" nInt, "d" dbl, "s" pszText (an argument's
// text stays valid and unchanged until the call returns; a returned text must
// stay valid until the callback returns and is copied at once).
struct GXSApiValue {
    int32_t nInt = 0;
    double dbl = 0.0;
    const char* pszText = nullptr;
};

// A native function: the window it was registered with (null when none) and
// the arguments in signature order, already type-checked against the letters.
using GXSApiFunc = std::function<GXSApiValue(GXWindowMain* pWindow, std::span<const GXSApiValue> args)>;

// Writes trace texts for an outside receiver; an empty hook traces nothing.
using GXScriptTrace = std::function<void(const std::string& text)>;
