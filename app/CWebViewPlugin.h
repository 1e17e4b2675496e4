#pragma once

#include <string>

class CWebBrowserWnd;
class QWidget;

// Thread: user-interface thread only.
// The web view as a library the program loads on first use. Qt WebEngine
// brings Chromium, Qt Quick and a GL driver with it: well over half of the
// program's memory and a third of its start-up. Most sessions never show a
// page, so the program registers this loader as the browser backend and
// only the first browser view loads the library beside the program, which
// builds every view from then on. Without the library, browser controls
// show their background colour and the program says once why.
class CWebViewPlugin {
public:
    // The entry the library exports: a hidden view as a child of pParent,
    // owned by the caller; null when it cannot make one.
    using CreateFunction = CWebBrowserWnd* (*)(QWidget* pParent);
    static constexpr const char* kEntryName = "TavdjCreateWebView";

    // Makes CWebBrowserWnd::Create load the library at path on first use.
    static void Register(const std::string& path);

    // The entry of the library at path, loaded now; null (and one line on
    // stderr) when the library or its entry is missing. Loads each library
    // once; a failure is not retried.
    [[nodiscard]] static CreateFunction Load(const std::string& path);
};
