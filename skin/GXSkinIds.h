#pragma once

#include "skin/GXTypes.h"

#include <cstdint>
#include <string_view>

// The numbers the skin engine shares with the application, skin files and
// scripts. Each of them is a contract: skins name ids by number, the
// application switches on command ids and notify codes, scripts pass colours
// as 0xRRGGBB. They live here, in one place, so that a control, the skin
// window and the application cannot drift apart. Hit-test codes, cursor ids
// and COLORREF are in GXTypes.h, which this header includes; the script
// language's own error codes are script/GXSErr.h.

// Window messages, with the numbers the application's handlers and the
// records controls fill (SGxNotifyRecord::message) use.
namespace GXMsg {
constexpr unsigned kMove = 0x0003;
constexpr unsigned kSize = 0x0005;
constexpr unsigned kKillFocus = 0x0008;
constexpr unsigned kClose = 0x0010;
constexpr unsigned kContextMenu = 0x007B;
constexpr unsigned kNcHitTest = 0x0084;
constexpr unsigned kNcLButtonDown = 0x00A1;
constexpr unsigned kNcRButtonDown = 0x00A4;
constexpr unsigned kNcLButtonDblClk = 0x00A3;
constexpr unsigned kKeyFirst = 0x0100;
constexpr unsigned kKeyDown = 0x0100;
constexpr unsigned kKeyUp = 0x0101;
constexpr unsigned kChar = 0x0102;
constexpr unsigned kKeyLast = 0x0109;
constexpr unsigned kCommand = 0x0111;
constexpr unsigned kTimer = 0x0113;
constexpr unsigned kMouseMove = 0x0200;
constexpr unsigned kLButtonDown = 0x0201;
constexpr unsigned kLButtonUp = 0x0202;
constexpr unsigned kLButtonDblClk = 0x0203;
constexpr unsigned kRButtonDown = 0x0204;
constexpr unsigned kRButtonUp = 0x0205;
constexpr unsigned kRButtonDblClk = 0x0206;
constexpr unsigned kMButtonDown = 0x0207;
constexpr unsigned kMButtonUp = 0x0208;
constexpr unsigned kMButtonDblClk = 0x0209;
constexpr unsigned kMouseWheel = 0x020A;
} // namespace GXMsg

// The names the skin's own messages are registered under
// (platform::RegisterMessage); the name is the contract, the id is per run.
namespace GXMsgName {
constexpr std::string_view kSkinControlNotify = "WM_GXSKINCONTROL_NOTIFY";
constexpr std::string_view kSkinControlInvalidControl = "WM_GXSKINCONTROL_INVALIDCONTROL";
constexpr std::string_view kSkinControlRefreshControl = "WM_GXSKINCONTROL_REFRESHCONTROL";
constexpr std::string_view kStrCmd = "WM_GXSTRCMD";
constexpr std::string_view kListItemChanged = "GXLBM_ITEMCHANGED";
constexpr std::string_view kListItemHighlightChanged = "GXLBM_ITEMHIGHLIGHTCHANGED";
constexpr std::string_view kSliderPosChange = "WM_GXCONSLIDER_POSCHANGE";
constexpr std::string_view kSliderPosChangeEnd = "WM_GXCONSLIDER_POSCHANGE_END";
constexpr std::string_view kSliderPosScanning = "WM_GXCONSLIDER_POSSCANNING";
constexpr std::string_view kAlignMan = "WM_XALIGNMAN";
constexpr std::string_view kSkinNotify = "WM_GXSKIN_NOTIFY";
} // namespace GXMsgName

// WM_GXSKIN_NOTIFY codes (wParam), top skin window -> application.
namespace GXSkinNotify {
constexpr int kHoverChanged = 0; // lParam: the control now under the mouse
constexpr int kScriptFailed = 1; // lParam 0; the error stays in the window
constexpr int kMenuOpening = 2; // a pop-up menu button is about to open
constexpr int kMenuChosen = 3; // a pop-up menu item was chosen
constexpr int kFocusLost = 4; // lParam 0
} // namespace GXSkinNotify

// Mouse buttons as the window numbers them for OnButtonDown / OnButtonUp.
namespace GXButton {
constexpr int kLeft = 1;
constexpr int kRight = 2;
constexpr int kMiddle = 3;
constexpr int kDoubleClick = 4;
} // namespace GXButton

// Command and control ids the skin engine itself knows. Skins name ids
// through the control-ID file; these are the ones the engine or the
// application act on without a skin naming them.
namespace GXCommandId {
constexpr int kNone = -1; // "IDC_NONE" or an empty id attribute
constexpr unsigned kMinimise = 3005;
constexpr unsigned kClose = 3006;
constexpr unsigned kReloadSkin = 32771;
constexpr unsigned kTitleEdit = 5000; // the application's song-title field
} // namespace GXCommandId

