#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Finds another program's top-level window by its class and reads its
// title, so the engine can follow what a music player on the same desktop is
// playing. The backend asks the X server (WindowFinderXcb.cpp); a machine
// without a display simply has no windows to find.
// Thread: any; each call stands alone.
class WindowFinder {
public:
    // Titles are read into a buffer of this size, like the player readers'
    // window-text buffer: at most kMaxTitle - 1 bytes come back.
    static constexpr size_t kMaxTitle = 1024;

    virtual ~WindowFinder() = default;

    // The title (UTF-8) of the first top-level window whose class is
    // className. False when there is no display or no such window.
    [[nodiscard]] virtual bool FindWindowTitle(std::string_view className, std::string* title) = 0;

    // The display named by $DISPLAY.
    static WindowFinder& System();
    // A finder for one named display (":5"); for tests.
    [[nodiscard]] static std::unique_ptr<WindowFinder> ForDisplay(const std::string& display);
};

} // namespace platform
