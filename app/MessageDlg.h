#pragma once

#include "platform/MessageTarget.h"

#include <string>

class QIcon;
class QWidget;

namespace platform {
class Clock;
}

// The program's own message box. Every message the shell shows the user
// goes through MessageDlg; the threaded variant is the box that stays up
// while the main window keeps working (the reconnect notice).
// Thread: user-interface thread, except where a comment says otherwise.

// Button sets: the low four bits of the type, numbered as message boxes
// are everywhere, so callers can pass the familiar values.
inline constexpr int kMbOk = 0;
inline constexpr int kMbOkCancel = 1;
inline constexpr int kMbYesNoCancel = 3;
inline constexpr int kMbYesNo = 4;
inline constexpr int kMbButtonSetMask = 0x0F;
// The default button (else the first).
inline constexpr int kMbDefButton2 = 0x100;
inline constexpr int kMbDefButton3 = 0x200;

// Answers.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Flags.
inline constexpr int kMdCountdown = 0x01; // MessageDlgExtras::nSeconds counts down, "%d" shows it
inline constexpr int kMdNoButtons = 0x02; // no buttons; only the countdown or the close message ends it
inline constexpr int kMdCustomCaptions = 0x04; // MessageDlgExtras::captions, comma-separated
inline constexpr int kMdCheckClear = 0x08; // check box with MessageDlgExtras::checkText, clear
inline constexpr int kMdCheckSet = 0x10; // the same, checked
inline constexpr int kMdIconTop = 0x20; // icon beside the first line of a tall text

// What a box needs beyond its text. The countdown and the check box have a
// field each, so both can be used in one box.
struct MessageDlgExtras {
    int nSeconds = 0;
    std::string checkText;
    std::string captions;
    // Receives the check box's state at once and on every change.
    int* pCheckResult = nullptr;
    // The countdown's time; the system clock when null.
    platform::Clock* pClock = nullptr;
};

// One call as the box received it, for a responder.
struct MessageDlgRequest {
    QWidget* pOwner = nullptr;
    std::string text;
    std::string caption;
    int type = 0;
    int flags = 0;
    MessageDlgExtras extras;
    bool bThreaded = false;
};

// Stands in for every box while it is installed: nothing is shown and the
// responder's answer is returned. Shell tests install one to see what the
// program asks and to answer for the user.
class MessageDlgResponder {
public:
    virtual ~MessageDlgResponder() = default;
    // MessageDlg returns this.
    virtual int Answer(const MessageDlgRequest& request) = 0;
    // MessageDlgThreaded returns this handle; the caller will post the
    // close message to it.
    virtual platform::TargetHandle Open(const MessageDlgRequest& request) = 0;
};

// Installs a responder (null: boxes are shown again); returns the previous one.
MessageDlgResponder* SetMessageDlgResponder(MessageDlgResponder* pResponder);

// The icon every box shows; the application's window icon when never set.
void MessageDlgInit(const QIcon& icon);

// Shows the box modally and returns the answer: kIdOk, kIdCancel, kIdYes,
// kIdNo, a button's number for sets without answers of their own, or -1
// when no box can be shown (no application object).
int MessageDlg(QWidget* pOwner, const std::string& text, const std::string& caption, int type, int flags = 0,
    const MessageDlgExtras& extras = {});

// Opens a box without buttons that does not block its caller and returns
// its handle; posting WmGMessageBoxClose() to it (from any thread) closes
// it. With seconds not 0 it counts down and closes itself. kNoTarget when
// no box can be shown.
platform::TargetHandle MessageDlgThreaded(QWidget* pOwner, const std::string& text, const std::string& caption,
    int seconds, platform::Clock* pClock = nullptr);

// Thread: any. The registered message "WM_GMESSAGEBOX_CLOSE".
[[nodiscard]] platform::MessageId WmGMessageBoxClose();
