#pragma once

// The messages skin controls send the application through their window
// (SGxNotifyRecord::message) and the codes they give NotifyOwner. The
// application's handlers switch on these numbers, so they never change.
namespace GXSkinMessage {
// A command: wParam is the command id.
constexpr unsigned kCommand = 0x0111;
// Script text to run: wParam points at the text (a std::string that lives
// only during the call).
constexpr unsigned kStrCmd = 0x8101;
// Slider reports: wParam the position, lParam the slider's control id.
constexpr unsigned kSliderPosChange = 0x8102;
constexpr unsigned kSliderPosChangeEnd = 0x8103;
constexpr unsigned kSliderPosScanning = 0x8104;
} // namespace GXSkinMessage

// NotifyOwner codes of the pop-up-menu button: the menu is about to open
// (data: SGxMenuOpen), the menu closed (data: SGxMenuClosed; a non-zero
// answer means the owner handled the choice itself).
namespace GXSkinNotify {
constexpr int kMenuOpen = 2;
constexpr int kMenuClosed = 3;
} // namespace GXSkinNotify
