#pragma once

#include <functional>
#include <string>

class GXWindowMain;

// Thread: user-interface thread only.
// What skin scripts reach outside the skin engine: message boxes and the
// user's web browser. The skin library cannot show the program's own
// message box (that lives in the application), so the application installs
// it here at start-up; tests install functions that answer without showing
// anything and record what was asked.
struct GXSkinHooks {
    // Returns the button pressed (1 for OK). type: the button set in the low
    // four bits, numbered as message boxes everywhere number them.
    using MessageBoxFunc
        = std::function<int(GXWindowMain* pOwner, const std::string& text, const std::string& caption, int nType)>;
    using OpenUrlFunc = std::function<bool(const std::string& url)>;

    // Until something is installed a message box shows nothing and answers
    // OK (a skin script must not stall a program that has no box yet), and
    // URLs go to OpenUrl.
    static MessageBoxFunc SetMessageBox(MessageBoxFunc fn);
    static OpenUrlFunc SetOpenUrl(OpenUrlFunc fn);

    static int MessageBox(GXWindowMain* pOwner, const std::string& text, const std::string& caption, int nType);
    static bool OpenUrl(const std::string& url);
};