// Virtual-key codes handed to controls' OnKeyDown / OnKeyUp. Letters and
// digits are their upper-case ASCII codes.
namespace GXKey {
constexpr int kBack = 0x08;
constexpr int kTab = 0x09;
constexpr int kReturn = 0x0D;
constexpr int kShift = 0x10;
constexpr int kControl = 0x11;
constexpr int kMenu = 0x12;
constexpr int kEscape = 0x1B;
constexpr int kSpace = 0x20;
constexpr int kPrior = 0x21;
constexpr int kNext = 0x22;
constexpr int kEnd = 0x23;
constexpr int kHome = 0x24;
constexpr int kLeft = 0x25;
constexpr int kUp = 0x26;
constexpr int kRight = 0x27;
constexpr int kDown = 0x28;
constexpr int kInsert = 0x2D;
constexpr int kDelete = 0x2E;
constexpr int kF1 = 0x70; // F1..F12 are consecutive
} // namespace GXKey

// Size types of a resize (GXManAlign::Relayout, WM_SIZE wParam).
namespace GXSizeType {
constexpr int kRestored = 0;
constexpr int kMinimized = 1;
constexpr int kMaximized = 2;
constexpr int kMaxShow = 3;
constexpr int kMaxHide = 4;
} // namespace GXSizeType

// Show commands (GXWindowMain::ShowWindow).
namespace GXShow {
constexpr int kHide = 0;
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
constexpr int kShowNoActivate = 4;
constexpr int kShow = 5;
constexpr int kMinimize = 6;
constexpr int kRestore = 9;
} // namespace GXShow

// Answers to the dialog-code and notify-format questions.
namespace GXDlgCode {
constexpr int kWantTabAndAllKeys = 0x0006;
constexpr int kButtonDefPush = 0x2010;
constexpr int kNotifyFormatAnsi = 1;
} // namespace GXDlgCode

// Skin loader errors: GXWindowMain::GetErrorText gives their texts. Codes
// 1-12 and 42-48 are raised by controls' Load (GXConBase::SetError).
namespace GXSkinError {
constexpr int kNone = 0;
constexpr int kNoAlign = 1;
constexpr int kBadAlign = 2;
constexpr int kBadRect = 3;
constexpr int kMissingAttribute = 4;
constexpr int kImageOpen = 5;
constexpr int kBadFontName = 6;
constexpr int kBadAttributeValue = 7;
constexpr int kZeroItemHeight = 8;
constexpr int kSliderNotFound = 9;
constexpr int kNoColumnHeaderId = 10;
constexpr int kColumnHeaderNotFound = 11;
constexpr int kUnknownType = 12;
constexpr int kBadSkinPath = 13;
constexpr int kSkinRead = 14;
constexpr int kSkinParse = 15;
constexpr int kBadRoot = 16;
constexpr int kNoSkinWindow = 17;
constexpr int kTagParse = 18;
constexpr int kMissingTag = 19;
constexpr int kNoBkgndType = 20;
constexpr int kBadBkgndType = 21;
constexpr int kDuplicateControlId = 22;
constexpr int kDuplicateWindowControlId = 23;
constexpr int kNoThemeValue = 24;
constexpr int kNoThemeName = 25;
constexpr int kFontCreate = 26;
constexpr int kDuplicateFont = 27;
constexpr int kNoImageFile = 28;
constexpr int kNoImageName = 29;
constexpr int kDefineControlIdIncomplete = 30;
constexpr int kDoScript = 31;
constexpr int kBadWindowControlId = 32;
constexpr int kControlCreate = 33;
constexpr int kBadControlTag = 34;
constexpr int kNoControlTag = 35;
constexpr int kUndefinedControlId = 36;
constexpr int kScript = 37;
constexpr int kImageFontIncomplete = 38;
constexpr int kCursorIncomplete = 39;
constexpr int kDuplicateCursor = 40;
constexpr int kCursorOpen = 41;
constexpr int kBadChildTag = 42;
constexpr int kChildTagAttribute = 43;
constexpr int kCombineRgn = 44;
constexpr int kBitmapRegion = 45;
constexpr int kSplitterTargetNotFound = 46;
constexpr int kBadMenuId = 47;
constexpr int kNoMenuId = 48;
constexpr int kScriptDefine = 49;
constexpr int kNoSkinList = 50;
constexpr int kLast = 50;
} // namespace GXSkinError

// Scripts write colours as 0xRRGGBB; inside the program a colour is a
// COLORREF (0x00BBGGRR). The red and blue bytes swap; the high byte is kept.
constexpr COLORREF GxScriptColorToColorRef(std::uint32_t rgb)
{
    return (rgb & 0xFF00FF00u) | (rgb & 0xFFu) << 16 | (rgb >> 16 & 0xFFu);
}
